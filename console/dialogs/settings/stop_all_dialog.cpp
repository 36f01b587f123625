#include "console/dialogs/settings/stop_all_dialog.h"

#include <QProgressBar>
#include <QVBoxLayout>

#include "console/dialogs/console_dialogs.h"
#include "console/shell/console_context.h"
#include "console/shell/dialog_texts.h"
#include "linkserver/link_frame.h"

namespace lark {

namespace {
constexpr uint32_t kRequestTimeoutMs = 5000;
constexpr int kEndPauseMs = 1000;
}  // namespace

void AddWaitBar(DialogBase& d) {
  auto* layout = new QVBoxLayout(&d);
  auto* bar = new QProgressBar(&d);
  SetControlId(bar, kProgressControl);
  bar->setRange(0, 100);
  bar->setValue(0);
  bar->setAccessibleName("Progress");
  layout->addWidget(bar);
  d.timeProgress = true;
}

void EndWaitDialog(DialogBase& d, bool success) {
  d.SetProgress(100);
  d.ShowMessage(success ? "MSG3" : "MSG1");
  d.CloseAfter(kEndPauseMs, success ? 1 : 0);
}

StopAllDialog::StopAllDialog(ConsoleDialogs& env, QWidget* owner)
    : DialogBase(env, kStopAllResource, kStopAllDialogId, owner) {
  AddWaitBar(*this);
}

void StopAllDialog::Init() {
  env().ctx.openDialog.progress = 0;
  if (!Send(kLinkCmdStopAllAlarms, 0, kRequestTimeoutMs, {})) EndNow(0);
}

void StopAllDialog::OnReply(const ReplyView& reply) { EndWaitDialog(*this, reply.success); }

void RegisterStopAllDialog(ConsoleDialogs& env) {
  env.ctx.dialogs.Register(kStopAllResource, [&env](QWidget* owner, intptr_t) {
    StopAllDialog d(env, owner);
    return d.Run();
  });
  env.branches.Register(kLinkCmdStopAllAlarms, kStopAllDialogId, [](DialogBase& d, const ReplyView& r) {
    if (auto* s = dynamic_cast<StopAllDialog*>(&d)) s->OnReply(r);
  });
}

}  // namespace lark
