// Numbers typed into the settings and control dialogs. Each is read whole
// and bounded: blanks around it are allowed, anything else that is not a
// decimal digit, an empty field or a value above the field's limit is
// refused, so no typed text ever turns silently into 0 or wraps.
#pragma once
#include <cstdint>
#include <optional>
#include <string_view>

namespace lark {

// Longest digit run a field takes (leading zeros count).
inline constexpr size_t kNumberDigitsMax = 10;

std::optional<uint32_t> ParseFieldNumber(std::string_view text, uint32_t max);

}  // namespace lark
