#include "console/map/map_registry.h"

#include <algorithm>

namespace lark {

int PortDeviceRegistry::PortNumberOf(std::string_view com) {
  if (com.size() <= 3) return 0;
  int n = 0;
  for (char c : com.substr(3)) {
    if (c < '0' || c > '9') break;
    n = n * 10 + (c - '0');
    if (n > 255) return -1;
  }
  return n;
}

void PortDeviceRegistry::Register(DeviceNode& node) {
  const int port = PortNumberOf(node.com());
  const int address = node.upsId();
  if (port < 0 || address < 0 || address > 255) return;
  if (!ports_[port]) {
    ports_[port] = std::make_unique<Record>();
    ports_[port]->protocol = node.commType();
  }
  ports_[port]->devices[address] = &node;
}

void PortDeviceRegistry::Unregister(const DeviceNode& node) {
  const int port = PortNumberOf(node.com());
  const int address = node.upsId();
  if (port < 0 || address < 0 || address > 255 || !ports_[port]) return;
  Record& r = *ports_[port];
  // Two devices may share a slot; either leaving empties it, as the dialog
  // then lets the address be given again.
  r.devices[address] = nullptr;
  if (std::all_of(r.devices.begin(), r.devices.end(), [](DeviceNode* d) { return !d; })) {
    ports_[port].reset();
  }
}

bool PortDeviceRegistry::IsTaken(int32_t id, std::string_view com, int32_t busAddress) const {
  const int port = PortNumberOf(com);
  if (port < 0 || busAddress < 0 || busAddress > 255 || !ports_[port]) return false;
  const DeviceNode* d = ports_[port]->devices[busAddress];
  return d && d->id() != static_cast<int16_t>(id);
}

const PortDeviceRegistry::Record* PortDeviceRegistry::record(int port) const {
  return port >= 0 && port < 256 ? ports_[port].get() : nullptr;
}

}  // namespace lark
