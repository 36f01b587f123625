// The detail tabs against the real Larkcore: the demo map's "UPS 1" on COM1
// answered by the ASCII simulator, read by a started console over the link.
// Its Summary and property pane come from the service's data, and the
// simulator's alarm reaches the Summary's first event within five seconds.
// The tabs never wait on the service. Own network namespace.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <chrono>
#include <filesystem>

#include "console/lists/console_lists.h"
#include "console/shell/console_link.h"
#include "console/shell/larkview.h"
#include "console/tabs/detail_tabs.h"
#include "console/tabs/property_pane.h"
#include "console/tabs/summary_tab.h"
#include "console/views/image_canvas.h"
#include "console/views/recording_canvas.h"
#include "platform/paths.h"
#include "tests/console/support/console_peers.h"
#include "tests/console/support/panel_fixture.h"
#include "tests/support/demo_install.h"
#include "tests/support/netns.h"
#include "tests/support/service_process.h"
#include "tests/support/temp_dir.h"

namespace lark {
namespace {

namespace fs = std::filesystem;

// Until the console alarm checks copy them, the current words are copied
// into the reported ones here, as those checks will.
void ReportCurrent(DeviceNode& n) {
  LiveDataBlock* b = n.isGroup() ? nullptr : PrimaryBlock(n);
  if (b != nullptr) b->setMask(MaskWord::kReported, b->mask(MaskWord::kCurrent));
  for (const auto& c : n.children()) ReportCurrent(*c);
}

TEST(TabsLarkcoreTest, SummaryAndPaneFromTheServiceAndTheAlarmWithinFiveSeconds) {
  if (!test::EnterPrivateNetwork()) GTEST_SKIP() << "no private network namespace";
  test::TempDir service, console;
  ASSERT_TRUE(test::CopyDemoInstall(service.path(), 3));
  ASSERT_TRUE(WriteProfileString(service.file("manager.ini"), "Polling", "Serial Polling", "20"));
  ASSERT_TRUE(MakeDirs(service.file("ports")));
  // The alarm is on for 10 status answers, then off for 10.
  test::Simulator sim("ups_sim", {"--pty-dir", service.file("ports"), "--com", "1", "--ups", "1", "--alarm-cycle", "10"});
  ASSERT_TRUE(test::Spin([&] { return FileExists(service.file("ports/COM1")); }, 20000));
  test::ServiceProcess larkcore(service.path());
  ASSERT_TRUE(larkcore.start());
  ASSERT_TRUE(larkcore.waitForOutput("running on", 30000)) << larkcore.output();

  fs::copy(test::SourcePath("data/English"), console.file("English"), fs::copy_options::recursive);
  SystemClock clock;
  ConsoleContext ctx(console.path(), clock, WorkArea{0, 0, 1280, 800});
  ctx.messageBox = [](QWidget*, const std::string&, const std::string&, unsigned) { return int(IDOK); };
  ctx.quit = [](int) {};
  ConsoleLink link(ctx);
  link.Wire();
  InstallConsoleLists(ctx);
  InstallDetailTabs(ctx);
  std::string failed;
  std::unique_ptr<LarkviewWindow> w = StartConsole(ctx, &failed);
  ASSERT_TRUE(w) << failed;
  w->grab();  // the first paint makes the back buffer
  link.link().setServer("127.0.0.2");
  link.link().setAutoConnect(true);
  ASSERT_TRUE(test::Spin([&] { return link.link().state() == LinkState{7, 0}; }, 20000)) << larkcore.output();

  // "UPS 1" is selected once the lists hold it; its values arrive with the
  // link's device data.
  DeviceNode* ups = nullptr;
  ASSERT_TRUE(test::Spin(
      [&] {
        ups = ctx.points.selectedDevice();
        const LiveDataBlock* b = ups ? ups->block(BlockKind::kAscii) : nullptr;
        return b && b->slot(43) >= 0 && b->slot(60) >= 0 && b->text(1011, 17) == "LK3000";
      },
      30000))
      << larkcore.output();
  ASSERT_EQ(ups->title(), "UPS 1");
  const DetailTabs inputsOf(ctx);  // the painters' inputs as the installed tabs make them

  // Summary: the 26 titles of action-regular.ini and both gauges.
  const ActionTables english = LoadActionTables(console.file("English"), ActionTables(), EnglishLevelNames(), nullptr);
  std::vector<std::string> titles;
  for (int e = 0; e < 26; ++e) titles.push_back(english.table(ActionFamily::Regular)[static_cast<size_t>(2 * e)].title());
  RecordingCanvas summary;
  PaintSummaryTab(summary, inputsOf.Inputs(), *ups, true);
  std::vector<std::string> drawn;
  for (const std::string& op : summary.opsNamed("TextOut")) drawn.push_back(test::Quoted(op));
  ASSERT_GE(drawn.size(), 26u);
  EXPECT_EQ(std::vector<std::string>(drawn.begin(), drawn.begin() + 26), titles);
  EXPECT_EQ(summary.opsNamed("BitBlt").size(), 2u);

  // The pane: the simulator's model and firmware, the line it answers on.
  RecordingCanvas pane;
  PaintPropertyPane(pane, inputsOf.Inputs(), ups, 500);
  std::vector<std::string> values;
  for (const std::string& op : pane.opsNamed("TextOut")) values.push_back(test::Quoted(op));
  for (const char* want : {"UPS 1", "Local, COM1, ID1", "LK3000", "2.10"})
    EXPECT_NE(std::find(values.begin(), values.end(), want), values.end()) << want;

  // The alarm: event 0 on the Summary page takes its level's lamp within 5 s
  // of the words being copied.
  const std::string icon = summary.opsNamed("DrawIcon").front();  // "DrawIcon x,y id"
  const int x = std::stoi(icon.substr(9)) + 8, y = std::stoi(icon.substr(icon.find(',') + 1)) + 8;
  const uint32_t level = ClampLevel(english.table(ActionFamily::Regular)[0].level());
  const ColorRef lamp = kDefaultLevelColours[level];
  const auto pageLamp = [&] {
    const QImage& img = w->tabPage(kTabSummary)->surface();
    return FromQColor(img.pixelColor(x, y));
  };
  LiveDataBlock& b = *ups->block(BlockKind::kAscii);
  ASSERT_TRUE(test::Spin([&] { return (b.mask(MaskWord::kCurrent) & 1) != 0; }, 60000)) << larkcore.output();
  const auto copied = std::chrono::steady_clock::now();
  EXPECT_TRUE(test::Spin(
      [&] {
        ReportCurrent(ctx.tree.root());  // pushed device data brings the service's copy
        return pageLamp() == lamp;
      },
      5000))
      << std::hex << pageLamp() << " want " << lamp << " at " << x << "," << y << " mask " << b.mask(MaskWord::kReported)
      << " shown " << w->tabPage(kTabSummary)->isVisible() << " sel " << w->detailTabSelection;
  EXPECT_LE(std::chrono::steady_clock::now() - copied, std::chrono::seconds(5));

  // The tabs read only the console's tree: with the service stopped, ten
  // full refreshes take about as long as with it running.
  const auto tenRefreshes = [&] {
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < 10; ++i) ctx.points.refreshDetailTabs(1);
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  };
  const double running = tenRefreshes();
  ASSERT_EQ(kill(larkcore.pid(), SIGSTOP), 0);
  const double stopped = tenRefreshes();
  kill(larkcore.pid(), SIGCONT);
  EXPECT_LT(stopped, 3 * running + 0.5) << "running " << running << " s, stopped " << stopped << " s";

