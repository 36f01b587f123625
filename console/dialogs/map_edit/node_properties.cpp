#include "console/dialogs/map_edit/node_properties.h"

#include <arpa/inet.h>
#include <strings.h>

#include <cstdio>

#include "console/dialogs/dialog_numbers.h"
#include "console/link/device_endpoints.h"
#include "console/map/map_levels.h"
#include "console/map/map_registry.h"
#include "console/shell/console_settings.h"
#include "core/live_data.h"
#include "linkserver/link_replies.h"

namespace lark {

namespace {

constexpr size_t kReplyDataOff = 7;  // after the echoed sub-command
constexpr size_t kMaskBytes = 8;
constexpr uint16_t kBaudMeterSum = 2400;
constexpr const char* kMeterSumCom = "COM1";

bool HasNonBlank(std::string_view s) { return s.find_first_not_of(" \t") != std::string_view::npos; }

struct TypeLabel {
  int16_t type;
  const char* label;
};
constexpr TypeLabel kTypeLabels[] = {
    {kCommAscii, "RS232-Norva"},     {kCommThreePhase, "RS485-3Phase"}, {kCommModbusUps, "Modbus-Norva"},
    {kCommModbusTrv5200, "Modbus-TRV5200"}, {kCommPlc, "Modbus-QLM-PLC"}, {kCommModbus9315, "Modbus-9315"},
    {kCommInverter, "Inverter-Norva"}, {kCommSensor, "Sensor-Norva"},   {kCommMeter, "Meter"},
    {kCommMeterSum, "Meter-Sum"},
};

// Texts cut to what the dialog's field takes, between characters.
std::string Field(const std::string& s, size_t bytes) { return std::string(CutUtf8(s, bytes)); }

}  // namespace

bool HasControlCharacter(std::string_view text) {
  for (char c : text) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7F) return true;
  }
  return false;
}

bool TitleAllowed(std::string_view title, std::string_view present) {
  if (title == present) return true;
  if (title.empty() || HasControlCharacter(title)) return false;
  return title.find_first_of(". \\:") == std::string_view::npos;
}

std::optional<uint16_t> ParseSnmpPort(std::string_view text) {
  const auto n = ParseFieldNumber(text, 65535);
  if (!n || *n == 0) return std::nullopt;
  return static_cast<uint16_t>(*n);
}

void LoadEditCopy(const DeviceNode& node, DeviceNode& copy) {
  const DeviceNode::Image img = node.wireImage();
  copy.loadWireImage(CBytes(img.data(), img.size()));
  for (int i = 0; i < kPlcPointCount; ++i) copy.setPlcSource(i, node.plcSource(i));
}

std::vector<uint8_t> EditImage(const DeviceNode& copy) {
  const DeviceNode::Image img = copy.wireImage();
  return std::vector<uint8_t>(img.begin(), img.end());
}

std::vector<CommTypeChoice> LocalTypeChoices(const ProtocolOffers& offers, int16_t nodeType) {
  std::vector<CommTypeChoice> out;
  for (const TypeLabel& t : kTypeLabels) {
    bool offered = true;
    if (t.type == kCommModbusTrv5200) offered = offers.trv3200;
    if (t.type == kCommPlc) offered = offers.plc;
    if (t.type == kCommModbus9315) offered = offers.ups9315;
    if (offered || t.type == nodeType) out.push_back({t.type, t.label});
  }
  return out;
}

std::optional<int> CheckLocalValues(const LocalValues& v, const DeviceNode& node, const PortDeviceRegistry* registry,
                                    DeviceNode& copy) {
  std::string com = kMeterSumCom;
  int16_t upsId = 0;
  uint16_t baud = kBaudMeterSum;
  if (v.commType != kCommMeterSum) {
    if (!HasNonBlank(v.upsId)) return kNoUpsId;
    const auto id = ParseFieldNumber(v.upsId, 255);
    if (!id) return kUpsIdOutOfRange;
    if (v.comIndex < 0) return kNoComPort;
    if (v.comIndex > 254) return kUpsIdOutOfRange;
    com = "COM" + std::to_string(v.comIndex + 1);
    upsId = static_cast<int16_t>(*id);
    if (registry && registry->IsTaken(node.id(), com, upsId)) return kPortAddressTaken;
    baud = v.baud;
  }
  if (!TitleAllowed(v.title, node.title())) return kBadTitle;
  if (HasControlCharacter(v.location)) return kControlCharacter;
  copy.setCommType(v.commType);
  if (v.commType == kCommSensor) copy.setSensorType(0);
  copy.setCom(com);
  copy.setUpsId(upsId);
  copy.setBaud(baud);
  copy.setSaveInDatabase(v.saveInDatabase);
  copy.setLinkStatus(v.stop ? kLinkStopped : kLinkUnidentified);
  copy.setTitle(Field(v.title, kPropertyTitleChars));
  copy.setLocation(Field(v.location, kPropertyLocationChars));
  return std::nullopt;
}

