#pragma once
// Everything an engine handler works with: the window it reports to, the
// HTTP client of the window, the folders, the window's splitters and what
// the catalogue is verified with.  The main window owns all of it and hands
// the engine one context per call.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "engine/UpdaterWindow.h"
#include "platform/RunLock.h"
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
  // The base64 text of the Ed25519 public key the catalogue must be signed
  // with (the window sets the one built into the program).  Empty: the
  // catalogue is not verified and no signature is fetched.
  std::string CatalogueKey = {};
  // The current UTC time in seconds since 1970, for a catalogue's expiry.
  std::function<int64_t()> UtcNow = SystemUtcNow;
  // Keeps other updaters off the program folder from the start-up step on,
  // as long as the window lives.
  platform::TRunLock RunLock = {};
};
