// The service's SNMP manager: the device table, its socket, the resolver
// thread, the poll thread and the traffic monitor, wired together; and the
// console's way in (SnmpDeviceControl).
#pragma once
#include <memory>
#include <string>

#include "core/snmp_control.h"
#include "devices/snmp/snmp_device_table.h"
#include "devices/snmp/snmp_monitor.h"
#include "devices/snmp/snmp_poll_thread.h"
#include "devices/snmp/snmp_resolver.h"
#include "devices/snmp/snmp_socket.h"

namespace lark {

struct SnmpManagerOptions {
  std::string installDir;  // where the monitor files go
  SnmpTableHooks hooks;
  SnmpResolver::LookUp lookUp = LookUpIpv4;
  std::unique_ptr<SnmpSocket> socket;  // a UDP socket when null
};

class SnmpManager final : public SnmpDeviceControl {
 public:
  SnmpManager(DeviceTree& tree, const Clock& clock, SnmpManagerOptions options);
  ~SnmpManager() override;

  SnmpDeviceTable& table() { return table_; }
  SnmpPollThread& thread() { return thread_; }

  // Opens the socket; false (reported once through the hook) when it cannot.
  bool openSocket() { return table_.openSocket(); }
  void startThread() { thread_.start(); }
  // Joins the poll thread, then closes the socket, the monitor and the
  // resolver and empties the table.
  void stop();

  // ---- SnmpDeviceControl ----
  void nodeEdited(DeviceNode& node) override;
  void resetResolutionPeriod() override { table_.resetResolutionPeriod(); }
  void stopAllAlarms() override;
  bool networkMonitorOn() const override { return monitor_.isOn(); }
  bool startNetworkMonitor() override { return monitor_.isOn() || monitor_.open(); }
  void stopNetworkMonitor() override { monitor_.close(); }

 private:
  DeviceTree& tree_;
  std::unique_ptr<SnmpSocket> socket_;
  SnmpResolver resolver_;
  SnmpTrafficMonitor monitor_;
  SnmpDeviceTable table_;
  SnmpPollThread thread_;
};

}  // namespace lark
