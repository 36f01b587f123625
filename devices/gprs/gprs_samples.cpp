#include "devices/gprs/gprs_samples.h"

#include <cstdint>
#include <cstdio>

#include "devices/ascii_ups_samples.h"

namespace lark {

int32_t GprsSampleValue(int x, int station) {
  if (x == 13) return 3;
  if (x == 57) return 2;
  return 1000 * station + x;
}

std::string GprsSampleReport(char letter, int station, std::string_view name,
                             const std::map<int, int32_t>& given) {
  auto list = [station, &given](const char* tag, int first, int count) {
    std::string r = tag;
    for (int x = first; x < first + count; ++x) {
      const auto g = given.find(x);
      r += std::to_string(g != given.end() ? g->second : GprsSampleValue(x, station)) + ";";
    }
    return r;
  };
  char text[64];
  switch (letter) {
    case 'L':
      return "LOC" + std::string(name) + ";";
    case 'M':
      return "MODGPRS-UPS;" + std::to_string(100 + station) + ";";
    case 'V':
      return "VER1." + std::to_string(station) + ";";
    case 'D':
      std::snprintf(text, sizeof text, "BRDB%07d;S%07d;", station % 10000000, station % 10000000);
      return text;
    case 'R':
      return list("RAT", 0, 26);
    case 'A': {
      std::string r = "STA";
      for (int i = 0; i < 20; ++i) r += (i + station) % 2 == 0 ? "1;" : "0;";
      return r;
    }
    case 'B':
      return list("STB", 26, 15);
    case 'I':
      return list("STI", 41, 16);
    case 'O':
      return list("STO", 57, 18);
    case 'P':
      return list("STP", 75, 15);
    case 'T':
      return list("TSR", 90, 1);
  }
  return {};
}

std::string GprsStationReport(char letter, int station, std::string_view name) {
  static const std::string_view kTags = "RBIOPT";
  static const char* const kCodes[] = {"RAT", "STB", "STI", "STO", "STP", "TSR"};
  if (letter == 'A') {
    std::string r = "STA";
    for (int i = 0; i < 20; ++i) r += i == 19 ? "1;" : "0;";  // position 19 reports 0 when active
    return r;
  }
  const size_t at = kTags.find(letter);
  if (at == std::string_view::npos) return GprsSampleReport(letter, station, name);
  AsciiUpsProfile ups;
  ups.address = station;
  // The answer's fields, each closed by ';'.
  return kCodes[at] + AsciiSampleAnswer(ups, kCodes[at], "").value_or("") + ";";
}

}  // namespace lark
