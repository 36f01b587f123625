#include "common/checksum.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/bytes.h"

namespace lark {
namespace {

TEST(Checksum, Crc16ModbusCheckValue) {
  EXPECT_EQ(Crc16Modbus(asBytes("123456789")), 0x4B37);
  // Sent low byte first: 37 4B.
  uint8_t wire[2];
  putU16(wire, 0, Crc16Modbus(asBytes("123456789")));
  EXPECT_EQ(wire[0], 0x37);
  EXPECT_EQ(wire[1], 0x4B);
  EXPECT_EQ(Crc16Modbus({}), 0xFFFF);
  // A Modbus RTU read request (slave 1, holding register 0, count 1) as sent on
  // the line ends in 84 0A.
  const uint8_t request[] = {0x01, 0x03, 0x00, 0x00, 0x00, 0x01};
  EXPECT_EQ(Crc16Modbus(request), 0x0A84);
}

TEST(Checksum, Sum8Wraps) {
  const uint8_t data[] = {0xFF, 0x02};
  EXPECT_EQ(Sum8(data), 0x01);
  EXPECT_EQ(Sum8({}), 0x00);
}

TEST(Bytes, EndianAccessorsGoldenImage) {
  uint8_t b[24] = {};
  putU8(b, 0, 0xA5);
  putI16(b, 1, -2);
  putU32(b, 3, 0x11223344);
  putU64(b, 7, 0x0102030405060708ull);
  putBe16(b, 15, 0x0102);
  putBe24(b, 17, 0x0A0B0C);
  putBe32(b, 20, 0xDEADBEEF);
  const uint8_t golden[24] = {0xA5, 0xFE, 0xFF, 0x44, 0x33, 0x22, 0x11, 0x08,
                              0x07, 0x06, 0x05, 0x04, 0x03, 0x02, 0x01, 0x01,
                              0x02, 0x0A, 0x0B, 0x0C, 0xDE, 0xAD, 0xBE, 0xEF};
  EXPECT_EQ(std::vector<uint8_t>(b, b + 24), std::vector<uint8_t>(golden, golden + 24));
  EXPECT_EQ(u8At(b, 0), 0xA5);
  EXPECT_EQ(u16At(b, 1), 0xFFFE);
  EXPECT_EQ(i16At(b, 1), -2);
  EXPECT_EQ(u32At(b, 3), 0x11223344u);
  EXPECT_EQ(u64At(b, 7), 0x0102030405060708ull);
  EXPECT_EQ(be16At(b, 15), 0x0102);
  EXPECT_EQ(be24At(b, 17), 0x0A0B0Cu);
  EXPECT_EQ(be32At(b, 20), 0xDEADBEEFu);
  putI32(b, 3, -1);
  EXPECT_EQ(i32At(b, 3), -1);
}

TEST(Bytes, TextFieldsCutAtACharacterBoundary) {
  struct Case {
    std::string text;
    size_t size;  // field size, terminator included
    std::string want;
  };
  const Case cases[] = {
      {"abc", 8, "abc"},
      {"abcdef", 4, "abc"},
      {"ab\xC3\xA9", 4, "ab"},              // "abé" is 4 bytes: the é does not fit
      {"\xC3\xA9\xC3\xA9", 4, "\xC3\xA9"},  // the first é fits whole
      {"\xF0\x9F\x98\x80x", 4, ""},         // a 4-byte character that does not fit
      {"\x81\x81\x81\x81\x81\x81", 5, "\x81\x81\x81\x81"},  // not UTF-8: cut as bytes
      {"x", 1, ""},
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> f(c.size + 2, 0xEE);
    putStr(f, 1, c.size, c.text);
    EXPECT_EQ(strAt(f, 1, c.size), c.want) << c.text;
    EXPECT_EQ(f[c.size], 0) << "terminated: " << c.text;
    EXPECT_EQ(f[c.size + 1], 0xEE) << "nothing written past the field: " << c.text;
  }
  const uint8_t unterminated[3] = {'x', 'y', 'z'};
  EXPECT_EQ(strAt(unterminated, 0, 3), "xyz");
}

}  // namespace
}  // namespace lark
