#include "engine/TransferProgress.h"

#include "http/HttpClient.h"

namespace {

constexpr int kAbortRequested = 99;

}  // namespace

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
