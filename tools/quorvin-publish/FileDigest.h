#pragma once
// SHA-256 of a file on disk, read in blocks so a file of any size hashes in
// constant memory.
#include <optional>
#include <string>

#include "util/Sha256.h"

// Nothing when the path names no readable regular file.
std::optional<TSha256Digest> Sha256OfFile(const std::string& path);
