// quorvin-publish: the vendor's side of trusted updates.
//
//   quorvin-publish keygen SECRET_FILE
//   quorvin-publish sign [--expires DAYS] [--restart-serial] [--root FIRST_ROOT]
//                        [--archive ARCHIVE [--patches K] [--level N]]
//                        SECRET_FILE... SERVER_ROOT
//   quorvin-publish verify [--archive ARCHIVE] PUBLIC_KEY SERVER_ROOT
//   quorvin-publish verify [--archive ARCHIVE] --root FIRST_ROOT SERVER_ROOT
//   quorvin-publish archive SERVER_ROOT ARCHIVE
//   quorvin-publish prune SERVER_ROOT
//   quorvin-publish root-create [ROOT_OPTIONS] ROOT_FILE
//   quorvin-publish root-next [ROOT_OPTIONS] PREVIOUS_ROOT ROOT_FILE
//   quorvin-publish root-sign SECRET_FILE... ROOT_FILE
//
// FIRST_ROOT is the root built into the updater (QUORVIN_ROOT_FILE), its
// signatures beside it as FIRST_ROOT.sig.  ARCHIVE is the vendor's archive
// of earlier releases (ReleaseArchive.h), which `archive` adds to.
//
// Exit status: 0 success, 1 failure, 2 wrong use.
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "ArchiveRelease.h"
#include "KeyFiles.h"
#include "Keygen.h"
#include "Prune.h"
#include "Roots.h"
#include "Sign.h"
#include "Verify.h"
#include "engine/CatalogueRelease.h"
#include "engine/CatalogueSignature.h"
#include "engine/RootChain.h"
#include "util/Errors.h"

namespace {

constexpr int kWrongUse = 2;
constexpr int kMaxExpiryDays = 36500;
// More patches than this only lengthen every entry: users that far behind
// are few, and the compressed copy serves them.
constexpr uint64_t kMaxPatchCount = 16;
// zstd's highest ordinary level; those above it take far more memory.
constexpr uint64_t kMaxLevel = 19;

const char* const kUsage =
    "usage: quorvin-publish keygen SECRET_FILE\n"
    "       quorvin-publish sign [--expires DAYS] [--restart-serial] [--root FIRST_ROOT]\n"
    "                            [--archive ARCHIVE [--patches K] [--level N]]\n"
    "                            SECRET_FILE... SERVER_ROOT\n"
    "       quorvin-publish verify [--archive ARCHIVE] PUBLIC_KEY SERVER_ROOT\n"
    "       quorvin-publish verify [--archive ARCHIVE] --root FIRST_ROOT SERVER_ROOT\n"
    "       quorvin-publish archive SERVER_ROOT ARCHIVE\n"
    "       quorvin-publish prune SERVER_ROOT\n"
    "       quorvin-publish root-create [ROOT_OPTIONS] ROOT_FILE\n"
    "       quorvin-publish root-next [ROOT_OPTIONS] PREVIOUS_ROOT ROOT_FILE\n"
    "       quorvin-publish root-sign SECRET_FILE... ROOT_FILE\n"
    "ROOT_OPTIONS: --root-key [LABEL:]PUBLIC_KEY (repeated), --catalogue-key [LABEL:]PUBLIC_KEY\n"
    "              (repeated), --root-threshold N, --catalogue-threshold N, --expires DAYS,\n"
    "              --serial-floor SERIAL\n";

// Wrong use: raised while the arguments are read, reported with the usage.
struct TWrongUse {
  std::string Why;
};

int Usage(const std::string& why = "") {
  if (!why.empty()) std::cerr << "quorvin-publish: " << why << "\n";
  std::cerr << kUsage;
  return kWrongUse;
}

// A whole number from `low` to `high`.
uint64_t Number(const std::string& option, const std::string& text, uint64_t low, uint64_t high) {
  uint64_t value = 0;
  if (ParseSerial(text, value) != TSerialText::kNumber || value < low || value > high)
    throw TWrongUse{option + " takes a number from " + std::to_string(low) + " to " +
                    std::to_string(high)};
  return value;
}

int Days(const std::string& text) {
  return static_cast<int>(Number("--expires", text, 1, kMaxExpiryDays));
}

// The arguments left after the options that `take` consumed; an option it
// does not know is wrong use.
class TArguments {
 public:
  explicit TArguments(std::vector<std::string> args) : FArgs(std::move(args)) {}
  bool More() const { return FIndex < FArgs.size(); }
  bool NextIsOption() const { return More() && FArgs[FIndex].starts_with("--"); }
  std::string Take() { return FArgs[FIndex++]; }
  std::string Value(const std::string& option) {
    if (!More()) throw TWrongUse{option + " needs a value"};
    return Take();
  }
  std::vector<std::string> Rest() {
    std::vector<std::string> rest(FArgs.begin() + static_cast<long>(FIndex), FArgs.end());
    FIndex = FArgs.size();
    return rest;
  }

