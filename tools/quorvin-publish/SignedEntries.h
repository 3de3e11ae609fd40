#pragma once
// The component entries of a catalogue as the updater reads them, each with
// the file it names and the digest and size it was signed with, for the
// commands that look after a signed tree (archive, prune).
#include <string>
#include <vector>

#include "engine/DeltaOffer.h"
#include "engine/DownloadVerdict.h"

struct TSignedEntry {
  std::string Module, Key;
  std::string Bare;                // the file's bare name; "" when the entry names none
  engine::TExpectedFile Expected;  // kLengthAndSha256 with a size when signed
  engine::TDeltaOffer Offer;

  bool Signed() const {
    return Expected.Trust == engine::TExpectedFile::kLengthAndSha256 && Expected.Size.has_value();
  }
  std::string Name() const { return "[" + Module + "] " + Key; }
};

std::vector<TSignedEntry> SignedEntries(const std::string& catalogueBytes);
