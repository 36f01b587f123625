// The console's port registry: for each serial port number, the local devices
// of the console's tree by bus address. The console polls nothing through it;
// it lets the device dialog refuse a bus address another device of the same
// port already uses. Ports and bus addresses outside 0..255 are left out.
#pragma once
#include <array>
#include <cstdint>
#include <memory>
#include <string_view>

#include "core/device_tree.h"

namespace lark {

class PortDeviceRegistry {
 public:
  struct Record {
    std::array<DeviceNode*, 256> devices{};
    int16_t protocol = 0;  // the CommType of the first device registered
  };

  // The port number of a name such as "COM3" (the digits after its first
  // three letters); 0 when there is none; -1 when it is above 255.
  static int PortNumberOf(std::string_view com);

  void Register(DeviceNode& node);
  // Empties the slot of the node's bus address (whichever device is in it);
  // the record goes with its last device.
  void Unregister(const DeviceNode& node);
  // Whether the slot of `busAddress` on `com` holds a device of another id.
  bool IsTaken(int32_t id, std::string_view com, int32_t busAddress) const;
  const Record* record(int port) const;

 private:
  std::array<std::unique_ptr<Record>, 256> ports_;
};

}  // namespace lark
