// Device commands: stop all alarms, UPS control, device settings, the event
// log records and device-log read-outs.
#include <cstdio>
#include <vector>

#include "core/device_tree.h"
#include "core/event_log.h"
#include "core/language_texts_store.h"
#include "linkserver/link_database.h"
#include "linkserver/link_records.h"
#include "linkserver/link_requests.h"
#include "linkserver/link_transfer.h"
#include "core/map_file.h"
#include "core/settings.h"
#include "core/snmp_control.h"
#include "platform/clock.h"

namespace lark {

namespace {

// The UPS control record (linkserver/link_records.h) starts at frame byte 5.
constexpr size_t kControlOff = 5;
constexpr int32_t kFirstUpsCommand = 1611, kLastUpsCommand = 1621;
constexpr int32_t kCmdStartTest = 1612, kCmdTimedTest = 1613, kCmdBuzzerTest = 1617,
                  kCmdShutdown = 1618, kCmdShutdownRestart = 1619, kCmdEmergencyOff = 1621;

// DeviceSettingsBlock (152 bytes from frame byte 6).
constexpr size_t kSettingsOff = 6, kSettingsSize = 152;
constexpr size_t kClockFlag = 96, kClockValue = 100;
constexpr size_t kDryContactFlag = 112, kDryContactValues = 116;
constexpr size_t kInputContactFlag = 140, kInputContactValues = 144;

// DeviceLogRequest (20 bytes from frame byte 6).
constexpr size_t kLogRequestOff = 6, kLogRequestSize = 20;
constexpr size_t kDeviceLogBytes = 4600;
// AsciiLiveData fields of the read-out.
constexpr size_t kAsciiLogSize = 964, kAsciiLogState = 972, kAsciiLogPosition = 1442;

// Command 11 records.
constexpr size_t kOperatorRecordEnd = 270, kOperatorDetailOff = 12, kOperatorDetailSize = 258;
constexpr size_t kEventRecordEnd = 274, kEventTextOff = 18, kEventTextSize = 256;

std::string Format(const char* fmt, int a) {
  char buf[64];
  std::snprintf(buf, sizeof buf, fmt, a);
  return buf;
}
std::string Format(const char* fmt, int a, int b) {
  char buf[64];
  std::snprintf(buf, sizeof buf, fmt, a, b);
  return buf;
}

// What one settings request queues, built whole before anything is queued:
// a request goes in entirely or not at all.
struct SettingsBatch {
  int16_t comm = 0;
  std::vector<std::string> texts;   // CommType 0
  std::vector<std::string> frames;  // CommType 1
  std::vector<ModbusPdu> writes;    // CommType 2
  bool refused = false;             // a value that does not fit its field
  bool setClock = false;            // the clock entry: Sync.DateTime := clockValue
  int32_t clockValue = 0;

