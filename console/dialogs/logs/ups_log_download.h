// The UPS Log dialog's exchange, without Qt: step 0 has the service start
// reading the UPS's own log, step 1 polls its progress, step 2 fetches the
// entries. Every reply is followed by the next request, so the service is
// asked about twice a second while the UPS is read; ten replies in a row
// without progress end the download long before a time-out would.
//
// Finished reading: the three-phase UPS (CommType 1, sub 6) at progress 24;
// the ASCII UPS (CommType 0, sub 7) in form 1 past 23, in form 2 past the
// total. A form other than 1 or 2 from the ASCII UPS is a reply without
// progress.
#pragma once
#include <array>
#include <cstdint>

#include "common/bytes.h"
#include "console/dialogs/logs/ups_log_file.h"

namespace lark {

inline constexpr int kUpsLogStalls = 10;  // replies in a row without progress

class UpsLogDownload {
 public:
  UpsLogDownload(int16_t commType, int32_t nodeId) : commType_(commType), nodeId_(nodeId) {}

  uint8_t sub() const { return commType_ == 1 ? 6 : 7; }
  // The payload of the request for the current step.
  std::array<uint8_t, kUpsLogRecordSize> request() const { return UpsLogRequest(step_, nodeId_); }
  uint32_t step() const { return step_; }

  struct Reaction {
    enum Kind : uint8_t { kAskAgain, kFailed, kEntries } kind = kAskAgain;
    int percent = -1;      // the bar's new value, or -1
    bool started = false;  // step 0 answered: the reading began
  };
  // A success reply to the last request. kEntries: `status()` and the bytes
  // from kUpsLogEntriesReplyOff are the log.
  Reaction OnReply(CBytes frame);
  const UpsLogStatus& status() const { return status_; }

 private:
  Reaction Stall();

  int16_t commType_;
  int32_t nodeId_;
  uint32_t step_ = kUpsLogStart;
  int32_t last_ = 0;  // the highest progress seen
  int stalls_ = 0;    // replies in a row without progress
  UpsLogStatus status_;
};

}  // namespace lark
