#include "devices/ascii_ups_samples.h"

#include <cstdio>
#include <vector>

#include "devices/ascii_answer.h"

namespace lark {

namespace {

// Fields joined by ';'; a negative value is an empty field (not reported).
std::string Join(const std::vector<int>& v) {
  std::string out;
  for (size_t i = 0; i < v.size(); ++i) {
    if (i) out += ';';
    if (v[i] >= 0) out += std::to_string(v[i]);
  }
  return out;
}

std::string Binary16(const std::vector<int>& v) {
  std::string out;
  for (int x : v) {
    out += static_cast<char>(x & 0xFF);
    out += static_cast<char>((x >> 8) & 0xFF);
  }
  return out;
}

}  // namespace

int AsciiSampleInputVoltage(int address) { return 2290 + address - 1; }

std::optional<std::string> AsciiSampleAnswer(const AsciiUpsProfile& ups, std::string_view code,
                                             std::string_view args) {
  if (ups.refused.count(std::string(code)) != 0) return std::nullopt;
  if (auto given = ups.answers.find(code); given != ups.answers.end()) return given->second;
  const int a = ups.address - 1;
  if (code == "MOD") return ups.model + ";" + std::to_string(ups.modelClass);
  if (code == "MNU") return ups.manufacturer;
  if (code == "AVL") return ups.avl;
  if (code == "AL1") return ups.al1;
  if (code == "AL2") return ups.al2;
  if (code == "AL3") return ups.al3;
  // Values in the units of the live data: voltages in tenths of a volt where
  // the block keeps tenths, frequencies 50.0 Hz, a 3000 VA single-phase unit.
  if (code == "RAT") {
    // Nominal output and input voltage (whole volts, as the ratings and
    // limits) and frequency (sent in tenths, kept divided by 10), rating,
    // input and bypass transfer limits with their ranges, UPS type, nominal
    // battery voltage, bypass frequency tolerance.
    return Join({230, 500, 230, 500, 3000, 1,  1,  160, 280, 180, 110, 300, 250,
                 ups.upsType, 240, 12,   240, 20,   30, -1, 180, 264, 200, 160, 276, 240});
  }
  if (code == "VER") return ups.firmware;
  if (code == "CPU") return ups.cpu;
  if (code == "LET") return "2";
  if (code == "SER") return ups.serial;
  if (code == "STB") {
    // Battery normal, level OK, charger floating, not on battery, 45 minutes
    // left; each string 272 V, 1.5 A, 25 C, full.
    return Join({0, 0, 0, 0, 45, -1, 2720, 15, 25, 100, 60, 2710, 15, 25, 100});
  }
  if (code == "STI") {
    // One phase: 50.0 Hz, its voltage (differing by address, so lists can
    // sort the units by it) and 13.0 A.
    return Join({1, 500, AsciiSampleInputVoltage(ups.address), 130});
  }
  // Output on the inverter: 50.0 Hz, one phase, 230 V, 9.8 A, 1950 W, 65 %.
  if (code == "STO") return Join({0, 500, 1, 2300 + a, 98, 1950, 65});
  if (code == "STP") return Join({500, -1, 2300});  // bypass 50.0 Hz, 230 V
  if (code == "STA") {
    // Alarm 19 reports 0 when active, so a healthy unit sends 1 there.
    std::vector<int> fields(20, 0);
    fields[19] = 1;
    if (ups.alarm && ups.alarmField >= 0 && ups.alarmField < 20) fields[ups.alarmField] ^= 1;
    return Join(fields);
  }
  if (code == "TSR") return "1";  // passed
  if (code == "VSN") return "1";
  if (code == "ATT") return "1";
  if (code == "ARB") return "1";
  if (code == "UBD") return "0";
  if (code == "EBP") return "2";
  if (code == "TXV") return Join({160, 280});
  if (code == "TXF") return "20";
  if (code == "BT2") return "10";
  if (code == "BT1") return Join({180, 264});
  if (code == "SDC") return Binary16({1, 2, 300, 4, 5, 0x0102});
  if (code == "IDC") return Binary16({7, 0x0a0b});
  if (code == "PMA") return Join({1, 50, 2, 52 + a});
  if (code == "PMS") return Join({1, 0, 2, 0});
  if (code == "PFS") return Join({1, 0, 2, 0});
  if (code == "PIS") return Join({1, 0, 0, 0, 2, 0, 0, 0});
  if (code == "PCS") return Join({1, 0, 2, 0});
  if (code == "PMT") return Join({30, 31, 32, 33, 34, 35, 36, 37, 38, 39, 40, 41});
  if (code == "PIV") return Join({1, 2300, 2301, 2302, 2, 2303, 2304, 2305});
  if (code == "BPA") return Join({0, 0, 0, 0, 0, 0, 0, 0});
  if (code == "BCT") return Join({25, 26, 25, 26, 25, 26});
  if (code == "BTV") return Join({10, 2710});
  if (code == "AEL") return Join({ups.events, 0, ups.eventFormat});
  if (code == "EVT") {
    auto f = SplitFields(args);
    int pos = FieldValue(f[0]);
    int count = f.size() > 1 ? FieldValue(f[1]) : 1;
    std::string out;
    for (int i = pos; i < pos + count && i <= ups.events && out.size() < 200; ++i) {
      char rec[16];
      std::snprintf(rec, sizeof rec, "E%07d", i % 10000000);
      out += rec;
    }
    return out;
  }
  if (code == "ELS") {
    int pos = FieldValue(args);
    if (pos < 1) pos = 1;
    std::string text = "event " + std::to_string(pos) + " ";
    // Entries before the last are full 200-byte texts, so the reader asks on.
    size_t len = pos < ups.events ? 200 : 40;
    while (text.size() < len) text += '.';
    return std::to_string(pos) + ";" + text.substr(0, len);
  }
  return std::nullopt;
}

}  // namespace lark
