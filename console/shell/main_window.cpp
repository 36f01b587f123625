// Sections: client area, creation, commands and keys, layout and pane edges,
// splitters and the map button, timers, close and destroy.
#include "console/shell/main_window.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QIcon>
#include <QPixmap>
#include <QKeyEvent>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPainter>

#include "console/shell/dialog_help.h"
#include "console/shell/dialog_texts.h"
#include "console/views/image_canvas.h"
#include "core/device_tree.h"

namespace lark {

// ---- client area ----

// The main window's client area: a persistent picture of the background,
// the pane edges and the map button, copied on paint; the mouse drives the
// splitters.
class ClientArea final : public QWidget {
 public:
  ClientArea(LarkviewWindow& w, QWidget* parent) : QWidget(parent), w_(w) { setMouseTracking(true); }
  QImage surface;

 protected:
  void paintEvent(QPaintEvent*) override {
    if (!w_.painted_) {
      ImageCanvas reference(&surface);
      w_.ctx_.backBuffer.Create(reference, w_.ctx_.fonts.value);
      w_.painted_ = true;
    }
    w_.tabRepaintCountdown = 1;
    QPainter p(this);
    p.drawImage(0, 0, surface);
  }
  void resizeEvent(QResizeEvent*) override { w_.Relayout(); }
  void mouseMoveEvent(QMouseEvent* e) override { w_.OnMouseMove(e->position().toPoint()); }
  void mousePressEvent(QMouseEvent* e) override {
    if (e->button() == Qt::LeftButton) w_.OnMouseDown(e->position().toPoint());
  }
  void mouseReleaseEvent(QMouseEvent* e) override {
    if (e->button() == Qt::LeftButton) w_.OnMouseUp();
  }
  void mouseDoubleClickEvent(QMouseEvent* e) override {
    if (e->button() == Qt::LeftButton)
      w_.OnDoubleClick(e->position().toPoint(), e->globalPosition().toPoint());
  }

