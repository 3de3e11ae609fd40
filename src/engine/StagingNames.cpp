#include "engine/StagingNames.h"

#include "platform/TextEncoding.h"

namespace engine {

std::string PartialName(const std::string& bare) { return bare + kPartialSuffix; }

std::string StagedName(const std::string& bare) { return bare + kStagedSuffix; }

std::string BareNameOfStaged(const std::string& stagedName) {
  return stagedName.size() >= 4 ? stagedName.substr(0, stagedName.size() - 4) : std::string();
}

bool IsVersionSuffix(const std::string& suffix) {
  if (suffix.empty() || suffix.find_first_of("{}/") != std::string::npos) return false;
  return platform::FoldCase("." + suffix).find(".v.") == std::string::npos;
}

std::string CompanionName(const std::string& bare, const std::string& version) {
  std::string suffix = version.empty() ? std::string("_") : version;
  for (size_t i = 0; i < suffix.size(); ++i) {
    const char c = suffix[i];
    const bool ownInfix = (c == 'V' || c == 'v') && (i == 0 || suffix[i - 1] == '.') &&
                          i + 1 < suffix.size() && suffix[i + 1] == '.';
    if (c == '/' || c == '{' || c == '}' || ownInfix) suffix[i] = '_';
  }
  return bare + kCompanionInfix + suffix;
}

bool IsCompanionOf(const std::string& name, const std::string& bare) {
  const std::string prefix = bare + kCompanionInfix;
  if (name.size() <= prefix.size()) return false;
  return platform::SameTextIgnoringCase(name.substr(0, prefix.size()), prefix) &&
         IsVersionSuffix(name.substr(prefix.size()));
}

bool IsUsableBareName(const std::string& bare) {
  return !bare.empty() && bare != "." && bare != "..";
}

std::string AsideName(const std::string& bare, int attempt) {
  return bare + (attempt == 0 ? std::string() : "." + std::to_string(attempt)) + ".{O}";
}

}  // namespace engine
