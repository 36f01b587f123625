// The SNMP manager as the console's requests reach it. It lives in a later
// folder; the service implements this and hands it to the console link.
// Every call comes from the loop thread.
#pragma once

namespace lark {

class DeviceNode;

class SnmpDeviceControl {
 public:
  virtual ~SnmpDeviceControl() = default;
  // The node's address, community, port, UPSID or MibType were edited
  // (already written into the node, inside a StructuralEdit): its address is
  // resolved again and its entry reset, re-armed and activated; a node
  // without an entry is registered.
  virtual void nodeEdited(DeviceNode& node) = 0;
  // The next moment for looking up names comes at once (then 10, 100, ...).
  virtual void resetResolutionPeriod() = 0;
  // Zeroes both reaction-active arrays of every node of the table.
  virtual void stopAllAlarms() = 0;
  virtual bool networkMonitorOn() const = 0;
  // Opens the next monitor file; false when it cannot be created.
  virtual bool startNetworkMonitor() = 0;
  virtual void stopNetworkMonitor() = 0;
};

}  // namespace lark
