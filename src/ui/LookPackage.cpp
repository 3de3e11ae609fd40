#include "ui/LookPackage.h"

#include <zlib.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <stdexcept>

namespace {

// A cursor over the package bytes that refuses to read past the end.
class TByteReader {
 public:
  TByteReader(const uint8_t* data, size_t size) : FData(data), FSize(size) {}

  size_t Remaining() const { return FSize - FPos; }
  const uint8_t* Here() const { return FData + FPos; }
  void Skip(size_t count) { FPos += count; }

  bool ReadUInt32(uint32_t& value) {
    if (Remaining() < 4) return false;
    const uint8_t* p = Here();
    value = uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
    FPos += 4;
    return true;
  }

  bool ReadText(size_t length, std::string& text) {
    if (Remaining() < length) return false;
    text.assign(reinterpret_cast<const char*>(Here()), length);
    FPos += length;
    return true;
  }

 private:
  const uint8_t* FData;
  size_t FSize;
  size_t FPos = 0;
};

// Inflates one zlib stream that starts at the reader's position and must
// yield exactly `size` bytes; leaves the reader just past the stream.
bool InflateEntry(TByteReader& reader, uint32_t size, TLookBytes& out) {
  out.assign(size, 0);
  z_stream stream{};
  if (inflateInit(&stream) != Z_OK) return false;
  stream.next_in = const_cast<Bytef*>(reader.Here());
  stream.avail_in = static_cast<uInt>(std::min<size_t>(reader.Remaining(), UINT32_MAX));
  // One spare byte of output room tells "exactly size" from "more than size".
  uint8_t spare = 0;
  stream.next_out = size ? out.data() : &spare;
  stream.avail_out = size ? size : 1;
  int result = inflate(&stream, Z_FINISH);
  if (result == Z_BUF_ERROR && size && stream.avail_out == 0) {
    stream.next_out = &spare;
    stream.avail_out = 1;
    result = inflate(&stream, Z_FINISH);
  }
  const bool exact = result == Z_STREAM_END && stream.total_out == size;
  reader.Skip(stream.total_in);
  inflateEnd(&stream);
  return exact;
}

bool ReadEntry(TByteReader& reader, TLookEntry& entry) {
  uint32_t nameLength = 0, size = 0;
  if (!reader.ReadUInt32(nameLength) || nameLength == 0 || nameLength > kLookMaxNameLength)
    return false;
  if (!reader.ReadText(nameLength, entry.Name)) return false;
  if (!reader.ReadUInt32(size) || size > kLookMaxEntrySize) return false;
  return InflateEntry(reader, size, entry.Data);
}

bool ReadPreview(TByteReader& reader, TLookBytes& preview) {
  std::string tag;
  uint32_t length = 0;
  if (!reader.ReadText(std::strlen(kLookPreviewTag), tag) || tag != kLookPreviewTag) return false;
  if (!reader.ReadUInt32(length) || length > reader.Remaining()) return false;
  preview.assign(reader.Here(), reader.Here() + length);
  reader.Skip(length);
  return true;
}

bool SameName(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

void AppendUInt32(TLookBytes& out, uint32_t value) {
  for (int shift = 0; shift < 32; shift += 8) out.push_back(uint8_t(value >> shift));
}

void AppendText(TLookBytes& out, const std::string& text) {
  out.insert(out.end(), text.begin(), text.end());
}

TLookBytes Compress(const TLookBytes& data) {
  uLongf length = compressBound(data.size());
  TLookBytes out(length);
  if (compress2(out.data(), &length, data.data(), data.size(), Z_BEST_COMPRESSION) != Z_OK)
    throw std::runtime_error("cannot compress a look entry");
  out.resize(length);
  return out;
}

}  // namespace

const TLookBytes* TLookPackage::Entry(const std::string& name) const {
  for (const TLookEntry& entry : Entries)
    if (SameName(entry.Name, name)) return &entry.Data;
  return nullptr;
}

std::optional<TLookPackage> ReadLookPackage(const uint8_t* data, size_t size) {
  if (data == nullptr) return std::nullopt;
  TByteReader reader(data, size);
  std::string magic;
  uint32_t count = 0;
  if (!reader.ReadText(4, magic) || magic != std::string(kLookMagic, 4)) return std::nullopt;
  if (!reader.ReadUInt32(count) || count > kLookMaxEntries) return std::nullopt;
  TLookPackage package;
  package.Entries.resize(count);
  for (TLookEntry& entry : package.Entries)
    if (!ReadEntry(reader, entry)) return std::nullopt;
  if (!ReadPreview(reader, package.Preview)) return std::nullopt;
  return package;
}

TLookBytes WriteLookPackage(const TLookPackage& package) {
  TLookBytes out;
  AppendText(out, std::string(kLookMagic, 4));
  AppendUInt32(out, static_cast<uint32_t>(package.Entries.size()));
  for (const TLookEntry& entry : package.Entries) {
    AppendUInt32(out, static_cast<uint32_t>(entry.Name.size()));
    AppendText(out, entry.Name);
    AppendUInt32(out, static_cast<uint32_t>(entry.Data.size()));
    const TLookBytes stream = Compress(entry.Data);
    out.insert(out.end(), stream.begin(), stream.end());
  }
  AppendText(out, kLookPreviewTag);
  AppendUInt32(out, static_cast<uint32_t>(package.Preview.size()));
  out.insert(out.end(), package.Preview.begin(), package.Preview.end());
  return out;
}
