// A large tree for the benchmarks: groups of 200 under the root, SNMP UPSs
// and Modbus UPSs in turn, built as a console builds one.
#pragma once
#include <vector>

#include "core/device_tree.h"

namespace lark::bench {

inline std::vector<DeviceNode*> BuildDeviceTree(DeviceTree& tree, int devices) {
  std::vector<DeviceNode*> out;
  DeviceNode* group = nullptr;
  while (static_cast<int>(out.size()) < devices) {
    if (group == nullptr || group->childCount() >= 200) {
      tree.setCurrentParent(tree.root());
      group = Tree_CreateNode(tree, kNodeGroup, "");
      if (group == nullptr) break;
      tree.setCurrentParent(*group);
    }
    const bool snmp = out.size() % 2 == 0;
    DeviceNode* n = Tree_CreateNode(tree, snmp ? kNodeSnmp : kNodeSerial, "10.0.0.1");
    if (n == nullptr) break;
    if (!snmp) {
      n->setCommType(kCommModbusUps);
      KeepOnlyCommTypeBlock(*n);
    }
    out.push_back(n);
  }
  return out;
}

}  // namespace lark::bench
