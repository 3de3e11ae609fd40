#include "platform/Profile.h"

#include <sys/stat.h>

#include <cerrno>
#include <ctime>
#include <memory>
#include <mutex>
#include <new>
#include <unordered_map>
#include <vector>

#include "platform/Errors.h"
#include "platform/FileCalls.h"
#include "platform/Files.h"
#include "platform/ProfileText.h"
#include "platform/TextEncoding.h"

namespace platform {

// A file as the reader sees it: its sections in file order, each with its
// entries, and indexes by case-folded name.
struct ParsedProfile {
  struct Section {
    std::vector<std::pair<std::string, std::string>> entries;  // key as in file, value
    std::unordered_map<std::string, size_t> entryIndex;        // folded key -> first entry
  };
  std::vector<Section> sections;
  std::unordered_map<std::string, size_t> sectionIndex;  // folded name -> first occurrence

  const Section* FindSection(const std::string& name) const {
    const auto found = sectionIndex.find(FoldCase(name));
    return found == sectionIndex.end() ? nullptr : &sections[found->second];
  }
  static const std::string* FindValue(const Section& section, const std::string& key) {
    const auto found = section.entryIndex.find(FoldCase(key));
    return found == section.entryIndex.end() ? nullptr : &section.entries[found->second].second;
  }
};

namespace {

std::shared_ptr<const ParsedProfile> Parse(const std::string& bytes) {
  bool byteOrderMark;
  const std::string text = DecodeTextBytes(bytes, byteOrderMark);
  auto profile = std::make_shared<ParsedProfile>();
  ParsedProfile::Section* current = nullptr;  // null outside a section or in a repeated one
  for (std::string_view line : SplitProfileLines(text)) {
    const ProfileLine parsed = ClassifyProfileLine(line);
    if (parsed.kind == ProfileLine::kSection) {
      const bool first =
          profile->sectionIndex.emplace(FoldCase(parsed.name), profile->sections.size()).second;
      current = first ? &profile->sections.emplace_back() : nullptr;
    } else if (parsed.kind == ProfileLine::kEntry && current != nullptr) {
      if (current->entryIndex.emplace(FoldCase(parsed.name), current->entries.size()).second)
        current->entries.emplace_back(parsed.name, parsed.value);
    }
  }
  return profile;
}

// What identifies one version of a file on disk.
struct FileStamp {
  dev_t device = 0;
  ino_t inode = 0;
  off_t size = 0;
  timespec modified{}, changed{};
  bool operator==(const FileStamp& other) const {
    return device == other.device && inode == other.inode && size == other.size &&
           modified.tv_sec == other.modified.tv_sec && modified.tv_nsec == other.modified.tv_nsec &&
           changed.tv_sec == other.changed.tv_sec && changed.tv_nsec == other.changed.tv_nsec;
  }
};

// File systems stamp changes with a coarse clock.  A file changed within
// this margin of being read may change again without a new stamp, so such a
// reading is not trusted and the file is parsed again next time.  The change
// time counts as well as the modification time: a modification time can be
// set back (touch -d), the change time cannot.
constexpr long long kStampMarginNs = 50'000'000;
constexpr size_t kMaxCachedFiles = 64;

// True when the stamp lies more than the margin before now.  Compares the
// fields as they are: a stamp may lie centuries away, beyond what a count of
// nanoseconds holds.
bool OlderThanMargin(const timespec& stamp, const timespec& now) {
  if (stamp.tv_sec < now.tv_sec - 1) return true;
  if (stamp.tv_sec > now.tv_sec) return false;
  const long long apart =
      (now.tv_sec - stamp.tv_sec) * 1'000'000'000LL + (now.tv_nsec - stamp.tv_nsec);
  return apart > kStampMarginNs;
}

struct CacheEntry {
  FileStamp stamp;
  bool trusted = false;
  std::shared_ptr<const ParsedProfile> profile;
};

class ProfileCache {
 public:
  // The parsed file, or null when there is no readable regular file.  With
  // `raise`, a file that is there but cannot be read raises EFOpenError.
  std::shared_ptr<const ParsedProfile> Load(const std::string& fileName, bool raise = false) {
    const std::string* path = &fileName;
    std::string resolved;  // only needed when the name differs in case from the file's
    struct stat info;
    if (calls::Stat(fileName, info) != 0) {
      resolved = ResolvePath(fileName);
      if (calls::Stat(resolved, info) != 0) {
        if (raise && errno != ENOENT && errno != ENOTDIR) RaiseOpenError(fileName, errno);
        return nullptr;
      }
      path = &resolved;
    }
    if (!S_ISREG(info.st_mode)) return nullptr;
    const FileStamp stamp{info.st_dev, info.st_ino, info.st_size, info.st_mtim, info.st_ctim};

    std::lock_guard<std::mutex> lock(FMutex);
    const auto cached = FEntries.find(*path);
    if (cached != FEntries.end() && cached->second.trusted && cached->second.stamp == stamp)
      return cached->second.profile;
    return Refresh(*path, stamp, raise);
  }

