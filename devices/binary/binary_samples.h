// Replies of a three-phase UPS unit to the binary protocol's requests, shared
// by the three-phase simulator (tools/ups3_sim) and the engine's tests.
#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "common/bytes.h"

namespace lark {

struct ThreePhaseUnit {
  int address = 1;
  bool eightTypes = true;         // identification model byte 2
  std::string model = "TP3-30K";  // up to 30 characters
  uint16_t statusWord = 0;        // on line (bits 0 and 6 would be battery mode)
  uint16_t logRecords = 100;      // event-log records
  // The unit's clock (seconds since 1970, read as its local wall time) when
  // the last record was logged; the records before it go back in time.
  int64_t logEnd = 1796112000;  // 2026/12/01 08:00:00
  uint8_t testKind = 1;           // type-24 test parameters
  uint16_t testLength = 10;
  bool refuseControl = false;  // 0x15 to control frames
  // The alarm bytes of the type-22 reply (data bytes 1, 3, 5, 7, 9, 11, 13
  // and 14), all clear by default.
  std::array<uint8_t, 8> alarmFlags{};
  // The state codes of the two active power filters (type 38).
  std::array<uint8_t, 2> apfStates{};
  // Control frames taken (hex, the whole request frame) and the answer byte.
  std::vector<std::string> controlLog;
};

// The reply to one whole request frame: a reply frame, 0x06 or 0x15 for a
// control frame, or empty (wrong sum, unknown type). Control frames are
// logged in the unit.
std::string ThreePhaseReply(ThreePhaseUnit& unit, CBytes request);

// The data bytes a unit sends for a query type (block = event-log block).
std::vector<uint8_t> ThreePhaseReplyData(const ThreePhaseUnit& unit, uint8_t type, uint8_t block);

// Event-log record n (0 the oldest) as the unit keeps it: the index (high
// byte first), year - 2000, month, day, hour, minute, second, event code.
std::array<uint8_t, 9> ThreePhaseLogRecord(const ThreePhaseUnit& unit, int n);

// "01 06 03 ..." of bytes.
std::string HexText(CBytes bytes);

}  // namespace lark
