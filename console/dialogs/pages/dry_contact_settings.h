// The Dry Contact page's records without the page: a contact's 32-bit
// setting, the 152-byte block of request 28/1 and the operation-log texts.
//
// DryContactRecord: bits 0-6 the event (1-based in the list the page shows
// for the contact), bit 7 active, bits 8-14 the contact number, bit 15
// normally closed. The block (little-endian):
//    0 node id (u16), zero to 111
//  112 u32 outputs changed   116 six output records, contact 1 first
//  140 u32 inputs changed    144 two input records
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace lark {

inline constexpr size_t kDryContactSettingsSize = 152;
inline constexpr int kOutputContacts = 6;
inline constexpr int kInputContacts = 2;
inline constexpr int kContacts = kOutputContacts + kInputContacts;
inline constexpr size_t kOutputFlagOffset = 112, kOutputRecordsOffset = 116;
inline constexpr size_t kInputFlagOffset = 140, kInputRecordsOffset = 144;

struct DryContact {
  int number = 0;  // 1..6 outputs, 1..2 inputs
  int event = 0;   // 1-based; 0 none
  bool active = false;
  bool normallyClosed = false;
  bool operator==(const DryContact&) const = default;
};
int32_t PackDryContact(const DryContact& c);
DryContact UnpackDryContact(int32_t record);

// The page's records: outputs 0..5, then inputs 6 and 7; -1 unknown.
using DryContactRecords = std::array<int32_t, kContacts>;

struct DryContactSubmission {
  bool send = false;  // something changed
  std::vector<uint8_t> block;
};
// A shown group counts as changed when one of its records differs from what
// the page loaded; hidden groups and the inputs of CommType 1 (binary) are
// never sent. Nothing changed: nothing to send.
DryContactSubmission BuildDryContactSubmission(uint16_t nodeId, int16_t commType, bool outputsShown,
                                               bool inputsShown, const DryContactRecords& loaded,
                                               const DryContactRecords& typed);

// The operation-log entries of a success: per contact "(n:event,Active|
// Deactive,NC|NO) " with n 0..5 for outputs and 6, 7 for inputs, the event
// named from its list or "(n)". CommType 0: an "Out-Contact: " and an
// "In-Contact: " entry; 1: the first only; 2: one empty entry.
std::vector<std::string> DryContactLog(int16_t commType, const DryContactRecords& records,
                                       const std::vector<std::string>& outputEvents,
                                       const std::vector<std::string>& inputEvents);
// An event's name in `list`, or "(n)" when the list has no such entry.
std::string DryContactEventName(const std::vector<std::string>& list, int event);

}  // namespace lark
