#include "devices/ups_event_log.h"

#include <algorithm>

namespace lark {

size_t UpsEventLogBuffer::write(size_t offset, CBytes data) {
  std::lock_guard<std::mutex> g(mu_);
  if (offset >= kSize) return 0;
  size_t n = std::min(data.size(), kSize - offset);
  std::copy_n(data.begin(), n, bytes_.begin() + static_cast<std::ptrdiff_t>(offset));
  return n;
}

void UpsEventLogBuffer::clear(size_t offset, size_t count) {
  std::lock_guard<std::mutex> g(mu_);
  if (offset >= kSize) return;
  size_t n = std::min(count, kSize - offset);
  std::fill_n(bytes_.begin() + static_cast<std::ptrdiff_t>(offset), n, 0);
}

std::array<uint8_t, UpsEventLogBuffer::kSize> UpsEventLogBuffer::copyOut() const {
  std::lock_guard<std::mutex> g(mu_);
  return bytes_;
}

}  // namespace lark
