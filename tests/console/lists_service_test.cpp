// The lists against the real Larkcore: a map with group "Room" holding two
// simulated ASCII UPSs (COM1 address 1, COM2 address 2), read by a console
// over the link.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QHeaderView>
#include <algorithm>
#include <chrono>
#include <regex>

#include "console/shell/console_alarm_module.h"
#include "console/shell/console_link.h"
#include "console/lists/console_lists.h"
#include "console/map/map_module.h"
#include "console/shell/larkview.h"
#include "console/shell/main_window.h"
#include "platform/paths.h"
#include "platform/profile.h"
#include "tests/console/support/console_peers.h"
#include "tests/support/demo_install.h"
#include "tests/support/netns.h"
#include "tests/support/service_process.h"
#include "tests/support/temp_dir.h"

namespace lark {
namespace {

// The demo map cut to root, the group and its UPS on COM1; the group
// renamed "Room" and a second UPS on COM2 at address 2.
std::string RoomMap(const std::string& demo) {
  std::string map = test::TrimDemoMap(demo, 3);
  map = std::regex_replace(map, std::regex("Title=Server room"), "Title=Room");
  map = std::regex_replace(map, std::regex("Number=3"), "Number=4\r\nIndex3.ID=3");
  const size_t ups = map.find("[ID2]");
  std::string second = map.substr(ups);
  second = std::regex_replace(second, std::regex("\\[ID2\\]"), "[ID3]");
  second = std::regex_replace(second, std::regex("Title=UPS 1"), "Title=UPS 2");
  second = std::regex_replace(second, std::regex("COM=COM1"), "COM=COM2");
  second = std::regex_replace(second, std::regex("UPSID=1"), "UPSID=2");
  return map + second;
}

TEST(ListsServiceTest, GroupCountsModelAndSortingFromTheService) {
  if (!test::EnterPrivateNetwork()) GTEST_SKIP() << "no private network namespace";
  test::TempDir service, console;
  ASSERT_TRUE(test::CopyDemoInstall(service.path(), 3));
  ASSERT_TRUE(WriteFileAtomic(service.file("Demo.UMF"),
                              RoomMap(ReadFile(test::SourcePath("data/Demo.UMF")).value())));
  ASSERT_TRUE(WriteProfileString(service.file("manager.ini"), "Polling", "Serial Polling", "20"));
  ASSERT_TRUE(MakeDirs(service.file("ports")));
  const std::string ports = service.file("ports");
  test::Simulator first("ups_sim", {"--pty-dir", ports, "--com", "1", "--ups", "1", "--model", "LK3000"}),
      second("ups_sim",
             {"--pty-dir", ports, "--com", "2", "--ups", "2", "--model", "LK3000", "--alarm-cycle", "10"});
  ASSERT_TRUE(test::Spin(
      [&] {
        return FileExists(service.file("ports/COM1")) && FileExists(service.file("ports/COM2"));
      },
      20000));
  test::ServiceProcess larkcore(service.path());
  ASSERT_TRUE(larkcore.start());
  ASSERT_TRUE(larkcore.waitForOutput("running on", 30000)) << larkcore.output();

  MakeDirs(console.file("English"));
  WriteFileAtomic(console.file("English/language.ini"),
                  ReadFile(test::SourcePath("data/English/language.ini")).value());
  SystemClock clock;
  ConsoleContext ctx(console.path(), clock, WorkArea{0, 0, 1280, 800});
  ctx.messageBox = [](QWidget*, const std::string&, const std::string&, unsigned) {
    return int(IDOK);
  };
  ctx.quit = [](int) {};
  ConsoleLink link(ctx);
  link.Wire();
  // The map sets the nodes' levels, the console's own alarm checks move the
  // service's event words into the ones the levels and the lists read; the
  // console has no action files of its own, so every title and level comes
  // from the tables the link downloads.
  std::shared_ptr<ConsoleMap> map = InstallConsoleMap(ctx);
  map->ConnectLink(link.link());
  InstallConsoleLists(ctx);
  std::unique_ptr<ConsoleAlarmModule> alarms = InstallConsoleAlarms(ctx, link.link());
  std::string failed;
  std::unique_ptr<LarkviewWindow> w = StartConsole(ctx, &failed);
  ASSERT_TRUE(w) << failed;
  link.link().setServer(
      "127.0.0.2");  // not the console's own address: the link, not the shared memory
  link.link().setAutoConnect(true);
  ASSERT_TRUE(test::Spin(
      [&] {
        return link.link().state() == LinkState{7, 0};
      },
      20000))
      << larkcore.output();

  ReportListModel& groups = *AsReportList(w->groupList())->listModel();
  ReportListModel& devices = *AsReportList(w->deviceList())->listModel();
  auto column = [](const ReportListModel& m, int c) {
    std::vector<std::string> out;
    for (const ReportRow& r : m.rows()) out.push_back(r.cells[static_cast<size_t>(c)]);
    return out;
  };
  EXPECT_TRUE(test::Spin(
      [&] {
        return column(groups, 1) == std::vector<std::string>{"Main(2)", "Room(2)"};
      },
      5000))
      << ::testing::PrintToString(column(groups, 1));
  EXPECT_TRUE(test::Spin(
      [&] {
        return column(devices, 2) == std::vector<std::string>{"LK3000", "LK3000"};
      },
      20000))
      << ::testing::PrintToString(column(devices, 2));

  // In Volt in column 3, sorted by its key: address 1 answers 229.0 V at
  // the first input phase, address 2 229.1 V.
  ctx.monitor.settings().columnChoice[3] = kColInVolt;
  ctx.points.retitleDeviceColumns();
  QHeaderView* header = w->deviceList()->horizontalHeader();
  auto keys = [&] {
    std::vector<int32_t> out;
    for (const ReportRow& r : devices.rows())
      out.push_back(DeviceSortKey(ReadDeviceRow(*r.node), kColInVolt));
    return out;
  };
  ASSERT_TRUE(test::Spin(
      [&] {
        return keys() == std::vector<int32_t>{2290, 2291} ||
               keys() == std::vector<int32_t>{2291, 2290};
      },
      20000))
      << ::testing::PrintToString(keys());
  emit header->sectionClicked(3);
  EXPECT_EQ(column(devices, 1), (std::vector<std::string>{"UPS 1", "UPS 2"}));
  emit header->sectionClicked(3);
  EXPECT_EQ(column(devices, 1), (std::vector<std::string>{"UPS 2", "UPS 1"}));
  EXPECT_EQ(devices.headerImage(3), kImageDescending);
  emit header->sectionClicked(3);
  EXPECT_EQ(column(devices, 1), (std::vector<std::string>{"UPS 1", "UPS 2"}));

  // UPS 2's alarm (on its first event, for 10 status answers, then off for
  // 10) comes as the Warning image and the title of the service's action
  // table in the alarm column, and sorted by column 0 (the level) UPS 2
  // comes first; then it clears.
  const std::string title =
      Profile(service.file("English/action-regular.ini")).getString("Event1", "Title", "", 64);
  ASSERT_FALSE(title.empty());
  const auto& choice = ctx.monitor.settings().columnChoice;
  const int alarm = static_cast<int>(std::find(choice.begin(), choice.end(), kColAlarm) - choice.begin());
  ASSERT_LT(alarm, kDeviceListColumns);
  emit header->sectionClicked(0);
  auto rows = [&] {
    std::string out;
    for (const ReportRow& r : devices.rows())
      out += r.cells[1] + " " + std::to_string(r.image) + " \"" +
             r.cells[static_cast<size_t>(alarm)] + "\"; ";
    return out;
  };
  const std::string raised = "UPS 2 " + std::to_string(kImageWarning) + " \"" + title + "\"; UPS 1 " +
                             std::to_string(kImageInformation) + " \"\"; ";
  ASSERT_TRUE(test::Spin([&] { return rows() == raised; }, 60000)) << rows();
  const std::string cleared = "UPS 2 " + std::to_string(kImageInformation) + " \"\"; UPS 1 " +
                              std::to_string(kImageInformation) + " \"\"; ";
  EXPECT_TRUE(test::Spin([&] { return rows() == cleared; }, 60000)) << rows();

  w->SendCommand(IDM_EXIT);
  ShutdownConsole(ctx, *w);
}

}  // namespace
}  // namespace lark
