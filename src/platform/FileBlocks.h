#pragma once
// Reading a file of any size block by block, so that whoever checks it
// (a digest of a staged file, of a file to publish) holds one block in
// memory at a time.
#include <cstddef>
#include <functional>
#include <string>

namespace platform {

// The size of the blocks handed on; the last one may be shorter.
inline constexpr size_t kFileBlockSize = size_t{1} << 20;

// Hands each block of the regular file at the exact path (nothing is looked
// up without regard to case) to `consume`, in order.  A symbolic link under
// the name is refused (ELOOP) unless `followLink`.  False, with errno
// telling why, when the file cannot be opened, is no regular file, or a
// read fails; `consume` may then have seen part of it.
bool ReadFileBlocks(const std::string& path,
                    const std::function<void(const char* data, size_t size)>& consume,
                    bool followLink = false);

}  // namespace platform
