#include "devices/ascii_live_data.h"

#include <algorithm>

namespace lark {

namespace {
size_t QueueText(int i) {
  return ascii_off::kQueueTexts + kAsciiQueueTextSize * static_cast<size_t>(i);
}
size_t QueueLength(int i) { return ascii_off::kQueueLengths + 4 * static_cast<size_t>(i); }
}  // namespace

int AsciiImage::queueCount() const {
  return std::clamp<int>(i16(ascii_off::kQueueCount), 0, kAsciiQueueDepth);
}

bool AsciiImage::queuePush(std::string_view text) {
  int n = queueCount();
  if (n >= kAsciiQueueDepth || text.empty() || text.size() > kAsciiQueueTextSize) return false;
  std::fill_n(b_.begin() + static_cast<std::ptrdiff_t>(QueueText(n)), kAsciiQueueTextSize, 0);
  std::copy(text.begin(), text.end(), b_.begin() + static_cast<std::ptrdiff_t>(QueueText(n)));
  setU32(QueueLength(n), static_cast<uint32_t>(text.size()));
  setI16(ascii_off::kQueueCount, static_cast<int16_t>(n + 1));
  return true;
}

std::string AsciiImage::queueHead() const {
  if (queueCount() == 0) return std::string();
  size_t len = std::min<size_t>(u32(QueueLength(0)), kAsciiQueueTextSize);
  return std::string(reinterpret_cast<const char*>(b_.data() + QueueText(0)), len);
}

void AsciiImage::queuePop() {
  int n = queueCount();
  if (n == 0) return;
  for (int i = 1; i < n; ++i) {
    std::copy_n(b_.begin() + static_cast<std::ptrdiff_t>(QueueText(i)), kAsciiQueueTextSize,
                b_.begin() + static_cast<std::ptrdiff_t>(QueueText(i - 1)));
    setU32(QueueLength(i - 1), u32(QueueLength(i)));
  }
  std::fill_n(b_.begin() + static_cast<std::ptrdiff_t>(QueueText(n - 1)), kAsciiQueueTextSize, 0);
  setU32(QueueLength(n - 1), 0);
  setI16(ascii_off::kQueueCount, static_cast<int16_t>(n - 1));
}

}  // namespace lark
