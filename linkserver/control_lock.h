// The control lock: which console (by address and port) may change the
// device tree, and which map or tree command is in flight. Its 36-byte
// record also travels to the consoles in replies and pushes.
//
//   offset 0        4                    24   26   28       32
//          +--------+--------------------+----+----+--------+--------+
//          | active | holder address[20] |port|pad | tick   | kind   |
//          +--------+--------------------+----+----+--------+--------+
//   little-endian; address is dotted IPv4 text; port in host order.
#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "common/bytes.h"

namespace lark {

class Clock;
class CommandQueues;

inline constexpr size_t kControlLockSize = 36;
inline constexpr size_t kLockOffActive = 0;
inline constexpr size_t kLockOffAddress = 4;
inline constexpr size_t kLockAddressSize = 20;
inline constexpr size_t kLockOffPort = 24;
inline constexpr size_t kLockOffTick = 28;
inline constexpr size_t kLockOffKind = 32;

// Consoles below this link version cannot take a holder port after a save.
inline constexpr uint16_t kLinkVersionWithLockPort = 0x0900;

class ControlLock {
 public:
  ControlLock(const Clock& clock, CommandQueues& queues) : clock_(clock), queues_(queues) {}

  // Free, no holder, no command; sends no push.
  void reset();
  // May the console at `address`:`port` run a command of this kind now?
  bool check(std::string_view address, uint16_t port, uint32_t kind) const;
  // Sets active and kind and stamps the tick; the holder is taken from the
  // console when the lock becomes active. A change of the active flag queues
  // the control-lock event for the consoles' call-back connections.
  void set(std::string_view address, uint16_t port, bool active, uint32_t kind);
  // Old consoles cannot match a holder port: it is cleared before a save releases the lock.
  void clearHolderPort() { port_ = 0; }

  bool active() const { return active_; }
  uint32_t kind() const { return kind_; }
  const std::string& holderAddress() const { return address_; }
  uint16_t holderPort() const { return port_; }

  void writeImage(Bytes out, size_t off) const;
  std::array<uint8_t, kControlLockSize> image() const;

 private:
  const Clock& clock_;
  CommandQueues& queues_;
  bool active_ = false;
  std::string address_;
  uint16_t port_ = 0;
  uint32_t tick_ = 0;
  uint32_t kind_ = 0;
};

}  // namespace lark
