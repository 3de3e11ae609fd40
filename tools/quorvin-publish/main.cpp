// quorvin-publish: the vendor's side of trusted updates.
//
//   quorvin-publish keygen SECRET_FILE
//   quorvin-publish sign [--expires DAYS] SECRET_FILE SERVER_ROOT
//   quorvin-publish verify PUBLIC_KEY SERVER_ROOT
//
// Exit status: 0 success, 1 failure, 2 wrong use.
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "Keygen.h"
#include "Sign.h"
#include "Verify.h"
#include "util/Errors.h"

namespace {

constexpr int kWrongUse = 2;
constexpr int kMaxExpiryDays = 36500;

int Usage() {
  std::cerr << "usage: quorvin-publish keygen SECRET_FILE\n"
               "       quorvin-publish sign [--expires DAYS] SECRET_FILE SERVER_ROOT\n"
               "       quorvin-publish verify PUBLIC_KEY SERVER_ROOT\n";
  return kWrongUse;
}

// A whole number of days from 1 to kMaxExpiryDays.
std::optional<int> Days(const std::string& text) {
  if (text.empty() || text.size() > 5 || text.find_first_not_of("0123456789") != std::string::npos)
    return std::nullopt;
  const int days = std::stoi(text);
  if (days < 1 || days > kMaxExpiryDays) return std::nullopt;
  return days;
}

int Run(std::vector<std::string> args) {
  if (args.empty()) return Usage();
  const std::string command = args.front();
  args.erase(args.begin());
  if (command == "keygen" && args.size() == 1) return Keygen(args[0], std::cout);
  if (command == "verify" && args.size() == 2) return Verify(args[0], args[1], std::cout);
  if (command != "sign") return Usage();
  std::optional<int> expires;
  if (!args.empty() && args[0] == "--expires") {
    if (args.size() < 2) return Usage();
    expires = Days(args[1]);
    if (!expires) {
      std::cerr << "quorvin-publish: --expires takes a number of days from 1 to " << kMaxExpiryDays
                << "\n";
      return kWrongUse;
    }
    args.erase(args.begin(), args.begin() + 2);
  }
  if (args.size() != 2) return Usage();
  return Sign(args[0], args[1], expires, std::cout, std::cerr);
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return Run(std::vector<std::string>(argv + 1, argv + argc));
  } catch (const Exception& error) {
    std::cerr << "quorvin-publish: " << error.Message() << "\n";
    return 1;
  }
}
