// The records consoles send: golden bytes of each and the round trip.
#include "linkserver/link_records.h"

#include <gtest/gtest.h>

#include <vector>

namespace lark {
namespace {

TEST(LinkRecords, UpsControlGoldenBytes) {
  const UpsControlRecord r{0x1234, 1, 1619, 300, 10, 301, 65535, 1};
  const auto b = EncodeUpsControl(r);
  const std::vector<uint8_t> golden = {
      0x34, 0x12, 0, 0,           // node id, reserved
      1, 0, 0, 0,                 // scope
      0x53, 0x06, 0, 0,           // 1619
      0x2C, 0x01, 0, 0,           // test time 300
      10, 0, 0, 0,                // buzzer test
      0x2D, 0x01, 0, 0,           // shutdown delay 301
      0xFF, 0xFF, 0, 0,           // restart 65535
      1, 0, 0, 0,                 // EPO choice
      0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  EXPECT_EQ(std::vector<uint8_t>(b.begin(), b.end()), golden);
  EXPECT_EQ(DecodeUpsControl(b), r);
}

TEST(LinkRecords, TraceRequestGoldenBytes) {
  const TraceRequest t{1, 3, 5, 1};
  const auto b = EncodeTraceRequest(t);
  const std::vector<uint8_t> golden = {1, 0, 0, 0, 3, 0, 0, 0, 5, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0};
  EXPECT_EQ(std::vector<uint8_t>(b.begin(), b.end()), golden);
  EXPECT_EQ(DecodeTraceRequest(b), t);
}

TEST(LinkRecords, SettingsImageFieldsSitAtTheirOffsetsAndNothingElseIsTouched) {
  std::vector<uint8_t> img(kSettingsImageSize, 0);
  const PollingImage p{2000, 3, 1000, 4, 5, 6};
  HistoryImage h{120, 6, "D:\\History"};
  ReactionImage r;
  r.masks = {0x0F, 0x05, 0x00};
  r.audioInterval = {30, 60, 0};
  r.audioCycle = {1, 0, 1};
  PutPollingImage(img, p);
  PutHistoryImage(img, h);
  PutReactionImage(img, r);

  EXPECT_EQ(img[336], 0xD0);  // 2000 = 0x07D0
  EXPECT_EQ(img[337], 0x07);
  EXPECT_EQ(img[356], 6);
  EXPECT_EQ(img[364], 120);
  EXPECT_EQ(img[368], 6);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&img[372])), "D:\\History");
  EXPECT_EQ(img[1100], 0x0F);
  EXPECT_EQ(img[1104], 0x05);
  EXPECT_EQ(img[1112], 30);
  EXPECT_EQ(img[1124], 1);
  EXPECT_EQ(img[1132], 1);
  // Outside the three groups the image stays zero.
  for (size_t i = 0; i < img.size(); ++i) {
    const bool inside = (i >= 336 && i < 360) || (i >= 364 && i < 632) || (i >= 1100 && i < 1136);
    if (!inside) {
      ASSERT_EQ(img[i], 0) << i;
    }
  }
  EXPECT_EQ(GetPollingImage(img), p);
  EXPECT_EQ(GetHistoryImage(img), h);
  EXPECT_EQ(GetReactionImage(img), r);

  // A folder longer than its field is cut, and the field keeps its terminator.
  h.directory = std::string(300, 'x');
  PutHistoryImage(img, h);
  EXPECT_EQ(GetHistoryImage(img).directory, std::string(259, 'x'));
  EXPECT_EQ(img[631], 0);
  EXPECT_EQ(img[632], 0);
}

}  // namespace
}  // namespace lark
