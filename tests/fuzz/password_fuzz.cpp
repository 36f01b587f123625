// Password decoding of arbitrary text, and the encode/decode round trip.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "common/password.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view in(reinterpret_cast<const char*>(data), size);
  auto bytes = lark::DecodePasswordBytes(in);
  if (bytes) {
    if (bytes->size() != in.size() / 4 * 3) abort();
    // Valid text re-encodes to itself.
    if (lark::EncodePassword(*bytes) != in) abort();
  }
  lark::DecodePassword(in);
  auto back = lark::DecodePasswordBytes(lark::EncodePassword(in));
  if (!back || back->substr(0, in.size()) != in) abort();
  return 0;
}
