#pragma once
// The look package: the window's whole look stored as one block of bytes.
//
//   "QLkP"                        four bytes
//   entry count                   32-bit little-endian
//   per entry: name length (LE32), name (8-bit characters),
//              size after inflating (LE32), zlib stream (ends by itself)
//   "previewimg", length (LE32), a PNG picture of that length
//
// Reading never trusts the bytes: every length is checked against what is
// left and against the limits below, and every stream must inflate to exactly
// its stated size.  A package that breaks any rule is refused as a whole.
// This file knows nothing of Qt, so the packing tool can share it.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

using TLookBytes = std::vector<uint8_t>;

inline constexpr char kLookMagic[4] = {'Q', 'L', 'k', 'P'};
inline constexpr char kLookPreviewTag[] = "previewimg";
inline constexpr uint32_t kLookMaxEntries = 64;
inline constexpr uint32_t kLookMaxNameLength = 255;
inline constexpr uint32_t kLookMaxEntrySize = 16u * 1024 * 1024;

struct TLookEntry {
  std::string Name;
  TLookBytes Data;
};

class TLookPackage {
 public:
  std::vector<TLookEntry> Entries;  // in stored order
  TLookBytes Preview;               // the PNG picture

  // The entry of that name, compared without regard to letter case, or null.
  const TLookBytes* Entry(const std::string& name) const;
};

// Reads a package; an empty result for anything damaged or incomplete.
std::optional<TLookPackage> ReadLookPackage(const uint8_t* data, size_t size);

// Builds the stored form of a package (entries compressed at the best level).
TLookBytes WriteLookPackage(const TLookPackage& package);
