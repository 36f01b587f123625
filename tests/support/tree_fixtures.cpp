#include "tests/support/tree_fixtures.h"

#include <stdexcept>

namespace lark::test {

int RecordingUpsCommands::SendDeviceControl(DeviceNode& node, int32_t code, int32_t arg1,
                                            int32_t arg2) {
  calls.push_back({"device", node.id(), code, arg1, arg2, {}, {}});
  return 1;
}
int RecordingUpsCommands::SendGroupControl(DeviceNode& group, int32_t code, int32_t arg1,
                                           int32_t arg2) {
  calls.push_back({"group", group.id(), code, arg1, arg2, {}, {}});
  return 1;
}
int RecordingUpsCommands::SendAllControl(int32_t code, int32_t arg1, int32_t arg2) {
  calls.push_back({"all", -1, code, arg1, arg2, {}, {}});
  return 1;
}
void RecordingUpsCommands::QueueAsciiCommand(DeviceNode& node, std::string_view text) {
  calls.push_back({"ascii", node.id(), 0, 0, 0, std::string(text), {}});
}
void RecordingUpsCommands::QueueBinaryFrame(DeviceNode& node, CBytes frame) {
  calls.push_back({"binary", node.id(), 0, 0, 0, {}, {frame.begin(), frame.end()}});
}

uint8_t FakeActionLevels::ActionRowLevel(std::string_view family, int row) const {
  auto f = rows_.find(family);
  if (f == rows_.end()) return kAlarmNone;
  auto r = f->second.find(row);
  return r == f->second.end() ? uint8_t{kAlarmNone} : r->second;
}
void FakeActionLevels::setEventLevel(std::string_view family, int event, uint8_t level) {
  rows_[std::string(family)][2 * event] = level;
}

bool RecordingEndpoints::addSnmpDevice(DeviceNode& node) {
  if (refuseSnmp) return false;
  snmpAdded.push_back(node.id());
  return true;
}
void RecordingEndpoints::removeSnmpDevice(DeviceNode& node) { snmpRemoved.push_back(node.id()); }
void RecordingEndpoints::detachSerialDevice(DeviceNode& node) {
  serialDetached.push_back(node.id());
}
void RecordingEndpoints::releaseGprsStation(DeviceNode& node) { gprsReleased.push_back(node.id()); }

namespace {

DeviceNode& create(DeviceTree& tree, DeviceNode& parent, uint8_t kind, std::string_view ip) {
  tree.setCurrentParent(parent);
  DeviceNode* n = Tree_CreateNode(tree, kind, ip);
  if (!n) throw std::runtime_error("Tree_CreateNode refused a fixture node");
  return *n;
}

}  // namespace

DeviceNode& AddGroup(DeviceTree& tree, DeviceNode& parent, std::string_view title) {
  DeviceNode& g = create(tree, parent, kNodeGroup, "");
  g.setTitle(title);
  return g;
}

DeviceNode& AddSerial(DeviceTree& tree, DeviceNode& parent, int16_t commType, std::string_view com,
                      int16_t upsId) {
  DeviceNode& n = create(tree, parent, kNodeSerial, "");
  n.setCommType(commType);
  n.setCom(com);
  n.setUpsId(upsId);
  return n;
}

DeviceNode& AddSnmp(DeviceTree& tree, DeviceNode& parent, std::string_view ip, uint8_t mibType) {
  DeviceNode& n = create(tree, parent, kNodeSnmp, ip);
  n.setMibType(mibType);
  return n;
}

DeviceNode& AddGprs(DeviceTree& tree, DeviceNode& parent) {
  return create(tree, parent, kNodeGprs, "");
}

SampleTree BuildSampleTree(DeviceTree& tree) {
  SampleTree t;
  DeviceNode& root = tree.root();
  t.ups = &AddGroup(tree, root, "UPS");
  t.field = &AddGroup(tree, root, "Field");
  t.empty = &AddGroup(tree, root, "Empty");
  t.ascii = &AddSerial(tree, *t.ups, kCommAscii, "COM1", 1);
  t.threePhase = &AddSerial(tree, *t.ups, kCommThreePhase, "COM2", 1);
  t.modbus = &AddSerial(tree, *t.ups, kCommModbusUps, "COM3", 1);
  t.snmp = &AddSnmp(tree, *t.ups, "10.0.0.1", kMibMakerUps);
  t.gprs = &AddGprs(tree, *t.field);
  t.inverter = &AddSerial(tree, *t.field, kCommInverter, "COM3", 2);
  t.sensor = &AddSerial(tree, *t.field, kCommSensor, "COM3", 3);
  t.meter = &AddSerial(tree, *t.field, kCommMeter, "COM3", 4);
  tree.setCurrentParent(root);
  return t;
}

std::vector<int> SubtreeIds(const DeviceNode& node) {
  std::vector<int> ids{node.id()};
  for (const auto& c : node.children()) {
    auto sub = SubtreeIds(*c);
    ids.insert(ids.end(), sub.begin(), sub.end());
  }
  return ids;
}

}  // namespace lark::test
