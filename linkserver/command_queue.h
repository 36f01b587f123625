// Three small ring queues through which code on the loop thread (or any
// thread) hands events to the consoles without blocking. Queue 1 is drained
// every 100 ms into pushes on the consoles' call-back connections.
#pragma once
#include <array>
#include <cstdint>
#include <mutex>
#include <optional>
#include <vector>

#include "common/bytes.h"

namespace lark {

inline constexpr size_t kCommandQueueCount = 3;
inline constexpr size_t kCommandQueueCapacity = 500;
inline constexpr uint8_t kCommandQueueConsoles = 1;  // the one queue that is dispatched
inline constexpr uint8_t kServiceClientSlot = 2;     // producer slot of the service's own events
inline constexpr size_t kDispatchPerTick = 5;        // entries taken per 100-ms tick

enum CommandCode : uint8_t {
  kCmdCodeDeviceAlarmState = 16,  // payload: 16 bytes, first u16 a node id
  kCmdCodeControlLock = 17,       // no payload
};

struct CommandQueueEntry {
  uint8_t clientSlot = 0;
  uint8_t queue = 0;
  uint8_t code = 0;
  std::vector<uint8_t> payload;  // owned by value: a pop moves it out, a clear drops it once
};

// One ring of 500 entries; each operation holds the lock only while it copies.
class CommandQueue {
 public:
  explicit CommandQueue(uint8_t index) : index_(index) {}

  // False when the queue is full; nothing is changed then.
  bool push(uint8_t clientSlot, uint8_t code, CBytes payload);
  std::optional<CommandQueueEntry> pop();
  // Drops exactly the queued entries (none when the queue is empty).
  void clear();
  size_t count() const;
  // Ring positions, for tests of the wrap.
  uint16_t head() const;
  uint16_t tail() const;

 private:
  const uint8_t index_;
  mutable std::mutex mu_;
  std::array<CommandQueueEntry, kCommandQueueCapacity> entries_;
  uint16_t head_ = 0;
  uint16_t tail_ = 0;
  uint16_t count_ = 0;
};

class CommandQueues {
 public:
  CommandQueues() : queues_{CommandQueue(0), CommandQueue(1), CommandQueue(2)} {}

  // False for a queue index above 2 or a full queue.
  bool push(uint8_t clientSlot, uint8_t queue, uint8_t code, CBytes payload = {});
  std::optional<CommandQueueEntry> pop(uint8_t queue);
  void clearAll();
  CommandQueue& queue(uint8_t index) { return queues_[index]; }

 private:
  std::array<CommandQueue, kCommandQueueCount> queues_;
};

}  // namespace lark
