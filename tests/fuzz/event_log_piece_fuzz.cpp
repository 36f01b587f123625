// A piece of the Event.log download is taken only when its header matches:
// random reply frames and offsets never give a piece other than the frame's
// own bytes after the header, nor more than was asked.
#include <cstdint>

#include "console/dialogs/logs/event_log_download.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace lark;
  if (size < 4) return 0;
  const uint32_t offset = u32At(CBytes(data, 4), 0);
  const CBytes frame(data + 4, size - 4);
  const std::optional<CBytes> piece = EventLogPieceOf(frame, offset);
  if (!piece) return 0;
  if (piece->size() > kEventLogPiece || piece->data() != frame.data() + kEventLogPieceReplyOff ||
      piece->size() != frame.size() - kEventLogPieceReplyOff)
    __builtin_trap();
  return 0;
}
