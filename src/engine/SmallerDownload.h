#pragma once
// Fetching a row's file by a smaller route before the whole file: a patch
// from the installed copy, else the compressed copy (DeltaOffer.h), as the
// catalogue entry offers them.  The route's body is rebuilt into the row's
// partial download as it arrives (RebuildStream.h), which hashes the
// rebuilt bytes on the way, and the file is judged by its signed digest and
// size, exactly as a whole file is.
//
// Only an entry that names both a digest and a size is tried: the size
// bounds what the rebuild may write, the digest decides whether it
// succeeded.  The installed copy is hashed (InstalledCopy.h) only when the
// entry offers a patch, and nothing at all is asked of the server or of the
// disk for an entry that offers neither: the whole file is then fetched as
// ever.
//
// One attempt, and whatever goes wrong with it (an HTTP status, a network
// error, a body cut short, corrupt or refused by the rebuild, more than the
// signed size, a result that is not the signed file) leaves nothing on disk
// and gives way to the whole file in the same run, without a word to the
// user: only the whole file's failure is a download error.  The connection
// is closed after a failure that may have left part of a body unread, and
// kept where the server answered whole (an error status, a file that merely
// rebuilt wrong).  Exit (Tag 99) during the transfer stays an abort.
// Errors of the partial download itself (a disk that cannot take it) are no
// fault of the route: they end the run as they would for the whole file.
//
// The progress bar and the transfer events count the route's bytes, the
// ones that cross the wire.
#include <string>

#include "engine/CompanionFile.h"
#include "engine/DownloadVerdict.h"
#include "engine/UpdaterContext.h"

namespace engine {

struct TSmallerRow {
  std::string Bare;             // the file's bare name
  std::string InstalledFolder;  // the module's first installation folder, "" when none is known
};

struct TSmallerDownload {
  enum TResult {
    kNotOffered,  // no route fits: nothing was asked for
    kRebuilt,     // the partial download holds the signed file, flushed and closed
    kFailed,      // the route failed and left nothing: the whole file comes next
    kAborted,     // Exit: the connection is closed, the partial download stays as it is
  };
  TResult Result = kNotOffered;
  TStagedRecord Record = {};  // the rebuilt file's digest and size, when kRebuilt
};

TSmallerDownload FetchSmaller(TUpdaterContext& context, const TSmallerRow& row,
                              const TExpectedFile& expected);

}  // namespace engine
