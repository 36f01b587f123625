// Records a console puts in its requests and the service reads back: the
// settings image (commands 19, 21/31, 22/1), the UPS control record (26) and
// the trace request (25/4). One layout per record, used by both ends.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "common/bytes.h"

namespace lark {

// ---- SettingsImage: 8068 bytes, the console's image of manager.ini. Only
// the fields below travel; every other byte is sent as zero and not read.
//
//   336 SNMP polling ms   340 SNMP time-out s   344 serial polling ms
//   348 serial time-out s 352 GPRS polling s    356 GPRS time-out s
//   364 history period s  368 history months    372 history folder (260, NUL-ended)
//   1100 reaction word ×3 1112 sound interval ×3 1124 sound cycle ×3 (level 0..2)
inline constexpr size_t kSettingsImageSize = 8068;
inline constexpr size_t kImgSnmpPolling = 336, kImgSnmpTimeout = 340, kImgSerialPolling = 344,
                        kImgSerialTimeout = 348, kImgGprsPolling = 352, kImgGprsTimeout = 356;
inline constexpr size_t kImgHistoryPeriod = 364, kImgHistoryStorage = 368, kImgHistoryDir = 372;
inline constexpr size_t kImgHistoryDirSize = 260;
inline constexpr size_t kImgReactionMask = 1100, kImgAudioInterval = 1112, kImgAudioCycle = 1124;

struct PollingImage {
  int32_t snmpPolling = 0, snmpTimeout = 0, serialPolling = 0, serialTimeout = 0, gprsPolling = 0,
          gprsTimeout = 0;
  bool operator==(const PollingImage&) const = default;
};
struct HistoryImage {
  int32_t period = 0, storage = 0;
  std::string directory;  // at most 259 bytes travel
  bool operator==(const HistoryImage&) const = default;
};
struct ReactionImage {
  std::array<uint32_t, 3> masks{};  // bit 0 broadcast, 1 e-mail, 2 sound, 3 SMS
  std::array<int32_t, 3> audioInterval{};
  std::array<int32_t, 3> audioCycle{};
  bool operator==(const ReactionImage&) const = default;
};

// `img` holds at least kSettingsImageSize bytes.
void PutPollingImage(Bytes img, const PollingImage& p);
PollingImage GetPollingImage(CBytes img);
void PutHistoryImage(Bytes img, const HistoryImage& h);
HistoryImage GetHistoryImage(CBytes img);  // the folder up to its first NUL
void PutReactionImage(Bytes img, const ReactionImage& r);
ReactionImage GetReactionImage(CBytes img);

// ---- UpsControlRecord: 44 bytes, from frame byte 5 of command 26.
//
//   0 node id u16  2 zero  4 scope u32 (0 node, 1 its layer, 2 all)  8 command 1611..1621
//   12 test s  16 buzzer test s  20 shutdown delay s  24 restart min  28 EPO choice  32..43 zero
inline constexpr size_t kUpsControlRecordSize = 44;
inline constexpr size_t kCtlNodeId = 0, kCtlScope = 4, kCtlCommand = 8, kCtlTestTime = 12,
                        kCtlBuzzerTime = 16, kCtlShutdownDelay = 20, kCtlRestartTime = 24,
                        kCtlEpoChoice = 28;

struct UpsControlRecord {
  uint16_t nodeId = 0;
  uint32_t scope = 0;
  int32_t command = 0;
  int32_t testTime = 0;
  int32_t buzzerTime = 0;
  int32_t shutdownDelay = 0;
  int32_t restartTime = 0;
  int32_t epoChoice = 0;
  bool operator==(const UpsControlRecord&) const = default;
};
std::array<uint8_t, kUpsControlRecordSize> EncodeUpsControl(const UpsControlRecord& r);
UpsControlRecord DecodeUpsControl(CBytes rec);  // `rec` holds 44 bytes

// ---- TraceRequest: 20 bytes, from frame byte 6 of 25/4.
//
//   0 always 1   4 port (0 all, n COMn)   8 period min   12 1 start, 0 stop   16 unused
inline constexpr size_t kTraceRequestSize = 20;
inline constexpr size_t kTrcValid = 0, kTrcPort = 4, kTrcPeriod = 8, kTrcStart = 12;

struct TraceRequest {
  uint32_t valid = 1;
  uint32_t port = 0;
  int32_t periodMinutes = 0;
  uint32_t start = 0;
  bool operator==(const TraceRequest&) const = default;
};
std::array<uint8_t, kTraceRequestSize> EncodeTraceRequest(const TraceRequest& t);
TraceRequest DecodeTraceRequest(CBytes rec);  // `rec` holds 20 bytes

}  // namespace lark
