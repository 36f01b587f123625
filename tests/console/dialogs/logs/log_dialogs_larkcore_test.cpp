// The log and report dialogs against the built Larkcore on the demo folder,
// in its own network namespace: All Event Log downloads the service's own
// Demo/Event.log and lists today's lines, or with the SQLite database takes
// its rows in pages; Generate Report for today writes the reports into the
// service's Report folder; the UPS logs of both kinds come from the
// simulators; a stopped service ends every request at its time-out.
#include <time.h>

#include <QCalendarWidget>
#include <QTimer>

#include "console/dialogs/logs/event_log_dialog.h"
#include "console/dialogs/logs/report_dialog.h"
#include "console/dialogs/logs/ups_log_dialog.h"
#include "tests/console/support/larkcore_console.h"
#include "tests/support/link_test_client.h"

namespace lark {
namespace {

using test::Spin;

// A process stopped by the test goes on however the test ends.
struct Resume {
  pid_t pid;
  ~Resume() { kill(pid, SIGCONT); }
};

class LogDialogsLarkcore : public test::LarkcoreConsole {
 protected:
  // The cases choose the demo's size and its simulators, then start.
  void SetUp() override { ASSERT_NO_FATAL_FAILURE(EnterNamespaces()); }
  // The demo with the map's nodes 0..keep-1, its serial lines polled fast.
  void install(int keep = 3) {
    demoNodes = keep;
    ASSERT_NO_FATAL_FAILURE(MakeInstall());
    ASSERT_TRUE(WriteProfileString(service.file("manager.ini"), "Polling", "Serial Polling", "20"));
    ASSERT_TRUE(MakeDirs(service.file("ports")));
  }
  // The service, then a console linked to it with the log dialogs.
  void start() {
    ASSERT_NO_FATAL_FAILURE(StartService());
    clock.setUtc(::time(nullptr));  // the service dates its lines by the real day
    ASSERT_NO_FATAL_FAILURE(StartConsole());
  }
  void ConsoleFiles() override {
    MakeDirs(console.file("English"));
    WriteFileAtomic(console.file("English/language.ini"), "");
    for (const char* key : {"MSG1", "MSG2", "MSG3"}) {
      WriteProfileString(console.file("English/language.ini"), "Dialog-EventLog", key, key);
      WriteProfileString(console.file("English/language.ini"), "Dialog-Generate Report", key, key);
      WriteProfileString(console.file("English/language.ini"), "Dialog-UPS Event Log", key, key);
    }
  }
  void Install() override {
    RegisterEventLogDialog(*env);
    RegisterReportDialog(*env);
  }
};

TEST_F(LogDialogsLarkcore, AllEventLogListsTheServicesLinesOfToday) {
  ASSERT_NO_FATAL_FAILURE(install());
  ASSERT_NO_FATAL_FAILURE(start());
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
  ASSERT_NO_FATAL_FAILURE(install());
  ASSERT_NO_FATAL_FAILURE(start());
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

// The UPSs' own logs through the service: the three-phase UPS (node 13 on
// COM2) with 100 records, the ASCII UPS (node 2 on COM1) that keeps its log
// as records (capability bit 26, list AL2 entry 13) with 60; each written to
// its file and handed to the opener; then a read whose progress stops.
TEST_F(LogDialogsLarkcore, UpsLogsOfBothKindsAreWrittenAndOpened) {
  ASSERT_NO_FATAL_FAILURE(install(14));
  const std::string ports = service.file("ports");
  test::Simulator three("ups3_sim",
                        {"--pty-dir", ports, "--com", "2", "--ups", "1", "--events", "100"});
  test::Simulator ascii("ups_sim", {"--pty-dir", ports, "--com", "1", "--ups", "1", "--al2",
                                    "0010000001100100000000000", "--events", "60"});
  ASSERT_TRUE(
      Spin([&] { return FileExists(ports + "/COM1") && FileExists(ports + "/COM2"); }, 20000));
  ASSERT_NO_FATAL_FAILURE(start());
  RegisterUpsLogDialog(*env);
  struct Case {
    int16_t id;
    std::string file;
    const char* columns;
    size_t entries;
  } cases[] = {{13, "Monitor/UPSEventLog_Three-phase UPS(13).txt", "Index\t", 100},
               {2, "Monitor/UPSEventLog_UPS 1(2).txt", "ID\t", 60}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    DeviceNode* node = Tree_FindNodeById(ctx->tree, c.id);
    ASSERT_NE(node, nullptr);
    std::vector<std::string> opened;
    UpsLogDialog d(*env, *node, nullptr);
    d.openFile = [&](const std::string& path) { opened.push_back(path); };
    d.Init();
    ASSERT_TRUE(Spin([&] { return !opened.empty() || d.closing(); }, 20000))
        << d.windowTitle().toStdString();
    EXPECT_EQ(d.result(), 1) << d.windowTitle().toStdString();
    EXPECT_EQ(opened, std::vector<std::string>{console.file(c.file)});
    const std::string text = ReadFile(console.file(c.file)).value_or("");
    std::vector<std::string> lines;
    for (size_t at = 0, end; (end = text.find("\r\n", at)) != std::string::npos; at = end + 2)
      lines.push_back(text.substr(at, end - at));
    ASSERT_GE(lines.size(), 5u) << text;
    EXPECT_EQ(lines[0], "UPS Title=" + node->title());
    EXPECT_EQ(lines[1].rfind("UPS Model=", 0), 0u);
    EXPECT_EQ(lines[2], "UPS ID=1");
    EXPECT_EQ(lines[3].rfind("Download Time=", 0), 0u);
    EXPECT_EQ(lines[4].rfind(c.columns, 0), 0u) << lines[4];
    EXPECT_EQ(lines.size() - 5, c.entries) << text;
  }

  // The three-phase UPS stops answering: the service's progress stands
  // still, and ten replies without progress end the dialog with MSG1 and,
  // after the pause, 0; no file is opened.
  kill(three.pid, SIGSTOP);
  const Resume resume{three.pid};
  std::vector<std::string> opened;
  UpsLogDialog d(*env, *Tree_FindNodeById(ctx->tree, 13), nullptr);
  d.openFile = [&](const std::string& path) { opened.push_back(path); };
  d.Init();
  ASSERT_TRUE(Spin([&] { return d.closing(); }, 30000)) << d.windowTitle().toStdString();
  EXPECT_EQ(d.windowTitle().toStdString(), "UPS Log - MSG1");
  EXPECT_EQ(d.closingPauseMs(), kFailurePauseMs);
  EXPECT_TRUE(opened.empty());
}

// The service stopped (SIGSTOP) under open dialogs: each request is given
// up after its time-out on the console's clock, with MSG1; the Event Log
// stays open, the UPS Log and Generate Report close. The window's loop runs
// on meanwhile: a 50 ms timer keeps firing while each request is out.
TEST_F(LogDialogsLarkcore, StoppedServiceEndsEachRequestAfterItsTimeOut) {
  ASSERT_NO_FATAL_FAILURE(install());
  ASSERT_NO_FATAL_FAILURE(start());
  RegisterUpsLogDialog(*env);
  int ticks = 0;
  QTimer beat;
  QObject::connect(&beat, &QTimer::timeout, [&] { ++ticks; });
  beat.start(50);
  kill(larkcore->pid(), SIGSTOP);
  const Resume resume{larkcore->pid()};
  // The request goes out and waits; the loop runs on through five beats;
  // then the console's clock passes the time-out.
  const auto waitOut = [&](DialogBase& d, auto&& send) {
    send();
    const QString sent = d.windowTitle();
    const int before = ticks;
    ASSERT_TRUE(Spin([&] { return ticks >= before + 5; }, 20000));
    EXPECT_EQ(d.windowTitle(), sent) << "answered by a stopped service";
    clock.advance(10001);
    ASSERT_TRUE(Spin([&] { return d.windowTitle().endsWith("MSG1"); }, 20000))
        << d.windowTitle().toStdString();
  };
  EventLogDialog events(*env, -1, nullptr);
  events.Init();
  waitOut(events, [&] { events.Query(); });
  EXPECT_FALSE(events.closing()) << "the Event Log stays open";
  events.done(0);

  UpsLogDialog log(*env, *Tree_FindNodeById(ctx->tree, 2), nullptr);
  log.openFile = [](const std::string&) { ADD_FAILURE() << "opened"; };
  waitOut(log, [&] { log.Init(); });
  EXPECT_TRUE(log.closing());

  ReportDialog report(*env, nullptr);
  report.Init();
  waitOut(report, [&] { report.Generate(); });
  EXPECT_TRUE(report.closing());
}

// With the service's SQLite database: UPS 1's events of today are the rows
// the database holds for it, a result of more than 2000 bytes taken in 12/12
// pages and put together whole.
TEST_F(LogDialogsLarkcore, DatabaseEventsArriveInPagesEqualToTheWhole) {
  ASSERT_NO_FATAL_FAILURE(install());
  ASSERT_TRUE(WriteProfileString(service.file("manager.ini"), "Database", "Enable", "Yes"));
  ASSERT_NO_FATAL_FAILURE(start());
  ASSERT_TRUE(Spin([&] { return ctx->settings.accountsInUse; }, 20000));
  const auto sql = [&](const std::string& statement) {
    std::string out;
    test::RunProgram(
        {"/usr/bin/sqlite3", "-cmd", ".timeout 20000", service.file("ups.db"), statement}, out);
    return out;
  };
  {
    // The tables, made as a console's Database dialog asks for them.
    test::LinkTestClient other(8900);
    ASSERT_TRUE(other.request(kLinkCmdHello).has_value());
    const auto made = other.request(kLinkCmdUserDatabase, {9});
    ASSERT_TRUE(made && made->size() > 5 && ((*made)[5] == 23 || (*made)[5] == 24));
  }
  ASSERT_NE(sql(".tables").find("obj_log"), std::string::npos) << sql(".tables");
  // 40 rows of about 80 bytes each for UPS 1 (node 2), one for another node.
  std::string insert = "begin;";
  for (int i = 0; i < 40; ++i) {
    insert += "insert into obj_log values(2, strftime('%Y-%m-%d %H:%M:%S','now'), " +
              std::to_string(i % 3) + ", 7, 'event " + std::to_string(i) + " " +
              std::string(60, 'x') + "');";
  }
  insert +=
      "insert into obj_log values(3, strftime('%Y-%m-%d %H:%M:%S','now'), 0, 1, 'other');commit;";
  sql(insert);
  const std::string count = sql("select count(*) from obj_log where ups_id=2");

  EventLogDialog d(*env, 2, nullptr);
  d.Init();
  d.Query();
  ASSERT_TRUE(Spin(
      [&] { return d.windowTitle().endsWith("MSG3") || d.windowTitle().endsWith("MSG1"); }, 30000));
  ASSERT_TRUE(d.windowTitle().endsWith("MSG3")) << d.windowTitle().toStdString();
  EXPECT_EQ(d.choice().device, 2);
  EXPECT_EQ(std::to_string(d.rows().size()) + "\n", count);
  size_t bytes = 0;
  int ours = 0;
  for (const EventLogRow& row : d.rows()) {
    EXPECT_EQ(row.cells[0], "UPS 1");
    for (const std::string& cell : row.cells) bytes += cell.size();
    if (row.cells[4].rfind("event ", 0) == 0) ++ours;
  }
  EXPECT_EQ(ours, 40);
  EXPECT_GT(bytes, 2000u);
}

}  // namespace
}  // namespace lark
