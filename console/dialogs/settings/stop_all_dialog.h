// Stop All (159, OpenDialogId 14): asks the service at opening to stop every
// running alarm reaction (23) and shows only a time progress bar; it closes
// by itself after a one-second pause whatever the answer.
#pragma once
#include "console/dialogs/dialog_base.h"
#include "console/dialogs/reply_timer.h"

namespace lark {

inline constexpr int kStopAllResource = 159;
inline constexpr uint32_t kStopAllDialogId = 14;

class StopAllDialog : public DialogBase {
 public:
  StopAllDialog(ConsoleDialogs& env, QWidget* owner);
  void Init() override;
  void OnReply(const ReplyView& reply);
};

// A progress bar 1015 for the dialogs that only wait.
void AddWaitBar(DialogBase& dialog);
// The ending of such a dialog: the bar full, MSG3 and 1 on `success`, else
// MSG1 and 0, each after the one-second pause.
void EndWaitDialog(DialogBase& dialog, bool success);

void RegisterStopAllDialog(ConsoleDialogs& env);

}  // namespace lark
