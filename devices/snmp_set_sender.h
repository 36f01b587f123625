// The UPS command fan-out's way to SNMP devices: each SetRequest is built in
// a codec context of its own and sent on the SNMP device table's socket.
//
// Threads: the loop thread, while the SNMP poll thread runs.
#pragma once
#include "devices/snmp/snmp_device_table.h"
#include "devices/ups_command_fanout.h"

namespace lark {

class SnmpTableSetSender final : public SnmpSetSender {
 public:
  explicit SnmpTableSetSender(SnmpDeviceTable& table) : table_(table) {}

  bool sendSet(const DeviceNode& node, int group, int item, std::string_view value,
               std::string_view objectName) override;
  std::vector<int16_t> deviceIds() const override;

 private:
  SnmpDeviceTable& table_;
  SnmpCodec codec_;
};

}  // namespace lark
