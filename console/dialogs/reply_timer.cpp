#include "console/dialogs/reply_timer.h"

#include "console/dialogs/console_dialogs.h"
#include "console/dialogs/dialog_base.h"
#include "console/dialogs/timeout_table.h"
#include "console/link/service_link.h"

namespace lark {

void ReplyBranches::Register(uint8_t command, std::optional<uint32_t> openDialogId, ReplyBranch branch) {
  branches_[{command, openDialogId ? static_cast<int64_t>(*openDialogId) : kAny}] = std::move(branch);
}

const ReplyBranch* ReplyBranches::Find(uint8_t command, std::optional<uint32_t> openDialogId) const {
  if (openDialogId) {
    auto it = branches_.find({command, static_cast<int64_t>(*openDialogId)});
    if (it != branches_.end()) return &it->second;
  }
  auto it = branches_.find({command, kAny});
  return it == branches_.end() ? nullptr : &it->second;
}

void OnReplyTimer(DialogBase& d) {
  if (d.TimedOut()) {
    RunTimeoutReaction(d);
    d.OnTimedOut();
    return;
  }
  if (d.timeProgress) d.StepProgress();
  if (!d.TakeReply()) return;
  // A copy: the branch may send the next request, which drops the reply.
  const std::vector<uint8_t> frame = d.env().link.pending().reply;
  if (frame.size() < 6) return;
  const uint8_t command = d.request().command;
  const ReplyView reply{frame, frame[4], frame[5], frame[5] == 2 * command - 1};
  if (const ReplyBranch* branch = d.env().branches.Find(command, d.openDialogId())) (*branch)(d, reply);
}

}  // namespace lark