std::optional<int> CheckSnmpValues(const SnmpValues& v, const DeviceNode& node, DeviceNode* root, DeviceNode& copy) {
  if (v.community.empty()) return kNoCommunity;
  const auto port = ParseSnmpPort(v.port);
  if (!port) return kBadPort;
  if (HasControlCharacter(v.ip) || HasControlCharacter(v.community) || HasControlCharacter(v.location))
    return kControlCharacter;
  const bool ipChanged = strcasecmp(v.ip.c_str(), node.ip().c_str()) != 0;
  if (ipChanged && !v.ip.empty() && root) {
    const DeviceNode* other = FindDeviceByIp(node.id(), v.ip, *root);
    if (other && !other->isGroup()) return kIpTaken;
  }
  if (!TitleAllowed(v.title, node.title())) return kBadTitle;
  // The MIB is the node's own unless chosen anew; a node just added takes
  // the one shown.
  uint8_t mib = node.mibType();
  if (v.mibChanged || (v.newNode && mib == kMibUnknown)) mib = v.rfc1628 ? kMibRfc1628 : kMibMakerUps;
  copy.setIp(Field(v.ip, kPropertyAddressChars));
  copy.setCommunity(Field(v.community, kPropertyAddressChars));
  copy.setPort(*port);
  copy.setMibType(mib);
  copy.setLinkStatus(v.stop ? kLinkStopped : kLinkUnidentified);
  copy.setSaveInDatabase(v.saveInDatabase);
  copy.setTitle(Field(v.title, kPropertyTitleChars));
  copy.setLocation(Field(v.location, kPropertyLocationChars));
  return std::nullopt;
}

std::optional<int> CheckGroupValues(const std::string& title, const std::string& location, size_t locationChars,
                                    const DeviceNode& node, DeviceNode& copy) {
  if (!TitleAllowed(title, node.title())) return kBadTitle;
  if (HasControlCharacter(location)) return kControlCharacter;
  copy.setTitle(Field(title, kPropertyTitleChars));
  copy.setLocation(Field(location, locationChars));
  return std::nullopt;
}

void ApplyGroupEdit(DeviceNode& node, const DeviceNode& sent) {
  node.setTitle(sent.title());
  node.setLocation(sent.location());
}

void ApplySnmpEdit(DeviceNode& node, const DeviceNode& sent, uint64_t mask, TreeEndpoints& endpoints) {
  endpoints.removeSnmpDevice(node);
  node.setCommunity(sent.community());
  node.setPort(sent.port());
  node.setIp(sent.ip());
  // Dotted text only: a host name is never looked up on the window thread.
  in_addr a{};
  const std::string ip = sent.ip();
  node.setResolvedAddress(inet_pton(AF_INET, ip.c_str(), &a) == 1 ? a.s_addr : 0);
  endpoints.addSnmpDevice(node);
  node.setMibType(kMibUnknown);
  node.ensureBlock(BlockKind::kSnmp).setMask(MaskWord::kReported, mask);
  node.setLinkStatus(sent.linkStatus());
  node.setSaveInDatabase(sent.saveInDatabase());
  ApplyGroupEdit(node, sent);
}

void ApplyLocalEdit(DeviceNode& node, const DeviceNode& sent, PortDeviceRegistry* registry) {
  if (registry) registry->Unregister(node);
  ApplyGroupEdit(node, sent);
  node.setCom(sent.com());
  node.setUpsId(sent.upsId());
  node.setCommType(sent.commType());
  KeepOnlyCommTypeBlock(node);
  if (sent.commType() != kCommMeterSum) {
    node.setBaud(sent.baud());
    if (registry) registry->Register(node);
  }
  node.setSaveInDatabase(sent.saveInDatabase());
  node.setLinkStatus(sent.linkStatus());
}

const char* PropertyKindText(uint8_t kind) {
  switch (kind) {
    case kNodeSerial: return "(Local)";
    case kNodeGroup: return "(Group)";
    case kNodeSnmp: return "(SNMP)";
    case kNodeGprs: return "(GPRS)";
    default: return "";
  }
}