 private:
  std::vector<std::string> FArgs;
  size_t FIndex = 0;
};

engine::TRoot FirstRoot(const std::string& rootFile) {
  try {
    return engine::ReadFirstRoot(ReadSignedRoot(rootFile), rootFile);
  } catch (const ECatalogueNotVerified& error) {
    throw Exception(error.Message().substr(std::string(kNotVerifiedText).size()));
  }
}

int RunSign(TArguments& args) {
  TSignOptions options;
  bool deltaOptions = false;
  while (args.NextIsOption()) {
    const std::string option = args.Take();
    if (option == "--expires")
      options.ExpiresInDays = Days(args.Value(option));
    else if (option == "--restart-serial")
      options.RestartSerial = true;
    else if (option == "--root")
      options.FirstRoot = FirstRoot(args.Value(option));
    else if (option == "--archive")
      options.Archive = args.Value(option);
    else if (option == "--patches")
      options.PatchCount = static_cast<int>(Number(option, args.Value(option), 0, kMaxPatchCount));
    else if (option == "--level")
      options.Level = static_cast<int>(Number(option, args.Value(option), 1, kMaxLevel));
    else
      throw TWrongUse{"sign has no option " + option};
    if (option == "--patches" || option == "--level") deltaOptions = true;
  }
  if (deltaOptions && options.Archive.empty())
    throw TWrongUse{"--patches and --level need --archive"};
  std::vector<std::string> rest = args.Rest();
  if (rest.size() < 2) throw TWrongUse{"sign needs SECRET_FILE... SERVER_ROOT"};
  options.ServerRoot = rest.back();
  rest.pop_back();
  options.SecretKeyFiles = rest;
  return Sign(options, std::cout, std::cerr);
}

int RunVerify(TArguments& args) {
  std::optional<engine::TRoot> root;
  std::string archive;
  while (args.NextIsOption()) {
    const std::string option = args.Take();
    if (option == "--root")
      root = FirstRoot(args.Value(option));
    else if (option == "--archive")
      archive = args.Value(option);
    else
      throw TWrongUse{"verify has no option " + option};
  }
  std::vector<std::string> rest = args.Rest();
  if (root && rest.size() == 1) return Verify(*root, rest[0], std::cout, std::nullopt, archive);
  if (root || rest.size() != 2)
    throw TWrongUse{"verify takes PUBLIC_KEY or --root FIRST_ROOT, then SERVER_ROOT"};
  return Verify(engine::OneKeyRoot(ReadPublicKey(rest[0], "PUBLIC_KEY")), rest[1], std::cout,
                std::nullopt, archive);
}

TRootOptions ReadRootOptions(TArguments& args) {
  TRootOptions options;
  while (args.NextIsOption()) {
    const std::string option = args.Take();
    if (option == "--root-key")
      options.RootKeys.push_back(args.Value(option));
    else if (option == "--catalogue-key")
      options.CatalogueKeys.push_back(args.Value(option));
    else if (option == "--root-threshold")
      options.RootThreshold = static_cast<int>(Number(option, args.Value(option), 1, 32));
    else if (option == "--catalogue-threshold")
      options.CatalogueThreshold = static_cast<int>(Number(option, args.Value(option), 1, 32));
    else if (option == "--expires")
      options.ExpiresInDays = Days(args.Value(option));
    else if (option == "--serial-floor")
      options.SerialFloor = Number(option, args.Value(option), 0, UINT64_MAX);
    else
      throw TWrongUse{"no root option " + option};
  }
  return options;
}

int Run(const std::string& command, TArguments& args) {
  if (command == "keygen") {
    const auto rest = args.Rest();
    if (rest.size() != 1) throw TWrongUse{"keygen takes one argument"};
    return Keygen(rest[0], std::cout);
  }
  if (command == "sign") return RunSign(args);
  if (command == "archive" || command == "prune") {
    const auto rest = args.Rest();
    if (command == "archive" && rest.size() == 2)
      return ArchiveRelease(rest[0], rest[1], std::cout);
    if (command == "prune" && rest.size() == 1) return Prune(rest[0], std::cout);
    throw TWrongUse{command + " has the wrong number of arguments"};
  }
  if (command == "verify") return RunVerify(args);
  if (command == "root-create" || command == "root-next") {
    const TRootOptions options = ReadRootOptions(args);
    const auto rest = args.Rest();
    if (command == "root-create" && rest.size() == 1)
      return RootCreate(options, rest[0], std::cout);
    if (command == "root-next" && rest.size() == 2)
      return RootNext(options, rest[0], rest[1], std::cout);
    throw TWrongUse{command + " has the wrong number of arguments"};
  }
  if (command == "root-sign") {
    std::vector<std::string> rest = args.Rest();
    if (rest.size() < 2) throw TWrongUse{"root-sign needs SECRET_FILE... ROOT_FILE"};
    const std::string rootFile = rest.back();
    rest.pop_back();
    return RootSign(rest, rootFile, std::cout);
  }
  throw TWrongUse{};
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Usage();
  try {
    TArguments args(std::vector<std::string>(argv + 2, argv + argc));
    return Run(argv[1], args);
  } catch (const TWrongUse& wrong) {
    return Usage(wrong.Why);
  } catch (const Exception& error) {
    std::cerr << "quorvin-publish: " << error.Message() << "\n";
    return 1;
  }
}
