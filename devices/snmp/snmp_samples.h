// What a healthy maker UPS answers to the maker's UPS MIB: a 3000 VA
// single-phase unit on mains, in the units its live data keeps. The SNMP
// simulator (tools/snmp_sim) serves these values; tests check them.
#pragma once
#include <cstdint>

namespace lark {

// The INTEGER of maker group `group`, item `item` (groups 1..10); 0 where the
// unit has nothing to report and for every alarm word.
int32_t MakerSampleValue(int group, int item);

}  // namespace lark
