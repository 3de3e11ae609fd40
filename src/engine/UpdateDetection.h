#pragma once
// Update detection: the click handler of the Next button.
//
// Fetches the catalogue from the download server and keeps it as
// "allfiles.ini" in the program folder, finds each module's installation
// folders among DirList, compares each component's installed version (from
// the first installation folder's Version.ini) with the one offered, and
// appends an update list row for each component that is newer or whose
// module is installed more than once, provided its file is present in the
// first installation folder.  A row whose installed copy is in use is added
// unchecked and disabled.
//
// With rows, Next becomes the Update button; without, the user is told that
// all files are up to date and the program is asked to end.
//
// Errors are not caught here; they end the handler where they happen:
//   - a failed fetch, or a catalogue copy that cannot be written
//     (EFCreateError), leaves the status line and Next as they were, so Next
//     can be pressed again;
//   - an abort requested with Exit during the fetch ends the handler the same
//     way, silently (EAbort): a catalogue cut short is never used;
//   - a version that does not convert (EConvertError) or a missing field
//     (the list index error) leaves the rows added so far and both buttons
//     disabled.
#include "engine/UpdaterContext.h"

inline constexpr const char* kConnectingText = "Connecting with Computer QUORVIN Server.";
inline constexpr const char* kChooseUpdatesText =
    "Click UPDATE to download and install the programs or Double Click an item to check the path";
inline constexpr const char* kUpToDateText = "All files are already up to date.";

void GetListOfFiles(TUpdaterContext& context);
