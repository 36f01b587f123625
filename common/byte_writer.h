// Appends bytes into a caller's fixed buffer. An append that does not fit is
// refused whole and marks the writer as overflowed.
#pragma once
#include <cstring>

#include "common/bytes.h"

namespace lark {

class ByteWriter {
 public:
  explicit ByteWriter(Bytes buffer) : buf_(buffer) {}

  size_t size() const { return size_; }
  size_t room() const { return buf_.size() - size_; }
  bool overflowed() const { return overflow_; }
  CBytes written() const { return CBytes(buf_.data(), size_); }

  bool putU8(uint8_t v) {
    const uint8_t b[1] = {v};
    return putBytes(b);
  }
  bool putBe16(uint16_t v) {
    const uint8_t b[2] = {static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v)};
    return putBytes(b);
  }
  bool putBytes(CBytes data) {
    if (!reserve(data.size())) return false;
    if (!data.empty()) std::memcpy(buf_.data() + size_, data.data(), data.size());
    size_ += data.size();
    return true;
  }
  bool putZeros(size_t n) {
    if (!reserve(n)) return false;
    std::memset(buf_.data() + size_, 0, n);
    size_ += n;
    return true;
  }

 private:
  bool reserve(size_t n) {
    if (n <= room()) return true;
    overflow_ = true;
    return false;
  }

  Bytes buf_;
  size_t size_ = 0;
  bool overflow_ = false;
};

}  // namespace lark
