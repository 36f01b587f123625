// The main window (window class "Larkview"): its creation loads fonts, menus,
// settings, texts and tables; it lays out and splits its panes (group list,
// device list, property pane, detail tab control), draws the pane edges and
// the map button, turns keys into menu commands, runs the housekeeping and
// link timers, and tears everything down on close.
#pragma once
#include <QImage>
#include <QMainWindow>
#include <QPoint>
#include <QTabWidget>
#include <QTableView>
#include <array>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "console/shell/console_context.h"
#include "console/shell/console_menus.h"
#include "console/shell/timed_message.h"
#include "console/views/surface_widget.h"

namespace lark {

class ClientArea;
class DialogHelp;

// Control ids of the main window's children.
enum MainControlId : int {
  kDeviceListId = 1,
  kTabControlId = 3,
  kGroupListId = 4,
};

// Timer ids.
enum ConsoleTimerId : int {
  IDT_SECOND = 1025,
  IDT_REPAINT = 1028,
  IDT_QUEUE3 = 1029,
  IDT_QUEUE5 = 1031,
  IDT_LINK = 1033,
};

// Splitter drag modes.
enum SplitDrag : int { kDragNone = 0, kDragListBottom = 1, kDragPaneRight = 2, kDragListLeft = 3 };

inline constexpr int kMapButtonSize = 16;
inline constexpr int kScheduleTab = 3;  // the DetailTabId of the Schedule tab

struct NamedStep {
  const char* name;
  std::function<bool()> run;  // false ends the sequence
};

class LarkviewWindow : public QMainWindow {
 public:
  // Runs the creation steps; `failedStep` names the one that failed, if any.
  explicit LarkviewWindow(ConsoleContext& ctx);
  ~LarkviewWindow() override;
  const std::string& failedStep() const { return failedStep_; }

  // ---- commands ----
  // The handler of a MenuCommandId; later subsystems add theirs.
  void setCommand(int id, std::function<void()> handler) { commands_[id] = std::move(handler); }
  // WM_COMMAND: runs the id's handler; ids without one do nothing.
  void SendCommand(int id, intptr_t lParam = 0);
  bool hasCommand(int id) const { return commands_.count(id) > 0; }
  // The lParam of the command being run (the notification sheet's page).
  intptr_t commandParam() const { return commandParam_; }

  // ---- input, in client coordinates ----
  void OnKeyDown(int key, Qt::KeyboardModifiers mods);
  void OnMouseMove(QPoint p);
  void OnMouseDown(QPoint p);
  void OnMouseUp();
  void OnKeyUp(int key);
  void OnDoubleClick(QPoint p, QPoint global);
  // WM_CLOSE: false when the operator kept the program.
  bool OnClose();

  // ---- timers ----
  void OnSecondTimer();
  void OnRepaintTimer();
  void OnLinkTimer();

  // ---- layout ----
  void Relayout();          // WM_SIZE
  // After the first show: the outer rectangle becomes the Main rectangle.
  void FitFrameToMainRect();
  WindowRect FrameRect() const;
  void RedrawSurface();     // pane edges and map button into the client surface
  CanvasRect tabArea() const { return tabArea_; }
  CanvasRect deviceListArea() const;
  const QImage& surface() const;
  QWidget* client() const;

  // ---- children ----
  QTableView* deviceList() const { return deviceList_; }
  QTableView* groupList() const { return groupList_; }
  SurfaceWidget* propertyPane() const { return propertyPane_; }
  QTabWidget* tabControl() const { return tabs_; }
  // Page `slot` (0..5) of the detail tabs; null outside.
  SurfaceWidget* tabPage(int slot) const {
    return slot >= 0 && slot < kDetailTabs ? pages_[static_cast<size_t>(slot)] : nullptr;
  }
  QWidget* mapWindow() const { return mapWindow_.get(); }
  ConsoleMenus& menus() { return *menus_; }
  TimedMessage& timedMessage() { return *timedMessage_; }
  void ShowMapWindow();

  // ---- state read by the detail tabs ----
  int detailTabSelection = 0;
  int tabReloadFlag = 0;
  int tabRepaintCountdown = 0;
  unsigned secondCount() const { return secondCount_; }
  int dragMode() const { return dragMode_; }

  // Runs the destroy steps and ends the loop (WM_DESTROY).
  void Destroy();
  bool destroyed() const { return destroyed_; }

 protected:
  bool event(QEvent* e) override;
  void keyPressEvent(QKeyEvent* e) override;
  void keyReleaseEvent(QKeyEvent* e) override;
  void closeEvent(QCloseEvent* e) override;
  void moveEvent(QMoveEvent* e) override;

 private:
  friend class ClientArea;
  bool RunSteps(const std::vector<NamedStep>& steps);
  void CreateChildren();
  void OnExit();
  bool RightsAllowEdit() const;
  int SplitterAt(QPoint p) const;
  QRect MapButtonRect() const;

  ConsoleContext& ctx_;
  std::string failedStep_;
  std::unique_ptr<ConsoleMenus> menus_;
  ClientArea* client_ = nullptr;
  QTableView* groupList_ = nullptr;
  QTableView* deviceList_ = nullptr;
  SurfaceWidget* propertyPane_ = nullptr;
  QTabWidget* tabs_ = nullptr;
  std::array<SurfaceWidget*, kDetailTabs> pages_{};
  std::unique_ptr<QWidget> mapWindow_;
  std::unique_ptr<TimedMessage> timedMessage_;
  std::unique_ptr<DialogHelp> dialogHelp_;  // F1 in a dialog, on the application
  std::map<int, std::function<void()>> commands_;
  intptr_t commandParam_ = 0;
  CanvasRect tabArea_;
  int dragMode_ = kDragNone;
  QPoint lastMouse_;
  QPoint lastTopLeft_;  // screen position the map window follows
  unsigned secondCount_ = 0;
  int lastMinute_ = -1;  // minute of the last schedule step (day * 1440 + minute)
  bool painted_ = false;
  bool destroyed_ = false;
};

}  // namespace lark
