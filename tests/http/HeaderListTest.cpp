#include <gtest/gtest.h>

#include "http/HeaderList.h"
#include "http/HttpRecords.h"

TEST(HeaderList, LookupIgnoresCaseTakesFirstAndJoinsContinuations) {
  THeaderList headers;
  headers.Add("X-Note: first");
  headers.Add("  part");
  headers.Add("\tmore  ");
  headers.Add("x-note: second");
  EXPECT_EQ(headers.Values("X-NOTE"), "first part more");
  EXPECT_EQ(headers.AllValues("x-note").size(), 2u);
  EXPECT_EQ(headers.Values("Missing"), "");
}

TEST(HeaderList, SetValueReplacesInPlaceAddValueAppends) {
  THeaderList headers;
  headers.AddValue("A", "1");
  headers.AddValue("B", "2");
  headers.SetValue("a", "3");
  headers.AddValue("B", "4");
  ASSERT_EQ(headers.Count(), 3);
  EXPECT_EQ(headers[0], "a: 3");
  EXPECT_EQ(headers[2], "B: 4");
}

TEST(HeaderList, LongLinesAreFoldedWithinTheLimit) {
  THeaderList headers;
  std::string value;
  for (int i = 0; i < 300; ++i) value += "name" + std::to_string(i) + "=v; ";
  headers.AddValue("Cookie", value);
  auto folded = headers.FoldedLines();
  ASSERT_GT(folded.size(), 1u);
  for (size_t i = 0; i < folded.size(); ++i) {
    EXPECT_LE(folded[i].size(), 1024u);
    if (i > 0) {
      EXPECT_EQ(folded[i][0], ' ');
    }
  }
}

TEST(ResponseRecord, StatusCodeAndHeaderFields) {
  EXPECT_EQ(StatusCodeOf("HTTP/1.1 404 Not Found"), 404);
  EXPECT_EQ(StatusCodeOf("HTTP/1.1 200"), 200);
  EXPECT_EQ(StatusCodeOf("HTTP/1.1 OK"), -1);
  EXPECT_EQ(StatusCodeOf("garbage"), -1);
  THttpResponse response;
  response.ResponseText = "HTTP/1.1 200 OK";
  response.RawHeaders.Add("Content-Length:  12abc");
  response.RawHeaders.Add("Content-Type: text/html; charset=\"ISO-8859-1\"");
  response.ParseHeaders();
  EXPECT_EQ(response.ContentLength, -1);
  EXPECT_FALSE(response.HasContentLength());
  EXPECT_EQ(response.CharSet, "ISO-8859-1");
  EXPECT_EQ(response.ResponseVersion, THttpVersion::pv1_1);
}
