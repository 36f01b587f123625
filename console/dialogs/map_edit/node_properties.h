// What the property dialogs of a node decide without Qt: the checks of the
// typed values, the node image a change is sent in, the values applied to the
// console's node once the service confirms, the operation-log texts, the
// local type list, the PLC dialog's UPS choices and rows, and the records the
// service answers the PLC and alarm-mask reads with.
//
// A dialog edits a copy of the node (`DeviceNode` loaded from its image): the
// image sent keeps every field the dialog does not show (unit, MIB type,
// link status, SaveInDatabase), and the console's node changes only when the
// service's answer says the change was made.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/bytes.h"
#include "core/device_tree.h"

namespace lark {

class PortDeviceRegistry;
class ConsoleEndpoints;
struct ProtocolOffers;

// [MessageBox] numbers of the refusals.
enum PropertyRefusal : int {
  kBadTitle = 12,         // empty, or a full stop, backslash, blank, colon or control character
  kNoCommunity = 13,
  kBadPort = 14,          // not a number from 1 to 65535
  kIpTaken = 15,
  kNoUpsId = 17,
  kUpsIdOutOfRange = 18,  // not a number from 0 to 255
  kNoComPort = 19,
  kPortAddressTaken = 20,
  kControlCharacter = 105,  // in a location, address, community or PLC source
  kPlcNumberOutOfRange = 106,
};

inline constexpr size_t kPropertyTitleChars = 32;
inline constexpr size_t kPropertyLocationChars = 40;
inline constexpr size_t kGprsLocationChars = 64;
inline constexpr size_t kPropertyAddressChars = 30;  // IP and community
inline constexpr size_t kPlcSourceChars = 63;
inline constexpr uint16_t kDefaultSnmpPort = 161;
inline constexpr const char* kDefaultCommunity = "quorel";
inline constexpr int32_t kPlcNumberMax = 32767;

bool HasControlCharacter(std::string_view text);
// A title the node may take: checked only when it differs from the present
// one, so a title kept from an older map never blocks an edit.
bool TitleAllowed(std::string_view title, std::string_view present);
// "1".."65535" (blanks around allowed).
std::optional<uint16_t> ParseSnmpPort(std::string_view text);

// The image a node's change goes out in: the node's own, so the fields the
// dialog leaves alone reach the service as they are.
void LoadEditCopy(const DeviceNode& node, DeviceNode& copy);
std::vector<uint8_t> EditImage(const DeviceNode& copy);

// ---- the local device's type list ----
struct CommTypeChoice {
  int16_t type;
  const char* label;
};
// The types offered, in CommType order: 0-2 and 6-9 always, 3-5 by the
// offers; the node's own type always.
std::vector<CommTypeChoice> LocalTypeChoices(const ProtocolOffers& offers, int16_t nodeType);

// ---- the local dialog's values ----
struct LocalValues {
  std::string title, location;
  int comIndex = -1;  // 0 = COM1; -1 nothing chosen
  std::string upsId;
  uint16_t baud = 2400;
  int16_t commType = 0;
  bool stop = false, saveInDatabase = false;
};
// The first refusal in the dialog's order, else fills `copy`. `registry` may
// be null (nothing taken).
std::optional<int> CheckLocalValues(const LocalValues& v, const DeviceNode& node, const PortDeviceRegistry* registry,
                                    DeviceNode& copy);

// ---- the SNMP dialog's values ----
struct SnmpValues {
  std::string title, location, ip, port, community;
  bool rfc1628 = false;        // the MIB shown
  bool mibChanged = false;     // chosen other than at opening
  bool stop = false, saveInDatabase = false;
  bool newNode = false;        // just added: no MIB of its own yet
};
// `root` for the address check; null: none.
std::optional<int> CheckSnmpValues(const SnmpValues& v, const DeviceNode& node, DeviceNode* root, DeviceNode& copy);

// ---- group and GPRS ----
std::optional<int> CheckGroupValues(const std::string& title, const std::string& location, size_t locationChars,
                                    const DeviceNode& node, DeviceNode& copy);

// ---- confirmed changes ----
void ApplyGroupEdit(DeviceNode& node, const DeviceNode& sent);
// The address entry renewed; the MIB to be identified again; `mask` the
// reported event mask sent with the change.
void ApplySnmpEdit(DeviceNode& node, const DeviceNode& sent, uint64_t mask, TreeEndpoints& endpoints);
// Out of the port registry, the fields, only the new type's block, and back
// in the registry unless it is a meter sum.
void ApplyLocalEdit(DeviceNode& node, const DeviceNode& sent, PortDeviceRegistry* registry);

// Operation-log texts (code 3 and 5: the kind; code 4: the values).
const char* PropertyKindText(uint8_t kind);
std::string PropertyLogText(const DeviceNode& node);

// ---- PLC ----
struct PlcUpsChoice {
  std::string text;  // "None" or "<title> (<id>)"
  int16_t id;
};
// "None", the serial devices on ports that are not PLC ports, then the
// network devices in endpoint order.
std::vector<PlcUpsChoice> PlcUpsChoices(DeviceTree& tree, const PortDeviceRegistry* registry,
                                        const ConsoleEndpoints* endpoints);
// The choice holding `id`, 0 ("None") when none does.
size_t PlcChoiceOf(const std::vector<PlcUpsChoice>& choices, int16_t id);
// "n\tTPC trip\tUCB trip\tTPC alarm\tUPS alarm\tUPS\tSource" of point `i`.
std::string PlcRowText(const DeviceNode& plc, int i, const std::vector<PlcUpsChoice>& choices);

// ---- replies ----
// The record of a PLC read (from byte 7); none when the reply is short.
std::optional<CBytes> PlcRecordOfReply(CBytes frame);
// The four mask words of a mask read (from byte 7, low byte first).
std::optional<uint64_t> MaskOfReply(CBytes frame);
uint64_t NodeMaskWords(const DeviceNode& node);
void SetNodeMaskWords(DeviceNode& node, uint64_t mask);
void PutMaskWords(uint64_t mask, Bytes out);  // out.size() >= 8

}  // namespace lark
