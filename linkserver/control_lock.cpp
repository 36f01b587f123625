#include "linkserver/control_lock.h"

#include "linkserver/command_queue.h"
#include "platform/clock.h"

namespace lark {

namespace {
bool IsMapKind(uint32_t kind) { return kind == 3 || kind == 8 || kind == 9; }
bool IsTreeKind(uint32_t kind) { return kind >= 13 && kind <= 18; }
}  // namespace

void ControlLock::reset() {
  active_ = false;
  address_.clear();
  port_ = 0;
  tick_ = 0;
  kind_ = 0;
}

bool ControlLock::check(std::string_view address, uint16_t port, uint32_t kind) const {
  if (!active_) return true;
  if (IsMapKind(kind)) return kind_ == 0;
  if (IsTreeKind(kind)) {
    return !IsMapKind(kind_) && address == address_ && port == port_;
  }
  return false;
}

void ControlLock::set(std::string_view address, uint16_t port, bool active, uint32_t kind) {
  const bool changed = active != active_;
  if (active && !active_) {
    address_ = std::string(CutUtf8(address, kLockAddressSize - 1));
    port_ = port;
  }
  active_ = active;
  kind_ = kind;
  tick_ = clock_.tickMs();
  if (changed) queues_.push(kServiceClientSlot, kCommandQueueConsoles, kCmdCodeControlLock);
}

void ControlLock::writeImage(Bytes out, size_t off) const {
  putU32(out, off + kLockOffActive, active_ ? 1 : 0);
  putStr(out, off + kLockOffAddress, kLockAddressSize, address_);
  putU16(out, off + kLockOffPort, port_);
  putU16(out, off + kLockOffPort + 2, 0);
  putU32(out, off + kLockOffTick, tick_);
  putU32(out, off + kLockOffKind, kind_);
}

std::array<uint8_t, kControlLockSize> ControlLock::image() const {
  std::array<uint8_t, kControlLockSize> img{};
  writeImage(img, 0);
  return img;
}

}  // namespace lark
