// Fuzz target for the Modbus ASCII answer reader: the input is what a PLC
// sent, read as the answer to a request of the quantity its first byte picks.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "devices/plc/modbus_ascii.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const int quantity = lark::PlcQuantity(data[0]);
  const int address = data[1];
  std::string_view text(reinterpret_cast<const char*>(data + 2), size - 2);
  lark::PlcAnswer a = lark::ReadPlcAnswer(text, address, quantity);
  if (a.status == lark::PlcAnswer::kComplete &&
      (a.data.size() != static_cast<size_t>(lark::PlcAnswerBytes(quantity)) || a.length > text.size())) {
    __builtin_trap();
  }
  return 0;
}
