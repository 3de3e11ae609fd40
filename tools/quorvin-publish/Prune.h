#pragma once
// quorvin-publish prune: removes the files below SERVER_ROOT/download/delta/
// that no component entry of the catalogue names any longer (compressed
// copies and patches of files a later release replaced, patches from bases
// that dropped out of the last K).  An updater that still holds the older
// catalogue and asks for one of them gets "not found" and fetches the whole
// file instead.  Only plain files are removed.  Returns the exit status.
#include <ostream>
#include <string>

int Prune(const std::string& serverRoot, std::ostream& out);
