// The SNMP device table's record of one device (the table itself and the poll
// thread live beside it), and its poll masks: bit i of mask g set = object
// i + 1 of group g of the maker's UPS MIB is asked for.
//
// Threads: an entry is read and written by the SNMP poll thread only; other
// threads change it with that thread paused.
#pragma once
#include <array>
#include <cstdint>

namespace lark {

inline constexpr int kSnmpMaskCount = 11;  // maker groups 0..10; group 0 is never polled
inline constexpr std::array<uint64_t, kSnmpMaskCount> kSnmpDefaultPollMasks{
    0x3F, 0x2, 0x0, 0x1, 0x1, 0x4, 0x2, 0x20, 0x2, 0x1, 0xF};
inline constexpr std::array<int, kSnmpMaskCount> kSnmpGroupSizes{6,  19, 7, 7, 10, 15,
                                                                 11, 11, 3, 28, 14};

// Requests of one entry whose answers are still taken: an agent that answers
// late still counts, one that replays an old answer does not.
inline constexpr int kSnmpRecentPolls = 4;

// Entry states.
inline constexpr int32_t kSnmpEntryIdle = 0;    // not yet taken up
inline constexpr int32_t kSnmpEntryActive = 2;  // polled

struct SnmpDeviceEntry {
  int32_t nodeId = 0;           // DeviceNode id; the node is looked up each time
  int32_t unanswered = 0;       // send rounds since the last answer
  int32_t ready = 0;            // 1 once armed with a valid socket
  int32_t state = kSnmpEntryIdle;
  int socket = -1;              // the SNMP socket at arming time, -1 none
  std::array<uint64_t, kSnmpMaskCount> pollMasks = kSnmpDefaultPollMasks;
  uint32_t fiveMinuteCounter = 0;  // send rounds since the last full mask refresh
  // Discovery objects (bit = place in the discovery request) the agent said
  // it lacks; left out of the following discovery requests.
  uint8_t discoveryMissing = 0;
  // Request ids of the last polls and of the last SetRequest; an answer must
  // carry one of them. 0 = none (ids start at 1).
  std::array<int32_t, kSnmpRecentPolls> recentPollIds{};
  int32_t lastSetId = 0;
  uint8_t nextPollSlot = 0;
  // A sensor's two poll counts since its values last arrived; the block's
  // octets show them up to 255.
  std::array<uint32_t, 2> sensorPolls{};
};

// Back to the default masks; the agent gets asked for the discovery objects again.
void SnmpSetDefaultMasks(SnmpDeviceEntry& entry);
// Mask with the group's object-count low bits set; 0 outside 0..10.
uint64_t SnmpFullMask(int group);
// Set bits of the group's poll mask within its object count; 0 outside 0..10.
int SnmpCountMaskBits(const SnmpDeviceEntry& entry, int group);
// Bit number of the n-th (from 1) set bit of the group's mask; -1 when fewer.
int SnmpNthMaskBit(const SnmpDeviceEntry& entry, int group, int n);

}  // namespace lark
