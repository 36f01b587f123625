#include "console/dialogs/dialog_numbers.h"

namespace lark {

std::optional<uint32_t> ParseFieldNumber(std::string_view text, uint32_t max) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  if (text.empty() || text.size() > kNumberDigitsMax) return std::nullopt;
  uint64_t v = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    v = v * 10 + static_cast<uint64_t>(c - '0');
  }
  if (v > max) return std::nullopt;
  return static_cast<uint32_t>(v);
}

}  // namespace lark
