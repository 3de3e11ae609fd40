#include "util/IniFiles.h"

#include <new>

#include "platform/Profile.h"
#include "util/Errors.h"

namespace {

constexpr size_t kValueBufferSize = 2048;
constexpr size_t kFirstKeyListSize = 1024;

// Fetches the section's key names with `fetch` (buffer, size -> count),
// growing the buffer fourfold for as long as it signals a cut list (a count
// of size - 2 or more).
template <class TFetch>
std::string FetchKeyNames(const TFetch& fetch, size_t& count) {
  std::string buffer;
  for (size_t size = kFirstKeyListSize;; size *= 4) {
    try {
      buffer.reserve(size);
    } catch (const std::bad_alloc&) {
      RaiseOutOfMemory();
    } catch (const std::length_error&) {
      RaiseOutOfMemory();
    }
    count = fetch(buffer, size);
    if (count < size - 2) return buffer;
  }
}

// Fills the list from a NUL-separated key name list of `count` characters.
void FillKeyList(const std::string& buffer, size_t count, TStringList& strings) {
  strings.BeginUpdate();
  strings.Clear();
  for (size_t pos = 0; count > 0 && pos < buffer.size();) {
    const size_t end = buffer.find('\0', pos);
    if (end == pos || end == std::string::npos) break;  // the final NUL ends the list
    strings.Add(buffer.substr(pos, end - pos));
    pos = end + 1;
  }
  strings.EndUpdate();
}

}  // namespace

TIniFile::~TIniFile() { TIniFile::UpdateFile(); }

std::string TIniFile::ReadString(const std::string& section, const std::string& ident,
                                 const std::string& defaultValue) const {
  std::string buffer;
  platform::GetPrivateProfileString(section, ident, defaultValue, buffer, kValueBufferSize,
                                    FileName());
  return buffer;
}

void TIniFile::WriteString(const std::string& section, const std::string& ident,
                           const std::string& value) {
  if (!platform::WritePrivateProfileString(section, ident, value, FileName()))
    throw EIniFileException("Unable to write to " + FileName());
}

void TIniFile::ReadSection(const std::string& section, TStringList& strings) const {
  size_t count = 0;
  const std::string buffer = FetchKeyNames(
      [&](std::string& names, size_t size) {
        return platform::GetPrivateProfileKeyNames(section, names, size, FileName());
      },
      count);
  FillKeyList(buffer, count, strings);
}

void TIniFile::UpdateFile() { platform::FlushPrivateProfile(FileName()); }

TIniSnapshot::TIniSnapshot(std::string fileName, bool raiseWhenUnreadable)
    : TCustomIniFile(std::move(fileName)), FProfile(FileName(), raiseWhenUnreadable) {}

TIniSnapshot TIniSnapshot::OfBytes(const std::string& bytes, std::string name) {
  return TIniSnapshot(std::move(name), platform::TProfileSnapshot::OfBytes(bytes));
}

std::string TIniSnapshot::ReadString(const std::string& section, const std::string& ident,
                                     const std::string& defaultValue) const {
  std::string buffer;
  FProfile.GetString(section, ident, defaultValue, buffer, kValueBufferSize);
  return buffer;
}

void TIniSnapshot::WriteString(const std::string&, const std::string&, const std::string&) {
  throw EIniFileException("Unable to write to " + FileName());
}

void TIniSnapshot::ReadSection(const std::string& section, TStringList& strings) const {
  size_t count = 0;
  const std::string buffer = FetchKeyNames(
      [&](std::string& names, size_t size) { return FProfile.GetKeyNames(section, names, size); },
      count);
  FillKeyList(buffer, count, strings);
}
