// Test trees and fakes around the device tree: a recording command fan-out,
// a table of action-row levels, recording endpoint tables, a counting pauser,
// and builders for small trees of every node kind.
#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "core/device_node.h"
#include "core/device_tree.h"
#include "core/live_data.h"

namespace lark::test {

// Every call the tree makes to the UPS command fan-out.
class RecordingUpsCommands final : public UpsCommandSink {
 public:
  struct Call {
    std::string what;  // "device", "group", "all", "ascii", "binary"
    int32_t nodeId = -1;
    int32_t code = 0, arg1 = 0, arg2 = 0;
    std::string text;            // ascii
    std::vector<uint8_t> frame;  // binary
  };
  int SendDeviceControl(DeviceNode& node, int32_t code, int32_t arg1, int32_t arg2) override;
  int SendGroupControl(DeviceNode& group, int32_t code, int32_t arg1, int32_t arg2) override;
  int SendAllControl(int32_t code, int32_t arg1, int32_t arg2) override;
  void QueueAsciiCommand(DeviceNode& node, std::string_view text) override;
  void QueueBinaryFrame(DeviceNode& node, CBytes frame) override;

  std::vector<Call> calls;
};

// Action-row levels by family; rows not set answer 2 (no alarm).
class FakeActionLevels final : public ActionLevelSource {
 public:
  uint8_t ActionRowLevel(std::string_view family, int row) const override;
  // Level of the occurred row (2 * event) of `event` in `family`.
  void setEventLevel(std::string_view family, int event, uint8_t level);

 private:
  std::map<std::string, std::map<int, uint8_t>, std::less<>> rows_;
};

// Records what enters and leaves the SNMP table, the port slots and the
// GPRS link; can refuse SNMP devices.
class RecordingEndpoints final : public TreeEndpoints {
 public:
  bool addSnmpDevice(DeviceNode& node) override;
  void removeSnmpDevice(DeviceNode& node) override;
  void detachSerialDevice(DeviceNode& node) override;
  void releaseGprsStation(DeviceNode& node) override;

  bool refuseSnmp = false;
  std::vector<int> snmpAdded, snmpRemoved, serialDetached, gprsReleased;  // node ids
};

class CountingPauser final : public WorkerPauser {
 public:
  void pauseAll() override {
    ++pauses;
    ++depth;
  }
  void resumeAll() override {
    ++resumes;
    --depth;
  }
  int pauses = 0, resumes = 0, depth = 0;
};

// Builders: create through Tree_CreateNode under `parent` (which becomes the
// tree's CurrentParent) and set the kind-specific fields.
DeviceNode& AddGroup(DeviceTree& tree, DeviceNode& parent, std::string_view title = "Group");
DeviceNode& AddSerial(DeviceTree& tree, DeviceNode& parent, int16_t commType,
                      std::string_view com = "COM1", int16_t upsId = 1);
DeviceNode& AddSnmp(DeviceTree& tree, DeviceNode& parent, std::string_view ip = "10.0.0.1",
                    uint8_t mibType = kMibMakerUps);
DeviceNode& AddGprs(DeviceTree& tree, DeviceNode& parent);

// A small tree of every kind:
//   root
//   |- ups    (group "UPS": ASCII COM1/1, three-phase COM2/1, Modbus UPS COM3/1, SNMP 10.0.0.1)
//   |- field  (group "Field": GPRS station, inverter COM3/2, sensor COM3/3, meter COM3/4)
//   |- empty  (group "Empty", no children)
struct SampleTree {
  DeviceNode* ups = nullptr;
  DeviceNode* field = nullptr;
  DeviceNode* empty = nullptr;
  DeviceNode* ascii = nullptr;
  DeviceNode* threePhase = nullptr;
  DeviceNode* modbus = nullptr;
  DeviceNode* snmp = nullptr;
  DeviceNode* gprs = nullptr;
  DeviceNode* inverter = nullptr;
  DeviceNode* sensor = nullptr;
  DeviceNode* meter = nullptr;
};
SampleTree BuildSampleTree(DeviceTree& tree);

// Ids of the subtree in depth-first order.
std::vector<int> SubtreeIds(const DeviceNode& node);

}  // namespace lark::test
