// The console's alarm popup window (dialog 176, "Broadcast"): one list of
// alarm lines, the newest at the top, kept where the user put it ([Rect]
// Broadcast of monitor.ini). Modeless; Cancel or the close box closes it and
// the next line opens a new one.
#pragma once
#include <QDialog>
#include <QPointer>
#include <string>

class QListWidget;

namespace lark {

class ConsoleContext;

class AlarmPopup : public QDialog {
 public:
  static constexpr int kDialogId = 176;
  static constexpr int kListId = 13;

  AlarmPopup(ConsoleContext& ctx, QWidget* owner);
  QListWidget* list() const { return list_; }

 protected:
  void moveEvent(QMoveEvent* e) override;
  void resizeEvent(QResizeEvent* e) override;

 private:
  void saveRect();

  ConsoleContext& ctx_;
  QListWidget* list_;
  bool placed_ = false;  // moves before the saved rectangle is applied are not saved
};

// ShowAlarmPopup: switches the screen saver off (the call point), restores a
// minimised main window, creates the popup when there is none (`popup` then
// holds it), puts the line at the top and brings the window up.
void ShowAlarmPopup(ConsoleContext& ctx, QPointer<AlarmPopup>& popup, const std::string& line);

}  // namespace lark
