#pragma once
// A private temporary folder for a fuzzing run, made once per process (its
// path ends in "/").  The run's files are rewritten in place each iteration.
#include <unistd.h>

#include <cstdlib>
#include <stdexcept>
#include <string>

inline const std::string& FuzzScratchFolder() {
  static const std::string folder = [] {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/quorvin-fuzz-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    return pattern + "/";
  }();
  return folder;
}

// Replaces the file's content with the bytes.
inline void WriteFuzzFile(const std::string& path, const void* data, size_t size) {
  FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) throw std::runtime_error("cannot write " + path);
  if (size > 0) std::fwrite(data, 1, size, file);
  std::fclose(file);
}
