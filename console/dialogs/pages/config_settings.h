// The Configuration page's settings without the page: which block values
// each setting shows, the 152-byte settings block of request 28/0 built from
// what the operator changed, the operation-log texts of a success, and the
// checks of the typed numbers. No Qt here, so tables test it alone.
//
// Block layout (little-endian, 32-bit fields; a pair is flag, then value(s);
// a field whose flag is 0 means nothing):
//    0 node id (u16, then 2 zero bytes)
//    4/8 voltage sensitivity 0..2      12/16 self-test 1..5
//   20/24 AC-fail restart 1, 2         28/32 economy mode 1, 2
//   36/40 boot delay (s)               44/48 external battery packs
//   52/56/60 battery test: minutes (at most 30), voltage
//   64/68/72 input transfer: high, low 76/80/84 bypass transfer: high, low
//   88/92 bypass voltage tolerance     96/100 date and time sync: 1 on, 0 off
//  104/108 bypass frequency tolerance (tenths of a hertz)   112..151 zero
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace lark {

inline constexpr size_t kConfigSettingsSize = 152;
inline constexpr int32_t kBatteryTestMaxMinutes = 30;

// The page's values, in this order; -1 unknown (hidden, never sent).
enum ConfigValue : int {
  kCfgVoltageSensitivity,
  kCfgEconomyMode,
  kCfgSelfTest,
  kCfgAcRestart,
  kCfgBootDelay,
  kCfgExternalPacks,
  kCfgClockSync,
  kCfgInputLow,
  kCfgInputHigh,
  kCfgBypassFrequency,
  kCfgBypassTolerance,
  kCfgBypassLow,
  kCfgBypassHigh,
  kCfgTestMinutes,
  kCfgTestVoltage,
  kConfigValueCount,
};
using ConfigValues = std::array<int32_t, kConfigValueCount>;
ConfigValues UnknownConfigValues();

// One setting of the block: its flag, up to two values with their offsets,
// and its operation-log format, in the order the log lists them.
struct ConfigBlockRow {
  size_t flagOffset;
  std::array<ConfigValue, 2> values;  // second = first for one-value settings
  std::array<size_t, 2> offsets;
  int valueCount;
  const char* logFormat;  // "%d" per value; the frequency as "%d.%d" of tenths
};
const std::array<ConfigBlockRow, 12>& ConfigBlockRows();

struct ConfigSubmission {
  std::vector<uint8_t> block;    // kConfigSettingsSize bytes
  ConfigValues stored{};         // the page's values once the service takes it
  std::vector<std::string> log;  // one operation-log text per flagged setting
};

// `loaded`: the values the page showed; `typed`: what its controls hold now,
// equal to `loaded` for every control the operator left alone. A setting is
// flagged when all its values are known and one of them changed; the battery test
// then goes out with at most 30 minutes, and the clock sync as 1 (on) or 0.
ConfigSubmission BuildConfigSubmission(uint16_t nodeId, const ConfigValues& loaded,
                                       const ConfigValues& typed);

// A typed whole number within [min, max]: no sign, no blanks, at most
// nine digits; anything else is refused.
std::optional<int32_t> ParseSettingNumber(std::string_view text, int32_t min, int32_t max);

// A trackbar's range widened to hold `value`, an inverted range put right,
// so that showing a reported value never moves it.
struct SliderRange {
  int32_t min, max;
  bool operator==(const SliderRange&) const = default;
};
SliderRange WidenedRange(int32_t low, int32_t high, int32_t value);

}  // namespace lark
