// Sections: the step record, the entry layouts, the event texts (three
// tables), the file.
#include "console/dialogs/logs/ups_log_file.h"

#include <algorithm>
#include <cstdio>
#include <iterator>

#include "platform/paths.h"

namespace lark {

// ---- the step record ----

std::array<uint8_t, kUpsLogRecordSize> UpsLogRequest(uint32_t operation, int32_t nodeId) {
  std::array<uint8_t, kUpsLogRecordSize> rec{};
  putU32(rec, ups_log_off::kOperation, operation);
  putI32(rec, ups_log_off::kNodeId, nodeId);
  return rec;
}

std::optional<UpsLogStatus> ParseUpsLogStatus(CBytes frame) {
  if (frame.size() < kUpsLogEntriesReplyOff) return std::nullopt;
  const CBytes rec = frame.subspan(kUpsLogRecordReplyOff, kUpsLogRecordSize);
  return UpsLogStatus{u32At(rec, ups_log_off::kForm), i32At(rec, ups_log_off::kProgress),
                      u32At(rec, ups_log_off::kTotal)};
}

// ---- the entry layouts ----

namespace {

struct EntryShape {
  size_t size;   // bytes an entry
  size_t first;  // number of the first entry
  size_t date;   // offset of year - 2000
};
constexpr EntryShape ShapeOf(UpsLogLayout layout) {
  switch (layout) {
    case UpsLogLayout::kE8:
      return {8, 1, 1};
    case UpsLogLayout::kText:
      return {200, 0, 0};
    default:
      return {9, 0, 2};
  }
}

// Entry numbers first.. of `bytes` that `total` allows and the bytes hold.
size_t EntryCount(size_t bytes, const EntryShape& shape, uint32_t total) {
  const size_t held = bytes / shape.size;
  const size_t last = held > shape.first ? held - shape.first : 0;
  return std::min<size_t>(total, last);
}

}  // namespace

UpsLogLayout UpsLogLayoutOf(int16_t commType, uint32_t form) {
  if (commType == 1) return UpsLogLayout::kE9HighFirst;
  return form == 1 ? UpsLogLayout::kText : UpsLogLayout::kE8;
}

std::vector<UpsLogEntry> ReadUpsLogEntries(CBytes entries, UpsLogLayout layout, uint32_t total) {
  std::vector<UpsLogEntry> out;
  if (layout == UpsLogLayout::kText) return out;
  const EntryShape shape = ShapeOf(layout);
  const size_t count = EntryCount(entries.size(), shape, total);
  out.reserve(count);
  for (size_t n = shape.first; n < shape.first + count; ++n) {
    const CBytes e = entries.subspan(n * shape.size, shape.size);
    UpsLogEntry entry;
    switch (layout) {
      case UpsLogLayout::kE8:
        entry.first = e[0];
        break;
      case UpsLogLayout::kE9HighFirst:
        entry.first = be16At(e, 0);
        break;
      default:
        entry.first = u16At(e, 0);
        break;
    }
    const size_t d = shape.date;
    entry.year = 2000 + e[d];
    entry.month = e[d + 1];
    entry.day = e[d + 2];
    entry.hour = e[d + 3];
    entry.minute = e[d + 4];
    entry.second = e[d + 5];
    entry.code = e[d + 6];
    out.push_back(entry);
  }
  return out;
}

std::vector<std::string> ReadUpsLogTexts(CBytes entries, uint32_t total) {
  std::vector<std::string> out;
  const EntryShape shape = ShapeOf(UpsLogLayout::kText);
  const size_t count = EntryCount(entries.size(), shape, total);
  for (size_t n = 0; n < count; ++n) {
    std::string text = strAt(entries, n * shape.size, shape.size);
    for (char& c : text) {
      if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = ' ';
    }
    if (!text.empty()) out.push_back(std::move(text));
  }
  return out;
}

// ---- the event texts ----

namespace {

// Codes 0 to 119 (0x77).
constexpr const char* kTableA[] = {
    "Mains Input Voltage Abnormal",                  // 0
    "Mains Input Frequency Abnormal",                // 1
    "Mains Input Phase Sequency Abnormal",           // 2
    "Mains Input Over Current",                      // 3
    "Mains Input Current Unbalance",                 // 4
    "Rectifier(PFC) Over Temperature Warning",       // 5
    "Rectifier(PFC) Over Temperature Shutdown",      // 6
    "Rectifier Static Switch Fail",                  // 7
    "DC Bus Over Voltage",                           // 8
    "Battery Cabinet or Ambiance Over Temperature",  // 9
    "Battery Ground Fault",                          // 10
    "Battery Test OK",                               // 11
    "Battery Test Fail",                             // 12
    "Battery Over Charge",                           // 13
    "Battery Low Warning",                           // 14
    "Battery Low Shutdown",                          // 15
    "Battery Replacement",                           // 16
    "Inverter Over Temperature Warning",             // 17
    "Inverter Over Temperature Shutdown",            // 18
    "Inverter Input Voltage Abnormal",               // 19
    "Inverter Output Voltage Abnormal",              // 20
    "Inverter To Bypass PLL Abnormal",               // 21
    "Inverter Overload Warning",                     // 22
    "Inverter Overload Shutdown",                    // 23
    "Inverter Short Circuit",                        // 24
    "Inverter Fuse Fail",                            // 25
    "Inverter Fail",                                 // 26
    "Bypass Voltage Abnormal",                       // 27
    "Bypass Frequency Abnormal",                     // 28
    "Bypass Phase Sequency Abnormal",                // 29
    "Bypass Static Switch Over Temperature",         // 30
    "Bypass Static Switch Overload",                 // 31
    "Bypass Static Switch Fail",                     // 32
    "EPO On",                                        // 33
    "Sys Data Bus Loss",                             // 34
    "Parallel Communication Abnormal",               // 35
    "Parallel Fail",                                 // 36
    "Manual Bypass On",                              // 37
    "Output Transformer Over Temperature Shutdown",  // 38
    "Input Transformer Over Temperature",            // 39
    "Mains Input Voltage Normal",                    // 40
    "Mains Input Frequency Normal",                  // 41
    "Mains Input Phase Sequency Normal",             // 42
    "Mains Input Over Current Recovery",             // 43
    "Mains Input Current Unbalance Recovery",        // 44
    "Rectifier(PFC) Temperature Normal",             // 45
    "",                                              // 46
    "Rectifier Static Switch Normal",                // 47
    "DC Bus Voltage Normal",                         // 48
    "Battery Cabinet Temperature Normal",            // 49
    "Battery Ground Normal",                         // 50
    "",                                              // 51
    "",                                              // 52
    "Battery Charger Normal",                        // 53
    "Battery Voltage Normal",                        // 54
    "",                                              // 55
    "Battery Fully Changed",                         // 56
    "Inverter Temperature Normal",                   // 57
    "",                                              // 58
    "Inverter Input Voltage Normal",                 // 59
    "Inverter Output Voltage Normal",                // 60
    "Inverter Output Frequency Normal",              // 61
    "Inverter Load Normal",                          // 62
    "",                                              // 63
    "Inverter Circuit Normal",                       // 64
    "Inverter Fuse Normal",                          // 65
    "Inverter OK",                                   // 66
    "Bypass Voltage Normal",                         // 67
    "Bypass Frequency Normal",                       // 68
    "Bypass Phase Sequence Normal",                  // 69
    "Bypass Static Switch Temperature Normal",       // 70
    "Bypass Static Switch Load Normal",              // 71
    "Bypass Static Switch OK",                       // 72
    "EPO Off",                                       // 73
    "Inner Communication Normal",                    // 74
    "Parallel Communication Normal",                 // 75
    "Parallel OK",                                   // 76
    "Manual Bypass Off",                             // 77
    "Output Transformer Temperature Normal",         // 78
    "Input Transformer Temperature Normal",          // 79
    "Battery Test In Progress",                      // 80
    "PFC Circuit Fault Shutdown",                    // 81
    "Inverter Circuit Fault Shutdown",               // 82
    "PFC Soft Start Fault Shutdown",                 // 83
    "Inverter Soft Start Fault Shutdown",            // 84
    "PFC Fuse Open",                                 // 85
    "Inverter Static Switch Failure",                // 86
    "DC Bus Over Voltage Warning",                   // 87
    "DC Bus Over Voltage Shutdown",                  // 88
    "DC Bus Normal",                                 // 89
    "DC Bus Under Voltage Warning",                  // 90
    "DC Bus Under Voltage Shutdown",                 // 91
    "Output Voltage Abnormal Shutdown",              // 92
    "Power Module Fan Fail",                         // 93
    "System Fan Fail",                               // 94
    "Power Module Charger Fail",                     // 95
    "System Charger Fail",                           // 96
    "Aux Power Fail",                                // 97
    "System to System Not Compatible",               // 98
    "System to Module Not Compatible",               // 99
    "Module to Module Not Compatible",               // 100
    "PFC/Inverter Not Compatible",                   // 101
    "PFC EEPROM Error",                              // 102
    "Inverter EEPROM Error",                         // 103
    "PFC EEPROM Not Calibrated",                     // 104
    "Inverter EEPROM Not Calibrated",                // 105
    "Inverter Fuse Open",                            // 106
    "Battery Bad",                                   // 107
    "Inverter Over Current",                         // 108
    "System Parallel ID Conflict",                   // 109
    "Redundancy Lose",                               // 110
    "Output breaker off",                            // 111
    "Bypass load over 104%",                         // 112
    "PM ID fail",                                    // 113
    "IP TR overheat",                                // 114
    "OP TR overheat",                                // 115
    "External battery breaker off",                  // 116
    "PM CAN Loss",                                   // 117
    "PM Data Bus Loss",                              // 118
    "PM Interblock Loss",                            // 119
};
// Codes 128 (0x80) to 144 (0x90).
constexpr const char* kTableB[] = {
    "Inverter Status: Inhibit UPS Output",           // 128
    "Load on Bypass",                                // 129
    "Load On Inverter",                              // 130
    "Backup Mode",                                   // 131
    "Remote Shutdown",                               // 132
    "Inverter Status: SSOP Due to V-RMS",            // 133
    "Inverter Status: Feedback Loss",                // 134
    "Inverter Status: DV/DT Abnormal",               // 135
    "Inverter Status: SDA Command",                  // 136
    "Inverter Status: Bus OVP Happen",               // 137
    "Inverter Status: R-Inverter Fuse Open",         // 138
    "Inverter Status: S-Inverter Fuse Open",         // 139
    "Inverter Status: T-Inverter Fuse Open",         // 140
    "Inverter Status: R-Inverter High Temperature",  // 141
    "Inverter Status: S-Inverter High Temperature",  // 142
    "Inverter Status: T-Inverter High Temperature",  // 143
    "ECO mode",                                      // 144
};
// A UPS of type 6 (HVDC): codes 0 to 143 (0x8F).
constexpr const char* kTableC[] = {
    "Input voltage normal",                    // 0
    "Input voltage abnormal",                  // 1
    "Input frequency normal",                  // 2
    "Input frequency abnormal",                // 3
    "Input phase sequence normal",             // 4
    "Input phase sequence abnormal",           // 5
    "",                                        // 6
    "",                                        // 7
    "",                                        // 8
    "",                                        // 9
    "",                                        // 10
    "Reset PM fault event",                    // 11
    "System over heat warning recovery",       // 12
    "System over heat warning",                // 13
    "System over heat protect recovery",       // 14
    "System over heat protect",                // 15
    "System Aux. power normal",                // 16
    "System Aux. power abnormal",              // 17
    "System fan normal",                       // 18
    "System fan abnormal",                     // 19
    "Output over current recovery",            // 20
    "Output over current",                     // 21
    "",                                        // 22
    "Output over current shutdown",            // 23
    "Battery present",                         // 24
    "Battery open warning",                    // 25
    "Output over voltage recovery",            // 26
    "Output over voltage",                     // 27
    "Output under voltage recovery",           // 28
    "Output under voltage",                    // 29
    "",                                        // 30
    "",                                        // 31
    "",                                        // 32
    "Battery low warning",                     // 33
    "",                                        // 34
    "Battery end of discharge",                // 35
    "",                                        // 36
    "",                                        // 37
    "Battery GND normal",                      // 38
    "Battery GND fault",                       // 39
    "",                                        // 40
    "CT abnormal",                             // 41
    "",                                        // 42
    "Battery replacement",                     // 43
    "Battery over heat recovery",              // 44
    "Battery over heat",                       // 45
    "Battery over charge recovery",            // 46
    "Battery over charge",                     // 47
    "Battery voltage balanced",                // 48
    "Battery voltage unbalanced",              // 49
    "Battery test pass",                       // 50
    "",                                        // 51
    "",                                        // 52
    "Battery test fail",                       // 53
    "External parallel connected",             // 54
    "",                                        // 55
    "",                                        // 56
    "External parallel lose communication",    // 57
    "External parallel compatible",            // 58
    "External parallel incompatible",          // 59
    "Internal SCI communication normal",       // 60
    "Internal SCI communication abnormal",     // 61
    "Internal CAN communication normal",       // 62
    "Internal CAN communication abnormal",     // 63
    "EPO off",                                 // 64
    "EPO on",                                  // 65
    "",                                        // 66
    "Battery test abort",                      // 67
    "In doing battery test",                   // 68
    "",                                        // 69
    "Remote shutdown performed",               // 70
    "",                                        // 71
    "",                                        // 72
    "",                                        // 73
    "",                                        // 74
    "",                                        // 75
    "Charging current normal",                 // 76
    "Charging current abnormal",               // 77
    "",                                        // 78
    "Battery feedback abnormal",               // 79
    "",                                        // 80
    "",                                        // 81
    "Remote auto reboot",                      // 82
    "",                                        // 83
    "Output breaker closed",                   // 84
    "Output breaker open",                     // 85
    "System on",                               // 86
    "",                                        // 87
    "Manual off",                              // 88
    "",                                        // 89
    "Manual boost charge",                     // 90
    "",                                        // 91
    "Manual float charge",                     // 92
    "",                                        // 93
    "External parallel setup normal",          // 94
    "External parallel setup conflict",        // 95
    "In normal mode",                          // 96
    "In repair mode",                          // 97
    "PM OCP recover",                          // 98
    "PM OCP",                                  // 99
    "Output UVP recovery",                     // 100
    "Output UVP",                              // 101
    "Output OVP recovery",                     // 102
    "Output OVP",                              // 103
    "PM over heat recovery",                   // 104
    "PM over heat",                            // 105
    "",                                        // 106
    "PM over heat shutdown",                   // 107
    "PM fuse normal",                          // 108
    "PM fuse open",                            // 109
    "PM fan normal",                           // 110
    "PM fan abnormal",                         // 111
    "PM circuit fault recovery",               // 112
    "PM circuit fault",                        // 113
    "",                                        // 114
    "PM soft start failure",                   // 115
    "PM EEPROM normal",                        // 116
    "PM EEPROM abnormal",                      // 117
    "PM calibrated",                           // 118
    "PM not calibrated",                       // 119
    "",                                        // 120
    "",                                        // 121
    "PM output short circuit recovery",        // 122
    "PM output short circuit",                 // 123
    "",                                        // 124
    "",                                        // 125
    "PM compatible",                           // 126
    "PM incompatible",                         // 127
    "",                                        // 128
    "",                                        // 129
    "PM current limit recovery",               // 130
    "PM current limit",                        // 131
    "System SW sync OK",                       // 132
    "System SW sync NOK",                      // 133
    "PM PLL OK",                               // 134
    "PM PLL lose",                             // 135
    "PM internal SCI communication normal",    // 136
    "PM internal SCI communication abnormal",  // 137
    "PM internal CAN communication normal",    // 138
    "PM internal CAN communication abnormal",  // 139
    "",                                        // 140
    "",                                        // 141
    "PM current sharing normal",               // 142
    "PM current sharing abnormal",             // 143
};

constexpr size_t kTableBFirst = 128;
static_assert(std::size(kTableA) == 120 && std::size(kTableB) == 17 && std::size(kTableC) == 144);

}  // namespace

std::string_view UpsEventDescription(uint8_t code, bool hvdc) {
  if (hvdc) return code < std::size(kTableC) ? kTableC[code] : "";
  if (code < std::size(kTableA)) return kTableA[code];
  if (code >= kTableBFirst && code < kTableBFirst + std::size(kTableB))
    return kTableB[code - kTableBFirst];
  return "";
}

// ---- the file ----

namespace {

// Where the model text lies in the two blocks.
constexpr size_t kAsciiModel = 1011, kAsciiModelSize = 17;
constexpr size_t kBinaryModel = 756, kBinaryModelSize = 31;

void AppendF(std::string& out, const char* fmt, auto... args) {
  char line[96];
  std::snprintf(line, sizeof line, fmt, args...);
  out += line;
}

// Whether an E8 entry has a line: not empty, its code in a table.
bool E8Shown(const UpsLogEntry& e, bool hvdc) {
  if (e.first == 255) return false;
  if (hvdc) return e.code < 144;
  return e.code < 120 || (e.code >= 128 && e.code < 145);
}

}  // namespace

std::string UpsLogModel(CBytes block, int16_t commType) {
  const size_t off = commType == 1 ? kBinaryModel : kAsciiModel;
  const size_t size = commType == 1 ? kBinaryModelSize : kAsciiModelSize;
  if (block.size() < off + size) return "";
  return strAt(block, off, size);
}

std::string UpsLogFileText(const UpsLogHeading& heading, UpsLogLayout layout, CBytes entries,
                           uint32_t total, bool hvdc) {
  std::string out = "UPS Title=" + heading.title + "\r\nUPS Model=" + heading.model + "\r\n";
  const WallTime& t = heading.downloaded;
  AppendF(out, "UPS ID=%d\r\nDownload Time=%04d/%02d/%02d %02d:%02d:%02d\r\n", heading.upsId,
          t.year, t.month, t.day, t.hour, t.minute, t.second);
  if (layout == UpsLogLayout::kText) {
    for (const std::string& text : ReadUpsLogTexts(entries, total)) out += text + "\r\n";
    return out;
  }
  const bool e8 = layout == UpsLogLayout::kE8;
  out += e8 ? "ID" : "Index";
  out += "\tDate\t\tTime\t\tCode\tEvent Description\r\n";
  for (const UpsLogEntry& e : ReadUpsLogEntries(entries, layout, total)) {
    if (e8 && !E8Shown(e, hvdc)) continue;
    if (!e8) {
      AppendF(out, "%d\t", e.first);
    } else if (e.first == 0) {
      out += "System\t";
    } else {
      AppendF(out, "ID%d\t", e.first);
    }
    AppendF(out, "%04d/%02d/%02d\t%02d:%02d:%02d\t0x%02X\t", e.year, e.month, e.day, e.hour,
            e.minute, e.second, e.code);
    out += UpsEventDescription(e.code, hvdc);
    out += "\r\n";
  }
  return out;
}

std::string UpsLogFileName(std::string_view title, int32_t nodeId) {
  return "UPSEventLog_" + ReportFileTitle(title) + "(" + std::to_string(nodeId) + ").txt";
}

}  // namespace lark
