// Frames of the three-phase binary protocol: the request frame, the check of
// a reply frame as it comes in, and the decoders that store an accepted reply
// into a BinaryLiveData image.
//
// Frame: 0x01, bus address, length L (bytes from the type up to the sum),
// type, L - 1 data bytes, Sum8 of everything before it: 4 + L bytes. Values are
// 16-bit little-endian; 0xFFFF (0xFF for one-byte values) means unknown (-1).
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "common/bytes.h"

namespace lark {

inline constexpr uint8_t kBinaryHeader = 0x01;
inline constexpr uint8_t kBinaryAck = 0x06;
inline constexpr uint8_t kBinaryNak = 0x15;
inline constexpr size_t kBinaryMaxFrame = 257;  // the port's receive buffer

// Request and reply types the engine knows.
enum BinaryType : uint8_t {
  kBinIdentify = 0,
  kBinLogSize = 26,
  kBinLogBlock = 27,
  kBinClock = 9,
  kBinTest = 0x11,
  kBinBuzzer = 0x03,
  kBinShutdown = 0x12,
};

// 0x01, address, the body (length byte, type, data), Sum8.
std::vector<uint8_t> BuildBinaryFrame(uint8_t address, CBytes body);

enum class BinaryFrameState { kIncomplete, kComplete, kBad };
// Looks at the bytes of a reply received so far (starting with 0x01). Bad: a
// length of 0 or a frame longer than kBinaryMaxFrame. `total` gets 4 + L once
// the length byte is in.
BinaryFrameState CheckBinaryFrame(CBytes rx, size_t* total);
// A complete frame answers the request to `address` of `type` with a right sum.
bool BinaryFrameAnswers(CBytes frame, uint8_t address, uint8_t type);

// What a decoded reply asks of the engine beyond the image.
struct BinaryReplyEffects {
  int operatingState = -1;          // the node's operating state, -1 unchanged
  std::vector<uint8_t> queueFrame;  // a request to queue (length byte on)
  bool logWrite = false;            // an event-log block to store
  size_t logOffset = 0;
  std::vector<uint8_t> logBytes;
};

// Stores a complete, accepted reply frame into the image. A reply too short
// for what its type reads is refused whole (false, nothing written); unknown
// types are accepted and ignored.
bool DecodeBinaryReply(Bytes image, CBytes frame, BinaryReplyEffects* fx);

}  // namespace lark
