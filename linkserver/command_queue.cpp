#include "linkserver/command_queue.h"

namespace lark {

bool CommandQueue::push(uint8_t clientSlot, uint8_t code, CBytes payload) {
  if (payload.size() > 0xFFFF) return false;  // the entry's length is 16-bit
  std::lock_guard<std::mutex> g(mu_);
  if (count_ >= kCommandQueueCapacity) return false;
  CommandQueueEntry& e = entries_[tail_];
  e.clientSlot = clientSlot;
  e.queue = index_;
  e.code = code;
  e.payload.assign(payload.begin(), payload.end());
  tail_ = static_cast<uint16_t>((tail_ + 1) % kCommandQueueCapacity);
  ++count_;
  return true;
}

std::optional<CommandQueueEntry> CommandQueue::pop() {
  std::lock_guard<std::mutex> g(mu_);
  if (count_ == 0) return std::nullopt;
  CommandQueueEntry out = std::move(entries_[head_]);
  entries_[head_].payload = {};
  head_ = static_cast<uint16_t>((head_ + 1) % kCommandQueueCapacity);
  --count_;
  return out;
}

void CommandQueue::clear() {
  std::lock_guard<std::mutex> g(mu_);
  // Walk by count, not by head/tail: head == tail means empty or full.
  for (uint16_t i = 0, at = head_; i < count_; ++i) {
    entries_[at].payload = {};
    at = static_cast<uint16_t>((at + 1) % kCommandQueueCapacity);
  }
  head_ = tail_ = count_ = 0;
}

size_t CommandQueue::count() const {
  std::lock_guard<std::mutex> g(mu_);
  return count_;
}

uint16_t CommandQueue::head() const {
  std::lock_guard<std::mutex> g(mu_);
  return head_;
}

uint16_t CommandQueue::tail() const {
  std::lock_guard<std::mutex> g(mu_);
  return tail_;
}

bool CommandQueues::push(uint8_t clientSlot, uint8_t queue, uint8_t code, CBytes payload) {
  if (queue >= kCommandQueueCount) return false;
  return queues_[queue].push(clientSlot, code, payload);
}

std::optional<CommandQueueEntry> CommandQueues::pop(uint8_t queue) {
  if (queue >= kCommandQueueCount) return std::nullopt;
  return queues_[queue].pop();
}

void CommandQueues::clearAll() {
  for (auto& q : queues_) q.clear();
}

}  // namespace lark
