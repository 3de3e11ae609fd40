#pragma once
// The transfer progress handlers, bound to the HTTP client's work events.
// They drive the progress bar, keep the announced length for the download's
// length check, and they are where an abort requested with Exit (Tag 99)
// reaches a running transfer.  The direction of the transfer and the sender
// are not looked at.
#include <cstdint>

#include "engine/UpdaterContext.h"

// Transfer begin: the announced length is kept in the context for the
// length check, and becomes the bar's maximum, whole: the bar shows the
// proportion of a length of any size.
void HttpClientWorkBegin(TUpdaterContext& context, int64_t workCountMax);

// Progress: the bar's position follows the running total.  With an abort
// requested the connection is closed at once; the flag stays set for the
// download loop to see.
void HttpClientWork(TUpdaterContext& context, int64_t workCount);

// Transfer end: the bar is filled, also after a cut transfer.
void HttpClientWorkEnd(TUpdaterContext& context);

// After a fetch of the listing has returned: when Exit asked for an abort,
// what arrived is no text to act on.  The connection is closed too (it may
// have outlived a transfer that ended before the cut), so that the next
// Exit finds none and ends the program, and the handler ends silently
// (EAbort).
void EndListingIfAborted(TUpdaterContext& context);
