// The UPS command fan-out: one UpsCommand (1611..1621) for one device, the
// direct children of a group, or every device, turned into the command of
// each device's own protocol, picked by the device's CommType: an ASCII
// command text, a binary control frame, Modbus writes (each into the
// device's queue, sent by its poll thread before its next query), or SNMP
// SetRequests (sent at once through SnmpSetSender).
//
// Threads: the loop thread only. The poll threads are paused once per call
// while the queues are filled.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "core/device_tree.h"
#include "devices/port_table.h"
#include "platform/clock.h"

namespace lark {

// Where SNMP SetRequests leave: the SNMP device table's sender (built with
// SnmpBuildSet and sent from the SNMP socket) plugs in here.
class SnmpSetSender {
 public:
  virtual ~SnmpSetSender() = default;
  // Sends the SetRequest of maker-MIB group.item := value to every entry of
  // the SNMP device table that is this node; false when none was sent.
  virtual bool sendSet(const DeviceNode& node, int group, int item, std::string_view value,
                       std::string_view objectName) = 0;
  // The node IDs of the SNMP device table's entries.
  virtual std::vector<int16_t> deviceIds() const = 0;
};

// One SetRequest of a UPS command to a maker-MIB SNMP device.
struct SnmpUpsSet {
  const char* objectName;
  int group, item;
  std::string value;
  bool afterPause;  // sent 2 s after the one before it
};
// The SetRequests of `code` (empty when the code has none).
std::vector<SnmpUpsSet> SnmpUpsSets(int code, int32_t arg1, int32_t arg2);

// The ASCII command texts of `code` for the node (1619: the restart, then the
// shutdown when arg2 >= 0); empty when the code has none for it.
std::vector<std::string> AsciiUpsCommandTexts(const DeviceNode& node, int code, int32_t arg1,
                                              int32_t arg2);

class UpsCommandFanOut final : public UpsCommandSink {
 public:
  // `arm(ms)` asks for runDelayed() after `ms` milliseconds (the loop's timer).
  UpsCommandFanOut(PortTable& ports, DeviceTree& tree, const Clock& clock,
                   std::function<void(uint32_t)> arm);

  void setSnmpSender(SnmpSetSender* sender) { snmp_ = sender; }

  int SendDeviceControl(DeviceNode& node, int32_t code, int32_t arg1, int32_t arg2) override;
  int SendGroupControl(DeviceNode& group, int32_t code, int32_t arg1, int32_t arg2) override;
  int SendAllControl(int32_t code, int32_t arg1, int32_t arg2) override;
  void QueueAsciiCommand(DeviceNode& node, std::string_view text) override;
  void QueueBinaryFrame(DeviceNode& node, CBytes frame) override;
  bool QueueAsciiCommands(DeviceNode& node, std::span<const std::string> texts) override;
  bool QueueBinaryFrames(DeviceNode& node, std::span<const std::string> frames) override;
  bool QueueModbusCommands(DeviceNode& node, std::span<const ModbusPdu> pdus) override;
  bool CanQueueFor(int16_t commType) const override;

  // Sends the SetRequests whose pause is over; asks for the next wake-up.
  void runDelayed();

 private:
  struct Delayed {
    uint32_t dueMs;
    int16_t nodeId;
    SnmpUpsSet set;
  };
  // One device, poll threads already paused: true when anything went out.
  bool toDevice(DeviceNode& node, int32_t code, int32_t arg1, int32_t arg2);
  bool toSerial(DeviceNode& node, int32_t code, int32_t arg1, int32_t arg2);
  bool toSnmp(DeviceNode& node, int32_t code, int32_t arg1, int32_t arg2);
  void armNext();

  PortTable& ports_;
  DeviceTree& tree_;
  const Clock& clock_;
  std::function<void(uint32_t)> arm_;
  SnmpSetSender* snmp_ = nullptr;
  std::vector<Delayed> delayed_;
};

}  // namespace lark
