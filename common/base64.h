// Base64 with the standard alphabet and "=" padding, as SMTP AUTH LOGIN uses it.
#pragma once
#include <cstddef>
#include <string>
#include <string_view>

namespace lark {

std::string Base64Encode(std::string_view in);

// Decodes `text` into `out`. Characters outside the alphabet are skipped;
// "=" ends a quartet with one or two bytes fewer. Fails (false, `out`
// emptied) when the result would pass `capacity` bytes or a quartet is left
// incomplete.
bool Base64Decode(std::string_view text, std::string* out, size_t capacity);

}  // namespace lark
