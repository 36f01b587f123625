#include "console/link/device_endpoints.h"

#include <arpa/inet.h>

#include <algorithm>

namespace lark {

bool ConsoleEndpoints::addSnmpDevice(DeviceNode& node) {
  const std::string address = node.ip();
  for (const Entry& e : entries_) {
    if (e.id == node.id()) return true;
    if (e.address.empty()) break;
    if (e.address == address) return true;  // one entry per address
  }
  if (entries_.size() >= kMaxEntries) return true;
  Entry e{node.id(), address, 0};
  in_addr a{};
  if (inet_pton(AF_INET, address.c_str(), &a) == 1) e.resolved = a.s_addr;
  entries_.push_back(std::move(e));
  return true;
}

void ConsoleEndpoints::removeSnmpDevice(DeviceNode& node) {
  auto it = std::find_if(entries_.begin(), entries_.end(), [&](const Entry& e) { return e.id == node.id(); });
  if (it != entries_.end()) entries_.erase(it);
}

}  // namespace lark
