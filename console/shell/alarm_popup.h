// The console's alarm popup window (dialog 176, "Broadcast"): one list of
// alarm lines, the newest at the top, kept where the user put it ([Rect]
// Broadcast of monitor.ini). Modeless; Cancel or the close box closes it and
// the next line opens a new one.
#pragma once
#include <QDialog>
#include <QPointer>
#include <QRect>
#include <string>

#include "console/shell/monitor_settings.h"

class QListWidget;

namespace lark {

class ConsoleContext;

// Where the popup opens: its stored rectangle while that lies inside the work
// area and clear of the main window's tab bar (`tabBar`, screen coordinates,
// empty when there is none); otherwise in the work area's bottom right
// corner, at most half the area wide and a third high, beside the tab bar
// when there is room to its right, else just above it.
QRect PlaceAlarmPopup(const WindowRect& stored, const WorkArea& area, const QRect& tabBar);

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
