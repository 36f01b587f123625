#include "devices/binary/binary_samples.h"

#include <algorithm>
#include <cstdio>
#include <ctime>

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

namespace {
// Where the alarm bytes sit in the type-22 data.
constexpr size_t kAlarmFlagBytes[8] = {1, 3, 5, 7, 9, 11, 13, 14};

// A mains failure bridged by the battery, a battery test, an overload and a
// short stay on bypass, in the order a site's log would have them; the log
// repeats the story.
constexpr uint8_t kLogStory[] = {
    0,    // Mains Input Voltage Abnormal
    131,  // Backup Mode
    40,   // Mains Input Voltage Normal
    130,  // Load On Inverter
    11,   // Battery Test OK
    22,   // Inverter Overload Warning
    62,   // Inverter Load Normal
    129,  // Load on Bypass
    130,  // Load On Inverter
};
}  // namespace

std::array<uint8_t, 9> ThreePhaseLogRecord(const ThreePhaseUnit& unit, int n) {
  // Records lie one to two hours apart, the newest at the unit's logEnd.
  int64_t at = unit.logEnd;
  for (int k = unit.logRecords - 1; k > n; --k) at -= 3600 + (k * 1237) % 3600;
  const time_t t = static_cast<time_t>(at);
  tm w{};
  gmtime_r(&t, &w);
  return {static_cast<uint8_t>((n >> 8) & 0xFF),
          static_cast<uint8_t>(n & 0xFF),
          static_cast<uint8_t>(std::clamp(w.tm_year + 1900 - 2000, 0, 255)),
          static_cast<uint8_t>(w.tm_mon + 1),
          static_cast<uint8_t>(w.tm_mday),
          static_cast<uint8_t>(w.tm_hour),
          static_cast<uint8_t>(w.tm_min),
          static_cast<uint8_t>(w.tm_sec),
          kLogStory[static_cast<size_t>(n) % std::size(kLogStory)]};
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
    // Whole volts and amperes; a period of 20000 is 50.0 Hz.
    case 1:  // input line voltages, voltages, currents, period, battery current and voltage
      for (int v : {400, 401, 399, 231, 232, 230, 16, 17, 16, 20000, 2, 540}) Word(d, v);
      break;
    case 2:  // output line voltages, voltages, currents, period: about 11 of 30 kVA
      for (int v : {398, 398, 398, 230, 230, 230, 15, 16, 16, 20000}) Word(d, v);
      break;
    case 4:
      Word(d, unit.statusWord);
      break;
    case 14:
      d = {35, 37, 37};  // load per phase, percent
      break;
    case 19:
      for (int v : {399, 400, 401, 230, 231, 232, 0, 0, 0, 20000}) Word(d, v);  // bypass
      break;
    case 20:
      for (int v : {100, 200, 300, 400, 500, 600}) Word(d, v);
      break;
    case 22:
      // Temperatures in whole degrees between the alarm bytes.
      d = {25, 0, 26, 0, 27, 0, 0x21, 0, 30, 0, 27, 0, 24, 0, 0};
      for (size_t i = 0; i < unit.alarmFlags.size(); ++i) d[kAlarmFlagBytes[i]] = unit.alarmFlags[i];
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
      // The log's 9-byte records run on through the blocks of 200 bytes.
      const size_t first = (static_cast<size_t>(block) - 1) * 200;
      std::array<uint8_t, 9> record{};
      for (size_t at = first; at < first + 200 && at < size_t{unit.logRecords} * 9; ++at) {
        if (at == first || at % 9 == 0)
          record = ThreePhaseLogRecord(unit, static_cast<int>(at / 9));
        d.push_back(record[at % 9]);
      }
      break;
    }
    case 38:
      // Two active power filters: number, current, state code 0 (no state event),
      // temperature, VSRC and ISRC in percent.
      d = {0, 1, 22, unit.apfStates[0], 23, 98, 0, 95, 0, 0, 2, 21, unit.apfStates[1], 22, 97, 0, 94, 0};
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
