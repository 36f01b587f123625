// The log and report dialogs against the built Larkcore on the demo folder,
// in its own network namespace: All Event Log downloads the service's own
// Demo/Event.log and lists today's lines, and Generate Report for today
// writes the reports into the service's Report folder.
#include <gtest/gtest.h>
#include <time.h>

#include <QApplication>
#include <QCalendarWidget>
#include <chrono>

#include "console/dialogs/console_dialogs.h"
#include "console/dialogs/event_log_dialog.h"
#include "console/dialogs/report_dialog.h"
#include "console/shell/console_link.h"
#include "console/shell/larkview.h"
#include "console/shell/main_window.h"
#include "console/shell/menu_commands.h"
#include "platform/paths.h"
#include "platform/profile.h"
#include "tests/support/demo_install.h"
#include "tests/support/netns.h"
#include "tests/support/service_process.h"
#include "tests/support/temp_dir.h"

namespace lark {
namespace {

bool Spin(const std::function<bool()>& done, int ms) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (std::chrono::steady_clock::now() < end) {
    QApplication::processEvents(QEventLoop::AllEvents, 10);
    if (done()) return true;
  }
  return false;
}

class LogDialogsLarkcore : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!test::EnterPrivateNetwork()) GTEST_SKIP() << "no private network namespace";
    ASSERT_TRUE(test::CopyDemoInstall(service.path()));
    larkcore = std::make_unique<test::ServiceProcess>(service.path());
    ASSERT_TRUE(larkcore->start());
    ASSERT_TRUE(larkcore->waitForOutput("running on", 30000)) << larkcore->output();
    clock.setUtc(::time(nullptr));  // the service dates its lines by the real day
    MakeDirs(console.file("English"));
    WriteFileAtomic(console.file("English/language.ini"), "");
    for (const char* key : {"MSG1", "MSG2", "MSG3"}) {
      WriteProfileString(console.file("English/language.ini"), "Dialog-EventLog", key, key);
      WriteProfileString(console.file("English/language.ini"), "Dialog-Generate Report", key, key);
    }
    ctx = std::make_unique<ConsoleContext>(console.path(), clock, WorkArea{0, 0, 1280, 800});
    ctx->messageBox = [](QWidget*, const std::string&, const std::string&, unsigned) {
      return int(IDOK);
    };
    ctx->quit = [](int) {};
    link = std::make_unique<ConsoleLink>(*ctx);
    link->Wire();
    std::string failed;
    w = StartConsole(*ctx, &failed);
    ASSERT_TRUE(w) << failed;
    link->link().setServer("127.0.0.2");
    link->link().setAutoConnect(true);
    ASSERT_TRUE(Spin(
        [&] {
          return link->link().state() == LinkState{7, 0};
        },
        20000))
        << larkcore->output();
    env = std::make_unique<ConsoleDialogs>(*ctx, link->link(), nullptr);
    RegisterEventLogDialog(*env);
    RegisterReportDialog(*env);
  }
  void TearDown() override {
    env.reset();
    if (w) {
      w->SendCommand(IDM_EXIT);
      ShutdownConsole(*ctx, *w);
    }
    w.reset();
    link.reset();
  }

  test::TempDir service, console;
  FakeClock clock{1000};
  std::unique_ptr<test::ServiceProcess> larkcore;
  std::unique_ptr<ConsoleContext> ctx;
  std::unique_ptr<ConsoleLink> link;
  std::unique_ptr<LarkviewWindow> w;
  std::unique_ptr<ConsoleDialogs> env;
};

TEST_F(LogDialogsLarkcore, AllEventLogListsTheServicesLinesOfToday) {
  ASSERT_TRUE(Spin([&] { return FileExists(service.file("Demo/Event.log")); }, 10000));
  EventLogDialog d(*env, -1, nullptr);
  d.Init();
  ASSERT_TRUE(Spin([&] { return d.windowTitle().endsWith("MSG3"); }, 20000))
      << d.windowTitle().toStdString();
  // The download is the service's file as it was; the rows are its lines of
  // today, the service's own under "System".
  const std::string copy = ReadFile(console.file("Monitor/Event.log")).value();
  EXPECT_EQ(ReadFile(service.file("Demo/Event.log")).value().substr(0, copy.size()), copy);
  const NodeTitleFn titles = [this](int32_t id) -> std::optional<std::string> {
    const DeviceNode* n = Tree_FindNodeById(ctx->tree, id);
    return n ? std::optional<std::string>(n->title()) : std::nullopt;
  };
  EXPECT_EQ(d.rows(), EventLogFileRows(copy, d.choice(), titles));
  ASSERT_FALSE(d.rows().empty());
  EXPECT_EQ(d.rows().front().cells[0], "System");
}

TEST_F(LogDialogsLarkcore, GenerateReportForTodayWritesTheReportFolder) {
  ReportDialog d(*env, nullptr);
  d.Init();
  QCalendarWidget* start = dynamic_cast<QCalendarWidget*>(d.Control(1051));
  start->setSelectedDate(dynamic_cast<QCalendarWidget*>(d.Control(1052))->selectedDate());
  d.Generate();
  ASSERT_TRUE(Spin([&] { return d.closing(); }, 10000));
  EXPECT_TRUE(d.windowTitle().endsWith("MSG3")) << d.windowTitle().toStdString();
  EXPECT_TRUE(Spin([&] { return FileExists(service.file("Report/Main.xls")); }, 20000));
  EXPECT_TRUE(Spin([&] { return FileExists(service.file("Report/UPS 1_2.xls")); }, 20000));
}

}  // namespace
}  // namespace lark
