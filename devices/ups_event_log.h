// The UPS event-log buffer shared by the ASCII and binary engines' event-log
// read-outs and read by the console's event-log download: 24 entries of 200
// bytes. Writes are bounded to the buffer; one lock guards it.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <mutex>

#include "common/bytes.h"

namespace lark {

class UpsEventLogBuffer {
 public:
  static constexpr size_t kEntries = 24;
  static constexpr size_t kEntrySize = 200;
  static constexpr size_t kSize = kEntries * kEntrySize;

  // Copies `data` to `offset`, cut at the end of the buffer; returns the bytes
  // copied (0 when the offset lies outside).
  size_t write(size_t offset, CBytes data);
  // Zero-fills `count` bytes from `offset` (cut at the end).
  void clear(size_t offset, size_t count);
  std::array<uint8_t, kSize> copyOut() const;

 private:
  mutable std::mutex mu_;
  std::array<uint8_t, kSize> bytes_{};  // guarded by mu_
};

}  // namespace lark
