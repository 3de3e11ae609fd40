#pragma once
// A fresh folder under the system's temporary folder for one test, removed
// with everything in it when the test ends.
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

class TempFolder {
 public:
  TempFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "quorvin-test-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) std::abort();
    FPath = pattern + "/";
  }
  ~TempFolder() {
    std::error_code ignored;
    // Give back write permission first so read-only test folders go too.
    for (auto& entry : std::filesystem::recursive_directory_iterator(FPath, ignored))
      std::filesystem::permissions(entry.path(), std::filesystem::perms::owner_all,
                                   std::filesystem::perm_options::add, ignored);
    std::filesystem::remove_all(FPath, ignored);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  // The folder's path, ending in "/".
  const std::string& Path() const { return FPath; }
  std::string operator/(const std::string& name) const { return FPath + name; }

  void Write(const std::string& name, const std::string& content) const {
    std::filesystem::create_directories(std::filesystem::path(FPath + name).parent_path());
    std::ofstream(FPath + name, std::ios::binary) << content;
  }
  std::string Read(const std::string& name) const {
    std::ifstream in(FPath + name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  bool Has(const std::string& name) const { return std::filesystem::exists(FPath + name); }

 private:
  std::string FPath;
};
