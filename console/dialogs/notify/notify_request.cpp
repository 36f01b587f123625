#include "console/dialogs/notify/notify_request.h"

#include "console/dialogs/console_dialogs.h"
#include "console/dialogs/dialog_base.h"
#include "console/link/service_link.h"
#include "linkserver/link_replies.h"

namespace lark {

namespace {
constexpr size_t kBlockOff = 7;  // after the code and the echoed sub-command
}  // namespace

CBytes NotifyOutcome::block() const {
  if (frame.size() < kBlockOff + kNotificationBlockSize) return {};
  return CBytes(frame).subspan(kBlockOff, kNotificationBlockSize);
}

std::optional<NotifyOutcome> PollNotifyRequest(DialogBase& d) {
  if (d.TimedOut()) return NotifyOutcome{NotifyOutcome::kTimedOut, {}};
  if (!d.TakeReply()) return std::nullopt;
  std::vector<uint8_t> frame = d.env().link.pending().reply;
  const bool done = frame.size() > 5 && frame[5] == kNotifyDone;
  return NotifyOutcome{done ? NotifyOutcome::kDone : NotifyOutcome::kFailed, std::move(frame)};
}

std::optional<NotifyOutcome> PollReadOrWrite(DialogBase& d, uint8_t readSub) {
  std::optional<NotifyOutcome> out = PollNotifyRequest(d);
  if (!out) return std::nullopt;
  const bool read = d.request().sub == readSub;
  if (out->kind == NotifyOutcome::kDone && (!read || !out->block().empty())) return out;
  d.ShowMessage(read ? "MSG4" : "MSG1");
  if (!read) d.EnableControls({1015}, true);
  return std::nullopt;
}

}  // namespace lark
