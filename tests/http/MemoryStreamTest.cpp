#include <gtest/gtest.h>

#include <string>

#include "http/MemoryStream.h"

TEST(MemoryStream, WritesAtThePositionAndGrows) {
  TMemoryStream stream;
  EXPECT_EQ(stream.Size(), 0);
  stream.Write("hello", 5);
  stream.SetPosition(1);
  stream.Write("EL", 2);
  EXPECT_EQ(std::string(stream.Data(), 5), "hELlo");
  EXPECT_EQ(stream.Position(), 3);
  stream.SetPosition(7);
  stream.Write("!", 1);
  ASSERT_EQ(stream.Size(), 8);
  EXPECT_EQ(std::string(stream.Data(), 8), std::string("hELlo\0\0!", 8));
}

TEST(MemoryStream, SetSizeTruncatesAndPullsThePositionBack) {
  TMemoryStream stream;
  stream.Write("abcdef", 6);
  stream.SetSize(3);
  EXPECT_EQ(stream.Position(), 3);
  stream.SetSize(10);
  EXPECT_EQ(stream.Position(), 3);
  EXPECT_EQ(stream.Size(), 10);
  stream.Clear();
  EXPECT_EQ(stream.Size(), 0);
  EXPECT_EQ(stream.Data(), nullptr);
}

TEST(MemoryStream, ManyLargeWritesKeepEveryByte) {
  TMemoryStream stream;
  std::string block(32768, 'a');
  for (int i = 0; i < 600; ++i) {
    block[0] = static_cast<char>('a' + i % 26);
    stream.Write(block.data(), block.size());
  }
  ASSERT_EQ(stream.Size(), 600 * 32768);
  EXPECT_EQ(stream.Data()[599 * 32768], static_cast<char>('a' + 599 % 26));
  EXPECT_EQ(stream.Data()[600 * 32768 - 1], 'a');
}

TEST(MemoryStream, AKeepLimitDropsWhatLiesBeyondIt) {
  TMemoryStream stream(4);
  stream.Write("ab", 2);
  stream.SetSize(1000);
  EXPECT_EQ(stream.Size(), 4);
  stream.Write("cdef", 4);
  EXPECT_EQ(std::string(stream.Data(), 4), "abcd");
  EXPECT_EQ(stream.Position(), 4);
  stream.SetPosition(10);
  stream.Write("gh", 2);
  EXPECT_EQ(stream.Position(), 4);
  EXPECT_EQ(stream.Size(), 4);
  EXPECT_EQ(stream.DroppedByteCount(), 4);
}
