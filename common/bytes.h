// Little- and big-endian accessors over byte spans. Every wire and file
// record is a byte image read and written through these at named offsets.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <string_view>

namespace lark {

using Bytes = std::span<uint8_t>;
using CBytes = std::span<const uint8_t>;

inline uint8_t u8At(CBytes b, size_t off) { return b[off]; }
inline uint16_t u16At(CBytes b, size_t off) {
  return static_cast<uint16_t>(b[off] | (b[off + 1] << 8));
}
inline uint32_t u32At(CBytes b, size_t off) {
  return static_cast<uint32_t>(b[off]) | (static_cast<uint32_t>(b[off + 1]) << 8) |
         (static_cast<uint32_t>(b[off + 2]) << 16) | (static_cast<uint32_t>(b[off + 3]) << 24);
}
inline uint64_t u64At(CBytes b, size_t off) {
  return static_cast<uint64_t>(u32At(b, off)) | (static_cast<uint64_t>(u32At(b, off + 4)) << 32);
}
inline int16_t i16At(CBytes b, size_t off) { return static_cast<int16_t>(u16At(b, off)); }
inline int32_t i32At(CBytes b, size_t off) { return static_cast<int32_t>(u32At(b, off)); }

inline void putU8(Bytes b, size_t off, uint8_t v) { b[off] = v; }
inline void putU16(Bytes b, size_t off, uint16_t v) {
  b[off] = static_cast<uint8_t>(v);
  b[off + 1] = static_cast<uint8_t>(v >> 8);
}
inline void putU32(Bytes b, size_t off, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[off + i] = static_cast<uint8_t>(v >> (8 * i));
}
inline void putU64(Bytes b, size_t off, uint64_t v) {
  putU32(b, off, static_cast<uint32_t>(v));
  putU32(b, off + 4, static_cast<uint32_t>(v >> 32));
}
inline void putI16(Bytes b, size_t off, int16_t v) { putU16(b, off, static_cast<uint16_t>(v)); }
inline void putI32(Bytes b, size_t off, int32_t v) { putU32(b, off, static_cast<uint32_t>(v)); }

inline uint16_t be16At(CBytes b, size_t off) {
  return static_cast<uint16_t>((b[off] << 8) | b[off + 1]);
}
inline uint32_t be24At(CBytes b, size_t off) {
  return (static_cast<uint32_t>(b[off]) << 16) | (static_cast<uint32_t>(b[off + 1]) << 8) |
         b[off + 2];
}
inline uint32_t be32At(CBytes b, size_t off) {
  return (static_cast<uint32_t>(b[off]) << 24) | (static_cast<uint32_t>(b[off + 1]) << 16) |
         (static_cast<uint32_t>(b[off + 2]) << 8) | b[off + 3];
}
inline void putBe16(Bytes b, size_t off, uint16_t v) {
  b[off] = static_cast<uint8_t>(v >> 8);
  b[off + 1] = static_cast<uint8_t>(v);
}
inline void putBe24(Bytes b, size_t off, uint32_t v) {
  b[off] = static_cast<uint8_t>(v >> 16);
  b[off + 1] = static_cast<uint8_t>(v >> 8);
  b[off + 2] = static_cast<uint8_t>(v);
}
inline void putBe32(Bytes b, size_t off, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[off + i] = static_cast<uint8_t>(v >> (24 - 8 * i));
}

// A NUL-terminated text field of `size` bytes; stops at the field's end when
// the terminator is missing.
inline std::string strAt(CBytes b, size_t off, size_t size) {
  const char* p = reinterpret_cast<const char*>(b.data() + off);
  size_t n = 0;
  while (n < size && p[n] != '\0') ++n;
  return std::string(p, n);
}
// Writes `s` into a `size`-byte field: cut to size - 1 bytes at a UTF-8
// character boundary, zero-filled to the end.
void putStr(Bytes b, size_t off, size_t size, std::string_view s);
// Cuts `s` to at most `maxBytes` bytes without splitting a UTF-8 character.
std::string_view CutUtf8(std::string_view s, size_t maxBytes);

// Forces a terminator into the last byte of a text field received from outside.
inline void terminateField(Bytes b, size_t off, size_t size) {
  if (size > 0) b[off + size - 1] = 0;
}

inline CBytes asBytes(std::string_view s) {
  return CBytes(reinterpret_cast<const uint8_t*>(s.data()), s.size());
}

}  // namespace lark
