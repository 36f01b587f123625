#include "linkserver/link_frame.h"

#include <gtest/gtest.h>

#include <vector>

namespace lark {
namespace {

using V = std::vector<uint8_t>;

TEST(LinkFrameTest, SizeComesFromTheLengthFieldOnceTheHeaderIsIn) {
  EXPECT_FALSE(LinkFrameSize(V{}));
  EXPECT_FALSE(LinkFrameSize(V{1, 1, 0}));
  EXPECT_EQ(LinkFrameSize(V{1, 1, 0, 0}), 4u);
  EXPECT_EQ(LinkFrameSize(V{9, 9, 0x01, 0x02}), 0x0102u + 4);
  EXPECT_EQ(LinkFrameSize(V{1, 1, 0xFF, 0xFF}), 0xFFFFu + 4);
}

TEST(LinkFrameTest, ViewIsBoundedToTheFrameNotToTheBytesBehindIt) {
  // Length 3: the frame is 7 bytes; the two bytes after it belong to the next frame.
  V bytes = {1, 1, 0, 3, 33, 0x09, 0x07, 0xAA, 0xBB};
  LinkFrameView f(bytes);
  EXPECT_EQ(f.size(), 7u);
  EXPECT_EQ(f.kind(), 1);
  EXPECT_EQ(f.command(), 33);
  EXPECT_EQ(f.be16(5), 0x0907);
  EXPECT_FALSE(f.be16(6));  // would reach into the next frame
  EXPECT_EQ(f.u8(7, 0x55), 0x55);
  EXPECT_TRUE(f.slice(7, 1).empty());
  EXPECT_TRUE(f.slice(5, 3).empty());
  EXPECT_EQ(f.slice(5, 2).size(), 2u);
  EXPECT_EQ(f.tail(5).size(), 2u);
  EXPECT_TRUE(f.tail(7).empty());
  EXPECT_FALSE(f.has(SIZE_MAX, 2));
  EXPECT_FALSE(f.has(2, SIZE_MAX));
}

TEST(LinkFrameTest, ViewOfATruncatedFrameSeesOnlyWhatIsThere) {
  V bytes = {1, 1, 0, 20, 13, 1};
  LinkFrameView f(bytes);
  EXPECT_EQ(f.size(), 6u);
  EXPECT_FALSE(f.be16(6));
  EXPECT_FALSE(f.le32(2 + 3));
  V empty = {1, 1, 0, 0};
  EXPECT_EQ(LinkFrameView(empty).command(), 0);
}

TEST(LinkFrameTest, BuilderWritesGoldenReplies) {
  V buf(64);
  LinkFrameBuilder b(buf);
  b.beginReply(33, 65);
  b.putU8(9);
  b.putU8(7);
  ASSERT_EQ(b.finish(), 8u);
  EXPECT_EQ(V(buf.begin(), buf.begin() + 8), (V{1, 2, 0, 4, 33, 65, 9, 7}));

  b.beginReply(1, 1);
  ASSERT_EQ(b.finish(), 6u);
  EXPECT_EQ(V(buf.begin(), buf.begin() + 6), (V{1, 2, 0, 2, 1, 1}));
  EXPECT_EQ(V(std::begin(kDiscoverAnswer), std::end(kDiscoverAnswer)), (V{1, 2, 0, 2, 1, 1}));

  b.begin(kLinkKindRequest, 2);
  b.putBe16(0x0180);
  ASSERT_EQ(b.finish(), 7u);
  EXPECT_EQ(V(buf.begin(), buf.begin() + 7), (V{1, 1, 0, 3, 2, 0x01, 0x80}));
}

TEST(LinkFrameTest, BuilderRefusesToOverrunItsBuffer) {
  V buf(8);
  LinkFrameBuilder b(buf);
  b.beginReply(5, 9);
  EXPECT_TRUE(b.putZeros(2));
  EXPECT_FALSE(b.putU8(1));
  EXPECT_TRUE(b.overflowed());
  EXPECT_EQ(b.finish(), 0u);

  LinkFrameBuilder notStarted(buf);
  EXPECT_FALSE(notStarted.putU8(1));
  EXPECT_EQ(notStarted.finish(), 0u);

  // A frame longer than the 16-bit length field can say is refused too.
  V big(kLinkBufferSize);
  LinkFrameBuilder large(big);
  large.beginReply(5, 9);
  EXPECT_TRUE(large.putZeros(0xFFFF));
  EXPECT_EQ(large.finish(), 0u);
}

TEST(LinkFrameTest, SockAddrImageHasTheConsolesLayout) {
  V out(16, 0xEE);
  PutSockAddrImage(out, 0, 0x7F000001, 0x1234);
  EXPECT_EQ(out, (V{2, 0, 0x12, 0x34, 127, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0}));
}

}  // namespace
}  // namespace lark
