#include "devices/plc/modbus_ascii.h"

#include <algorithm>
#include <cstdio>

namespace lark {

namespace {

constexpr size_t kHeaderChars = 7;  // ":" address function count

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// The byte written as two digits at `pos`; -1 when either is not hex.
int HexByte(std::string_view text, size_t pos) {
  int hi = HexValue(text[pos]);
  int lo = HexValue(text[pos + 1]);
  return hi < 0 || lo < 0 ? -1 : hi * 16 + lo;
}

PlcAnswer Refuse(const char* reason) {
  PlcAnswer a;
  a.status = PlcAnswer::kBad;
  a.reason = reason;
  return a;
}

}  // namespace

int PlcQuantity(int pointNum) { return std::clamp(pointNum, 1, kPlcMaxPoints); }

uint8_t ModbusLrc(const uint8_t* bytes, size_t count) {
  uint8_t sum = 0;
  for (size_t i = 0; i < count; ++i) sum = static_cast<uint8_t>(sum + bytes[i]);
  return static_cast<uint8_t>(-sum);
}

std::string BuildPlcRequest(int address, int start, int quantity) {
  const uint8_t b[6] = {static_cast<uint8_t>(address),
                        kPlcFunctionReadInputs,
                        static_cast<uint8_t>(start >> 8),
                        static_cast<uint8_t>(start),
                        static_cast<uint8_t>(quantity >> 8),
                        static_cast<uint8_t>(quantity)};
  char text[kPlcRequestSize + 1];
  std::snprintf(text, sizeof text, ":%02X%02X%02X%02X%02X%02X%02X\r\n", b[0], b[1], b[2], b[3], b[4],
                b[5], ModbusLrc(b, 6));
  return std::string(text, kPlcRequestSize);
}

std::string BuildPlcAnswer(int address, const std::vector<uint8_t>& data) {
  std::vector<uint8_t> b = {static_cast<uint8_t>(address), kPlcFunctionReadInputs,
                            static_cast<uint8_t>(data.size())};
  b.insert(b.end(), data.begin(), data.end());
  b.push_back(ModbusLrc(b.data(), b.size()));
  std::string text = ":";
  char digits[3];
  for (uint8_t v : b) {
    std::snprintf(digits, sizeof digits, "%02X", v);
    text += digits;
  }
  return text + "\r\n";
}

PlcAnswer ReadPlcAnswer(std::string_view text, int address, int quantity) {
  if (text.empty()) return {};
  if (text[0] != ':') return Refuse("no colon");
  if (text.size() < kHeaderChars) return {};
  const int addr = HexByte(text, 1), function = HexByte(text, 3), count = HexByte(text, 5);
  if (addr < 0 || function < 0 || count < 0) return Refuse("not hex");
  if (addr != address) return Refuse("wrong address");
  if (function == (kPlcFunctionReadInputs | 0x80)) return Refuse("exception reply");
  if (function != kPlcFunctionReadInputs) return Refuse("wrong function");
  if (count != PlcAnswerBytes(quantity)) return Refuse("wrong byte count");
  PlcAnswer a;
  a.length = kHeaderChars + 2 * static_cast<size_t>(count) + 2 + 2;
  if (text.size() < a.length) return a;
  uint8_t sum = static_cast<uint8_t>(addr + function + count);
  a.data.reserve(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) {
    int v = HexByte(text, kHeaderChars + 2 * static_cast<size_t>(i));
    if (v < 0) return Refuse("not hex");
    a.data.push_back(static_cast<uint8_t>(v));
    sum = static_cast<uint8_t>(sum + v);
  }
  const size_t lrcPos = kHeaderChars + 2 * static_cast<size_t>(count);
  const int lrc = HexByte(text, lrcPos);
  if (lrc < 0) return Refuse("not hex");
  if (lrc != static_cast<uint8_t>(-sum)) return Refuse("wrong LRC");
  if (text[lrcPos + 2] != '\r' || text[lrcPos + 3] != '\n') return Refuse("no CR LF");
  a.status = PlcAnswer::kComplete;
  return a;
}

}  // namespace lark