  w->SendCommand(IDM_EXIT);
  ShutdownConsole(ctx, *w);
}

// The whole demo map: the three-phase UPS on COM2, the maker's SNMP agent and
// a GPRS station beside UPS 1; each device's Summary and pane from its data.
TEST(TabsLarkcoreTest, EachDemoFamilyFromTheService) {
  if (!test::EnterPrivateNetwork()) GTEST_SKIP() << "no private network namespace";
  test::TempDir service, console;
  ASSERT_TRUE(test::CopyDemoInstall(service.path(), 14));
  ASSERT_TRUE(MakeDirs(service.file("ports")));
  ASSERT_TRUE(WriteFileAtomic(service.file("snmp_sim.txt"), "agent ups 127.0.0.2:16161 maker\n"));
  test::Simulator ups("ups_sim", {"--pty-dir", service.file("ports"), "--com", "1", "--ups", "1"});
  test::Simulator three("ups3_sim", {"--pty-dir", service.file("ports"), "--com", "2", "--ups", "1"});
  test::Simulator agent("snmp_sim", {service.file("snmp_sim.txt")});
  ASSERT_TRUE(test::Spin(
      [&] { return FileExists(service.file("ports/COM1")) && FileExists(service.file("ports/COM2")); }, 20000));
  test::ServiceProcess larkcore(service.path());
  ASSERT_TRUE(larkcore.start());
  ASSERT_TRUE(larkcore.waitForOutput("running on", 30000)) << larkcore.output();
  test::Simulator stations("gprs_sim", {"--stations", "1"});

  fs::copy(test::SourcePath("data/English"), console.file("English"), fs::copy_options::recursive);
  SystemClock clock;
  ConsoleContext ctx(console.path(), clock, WorkArea{0, 0, 1280, 800});
  ctx.messageBox = [](QWidget*, const std::string&, const std::string&, unsigned) { return int(IDOK); };
  ctx.quit = [](int) {};
  ConsoleLink link(ctx);
  link.Wire();
  InstallConsoleLists(ctx);
  InstallDetailTabs(ctx);
  std::string failed;
  std::unique_ptr<LarkviewWindow> w = StartConsole(ctx, &failed);
  ASSERT_TRUE(w) << failed;
  w->grab();
  link.link().setServer("127.0.0.5");
  link.link().setAutoConnect(true);
  ASSERT_TRUE(test::Spin([&] { return link.link().state() == LinkState{7, 0}; }, 20000)) << larkcore.output();
  const DetailTabs inputsOf(ctx);

  struct Case {
    const char* title;
    BlockKind kind;
    size_t modelOffset, modelSize;
    size_t events;
    std::string connection;
  } cases[] = {
      {"Three-phase UPS", BlockKind::kBinary, 756, 31, 24, "Local, COM2, ID1"},
      {"Network UPS", BlockKind::kSnmp, 627, 17, 36, "SNMP, UDP Port 16161"},
      {"Station 1", BlockKind::kGprs, 798, 17, 26, ""},
  };
  for (const Case& k : cases) {
    DeviceNode* node = nullptr;
    std::function<void(DeviceNode&)> find = [&](DeviceNode& n) {
      if (n.title() == k.title) node = &n;
      for (const auto& c : n.children()) find(*c);
    };
    find(ctx.tree.root());
    ASSERT_NE(node, nullptr) << k.title;
    std::string model;
    EXPECT_TRUE(test::Spin(
        [&] {
          const LiveDataBlock* b = node->block(k.kind);
          model = b ? b->text(k.modelOffset, k.modelSize) : "";
          return !model.empty();
        },
        40000))
        << k.title << "\n" << larkcore.output();
    RecordingCanvas summary;
    PaintSummaryTab(summary, inputsOf.Inputs(), *node, true);
    EXPECT_EQ(summary.opsNamed("DrawIcon").size(), k.events) << k.title;
    RecordingCanvas pane;
    PaintPropertyPane(pane, inputsOf.Inputs(), node, 500);
    std::vector<std::string> values;
    for (const std::string& op : pane.opsNamed("TextOut")) values.push_back(test::Quoted(op));
    ASSERT_GE(values.size(), 5u) << k.title;
    EXPECT_EQ(values[0], k.title);
    for (const std::string& want : {k.connection, model})
      EXPECT_NE(std::find(values.begin(), values.end(), want), values.end()) << k.title << ": " << want;
  }
  w->SendCommand(IDM_EXIT);
  ShutdownConsole(ctx, *w);
}

}  // namespace
}  // namespace lark
