// The status exchange between the service and a console on the same machine:
// two shared views, one written by each side. Each view is a StatusView:
//
//   offset  0    1    2       3 ...
//          +----+----+-------+--------------------------+
//          | 55 | AA | state | StatusFrame              |
//          +----+----+-------+--------------------------+
//
// StatusFrame (header fields big-endian; whole frame = length + 7):
//   request: 01 01 len24 command sub node-id(BE16) [count(BE16)] ... CRC
//   answer:  01 02 len24 command result sub [node-id(BE16) data...] CRC
// The CRC is Crc16Modbus over every byte before it, low byte first. A
// not-found answer stops after the sub (10 bytes with its CRC).
#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>

#include "common/bytes.h"

namespace lark {

// The names of the two shared objects: the service's and the console's.
inline constexpr char kStatusServerObject[] = "/CorvaluneSharedMemory_Srv";
inline constexpr char kStatusClientObject[] = "/CorvaluneSharedMemory_Client";

// ---- StatusView ----
inline constexpr uint8_t kStatusViewSignature[2] = {0x55, 0xAA};
inline constexpr size_t kStatusViewOffState = 2;
inline constexpr size_t kStatusViewOffFrame = 3;

// The state byte; the service writes 0, 1, 3 and 4, the console 0, 2, 5, 6.
enum StatusViewState : uint8_t {
  kStatusViewCreated = 0,
  kStatusViewIdle = 1,          // service: ready for a request
  kStatusViewRequestReady = 2,  // console: a request is posted
  kStatusViewAnswering = 3,     // service
  kStatusViewAnswerReady = 4,   // service
  kStatusViewReading = 5,       // console
  kStatusViewAnswerTaken = 6,   // console
};

// Writes 55 AA and `state` at the start of `view` (at least 3 bytes).
void PutStatusViewHeader(Bytes view, uint8_t state);
bool StatusViewSigned(CBytes view);
// The state byte of a view shared with another process: read with acquire,
// written with release, so the frame written before it is seen with it.
uint8_t LoadStatusViewState(CBytes view);
void StoreStatusViewState(Bytes view, uint8_t state);

// ---- StatusFrame ----
inline constexpr size_t kStatusOffStart = 0;
inline constexpr size_t kStatusOffKind = 1;
inline constexpr size_t kStatusOffLength = 2;  // 24 bits
inline constexpr size_t kStatusOffCommand = 5;
inline constexpr size_t kStatusOffSub = 6;  // request
inline constexpr size_t kStatusOffNodeId = 7;
inline constexpr size_t kStatusOffCount = 9;
inline constexpr size_t kStatusOffResult = 6;  // answer
inline constexpr size_t kStatusOffAnswerSub = 7;
inline constexpr size_t kStatusOffAnswerNodeId = 8;
inline constexpr size_t kStatusOffAnswerData = 10;

inline constexpr size_t kStatusHeadSize = 5;        // start, kind, length
inline constexpr size_t kStatusFrameOverhead = 7;   // whole frame = length + 7
inline constexpr size_t kStatusCrcSize = 2;
inline constexpr size_t kStatusRequestMaxSize = 1056;
inline constexpr uint8_t kStatusKindRequest = 1;
inline constexpr uint8_t kStatusKindAnswer = 2;
inline constexpr uint8_t kStatusCommandDeviceData = 1;
inline constexpr uint8_t kStatusResultFound = 1;
inline constexpr uint8_t kStatusResultNotFound = 2;

// Whole size of the frame whose head is at the start of `head` (length
// field + 7); nullopt while fewer than 5 bytes are there.
std::optional<size_t> StatusFrameSize(CBytes head);
// Whether the last two bytes of `frame` are the CRC of the rest.
bool StatusFrameCrcOk(CBytes frame);
// Completes a frame whose first `bodySize` bytes (head included) are in
// `buf`: writes the length field and appends the CRC. Returns the whole size,
// 0 when the buffer has no room or the body is shorter than a head.
size_t SealStatusFrame(Bytes buf, size_t bodySize);
// A request as a console builds it: command, sub, then `data`. 0 when it
// does not fit `out`.
size_t BuildStatusRequest(Bytes out, uint8_t command, uint8_t sub, CBytes data);

// A checked request, and why one was refused.
struct StatusRequest {
  uint8_t command = 0;
  uint8_t sub = 0;
  uint16_t nodeId = 0;
  uint16_t count = 0;  // subs 3 and 4
};
enum class StatusRequestFault {
  kNone,
  kLength,   // length field not the frame's size, or above the request limit
  kCrc,      // CRC mismatch
  kCommand,  // a command other than device data
  kSub,      // sub above 4
  kShort,    // the sub's fields reach past the frame
};
// Reads one whole request frame (`frame` is exactly the bytes read).
std::optional<StatusRequest> ParseStatusRequest(CBytes frame, StatusRequestFault* fault = nullptr);

// A checked answer (bounded to the frame; the data is a view into it).
struct StatusAnswer {
  uint8_t command = 0;
  uint8_t result = 0;
  uint8_t sub = 0;
  std::optional<uint16_t> nodeId;  // only when found
  CBytes data;
};
// nullopt when the length field does not match, the CRC fails or the frame
// is not an answer.
std::optional<StatusAnswer> ParseStatusAnswer(CBytes frame);

}  // namespace lark
