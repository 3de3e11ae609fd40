#pragma once
// The installation-folder scan: lists every folder below a folder, at every
// depth, into the context's DirList.
//
// Each entry is the parent's path followed by the folder's name and "/".
// The order is depth-first pre-order (a folder before the folders inside
// it); the folders within one folder come sorted by name without regard to
// case, so the order is the same in every run.  Folders whose names begin
// with a dot are neither listed nor entered.  A folder that this process may
// not read is listed by its parent but contributes nothing below it.  Links
// to folders are followed when they belong to root or to the owner of the
// folder scanned (platform/ContainedFolder.h: a member's link is never
// entered), and each real folder (device and inode) is listed and entered
// once only, under the first name that reaches it, so the walk always ends
// and no folder counts twice.
//
// After each folder's subtree the status line shows that folder (without a
// trailing "/") and the window handles its pending messages, so it stays
// responsive; other handlers may run meanwhile and see DirList partly filled.
// A folder that cannot be read for another reason (a failing disk) raises
// EFOpenError with the platform's reason: what is below it is not known.
#include <string>

#include "engine/UpdaterContext.h"

// `path` ends in "/".  DirList must exist.
void ScanFolder(TUpdaterContext& context, const std::string& path);
