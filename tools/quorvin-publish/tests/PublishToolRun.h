#pragma once
// Runs quorvin-publish as the vendor does, through its command line, on
// server trees in temporary folders.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "util/Sha256.h"

namespace fs = std::filesystem;

struct TResult {
  int status = -1;
  std::string output;  // standard output and error together
};

// Runs a command line through the shell; paths in it are temporary folders
// without quotes or blanks.
inline TResult Shell(const std::string& command) {
  TResult result;
  FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
  if (!pipe) return result;
  char buffer[4096];
  size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) result.output.append(buffer, got);
  const int status = ::pclose(pipe);
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

inline TResult Publish(const std::string& arguments) {
  return Shell(std::string(QUORVIN_PUBLISH_TOOL) + " " + arguments);
}

inline bool HaveOpenSsl() { return Shell("openssl version").status == 0; }

inline std::string Hex(const std::string& content) { return DigestHex(Sha256(content)); }

// A server tree in a temporary folder.
class TServer {
 public:
  TServer() {
    char pattern[] = "/tmp/quorvin-publish-XXXXXX";
    Root = ::mkdtemp(pattern);
    fs::create_directories(Root + "/download");
  }
  ~TServer() { fs::remove_all(Root); }
  void Write(const std::string& relative, const std::string& content) const {
    std::ofstream(Root + "/" + relative, std::ios::binary) << content;
  }
  std::string Read(const std::string& relative) const {
    std::ifstream in(Root + "/" + relative, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }
  bool Exists(const std::string& relative) const { return fs::exists(Root + "/" + relative); }
  std::string Catalogue() const { return Read("download/allfiles.ini"); }
  // A new key pair; returns the public key's text.
  std::string Keygen() {
    const TResult made = Publish("keygen " + Root + "/secret.key");
    EXPECT_EQ(made.status, 0) << made.output;
    return made.output.substr(0, made.output.find('\n'));
  }
  TResult Sign(const std::string& options = "") const {
    return Publish("sign " + options + Root + "/secret.key " + Root);
  }
  TResult Verify(const std::string& key) const { return Publish("verify " + key + " " + Root); }

  std::string Root;
};

// The vendor of the rotation drill: three root keys of which two must sign,
// catalogue keys as needed, and the first root built into the updater.
class TVendor {
 public:
  explicit TVendor(TServer& server) : FServer(server) {
    fs::create_directories(server.Root + "/keys");
    fs::create_directories(server.Root + "/download/root");
    for (const std::string name : {"root-a", "root-b", "root-c", "cat-1", "cat-2"}) {
      const TResult made = Publish("keygen " + Key(name));
      EXPECT_EQ(made.status, 0) << made.output;
      Public[name] = made.output.substr(0, made.output.find('\n'));
    }
  }
  std::string Key(const std::string& name) const { return FServer.Root + "/keys/" + name + ".key"; }
  std::string Root(int version) const {
    return FServer.Root + "/download/root/" + std::to_string(version) + ".root";
  }
  std::string FirstRoot() const { return FServer.Root + "/keys/first.root"; }

  TResult CreateFirst() {
    TResult made =
        Publish("root-create --root-threshold 2 --root-key a:" + Public["root-a"] +
                " --root-key b:" + Public["root-b"] + " --root-key c:" + Public["root-c"] +
                " --catalogue-key one:" + Public["cat-1"] + " " + FirstRoot());
    if (made.status != 0) return made;
    return Publish("root-sign " + Key("root-a") + " " + Key("root-c") + " " + FirstRoot());
  }
  TResult Sign(const std::string& keys) const {
    return Publish("sign --root " + FirstRoot() + " " + keys + " " + FServer.Root);
  }
  TResult Verify() const { return Publish("verify --root " + FirstRoot() + " " + FServer.Root); }

  std::map<std::string, std::string> Public;

 private:
  TServer& FServer;
};
