#include "console/link/link_queue.h"

namespace lark {

namespace {
uint16_t Next(uint16_t i) { return static_cast<uint16_t>((i + 1) % kLinkQueueSlots); }
uint16_t Prev(uint16_t i) { return static_cast<uint16_t>((i + kLinkQueueSlots - 1) % kLinkQueueSlots); }
}  // namespace

bool LinkQueues::put(uint8_t priority, uint8_t counterpart, uint8_t queue, uint8_t kind, uint8_t command,
                     uint32_t timeoutMs, uint32_t requestId, CBytes data) {
  if ((priority != 0 && counterpart != 0) || counterpart >= kLinkQueueCount || queue >= kLinkQueueCount)
    return false;
  Ring& r = rings_[queue];
  std::lock_guard<std::mutex> lock(r.mu);
  if (r.count >= kLinkQueueSlots) return false;
  uint16_t slot = r.tail;
  if (priority != 0 && r.count > 1) {
    // Right behind the head: the others move back one slot, across the wrap.
    const uint16_t behindHead = Next(r.head);
    for (uint16_t i = r.tail; i != behindHead; i = Prev(i)) r.entries[i] = std::move(r.entries[Prev(i)]);
    slot = behindHead;
  }
  LinkQueueEntry& e = r.entries[slot];
  e = LinkQueueEntry{priority, counterpart, queue, kEntryQueued, clock_.tickMs(), timeoutMs, kind, command,
                     requestId, std::vector<uint8_t>(data.begin(), data.end())};
  r.tail = Next(r.tail);
  ++r.count;
  return true;
}

std::optional<LinkQueueEntry> LinkQueues::peek(uint8_t queue) const {
  if (queue >= kLinkQueueCount) return std::nullopt;
  const Ring& r = rings_[queue];
  std::lock_guard<std::mutex> lock(r.mu);
  if (r.count == 0) return std::nullopt;
  return r.entries[r.head];
}

void LinkQueues::markHead(uint8_t queue, uint8_t state) {
  if (queue >= kLinkQueueCount) return;
  Ring& r = rings_[queue];
  std::lock_guard<std::mutex> lock(r.mu);
  if (r.count == 0) return;
  r.entries[r.head].state = state;
  if (state == kEntryInProgress) r.entries[r.head].tick = clock_.tickMs();
}

void LinkQueues::touchHead(uint8_t queue, uint32_t timeoutMs) {
  if (queue >= kLinkQueueCount) return;
  Ring& r = rings_[queue];
  std::lock_guard<std::mutex> lock(r.mu);
  if (r.count == 0) return;
  r.entries[r.head].tick = clock_.tickMs();
  r.entries[r.head].timeoutMs = timeoutMs;
}

bool LinkQueues::dropHead(uint8_t queue) {
  if (queue >= kLinkQueueCount) return false;
  Ring& r = rings_[queue];
  std::lock_guard<std::mutex> lock(r.mu);
  if (r.count == 0) return true;
  r.entries[r.head] = LinkQueueEntry{};
  r.head = Next(r.head);
  --r.count;
  return true;
}

void LinkQueues::clear() {
  for (Ring& r : rings_) {
    std::lock_guard<std::mutex> lock(r.mu);
    for (LinkQueueEntry& e : r.entries) e = LinkQueueEntry{};
    r.head = r.tail = r.count = 0;
  }
}

uint16_t LinkQueues::count(uint8_t queue) const {
  if (queue >= kLinkQueueCount) return 0;
  std::lock_guard<std::mutex> lock(rings_[queue].mu);
  return rings_[queue].count;
}

}  // namespace lark
