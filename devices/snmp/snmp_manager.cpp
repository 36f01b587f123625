#include "devices/snmp/snmp_manager.h"

#include <unordered_set>

namespace lark {

SnmpManager::SnmpManager(DeviceTree& tree, const Clock& clock, SnmpManagerOptions options)
    : tree_(tree),
      socket_(options.socket ? std::move(options.socket) : std::make_unique<UdpSnmpSocket>()),
      resolver_(std::move(options.lookUp)),
      monitor_(clock, options.installDir),
      table_(tree, *socket_, &resolver_, clock, monitor_, std::move(options.hooks)),
      thread_(table_, clock) {}

SnmpManager::~SnmpManager() { stop(); }

void SnmpManager::stop() {
  thread_.stop();
  socket_->close();
  table_.ClearSnmpDeviceTable();
  monitor_.close();
  resolver_.stop();
}

void SnmpManager::nodeEdited(DeviceNode& node) {
  table_.ResolveNodeAddress(node);
  const int index = table_.FindSnmpDevice(node.id());
  if (index < 0) {
    table_.AddSnmpDevice(node);
  } else {
    table_.NodeAddressChanged(node);
    if (table_.entry(index).state != kSnmpEntryIdle) table_.SnmpResetEntry(index);
    table_.SnmpReinitEntry(index, node);
    table_.SnmpActivateEntry(index, node);
  }
  table_.resetResolutionPeriod();
}

void SnmpManager::stopAllAlarms() {
  const std::vector<int32_t> ids = table_.nodeIds();
  std::unordered_set<int32_t> wanted(ids.begin(), ids.end());
  auto lock = tree_.readLock();
  std::vector<DeviceNode*> stack{&tree_.root()};
  while (!stack.empty() && !wanted.empty()) {
    DeviceNode* n = stack.back();
    stack.pop_back();
    // The first node of an id, as a lookup from the root finds it.
    if (!n->isGroup() && wanted.erase(n->id())) n->clearReactionActive();
    const auto& children = n->children();
    for (auto it = children.rbegin(); it != children.rend(); ++it) stack.push_back(it->get());
  }
}

}  // namespace lark
