// Base64 texts from a server's 334 prompts: decoding stays in its capacity,
// and what it decodes encodes back to the same bytes.
#include <cstddef>
#include <cstdint>
#include <string>

#include "common/base64.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  size_t capacity = data[0];
  std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);
  std::string out;
  if (lark::Base64Decode(text, &out, capacity)) {
    if (out.size() > capacity) __builtin_trap();
    std::string again;
    if (!lark::Base64Decode(lark::Base64Encode(out), &again, out.size()) || again != out) {
      __builtin_trap();
    }
  } else if (!out.empty()) {
    __builtin_trap();
  }
  return 0;
}
