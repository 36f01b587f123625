// Modbus ASCII frames of the PLC master: the discrete-input read request and
// the answer reader.
//
// Request (bus 1, 16 points from 0x0500):
//   0         1         2
//   0123456789012345678
//   :010205000010E8\r\n     address, function 2, start hi/lo, quantity hi/lo, LRC
// Answer to it (two data bytes):
//   :0102021234B5\r\n       address, function, byte count n, n data bytes, LRC
// The LRC is the two's complement of the 8-bit sum of the bytes before it.
// Hex digits may come in either case; anything else refuses the frame.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace lark {

inline constexpr int kPlcFunctionReadInputs = 2;
inline constexpr int kPlcMaxPoints = 160;       // points a range may ask for
inline constexpr int kPlcMaxRangeBytes = 20;    // data bytes a range stores (slots 0..19, 20..39)
inline constexpr size_t kPlcRequestSize = 17;   // ":" + 14 digits + CR LF
inline constexpr size_t kPlcMaxAnswerSize = 11 + 2 * kPlcMaxRangeBytes;

static_assert((kPlcMaxPoints + 7) / 8 == kPlcMaxRangeBytes);

// The points a request asks for: PLC.PointNum bounded to 1..160.
int PlcQuantity(int pointNum);
// Data bytes of an answer to `quantity` points.
inline int PlcAnswerBytes(int quantity) { return (quantity + 7) / 8; }
// 8-bit two's complement of the sum of `bytes`.
uint8_t ModbusLrc(const uint8_t* bytes, size_t count);
// The read-discrete-inputs request text with its LRC and CR LF.
std::string BuildPlcRequest(int address, int start, int quantity);

// The answer a PLC gives: address, function 2, the byte count, `data` and
// the LRC, upper-case digits and CR LF (simulators and tests).
std::string BuildPlcAnswer(int address, const std::vector<uint8_t>& data);

// What the reader made of the characters received so far.
struct PlcAnswer {
  enum Status { kNeedMore, kComplete, kBad } status = kNeedMore;
  size_t length = 0;           // characters the whole answer takes (known after the header)
  std::vector<uint8_t> data;   // the data bytes (kComplete)
  const char* reason = "";     // why it was refused (kBad)
};

// Reads the answer to a request of `quantity` points to `address`. Only the
// asked address with function 2 and exactly ceil(quantity / 8) data bytes is
// accepted; an exception reply, a wrong LRC, a non-hex digit or a missing
// CR LF refuse it.
PlcAnswer ReadPlcAnswer(std::string_view text, int address, int quantity);

}  // namespace lark
