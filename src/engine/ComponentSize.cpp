#include "engine/ComponentSize.h"

#include <limits>

#include "engine/CatalogueRelease.h"
#include "platform/ProfileText.h"
#include "platform/TextEncoding.h"

namespace engine {

namespace {

constexpr int kFirstOptionalField = 2;  // after the version and the file

}  // namespace

bool IsSizeField(std::string_view field) {
  field = platform::TrimBlanks(field);
  const size_t equals = field.find('=');
  return equals != std::string_view::npos &&
         platform::SameTextIgnoringCase(platform::TrimBlanks(field.substr(0, equals)), "size");
}

TSizeClaim ReadSizeClaim(const TStringList& entryFields) {
  TSizeClaim claim;
  for (int index = kFirstOptionalField; index < entryFields.Count(); ++index) {
    const std::string_view field = platform::TrimBlanks(entryFields[index]);
    if (!IsSizeField(field)) continue;
    if (claim.Kind != TSizeClaim::kNone) return {TSizeClaim::kMalformed, 0};
    const std::string_view name(kSizeFieldName);
    uint64_t size = 0;
    if (!field.starts_with(name) ||
        ParseSerial(field.substr(name.size()), size) != TSerialText::kNumber ||
        field.size() - name.size() > 19 ||
        size > static_cast<uint64_t>(std::numeric_limits<int64_t>::max()))
      return {TSizeClaim::kMalformed, 0};
    claim = {TSizeClaim::kSize, static_cast<int64_t>(size)};
  }
  return claim;
}

std::string SizeField(int64_t size) { return kSizeFieldName + std::to_string(size); }

}  // namespace engine
