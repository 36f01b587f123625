#include "console/dialogs/dialog_base.h"

#include <QProgressBar>
#include <algorithm>

#include "console/dialogs/console_dialogs.h"
#include "console/dialogs/dialog_text_table.h"
#include "console/link/service_link.h"
#include "console/shell/console_context.h"
#include "console/shell/dialog_texts.h"
#include "core/language_texts.h"
#include "linkserver/control_lock.h"
#include "linkserver/link_commands.h"

namespace lark {

bool UsesReplyDispatcher(uint8_t c) {
  return (c >= 2 && c <= 5) || (c >= 8 && c <= 19) || (c >= 21 && c <= 27) || c == 31 || c == 32 || c == 34;
}

DialogBase::DialogBase(ConsoleDialogs& env, int resource, std::optional<uint32_t> openDialogId, QWidget* owner)
    : QDialog(owner), env_(env), resource_(resource), openDialogId_(openDialogId) {
  const LocaliserEntry* e = FindLocaliser(resource);
  if (e) {
    section_ = e->section;
    prefix_ = e->caption;
    setWindowTitle(QString::fromUtf8(e->caption));
  }
  SetControlId(this, resource);
  setAccessibleName(windowTitle());
  closeTimer_.setSingleShot(true);
  connect(&closeTimer_, &QTimer::timeout, this, [this] { done(*closeResult_); });
}

DialogBase::~DialogBase() {
  KillReplyTimer();
  env_.ctx.dialogs.Untrack(this);
}

int DialogBase::Run() {
  if (openDialogId_) env_.ctx.openDialog.id = *openDialogId_;
  const LocalisedTexts texts = Localise(this, resource_, env_.ctx.languageProfile(), env_.ctx.texts.language);
  if (texts.prefixSet) prefix_ = std::string(CutUtf8(texts.prefix, OpenDialogRecord::kPrefixMax));
  if (openDialogId_) env_.ctx.openDialog.setPrefix(prefix_);
  comboTexts_ = texts.combo;
  Init();
  if (initResult_) return *initResult_;
  env_.ctx.dialogs.Track(this);
  const int result = exec();
  env_.ctx.dialogs.Untrack(this);
  KillReplyTimer();
  return result;
}

QWidget* DialogBase::Control(int id) const { return FindControl(this, id); }

void DialogBase::EnableControls(std::initializer_list<int> ids, bool on) {
  for (int id : ids)
    if (QWidget* c = Control(id)) c->setEnabled(on);
}

std::string DialogBase::StatusCaption(const std::string& message) const {
  return std::string(CutUtf8(prefix_ + " - " + message, kDialogCaptionMax));
}

void DialogBase::ShowMessage(const char* section, const char* key) {
  const std::string msg =
      std::string(CutUtf8(env_.ctx.languageProfile().getString(section, key, "", 1024), kDialogMessageMax));
  setWindowTitle(QString::fromStdString(StatusCaption(msg)));
}

void DialogBase::CountRowsNotShown(size_t beyond) {
  if (beyond == 0) return;
  const std::string caption =
      windowTitle().toStdString() + " (" + std::to_string(beyond) + " more rows not shown)";
  setWindowTitle(QString::fromStdString(std::string(CutUtf8(caption, kDialogCaptionMax))));
}

void DialogBase::SetProgress(int percent) {
  if (auto* bar = qobject_cast<QProgressBar*>(Control(kProgressControl))) bar->setValue(percent);
}

void DialogBase::StepProgress() {
  uint32_t& n = env_.ctx.openDialog.progress;
  if (n < 6) ++n;  // full from the sixth tick; the counter stops there
  SetProgress(static_cast<int>(std::min<uint32_t>(n * 100 / 6, 100)));
}

void DialogBase::CloseAfter(int ms, int result) {
  for (QWidget* w : findChildren<QWidget*>())
    if (w->property("id").isValid()) w->setEnabled(false);
  closeResult_ = result;
  closeTimer_.start(ms);
}

void DialogBase::reject() {
  if (closeResult_) {
    closeTimer_.stop();
    done(*closeResult_);
    return;
  }
  QWidget* cancel = Control(2);
  // A page on a tab is no window: Escape leaves it where it is (OnCancel).
  if ((cancel && cancel->isEnabled()) || !waiting() || !isWindow()) {
    OnCancel();
    return;
  }
  // A chain of requests (a download, a result in pages) ends only when the
  // service says so: the operator may leave it at any time.
  KillReplyTimer();
  PendingRequest& p = env_.link.pending();
  if (p.sequence == request_.sequence) p.state = 0;  // given up: its reply is nobody's
  OnAbandoned();
  done(0);
}

namespace {
// The service puts the lock record after the echoed sub-command, if any.
size_t LockRecordAt(CBytes reply) {
  const uint8_t command = reply.size() > 4 ? reply[4] : 0;
  return 6 + (LinkReplyEchoesSub(command) ? 1 : 0);
}
}  // namespace

bool DialogBase::LockHeldElsewhere(CBytes reply) {
  const size_t at = LockRecordAt(reply);
  return reply.size() >= at + kControlLockSize && u32At(reply, at + kLockOffActive) == 1;
}

void DialogBase::ShowLockRefusal(CBytes reply) {
  CloseAfter(ShowLockHolder(reply) ? kLockRefusalPauseMs : kFailurePauseMs, 0);
}

bool DialogBase::ShowLockHolder(CBytes reply) {
  const std::optional<std::string> notice = LockNotice(reply);
  if (notice) setWindowTitle(QString::fromStdString(*notice));
  return notice.has_value();
}

std::optional<std::string> DialogBase::LockNotice(CBytes reply) const {
  if (!LockHeldElsewhere(reply)) return std::nullopt;
  const size_t at = LockRecordAt(reply);
  const auto* text = reinterpret_cast<const char*>(reply.data() + at + kLockOffAddress);
  const std::string holder(text, std::find(text, text + kLockAddressSize, '\0'));
  // MSG3 is a text, not a format: only its first "%s" takes the holder.
  const std::string msg = FormatLanguageText(
      CutUtf8(env_.ctx.languageProfile().getString("Dialog-AddObject", "MSG3", "", 1024),
              kDialogMessageMax),
      holder);
  return std::string(CutUtf8(msg, kDialogCaptionMax));
}

bool DialogBase::PostLog(uint32_t first, uint16_t code, const std::string& text) {
  return env_.link.postLogRequest(first, code, text);
}

bool DialogBase::waiting() const {
  return env_.ctx.timers.IsSet(this, kReplyTimerId) || env_.ctx.timers.IsSet(this, kReplyWaitTimerId);
}

void DialogBase::KillReplyTimer() {
  env_.ctx.timers.Kill(this, kReplyTimerId);
  env_.ctx.timers.Kill(this, kReplyWaitTimerId);
}

bool DialogBase::Send(uint8_t command, uint8_t sub, uint32_t timeoutMs, CBytes payload) {
  KillReplyTimer();
  const bool dispatched = UsesReplyDispatcher(command);
  const int id = dispatched ? kReplyTimerId : kReplyWaitTimerId;
  std::function<void()> tick;
  if (dispatched)
    tick = [this] { OnReplyTimer(*this); };
  else
    tick = [this] { OnOwnTimer(); };
  if (!env_.ctx.timers.Set(this, id, kReplyPeriodMs, std::move(tick))) {
    env_.ctx.timers.Kill(this, id);
    return false;
  }
  bool sent = false;
  if (command == kLinkCmdSetSchedule)
    sent = env_.link.sendScheduleRequest(sub, timeoutMs, payload);
  else if (command == kLinkCmdDeviceSettings)
    sent = env_.link.sendSettingsRequest(sub, timeoutMs, payload);
  else
    sent = env_.link.sendServiceRequest(0, command, sub, timeoutMs, payload);
  if (!sent) {
    env_.ctx.timers.Kill(this, id);
    return false;
  }
  const PendingRequest& p = env_.link.pending();
  request_ = Request{p.sequence, command, sub, timeoutMs, p.sendTick};
  // The reply is taken when it arrives; the window pointer is only a key, so
  // a dialog gone meanwhile is simply not found.
  env_.link.setPendingReplyListener(
      [&timers = env_.ctx.timers, window = static_cast<const QObject*>(this), id] {
        timers.Nudge(window, id);
      });
  return true;
}

bool DialogBase::TimedOut() {
  if (TickElapsed(env_.ctx.clock().tickMs(), request_.sendTick) <= request_.timeoutMs) return false;
  KillReplyTimer();
  PendingRequest& p = env_.link.pending();
  if (p.sequence == request_.sequence) p.state = 0;  // given up: no longer out
  return true;
}

bool DialogBase::TakeReply() {
  PendingRequest& p = env_.link.pending();
  if (p.replyFlag != 2 || p.sequence != request_.sequence) return false;
  p.replyFlag = 1;
  p.state = 0;  // answered: no longer out
  KillReplyTimer();
  return true;
}

}  // namespace lark
