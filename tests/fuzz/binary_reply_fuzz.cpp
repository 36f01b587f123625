// Fuzz target for the three-phase binary replies: the first two bytes set the
// event-log record count and read-out position, the rest is a reply frame
// whose sum is made right (so it reaches the decoders) when the third byte is
// odd. The frame check and the decoder see every length.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "common/checksum.h"
#include "core/live_data.h"
#include "devices/binary/binary_live_data.h"
#include "devices/binary/binary_reply.h"
#include "devices/ups_event_log.h"

using namespace lark;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  LiveDataBlock blk(BlockKind::kBinary);
  blk.withImage([&](Bytes b) {
    BinaryImage img(b);
    img.setSlot(kBinaryLogCountSlot, data[0] * 40);
    img.setLogPosition(data[1]);
    img.setModelByte(2);
  });
  std::vector<uint8_t> frame(data + 3, data + size);
  size_t total = 0;
  if (CheckBinaryFrame(frame, &total) == BinaryFrameState::kComplete) {
    frame.resize(total);
    if (data[2] & 1) frame.back() = Sum8(CBytes(frame.data(), total - 1));
    if (BinaryFrameAnswers(frame, frame[1], frame[3])) {
      BinaryReplyEffects fx;
      blk.withImage([&](Bytes b) { return DecodeBinaryReply(b, frame, &fx); });
      UpsEventLogBuffer log;
      if (fx.logWrite) log.write(fx.logOffset, fx.logBytes);
      if (fx.queueFrame.size() > kBinaryQueueFrameSize) __builtin_trap();
    }
  }
  return 0;
}
