#include "console/link/request_frame.h"

#include <gtest/gtest.h>

namespace lark {
namespace {

TEST(BuildRequestFrame, GoldenBytes) {
  const std::vector<uint8_t> d2 = {0xAB, 0xCD};
  struct Case {
    uint8_t command, sub;
    std::vector<uint8_t> data, bytes;
  } cases[] = {
      {1, 5, d2, {1, 1, 0, 1, 1}},                       // header only
      {23, 0, {}, {1, 1, 0, 1, 23}},
      {7, 5, {0x22, 0xF6}, {1, 1, 0, 3, 7, 0x22, 0xF6}},  // data from byte 5
      {33, 0, {9, 7}, {1, 1, 0, 3, 33, 9, 7}},
      {6, 3, {0, 1, 0, 5}, {1, 1, 0, 6, 6, 3, 0, 1, 0, 5}},  // sub, then data
      {12, 2, {}, {1, 1, 0, 2, 12, 2}},
      {0, 0, {}, {}},
      {35, 0, {}, {}},
  };
  for (const Case& c : cases) EXPECT_EQ(BuildRequestFrame(c.command, c.sub, c.data), c.bytes) << int(c.command);
}

TEST(BuildRequestFrame, LengthIsBigEndianAndTooLongIsRefused) {
  const std::vector<uint8_t> big(300, 0);
  const std::vector<uint8_t> f = BuildRequestFrame(21, 1, big);
  ASSERT_EQ(f.size(), 306u);
  EXPECT_EQ(f[2], 0x01);
  EXPECT_EQ(f[3], 0x2E);
  EXPECT_TRUE(BuildRequestFrame(21, 1, std::vector<uint8_t>(0x10000, 0)).empty());
}

TEST(BuildDiscoverFrame, CommandOneOnly) {
  EXPECT_EQ(BuildDiscoverFrame(1), (std::vector<uint8_t>{1, 1, 0, 1, 1}));
  EXPECT_TRUE(BuildDiscoverFrame(2).empty());
}

}  // namespace
}  // namespace lark
