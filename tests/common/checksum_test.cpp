#include "common/checksum.h"

#include <gtest/gtest.h>

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
}

TEST(Checksum, Sum8Wraps) {
  const uint8_t data[] = {0xFF, 0x02};
  EXPECT_EQ(Sum8(data), 0x01);
  EXPECT_EQ(Sum8({}), 0x00);
}

TEST(Bytes, EndianAccessorsAndTextFields) {
  uint8_t b[12] = {};
  putU32(b, 0, 0x11223344);
  EXPECT_EQ(b[0], 0x44);
  putBe16(b, 4, 0x0102);
  EXPECT_EQ(b[4], 0x01);
  EXPECT_EQ(be16At(b, 4), 0x0102);
  putBe24(b, 6, 0x0A0B0C);
  EXPECT_EQ(be24At(b, 6), 0x0A0B0Cu);
  putI32(b, 0, -1);
  EXPECT_EQ(i32At(b, 0), -1);
  // A text field is cut at a character boundary and always terminated.
  uint8_t f[4];
  putStr(f, 0, 4, "ab\xC3\xA9");  // "abé" is 4 bytes: the é does not fit
  EXPECT_EQ(strAt(f, 0, 4), "ab");
  const uint8_t unterminated[3] = {'x', 'y', 'z'};
  EXPECT_EQ(strAt(unterminated, 0, 3), "xyz");
}

}  // namespace
}  // namespace lark
