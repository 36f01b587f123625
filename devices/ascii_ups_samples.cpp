#include "devices/ascii_ups_samples.h"

#include <cstdio>
#include <vector>

#include "devices/ascii_answer.h"

namespace lark {

namespace {

std::string Join(const std::vector<int>& v) {
  std::string out;
  for (size_t i = 0; i < v.size(); ++i) {
    if (i) out += ';';
    out += std::to_string(v[i]);
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

int AsciiSampleInputVoltage(int address) { return 2300 + address - 1; }

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
  if (code == "RAT") {
    return Join({2300, 30000 + a, 500, 2300, 1300, 1, 2300, 500, 230, 3000, 2400, 0,  1,
                 ups.upsType, 2,  12,  240,  20,   2, 0,    40,  45,  20,   30,   10, 5});
  }
  if (code == "VER") return ups.firmware;
  if (code == "CPU") return ups.cpu;
  if (code == "LET") return "2";
  if (code == "SER") return ups.serial;
  if (code == "STB") return Join({0, 0, 100 + a, 270, 25, 0, 0, 0, 0, 0, 60, 0, 0, 0, 0});
  if (code == "STI") {
    // The third field differs by address too, so lists can sort the units by it.
    return Join({AsciiSampleInputVoltage(ups.address), 2310, 2290 + a, 500, 500, 500, 10, 12, 11, 0, 0,
                 0, 0, 0, 0, 0});
  }
  if (code == "STO") {
    return Join({1, 2300 + a, 2300, 2300, 500, 35, 34, 33, 8, 9, 8, 0, 0, 0, 0, 0, 0, 0});
  }
  if (code == "STP") return Join({2300, 2300, 500, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
  if (code == "STA") {
    // Alarm 19 reports 0 when active, so a healthy unit sends 1 there.
    std::string s = ups.alarm ? "1" : "0";
    for (int i = 1; i < 18; ++i) s += ";0";
    return s + ";0;1";
  }
  if (code == "TSR") return std::to_string(3 + a);
  if (code == "VSN") return "1";
  if (code == "ATT") return "0";
  if (code == "ARB") return "1";
  if (code == "UBD") return "0";
  if (code == "EBP") return "2";
  if (code == "TXV") return Join({2350, 2250});
  if (code == "TXF") return "50";
  if (code == "BT2") return "270";
  if (code == "BT1") return Join({270 + a, 28});
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
  if (code == "BCT") return Join({1, 2, 3, 4, 5, 6});
  if (code == "BTV") return Join({2700, 2710});
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