 private:
  LarkviewWindow& w_;
};

namespace {

QRect ToQRect(const WindowRect& r) { return QRect(r.left, r.top, r.right - r.left, r.bottom - r.top); }

// The map button pictures: a raised 16 x 16 button with a small map, grey
// while the map window is closed, green while it is shown.
QImage MapButtonImage(bool shown) {
  QImage img(kMapButtonSize, kMapButtonSize, QImage::Format_RGB32);
  ImageCanvas c(&img);
  DrawSysSolidRect(c, 0, 0, kMapButtonSize - 1, kMapButtonSize - 1, kColorBtnFace);
  DrawBevel(c, 0, 0, kMapButtonSize - 1, kMapButtonSize - 1, false, 1);
  DrawFilledRect(c, 3, 4, 13, 12, shown ? 0x00a000 : SysColorValue(kColorBtnShadow), 0x404040);
  DrawLine(c, 5, 6, 11, 10, 0xffffff, 1);
  return img;
}

template <class W = QWidget>
W* BareWindow(const char* className, QWidget* parent, Qt::WindowFlags flags = {}) {
  auto* w = new W(parent);
  if (flags) w->setWindowFlags(flags);
  w->setObjectName(className);
  w->setAutoFillBackground(true);
  QPalette pal = w->palette();
  pal.setColor(QPalette::Window, ToQColor(SysColorValue(kColorWindow)));
  w->setPalette(pal);
  return w;
}

}  // namespace

// ---- creation ----

LarkviewWindow::LarkviewWindow(ConsoleContext& ctx) : ctx_(ctx) {
  setObjectName("Larkview");
  setWindowTitle(kMainTitle);
  setWindowIcon(QIcon(QPixmap::fromImage(MapButtonImage(true)).scaled(32, 32)));
  ctx_.mainWindow = this;
  setCommand(IDM_EXIT, [this] { OnExit(); });
  dialogHelp_ = std::make_unique<DialogHelp>(ctx_);
  QCoreApplication::instance()->installEventFilter(dialogHelp_.get());
  MonitorSettings& s = ctx_.monitor.settings();
  const std::vector<NamedStep> create = {
      {"CreateFonts",
       [&] {
         ctx_.fonts = MakeConsoleFonts();
         setFont(ctx_.fonts.value);
         return true;
       }},
      {"LoadMenus",
       [&] {
         menus_ = std::make_unique<ConsoleMenus>(menuBar());
         menus_->setCommandHandler([this](int id) { SendCommand(id); });
         return true;
       }},
      {"ResetTree",
       [&] {
         Tree_ResetRoot(ctx_.tree);
         return true;
       }},
      {"LoadConsoleSettings",
       [&] {
         ctx_.monitor.LoadConsoleSettings(ctx_.languageProfile(), ctx_.texts.columns);
         return true;
       }},
      {"LoadLanguageTexts",
       [&] {
         const Profile lang = ctx_.languageProfile();
         LoadLanguageTexts(ctx_.texts, lang, menus_.get(), ctx_.settings.loginLevel());
         LoadConsoleStatusTexts(ctx_.texts.status, lang, ctx_.texts.language);
         ApplyLanguageStatusTexts(ctx_.texts.status, lang, ctx_.texts.language);
         return true;
       }},
      {"LoadConsoleLists",
       [&] {
         ctx_.monitor.LoadConsoleLists();
         ResetDeviceLists(ctx_.settings);
         return true;
       }},
      {"WriteMonitorIni",
       [&] {
         // The defaults appear in the file; a folder that cannot be written
         // leaves the file as it was and the console runs on.
         ctx_.monitor.Save();
         return true;
       }},
      {"LoadActionAndParameterTables",
       [&] {
         ctx_.tables.load(ctx_.settings.service.language);  // missing files keep the defaults
         return true;
       }},
      {"OpenConsoleMap",
       [&] {
         CallPoint(ctx_.points.openConsoleMap);
         setWindowTitle(kMainTitle);
         return true;
       }},
      {"CheckLockObject",
       [&] {
         menus_->setChecked(IDM_LOCK_OBJECT, s.viewFlags & kViewLockObjects);
         return true;
       }},
      {"CreateChildren",
       [&] {
         CreateChildren();
         return true;
       }},
  };
  RunSteps(create);
}

LarkviewWindow::~LarkviewWindow() {
  if (ctx_.mainWindow == this) ctx_.mainWindow = nullptr;
  timedMessage_.reset();
  ctx_.backBuffer.Delete();
}

bool LarkviewWindow::RunSteps(const std::vector<NamedStep>& steps) {
  for (const NamedStep& step : steps) {
    if (!step.run()) {
      failedStep_ = step.name;
      return false;
    }
  }
  return true;
}

// The panes are created bare at their rectangles and ids; the lists, the
// property pane's painter, the detail tabs and the map fill them.
void LarkviewWindow::CreateChildren() {
  MonitorSettings& s = ctx_.monitor.settings();
  client_ = new ClientArea(*this, this);
  setCentralWidget(client_);
  auto list = [this] {
    QTableView* v = ctx_.points.createListView ? ctx_.points.createListView(client_) : nullptr;
    return v ? v : new QTableView(client_);
  };
  groupList_ = list();
  SetControlId(groupList_, kGroupListId);
  deviceList_ = list();
  SetControlId(deviceList_, kDeviceListId);
  propertyPane_ = BareWindow<SurfaceWidget>("JPropertyClass", client_);
  propertyPane_->setWindowTitle("Property");
  propertyPane_->setFrameStyle(QFrame::Panel | QFrame::Raised);
  propertyPane_->setLineWidth(2);
  // The detail tabs insert the items and run the pages.
  tabs_ = new QTabWidget(client_);
  SetControlId(tabs_, kTabControlId);
  tabs_->setTabPosition(QTabWidget::South);
  tabs_->setFocusPolicy(Qt::NoFocus);
  tabs_->tabBar()->setFocusPolicy(Qt::NoFocus);
  for (size_t i = 0; i < pages_.size(); ++i) {
    pages_[i] = BareWindow<SurfaceWidget>("TabWndClass", tabs_);
    pages_[i]->hide();  // the first refresh shows the selected page
  }
  QObject::connect(tabs_, &QTabWidget::currentChanged, [this](int index) {
    if (index < 0 || index == detailTabSelection) return;
    detailTabSelection = index;
    for (QWidget* p : pages_) p->hide();
    tabReloadFlag = 1;
    tabRepaintCountdown = 1;
  });
  // The map: an owned pop-up that follows the main window.
  QWidget* map = ctx_.points.createMapWindow ? ctx_.points.createMapWindow(*this) : nullptr;
  mapWindow_.reset(map ? map : BareWindow("JMapClass", this, Qt::Tool));
  mapWindow_->setWindowTitle(kMainTitle);
  mapWindow_->setGeometry(ToQRect(s.map));
  timedMessage_ = std::make_unique<TimedMessage>(this, ctx_.timers);
  move(s.main.left, s.main.top);
  resize(std::max(1, s.main.right - s.main.left), std::max(1, s.main.bottom - s.main.top));
  lastTopLeft_ = pos();
}

WindowRect LarkviewWindow::FrameRect() const {
  const QRect f = frameGeometry();
  return {f.left(), f.top(), f.left() + f.width(), f.top() + f.height()};
}

void LarkviewWindow::FitFrameToMainRect() {
  // The Main rectangle is the outer one, frame included; the frame's size is
  // known once the platform window exists.
  winId();
  const WindowRect m = ctx_.monitor.settings().main;
  const QRect f = frameGeometry(), g = geometry();
  resize(std::max(1, m.right - m.left - (f.width() - g.width())),
         std::max(1, m.bottom - m.top - (f.height() - g.height())));
  move(m.left, m.top);
  lastTopLeft_ = pos();
  Relayout();
}

void LarkviewWindow::ShowMapWindow() {
  ctx_.monitor.settings().viewFlags &= ~kViewMapClosed;
  mapWindow_->show();
  RedrawSurface();
}

// ---- commands and keys ----

void LarkviewWindow::SendCommand(int id, intptr_t lParam) {
  commandParam_ = lParam;
  auto it = commands_.find(id);
  if (it != commands_.end() && it->second) it->second();
}

bool LarkviewWindow::RightsAllowEdit() const {
  return !(ctx_.settings.accountsInUse && ctx_.settings.userLevel != 2);
}

void LarkviewWindow::OnKeyDown(int key, Qt::KeyboardModifiers mods) {
  const bool ctrl = mods & Qt::ControlModifier;
  switch (key) {
    case Qt::Key_Tab:
      SendCommand((mods & Qt::ShiftModifier) ? IDM_PREVIOUS_OBJECT : IDM_NEXT_OBJECT);
      break;
    case Qt::Key_Backtab:
      SendCommand(IDM_PREVIOUS_OBJECT);
      break;
    case Qt::Key_Return:
    case Qt::Key_Enter:
      if (!(ctx_.monitor.settings().viewFlags & kViewMapClosed)) CallPoint(ctx_.points.enterSelectedGroup);
      break;
    case Qt::Key_PageUp:
    case Qt::Key_Up:
      SendCommand(IDM_MOVE_UP);
      break;
    case Qt::Key_PageDown:
    case Qt::Key_Down:
      SendCommand(IDM_MOVE_DOWN);
      break;
    case Qt::Key_Left:
      SendCommand(IDM_PREVIOUS_OBJECT);
      break;
    case Qt::Key_Right:
      SendCommand(IDM_NEXT_OBJECT);
      break;
    case Qt::Key_Delete:
      if (RightsAllowEdit()) SendCommand(IDM_DELETE);
      break;
    case Qt::Key_V:
      if (ctrl && RightsAllowEdit()) SendCommand(IDM_PASTE);
      break;
    case Qt::Key_X:
      if (ctrl && RightsAllowEdit()) SendCommand(IDM_CUT);
      break;
    default:
      break;
  }
}

bool LarkviewWindow::event(QEvent* e) {
  // Tab and Shift+Tab are commands here, not focus moves.
  if (e->type() == QEvent::KeyPress) {
    auto* k = static_cast<QKeyEvent*>(e);
    if (k->key() == Qt::Key_Tab || k->key() == Qt::Key_Backtab) {
      OnKeyDown(k->key(), k->modifiers());
      return true;
    }
  }
  return QMainWindow::event(e);
}

void LarkviewWindow::keyPressEvent(QKeyEvent* e) { OnKeyDown(e->key(), e->modifiers()); }

void LarkviewWindow::keyReleaseEvent(QKeyEvent* e) { OnKeyUp(e->key()); }

void LarkviewWindow::OnKeyUp(int key) {
  if (key != Qt::Key_Control || (ctx_.monitor.settings().viewFlags & kViewMapClosed)) return;
  const DeviceNode* node = ctx_.points.mapSelectedNode ? ctx_.points.mapSelectedNode() : nullptr;
  if (node == nullptr) return;
  // The button-up the selected icon stands for (its place does not matter
  // here): it ends a splitter drag left behind; then the window repaints.
  OnMouseUp();
  RedrawSurface();
  repaint();
}

// ---- layout and pane edges ----

CanvasRect LarkviewWindow::deviceListArea() const {
  const WindowRect& l = ctx_.monitor.settings().list;
  return {l.left, l.top, l.right, l.bottom};
}

const QImage& LarkviewWindow::surface() const { return client_->surface; }
QWidget* LarkviewWindow::client() const { return client_; }

QRect LarkviewWindow::MapButtonRect() const {
  const WindowRect& l = ctx_.monitor.settings().list;
  return QRect(l.right, l.top, kMapButtonSize, kMapButtonSize);
}

void LarkviewWindow::Relayout() {
  if (client_ == nullptr || isMinimized()) return;
  MonitorSettings& s = ctx_.monitor.settings();
  s.main = FrameRect();
  const int cw = client_->width(), ch = client_->height();
  s.list.right = cw - kMapButtonSize;  // the map button sits right of the lists
  deviceList_->setGeometry(ToQRect(s.list));
  groupList_->setGeometry(0, 0, std::max(0, s.list.left - 3), s.list.bottom - s.list.top);
  s.general.bottom = ch;
  propertyPane_->setGeometry(ToQRect(s.general));
  tabArea_ = {s.general.right + 3, s.list.bottom + 3, cw, ch};
  tabs_->setGeometry(tabArea_.left, tabArea_.top, tabArea_.width(), tabArea_.height());
  // Pages at the control's top left, the strip below them.
  for (QWidget* p : pages_)
    p->setGeometry(0, 0, std::max(0, tabArea_.width() - 5),
                   std::max(0, tabArea_.height() - ctx_.fonts.valueLineHeight - 15));
  RedrawSurface();
}

void LarkviewWindow::RedrawSurface() {
  if (client_ == nullptr) return;
  QImage& img = client_->surface;
  if (img.size() != client_->size() || img.isNull()) img = QImage(client_->size().expandedTo({1, 1}), QImage::Format_RGB32);
  img.fill(QColor(192, 192, 192));  // the class's light grey background
  ImageCanvas c(&img);
  DrawPaneEdges(c, tabArea_, deviceListArea());
  const QRect b = MapButtonRect();
  DrawBitmap(c, MapButtonImage(!(ctx_.monitor.settings().viewFlags & kViewMapClosed)), b.left(), b.top());
  client_->update();
}

// ---- splitters and the map button ----

int LarkviewWindow::SplitterAt(QPoint p) const {
  const WindowRect& l = ctx_.monitor.settings().list;
  if (p.y() >= tabArea_.top - 3 && p.y() < tabArea_.top) return kDragListBottom;
  if (p.x() >= tabArea_.left - 3 && p.x() < tabArea_.left && p.y() >= tabArea_.top &&
      p.y() < tabArea_.bottom)
    return kDragPaneRight;
  if (p.x() >= l.left - 3 && p.x() < l.left && p.y() >= l.top && p.y() < l.bottom) return kDragListLeft;
  return kDragNone;
}

void LarkviewWindow::OnMouseMove(QPoint p) {
  if (dragMode_ == kDragNone) {
    if (QRect(MapButtonRect().left(), 0, kMapButtonSize, kMapButtonSize).contains(p)) {
      client_->setCursor(Qt::PointingHandCursor);
      return;
    }
    switch (SplitterAt(p)) {
      case kDragListBottom:
        client_->setCursor(Qt::SizeVerCursor);
        break;
      case kDragPaneRight:
      case kDragListLeft:
        client_->setCursor(Qt::SizeHorCursor);
        break;
      default:
        client_->setCursor(Qt::ArrowCursor);
    }
    return;
  }
  if (p == lastMouse_) return;
  lastMouse_ = p;
  MonitorSettings& s = ctx_.monitor.settings();
  const int cw = client_->width(), ch = client_->height();
  switch (dragMode_) {
    case kDragListBottom: {
      int y = p.y();
      if (y < 80) y = 80;
      if (y > ch - 100) y = ch - 100;
      s.list.bottom = y;
      s.general.top = y + 3;
      break;
    }
    case kDragPaneRight: {
      int x = p.x();
      if (x < 80) x = 0;  // the property pane collapses
      if (x > cw - 100) x = cw - 100;
      s.general.right = x;
      break;
    }
    case kDragListLeft:
      s.list.left = std::clamp(p.x() + 3, 3, 300);
      if (s.list.left > 35) CallPoint(ctx_.points.setGroupColumnWidth, s.list.left - 40);
      break;
    default:
      break;
  }
  Relayout();
}

void LarkviewWindow::OnMouseDown(QPoint p) {
  if (const int mode = SplitterAt(p); mode != kDragNone) {
    dragMode_ = mode;
    lastMouse_ = p;
    client_->setCursor(mode == kDragListBottom ? Qt::SizeVerCursor : Qt::SizeHorCursor);
    return;
  }
  if ((ctx_.monitor.settings().viewFlags & kViewMapClosed) && MapButtonRect().contains(p)) ShowMapWindow();
}

void LarkviewWindow::OnMouseUp() {
  if (dragMode_ == kDragNone) return;
  dragMode_ = kDragNone;
  RedrawSurface();
}

void LarkviewWindow::OnDoubleClick(QPoint p, QPoint global) {
  if ((ctx_.monitor.settings().viewFlags & kViewMapClosed) || !MapButtonRect().contains(p)) return;
  mapWindow_->move(global.x() - mapWindow_->frameGeometry().width(), global.y());
}

void LarkviewWindow::moveEvent(QMoveEvent* e) {
  const QPoint now = pos();
  if (now != lastTopLeft_ && mapWindow_) {
    mapWindow_->move(mapWindow_->pos() + (now - lastTopLeft_));
    lastTopLeft_ = now;
  }
  QMainWindow::moveEvent(e);
}

// ---- timers ----

void LarkviewWindow::OnSecondTimer() {
  const std::vector<NamedStep> steps = {
      {"TimedMessageReshow", [&] { timedMessage_->OnSecondTick(); return true; }},
      {"LinkStartReconnectConnect", [&] { CallPoint(ctx_.points.linkSecondSteps); return true; }},
      {"RefreshLists", [&] { CallPoint(ctx_.points.refreshLists); return true; }},
      {"SoundRepeatCounters", [&] { CallPoint(ctx_.points.decrementSoundCounters); return true; }},
      {"ScheduleMinute",
       [&] {
         const WallTime t = ctx_.clock().now();
         const int minute = (t.day * 24 + t.hour) * 60 + t.minute;
         if (minute != lastMinute_) {
           CallPoint(ctx_.points.findNextScheduledActions);
           if (ctx_.points.isSelectedTab && ctx_.points.isSelectedTab(kScheduleTab)) tabReloadFlag = 1;
           lastMinute_ = minute;
         }
         return true;
       }},
      {"RefreshDetailTabs", [&] { CallPoint(ctx_.points.refreshDetailTabs, 0); return true; }},
      {"AlarmChecksEverySecondTick",
       [&] {
         if (secondCount_ % 2 == 0) CallPoint(ctx_.points.updateAlarmLevels);
         if (secondCount_ % 2 == 0) CallPoint(ctx_.points.alarmChecks);
         return true;
       }},
      {"CountSecond", [&] { ++secondCount_; return true; }},
  };
  RunSteps(steps);
}

void LarkviewWindow::OnRepaintTimer() {
  if (tabRepaintCountdown != 0 && --tabRepaintCountdown == 0) CallPoint(ctx_.points.refreshDetailTabs, 1);
  CallPoint(ctx_.points.pumpLinkQueue, 2);
}

void LarkviewWindow::OnLinkTimer() { CallPoint(ctx_.points.linkTick); }

// ---- close and destroy ----

bool LarkviewWindow::OnClose() {
  if (ctx_.tree.clipboard() != nullptr &&
      ctx_.ShowLangMessageBox(this, 11, kMainTitle, MB_YESNO | MB_ICONQUESTION) == IDNO)
    return false;
  SendCommand(IDM_EXIT);
  return true;
}

void LarkviewWindow::closeEvent(QCloseEvent* e) {
  e->ignore();  // the window goes only through IDM_EXIT
  if (!destroyed_) OnClose();
}

void LarkviewWindow::OnExit() {
  if (ctx_.mapDirty && ctx_.ShowLangMessageBox(this, 4, kMainTitle, MB_YESNO | MB_ICONQUESTION) == IDYES) {
    CallPoint(ctx_.points.saveMapDialog);
    setWindowTitle(kMainTitle);
    ctx_.mapDirty = false;
  }
  if (ctx_.ShowLangMessageBox(this, 5, kMainTitle, MB_YESNO | MB_ICONQUESTION) == IDNO) return;
  CallPoint(ctx_.points.readColumnWidths);
  ctx_.monitor.SaveConsoleSettings(ctx_.texts.columns);
  Destroy();
}

void LarkviewWindow::Destroy() {
  if (destroyed_) return;
  destroyed_ = true;
  const std::vector<NamedStep> steps = {
      // A dialog still running would act on the tree and the link freed below.
      {"EndRunningDialogs", [&] { ctx_.dialogs.EndRunningDialogs(); return true; }},
      {"FreePendingReportMail", [&] { CallPoint(ctx_.points.freePendingReportMail); return true; }},
      {"SaveWindowRects",
       [&] {
         ctx_.monitor.settings().main = FrameRect();
         CallPoint(ctx_.points.readColumnWidths);
         ctx_.monitor.SaveWindowRects();
         ctx_.monitor.Save();
         return true;
       }},
      {"PostProgramEnd",
       [&] {
         CallPoint(ctx_.points.postProgramEnd, std::string(ctx_.texts.language.systemMessage(5)));
         return true;
       }},
      {"KillListTimers",
       [&] {
         ctx_.timers.Kill(deviceList_, IDT_SECOND);
         ctx_.timers.Kill(groupList_, IDT_SECOND);
         return true;
       }},
      {"CloseLink", [&] { CallPoint(ctx_.points.closeLink); return true; }},
      {"FreeTree", [&] { Tree_FreeAll(ctx_.tree); return true; }},
      {"FreeTexts",
       [&] {
         ctx_.texts.status = ConsoleStatusTexts();
         ctx_.texts.language = InitialLanguageTexts();
         return true;
       }},
      {"PostQuit",
       [&] {
         hide();
         mapWindow_->hide();
         CallPoint(ctx_.quit, 0);
         return true;
       }},
  };
  RunSteps(steps);
}

}  // namespace lark
