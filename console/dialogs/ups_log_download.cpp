#include "console/dialogs/ups_log_download.h"

#include <optional>

namespace lark {

namespace {
constexpr int32_t kBlocksRead = 24;  // progress of a log read whole (three-phase, form 1)
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
    whole = status->total;
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
