// The RTU answer check: golden requests, a table of bad answers, and the
// same verdict whole, byte by byte, or with the next frame behind it.
#include "devices/modbus/modbus_frame.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/scripted_modbus_slave.h"

namespace lark {
namespace {

using test::WithCrc;

std::vector<uint8_t> V(const std::string& s) { return {s.begin(), s.end()}; }

TEST(ModbusFrame, GoldenRequests) {
  const auto req = BuildReadRequest(1, 4, 0x0400, 27);
  EXPECT_EQ(V(std::string("\x01\x04\x04\x00\x00\x1B\xB1\x31", 8)),
            std::vector<uint8_t>(req.begin(), req.end()));
  const uint8_t pdu[] = {6, 3, 1, 0, 5};
  EXPECT_EQ(BuildRtuFrame(1, pdu), V(std::string("\x01\x06\x03\x01\x00\x05\x18\x4D", 8)));
}

TEST(ModbusFrame, BadAnswers) {
  const auto readInputs = BuildReadRequest(1, 2, 256, 48);
  const auto readRegs = BuildReadRequest(1, 3, 768, 2);
  const std::vector<uint8_t> write = BuildRtuFrame(1, std::vector<uint8_t>{6, 3, 0, 0, 2});
  struct Case {
    const char* name;
    CBytes request;
    std::string answer;
    RtuStatus want;
  };
  const Case cases[] = {
      {"good inputs", readInputs, WithCrc(std::string("\x01\x02\x06\x01\x02\x03\x04\x05\x06", 9)),
       RtuStatus::kComplete},
      {"one byte for 48 inputs", readInputs, WithCrc(std::string("\x01\x02\x01\x01", 4)),
       RtuStatus::kBad},
      {"count 255", readRegs, WithCrc(std::string("\x01\x03\xFF", 3) + std::string(255, 'x')),
       RtuStatus::kBad},
      {"odd count", readRegs, WithCrc(std::string("\x01\x03\x03\x00\x01\x02", 6)), RtuStatus::kBad},
      {"bad CRC", readRegs, std::string("\x01\x03\x04\x00\x01\x00\x02\x00\x00", 9),
       RtuStatus::kBad},
      {"wrong address", readRegs, WithCrc(std::string("\x02\x03\x04\x00\x01\x00\x02", 7)),
       RtuStatus::kBad},
      {"write echo to a read", readRegs, WithCrc(std::string("\x01\x06\x03\x00\x00\x02", 6)),
       RtuStatus::kBad},
      {"exception 0x83", readRegs, WithCrc(std::string("\x01\x83\x02", 3)), RtuStatus::kException},
      {"echo", write, WithCrc(std::string("\x01\x06\x03\x00\x00\x02", 6)), RtuStatus::kComplete},
      {"echo of another value", write, WithCrc(std::string("\x01\x06\x03\x00\x00\x03", 6)),
       RtuStatus::kBad},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::vector<uint8_t> bytes = V(c.answer);
    // Whole, with a following frame behind it, and growing byte by byte.
    EXPECT_EQ(CheckRtuAnswer(c.request, bytes).status, c.want);
    std::vector<uint8_t> two = bytes;
    two.insert(two.end(), bytes.begin(), bytes.end());
    EXPECT_EQ(CheckRtuAnswer(c.request, two).status, c.want);
    RtuStatus last = RtuStatus::kNeedMore;
    size_t n = 0;
    for (; n <= bytes.size(); ++n) {
      last = CheckRtuAnswer(c.request, CBytes(bytes.data(), n)).status;
      if (last != RtuStatus::kNeedMore) break;
    }
    EXPECT_EQ(last, c.want);
    if (c.want == RtuStatus::kComplete) {
      EXPECT_EQ(n, bytes.size());
    }
  }
}

TEST(ModbusFrame, ReadAnswerNeverReachesPastItsBytes) {
  const auto req = BuildReadRequest(1, 3, 100, 2);
  const std::vector<uint8_t> ans = V(WithCrc(std::string("\x01\x03\x04\x12\x34\x56\x78", 7)));
  RtuReadAnswer a;
  ASSERT_TRUE(ReadAnswerOf(req, ans, &a));
  EXPECT_EQ(a.reg(100), 0x1234);
  EXPECT_EQ(a.reg(101), 0x5678);
  EXPECT_EQ(a.reg(99), -1);
  EXPECT_EQ(a.reg(102), -1);
  EXPECT_FALSE(a.input(100));
}

}  // namespace
}  // namespace lark
