#include "common/bytes.h"

namespace lark {

std::string_view CutUtf8(std::string_view s, size_t maxBytes) {
  if (s.size() <= maxBytes) return s;
  // Step back over at most three continuation bytes to the character they
  // belong to, and cut before it only when it would run past the limit. Text
  // that is not UTF-8 (device bytes, older language files) is cut as bytes
  // rather than shortened by a long run of bytes that merely look like
  // continuations.
  size_t n = maxBytes;
  while (n > 0 && maxBytes - n < 3 && (static_cast<uint8_t>(s[n]) & 0xC0) == 0x80) --n;
  if (n == maxBytes) return s.substr(0, maxBytes);
  const uint8_t lead = static_cast<uint8_t>(s[n]);
  const size_t len = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
  return s.substr(0, lead >= 0xC0 && n + len > maxBytes ? n : maxBytes);
}

void putStr(Bytes b, size_t off, size_t size, std::string_view s) {
  if (size == 0) return;
  std::string_view cut = CutUtf8(s, size - 1);
  std::memcpy(b.data() + off, cut.data(), cut.size());
  std::memset(b.data() + off + cut.size(), 0, size - cut.size());
}

}  // namespace lark
