#include "devices/ups_command_fanout.h"

#include <algorithm>

#include "devices/ascii_ups.h"
#include "devices/binary/binary_ups.h"
#include "devices/modbus/modbus_rtu.h"

namespace lark {

namespace {

constexpr uint32_t kSnmpSetPauseMs = 2000;

}  // namespace

std::vector<SnmpUpsSet> SnmpUpsSets(int code, int32_t arg1, int32_t arg2) {
  const char* test = "nupsTestType(r/w)";
  const char* buzzer = "nupsConfigBuzzerAlarm(r/w)";
  const char* shutdown = "nupsShutdownAction(r/w)";
  switch (code) {
    case 1611:
      return {{test, 8, 0, "3", false}};
    case 1612:
      return {{test, 8, 0, "4", false}};
    case 1614:
      return {{test, 8, 0, "0", false}};
    case 1615:
      return {{buzzer, 3, 0, "1", false}};
    case 1616:
      return {{buzzer, 3, 0, "2", false}};
    case 1618:
      return {{shutdown, 2, 2, std::to_string(arg1), false}};
    case 1619: {
      std::vector<SnmpUpsSet> out{{"nupsRestartAction(r/w)", 2, 3, std::to_string(arg1), false}};
      if (arg2 >= 0) out.push_back({shutdown, 2, 2, std::to_string(arg2), true});
      return out;
    }
    case 1620:
      return {{shutdown, 2, 2, "0", false}};
    default:
      return {};
  }
}

std::vector<std::string> AsciiUpsCommandTexts(const DeviceNode& node, int code, int32_t arg1,
                                              int32_t arg2) {
  std::string first = AsciiUpsEngine::BuildSerialProtocolCommand(node, code, arg1, arg2);
  if (first.empty()) return {};
  std::vector<std::string> out{std::move(first)};
  // A negative shutdown delay means none: the restart delay goes alone.
  if (code == kCmdShutdownRestore && arg2 >= 0) {
    std::string second = AsciiUpsEngine::BuildSerialProtocolCommand(node, kCmdShutdown, arg2, 0);
    if (second.empty()) return {};
    out.push_back(std::move(second));
  }
  return out;
}

UpsCommandFanOut::UpsCommandFanOut(PortTable& ports, DeviceTree& tree, const Clock& clock,
                                   std::function<void(uint32_t)> arm)
    : ports_(ports), tree_(tree), clock_(clock), arm_(std::move(arm)) {}

bool UpsCommandFanOut::toSerial(DeviceNode& node, int32_t code, int32_t arg1, int32_t arg2) {
  // Only a device in its port's slot, on a port that is open, is polled.
  const int com = ComNumberOf(node.com());
  if (com == 0 || ports_.deviceAt(com, node.upsId()) != &node || !ports_.isPortOpen(com)) {
    return false;
  }
  switch (node.commType()) {
    case kCommAscii: {
      const auto texts = AsciiUpsCommandTexts(node, code, arg1, arg2);
      return !texts.empty() && AsciiUpsEngine::QueueSerialProtocolCommands(node, texts);
    }
    case kCommThreePhase: {
      const auto frame = BinaryUpsEngine::BuildSerialCommand(node, code, arg1, arg2);
      return !frame.empty() && BinaryUpsEngine::QueueSerialCommand(node, CBytes(frame));
    }
    case kCommModbusUps: {
      const auto pdus = ModbusCommandPdus(code, arg1, arg2);
      return !pdus.empty() && ModbusRtuEngine::QueueModbusCommands(node, pdus);
    }
    default:
      return false;
  }
}

bool UpsCommandFanOut::toSnmp(DeviceNode& node, int32_t code, int32_t arg1, int32_t arg2) {
  if (snmp_ == nullptr || node.mibType() != kMibMakerUps) return false;
  bool sent = false;
  for (const SnmpUpsSet& s : SnmpUpsSets(code, arg1, arg2)) {
    if (s.afterPause) {
      // The device takes the second set only after a pause; the loop is not held for it.
      delayed_.push_back({clock_.tickMs() + kSnmpSetPauseMs, node.id(), s});
      armNext();
      continue;
    }
    sent |= snmp_->sendSet(node, s.group, s.item, s.value, s.objectName);
  }
  return sent;
}

bool UpsCommandFanOut::toDevice(DeviceNode& node, int32_t code, int32_t arg1, int32_t arg2) {
  if (node.nodeKind() == kNodeSerial) return toSerial(node, code, arg1, arg2);
  if (node.nodeKind() == kNodeSnmp) return toSnmp(node, code, arg1, arg2);
  return false;
}

int UpsCommandFanOut::SendDeviceControl(DeviceNode& node, int32_t code, int32_t arg1,
                                        int32_t arg2) {
  if (node.linkStatus() == kLinkStopped) return 0;
  ports_.PauseSerialThreads();
  const bool sent = toDevice(node, code, arg1, arg2);
  ports_.ResumeSerialThreads();
  return sent ? 1 : 0;
}

int UpsCommandFanOut::SendGroupControl(DeviceNode& group, int32_t code, int32_t arg1,
                                       int32_t arg2) {
  if (group.linkStatus() == kLinkStopped) return 0;
  int reached = 0;
  ports_.PauseSerialThreads();
  for (const auto& child : group.children()) {
    // A stopped child would act on the command once polled again.
    if (child->linkStatus() == kLinkStopped) continue;
    reached += toDevice(*child, code, arg1, arg2) ? 1 : 0;
  }
  ports_.ResumeSerialThreads();
  return reached;
}

int UpsCommandFanOut::SendAllControl(int32_t code, int32_t arg1, int32_t arg2) {
  int reached = 0;
  ports_.PauseSerialThreads();
  // Every serial device is in the tree; toSerial keeps those in a port slot.
  std::function<void(DeviceNode&)> walk = [&](DeviceNode& n) {
    if (n.isGroup()) {
      for (const auto& c : n.children()) walk(*c);
    } else if (n.nodeKind() == kNodeSerial && n.linkStatus() != kLinkStopped) {
      reached += toSerial(n, code, arg1, arg2) ? 1 : 0;
    }
  };
  walk(tree_.root());
  if (snmp_ != nullptr) {
    for (int16_t id : snmp_->deviceIds()) {
      DeviceNode* n = Tree_FindNodeById(tree_, id);
      if (n != nullptr && n->nodeKind() == kNodeSnmp && n->linkStatus() != kLinkStopped) {
        reached += toSnmp(*n, code, arg1, arg2) ? 1 : 0;
      }
    }
  }
  ports_.ResumeSerialThreads();
  return reached;
}

void UpsCommandFanOut::runDelayed() {
  const uint32_t now = clock_.tickMs();
  std::vector<Delayed> due;
  auto late = std::stable_partition(delayed_.begin(), delayed_.end(), [&](const Delayed& d) {
    return static_cast<int32_t>(now - d.dueMs) >= 0;
  });
  due.assign(delayed_.begin(), late);
  delayed_.erase(delayed_.begin(), late);
  for (const Delayed& d : due) {
    // The node may have left the tree during the pause.
    DeviceNode* n = Tree_FindNodeById(tree_, d.nodeId);
    if (n != nullptr && snmp_ != nullptr && n->nodeKind() == kNodeSnmp) {
      snmp_->sendSet(*n, d.set.group, d.set.item, d.set.value, d.set.objectName);
    }
  }
  armNext();
}

void UpsCommandFanOut::armNext() {
  if (delayed_.empty() || !arm_) return;
  const uint32_t now = clock_.tickMs();
  int32_t wait = static_cast<int32_t>(kSnmpSetPauseMs);
  for (const Delayed& d : delayed_) wait = std::min(wait, static_cast<int32_t>(d.dueMs - now));
  arm_(static_cast<uint32_t>(std::max(wait, 1)));
}

// ---- single commands of the console's requests ----

void UpsCommandFanOut::QueueAsciiCommand(DeviceNode& node, std::string_view text) {
  ports_.PauseSerialThreads();
  AsciiUpsEngine::QueueSerialProtocolCommand(node, text);
  ports_.ResumeSerialThreads();
}

void UpsCommandFanOut::QueueBinaryFrame(DeviceNode& node, CBytes frame) {
  ports_.PauseSerialThreads();
  BinaryUpsEngine::QueueSerialCommand(node, frame);
  ports_.ResumeSerialThreads();
}

bool UpsCommandFanOut::QueueAsciiCommands(DeviceNode& node, std::span<const std::string> texts) {
  ports_.PauseSerialThreads();
  const bool ok = AsciiUpsEngine::QueueSerialProtocolCommands(node, texts);
  ports_.ResumeSerialThreads();
  return ok;
}

bool UpsCommandFanOut::QueueBinaryFrames(DeviceNode& node, std::span<const std::string> frames) {
  std::vector<std::vector<uint8_t>> bytes;
  for (const std::string& f : frames) bytes.emplace_back(f.begin(), f.end());
  ports_.PauseSerialThreads();
  const bool ok = BinaryUpsEngine::QueueSerialCommands(node, bytes);
  ports_.ResumeSerialThreads();
  return ok;
}

bool UpsCommandFanOut::QueueModbusCommands(DeviceNode& node, std::span<const ModbusPdu> pdus) {
  ports_.PauseSerialThreads();
  const bool ok = ModbusRtuEngine::QueueModbusCommands(node, pdus);
  ports_.ResumeSerialThreads();
  return ok;
}

bool UpsCommandFanOut::CanQueueFor(int16_t commType) const {
  return commType == kCommAscii || commType == kCommThreePhase || IsModbusRtuCommType(commType);
}

}  // namespace lark
