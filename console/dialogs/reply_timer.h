// The reply dispatcher: the procedure of a dialog's timer 1036. Each tick
// tests the time-out first, then steps the time progress bar, then takes the
// dialog's own reply when it is in and runs the branch registered for its
// command and OpenDialogId (a branch for the id first, then one for any).
#pragma once
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <utility>

#include "common/bytes.h"

namespace lark {

class DialogBase;

struct ReplyView {
  CBytes frame;      // the whole reply frame
  uint8_t command;   // byte 4
  uint8_t code;      // byte 5, the LinkReplyCode
  bool success;      // code 2c - 1
};

using ReplyBranch = std::function<void(DialogBase&, const ReplyView&)>;

class ReplyBranches {
 public:
  // `openDialogId` empty: the branch of every dialog without its own.
  void Register(uint8_t command, std::optional<uint32_t> openDialogId, ReplyBranch branch);
  const ReplyBranch* Find(uint8_t command, std::optional<uint32_t> openDialogId) const;

 private:
  static constexpr int64_t kAny = -1;
  std::map<std::pair<uint8_t, int64_t>, ReplyBranch> branches_;
};

// One tick of timer 1036 on `dialog`.
void OnReplyTimer(DialogBase& dialog);

}  // namespace lark
