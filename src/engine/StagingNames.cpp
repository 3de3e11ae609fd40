#include "engine/StagingNames.h"

#include "platform/TextEncoding.h"

namespace engine {

std::string PartialName(const std::string& bare) { return bare + kPartialSuffix; }

std::string StagedName(const std::string& bare) { return bare + kStagedSuffix; }

std::string BareNameOfStaged(const std::string& stagedName) {
  return stagedName.size() >= 4 ? stagedName.substr(0, stagedName.size() - 4) : std::string();
}

std::string CompanionName(const std::string& bare, const std::string& version) {
  std::string safeVersion = version;
  for (char& c : safeVersion)
    if (c == '/') c = '_';
  return bare + kCompanionInfix + safeVersion;
}

bool IsCompanionOf(const std::string& name, const std::string& bare) {
  const std::string prefix = bare + kCompanionInfix;
  if (name.size() < prefix.size()) return false;
  return platform::SameTextIgnoringCase(name.substr(0, prefix.size()), prefix);
}

bool IsUsableBareName(const std::string& bare) {
  return !bare.empty() && bare != "." && bare != "..";
}

std::string AsideName(const std::string& bare, int attempt) {
  return bare + (attempt == 0 ? std::string() : "." + std::to_string(attempt)) + ".{O}";
}

}  // namespace engine
