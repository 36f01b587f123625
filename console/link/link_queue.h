// The console's link queues: six rings of 100 entries; 3 holds requests to
// the service, 2 replies of the session's own requests, 5 server searches.
// An entry owns a copy of its bytes; a peek hands out another copy, so the
// pump never holds a lock while it sends or applies.
#pragma once
#include <array>
#include <cstdint>
#include <mutex>
#include <optional>
#include <vector>

#include "common/bytes.h"
#include "platform/clock.h"

namespace lark {

inline constexpr uint8_t kLinkQueueCount = 6;
inline constexpr uint16_t kLinkQueueSlots = 100;
inline constexpr uint8_t kReplyQueue = 2;
inline constexpr uint8_t kRequestQueue = 3;
inline constexpr uint8_t kSearchQueue = 5;

enum LinkQueueKind : uint8_t { kKindRequest = '1', kKindReply = '!', kKindSearch = 'Q' };
enum LinkEntryState : uint8_t { kEntryQueued = 1, kEntryInProgress = 2 };

struct LinkQueueEntry {
  uint8_t priority = 0;     // 1: a dialog's request, goes right behind the head
  uint8_t counterpart = 0;  // queue of its answer
  uint8_t queue = 0;
  uint8_t state = 0;
  uint32_t tick = 0;
  uint32_t timeoutMs = 0;
  uint8_t kind = 0;
  uint8_t command = 0;
  uint32_t requestId = 0;
  std::vector<uint8_t> data;
};

class LinkQueues {
 public:
  explicit LinkQueues(const Clock& clock) : clock_(clock) {}

  // False: a priority entry with a counterpart, a counterpart or queue above 5, a full queue.
  bool put(uint8_t priority, uint8_t counterpart, uint8_t queue, uint8_t kind, uint8_t command,
           uint32_t timeoutMs, uint32_t requestId, CBytes data);
  std::optional<LinkQueueEntry> peek(uint8_t queue) const;
  void markHead(uint8_t queue, uint8_t state);
  void touchHead(uint8_t queue, uint32_t timeoutMs);
  bool dropHead(uint8_t queue);
  void clear();
  uint16_t count(uint8_t queue) const;

 private:
  struct Ring {
    mutable std::mutex mu;
    uint16_t head = 0, tail = 0, count = 0;
    std::array<LinkQueueEntry, kLinkQueueSlots> entries;
  };
  const Clock& clock_;
  std::array<Ring, kLinkQueueCount> rings_;
};

}  // namespace lark
