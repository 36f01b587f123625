// The day-totals update over whatever an existing accumulator file holds:
// the file is cut back to whole records, the twin only ever gains whole
// lines, and nothing reads outside a record.
//   byte 0: bit 0 sensor, bit 1 today's date moves a day, bit 2 the inverter
//           is out of service, bit 3 an SNMP sensor; then the file's bytes.
#include <stdlib.h>
#include <unistd.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/paths.h"
#include "records/history_accumulators.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string dir = [] {
    char tmpl[] = "/tmp/lark_acc_fuzz_XXXXXX";
    return std::string(mkdtemp(tmpl));
  }();
  if (size == 0) return 0;
  using lark::HistoryAccumulator;
  const uint8_t flags = data[0];
  const HistoryAccumulator kind =
      (flags & 1) ? HistoryAccumulator::kSensor : HistoryAccumulator::kInverter;
  const lark::AccPaths p = lark::AccumulatorPaths(dir, "Map", 1, kind);
  lark::MakeDirs(dir + "/Map");
  unlink(p.twin.c_str());
  if (!lark::WriteFileAtomic(p.file,
                             std::string(reinterpret_cast<const char*>(data + 1), size - 1))) {
    return 0;
  }
  const lark::WallTime today{2024, 3, (flags & 2) ? 4 : 3};
  if (kind == HistoryAccumulator::kSensor) {
    lark::UpdateSensorAccumulator(p, today, static_cast<int32_t>(size) - 8, (flags & 8) != 0);
  } else {
    std::array<int32_t, lark::kInverterAccValues> live;
    live.fill(static_cast<int32_t>(size) - 8);
    lark::UpdateInverterAccumulator(p, today, live, (flags & 4) == 0);
  }
  const std::string bin = lark::ReadFile(p.file).value_or("");
  if (bin.size() % lark::AccRecordSize(kind) != 0) __builtin_trap();
  const std::string twin = lark::ReadFile(p.twin).value_or("");
  if (!twin.empty() && twin.substr(twin.size() - 2) != "\r\n") __builtin_trap();
  return 0;
}
