#include "devices/snmp/snmp_entry.h"

#include <bit>

namespace lark {

void SnmpSetDefaultMasks(SnmpDeviceEntry& entry) {
  entry.pollMasks = kSnmpDefaultPollMasks;
  entry.discoveryMissing = 0;
}

uint64_t SnmpFullMask(int group) {
  if (group < 0 || group >= kSnmpMaskCount) return 0;
  return (uint64_t{1} << kSnmpGroupSizes[group]) - 1;
}

int SnmpCountMaskBits(const SnmpDeviceEntry& entry, int group) {
  if (group < 0 || group >= kSnmpMaskCount) return 0;
  return std::popcount(entry.pollMasks[group] & SnmpFullMask(group));
}

int SnmpNthMaskBit(const SnmpDeviceEntry& entry, int group, int n) {
  if (group < 0 || group >= kSnmpMaskCount || n < 1) return -1;
  uint64_t m = entry.pollMasks[group] & SnmpFullMask(group);
  for (int bit = 0; m; ++bit, m >>= 1) {
    if ((m & 1) && --n == 0) return bit;
  }
  return -1;
}

}  // namespace lark
