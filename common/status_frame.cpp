#include "common/status_frame.h"

#include <atomic>
#include <cstring>

#include "common/checksum.h"

namespace lark {

void PutStatusViewHeader(Bytes view, uint8_t state) {
  view[0] = kStatusViewSignature[0];
  view[1] = kStatusViewSignature[1];
  StoreStatusViewState(view, state);
}

bool StatusViewSigned(CBytes view) {
  return view.size() >= kStatusViewOffFrame && view[0] == kStatusViewSignature[0] &&
         view[1] == kStatusViewSignature[1];
}

uint8_t LoadStatusViewState(CBytes view) {
  return std::atomic_ref<uint8_t>(const_cast<uint8_t&>(view[kStatusViewOffState]))
      .load(std::memory_order_acquire);
}

void StoreStatusViewState(Bytes view, uint8_t state) {
  std::atomic_ref<uint8_t>(view[kStatusViewOffState]).store(state, std::memory_order_release);
}

std::optional<size_t> StatusFrameSize(CBytes head) {
  if (head.size() < kStatusHeadSize) return std::nullopt;
  return static_cast<size_t>(be24At(head, kStatusOffLength)) + kStatusFrameOverhead;
}

bool StatusFrameCrcOk(CBytes frame) {
  if (frame.size() < kStatusCrcSize) return false;
  const size_t n = frame.size() - kStatusCrcSize;
  return Crc16Modbus(frame.first(n)) == u16At(frame, n);
}

size_t SealStatusFrame(Bytes buf, size_t bodySize) {
  if (bodySize < kStatusHeadSize || bodySize > buf.size() ||
      buf.size() - bodySize < kStatusCrcSize || bodySize - kStatusHeadSize > 0xFFFFFF) {
    return 0;
  }
  putBe24(buf, kStatusOffLength, static_cast<uint32_t>(bodySize - kStatusHeadSize));
  putU16(buf, bodySize, Crc16Modbus(CBytes(buf.data(), bodySize)));
  return bodySize + kStatusCrcSize;
}

size_t BuildStatusRequest(Bytes out, uint8_t command, uint8_t sub, CBytes data) {
  const size_t body = kStatusOffSub + 1 + data.size();
  if (out.size() < body) return 0;
  out[kStatusOffStart] = 1;
  out[kStatusOffKind] = kStatusKindRequest;
  out[kStatusOffCommand] = command;
  out[kStatusOffSub] = sub;
  if (!data.empty()) std::memcpy(out.data() + kStatusOffSub + 1, data.data(), data.size());
  return SealStatusFrame(out, body);
}

std::optional<StatusRequest> ParseStatusRequest(CBytes frame, StatusRequestFault* fault) {
  auto fail = [fault](StatusRequestFault f) -> std::optional<StatusRequest> {
    if (fault) *fault = f;
    return std::nullopt;
  };
  if (fault) *fault = StatusRequestFault::kNone;
  if (StatusFrameSize(frame) != frame.size() || frame.size() > kStatusRequestMaxSize) {
    return fail(StatusRequestFault::kLength);
  }
  if (!StatusFrameCrcOk(frame)) return fail(StatusRequestFault::kCrc);
  // What lies before the CRC; every field must be inside it.
  const size_t body = frame.size() - kStatusCrcSize;
  if (body <= kStatusOffCommand) return fail(StatusRequestFault::kShort);
  StatusRequest r;
  r.command = frame[kStatusOffCommand];
  if (r.command != kStatusCommandDeviceData) return fail(StatusRequestFault::kCommand);
  if (body <= kStatusOffSub) return fail(StatusRequestFault::kShort);
  r.sub = frame[kStatusOffSub];
  if (r.sub > 4) return fail(StatusRequestFault::kSub);
  if (body < kStatusOffNodeId + 2) return fail(StatusRequestFault::kShort);
  r.nodeId = be16At(frame, kStatusOffNodeId);
  if (r.sub == 3 || r.sub == 4) {
    if (body < kStatusOffCount + 2) return fail(StatusRequestFault::kShort);
    r.count = be16At(frame, kStatusOffCount);
  }
  return r;
}

std::optional<StatusAnswer> ParseStatusAnswer(CBytes frame) {
  if (StatusFrameSize(frame) != frame.size() || !StatusFrameCrcOk(frame)) return std::nullopt;
  const size_t body = frame.size() - kStatusCrcSize;
  if (frame[kStatusOffKind] != kStatusKindAnswer || body < kStatusOffAnswerSub + 1) {
    return std::nullopt;
  }
  StatusAnswer a;
  a.command = frame[kStatusOffCommand];
  a.result = frame[kStatusOffResult];
  a.sub = frame[kStatusOffAnswerSub];
  if (body >= kStatusOffAnswerData) {
    a.nodeId = be16At(frame, kStatusOffAnswerNodeId);
    a.data = frame.subspan(kStatusOffAnswerData, body - kStatusOffAnswerData);
  }
  return a;
}

}  // namespace lark
