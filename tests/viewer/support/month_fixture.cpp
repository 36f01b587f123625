#include "tests/viewer/support/month_fixture.h"

#include <fstream>

#include "core/language_texts_english.h"
#include "platform/paths.h"
#include "viewer/data/history_month.h"

namespace lark::test {

HistoryFolder::HistoryFolder() { WriteEnglishLanguageFolder(dir_.file("English")); }

std::vector<std::string> HistoryFolder::Fields(int deviceClass, int commType, int mibType,
                                               uint64_t mask) const {
  return {"Demo UPS",
          "Demo\\5",
          path(),
          "12",
          path(),
          std::to_string(static_cast<int32_t>(mask & 0xffffffffu)),
          std::to_string(static_cast<int32_t>(mask >> 32)),
          std::to_string(deviceClass),
          std::to_string(commType),
          std::to_string(mibType)};
}

ViewerArgs HistoryFolder::Args(int deviceClass, int commType, int mibType, uint64_t mask) const {
  return *ParseViewerArgs(Fields(deviceClass, commType, mibType, mask), nullptr).args;
}

std::string HistoryFolder::WriteMonth(int year, const std::string& name,
                                      const std::string& bytes) const {
  const std::string folder = path() + "/Demo/5/" + std::to_string(year);
  MakeDirs(folder);
  const std::string file = folder + "/" + name;
  std::ofstream(file, std::ios::binary) << bytes;
  return file;
}

WallTime March2024Day1() {
  WallTime t;
  t.year = 2024;
  t.month = 3;
  t.day = 1;
  return t;
}

std::string March2024Regular() {
  std::string out = "0\r\n";
  auto line = [&](int minuteOfDay, int v0, int p16) {
    out +=
        "1\t" + std::to_string(minuteOfDay / 60) + "\t" + std::to_string(minuteOfDay % 60) + "\t0";
    for (int i = 0; i < 54; ++i) {
      int v = -1;
      if (i == 0) v = v0;
      if (i == 1) v = 2000 + minuteOfDay;  // 200.0 rising
      if (i == 16) v = p16;
      if (i == 19) v = 500 + (minuteOfDay % 120) * 10;  // a saw tooth
      if (i == 47) v = 1200;
      if (i == 48) v = 100 * (minuteOfDay / 60);
      out += "\t" + std::to_string(v);
    }
    out += "\r\n";
  };
  for (int m = 0; m < 12 * 60; ++m) {
    if (m > 120 && m < 130) continue;  // 02:00 -> 02:10: 600 s
    if (m > 240 && m < 250) continue;  // 04:00 -> 04:10 plus one second below
    if (m == 250) {
      // 601 s after 04:00:00.
      out += "1\t4\t10\t1";
      for (int i = 0; i < 54; ++i)
        out += "\t" + std::to_string(i == 0 ? 1 : i == 1 ? 2000 + m : i == 16 ? 1500 : 800);
      out += "\r\n";
      continue;
    }
    if (m == 360) {
      out += "1\t6\t0\t0\t10000\r\n";
      continue;
    }
    line(m, m == 480 ? 0 : 1, m == 420 ? -1 : 1500 + (m % 60) * 5);
  }
  return out;
}

}  // namespace lark::test