std::string PropertyLogText(const DeviceNode& n) {
  char buf[512];
  const int id = n.id();
  const std::string title = n.title(), location = n.location();
  const int stop = n.linkStatus() == kLinkStopped ? 1 : 0;
  const int db = n.saveInDatabase() ? 1 : 0;
  switch (n.nodeKind()) {
    case kNodeSerial:
      std::snprintf(buf, sizeof buf, "(Local Title:%s, Location:%s, id:%d, COM:%s, Baud:%d, Type:%d, Stop:%d, Database:%d)",
                    title.c_str(), location.c_str(), id, n.com().c_str(), n.baud(), n.commType(), stop, db);
      break;
    case kNodeSnmp:
      std::snprintf(buf, sizeof buf,
                    "(SNMP Title:%s, Locaion:%s, id:%d, IP:%s, Port:%d, Community:%s, Stop:%d, Database:%d)",
                    title.c_str(), location.c_str(), id, n.ip().c_str(), n.port(), n.community().c_str(), stop, db);
      break;
    case kNodeGprs:
      std::snprintf(buf, sizeof buf, "(GPRS Title:%s, Location:%s, id:%d)", title.c_str(), location.c_str(), id);
      break;
    default:
      std::snprintf(buf, sizeof buf, "(Group Title:%s, Location:%s, id:%d)", title.c_str(), location.c_str(), id);
      break;
  }
  return buf;
}

std::vector<PlcUpsChoice> PlcUpsChoices(DeviceTree& tree, const PortDeviceRegistry* registry,
                                        const ConsoleEndpoints* endpoints) {
  std::vector<PlcUpsChoice> out;
  out.push_back({"None", 0});
  const auto add = [&out](const DeviceNode& n) {
    out.push_back({n.title() + " (" + std::to_string(n.id()) + ")", n.id()});
  };
  if (registry) {
    for (int port = 0; port < 256; ++port) {
      const PortDeviceRegistry::Record* r = registry->record(port);
      if (!r || r->protocol == kCommPlc) continue;
      for (const DeviceNode* d : r->devices)
        if (d) add(*d);
    }
  }
  if (endpoints) {
    for (const ConsoleEndpoints::Entry& e : endpoints->entries())
      if (const DeviceNode* n = Tree_FindNodeById(tree, e.id)) add(*n);
  }
  return out;
}

size_t PlcChoiceOf(const std::vector<PlcUpsChoice>& choices, int16_t id) {
  if (id == 0) return 0;
  for (size_t i = 1; i < choices.size(); ++i)
    if (choices[i].id == id) return i;
  return 0;
}

std::string PlcRowText(const DeviceNode& plc, int i, const std::vector<PlcUpsChoice>& choices) {
  const std::string source = plc.plcSource(i);
  const std::string& ups = choices.empty() ? std::string("None") : choices[PlcChoiceOf(choices, plc.plcUpsId(i))].text;
  return std::to_string(i + 1) + "\t" + std::to_string(plc.plcXtpcTrip(i)) + "\t" + std::to_string(plc.plcXucbTrip(i)) +
         "\t" + std::to_string(plc.plcYtpcAlarm(i)) + "\t" + std::to_string(plc.plcYupsAlarm(i)) + "\t" + ups + "\t" +
         (source.empty() ? std::string(" ") : source);
}

std::optional<CBytes> PlcRecordOfReply(CBytes frame) {
  if (frame.size() < kReplyDataOff + kPlcSettingsSize) return std::nullopt;
  return frame.subspan(kReplyDataOff, kPlcSettingsSize);
}

std::optional<uint64_t> MaskOfReply(CBytes frame) {
  if (frame.size() < kReplyDataOff + kMaskBytes) return std::nullopt;
  uint64_t mask = 0;
  for (size_t w = 0; w < 4; ++w) mask |= static_cast<uint64_t>(u16At(frame, kReplyDataOff + 2 * w)) << (16 * w);
  return mask;
}

uint64_t NodeMaskWords(const DeviceNode& node) {
  uint64_t mask = 0;
  for (int w = 0; w < 4; ++w) mask |= static_cast<uint64_t>(static_cast<uint16_t>(node.plcUpsId(w))) << (16 * w);
  return mask;
}

void SetNodeMaskWords(DeviceNode& node, uint64_t mask) {
  for (int w = 0; w < 4; ++w) node.setPlcUpsId(w, static_cast<int16_t>((mask >> (16 * w)) & 0xFFFF));
}

void PutMaskWords(uint64_t mask, Bytes out) {
  for (size_t w = 0; w < 4; ++w) putU16(out, 2 * w, static_cast<uint16_t>((mask >> (16 * w)) & 0xFFFF));
}

}  // namespace lark
