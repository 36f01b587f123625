// The UPS log's reply is the service's copy of what a UPS sent: any reply
// frame through the status record and every entry layout into the file text,
// the count never reading past the bytes received.
#include <cstdint>

#include "console/dialogs/logs/ups_log_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace lark;
  if (size < 1) return 0;
  const CBytes frame(data + 1, size - 1);
  const std::optional<UpsLogStatus> status = ParseUpsLogStatus(frame);
  if (!status) return 0;
  const CBytes entries = frame.subspan(kUpsLogEntriesReplyOff);
  const UpsLogLayout layout = static_cast<UpsLogLayout>(data[0] % 4);
  const bool hvdc = data[0] & 4;
  if (ReadUpsLogEntries(entries, layout, status->total).size() * 8 > entries.size())
    __builtin_trap();
  const UpsLogHeading heading{"UPS", UpsLogModel(entries, data[0] >> 3 & 1), 1, {}};
  const std::string text = UpsLogFileText(heading, layout, entries, status->total, hvdc);
  if (text.size() > 300 + entries.size() * 12) __builtin_trap();  // a line per entry at most
  return 0;
}
