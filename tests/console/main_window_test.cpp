// The console's start-up, main window and shutdown on a temp install folder
// with a fake clock and scripted message boxes.
#include "console/shell/main_window.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QLineEdit>
#include <QKeyEvent>
#include <cstdio>
#include <deque>

#include "console/shell/dialog_texts.h"
#include "console/shell/larkview.h"
#include "console/tabs/detail_tabs.h"
#include "console/views/image_canvas.h"
#include "core/device_node.h"
#include "platform/paths.h"
#include "tests/support/temp_dir.h"

namespace lark {
namespace {

constexpr WorkArea kArea{0, 0, 1280, 800};

struct Console {
  test::TempDir dir;
  FakeClock clock{0, WallTime{2026, 5, 4, 1, 10, 0, 0, 0}};
  std::unique_ptr<ConsoleContext> ctx;
  std::unique_ptr<LarkviewWindow> w;
  std::deque<int> answers;        // message box answers, IDYES when empty
  std::vector<std::string> asked;  // the message texts shown
  int quitCode = -1;

  Console() {
    MakeDirs(dir.file("English"));
    WriteFileAtomic(dir.file("English/language.ini"),
                    ReadFile(test::SourcePath("data/English/language.ini")).value());
  }
  std::string start() {
    ctx = std::make_unique<ConsoleContext>(dir.path(), clock, kArea);
    ctx->messageBox = [this](QWidget*, const std::string&, const std::string& text, unsigned) {
      asked.push_back(text);
      if (answers.empty()) return static_cast<int>(IDYES);
      const int a = answers.front();
      answers.pop_front();
      return a;
    };
    ctx->quit = [this](int code) { quitCode = code; };
    InstallDetailTabs(*ctx);
    std::string failed;
    w = StartConsole(*ctx, &failed);
    return failed;
  }
  void stop() {
    if (!w->destroyed()) w->SendCommand(IDM_EXIT);
    ShutdownConsole(*ctx, *w);
    w.reset();
    ctx.reset();
  }
  ~Console() {
    if (w) stop();
  }
  MonitorSettings& s() { return ctx->monitor.settings(); }
};

TEST(MainWindowTest, FreshInstallStartsAtTheDefaultsAndWritesTheSameFileTwice) {
  Console c;
  ASSERT_EQ(c.start(), "");
  LarkviewWindow& w = *c.w;
  EXPECT_EQ(w.windowTitle().toStdString(), "Gridwarden Manager");
  EXPECT_EQ(w.mapWindow()->geometry(), QRect(854, 0, 426, 426));  // a square at the top right
  EXPECT_TRUE(w.mapWindow()->isVisible());
  EXPECT_EQ(w.mapWindow()->objectName().toStdString(), "JMapClass");
  EXPECT_EQ(FindControl(w.client(), kDeviceListId), w.deviceList());
  EXPECT_EQ(FindControl(w.client(), kGroupListId), w.groupList());
  EXPECT_EQ(FindControl(w.client(), kTabControlId), w.tabControl());
  EXPECT_EQ(w.propertyPane()->geometry().left(), 0);
  EXPECT_EQ(w.propertyPane()->geometry().top(), 203);
  const std::pair<const QObject*, int> timers[] = {{&w, IDT_SECOND}, {&w, IDT_REPAINT}, {&w, IDT_QUEUE3},
                                                   {&w, IDT_QUEUE5}, {&w, IDT_LINK}, {w.deviceList(), IDT_SECOND},
                                                   {w.groupList(), IDT_SECOND}, {w.mapWindow(), IDT_SECOND}};
  const int periods[] = {1000, 100, 100, 500, 100, 1000, 1000, 1000};
  for (size_t i = 0; i < std::size(timers); ++i)
    EXPECT_EQ(c.ctx->timers.Period(timers[i].first, timers[i].second), periods[i]) << i;
  EXPECT_EQ(w.menus().item(kMenuMain, IDM_EXIT)->text().toStdString(), "E&xit");
  w.grab();  // the first paint makes the back buffer and arms the tab repaint
  EXPECT_NE(c.ctx->backBuffer.canvas(), nullptr);
  EXPECT_EQ(w.tabRepaintCountdown, 1);
  c.stop();
  EXPECT_EQ(c.quitCode, 0);
  const std::string first = ReadFile(c.dir.file("monitor.ini")).value();
  EXPECT_NE(first.find("Main.right=1280"), std::string::npos) << first.substr(0, 600);
  EXPECT_NE(first.find("Enable.1=Enable"), std::string::npos);
  ASSERT_EQ(c.start(), "");
  c.stop();
  EXPECT_EQ(ReadFile(c.dir.file("monitor.ini")).value(), first);
}

TEST(MainWindowTest, SplittersStopAtTheirLimits) {
  Console c;
  ASSERT_EQ(c.start(), "");
  LarkviewWindow& w = *c.w;
  const int cw = w.client()->width(), ch = w.client()->height();
  struct Case {
    const char* name;
    std::function<QPoint()> grip;
    QPoint to;
    std::function<int()> value;
    int want;
  } cases[] = {
      {"list bottom above 80", [&] { return QPoint(500, w.tabArea().top - 2); }, {500, 10},
       [&] { return c.s().list.bottom; }, 80},
      {"list bottom near the client bottom", [&] { return QPoint(500, w.tabArea().top - 2); }, {500, ch},
       [&] { return c.s().list.bottom; }, ch - 100},
      {"property pane collapses", [&] { return QPoint(w.tabArea().left - 2, w.tabArea().top + 20); }, {50, 400},
       [&] { return c.s().general.right; }, 0},
      {"property pane right limit", [&] { return QPoint(w.tabArea().left - 2, w.tabArea().top + 20); }, {cw, 400},
       [&] { return c.s().general.right; }, cw - 100},
      {"group border left", [&] { return QPoint(c.s().list.left - 2, 20); }, {-50, 20},
       [&] { return c.s().list.left; }, 3},
      {"group border right", [&] { return QPoint(c.s().list.left - 2, 20); }, {600, 20},
       [&] { return c.s().list.left; }, 300},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(k.name);
    w.OnMouseDown(k.grip());
    ASSERT_NE(w.dragMode(), kDragNone);
    w.OnMouseMove(k.to);
    EXPECT_EQ(k.value(), k.want);
    w.OnMouseUp();
    EXPECT_EQ(w.dragMode(), kDragNone);
  }
  // The tab area follows, and its grooves are drawn along it.
  EXPECT_EQ(w.tabArea().left, c.s().general.right + 3);
  ImageCanvas probe(const_cast<QImage*>(&w.surface()));
  EXPECT_EQ(probe.Pixel(w.tabArea().left + 30, w.tabArea().top - 3), SysColorValue(kColorBtnHighlight));
  EXPECT_EQ(probe.Pixel(w.tabArea().left + 30, w.tabArea().top - 1), SysColorValue(kColorBtnShadow));
}

// Letting Ctrl go with the map shown and a node selected stands for a
// button-up at that icon: a splitter drag ends.
TEST(MainWindowTest, CtrlKeyUpEndsADragWhileANodeIsSelected) {
  Console c;
  ASSERT_EQ(c.start(), "");
  LarkviewWindow& w = *c.w;
  DeviceNode node;
  struct Case {
    const char* name;
    bool selected, mapClosed;
    int key;
    bool ends;
  } cases[] = {
      {"selected node", true, false, Qt::Key_Control, true},
      {"no selection", false, false, Qt::Key_Control, false},
      {"map closed", true, true, Qt::Key_Control, false},
      {"another key", true, false, Qt::Key_Shift, false},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    c.ctx->points.mapSelectedNode = [&] { return k.selected ? &node : nullptr; };
    if (k.mapClosed) c.s().viewFlags |= kViewMapClosed;
    w.OnMouseDown(QPoint(c.s().list.left - 2, 20));  // the group border
    ASSERT_NE(w.dragMode(), kDragNone);
    QKeyEvent release(QEvent::KeyRelease, k.key, Qt::NoModifier);
    QApplication::sendEvent(&w, &release);
    EXPECT_EQ(w.dragMode() == kDragNone, k.ends);
    w.OnMouseUp();
    c.s().viewFlags &= ~kViewMapClosed;
  }
}

// F1 in a dialog opens the shipped manual; elsewhere, or with no manual
// installed, it does nothing.
TEST(MainWindowTest, F1InADialogOpensTheManual) {
  Console c;
  ASSERT_EQ(c.start(), "");
  std::vector<std::vector<std::string>> spawned;
  c.ctx->spawn = [&](const std::vector<std::string>& argv, const std::vector<std::string>&) {
    spawned.push_back(argv);
    return pid_t(1);
  };
  QDialog dialog(c.w.get());
  auto* field = new QLineEdit(&dialog);
  const auto f1 = [](QWidget* to) {
    QKeyEvent press(QEvent::KeyPress, Qt::Key_F1, Qt::NoModifier);
    QApplication::sendEvent(to, &press);
  };
  f1(field);
  EXPECT_TRUE(spawned.empty()) << "no manual installed";
  const std::string manual = c.dir.file("manual.pdf");
  ASSERT_TRUE(WriteFileAtomic(manual, "%PDF-1.4\n"));
  f1(field);
  f1(c.w.get());  // the main window is no dialog
  EXPECT_EQ(spawned, (std::vector<std::vector<std::string>>{{"xdg-open", manual}}));
}

TEST(MainWindowTest, MapButtonAndMapWindowFollowing) {
  Console c;
  ASSERT_EQ(c.start(), "");
  LarkviewWindow& w = *c.w;
  c.s().viewFlags |= kViewMapClosed;
  w.mapWindow()->hide();
  w.OnMouseDown(QPoint(c.s().list.right + 3, c.s().list.top + 3));  // the map button
  EXPECT_TRUE(w.mapWindow()->isVisible());
  EXPECT_FALSE(c.s().viewFlags & kViewMapClosed);
  const QPoint map = w.mapWindow()->pos();
  w.move(w.pos() + QPoint(30, 20));
  QApplication::processEvents();
  EXPECT_EQ(w.mapWindow()->pos(), map + QPoint(30, 20));
  // A double click on the button puts the map's right edge and top at the cursor.
  w.OnDoubleClick(QPoint(c.s().list.right + 3, c.s().list.top + 3), QPoint(900, 300));
  EXPECT_EQ(w.mapWindow()->frameGeometry().right() + 1, 900);
  EXPECT_EQ(w.mapWindow()->frameGeometry().top(), 300);
}

TEST(MainWindowTest, TabChangeHidesThePagesAndArmsTheRepaint) {
  Console c;
  ASSERT_EQ(c.start(), "");
  LarkviewWindow& w = *c.w;
  w.tabReloadFlag = 0;
  w.tabRepaintCountdown = 0;
  w.tabControl()->setCurrentIndex(2);
  EXPECT_EQ(w.detailTabSelection, 2);
  EXPECT_EQ(w.tabReloadFlag, 1);
  EXPECT_EQ(w.tabRepaintCountdown, 1);
  EXPECT_EQ(w.tabControl()->tabText(2).toStdString(), "Module");
}

TEST(MainWindowTest, KeysSendTheirCommandsGatedByRights) {
  Console c;
  ASSERT_EQ(c.start(), "");
  LarkviewWindow& w = *c.w;
  std::vector<int> sent;
  for (int id = kFirstMenuCommand; id <= kLastMenuCommand; ++id)
    if (id != IDM_EXIT) w.setCommand(id, [&sent, id] { sent.push_back(id); });
  struct Case {
    int key;
    Qt::KeyboardModifiers mods;
    bool accounts;
    int level;
    std::vector<int> want;
  } cases[] = {
      {Qt::Key_Tab, Qt::NoModifier, false, 0, {IDM_NEXT_OBJECT}},
      {Qt::Key_Tab, Qt::ShiftModifier, false, 0, {IDM_PREVIOUS_OBJECT}},
      {Qt::Key_Backtab, Qt::ShiftModifier, false, 0, {IDM_PREVIOUS_OBJECT}},
      {Qt::Key_PageUp, Qt::NoModifier, false, 0, {IDM_MOVE_UP}},
      {Qt::Key_Down, Qt::NoModifier, false, 0, {IDM_MOVE_DOWN}},
      {Qt::Key_Delete, Qt::NoModifier, false, 0, {IDM_DELETE}},  // no accounts: anyone
      {Qt::Key_Delete, Qt::NoModifier, true, 0, {}},             // nobody logged in
      {Qt::Key_Delete, Qt::NoModifier, true, 1, {}},
      {Qt::Key_Delete, Qt::NoModifier, true, 2, {IDM_DELETE}},
      {Qt::Key_X, Qt::ControlModifier, true, 2, {IDM_CUT}},
      {Qt::Key_X, Qt::ControlModifier, true, 1, {}},
      {Qt::Key_V, Qt::ControlModifier, false, 0, {IDM_PASTE}},
      {Qt::Key_V, Qt::ControlModifier, true, 0, {}},
      {Qt::Key_V, Qt::NoModifier, false, 0, {}},
  };
  for (const auto& k : cases) {
    c.ctx->settings.accountsInUse = k.accounts;
    c.ctx->settings.userLevel = k.level;
    sent.clear();
    QKeyEvent press(QEvent::KeyPress, k.key, k.mods);
    QApplication::sendEvent(&w, &press);
    EXPECT_EQ(sent, k.want) << k.key << " level " << k.level;
  }
}

TEST(MainWindowTest, ClosingWithACutNodeAsksFirst) {
  Console c;
  ASSERT_EQ(c.start(), "");
  c.ctx->tree.setClipboard(std::make_unique<DeviceNode>());
  c.answers = {IDNO};
  EXPECT_FALSE(c.w->OnClose());  // M_11 "No": the program stays
  EXPECT_EQ(c.asked.size(), 1u);
  EXPECT_NE(c.asked[0].find("cut"), std::string::npos);
  EXPECT_EQ(c.quitCode, -1);
  c.answers = {IDYES, IDNO};  // M_11 "Yes", M_5 "No": still running
  EXPECT_TRUE(c.w->OnClose());
  EXPECT_EQ(c.quitCode, -1);
  c.answers = {IDYES, IDYES};
  EXPECT_TRUE(c.w->OnClose());
  EXPECT_EQ(c.quitCode, 0);
  EXPECT_TRUE(c.w->destroyed());
}

TEST(MainWindowTest, TimerStepsWithAFakeClock) {
  Console c;
  ASSERT_EQ(c.start(), "");
  LarkviewWindow& w = *c.w;
  int alarmChecks = 0, schedules = 0, refresh0 = 0, refresh1 = 0, pumps = 0;
  c.ctx->points.alarmChecks = [&] { ++alarmChecks; };
  c.ctx->points.findNextScheduledActions = [&] { ++schedules; };
  c.ctx->points.refreshDetailTabs = [&](int full) { ++(full ? refresh1 : refresh0); };
  c.ctx->points.pumpLinkQueue = [&](int q) { pumps += q == 2; };
  w.detailTabSelection = kScheduleTab;
  for (int i = 0; i < 4; ++i) {
    w.tabReloadFlag = 0;
    w.OnSecondTimer();
    EXPECT_EQ(w.tabReloadFlag, i == 0 ? 1 : 0) << i;  // the first tick is a new minute
    c.clock.advance(1000);
  }
  EXPECT_EQ(alarmChecks, 2);  // every second tick
  EXPECT_EQ(schedules, 1);
  EXPECT_EQ(refresh0, 4);
  c.clock.advance(60000);
  w.OnSecondTimer();
  EXPECT_EQ(schedules, 2);
  EXPECT_EQ(w.tabReloadFlag, 1);

  w.tabRepaintCountdown = 1;
  w.OnRepaintTimer();
  w.OnRepaintTimer();
  EXPECT_EQ(refresh1, 1);
  EXPECT_EQ(pumps, 2);

  // The timed message's re-show rides on the one-second step.
  w.timedMessage().ShowLangMessageDialog(c.ctx->languageProfile(), 56, kMainTitle, 1);
  w.timedMessage().OnDialogTimer();
  ASSERT_FALSE(w.timedMessage().isOpen());
  for (int i = 0; i < 300; ++i) w.OnSecondTimer();
  EXPECT_TRUE(w.timedMessage().isOpen());
}

TEST(MainWindowTest, AFailedStartSaysWhichStepAndExitsNonZero) {
  Console c;
  c.ctx = std::make_unique<ConsoleContext>(c.dir.file("missing"), c.clock, kArea);
  std::string failed;
  EXPECT_EQ(StartConsole(*c.ctx, &failed), nullptr);
  EXPECT_EQ(failed, "ReadInstallDir");
  c.ctx.reset();

  const std::string cmd = "LARK_STATE_DIR=" + c.dir.file("state") + " LARK_INSTALL_DIR=" + c.dir.file("missing") +
                          " QT_QPA_PLATFORM=offscreen ASAN_OPTIONS=detect_leaks=0 " +
                          test::BuiltProgram("console/shell/Larkview") + " 2>&1";
  FILE* p = popen(cmd.c_str(), "r");
  ASSERT_NE(p, nullptr);
  std::string out;
  char buf[256];
  while (fgets(buf, sizeof buf, p)) out += buf;
  const int status = pclose(p);
  EXPECT_EQ(WEXITSTATUS(status), 1);
  EXPECT_NE(out.find("start-up failed at step ReadInstallDir"), std::string::npos) << out;
}

// The render tool, run as a person would: a picture of the main window with
// the grooves along its pane splitters, and one of the map window.
TEST(RenderToolTest, WritesTheWindowsWithTheirPaneEdges) {
  Console c;
  const std::string cmd = "LARK_STATE_DIR=" + c.dir.file("state") + " ASAN_OPTIONS=detect_leaks=0 " +
                          test::BuiltProgram("tools/larkview_render/larkview_render") + " " + c.dir.path() +
                          " 0 " + c.dir.file("main.png") + " " + c.dir.file("map.png") + " 2>/dev/null";
  ASSERT_EQ(std::system(cmd.c_str()), 0);
  QImage main(QString::fromStdString(c.dir.file("main.png")));
  ASSERT_FALSE(main.isNull());
  EXPECT_FALSE(QImage(QString::fromStdString(c.dir.file("map.png"))).isNull());
  int grooves = 0;  // highlight, window, shadow from the outside in, below the lists
  for (int y = 0; y + 2 < main.height(); ++y) {
    grooves += main.pixelColor(5, y) == QColor(255, 255, 255) && main.pixelColor(5, y + 1) == QColor(255, 255, 255) &&
               main.pixelColor(5, y + 2) == QColor(128, 128, 128);
  }
  EXPECT_EQ(grooves, 1);
  EXPECT_TRUE(FileExists(c.dir.file("monitor.ini")));
}

// The render tool on the demo map: `--select` puts the device in the property
// pane, `--tab` shows the slot's page; an unknown title fails the run.
TEST(RenderToolTest, SelectsADeviceAndATab) {
  Console c;
  MakeDirs(c.dir.file("Monitor"));
  WriteFileAtomic(c.dir.file("Monitor/Demo.UMF"), ReadFile(test::SourcePath("data/Demo.UMF")).value());
  // No link: a service that happens to listen on this machine would replace the map.
  WriteFileAtomic(c.dir.file("monitor.ini"), "[Startup Config]\r\nAuto Connect=0\r\n");
  auto render = [&](const std::string& options, const std::string& png) {
    const std::string cmd = "LARK_STATE_DIR=" + c.dir.file("state") + " ASAN_OPTIONS=detect_leaks=0 " +
                            test::BuiltProgram("tools/larkview_render/larkview_render") + " " + options + " " +
                            c.dir.path() + " 0 " + c.dir.file(png) + " " + c.dir.file("map.png") +
                            " Demo.UMF 2>/dev/null";
    const int status = std::system(cmd.c_str());
    return WEXITSTATUS(status);
  };
  ASSERT_EQ(render("", "plain.png"), 0);
  ASSERT_EQ(render("--select 'UPS 1' --tab 0", "summary.png"), 0);
  ASSERT_EQ(render("--tab 2 --select 'UPS 1'", "module.png"), 0);
  EXPECT_EQ(render("--select Nobody", "none.png"), 1);
  EXPECT_EQ(render("--tab 6", "none.png"), 2);
  const auto image = [&](const std::string& png) { return QImage(QString::fromStdString(c.dir.file(png))); };
  const QImage plain = image("plain.png"), summary = image("summary.png"), module = image("module.png");
  ASSERT_FALSE(summary.isNull());
  ASSERT_EQ(summary.size(), module.size());
  // The pane (left) and the page (right of it) below the lists.
  const auto differs = [](const QImage& a, const QImage& b, int x0, int x1) {
    for (int y = a.height() / 2; y < a.height(); ++y)
      for (int x = x0; x < x1; ++x)
        if (a.pixel(x, y) != b.pixel(x, y)) return true;
    return false;
  };
  const int paneRight = 120;
  EXPECT_TRUE(differs(plain, summary, 0, paneRight));  // the device's name and model rows
  EXPECT_FALSE(differs(summary, module, 0, paneRight));
  EXPECT_TRUE(differs(summary, module, paneRight + 20, summary.width()));
}

}  // namespace
}  // namespace lark
