#include "linkserver/link_frame.h"

#include <algorithm>
#include <cstring>

namespace lark {

LinkFrameView::LinkFrameView(CBytes frame) {
  size_t n = frame.size();
  if (auto total = LinkFrameSize(frame)) n = std::min(n, *total);
  bytes_ = frame.first(n);
}

std::optional<uint16_t> LinkFrameView::be16(size_t off) const {
  if (!has(off, 2)) return std::nullopt;
  return be16At(bytes_, off);
}

std::optional<uint16_t> LinkFrameView::le16(size_t off) const {
  if (!has(off, 2)) return std::nullopt;
  return u16At(bytes_, off);
}

std::optional<uint32_t> LinkFrameView::le32(size_t off) const {
  if (!has(off, 4)) return std::nullopt;
  return u32At(bytes_, off);
}

CBytes LinkFrameView::slice(size_t off, size_t n) const {
  if (!has(off, n)) return {};
  return bytes_.subspan(off, n);
}

CBytes LinkFrameView::tail(size_t off) const {
  if (off >= size()) return {};
  return bytes_.subspan(off);
}

void LinkFrameBuilder::begin(uint8_t kind, uint8_t command) {
  reset();
  if (buf_.size() < kLinkOffCommand + 1) {
    overflow_ = true;
    return;
  }
  buf_[kLinkOffStart] = kLinkStartByte;
  buf_[kLinkOffKind] = kind;
  buf_[kLinkOffLength] = 0;
  buf_[kLinkOffLength + 1] = 0;
  buf_[kLinkOffCommand] = command;
  size_ = kLinkOffCommand + 1;
}

bool LinkFrameBuilder::putU8(uint8_t v) {
  if (!started() || room() < 1) {
    overflow_ = true;
    return false;
  }
  buf_[size_++] = v;
  return true;
}

bool LinkFrameBuilder::putBe16(uint16_t v) {
  uint8_t b[2] = {static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v)};
  return putBytes(b);
}

bool LinkFrameBuilder::putBytes(CBytes data) {
  if (!started() || room() < data.size()) {
    overflow_ = true;
    return false;
  }
  if (!data.empty()) std::memcpy(buf_.data() + size_, data.data(), data.size());
  size_ += data.size();
  return true;
}

bool LinkFrameBuilder::putZeros(size_t n) {
  if (!started() || room() < n) {
    overflow_ = true;
    return false;
  }
  std::memset(buf_.data() + size_, 0, n);
  size_ += n;
  return true;
}

Bytes LinkFrameBuilder::spare(size_t limit) const {
  if (!started()) return {};
  return buf_.subspan(size_, std::min(limit, room()));
}

bool LinkFrameBuilder::advance(size_t n) {
  if (!started() || room() < n) {
    overflow_ = true;
    return false;
  }
  size_ += n;
  return true;
}

void LinkFrameBuilder::setCode(uint8_t code) {
  if (size_ > kLinkOffCode) buf_[kLinkOffCode] = code;
}

size_t LinkFrameBuilder::finish() {
  if (!started() || overflow_ || size_ - kLinkHeaderSize > 0xFFFF) return 0;
  lark::putBe16(buf_, kLinkOffLength, static_cast<uint16_t>(size_ - kLinkHeaderSize));
  return size_;
}

void PutSockAddrImage(Bytes out, size_t off, uint32_t addressHostOrder, uint16_t portHostOrder) {
  putU16(out, off, 2);  // AF_INET, stored little-endian as the console reads it
  lark::putBe16(out, off + 2, portHostOrder);
  putBe32(out, off + 4, addressHostOrder);
  std::memset(out.data() + off + 8, 0, 8);
}

}  // namespace lark
