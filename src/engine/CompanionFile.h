#pragma once
// The companion file that describes a staged file: four lines, each ended by
// CR LF, naming the module, the component key, the version being installed
// and the program file that marks the folder to install into; then the
// staged file's record, what it was checked against when it was staged:
//
//   sha256=<64 lower-case hexadecimal digits>
//   size=<bytes, decimal>
//
// The record lets the file be checked again just before it is installed
// (StagedCheck.h).  A companion of four lines is a staged file without a
// record, as earlier updaters wrote them.
#include <cstdint>
#include <optional>
#include <string>

#include "util/Sha256.h"
#include "util/StringList.h"

namespace engine {

struct TStagedRecord {
  TSha256Digest Sha256{};
  int64_t Size = 0;
  bool operator==(const TStagedRecord&) const = default;
};

struct TCompanion {
  std::string ModuleName;
  std::string ComponentKey;
  std::string AvailableVersion;
  std::string ProgramFile;
  std::optional<TStagedRecord> Record = std::nullopt;
};

// Line indexes within a companion file.
inline constexpr int kCompanionModuleLine = 0;
inline constexpr int kCompanionKeyLine = 1;
inline constexpr int kCompanionVersionLine = 2;
inline constexpr int kCompanionProgramLine = 3;
inline constexpr int kCompanionDigestLine = 4;
inline constexpr int kCompanionSizeLine = 5;

// The record that a companion's lines hold: none for a companion of four
// lines, malformed for one whose lines 5 and 6 are not exactly the two
// above (a damaged record is no record to install by).
struct TRecordLines {
  enum TKind { kNone, kRecord, kMalformed };
  TKind Kind = kNone;
  TStagedRecord Record{};
};
TRecordLines ReadStagedRecord(const TStringList& companionLines);

// Writes the companion whole and flushed to disk; raises EFCreateError.
void WriteCompanionFile(const std::string& path, const TCompanion& companion);

// Reads a companion's lines: UTF-8 (or UTF-16 when a byte-order mark says
// so; Windows-1252 when the bytes are no UTF-8), lines ending at CR, LF or
// CR LF.  Raises EFOpenError when the file is missing or unreadable.  Fewer
// than four lines is noticed by whoever reads the missing line.
TStringList ReadCompanionLines(const std::string& path);

// The companion of a staged file among the program folder's regular files:
// the most recently written companion of the bare name (IsCompanionOf; by name when
// two were written at the same moment), so a companion that an earlier run
// left behind is never taken for the current one's.  Empty when there is
// none.
std::string FindCompanion(const std::string& programFolder, const std::string& bare);

// Deletes every companion of the bare name, and nothing else, each by the
// exact name listed; used before a new file is staged under that name, when
// any companion still there is stale by definition.  The folder is not
// flushed: a stale companion that a power cut brings back is harmless, as
// the newest companion of a name is the one read, and only beside its
// staged file.
void RemoveCompanions(const std::string& programFolder, const std::string& bare);

}  // namespace engine
