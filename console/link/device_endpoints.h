// The console's table of network-reachable devices (SNMP nodes): one entry
// per address, in the order the tree adds them, at most 1000. It is the
// console tree's TreeEndpoints, so loading and freeing the tree keep it.
// Addresses are parsed as dotted text only: a host name is never looked up
// on the window thread.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "core/device_tree.h"

namespace lark {

class ConsoleEndpoints final : public TreeEndpoints {
 public:
  static constexpr size_t kMaxEntries = 1000;
  struct Entry {
    int32_t id = 0;
    std::string address;
    uint32_t resolved = 0;  // network order; 0 until known
  };

  bool addSnmpDevice(DeviceNode& node) override;
  void removeSnmpDevice(DeviceNode& node) override;
  const std::vector<Entry>& entries() const { return entries_; }

 private:
  std::vector<Entry> entries_;
};

}  // namespace lark
