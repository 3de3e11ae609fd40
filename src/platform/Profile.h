#pragma once
// Profile functions: reading and writing INI files the way the updater's
// INI reader expects of the platform.  Text is UTF-8; buffer sizes and
// counts are in characters as a UTF-16 string counts them, never in bytes.
// What a line of a file means is described in ProfileText.h; in addition:
// - A section that occurs twice: the first occurrence is the section, later
//   ones are ignored by the reader (and left as they are by the writer).
// - A key that occurs twice in its section: the first entry counts.
// - Entries before the first section line belong to no section.
// - Section names and keys are matched without regard to letter case.
//
// Reading never fails: a missing or unreadable file is a file without
// sections.  Parsed files are cached by path and re-read as soon as their
// size, time stamps or identity change, so repeated reads of one file cost a
// look-up, not a parse.
#include <cstddef>
#include <memory>
#include <string>

namespace platform {

// Copies the value of the key, or the default when the key, its section or
// the file is absent, into the buffer, cut to size - 1 characters.  Returns
// the number of characters copied.
size_t GetPrivateProfileString(const std::string& section, const std::string& key,
                               const std::string& defaultValue, std::string& buffer, size_t size,
                               const std::string& fileName);

// Copies the key names of the section, in file order and spelled as in the
// file, each followed by a NUL character, the whole followed by one more NUL.
// Returns the number of characters without that final NUL; 0 for an absent
// file or section.  A list that does not fit in size characters is cut and
// the count is then size - 2.
size_t GetPrivateProfileKeyNames(const std::string& section, std::string& buffer, size_t size,
                                 const std::string& fileName);

// Stores the value under the key: replaces the first entry of the key in the
// first occurrence of the section, else adds the entry after the section's
// last entry, else adds the section at the end of the file; creates the file
// when it is missing and its folder exists.  Every other line keeps its text;
// the file is written in UTF-8 (with a byte-order mark when it had one)
// with CR LF line ends, beside the old one and then renamed into place.
// Returns false, leaving the file as it was, when it cannot be written, and
// when section, key or value would break the file's lines (a line break or
// NUL anywhere, "]" in the section, "=" in the key, an empty key, or a key
// that would read as a comment or a section line).
bool WritePrivateProfileString(const std::string& section, const std::string& key,
                               const std::string& value, const std::string& fileName);

// One file's profile read once, when the object is made: its two reads
// answer as GetPrivateProfileString and GetPrivateProfileKeyNames do for
// the file as it was then, whatever happens to the file afterwards.  For a
// reader that knows the file does not change while it reads, so that every
// read costs a look-up even while the file is too fresh for the cache to
// trust its time stamps.
// With raiseWhenUnreadable, a file that is there but cannot be read (a disk
// error, no permission) raises EFOpenError with the platform's reason
// instead of reading as a file without sections; a missing file still reads
// as one.  For a file whose contents decide what may be trusted.
struct ParsedProfile;
class TProfileSnapshot {
 public:
  explicit TProfileSnapshot(const std::string& fileName, bool raiseWhenUnreadable = false);
  // The profile of bytes held in memory, read exactly as a file holding
  // them would be: for text that is checked before it is ever stored.
  static TProfileSnapshot OfBytes(const std::string& bytes);
  size_t GetString(const std::string& section, const std::string& key,
                   const std::string& defaultValue, std::string& buffer, size_t size) const;
  size_t GetKeyNames(const std::string& section, std::string& buffer, size_t size) const;

 private:
  TProfileSnapshot() = default;
  std::shared_ptr<const ParsedProfile> FProfile;  // null: no readable file
};

// Flushes what is held for the file.  Writes reach the disk before
// WritePrivateProfileString returns and the cache checks the file on every
// use, so nothing is pending; it exists for callers that flush on release.
void FlushPrivateProfile(const std::string& fileName);

}  // namespace platform
