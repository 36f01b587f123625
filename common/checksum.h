// Checksums of the device protocols and the status frames.
#pragma once
#include <cstdint>

#include "common/bytes.h"

namespace lark {

// Modbus CRC-16: initial 0xFFFF, polynomial 0xA001 reflected; sent low byte first.
uint16_t Crc16Modbus(CBytes data);
// 8-bit sum of the bytes, wrapping.
uint8_t Sum8(CBytes data);

}  // namespace lark
