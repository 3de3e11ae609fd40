// One run at a time per program folder.
#include <gtest/gtest.h>

#include "platform/RunLock.h"
#include "platform/TempFolder.h"

using platform::TRunLock;

// flock belongs to the open file description, so a second open of the
// folder in this same process meets the lock as another run would.
TEST(RunLockTest, ASecondRunIsRefusedUntilTheFirstEnds) {
  TempFolder folder;
  TRunLock second;
  {
    TRunLock first;
    ASSERT_TRUE(first.Take(folder.Path()));
    EXPECT_TRUE(first.Held());
    EXPECT_FALSE(second.Take(folder.Path()));
    EXPECT_FALSE(second.Held());
  }
  EXPECT_TRUE(second.Take(folder.Path()));
  EXPECT_TRUE(second.Held());

  TRunLock nowhere;
  EXPECT_TRUE(nowhere.Take(folder / "missing/")) << "nothing to guard: the run goes on";
  EXPECT_FALSE(nowhere.Held());
}
