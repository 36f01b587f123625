// Selection clauses from consoles: only the console's own shapes pass, and
// what passes is rebuilt text that parses again to itself.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "common/sql_text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const auto kind = static_cast<lark::ConsoleClause>(data[0] % 3);
  std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
  std::optional<std::string> clause = lark::ParseConsoleClause(text, kind);
  if (clause) {
    if (clause->find(';') != std::string::npos) __builtin_trap();
    std::optional<std::string> again = lark::ParseConsoleClause(*clause, kind);
    if (!again || *again != *clause) __builtin_trap();
  }
  std::string literal = lark::SqlLiteral(text, data[0]);
  // Inside the quotes every quote comes in pairs.
  size_t quotes = 0;
  for (size_t i = 1; i + 1 < literal.size(); ++i) quotes += literal[i] == '\'';
  if (quotes % 2 != 0 || literal.size() > 2 + 2 * static_cast<size_t>(data[0])) __builtin_trap();
  return 0;
}
