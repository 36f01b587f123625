#include "console/dialogs/pages/config_settings.h"

#include <algorithm>
#include <cstdio>

#include "common/bytes.h"

namespace lark {

ConfigValues UnknownConfigValues() {
  ConfigValues v;
  v.fill(-1);
  return v;
}

const std::array<ConfigBlockRow, 12>& ConfigBlockRows() {
  static const std::array<ConfigBlockRow, 12> rows = {{
      {52, {kCfgTestMinutes, kCfgTestVoltage}, {56, 60}, 2, "Battery Test=(%d,%d) "},
      {4, {kCfgVoltageSensitivity, kCfgVoltageSensitivity}, {8, 8}, 1, "Volt-Sens=%d "},
      {28, {kCfgEconomyMode, kCfgEconomyMode}, {32, 32}, 1, "ECO-mode=%d "},
      {12, {kCfgSelfTest, kCfgSelfTest}, {16, 16}, 1, "Auto-Test=%d "},
      {20, {kCfgAcRestart, kCfgAcRestart}, {24, 24}, 1, "Auto-Reboot=%d "},
      {36, {kCfgBootDelay, kCfgBootDelay}, {40, 40}, 1, "Boot-Delay=%d "},
      {44, {kCfgExternalPacks, kCfgExternalPacks}, {48, 48}, 1, "Ex-Battery=%d "},
      {96, {kCfgClockSync, kCfgClockSync}, {100, 100}, 1, "Sync-Time=%d "},
      {64, {kCfgInputLow, kCfgInputHigh}, {72, 68}, 2, "Tx-Volt=%d,%d "},
      {104, {kCfgBypassFrequency, kCfgBypassFrequency}, {108, 108}, 1, "Tx-Freq=%d.%d "},
      {88, {kCfgBypassTolerance, kCfgBypassTolerance}, {92, 92}, 1, "Bypass-Tx-Volt2=%d "},
      {76, {kCfgBypassLow, kCfgBypassHigh}, {84, 80}, 2, "Bypass-Tx-Volt1=%d,%d "},
  }};
  return rows;
}

namespace {

std::string LogText(const ConfigBlockRow& row, const ConfigValues& v) {
  char buf[64];
  const int a = v[row.values[0]], b = v[row.values[1]];
  if (row.values[0] == kCfgBypassFrequency)
    std::snprintf(buf, sizeof buf, row.logFormat, a / 10, a % 10);
  else if (row.valueCount == 2)
    std::snprintf(buf, sizeof buf, row.logFormat, a, b);
  else
    std::snprintf(buf, sizeof buf, row.logFormat, a);
  return buf;
}

}  // namespace

ConfigSubmission BuildConfigSubmission(uint16_t nodeId, const ConfigValues& loaded,
                                       const ConfigValues& typed) {
  ConfigSubmission out;
  out.block.assign(kConfigSettingsSize, 0);
  out.stored = loaded;
  Bytes b(out.block.data(), out.block.size());
  putU16(b, 0, nodeId);
  for (const ConfigBlockRow& row : ConfigBlockRows()) {
    // Each value of a row counts on its own: an unknown one is never changed,
    // and a change of a known one sends the row with what is stored for both
    // (a test time goes out even while the device reports no test voltage).
    bool changed = false;
    for (int i = 0; i < row.valueCount; ++i) {
      const ConfigValue k = row.values[static_cast<size_t>(i)];
      if (loaded[k] < 0 || typed[k] == loaded[k]) continue;
      int32_t v = typed[k];
      if (k == kCfgTestMinutes) v = std::min(v, kBatteryTestMaxMinutes);
      if (k == kCfgClockSync) v = v != 0 ? 1 : 0;
      out.stored[k] = v;
      changed = true;
    }
    if (!changed) continue;
    putU32(b, row.flagOffset, 1);
    for (int i = 0; i < row.valueCount; ++i)
      putI32(b, row.offsets[static_cast<size_t>(i)], out.stored[row.values[static_cast<size_t>(i)]]);
    out.log.push_back(LogText(row, out.stored));
  }
  return out;
}

std::optional<int32_t> ParseSettingNumber(std::string_view text, int32_t min, int32_t max) {
  if (text.empty() || text.size() > 9) return std::nullopt;
  int32_t v = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    v = v * 10 + (c - '0');
  }
  if (v < min || v > max) return std::nullopt;
  return v;
}

SliderRange WidenedRange(int32_t low, int32_t high, int32_t value) {
  if (low > high) std::swap(low, high);
  return {std::min(low, value), std::max(high, value)};
}

}  // namespace lark
