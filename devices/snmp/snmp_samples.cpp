#include "devices/snmp/snmp_samples.h"

#include <map>
#include <utility>

namespace lark {

int32_t MakerSampleValue(int group, int item) {
  // (group, item): value. Voltages, currents and frequencies in tenths where
  // the live data keeps tenths; the value slot each lands in is noted.
  static const std::map<std::pair<int, int>, int32_t> values = {
      // Group 1, slots 0..12: rating (VA), nominal input and output voltage
      // (V) and frequency (Hz), nominal battery voltage (V); item 19 the
      // operating state plus one.
      {{1, 7}, 3000},
      {{1, 8}, 230},
      {{1, 9}, 50},
      {{1, 10}, 230},
      {{1, 11}, 50},
      {{1, 12}, 240},
      {{1, 19}, 1},
      // Group 3, slots 23 and 24: the lower and upper voltage limits (V).
      {{3, 4}, 180},
      {{3, 5}, 264},
      // Group 4, slots 27..30: one input phase, 50.0 Hz, 230.0 V, 13.0 A.
      {{4, 1}, 1},
      {{4, 2}, 500},
      {{4, 3}, 2300},
      {{4, 4}, 130},
      // Group 5, slots 37..43: output source normal, 50.0 Hz, one phase,
      // 230.0 V, 9.8 A, 1950 W, 65 %.
      {{5, 1}, 0},
      {{5, 2}, 500},
      {{5, 3}, 1},
      {{5, 4}, 2300},
      {{5, 5}, 98},
      {{5, 6}, 1950},
      {{5, 7}, 65},
      // Group 6, slots 52..54: bypass 50.0 Hz, one phase, 230.0 V.
      {{6, 1}, 500},
      {{6, 2}, 1},
      {{6, 3}, 2300},
      // Group 7, slots 63..71: battery normal, level OK, charger floating, not
      // on battery, 45 minutes left, 272.0 V, 1.5 A, 100 %, 25 C.
      {{7, 5}, 45},
      {{7, 6}, 2720},
      {{7, 7}, 15},
      {{7, 8}, 100},
      {{7, 9}, 25},
      // Group 8, slot 73: the last test passed.
      {{8, 2}, 1},
      // Group 10, slots 74 and 75: 24 C and 45 % around the unit.
      {{10, 1}, 24},
      {{10, 2}, 45},
  };
  const auto it = values.find({group, item});
  return it == values.end() ? 0 : it->second;
}

}  // namespace lark
