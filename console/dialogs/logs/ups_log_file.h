// The UPS's own event log as the console receives it, without Qt: the step
// record of commands 11/6 and 11/7, the entry layouts of the 4600 bytes that
// follow it, the event texts, and the text file the UPS Log dialog writes.
//
//   step record, 20 bytes, little-endian (request payload; reply bytes 7..26):
//   0 u32 operation (0 start, 1 progress, 2 progress and entries)   4 i32 node id
//   8 u32 form (service)   12 i32 progress (service)   16 u32 total (service)
//   The console sends its record zero-filled but for operation and node id.
//
//   entries from reply byte 27, 4600 bytes:
//   E8 (ASCII UPS, form 2):   0 source (0 the system, 255 empty)  1 year-2000
//                             2 month 3 day 4 hour 5 minute 6 second 7 code
//                             entry n (n = 1..total) at n x 8: the UPS numbers
//                             its records from 1
//   E9 (three-phase UPS):     0-1 index, high byte first  2 year-2000 .. 8 code
//                             entry n (n = 0..total-1) at n x 9
//   E9 low byte first:        as E9 with the index low byte first
//   text (ASCII UPS, form 1): entry n (n = 0..total-1) of 200 bytes at n x 200
//
// The total comes from the service; no more entries are read than the bytes
// received hold.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/bytes.h"
#include "platform/clock.h"

namespace lark {

inline constexpr size_t kUpsLogRecordSize = 20;
inline constexpr size_t kUpsLogRecordReplyOff = 7;
inline constexpr size_t kUpsLogEntriesReplyOff = kUpsLogRecordReplyOff + kUpsLogRecordSize;
inline constexpr size_t kUpsLogEntryBytes = 4600;
namespace ups_log_off {
inline constexpr size_t kOperation = 0, kNodeId = 4, kForm = 8, kProgress = 12, kTotal = 16;
}

enum UpsLogOperation : uint32_t { kUpsLogStart = 0, kUpsLogProgress = 1, kUpsLogFetch = 2 };

std::array<uint8_t, kUpsLogRecordSize> UpsLogRequest(uint32_t operation, int32_t nodeId);

struct UpsLogStatus {
  uint32_t form = 0;  // ASCII UPS: 1 texts, 2 records; else not ready
  int32_t progress = 0;
  uint32_t total = 0;
};
// The service's record of a reply frame; nothing when the frame is shorter.
std::optional<UpsLogStatus> ParseUpsLogStatus(CBytes frame);

enum class UpsLogLayout : uint8_t { kE8, kE9HighFirst, kE9LowFirst, kText };
// The three-phase UPS (CommType 1) sends E9; the ASCII UPS texts in form 1,
// E8 records otherwise.
UpsLogLayout UpsLogLayoutOf(int16_t commType, uint32_t form);

struct UpsLogEntry {
  int32_t first = 0;  // E8 the source, E9 the index
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  uint8_t code = 0;
  bool operator==(const UpsLogEntry&) const = default;
};
// The record entries of `entries` (not kText), at most `total`.
std::vector<UpsLogEntry> ReadUpsLogEntries(CBytes entries, UpsLogLayout layout, uint32_t total);
// The text entries, at most `total`: each cut at its NUL, control
// characters as blanks, empty ones left out.
std::vector<std::string> ReadUpsLogTexts(CBytes entries, uint32_t total);

// The text of an event code; empty when it has none. `hvdc`: the UPS's
// UpsTypeCode is 6, whose codes have their own table.
std::string_view UpsEventDescription(uint8_t code, bool hvdc);

// The model text of the UPS's live-data block (AsciiLiveData for CommType 0,
// BinaryLiveData for 1), cut at its field; empty when the block is shorter.
std::string UpsLogModel(CBytes block, int16_t commType);

struct UpsLogHeading {
  std::string title;
  std::string model;
  int32_t upsId = 0;  // the bus address
  WallTime downloaded;
};
// The file: four heading lines, the column heading and one line per entry
// (E8 leaves out empty entries and codes without a table), CRLF line ends.
std::string UpsLogFileText(const UpsLogHeading& heading, UpsLogLayout layout, CBytes entries,
                           uint32_t total, bool hvdc);
// "UPSEventLog_<title>(<node id>).txt", the title made safe as a file name.
std::string UpsLogFileName(std::string_view title, int32_t nodeId);

}  // namespace lark
