// Reply layouts of the console link that carry records: the device status
// walks shared with the status exchange (sentMask rounds), the notification
// block and the PLC settings record.
#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>

#include "common/bytes.h"
#include "linkserver/link_frame.h"

namespace lark {

class ByteWriter;
class DeviceNode;
class DeviceTree;
struct ServiceSettings;

// ---- device status ----

// Status channel numbers of sentMask: 0 and 1 the shared memory's long and
// short form, 2i + 2 and 2i + 3 those of console session i.
inline constexpr int LongChannelOf(int slot) { return 2 * slot + 2; }
inline constexpr int ShortChannelOf(int slot) { return 2 * slot + 3; }
// Bytes AppendNodeStatus writes for this node in this channel (0 for a group).
size_t NodeStatusSize(const DeviceNode& node, int channel);
// Appends one leaf's status: odd channel the short form (id BE16 and the
// current event-mask bytes of its block), even channel the long form (id
// BE16, CommType low byte, operating state, MibType, then the whole block).
// A missing block is sent as zeros of its size. Nothing for a group. False
// (nothing appended) when it does not fit.
bool AppendNodeStatus(const DeviceNode& node, ByteWriter& out, int channel);
// Appends up to `count` leaves whose channel bit is clear, depth first, and
// sets their bit; `count` is lowered by the leaves appended. Stops without
// marking the leaf that does not fit and returns false then (round not over).
bool AppendUnsentLeaves(DeviceNode& node, int& count, ByteWriter& out, int channel);
// c 0 clears the whole sentMask, otherwise bit c - 1, in the node and every
// node below it.
void ClearSentBits(DeviceNode& node, int c);
// The same from the root, and the channel's round starts over (c 0: every
// channel's).
void ClearSentBits(DeviceTree& tree, int c);

// The sentMask channels a device-data requester's rounds run in.
struct StatusChannels {
  int longForm;
  int shortForm;
};
// The device-data forms of `node`, written after its id (the link's command 6
// and the shared-memory status answer): sub 0 the node image, 1 its live-data
// block, 2 the short form of its direct leaves, 3 and 4 up to `count` unsent
// leaves of the whole tree in the long or short form (a round ends when
// fewer are left; a leaf that does not fit `out` waits for the next call).
// False for a sub above 4.
bool PutDeviceData(DeviceTree& tree, const DeviceNode& node, uint8_t sub, uint16_t count,
                   StatusChannels channels, ByteWriter& out);

// ---- NotificationBlock (12792 bytes) ----
inline constexpr size_t kNotificationBlockSize = 12792;
namespace notify_off {
inline constexpr size_t kSmtpServer = 0, kSmtpServerSize = 64;
inline constexpr size_t kSmtpSender = 64, kSmtpSenderSize = 64;
inline constexpr size_t kSmtpPassword = 128, kSmtpPasswordSize = 32;
inline constexpr size_t kEmailCount = 160, kEmailList = 164;
inline constexpr size_t kBroadcastDomain = 1464, kBroadcastCount = 1468, kBroadcastList = 1472;
inline constexpr size_t kGsmPort = 2772, kGsmPortSize = 32, kGsmBaud = 2804;
inline constexpr size_t kSmsCount = 2808, kSmsList = 2812;
inline constexpr size_t kListEntrySize = 65;
inline constexpr size_t kContactors = 4112, kContactorSize = 294;
inline constexpr size_t kRecipients = 9992, kRecipientSize = 140;
}  // namespace notify_off

// Groups: 0/1 SMTP and e-mail, 2/3 broadcast, 4/5 GSM and SMS, 6/7 all three,
// 8/9 contactors, 10/11 recipient items; even reads, odd writes.
// Fills the group's fields of `block` (the rest is left as it is).
void WriteNotificationGroup(const ServiceSettings& s, int group, Bytes block);
// Takes the group's fields from `block`; list counts are kept within 0..20.
// Returns the lists touched as bits: 1 e-mail, 2 broadcast, 4 SMS,
// 8 contactors, 16 recipients (0 for an unknown group).
int ReadNotificationGroup(ServiceSettings& s, int group, CBytes block);

// ---- PlcSettingsRecord (2406 bytes) ----
inline constexpr size_t kPlcSettingsSize = 2406;
inline constexpr size_t kPlcSourceTextSize = 65;
void WritePlcSettings(const DeviceNode& node, Bytes out);
void ReadPlcSettings(DeviceNode& node, CBytes in);

}  // namespace lark
