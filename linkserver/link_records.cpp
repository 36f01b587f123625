#include "linkserver/link_records.h"

namespace lark {

void PutPollingImage(Bytes img, const PollingImage& p) {
  putI32(img, kImgSnmpPolling, p.snmpPolling);
  putI32(img, kImgSnmpTimeout, p.snmpTimeout);
  putI32(img, kImgSerialPolling, p.serialPolling);
  putI32(img, kImgSerialTimeout, p.serialTimeout);
  putI32(img, kImgGprsPolling, p.gprsPolling);
  putI32(img, kImgGprsTimeout, p.gprsTimeout);
}

PollingImage GetPollingImage(CBytes img) {
  return {i32At(img, kImgSnmpPolling),   i32At(img, kImgSnmpTimeout), i32At(img, kImgSerialPolling),
          i32At(img, kImgSerialTimeout), i32At(img, kImgGprsPolling), i32At(img, kImgGprsTimeout)};
}

void PutHistoryImage(Bytes img, const HistoryImage& h) {
  putI32(img, kImgHistoryPeriod, h.period);
  putI32(img, kImgHistoryStorage, h.storage);
  putStr(img, kImgHistoryDir, kImgHistoryDirSize, h.directory);
}

HistoryImage GetHistoryImage(CBytes img) {
  return {i32At(img, kImgHistoryPeriod), i32At(img, kImgHistoryStorage),
          strAt(img, kImgHistoryDir, kImgHistoryDirSize)};
}

void PutReactionImage(Bytes img, const ReactionImage& r) {
  for (size_t level = 0; level < 3; ++level) {
    putU32(img, kImgReactionMask + 4 * level, r.masks[level]);
    putI32(img, kImgAudioInterval + 4 * level, r.audioInterval[level]);
    putI32(img, kImgAudioCycle + 4 * level, r.audioCycle[level]);
  }
}

ReactionImage GetReactionImage(CBytes img) {
  ReactionImage r;
  for (size_t level = 0; level < 3; ++level) {
    r.masks[level] = u32At(img, kImgReactionMask + 4 * level);
    r.audioInterval[level] = i32At(img, kImgAudioInterval + 4 * level);
    r.audioCycle[level] = i32At(img, kImgAudioCycle + 4 * level);
  }
  return r;
}

std::array<uint8_t, kUpsControlRecordSize> EncodeUpsControl(const UpsControlRecord& r) {
  std::array<uint8_t, kUpsControlRecordSize> out{};
  putU16(out, kCtlNodeId, r.nodeId);
  putU32(out, kCtlScope, r.scope);
  putI32(out, kCtlCommand, r.command);
  putI32(out, kCtlTestTime, r.testTime);
  putI32(out, kCtlBuzzerTime, r.buzzerTime);
  putI32(out, kCtlShutdownDelay, r.shutdownDelay);
  putI32(out, kCtlRestartTime, r.restartTime);
  putI32(out, kCtlEpoChoice, r.epoChoice);
  return out;
}

UpsControlRecord DecodeUpsControl(CBytes rec) {
  return {u16At(rec, kCtlNodeId),        u32At(rec, kCtlScope),         i32At(rec, kCtlCommand),
          i32At(rec, kCtlTestTime),      i32At(rec, kCtlBuzzerTime),    i32At(rec, kCtlShutdownDelay),
          i32At(rec, kCtlRestartTime),   i32At(rec, kCtlEpoChoice)};
}

std::array<uint8_t, kTraceRequestSize> EncodeTraceRequest(const TraceRequest& t) {
  std::array<uint8_t, kTraceRequestSize> out{};
  putU32(out, kTrcValid, t.valid);
  putU32(out, kTrcPort, t.port);
  putI32(out, kTrcPeriod, t.periodMinutes);
  putU32(out, kTrcStart, t.start);
  return out;
}

TraceRequest DecodeTraceRequest(CBytes rec) {
  return {u32At(rec, kTrcValid), u32At(rec, kTrcPort), i32At(rec, kTrcPeriod), u32At(rec, kTrcStart)};
}

}  // namespace lark
