#include "console/dialogs/settings/protection_switch.h"

#include "console/dialogs/console_dialogs.h"
#include "console/dialogs/dialog_base.h"
#include "console/dialogs/dialog_text_table.h"
#include "console/shell/console_context.h"
#include "console/shell/dialog_texts.h"
#include "linkserver/link_frame.h"

namespace lark {

namespace {
constexpr uint32_t kSwitchTimeoutMs = 5000;
constexpr uint8_t kProtectionOn = 0, kProtectionOff = 1;
constexpr const char* kSection = "Dialog-Control";
}  // namespace

ProtectionSwitch::ProtectionSwitch(DialogBase& dialog)
    : QCheckBox(QString::fromStdString(EnglishText(dialog.resource(), kProtectionSwitchId)), &dialog),
      dialog_(dialog) {
  SetControlId(this, kProtectionSwitchId);
  setAccessibleName("Enable Password Protection");
  Revert();
  setVisible(!dialog.env().ctx.settings.accountsInUse);
  // toggled, not clicked: a screen reader's Toggle action changes the state
  // without a click. Revert() changes it with the signals blocked.
  connect(this, &QCheckBox::toggled, this, [this] { Toggled(); });
}

void ProtectionSwitch::Revert() {
  const QSignalBlocker quiet(this);
  setChecked(dialog_.env().ctx.settings.service.controlPasswordEnabled != 0);
  setEnabled(true);
}

void ProtectionSwitch::Toggled() {
  // One request at a time: while another waits, the box stays as it was.
  if (dialog_.waiting() ||
      !dialog_.Send(kLinkCmdControlPassword, isChecked() ? kProtectionOn : kProtectionOff, kSwitchTimeoutMs, {})) {
    dialog_.ShowMessage(kSection, "MSG4");
    Revert();
    return;
  }
  dialog_.ShowMessage(kSection, "MSG5");
  setEnabled(false);
}

void ProtectionSwitch::OnReply(const ReplyView& reply) {
  if (!reply.success) {
    dialog_.ShowMessage(kSection, "MSG4");
    Revert();
    return;
  }
  dialog_.ShowMessage(kSection, "MSG6");
  dialog_.env().ctx.settings.service.controlPasswordEnabled = isChecked() ? 1 : 0;
  setEnabled(true);
}

void RegisterProtectionSwitch(ConsoleDialogs& env, uint32_t openDialogId) {
  env.branches.Register(kLinkCmdControlPassword, openDialogId, [](DialogBase& d, const ReplyView& r) {
    if (auto* s = d.findChild<ProtectionSwitch*>()) s->OnReply(r);
  });
}

}  // namespace lark
