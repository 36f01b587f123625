// The fetch's row formatter over arbitrary bound rows: column types,
// lengths, offsets and indicators all come from the input.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "common/bytes.h"
#include "common/odbc.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const size_t count = data[0] % 8;
  const size_t described = 1 + count * 7;
  if (size < described) return 0;
  std::vector<lark::FetchColumn> columns;
  for (size_t i = 0; i < count; ++i) {
    lark::CBytes d(data + 1 + i * 7, 7);
    lark::FetchColumn c;
    static constexpr int16_t kTypes[] = {1, -16, 8, 99};  // CHAR, SLONG, DOUBLE, other
    c.cType = kTypes[d[0] % 4];
    c.bufferLength = lark::u16At(d, 1);
    c.valueOffset = lark::u16At(d, 3);
    c.indicatorOffset = lark::u16At(d, 5);
    columns.push_back(c);
  }
  lark::CBytes row(data + described, size - described);
  std::string text = "x";
  const size_t limit = 1 + (size * 3) % 4096;
  const bool appended = lark::AppendRowText(columns, row, text, limit);
  if (text.size() > limit && text.size() > 1) __builtin_trap();
  if (appended && text.back() != '\n') __builtin_trap();
  if (!appended && text != "x") __builtin_trap();
  return 0;
}
