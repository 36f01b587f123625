// The Configuration page's block without the page: which settings a change
// flags, what goes out and what is logged and kept, the typed numbers'
// checks, and the trackbar ranges that must hold what the device reported.
#include "console/dialogs/pages/config_settings.h"

#include <gtest/gtest.h>

#include "common/bytes.h"

namespace lark {
namespace {

// Every setting known, as a healthy ASCII UPS reports them.
ConfigValues Loaded() {
  ConfigValues v{};
  v[kCfgVoltageSensitivity] = 0;
  v[kCfgEconomyMode] = 2;
  v[kCfgSelfTest] = 3;
  v[kCfgAcRestart] = 1;
  v[kCfgBootDelay] = 10;
  v[kCfgExternalPacks] = 1;
  v[kCfgClockSync] = 0;
  v[kCfgInputLow] = 2350;
  v[kCfgInputHigh] = 2650;
  v[kCfgBypassFrequency] = 30;
  v[kCfgBypassTolerance] = 10;
  v[kCfgBypassLow] = 1800;
  v[kCfgBypassHigh] = 2640;
  v[kCfgTestMinutes] = 10;
  v[kCfgTestVoltage] = 220;
  return v;
}

// The flag offsets that are set, in block order.
std::vector<size_t> Flags(const std::vector<uint8_t>& b) {
  std::vector<size_t> out;
  for (size_t off : {4, 12, 20, 28, 36, 44, 52, 64, 76, 88, 96, 104})
    if (u32At(b, off) != 0) out.push_back(off);
  return out;
}

TEST(ConfigSettings, ChangedSettingsGoOutLoggedAndKept) {
  struct Case {
    const char* name;
    std::vector<std::pair<ConfigValue, int32_t>> changes;
    std::vector<size_t> flags;
    std::vector<std::pair<size_t, int32_t>> fields;  // offset, value sent
    std::vector<std::string> log;
  } cases[] = {
      {"nothing changed", {}, {}, {}, {}},
      {"a test of 45 minutes goes out, is logged and kept as 30",
       {{kCfgTestMinutes, 45}},
       {52},
       {{56, 30}, {60, 220}},
       {"Battery Test=(30,220) "}},
      {"voltage only", {{kCfgTestVoltage, 230}}, {52}, {{56, 10}, {60, 230}}, {"Battery Test=(10,230) "}},
      {"sensitivity Low", {{kCfgVoltageSensitivity, 2}}, {4}, {{8, 2}}, {"Volt-Sens=2 "}},
      {"sync checked", {{kCfgClockSync, 1}}, {96}, {{100, 1}}, {"Sync-Time=1 "}},
      {"one transfer limit sends both",
       {{kCfgInputHigh, 2700}},
       {64},
       {{68, 2700}, {72, 2350}},
       {"Tx-Volt=2350,2700 "}},
      {"frequency in tenths", {{kCfgBypassFrequency, 35}}, {104}, {{108, 35}}, {"Tx-Freq=3.5 "}},
      {"the log in its order",
       {{kCfgBypassLow, 1700}, {kCfgBypassTolerance, 12}, {kCfgEconomyMode, 1}, {kCfgSelfTest, 5},
        {kCfgAcRestart, 2}, {kCfgBootDelay, 0}, {kCfgExternalPacks, 3}},
       {12, 20, 28, 36, 44, 76, 88},
       {{16, 5}, {24, 2}, {32, 1}, {40, 0}, {48, 3}, {84, 1700}, {80, 2640}, {92, 12}},
       {"ECO-mode=1 ", "Auto-Test=5 ", "Auto-Reboot=2 ", "Boot-Delay=0 ", "Ex-Battery=3 ",
        "Bypass-Tx-Volt2=12 ", "Bypass-Tx-Volt1=1700,2640 "}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ConfigValues typed = Loaded();
    for (auto [k, v] : c.changes) typed[k] = v;
    const ConfigSubmission s = BuildConfigSubmission(0x1234, Loaded(), typed);
    ASSERT_EQ(s.block.size(), kConfigSettingsSize);
    EXPECT_EQ(u16At(s.block, 0), 0x1234);
    EXPECT_EQ(u16At(s.block, 2), 0);
    EXPECT_EQ(Flags(s.block), c.flags);
    for (auto [off, v] : c.fields) EXPECT_EQ(i32At(s.block, off), v) << off;
    EXPECT_EQ(s.log, c.log);
    for (size_t off = 112; off < kConfigSettingsSize; ++off) EXPECT_EQ(s.block[off], 0) << off;
    ConfigValues kept = typed;
    kept[kCfgTestMinutes] = std::min(kept[kCfgTestMinutes], 30);
    EXPECT_EQ(s.stored, kept);
  }
}

TEST(ConfigSettings, SyncOffGoesOutAsZeroAndUnknownSettingsNever) {
  ConfigValues loaded = Loaded();
  loaded[kCfgClockSync] = 1;
  ConfigValues typed = loaded;
  typed[kCfgClockSync] = 0;
  ConfigSubmission s = BuildConfigSubmission(7, loaded, typed);
  EXPECT_EQ(Flags(s.block), (std::vector<size_t>{96}));
  EXPECT_EQ(i32At(s.block, 100), 0);
  EXPECT_EQ(s.log, (std::vector<std::string>{"Sync-Time=0 "}));

  // A setting the device never reported is hidden: whatever the control
  // holds, it is not sent. A changed test time goes out although the test
  // voltage is unknown.
  loaded = UnknownConfigValues();
  loaded[kCfgTestMinutes] = 10;
  typed = loaded;
  typed[kCfgBootDelay] = 5;
  typed[kCfgTestMinutes] = 12;
  s = BuildConfigSubmission(7, loaded, typed);
  EXPECT_EQ(Flags(s.block), std::vector<size_t>{52});
  EXPECT_EQ(i32At(s.block, 56), 12);
  EXPECT_EQ(i32At(s.block, 60), -1);
  EXPECT_EQ(s.stored[kCfgBootDelay], -1);
  EXPECT_EQ(s.stored[kCfgTestMinutes], 12);
}

TEST(ConfigSettings, TypedNumbers) {
  struct Case {
    const char* text;
    int32_t min, max;
    std::optional<int32_t> want;
  } cases[] = {
      {"0", 0, 255, 0},        {"255", 0, 255, 255},  {"256", 0, 255, std::nullopt},
      {"-1", 0, 255, {}},      {"", 0, 255, {}},      {"ab", 0, 255, {}},
      {"1 2", 0, 255, {}},     {"+3", 0, 255, {}},    {"999999999", 0, 999999999, 999999999},
      {"1234567890", 0, 2147483647, {}},              {"07", 0, 9, 7},
  };
  for (const Case& c : cases) EXPECT_EQ(ParseSettingNumber(c.text, c.min, c.max), c.want) << c.text;
}

TEST(ConfigSettings, TrackbarRangesHoldTheReportedValue) {
  struct Case {
    int32_t low, high, value;
    SliderRange want;
  } cases[] = {
      {2400, 3000, 2350, {2350, 3000}},  // below its range
      {1, 0, 2650, {0, 2650}},           // inverted and far off
      {2640, 1800, 2000, {1800, 2640}},  // inverted, value inside
      {0, 20, 10, {0, 20}},
      {-1, -1, 30, {-1, 30}},            // limits not reported
  };
  for (const Case& c : cases) EXPECT_EQ(WidenedRange(c.low, c.high, c.value), c.want) << c.low << ".." << c.high;
}

}  // namespace
}  // namespace lark
