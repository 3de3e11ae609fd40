#include "engine/VersionCompare.h"

#include "util/StrToInt.h"

namespace {

// Major, minor and build; anything after the build is ignored.
constexpr int kComparedComponents = 3;

}  // namespace

bool AvailableIsNewer(const TStringList& available, const TStringList& installed) {
  for (int index = 0; index < kComparedComponents; ++index) {
    // The offered component is converted before the installed one, so an
    // error names the offered text first when both are bad.
    const int32_t offered = StrToInt(available[index]);
    const int32_t present = StrToInt(installed[index]);
    if (offered > present) return true;
  }
  return false;
}
