#include "engine/TransferProgress.h"

#include "http/HttpClient.h"

namespace {

constexpr int kAbortRequested = 99;

// The low 32 bits of a count, read as a signed number.
int32_t Low32(int64_t count) { return static_cast<int32_t>(static_cast<uint32_t>(count)); }

}  // namespace

void HttpClientWorkBegin(TUpdaterContext& context, int64_t workCountMax) {
  context.AnnouncedLength = workCountMax;
  context.Window.SetProgressMax(Low32(workCountMax));
}

void HttpClientWork(TUpdaterContext& context, int64_t workCount) {
  context.Window.SetProgressPosition(Low32(workCount));
  if (context.Window.Tag() == kAbortRequested) context.HttpClient.Disconnect();
}

void HttpClientWorkEnd(TUpdaterContext& context) {
  context.Window.SetProgressPosition(context.Window.ProgressMax());
}
