#include "devices/binary/binary_samples.h"

#include <cstdio>

#include "common/checksum.h"
#include "devices/binary/binary_reply.h"
#include "devices/binary/binary_ups.h"

namespace lark {

namespace {

void Word(std::vector<uint8_t>& d, int v) {
  d.push_back(static_cast<uint8_t>(v & 0xFF));
  d.push_back(static_cast<uint8_t>((v >> 8) & 0xFF));
}

}  // namespace

std::string HexText(CBytes bytes) {
  std::string out;
  for (uint8_t c : bytes) {
    char b[4];
    std::snprintf(b, sizeof b, "%s%02X", out.empty() ? "" : " ", c);
    out += b;
  }
  return out;
}

std::vector<uint8_t> ThreePhaseReplyData(const ThreePhaseUnit& unit, uint8_t type, uint8_t block) {
  std::vector<uint8_t> d;
  switch (type) {
    case 0:
      d.push_back(0);
      for (size_t i = 0; i < 30; ++i) {
        d.push_back(i < unit.model.size() ? static_cast<uint8_t>(unit.model[i]) : 0);
      }
      d.push_back(unit.eightTypes ? 2 : 1);
      break;
    case 1:  // input voltages, currents, frequency period, battery
      for (int v : {2301, 2302, 2303, 120, 121, 122, 2200, 2210, 2220, 200, 5450, 5460}) Word(d, v);
      break;
    case 2:  // output
      for (int v : {2300, 2300, 2300, 2300, 2301, 2302, 30, 31, 32, 200}) Word(d, v);
      break;
    case 4:
      Word(d, unit.statusWord);
      break;
    case 14:
      d = {35, 36, 37};
      break;
    case 19:
      for (int v : {2295, 2296, 2297, 10, 11, 12, 0, 0, 0, 200}) Word(d, v);
      break;
    case 20:
      for (int v : {100, 200, 300, 400, 500, 600}) Word(d, v);
      break;
    case 22:
      d = {25, 0, 26, 0, 95, 0, 0x21, 0, 40, 0, 27, 0, 90, 0, 0};
      break;
    case 24:
      d.push_back(unit.testKind);
      Word(d, unit.testLength);
      break;
    case 26:
      Word(d, unit.logRecords);
      break;
    case 27: {
      d.push_back(block);
      // 9-byte records numbered through the log, as many as fit in the block.
      const size_t first = (static_cast<size_t>(block) - 1) * 200;
      for (size_t i = 0; i < 200; ++i) {
        const size_t at = first + i;
        if (at >= size_t{unit.logRecords} * 9) break;
        d.push_back(static_cast<uint8_t>(at % 9 == 0 ? at / 9 : at % 251));
      }
      break;
    }
    case 38:
      d = {0, 50, 22, 28, 23, 0x10, 0x27, 0x20, 0x4E, 0, 51, 21, 30, 22, 0x11, 0x27, 0x21, 0x4E};
      break;
    default:
      break;
  }
  return d;
}

std::string ThreePhaseReply(ThreePhaseUnit& unit, CBytes request) {
  if (!BinaryFrameAnswers(request, request.size() > 1 ? request[1] : 0,
                          request.size() > 3 ? request[3] : 0)) {
    return {};
  }
  const uint8_t type = request[3];
  if (!IsBinaryQueryType(type)) {
    const char answer = unit.refuseControl ? kBinaryNak : kBinaryAck;
    unit.controlLog.push_back(HexText(request) + (unit.refuseControl ? " refused" : " taken"));
    return std::string(1, answer);
  }
  const uint8_t block = request.size() > 5 && request[2] >= 2 ? request[4] : 0;
  std::vector<uint8_t> body{static_cast<uint8_t>(0), type};
  const std::vector<uint8_t> data = ThreePhaseReplyData(unit, type, block);
  body.insert(body.end(), data.begin(), data.end());
  body[0] = static_cast<uint8_t>(body.size() - 1);
  const auto frame = BuildBinaryFrame(static_cast<uint8_t>(unit.address), CBytes(body));
  return std::string(frame.begin(), frame.end());
}

}  // namespace lark
