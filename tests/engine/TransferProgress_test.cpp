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

TEST(TransferProgress, CountsAreCutToTheirLow32BitsSigned) {
  DetectContext detect("/opt/upd/");
  HttpClientWorkBegin(detect.context, (int64_t{1} << 32) + 5);
  EXPECT_EQ(detect.window.progressMax, 5);
  EXPECT_EQ(detect.context.AnnouncedLength, (int64_t{1} << 32) + 5);  // kept whole for the check
  HttpClientWork(detect.context, (int64_t{1} << 32) + 3);
  EXPECT_EQ(detect.window.progressPosition, 3);
  HttpClientWork(detect.context, int64_t{0x80000000});
  EXPECT_EQ(detect.window.progressPosition, INT32_MIN);
}

TEST(TransferProgress, NegativeMaximumIsRefusedByTheBar) {
  DetectContext detect("/opt/upd/");
  HttpClientWorkBegin(detect.context, 1000);
  EXPECT_ANY_THROW(HttpClientWorkBegin(detect.context, int64_t{0x80000000}));  // 2 GiB
  EXPECT_ANY_THROW(HttpClientWorkBegin(detect.context, int64_t{0xFFFFFFFF}));
  EXPECT_EQ(detect.window.progressMax, 1000);
}

TEST(TransferProgress, AbortFlagIsLeftForTheDownloadLoop) {
  DetectContext detect("/opt/upd/");
  detect.window.SetTag(99);
  HttpClientWork(detect.context, 10);  // nothing open: the disconnect is harmless
  EXPECT_EQ(detect.window.Tag(), 99);
  EXPECT_FALSE(detect.http.Connected());
}

}  // namespace
