#pragma once
// Where a server tree keeps what the updater fetches: below SERVER_ROOT,
// download/allfiles.ini, its signature download/allfiles.ini.sig, and each
// component's file as download/<bare name>.
#include <string>

#include "engine/Catalogue.h"
#include "engine/CatalogueSignature.h"
#include "util/allfunct.h"

struct TServerTree {
  explicit TServerTree(const std::string& root) : Root(AppendBackslash(root)) {}
  std::string Catalogue() const { return Root + kCataloguePath; }
  std::string Signature() const { return Root + kSignaturePath; }
  std::string Component(const std::string& bareName) const { return Root + "download/" + bareName; }

  std::string Root;  // ends in "/"
};
