#pragma once
// Names of the files that downloads leave in the program folder, and of the
// file an installation keeps the old copy under while it replaces it.
#include <string>

namespace engine {

inline constexpr const char* kPartialSuffix = ".{S}";
inline constexpr const char* kStagedSuffix = ".{F}";
inline constexpr const char* kPartialPattern = "*.{s}";
inline constexpr const char* kStagedPattern = "*.{F}";
inline constexpr const char* kCompanionInfix = ".V.";

// "<bare>.{S}", "<bare>.{F}".
std::string PartialName(const std::string& bare);
std::string StagedName(const std::string& bare);
// The bare name a staged file is installed as: its name less ".{F}".
std::string BareNameOfStaged(const std::string& stagedName);
// A companion of the bare name B is named B + ".V." + a version suffix S,
// where S
//   - is not empty,
//   - holds no "{" or "}", so it is never the rest of a staged file, partial
//     download or other file of ours (".{F}", ".{S}", ".{T}", ...), and no
//     "/",
//   - neither begins with "V." nor holds ".V." (letter case ignored), so the
//     companion's ".V." is the last one in its name and the name belongs to
//     exactly one bare name: "Lib.V.dll.V.1.0.3" is a companion of
//     "Lib.V.dll" only, never of "Lib".
bool IsVersionSuffix(const std::string& suffix);

// "<bare>.V." + the version as a version suffix: any "/", "{" or "}", and a
// "V" that would make a ".V." of its own, becomes "_"; an empty version is
// "_".  The companion's lines keep the version exactly; only its name is
// made safe, and the companion is always created in the program folder.
std::string CompanionName(const std::string& bare, const std::string& version);
// True when the name is a companion of the bare name as above (compared
// without regard to case; no wildcards involved, so a bare name holding "*"
// or "?" matches only itself).
bool IsCompanionOf(const std::string& name, const std::string& bare);

// A bare name that can be downloaded and installed: not empty and not "."
// or "..", which would name a folder rather than a file in it.
bool IsUsableBareName(const std::string& bare);

// The name the old copy of "<bare>" is kept under while the new one moves in.
std::string AsideName(const std::string& bare, int attempt);

}  // namespace engine
