#include "common/bytes.h"

namespace lark {

std::string_view CutUtf8(std::string_view s, size_t maxBytes) {
  if (s.size() <= maxBytes) return s;
  size_t n = maxBytes;
  // Step back over continuation bytes so a character is never split.
  while (n > 0 && (static_cast<uint8_t>(s[n]) & 0xC0) == 0x80) --n;
  return s.substr(0, n);
}

void putStr(Bytes b, size_t off, size_t size, std::string_view s) {
  if (size == 0) return;
  std::string_view cut = CutUtf8(s, size - 1);
  std::memcpy(b.data() + off, cut.data(), cut.size());
  std::memset(b.data() + off + cut.size(), 0, size - cut.size());
}

}  // namespace lark
