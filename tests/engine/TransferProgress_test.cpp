// The progress handlers: the bar's maximum and position, and the abort.
#include "engine/TransferProgress.h"

#include <gtest/gtest.h>

#include "DetectTestSupport.h"

namespace {

TEST(TransferProgress, BarFollowsATransferAndEndsFull) {
  DetectContext detect("/opt/upd/");
  HttpClientWorkBegin(detect.context, 1000);
  EXPECT_EQ(detect.window.progressMax, 1000);
  HttpClientWork(detect.context, 400);
  EXPECT_EQ(detect.window.progressPosition, 400);
  HttpClientWork(detect.context, 900);
  EXPECT_EQ(detect.window.progressPosition, 900);
  HttpClientWorkEnd(detect.context);
  EXPECT_EQ(detect.window.progressPosition, 1000);
}

// Lengths of 2 GiB and more reach the bar and the length check whole.
TEST(TransferProgress, CountsOfAnySizeAreKeptWhole) {
  DetectContext detect("/opt/upd/");
  for (const int64_t length : {int64_t{0x80000000}, int64_t{0xFFFFFFFF}, (int64_t{5} << 30)}) {
    HttpClientWorkBegin(detect.context, length);
    EXPECT_EQ(detect.window.progressMax, length);
    EXPECT_EQ(detect.context.AnnouncedLength, length);
    HttpClientWork(detect.context, length - 1);
    EXPECT_EQ(detect.window.progressPosition, length - 1);
  }
}

TEST(TransferProgress, AbortFlagIsLeftForTheDownloadLoop) {
  DetectContext detect("/opt/upd/");
  detect.window.SetTag(99);
  HttpClientWork(detect.context, 10);  // nothing open: the disconnect is harmless
  EXPECT_EQ(detect.window.Tag(), 99);
  EXPECT_FALSE(detect.http.Connected());
}

}  // namespace
