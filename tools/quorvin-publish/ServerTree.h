#pragma once
// Where a server tree keeps what the updater fetches: below SERVER_ROOT,
// download/allfiles.ini, its signatures download/allfiles.ini.sig, each
// component's file as download/<bare name>, and the roots after the first
// as download/root/<N>.root with their signatures download/root/<N>.root.sig.
#include <cstdint>
#include <string>

#include "engine/Catalogue.h"
#include "engine/CatalogueSignature.h"
#include "engine/RootUpdate.h"
#include "util/allfunct.h"

struct TServerTree {
  explicit TServerTree(const std::string& root) : Root(AppendBackslash(root)) {}
  std::string Catalogue() const { return Root + kCataloguePath; }
  std::string Signature() const { return Root + kSignaturePath; }
  std::string Component(const std::string& bareName) const { return Root + "download/" + bareName; }
  std::string RootFile(uint64_t version) const {
    return Root + engine::kRootFolderPath + std::to_string(version) + engine::kRootSuffix;
  }
  std::string RootSignatures(uint64_t version) const {
    return Root + engine::kRootFolderPath + std::to_string(version) + engine::kRootSignatureSuffix;
  }

  std::string Root;  // ends in "/"
};
