// Splits device and file texts with every separator the readers use, and
// parses their hexadecimal fields.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "common/tokenizer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  char separator = static_cast<char>(data[0]);
  std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
  lark::Tokenizer tokens(text);
  // Past the end every token is empty, so a bounded number of calls suffices.
  for (size_t i = 0; i <= text.size() + 1; ++i) {
    std::string token = tokens.next(separator);
    if (token.size() > lark::Tokenizer::kMaxTokenBytes) __builtin_trap();
    lark::ParseHexText(token);
    if (tokens.atEnd() && token.empty()) break;
  }
  return 0;
}
