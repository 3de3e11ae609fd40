#include "engine/TransferProgress.h"

#include "http/HttpClient.h"
#include "util/Errors.h"

void HttpClientWorkBegin(TUpdaterContext& context, int64_t workCountMax) {
  context.AnnouncedLength = workCountMax;
  context.Window.SetProgressMax(workCountMax);
}

void HttpClientWork(TUpdaterContext& context, int64_t workCount) {
  context.Window.SetProgressPosition(workCount);
  if (context.Window.Tag() == kAbortRequested) context.HttpClient.Disconnect();
}

void HttpClientWorkEnd(TUpdaterContext& context) {
  context.Window.SetProgressPosition(context.Window.ProgressMax());
}

void EndListingIfAborted(TUpdaterContext& context) {
  if (context.Window.Tag() != kAbortRequested) return;
  context.HttpClient.Disconnect();
  throw EAbort("Operation aborted");
}
