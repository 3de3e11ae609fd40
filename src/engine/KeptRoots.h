#pragma once
// The roots the updater has accepted beyond the one built into it, kept in
// the program folder so that a later run starts from the newest:
// "trusted-roots.txt", one line per root in ascending order,
//
//   <version> <base64 of the root's text> <base64 of its signature file> CR LF
//
// The file is only a record of what the download server published: every
// run checks it again from the built-in root, with the same walk as the
// server's roots (RootChain.h).  A root in it that is damaged, or does not
// follow from the one before, ends what is taken from it; the roots from
// there on are fetched from the server again and the file is written anew.
// Start-up housekeeping leaves it alone.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine/RootChain.h"

namespace engine {

inline constexpr const char* kKeptRootsFileName = "trusted-roots.txt";

struct TKeptRoot {
  uint64_t Version = 0;
  TSignedRoot Root;
};

// The kept roots as a source for the walk: it offers what the file holds,
// in the order it holds it, up to the first line it cannot read.
class TKeptRoots : public IRootSource {
 public:
  explicit TKeptRoots(const std::string& programFolder);

  std::optional<TSignedRoot> Fetch(uint64_t version) override;
  // The number of roots the file holds (readable lines).
  size_t Count() const { return FRoots.size(); }

 private:
  std::vector<TKeptRoot> FRoots;
};

// Writes the file whole (through a temporary file and a rename), or removes
// it when there is nothing to keep; raises EFCreateError when it cannot.
void WriteKeptRoots(const std::string& programFolder, const std::vector<TKeptRoot>& roots);

}  // namespace engine
