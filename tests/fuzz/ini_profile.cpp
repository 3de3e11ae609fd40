// Fuzz target: the INI reader and writer.  The input is the bytes of a file;
// every section and key found in it is read, then one entry is written, and
// the file must read back with that entry changed and nothing else.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "ScratchFolder.h"
#include "platform/Profile.h"
#include "platform/ProfileText.h"
#include "platform/TextEncoding.h"
#include "util/IniFiles.h"

namespace {

using TEntries = std::map<std::pair<std::string, std::string>, std::string>;  // folded names

[[noreturn]] void Fail(const std::string& what) {
  std::fprintf(stderr, "ini_profile: %s\n", what.c_str());
  std::abort();
}

// Candidate section names, found by a plain scan of the decoded lines: the
// reader's own line rules are what is under test, so they are not used here.
// Trimmed, as the program's callers pass them.
std::vector<std::string> SectionCandidates(const std::string& bytes) {
  bool byteOrderMark = false;
  const std::string text = platform::DecodeTextBytes(bytes, byteOrderMark);
  std::vector<std::string> names{"modules"};
  for (size_t at = text.find('['); at != std::string::npos; at = text.find('[', at + 1)) {
    const size_t close = text.find_first_of("]\r\n", at);
    if (close != std::string::npos && text[close] == ']' && names.size() < 32)
      names.emplace_back(platform::TrimBlanks(text.substr(at + 1, close - at - 1)));
  }
  return names;
}

// Every key of every candidate section with its value; a listed key must
// read back as present.
TEntries ReadAll(const TIniFile& ini, const std::vector<std::string>& sections) {
  TEntries entries;
  const std::string absent =
      "\x01"
      "absent";
  for (const std::string& section : sections) {
    TStringList keys;
    ini.ReadSection(section, keys);
    for (int i = 0; i < keys.Count(); ++i) {
      const std::string value = ini.ReadString(section, keys[i], absent);
      if (value == absent) Fail("listed key \"" + keys[i] + "\" reads as absent");
      if (platform::Utf16Length(value) > 2047) Fail("value longer than 2047 characters");
      entries[{platform::FoldCase(platform::TrimBlanks(section)), platform::FoldCase(keys[i])}] =
          value;
    }
  }
  return entries;
}

// The cut-list contract of the key-name function for small buffers.
void CheckKeyNameCuts(const std::string& section, const std::string& path) {
  for (size_t size : {0, 1, 2, 3, 7}) {
    std::string buffer;
    const size_t count = platform::GetPrivateProfileKeyNames(section, buffer, size, path);
    // The count leaves room for the final NUL (a cut list for two).
    if (size >= 2 && (count > size - 1 || platform::Utf16Length(buffer) > size))
      Fail("key list beyond the buffer");
  }
  std::string buffer;
  const size_t count = platform::GetPrivateProfileString(section, "a", "default", buffer, 3, path);
  if (count > 2) Fail("value copy beyond the buffer");
}

// A printable value without blanks at its ends, made from the input.
std::string ValueFrom(const uint8_t* data, size_t size) {
  std::string value = "v";
  for (size_t i = 0; i < size && value.size() < 40; i += 7)
    value += static_cast<char>('!' + data[i] % 94);
  return value;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string path = FuzzScratchFolder() + "fuzz.ini";
  WriteFuzzFile(path, data, size);
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  const std::vector<std::string> sections = SectionCandidates(bytes);
  TIniFile ini(path);
  TEntries before = ReadAll(ini, sections);
  CheckKeyNameCuts(sections.back(), path);

  // One write: an existing key when there is one (replaced in place), else a
  // new entry in the last candidate section.
  std::string section = sections.back(), key = "NewKey";
  if (!before.empty()) {
    const auto& first = before.begin()->first;
    for (const std::string& candidate : sections) {
      if (platform::FoldCase(platform::TrimBlanks(candidate)) == first.first) section = candidate;
    }
    key = first.second;
  }
  const std::string value = ValueFrom(data, size);
  try {
    ini.WriteString(section, key, value);
  } catch (const EIniFileException&) {
    return 0;  // refused (a name that would break the file's lines): nothing changed
  }
  if (ini.ReadString(section, key, "") != value) Fail("written value does not read back");
  TEntries after = ReadAll(ini, sections);
  before[{platform::FoldCase(platform::TrimBlanks(section)), platform::FoldCase(key)}] = value;
  for (const auto& [name, oldValue] : before) {
    const auto found = after.find(name);
    if (found == after.end())
      Fail("entry [" + name.first + "] " + name.second + " lost by a write");
    if (found->second != oldValue) Fail("entry [" + name.first + "] " + name.second + " changed");
  }
  return 0;
}
