#include "console/dialogs/logs/ups_log_download.h"

#include <algorithm>
#include <optional>

namespace lark {

namespace {
constexpr int32_t kBlocksRead = 24;  // progress of a log read whole (three-phase, form 1)
// E8 entries 1..n at n x 8 of the 4600 bytes: no more can be fetched.
constexpr int64_t kUpsLogE8EntriesMax = kUpsLogEntryBytes / 8 - 1;
}

UpsLogDownload::Reaction UpsLogDownload::Stall() {
  if (++stalls_ >= kUpsLogStalls) return {Reaction::kFailed};
  return {Reaction::kAskAgain};
}

UpsLogDownload::Reaction UpsLogDownload::OnReply(CBytes frame) {
  if (step_ == kUpsLogStart) {
    step_ = kUpsLogProgress;
    return {Reaction::kAskAgain, -1, true};
  }
  const std::optional<UpsLogStatus> status = ParseUpsLogStatus(frame);
  if (step_ == kUpsLogFetch) {
    if (!status) return {Reaction::kFailed};
    status_ = *status;
    return {Reaction::kEntries};
  }
  if (!status) return Stall();
  status_ = *status;
  const int64_t progress = status->progress;
  int64_t whole = 0;  // the progress the bar shows as full
  bool reading = false;
  if (commType_ == 1) {
    whole = kBlocksRead;
    reading = progress < kBlocksRead;
  } else if (status->form == 1) {
    whole = kBlocksRead - 1;
    reading = progress < kBlocksRead;
  } else if (status->form == 2) {
    // The total is the service's word; the entries that fit the reply bound it.
    whole = std::min<int64_t>(status->total, kUpsLogE8EntriesMax);
    reading = progress <= whole;
  } else {
    return Stall();
  }
  if (!reading) {
    step_ = kUpsLogFetch;
    return {Reaction::kAskAgain, 100};
  }
  if (progress <= last_) return Stall();
  last_ = status->progress;
  stalls_ = 0;
  return {Reaction::kAskAgain, whole > 0 ? static_cast<int>(progress * 100 / whole) : -1};
}

}  // namespace lark