  void Drop(const std::string& path) {
    std::lock_guard<std::mutex> lock(FMutex);
    FEntries.erase(path);
  }

 private:
  std::shared_ptr<const ParsedProfile> Refresh(const std::string& path, const FileStamp& stamp,
                                               bool raise) {
    timespec readAt{};
    ::clock_gettime(CLOCK_REALTIME, &readAt);
    std::shared_ptr<const ParsedProfile> profile;
    try {
      profile = Parse(ReadWholeFile(path));
    } catch (const Exception&) {
      if (raise) throw;
      return nullptr;
    } catch (const std::bad_alloc&) {
      return nullptr;
    }
    const bool trusted =
        OlderThanMargin(stamp.modified, readAt) && OlderThanMargin(stamp.changed, readAt);
    if (FEntries.size() >= kMaxCachedFiles) FEntries.clear();
    FEntries[path] = CacheEntry{stamp, trusted, profile};
    return profile;
  }

  std::mutex FMutex;
  std::unordered_map<std::string, CacheEntry> FEntries;
};

ProfileCache& Cache() {
  static ProfileCache cache;
  return cache;
}

bool HasLineBreakOrNul(std::string_view text) {
  return text.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

// Section, key and value must come back from the file as they were written.
bool FitsOnOneLine(const std::string& section, const std::string& key, const std::string& value) {
  if (HasLineBreakOrNul(section) || HasLineBreakOrNul(key) || HasLineBreakOrNul(value))
    return false;
  if (section.find(']') != std::string::npos) return false;
  const std::string_view trimmedKey = TrimBlanks(key);
  if (trimmedKey.empty() || trimmedKey.find('=') != std::string_view::npos) return false;
  return trimmedKey.front() != ';' && trimmedKey.front() != '#' && trimmedKey.front() != '[';
}

std::string EntryLine(std::string_view key, const std::string& value) {
  std::string line(key);
  line += '=';
  line += value;
  return line;
}

// Puts the entry into the lines of a file (see WritePrivateProfileString).
void PlaceEntry(std::vector<std::string>& lines, const std::string& section, const std::string& key,
                const std::string& value) {
  const std::string wantedSection = FoldCase(TrimBlanks(section));
  const std::string wantedKey = FoldCase(TrimBlanks(key));
  size_t index = 0;
  while (index < lines.size()) {
    const ProfileLine parsed = ClassifyProfileLine(lines[index]);
    if (parsed.kind == ProfileLine::kSection && FoldCase(parsed.name) == wantedSection) break;
    ++index;
  }
  if (index == lines.size()) {
    std::string header(1, '[');
    header += TrimBlanks(section);
    header += ']';
    lines.push_back(std::move(header));
    lines.push_back(EntryLine(TrimBlanks(key), value));
    return;
  }
  size_t lastEntry = index;
  for (++index; index < lines.size(); ++index) {
    const ProfileLine parsed = ClassifyProfileLine(lines[index]);
    if (parsed.kind == ProfileLine::kSection) break;
    if (parsed.kind != ProfileLine::kEntry) continue;
    if (FoldCase(parsed.name) == wantedKey) {
      lines[index] = EntryLine(parsed.name, value);  // the file's spelling of the key
      return;
    }
    lastEntry = index;
  }
  lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(lastEntry) + 1,
               EntryLine(TrimBlanks(key), value));
}

// The two reads, on a parsed file (null: no readable file).
size_t StringOf(const ParsedProfile* profile, const std::string& section, const std::string& key,
                const std::string& defaultValue, std::string& buffer, size_t size) {
  const std::string* value = &defaultValue;
  if (profile != nullptr) {
    if (const auto* found = profile->FindSection(section)) {
      if (const auto* entry = ParsedProfile::FindValue(*found, key)) value = entry;
    }
  }
  const std::string_view cut = Utf16Prefix(*value, size > 0 ? size - 1 : 0);
  buffer.assign(cut);
  return Utf16Length(cut);
}

size_t KeyNamesOf(const ParsedProfile* profile, const std::string& section, std::string& buffer,
                  size_t size) {
  buffer.assign(1, '\0');
  const auto* found = profile != nullptr ? profile->FindSection(section) : nullptr;
  if (found == nullptr || size < 2) return 0;
  std::string list;
  for (const auto& entry : found->entries) {
    list += entry.first;
    list += '\0';
  }
  const size_t count = Utf16Length(list);
  if (count + 1 <= size) {
    buffer = list + '\0';
    return count;
  }
  buffer.assign(Utf16Prefix(list, size - 2));
  buffer.append(2, '\0');
  return size - 2;
}

}  // namespace

size_t GetPrivateProfileString(const std::string& section, const std::string& key,
                               const std::string& defaultValue, std::string& buffer, size_t size,
                               const std::string& fileName) {
  return StringOf(Cache().Load(fileName).get(), section, key, defaultValue, buffer, size);
}

size_t GetPrivateProfileKeyNames(const std::string& section, std::string& buffer, size_t size,
                                 const std::string& fileName) {
  return KeyNamesOf(Cache().Load(fileName).get(), section, buffer, size);
}

TProfileSnapshot::TProfileSnapshot(const std::string& fileName, bool raiseWhenUnreadable)
    : FProfile(Cache().Load(fileName, raiseWhenUnreadable)) {}

TProfileSnapshot TProfileSnapshot::OfBytes(const std::string& bytes) {
  TProfileSnapshot snapshot;
  snapshot.FProfile = Parse(bytes);
  return snapshot;
}

size_t TProfileSnapshot::GetString(const std::string& section, const std::string& key,
                                   const std::string& defaultValue, std::string& buffer,
                                   size_t size) const {
  return StringOf(FProfile.get(), section, key, defaultValue, buffer, size);
}

size_t TProfileSnapshot::GetKeyNames(const std::string& section, std::string& buffer,
                                     size_t size) const {
  return KeyNamesOf(FProfile.get(), section, buffer, size);
}

namespace {

// Whether a write keeps the lines found under the name: those of a regular
// file.  A symbolic link there is replaced by the write; the file it points
// at is read only when it belongs to the link's own owner, so a link planted
// in a shared folder cannot copy a file its planter may not read into one
// the planter can.  A look that fails without proving the file absent
// (ProvesAbsent) raises EFOpenError: the lines would be lost.  A refused
// look is no proof: the file may be there, just found by an earlier look,
// and a write that then succeeded would put the new entry alone in its
// place.
bool KeepsLinesFoundThere(const std::string& path) {
  struct stat name, file;
  const auto lookFailed = [&] {
    if (!ProvesAbsent(errno)) RaiseOpenError(path, errno);
    return false;
  };
  if (calls::StatEntry(path, name) != 0) return lookFailed();
  if (!S_ISLNK(name.st_mode)) return S_ISREG(name.st_mode);
  if (calls::Stat(path, file) != 0) return lookFailed();
  return S_ISREG(file.st_mode) && file.st_uid == name.st_uid;
}

}  // namespace

bool WritePrivateProfileString(const std::string& section, const std::string& key,
                               const std::string& value, const std::string& fileName) {
  if (!FitsOnOneLine(section, key, value)) return false;
  int lookupError = 0;
  const std::string target = ResolvePath(fileName, lookupError);
  bool byteOrderMark = false;
  std::vector<std::string> lines;
  try {
    // A folder that could not be listed may hold the file under a name in
    // another letter case: a second file would be written beside it.
    if (lookupError != 0) RaiseOpenError(fileName, lookupError);
    // A Version.ini that cannot be looked at is not taken for a missing one:
    // it would be written back with this one entry.
    if (KeepsLinesFoundThere(target)) {
      const std::string text = DecodeTextBytes(ReadWholeFile(target), byteOrderMark);
      for (std::string_view line : SplitProfileLines(text)) lines.emplace_back(line);
    }
    PlaceEntry(lines, section, key, value);
    std::string content = byteOrderMark ? "\xEF\xBB\xBF" : "";
    for (const std::string& line : lines) {
      content += line;
      content += "\r\n";
    }
    WriteWholeFile(target, content.data(), content.size());
  } catch (const Exception&) {
    Cache().Drop(target);
    return false;
  } catch (const std::bad_alloc&) {
    return false;
  }
  Cache().Drop(target);
  return true;
}

void FlushPrivateProfile(const std::string&) {}

}  // namespace platform
