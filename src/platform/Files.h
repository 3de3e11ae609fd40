#pragma once
// Files and folders as the updater needs them on Linux, one header for all
// of them: each concern has its own below.
//
// File names are matched without regard to letter case: every lookup of an
// existing file or folder resolves each path component exactly first, then
// case-insensitively.  A new file is created under the name given unless a
// file differing only in case exists, which is then used.
#include "platform/FileMoves.h"
#include "platform/FileOwnership.h"
#include "platform/FolderListing.h"
#include "platform/FolderSync.h"
#include "platform/PathLookup.h"
#include "platform/ProgramFolder.h"
#include "platform/WholeFiles.h"
