// Check box 1610 "Enable Password Protection", shared by UPS Control and the
// SNMP batch configuration: ticking it asks the service for 24/0, clearing
// it for 24/1. The console's flag follows only a confirmed switch; a refusal
// or a time-out puts the box back to the flag, so the box never shows what
// the service does not have. Hidden while user accounts are in use.
#pragma once
#include <QCheckBox>

#include "console/dialogs/reply_timer.h"

namespace lark {

class DialogBase;
class ConsoleDialogs;

inline constexpr int kProtectionSwitchId = 1610;

class ProtectionSwitch : public QCheckBox {
 public:
  // A child of `dialog`, shown from the console's flag.
  explicit ProtectionSwitch(DialogBase& dialog);

  // The box was clicked: the request for its new state.
  void Toggled();
  // The reply to 24 of the owning dialog.
  void OnReply(const ReplyView& reply);
  // The box goes back to the console's flag (a time-out, a refusal).
  void Revert();

 private:
  DialogBase& dialog_;
};

// The command 24 branch of the dialog with `openDialogId`: its switch takes
// the reply.
void RegisterProtectionSwitch(ConsoleDialogs& env, uint32_t openDialogId);

}  // namespace lark
