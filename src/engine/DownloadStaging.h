#pragma once
// Download and staging: the click handler of the Update button.  Every
// checked row's file streams as it arrives into a partial download beside
// the updater ("<bare>.{S}"), is checked against the length the transfer
// announced and, where its catalogue entry names them, its signed size and
// SHA-256 (DownloadVerdict.h), and turned into a staged file ("<bare>.{F}")
// described by a companion file ("<bare>.V.<version>") that records what it
// was checked against.  Where the entry offers a patch from the installed
// copy or a compressed copy, that comes first, rebuilt into the partial
// download and checked the same way; when it fails, the whole file follows
// in the same run as if nothing had happened (SmallerDownload.h).  A
// transfer that sends more than the signed size is cut at once, and a
// partial download that fails its check is deleted at once.  Then
// everything staged is checked again and installed, "Finished. " is
// reported and termination is requested.  "Finished. " is followed by the
// download error note when a file could not be fetched or staged, then by
// the names of the files that failed their check, and by the start's text
// of files in use when one could not be installed (it stays staged, and the
// next start installs it).
//
// A row is fetched only when its record splits into exactly nine fields: a
// comma inside a field would shift the rest and name the wrong file.
//
// The window wires the HTTP client's work events to the transfer progress
// handlers before calling this; Exit sets Tag to 99 and cuts the running
// transfer (or its next progress event does), and this handler then stops
// with "Download Aborted".  Errors (a failed transfer, a partial download
// that cannot be written) are not caught: they end the handler and go to the
// error report, and the failed row's partial download is removed.
#include "engine/UpdaterContext.h"

void DownloadTheFiles(TUpdaterContext& context);

// The download error note, spelled as the users have always seen it.
inline constexpr const char* kDownloadErrorNote = "Some errors were encounted during download.";
