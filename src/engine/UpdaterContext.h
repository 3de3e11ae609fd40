#pragma once
// Everything an engine handler works with: the window it reports to, the
// HTTP client of the window, the folders, the window's splitters and what
// the catalogue is verified with.  The main window owns all of it and hands
// the engine one context per call.
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "engine/UpdaterWindow.h"
#include "platform/RunLock.h"
#include "platform/SealedFile.h"
#include "util/StringList.h"
#include "util/UtcTime.h"

class THttpClient;  // http/HttpClient.h
class TQuorvinSI;   // util/QuorvinSI.h

struct TUpdaterContext {
  IUpdaterWindow& Window;
  THttpClient& HttpClient;
  std::string ProgramFolder;             // the program's own folder, ending in "/"
  std::string DownloadUrl;               // download server base URL, ending in "/"
  std::unique_ptr<TStringList> DirList;  // created by the start-up step; null before
  // The window's splitters: SI and PSI split at commas, NSI1 and NSI2 at
  // full stops, SI3 at vertical bars.
  TQuorvinSI& SI;
  TQuorvinSI& PSI;
  TQuorvinSI& NSI1;
  TQuorvinSI& NSI2;
  TQuorvinSI& SI3;
  // The length the running transfer announced at its begin; 0 when it
  // announced none.  The download checks each file against it.
  int64_t AnnouncedLength = 0;
  // The root of trust built into the program (engine/RootUpdate.h): the
  // text of its first root and that root's signature file, or, as a
  // shorthand for a root of one key with threshold 1, the base64 text of
  // that Ed25519 public key.  The window sets what the build holds.  All
  // empty: the catalogue is not verified and no signature is fetched.
  std::string BuiltInRootText = {};
  std::string BuiltInRootSignatures = {};
  std::string CatalogueKey = {};
  // The current UTC time in seconds since 1970, for a catalogue's expiry.
  std::function<int64_t()> UtcNow = SystemUtcNow;
  // The names of staged files that failed their check again before they
  // were installed, and were discarded; whoever reports to the user takes
  // them out.
  std::vector<std::string> DiscardedStagedFiles = {};
  // Files this run staged and sealed (platform/SealedFile.h), by staged
  // name: their check before installation needs no second read.  Each holds
  // a descriptor until its file is installed or the Update handler ends.
  std::map<std::string, platform::TSealedFile> SealedStagedFiles = {};
  // Keeps other updaters off the program folder from the start-up step on,
  // as long as the window lives.
  platform::TRunLock RunLock = {};
};
