#include "common/status_frame.h"

#include <gtest/gtest.h>

#include <vector>

namespace lark {
namespace {

using V = std::vector<uint8_t>;

// A request frame: head, command, sub, the given data bytes, correct CRC.
V Request(uint8_t command, uint8_t sub, V data) {
  V out(16 + data.size());
  size_t n = BuildStatusRequest(out, command, sub, data);
  out.resize(n);
  return out;
}

// `body` with its length field and CRC.
V Sealed(V body) {
  const size_t n = body.size();
  body.resize(n + 2);
  SealStatusFrame(body, n);
  return body;
}

TEST(StatusFrame, RequestAndAnswerGolden) {
  EXPECT_EQ(Request(1, 3, {0, 2, 0, 1}),
            (V{0x01, 0x01, 0x00, 0x00, 0x06, 0x01, 0x03, 0x00, 0x02, 0x00, 0x01, 0x10, 0x0C}));
  // The not-found answer: 10 bytes, length field 3.
  V answer = {0x01, 0x02, 0x00, 0x00, 0x00, 0x01, 0x02, 0x00, 0xEE, 0xEE};
  ASSERT_EQ(SealStatusFrame(answer, 8), 10u);
  EXPECT_EQ(answer, (V{0x01, 0x02, 0x00, 0x00, 0x03, 0x01, 0x02, 0x00, 0xF2, 0xE3}));
  auto parsed = ParseStatusAnswer(answer);
  ASSERT_TRUE(parsed);
  EXPECT_EQ(parsed->result, kStatusResultNotFound);
  EXPECT_FALSE(parsed->nodeId);

  V view(8, 0xEE);
  PutStatusViewHeader(view, kStatusViewIdle);
  EXPECT_EQ(V(view.begin(), view.begin() + 4), (V{0x55, 0xAA, 0x01, 0xEE}));
  EXPECT_TRUE(StatusViewSigned(view));
}

TEST(StatusFrame, RequestsAreBoundedAndChecked) {
  auto withLength = [](V f, uint32_t length) {
    putBe24(f, kStatusOffLength, length);
    return f;
  };
  V good = Request(1, 3, {0, 2, 0, 1});
  V badCrc = good;
  badCrc.back() ^= 1;
  V padded = Request(1, 0, V(kStatusRequestMaxSize - 9, 0));
  ASSERT_EQ(padded.size(), kStatusRequestMaxSize);
  V tooLong = Request(1, 0, V(kStatusRequestMaxSize - 8, 0));
  struct Case {
    const char* what;
    V frame;
    StatusRequestFault fault;
  } cases[] = {
      {"good", good, StatusRequestFault::kNone},
      {"1056 bytes", padded, StatusRequestFault::kNone},
      {"1057 bytes", tooLong, StatusRequestFault::kLength},
      {"crc altered", badCrc, StatusRequestFault::kCrc},
      {"length 1050", withLength(good, 1050), StatusRequestFault::kLength},
      {"length 2^24-1", withLength(good, 0xFFFFFF), StatusRequestFault::kLength},
      {"head only", V{1, 1, 0}, StatusRequestFault::kLength},
      {"no command", Sealed({1, 1, 0, 0, 0}), StatusRequestFault::kShort},
      {"no sub", Sealed({1, 1, 0, 0, 0, 1}), StatusRequestFault::kShort},
      {"command 2", Request(2, 0, {0, 2}), StatusRequestFault::kCommand},
      {"sub 9", Request(1, 9, {0, 2, 0, 1}), StatusRequestFault::kSub},
      {"sub 0, 10 bytes", Request(1, 0, {0}), StatusRequestFault::kShort},
      {"sub 3, 12 bytes", Request(1, 3, {0, 2, 0}), StatusRequestFault::kShort},
      {"sub 3, 11 bytes", Request(1, 3, {0, 2}), StatusRequestFault::kShort},
      {"sub 1, 11 bytes", Request(1, 1, {0, 2}), StatusRequestFault::kNone},
  };
  for (const Case& c : cases) {
    StatusRequestFault fault = StatusRequestFault::kNone;
    auto r = ParseStatusRequest(c.frame, &fault);
    EXPECT_EQ(fault, c.fault) << c.what;
    EXPECT_EQ(r.has_value(), c.fault == StatusRequestFault::kNone) << c.what;
  }
  auto r = ParseStatusRequest(good);
  ASSERT_TRUE(r);
  EXPECT_EQ(r->sub, 3);
  EXPECT_EQ(r->nodeId, 2);
  EXPECT_EQ(r->count, 1);
}

TEST(StatusFrame, AnswersAreCheckedAndBounded) {
  V answer = {1, 2, 0, 0, 0, 1, 1, 0, 0, 7, 0xAB, 0xCD, 0, 0};
  ASSERT_EQ(SealStatusFrame(answer, 12), 14u);
  auto a = ParseStatusAnswer(answer);
  ASSERT_TRUE(a);
  EXPECT_EQ(a->nodeId, 7);
  EXPECT_EQ(a->data.size(), 2u);
  V bad = answer;
  bad[10] ^= 1;
  EXPECT_FALSE(ParseStatusAnswer(bad));
  EXPECT_FALSE(ParseStatusAnswer(V(answer.begin(), answer.end() - 1)));
  V request = Request(1, 1, {0, 7});
  EXPECT_FALSE(ParseStatusAnswer(request));  // a request is no answer
  EXPECT_FALSE(ParseStatusAnswer(V{1, 2, 0}));
}

}  // namespace
}  // namespace lark
