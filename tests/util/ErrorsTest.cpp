#include <gtest/gtest.h>

#include <cerrno>

#include "util/Errors.h"

namespace {

template <typename Raise>
std::string MessageOf(Raise raise) {
  try {
    raise();
  } catch (const Exception& error) {
    return std::string(error.ClassName()) + ": " + error.Message();
  }
  return "nothing raised";
}

}  // namespace

TEST(ErrorsTest, MessagesFollowTheFrameworksFormats) {
  EXPECT_EQ("EConvertError: ''x1'' is not a valid integer value",
            MessageOf([] { RaiseConvertError("x1"); }));
  EXPECT_EQ("EStringListError: List index out of bounds (9)",
            MessageOf([] { RaiseListIndexError(9); }));
  EXPECT_EQ("EFCreateError: Cannot create file \"/opt/q/allfiles.ini\". Permission denied",
            MessageOf([] { RaiseCreateError("/opt/q/allfiles.ini", EACCES); }));
  EXPECT_EQ("EFOpenError: Cannot open file \"/opt/q/a.V.1\". No such file or directory",
            MessageOf([] { RaiseOpenError("/opt/q/a.V.1", ENOENT); }));
  EXPECT_EQ("EOutOfMemory: Out of memory", MessageOf([] { RaiseOutOfMemory(); }));
}

TEST(ErrorsTest, FileErrorsShareTheStreamFamily) {
  EXPECT_THROW(RaiseCreateError("f", EACCES), EStreamError);
  EXPECT_THROW(RaiseOpenError("f", ENOENT), EStreamError);
}

TEST(ErrorsTest, ReasonTextLosesTrailingBlanksAndFullStops) {
  for (int errnum : {EACCES, ENOENT, EROFS, ENOSPC, EEXIST, 0, 9999}) {
    const std::string text = PlatformReasonText(errnum);
    ASSERT_FALSE(text.empty());
    EXPECT_NE('.', text.back());
    EXPECT_GT(static_cast<unsigned char>(text.back()), ' ');
  }
}