  bool inRange(int64_t v, int64_t max) {
    if (v < 0 || v > max) refused = true;
    return !refused;
  }
  void text(const std::string& t) {
    if (comm == kCommAscii) texts.push_back(WithAsciiLength(t));
  }
  // A register write of CommType 2; `max` 255 where the device takes a byte.
  void write(uint16_t reg, int32_t v, int64_t max = 0xFFFF) {
    if (comm != kCommModbusUps || !inRange(v, max)) return;
    writes.push_back(*RegisterWritePdu(reg, v));
  }
};

void PutLe16Pairs(std::string& out, SettingsBatch& batch, CBytes block, size_t off, int count) {
  for (int i = 0; i < count; ++i) {
    const uint32_t v = u32At(block, off + 4 * static_cast<size_t>(i));
    if (!batch.inRange(v, 0xFFFF)) return;
    out.push_back(static_cast<char>(v & 0xFF));
    out.push_back(static_cast<char>((v >> 8) & 0xFF));
  }
}

// The flagged settings of sub 0 in their order.
void BuildDeviceConfiguration(LinkRequest& r, CBytes b, SettingsBatch& out) {
  auto flag = [&](size_t off) { return u32At(b, off) != 0; };
  auto val = [&](size_t off) { return i32At(b, off); };
  const int16_t comm = out.comm;
  if (flag(52)) {
    out.text(Format("S008BTV%d;%d", val(56), val(60)));
    if (comm == kCommThreePhase && out.inRange(val(56), 0xFF) && out.inRange(val(60), 0xFFFF)) {
      out.frames.push_back({4, 25, static_cast<char>(val(56) & 0xFF),
                            static_cast<char>(val(60) & 0xFF),
                            static_cast<char>((val(60) >> 8) & 0xFF)});
    }
    out.write(0x0312, val(56));
    out.write(0x0313, val(60));
  }
  if (flag(4)) {
    out.text(Format("S004VSN%d", val(8)));
    out.write(0x0306, val(8), 0xFF);
  }
  if (flag(28)) out.text(Format("S004ECO%d", val(32)));
  if (flag(12)) {
    out.text(Format("S004ATT%d", val(16)));
    out.write(0x030D, val(16), 0xFF);
  }
  if (flag(20)) out.text(Format("S004ARB%d", val(24)));
  if (flag(36)) {
    out.text(Format("S004UBD%d", val(40)));
    out.write(0x030F, val(40));
  }
  if (flag(44)) {
    out.text(Format("S004EBP%d", val(48)));
    out.write(0x0316, val(48), 0xFF);
  }
  if (flag(kClockFlag)) {
    out.setClock = true;
    out.clockValue = val(kClockValue);
    if (out.clockValue != 0 && r.services.clock) {
      const WallTime now = r.services.clock->now();
      if (comm == kCommAscii) {
        out.texts.push_back(ClockCommandText(now));
      } else if (comm == kCommThreePhase) {
        const auto f = ClockCommandFrame(now);
        out.frames.emplace_back(f.begin(), f.end());
      }
    }
  }
  if (flag(64)) {
    out.text(Format("S004TXV%d;%d", val(72), val(68)));
    out.write(0x0304, val(72));
    out.write(0x0305, val(68));
  }
  if (flag(104)) {
    out.text(Format("S004TXF%d", val(108)));
    out.write(0x0310, val(108));
  }
  if (flag(88)) {
    out.text(Format("S004BT2%d", val(92)));
    out.write(0x031F, val(92));
  }
  if (flag(76)) {
    out.text(Format("S004BT1%d;%d", val(84), val(80)));
    out.write(0x031D, val(84));
    out.write(0x031E, val(80));
  }
}

// The dry-contact table of sub 1.
void BuildDryContacts(CBytes b, SettingsBatch& out) {
  const int16_t comm = out.comm;
  if (u32At(b, kDryContactFlag) != 0) {
    if (comm == kCommAscii) {
      std::string t = "S015SDC";
      PutLe16Pairs(t, out, b, kDryContactValues, 6);
      out.texts.push_back(WithAsciiLength(t));
    } else if (comm == kCommThreePhase) {
      std::string f = {13, 21};
      PutLe16Pairs(f, out, b, kDryContactValues, 6);
      out.frames.push_back(f);
    } else {
      for (int i = 0; i < 6; ++i) {
        out.write(static_cast<uint16_t>(0x0317 + i), i32At(b, kDryContactValues + 4 * static_cast<size_t>(i)));
      }
    }
  }
  if (u32At(b, kInputContactFlag) != 0) {
    if (comm == kCommAscii) {
      std::string t = "S007IDC";
      PutLe16Pairs(t, out, b, kInputContactValues, 2);
      out.texts.push_back(WithAsciiLength(t));
    }
    out.write(0x0320, i32At(b, kInputContactValues));
    out.write(0x0321, i32At(b, kInputContactValues + 4));
  }
}

// Queues the batch whole; false when the device's queue cannot take it all.
bool QueueSettingsBatch(UpsCommandSink& out, DeviceNode& node, const SettingsBatch& batch) {
  switch (batch.comm) {
    case kCommAscii:
      return batch.texts.empty() || out.QueueAsciiCommands(node, batch.texts);
    case kCommModbusUps:
      return batch.writes.empty() || out.QueueModbusCommands(node, batch.writes);
    default:
      return batch.frames.empty() || out.QueueBinaryFrames(node, batch.frames);
  }
}

// Command 11 sub 7: the ASCII UPS's own event memory.
void AsciiDeviceLog(LinkRequest& r, LinkFrameBuilder& reply) {
  CBytes req = r.frame.slice(kLogRequestOff, kLogRequestSize);
  if (req.empty()) return BuildLinkFailureReply(r, reply);
  const uint32_t op = u32At(req, 0);
  DeviceNode* node = FindRequestNode(r, i32At(req, 4));
  LiveDataBlock* block = node && node->nodeKind() == kNodeSerial &&
                                 (node->commType() == kCommAscii || node->commType() == kCommPlc)
                             ? node->block(BlockKind::kAscii)
                             : nullptr;
  if (block == nullptr || op > 2) return BuildLinkFailureReply(r, reply);
  if (op == 0) {
    if (r.services.deviceCommands == nullptr) return BuildLinkFailureReply(r, reply);
    r.services.deviceCommands->QueueAsciiCommand(*node, "P003AEL");
    block->putI16(kAsciiLogPosition, 1);
  }
  const uint32_t state = block->u32(kAsciiLogState);
  uint8_t rec[kLogRequestSize];
  std::copy(req.begin(), req.end(), rec);
  putI32(Bytes(rec), 8, state == 0 ? 1 : state == 1 ? 2 : -1);
  putI32(Bytes(rec), 12, block->i16(kAsciiLogPosition));
  putI32(Bytes(rec), 16, block->i32(kAsciiLogSize));
  std::vector<uint8_t> entries;
  if (op == 2) {
    if (r.services.upsEventLog) entries = r.services.upsEventLog();
    entries.resize(kDeviceLogBytes, 0);
  }
  BeginSuccessReply(r, reply);
  reply.putBytes(CBytes(rec));
  reply.putBytes(entries);
}

// Command 11 sub 6: the three-phase UPS's own event log, read in blocks.
void BinaryDeviceLog(LinkRequest& r, LinkFrameBuilder& reply) {
  constexpr size_t kBinaryLogPosition = 1176, kBinaryLogSize = 704;
  CBytes req = r.frame.slice(kLogRequestOff, kLogRequestSize);
  if (req.empty()) return BuildLinkFailureReply(r, reply);
  const uint32_t op = u32At(req, 0);
  DeviceNode* node = FindRequestNode(r, i32At(req, 4));
  LiveDataBlock* block = node && node->nodeKind() == kNodeSerial &&
                                 node->commType() == kCommThreePhase
                             ? node->block(BlockKind::kBinary)
                             : nullptr;
  if (block == nullptr || op > 2) return BuildLinkFailureReply(r, reply);
  if (op == 0) {
    if (r.services.deviceCommands == nullptr) return BuildLinkFailureReply(r, reply);
    const std::string ask = {1, 26};
    if (!r.services.deviceCommands->QueueBinaryFrames(*node, std::span(&ask, 1))) {
      return BuildLinkFailureReply(r, reply);
    }
    block->putU16(kBinaryLogPosition, 1);
  }
  uint8_t rec[kLogRequestSize];
  std::copy(req.begin(), req.end(), rec);
  putI32(Bytes(rec), 12, block->u16(kBinaryLogPosition));
  putI32(Bytes(rec), 16, block->i32(kBinaryLogSize));
  std::vector<uint8_t> entries;
  if (op == 2) {
    if (r.services.upsEventLog) entries = r.services.upsEventLog();
    entries.resize(kDeviceLogBytes, 0);
  }
  BeginSuccessReply(r, reply);
  reply.putBytes(CBytes(rec));
  reply.putBytes(entries);
}

}  // namespace

std::string WithAsciiLength(std::string text) {
  if (text.size() < 4 || text.size() - 4 > 999) return text;
  char digits[4];
  std::snprintf(digits, sizeof digits, "%03d", static_cast<int>(text.size() - 4));
  text.replace(1, 3, digits, 3);
  return text;
}

// ---- 23: the reaction states of the SNMP devices ----

void HandleStopAllAlarms(LinkRequest& r, LinkFrameBuilder& reply) {
  if (r.services.snmp) r.services.snmp->stopAllAlarms();
  BeginSuccessReply(r, reply);
}

// ---- 26 ----

void HandleControlDevice(LinkRequest& r, LinkFrameBuilder& reply) {
  CBytes bytes = r.frame.slice(kControlOff, kUpsControlRecordSize);
  if (bytes.empty()) return BuildLinkFailureReply(r, reply);
  const UpsControlRecord rec = DecodeUpsControl(bytes);
  DeviceNode* node = FindRequestNode(r, static_cast<int16_t>(rec.nodeId));
  UpsCommandSink* fanOut = r.services.upsControl;
  if (node == nullptr || fanOut == nullptr) return BuildLinkFailureReply(r, reply);
  const uint32_t scope = rec.scope;
  const int32_t code = rec.command;
  DeviceNode* parent = node->parent();
  if (scope == 1 && parent == nullptr) return BuildLinkFailureReply(r, reply);
  // A code the fan-out does not know, or a command no device took, fails.
  if (code < kFirstUpsCommand || code > kLastUpsCommand) return BuildLinkFailureReply(r, reply);
  int32_t sent = code, arg1 = 0, arg2 = 0;
  switch (code) {
    case kCmdTimedTest:
      sent = kCmdStartTest;
      break;
    case kCmdBuzzerTest:
      arg1 = rec.buzzerTime;
      break;
    case kCmdShutdown:
      arg1 = rec.shutdownDelay;
      break;
    case kCmdShutdownRestart:
      arg1 = rec.restartTime;
      arg2 = rec.shutdownDelay;
      break;
    case kCmdEmergencyOff:
      arg1 = rec.epoChoice;
      break;
    default:
      break;
  }
  DeviceNode* countdown = scope == 0   ? node
                          : scope == 1 ? parent
                          : r.services.tree ? &r.services.tree->root()
                                            : nullptr;
  int reached = 0;
  if (scope == 0) {
    reached = fanOut->SendDeviceControl(*node, sent, arg1, arg2);
  } else if (scope == 1) {
    reached = fanOut->SendGroupControl(*parent, sent, arg1, arg2);
  } else {
    reached = fanOut->SendAllControl(sent, arg1, arg2);
  }
  if (reached == 0) return BuildLinkFailureReply(r, reply);
  if (code == kCmdTimedTest && countdown) countdown->setTestCountdown(rec.testTime);
  BeginSuccessReply(r, reply);
}

// ---- 28 ----

void HandleDeviceSettings(LinkRequest& r, LinkFrameBuilder& reply) {
  CBytes b = r.frame.slice(kSettingsOff, kSettingsSize);
  DeviceNode* node = b.empty() ? nullptr : FindRequestNode(r, i16At(b, 0));
  if (node == nullptr || node->nodeKind() != kNodeSerial || !r.services.deviceCommands) {
    return BuildLinkFailureReply(r, reply);
  }
  UpsCommandSink& out = *r.services.deviceCommands;
  SettingsBatch batch;
  batch.comm = node->commType();
  if ((batch.comm != kCommAscii && batch.comm != kCommThreePhase &&
       batch.comm != kCommModbusUps) ||
      !out.CanQueueFor(batch.comm)) {
    return BuildLinkFailureReply(r, reply);
  }
  if (r.sub() == 0) {
    BuildDeviceConfiguration(r, b, batch);
  } else {
    BuildDryContacts(b, batch);
  }
  if (batch.refused || !QueueSettingsBatch(out, *node, batch)) {
    return BuildLinkFailureReply(r, reply);
  }
  if (batch.setClock) {
    node->setSyncDateTime(batch.clockValue);
    if (r.services.maps) r.services.maps->SaveMapNode(*node);
  }
  BeginSuccessReply(r, reply);
}

// ---- 11 ----

void HandleEventLog(LinkRequest& r, LinkFrameBuilder& reply) {
  switch (r.sub()) {
    case 0: {
      if (r.frame.size() < kOperatorRecordEnd || !r.services.languages) break;
      const uint32_t level = r.frame.le32(6).value_or(0);
      const uint16_t code = r.frame.le16(10).value_or(0);
      const std::string detail =
          PrintableText(FrameText(r.frame, kOperatorDetailOff, kOperatorDetailSize), 257);
      if (r.services.database) {
        r.services.database->setOperatorAccount(
            r.services.users[static_cast<size_t>(r.slot)].account);
      }
      r.services.languages->WriteOperatorLog(level, code, detail.c_str());
      return BeginSuccessReply(r, reply);
    }
    case 1: {
      if (r.frame.size() < kEventRecordEnd || !r.services.eventLog) break;
      const auto number = static_cast<int32_t>(r.frame.le32(6).value_or(0));
      const uint32_t level = r.frame.le32(10).value_or(0);
      const auto code = static_cast<int32_t>(r.frame.le32(14).value_or(0));
      // One event is one line of the file.
      const std::string text =
          PrintableText(FrameText(r.frame, kEventTextOff, kEventTextSize), kEventTextSize);
      if (!r.services.eventLog->writeEvent(number, level, code, text)) break;
      return BeginSuccessReply(r, reply);
    }
    case 5:
      return BuildDataRootChunk(r, reply);
    case 6:
      return BinaryDeviceLog(r, reply);
    case 7:
      return AsciiDeviceLog(r, reply);
    case 2:
    case 4:
      return HandleDatabaseQuery(r, reply);
    default:
      return BeginSuccessReply(r, reply);
  }
  BuildLinkFailureReply(r, reply);
}

}  // namespace lark
