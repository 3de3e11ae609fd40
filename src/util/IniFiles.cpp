#include "util/IniFiles.h"

#include <new>

#include "platform/Profile.h"
#include "util/Errors.h"

namespace {

constexpr size_t kValueBufferSize = 2048;
constexpr size_t kFirstKeyListSize = 1024;

// Fetches the section's key names, growing the buffer fourfold for as long as
// the platform signals a cut list (a count of size - 2 or more).
std::string FetchKeyNames(const std::string& section, const std::string& fileName, size_t& count) {
  std::string buffer;
  for (size_t size = kFirstKeyListSize;; size *= 4) {
    try {
      buffer.reserve(size);
    } catch (const std::bad_alloc&) {
      RaiseOutOfMemory();
    } catch (const std::length_error&) {
      RaiseOutOfMemory();
    }
    count = platform::GetPrivateProfileKeyNames(section, buffer, size, fileName);
    if (count < size - 2) return buffer;
  }
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
  const std::string buffer = FetchKeyNames(section, FileName(), count);
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

void TIniFile::UpdateFile() { platform::FlushPrivateProfile(FileName()); }
