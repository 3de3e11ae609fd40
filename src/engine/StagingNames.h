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
// "<bare>.V.<version>".  A version that holds a folder separator keeps its
// text in the companion's lines but not in its name, so the companion is
// always created in the program folder itself.
std::string CompanionName(const std::string& bare, const std::string& version);
// True when the name is a companion of the bare name ("<bare>.V." followed
// by anything, compared without regard to case; no wildcards involved, so a
// bare name holding "*" or "?" matches only itself).
bool IsCompanionOf(const std::string& name, const std::string& bare);

// A bare name that can be downloaded and installed: not empty and not "."
// or "..", which would name a folder rather than a file in it.
bool IsUsableBareName(const std::string& bare);

// The name the old copy of "<bare>" is kept under while the new one moves in.
std::string AsideName(const std::string& bare, int attempt);

}  // namespace engine
