// Turning an error body into text: the character set an HTML page declares,
// and a body cut at the client's keep limit.
#include <gtest/gtest.h>

#include "http/BodyText.h"
#include "http/MemoryStream.h"

namespace {

std::string TextOf(const std::string& bytes, const std::string& contentType,
                   int64_t keepLimit = INT64_MAX) {
  TMemoryStream body(keepLimit);
  body.Write(bytes.data(), bytes.size());
  return ErrorBodyText(body, contentType, "");
}

}  // namespace

TEST(BodyText, HtmlMetaDeclarationsAreFoundPastBrokenElements) {
  std::string page =
      "<META name=x <meta <metadata charset=koi8-r> <meta\tHTTP-EQUIV='Content-Type' "
      "CONTENT=\"text/html; Charset=ISO-8859-1\"><p>caf\xE9";
  EXPECT_EQ(HtmlMetaCharSet(page), "iso-8859-1");
  EXPECT_EQ(TextOf(page, "text/html").substr(page.size() - 4), "caf\xC3\xA9");
  EXPECT_EQ(HtmlMetaCharSet("<meta charset= \"UTF-8\" /><meta charset=latin1>"), "utf-8");
  EXPECT_EQ(HtmlMetaCharSet("<meta http-equiv=x content=<meta charset=latin1"), "latin1");
  EXPECT_EQ(HtmlMetaCharSet("<meta http-equiv=refresh content=5> charset=latin1"), "");
}

TEST(BodyText, ACharacterCutAtTheKeepLimitIsLeftOut) {
  EXPECT_EQ(TextOf("ab\xE2\x82\xAC", "text/plain; charset=utf-8", 4), "ab");
  EXPECT_EQ(TextOf("ab\xE2\x82\xAC", "text/plain", 5), "ab\xE2\x82\xAC");
  EXPECT_EQ(TextOf("abc\xE2\x82\xAC", "text/plain", 4), "abc");
}
