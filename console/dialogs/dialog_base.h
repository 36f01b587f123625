// The base of every console dialog: its resource, language section and
// OpenDialogId, its controls found by their "id" property, the opening steps,
// status lines in the caption, the time progress bar, closing after a pause
// without blocking the window thread, and the one request it may have out.
//
// Esc and the window's close act as Cancel (2) while Cancel is enabled or
// nothing waits. While a request waits with Cancel off they still end the
// dialog with 0: the service is not trusted to ever answer, so the request
// is abandoned (its reply ignored when it comes) and the dialog undoes what
// it began (OnAbandoned: partial files removed). During a closing pause they
// end the dialog with the pause's result.
#pragma once
#include <QDialog>
#include <QTimer>
#include <array>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>

#include "common/bytes.h"

namespace lark {

class ConsoleDialogs;

inline constexpr int kReplyTimerId = 1036;      // IDT_REPLY: the reply dispatcher
inline constexpr int kReplyWaitTimerId = 1032;  // IDT_REPLY_WAIT: the dialog's own poll
inline constexpr int kReplyPeriodMs = 500;
inline constexpr int kProgressControl = 1015;
inline constexpr int kFailurePauseMs = 1000;
inline constexpr int kLockRefusalPauseMs = 2000;

// Commands whose replies the dispatcher handles; the others the dialog polls.
bool UsesReplyDispatcher(uint8_t command);

class DialogBase : public QDialog {
 public:
  // `openDialogId`: the dialog waits for the service under this number.
  DialogBase(ConsoleDialogs& env, int resource, std::optional<uint32_t> openDialogId, QWidget* owner);
  ~DialogBase() override;

  // The opening steps, then the modal loop unless they already set a result.
  int Run();

  ConsoleDialogs& env() const { return env_; }
  int resource() const { return resource_; }
  const std::string& section() const { return section_; }
  std::optional<uint32_t> openDialogId() const { return openDialogId_; }
  const std::string& prefix() const { return prefix_; }
  // The section's CB_1 and CB_2 as the localiser read them ("" when missing).
  const std::array<std::string, 2>& comboTexts() const { return comboTexts_; }

  QWidget* Control(int id) const;
  void EnableControls(std::initializer_list<int> ids, bool on);

  // The caption becomes "<prefix> - <MSG>" from the dialog's section.
  void ShowMessage(const char* key) { ShowMessage(section_.c_str(), key); }
  // The same with a key of another section (some dialogs share texts).
  void ShowMessage(const char* section, const char* key);
  // The caption's text for `message` (cut to 255 bytes between characters).
  std::string StatusCaption(const std::string& message) const;
  // A bounded result list: the rows left out counted after the status line.
  void CountRowsNotShown(size_t beyond);
  // Bar 1015 one tick on: counter × 100 / 6 percent, at most 100.
  void StepProgress();
  void SetProgress(int percent);
  // Controls off, the result fixed, the dialog ends after `ms` without
  // blocking; closing meanwhile ends it with the same result.
  void CloseAfter(int ms, int result);
  bool closing() const { return closeResult_.has_value(); }
  int closingPauseMs() const { return closeTimer_.isActive() ? closeTimer_.interval() : 0; }
  // A refused tree change: the holder of the control lock for 2 s, else the
  // 1 s failure pause; both end with 0.
  void ShowLockRefusal(CBytes reply);
  // Whether a refused tree change's reply names another console as the
  // holder of the control lock.
  static bool LockHeldElsewhere(CBytes reply);
  // The holder of the control lock in the caption when the refusal names
  // one; false (caption unchanged) otherwise.
  bool ShowLockHolder(CBytes reply);
  // [Dialog-AddObject] MSG3 naming the lock's holder, when the refusal says
  // another console holds the control lock.
  std::optional<std::string> LockNotice(CBytes reply) const;
  bool PostLog(uint32_t first, uint16_t code, const std::string& text);

  // ---- the request ----
  // Arms this dialog's timer (1036 for the dispatcher, 1032 for OnOwnTimer),
  // then queues the request; refused, the timer dies. Commands 29 and 28
  // carry the schedule and the device settings block as their payload.
  bool Send(uint8_t command, uint8_t sub, uint32_t timeoutMs, CBytes payload);
  struct Request {
    uint32_t sequence = 0;
    uint8_t command = 0;
    uint8_t sub = 0;
    uint32_t timeoutMs = 0;
    uint32_t sendTick = 0;
  };
  const Request& request() const { return request_; }
  bool waiting() const;  // a reply timer runs
  void KillReplyTimer();
  // Past the time-out (unsigned difference strictly greater): true, timer killed.
  bool TimedOut();
  // This dialog's own reply, when it is in: the flag goes back to 1 and the
  // timer dies. Another request's reply is never taken.
  bool TakeReply();

  // Dialogs with a time progress bar advance it on every reply-timer tick.
  bool timeProgress = false;
  // After the time-out table's reaction: what the dialog itself undoes.
  virtual void OnTimedOut() {}
  // Esc or Close while the request waits: what the dialog itself undoes
  // before it ends with 0.
  virtual void OnAbandoned() {}

 protected:
  // Opening steps; a result set here (EndNow) ends Run unshown.
  virtual void Init() {}
  virtual void OnOwnTimer() {}
  virtual void OnCancel() { done(0); }
  void EndNow(int result) { initResult_ = result; }
  // Dialogs and pages without a localiser row name their status lines themselves.
  void SetPrefix(std::string prefix) { prefix_ = std::move(prefix); }
  void reject() override;

 private:
  ConsoleDialogs& env_;
  int resource_;
  std::string section_;
  std::optional<uint32_t> openDialogId_;
  std::string prefix_;
  std::array<std::string, 2> comboTexts_;
  Request request_;
  std::optional<int> initResult_;
  std::optional<int> closeResult_;
  QTimer closeTimer_;
};

}  // namespace lark
