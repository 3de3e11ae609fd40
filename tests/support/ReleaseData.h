#pragma once
// Files that behave like a program's releases, for the tests of compressed
// copies and patches: deterministic for a seed, compressible but not to
// nothing, and a next release that differs as a rebuilt program does.
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <random>
#include <span>
#include <string>

namespace releasedata {

inline std::span<const uint8_t> Bytes(const std::string& text) {
  return {reinterpret_cast<const uint8_t*>(text.data()), text.size()};
}

// Runs of a small vocabulary with random bytes between them.
inline std::string ProgramLike(size_t size, unsigned seed) {
  std::mt19937 random(seed);
  static const char* const kWords[] = {"push rbp",     "mov rax, [rbp-8]", "call _init",
                                       "ret",          "\x48\x89\xe5",     "\x0f\x1f\x44\x00\x00",
                                       "lea rdi, .LC0"};
  std::string text;
  text.reserve(size + 32);
  while (text.size() < size) {
    text += kWords[random() % std::size(kWords)];
    text += static_cast<char>(random());
  }
  text.resize(size);
  return text;
}

// The next release of `base`: a few bytes changed throughout (addresses), a
// piece inserted, one removed, and a block moved elsewhere.
inline std::string NextRelease(std::string base, unsigned seed) {
  std::mt19937 random(seed);
  for (size_t at = 0; at < base.size(); at += 4096 + random() % 8192) base[at] ^= 0x5a;
  base.insert(base.size() * 3 / 10, ProgramLike(2000, seed + 1));
  base.erase(base.size() * 6 / 10, 5000);
  const std::string moved = base.substr(base.size() / 5, 100000 % base.size());
  base.erase(base.size() / 5, moved.size());
  base.insert(base.size() * 9 / 10, moved);
  return base;
}

// Bytes that no compressor can shrink.
inline std::string Random(size_t size, unsigned seed) {
  std::mt19937 random(seed);
  std::string text(size, '\0');
  for (char& ch : text) ch = static_cast<char>(random());
  return text;
}

}  // namespace releasedata
