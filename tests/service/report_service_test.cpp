// Period reports inside the service: command 22 sub 2 against the built
// Larkcore with the simulated UPS, and a report held on the event log's
// lock while the history goes on, a second request is refused and the
// service stops.
#include <gtest/gtest.h>
#include <signal.h>

#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "common/bytes.h"
#include "core/device_node.h"
#include "core/history_family.h"
#include "linkserver/link_frame.h"
#include "platform/event_loop.h"
#include "platform/key_store.h"
#include "platform/paths.h"
#include "platform/profile.h"
#include "service/service.h"
#include "tests/support/wait.h"
#include "tests/support/link_test_client.h"
#include "tests/support/netns.h"
#include "tests/support/service_process.h"
#include "tests/support/temp_dir.h"
#include "tests/support/tree_fixtures.h"
#include "tests/support/ups_simulator.h"

namespace lark {
namespace {

namespace fs = std::filesystem;
using V = std::vector<uint8_t>;

V Period(ReportDate from, ReportDate to) {
  V data(1 + 2 * kSystemTimeSize, 0);
  data[0] = 2;
  for (auto [d, off] : {std::pair{from, size_t{1}}, std::pair{to, 1 + kSystemTimeSize}}) {
    putU16(data, off + systemtime_off::kYear, static_cast<uint16_t>(d.year));
    putU16(data, off + systemtime_off::kMonth, static_cast<uint16_t>(d.month));
    putU16(data, off + systemtime_off::kDay, static_cast<uint16_t>(d.day));
  }
  return data;
}

int ReplyCode(const std::optional<V>& reply) {
  return reply && reply->size() > kLinkOffCode ? (*reply)[kLinkOffCode] : -1;
}

size_t FileSize(const std::string& path) {
  std::error_code ec;
  auto n = fs::file_size(path, ec);
  return ec ? 0 : static_cast<size_t>(n);
}

TEST(ReportService, CommandStartsAReportOfTheTreeIntoTheReportFolder) {
  if (!test::EnterPrivateNetwork()) GTEST_SKIP() << "no private network namespace here";
  test::TempDir dir;
  fs::copy(test::SourcePath("data"), dir.path(), fs::copy_options::recursive);
  ASSERT_TRUE(WriteProfileString(dir.file("manager.ini"), "History", "Period", "1"));
  std::string map = ReadFile(dir.file("Demo.UMF")).value_or("");
  const size_t at = map.find("Title=UPS 1");
  ASSERT_NE(at, std::string::npos);
  map.replace(at, 11, "Title=../x");
  ASSERT_TRUE(WriteFileAtomic(dir.file("Demo.UMF"), map));
  test::UpsSimulatorProcess simulator(dir.file("ports"));
  ASSERT_TRUE(simulator.waitReady(20000));

  test::ServiceProcess service(dir.path());
  ASSERT_TRUE(service.start());
  ASSERT_TRUE(service.waitForOutput("running on", 30000)) << service.output();
  const std::string month = dir.file("Demo/2");
  ASSERT_TRUE(test::Eventually([&] { return fs::is_directory(month); }, 30000)) << service.output();

  test::LinkTestClient console(8900);
  ASSERT_TRUE(console.connected());
  // Bad periods: month 13, day 40, from after to, more than ten years.
  for (auto [from, to] : {std::pair{ReportDate{2024, 13, 1}, ReportDate{2024, 12, 1}},
                          {ReportDate{2024, 1, 40}, ReportDate{2024, 2, 1}},
                          {ReportDate{2024, 2, 1}, ReportDate{2024, 1, 1}},
                          {ReportDate{2010, 1, 1}, ReportDate{2020, 1, 2}}}) {
    EXPECT_EQ(ReplyCode(console.request(kLinkCmdHistoryReport, Period(from, to))), 44)
        << from.month << "/" << from.day;
  }
  EXPECT_FALSE(fs::exists(dir.file("Report/Main.xls")));
  EXPECT_EQ(ReplyCode(console.request(kLinkCmdHistoryReport, V{2, 0, 0})), 44);  // short

  const auto now = std::chrono::system_clock::now();
  const std::time_t t = std::chrono::system_clock::to_time_t(now);
  std::tm tm{};
  localtime_r(&t, &tm);
  const ReportDate today{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday};
  // History goes on while reports run: the month file keeps growing.
  const HistoryLayout layout = HistoryLayoutOf(kNodeSerial, kCommAscii, 0);
  const std::string monthFile =
      HistoryMonthFilePath(dir.path(), "Demo", 2, today.year, today.month, layout);
  const size_t before = FileSize(monthFile);
  for (int i = 0; i < 3; ++i) {
    int code = -1;
    ASSERT_TRUE(test::Eventually(
        [&] {
          code = ReplyCode(console.request(kLinkCmdHistoryReport, Period(today, today)));
          return code == 43;
        },
        10000))
        << code;
  }
  EXPECT_TRUE(test::Eventually([&] { return FileSize(monthFile) > before; }, 10000));

  const std::string report = dir.file("Report/_._x_2.xls");
  ASSERT_TRUE(test::Eventually([&] { return fs::exists(dir.file("Report/Main.xls")); }, 10000));
  ASSERT_TRUE(test::Eventually([&] { return fs::exists(report); }, 10000));
  // One file per device of the demo map (its PLC excepted) and the summary
  // with the header and a line per device file.
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(dir.file("Report")))
    names.push_back(e.path().filename());
  EXPECT_NE(std::find(names.begin(), names.end(), "_._x_2.xls"), names.end());
  EXPECT_FALSE(fs::exists(dir.file("x_2.xls")));
  const std::string text = ReadFile(report).value_or("");
  EXPECT_EQ(text.rfind("../x UPS Report    From ", 0), 0u) << text;
  EXPECT_NE(text.find("\t*UPS data analysis:\r\n"), std::string::npos);
  ASSERT_TRUE(test::Eventually(
      [&] {
        const std::string summary = ReadFile(dir.file("Report/Main.xls")).value_or("");
        return summary.find("\r\n../x\t") != std::string::npos &&
               static_cast<size_t>(std::count(summary.begin(), summary.end(), '\n')) ==
                   names.size();
      },
      10000))
      << names.size();
  console.close();
  EXPECT_EQ(service.stop(SIGTERM), 0) << service.output();
}

TEST(ReportService, AReportDoesNotHoldUpTheHistoryAndEndsWithTheService) {
  if (!test::EnterPrivateNetwork()) GTEST_SKIP() << "no private network namespace here";
  test::TempDir dir;
  KeyStore keys(dir.file("state"));
  EventLoop loop;
  FakeClock clock;
  clock.setWall(WallTime{2024, 3, 5, 2, 10, 0, 0, 0});
  ServiceOptions o;
  o.installDir = dir.path();
  o.log = [](std::string_view) {};
  Service service(loop, clock, keys, o);
  std::string error;
  ASSERT_TRUE(service.start(&error)) << error;
  service.history().stop();
  {
    DeviceTree::StructuralEdit edit(service.tree());
    test::AddSerial(service.tree(), service.tree().root(), kCommAscii, "").setTitle("A");
  }
  ASSERT_TRUE(MakeDirs(dir.file("Report")));
  const ReportPeriod period{{2024, 3, 1}, {2024, 3, 5}};

  // The report waits for the event log; meanwhile the history is written
  // and a second report is refused.
  std::unique_lock<std::mutex> busy(service.eventLog().busy());
  ASSERT_TRUE(service.startReport(period));
  EXPECT_TRUE(service.reports().running());
  EXPECT_FALSE(service.startReport(period));
  service.history().RecordHistoryTree(clock.now());
  const int id = service.tree().root().children().front()->id();
  const std::string monthFile = HistoryMonthFilePath(service.history().settings()->directory,
                                                     service.history().settings()->mapName, id,
                                                     2024, 3, HistoryLayoutOf(kNodeSerial, 0, 0));
  EXPECT_GT(FileSize(monthFile), 0u) << monthFile;
  EXPECT_EQ(service.history().recordingPaused.load(), 0u);

  std::thread stopper([&] { service.stop(); });
  busy.unlock();
  stopper.join();
  EXPECT_FALSE(service.reports().running());
}

}  // namespace
}  // namespace lark
