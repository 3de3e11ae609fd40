#pragma once
// Edits a catalogue for signing while keeping every byte the edit does not
// concern: line ends, comments, blank lines, spacing and letter case stay as
// they were.  Lines are understood exactly as the updater's INI reader
// understands them (platform/ProfileText.h), names compared after the
// text is decoded as the reader decodes it (a Windows-1252 "Äpfel" is the
// section "[äpfel]"): the first [modules] section names the modules, the
// first section of each module's name holds its component entries, the
// first [release] section the release.
//
// What it changes:
//   - each component entry gets one "sha256=" field and one "size=" field
//     after it: the first digest field it has is replaced, further digest
//     and size fields are dropped, and an entry without one gets them
//     appended after its last field;
//   - the fields that offer a compressed copy or patches ("zst",
//     "patch=...", engine/DeltaOffer.h) are dropped wherever they stand and
//     the offer given is written right after the size field;
//   - [release] Serial= gets the new serial (the line is added, and the
//     section at the end of the file, when missing); Expires= is set when
//     asked for and removed otherwise, so a new signature never inherits an
//     old expiry.
// Added lines take the line end of the catalogue's first line (CR LF when
// it has none).
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine/DeltaOffer.h"
#include "util/Sha256.h"

// A component entry and the file it names.
struct TComponentEntry {
  std::string Module, Key;
  std::string BareName;  // UTF-8, as the updater builds the download path from it
  size_t Line = 0;
};

class TCatalogueEditor {
 public:
  // Raises Exception for a catalogue it cannot edit byte for byte (UTF-16).
  explicit TCatalogueEditor(const std::string& text);

  // What stops the catalogue from being signed (a module named "release",
  // an entry that names no file, a Serial that is not a number, a comma in
  // a module's name, a component's key or a program file, which the
  // updater's row records could not carry).
  const std::vector<std::string>& Problems() const { return FProblems; }
  const std::vector<TComponentEntry>& Components() const { return FComponents; }
  // The serial the catalogue has now; 0 when it has none.
  uint64_t Serial() const { return FSerial; }

  void SetDigest(const TComponentEntry& component, const TSha256Digest& digest, int64_t size,
                 const engine::TDeltaOffer& offer = {});
  void SetRelease(uint64_t serial, const std::optional<std::string>& expires);
  std::string Text() const;

 private:
  struct TLine {
    std::string Content;  // without its line end
    std::string End;      // "\r\n", "\n", "\r" or "" (the last line may have none)
    bool Removed = false;
    std::vector<TLine> Following;  // lines added after this one
  };
  void ReadLines(const std::string& text);
  void ReadStructure();
  void AddComponent(const std::string& module, const std::string& key, size_t line);
  void RefuseComma(const std::string& what, const std::string& text);
  // A line's content as the updater's reader decodes it (UTF-8).
  std::string Decoded(const std::string& content) const;
  void ReadSerial(size_t line);
  void SetValue(size_t line, const std::string& value);
  std::string NewLineEnd() const;

  std::string FByteOrderMark;
  bool FUtf8 = true;
  std::vector<TLine> FLines;
  std::vector<TComponentEntry> FComponents;
  std::vector<std::string> FProblems;
  uint64_t FSerial = 0;
  // The first [release] section: its head line, last entry line, first
  // Serial line and every Expires line.
  std::optional<size_t> FReleaseHead, FReleaseLastEntry, FSerialLine;
  std::vector<size_t> FExpiresLines;
  std::vector<TLine> FAppended;  // lines added at the end of the file
};
