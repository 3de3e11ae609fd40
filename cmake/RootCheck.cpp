// Checks the first root given to the build (QUORVIN_ROOT_FILE), with the
// updater's own code, while the build is configured: it must read as a root,
// be signed by a threshold of its own root keys, and not have expired.
//
//   root-check ROOT_FILE SIGNATURE_FILE
//
// Prints "version N" and exits 0, or prints what is wrong and exits 1.
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>

#include "engine/CatalogueSignature.h"
#include "engine/RootChain.h"
#include "util/UtcTime.h"

namespace {

bool ReadFile(const char* path, std::string& content) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  content.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return true;
}

// The reason alone: the build is not verifying a catalogue.
std::string Reason(const std::string& message) {
  const std::string prefix = kNotVerifiedText;
  return message.starts_with(prefix) ? message.substr(prefix.size()) : message;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) return 2;
  engine::TSignedRoot root;
  if (!ReadFile(argv[1], root.Text) || !ReadFile(argv[2], root.Signatures)) {
    std::cout << "cannot read " << argv[1] << " or " << argv[2] << "\n";
    return 1;
  }
  try {
    const engine::TRoot checked = engine::ReadFirstRoot(root, "the root");
    engine::CheckRootCurrent(checked, SystemUtcNow());
    std::cout << "version " << checked.Version << "\n";
    return 0;
  } catch (const Exception& error) {
    std::cout << Reason(error.Message()) << "\n";
    return 1;
  }
}
