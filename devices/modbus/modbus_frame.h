// Modbus RTU frames: the master's requests and the check of an answer
// against the request it answers.
//
//   read request   01 04 04 00 00 1B B1 31    address, function, start BE16,
//                  |  |  |     |     CRC LE    quantity BE16, CRC-16 low first
//   read answer    01 04 36 <54 data bytes> crc
//                        byte count n: 2 x quantity (3, 4), ceil(quantity / 8) (1, 2)
//   write answer   01 06 03 00 00 02 crc       the request echoed
//   exception      01 86 02 crc                function | 0x80, exception code
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "common/bytes.h"

namespace lark {

inline constexpr size_t kMaxRtuAnswer = 256;  // longer answers are never read
inline constexpr size_t kRtuReadRequestSize = 8;
inline constexpr size_t kRtuHeaderSize = 3;  // address, function, byte count / first byte

std::array<uint8_t, kRtuReadRequestSize> BuildReadRequest(uint8_t address, uint8_t function,
                                                          uint16_t start, uint16_t quantity);
// Address, the PDU, then the CRC.
std::vector<uint8_t> BuildRtuFrame(uint8_t address, CBytes pdu);

enum class RtuStatus : uint8_t {
  kNeedMore,   // `length` bytes are wanted in all (3 while the header is incomplete)
  kComplete,   // a checked answer of `length` bytes
  kException,  // a checked exception answer; `exception` holds its code
  kBad,        // not an answer to the request; `reason` says why
};

struct RtuCheck {
  RtuStatus status = RtuStatus::kNeedMore;
  size_t length = kRtuHeaderSize;
  uint8_t exception = 0;
  const char* reason = "";
};

// Checks the bytes received so far against the request last sent. Only
// functions 1..6 are asked; an answer must carry the request's address and
// function, a read answer the byte count its quantity needs, a write answer
// the request's own four bytes.
RtuCheck CheckRtuAnswer(CBytes request, CBytes got);

// A checked read answer with what its request asked.
struct RtuReadAnswer {
  uint8_t function = 0;
  uint16_t start = 0;
  uint16_t quantity = 0;
  CBytes data;  // the byte-count data bytes

  // Register r (start <= r < start + quantity) of a function 3/4 answer, or
  // -1 when r lies outside the answer.
  int32_t reg(int r) const;
  // Bit n of a function 1/2 answer, counted from `start`; false outside it.
  bool input(int n) const;
};
// The read answer of a complete `answer` to `request`; false for writes.
bool ReadAnswerOf(CBytes request, CBytes answer, RtuReadAnswer* out);

}  // namespace lark
