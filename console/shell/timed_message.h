// The self-closing message dialog (resource 261): a [MessageBox] text that
// counts its seconds down and closes itself; a message left unanswered comes
// back 300 seconds later for 60 seconds, until OK or Cancel acknowledges it
// or a new message replaces it. The dialog never blocks the window thread:
// it is window-modal and shown, not run in a nested loop, and its timer and
// the main window's one-second step drive it.
#pragma once
#include <QDialog>
#include <QLabel>
#include <memory>
#include <string>
#include <string_view>

#include "platform/profile.h"

namespace lark {

class WindowTimers;

class TimedMessage {
 public:
  static constexpr int kDialogId = 261;
  static constexpr int kMessageControl = 1013;
  static constexpr int kSecondsControl = 1014;
  static constexpr int kTimerId = 1025;
  static constexpr size_t kTitleMax = 64;
  static constexpr int kReshowSeconds = 300;
  static constexpr int kReshowShownSeconds = 60;

  TimedMessage(QWidget* owner, WindowTimers& timers);
  ~TimedMessage();

  // ShowLangMessageDialog: [MessageBox] M_n of `lang` under `title` for
  // `seconds`; an open message is closed at once and any re-show dropped.
  void ShowLangMessageDialog(const Profile& lang, int n, std::string_view title, int seconds);
  // The dialog's own one-second timer.
  void OnDialogTimer();
  // OK (1) or Cancel (2).
  void OnCommand(int id);
  // Step 1 of the main window's one-second timer: the re-show countdown.
  void OnSecondTick();

  bool isOpen() const { return open_; }
  int secondsLeft() const { return secondsLeft_; }
  int reshowCountdown() const { return reshow_; }
  QDialog* dialog() const { return dialog_.get(); }
  const std::string& title() const { return title_; }
  const std::string& message() const { return message_; }

 private:
  void Open();
  void Close();
  WindowTimers& timers_;
  std::unique_ptr<QDialog> dialog_;
  QLabel* messageLabel_ = nullptr;
  QLabel* secondsLabel_ = nullptr;
  std::string title_;    // at most 64 bytes
  std::string message_;  // at most 255 bytes
  int secondsLeft_ = 0;
  int reshow_ = 0;  // seconds; 0 = none
  bool open_ = false;
};

}  // namespace lark
