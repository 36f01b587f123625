#include "common/checksum.h"

namespace lark {

uint16_t Crc16Modbus(CBytes data) {
  uint16_t crc = 0xFFFF;
  for (uint8_t byte : data) {
    crc ^= byte;
    for (int i = 0; i < 8; ++i)
      crc =
          (crc & 1) ? static_cast<uint16_t>((crc >> 1) ^ 0xA001) : static_cast<uint16_t>(crc >> 1);
  }
  return crc;
}

uint8_t Sum8(CBytes data) {
  uint8_t sum = 0;
  for (uint8_t byte : data) sum = static_cast<uint8_t>(sum + byte);
  return sum;
}

}  // namespace lark
