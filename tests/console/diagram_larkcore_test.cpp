// The Diagram tab against the real Larkcore in a private network namespace:
// the demo map with an ASCII UPS (ups_sim on COM1), a Modbus UPS (pymodbus
// peer "ups1" on COM3), the maker-MIB SNMP UPS (snmp_sim) and a GPRS station
// (gprs_sim), each device's page compared with its golden picture.
#include <chrono>
#include <fstream>
#include <functional>

#include "console/diagram/diagram_flow.h"
#include "console/diagram/diagram_module.h"
#include "console/diagram/diagram_tab.h"
#include "console/views/image_canvas.h"
#include "core/live_data.h"
#include "tests/console/support/diagram_live.h"
#include "tests/console/support/larkcore_console.h"
#include "tests/support/background_program.h"
#include "tests/support/modbus_peer.h"
#include "tests/support/ups_simulator.h"

namespace lark {
namespace {

using test::CompareGolden;
using test::CopyReportedWords;
using test::FindTitle;
using test::PageRect;
using test::PaintPage;
using test::Spin;

class DiagramLarkcore : public test::DiagramLarkcoreConsole {
 protected:
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(Prepare());
    if (IsSkipped()) return;
    ASSERT_NO_FATAL_FAILURE(StartService());
    gprs = std::make_unique<test::Child>(
        std::vector<std::string>{test::BuiltProgram("tools/gprs_sim"), "--stations", "1", "--tagged",
                                 "--value", "13=0"},
        service.file("gprs_sim.log"));
    ASSERT_NO_FATAL_FAILURE(StartConsole());
  }
  void BeforeServiceStarts() override {
    ups = std::make_unique<test::UpsSimulatorProcess>(Ports(), 1);
    ASSERT_TRUE(ups->waitReady(20000));
    // Every unit the map has on COM3 answers, so the line's round stays short.
    ASSERT_TRUE(modbus.start(Ports(), "COM3", {"1:ups1", "4:inverter", "5:sensor", "6:meter"}));
    std::ofstream(service.file("snmp_sim.txt")) << "agent ups 127.0.0.2:16161 maker\n";
    snmp = std::make_unique<test::Child>(
        std::vector<std::string>{test::BuiltProgram("tools/snmp_sim"), service.file("snmp_sim.txt")},
        service.file("snmp_sim.log"));
  }
  void TearDown() override {
    LarkcoreConsole::TearDown();
    gprs.reset();
    snmp.reset();
    modbus.stop();
  }

  // The device's page once its block carries `ready` and the page has stayed
  // the same for five seconds (every poll's answers in).
  QImage SettledPage(const std::string& title, const std::function<bool(const DeviceNode&)>& ready) {
    QImage last;
    auto since = std::chrono::steady_clock::now();
    const bool settled = Spin(
        [&] {
          DeviceNode* node = FindTitle(ctx->tree.root(), title);
          if (node == nullptr || !ready(*node)) return false;
          CopyReportedWords(*node);
          QImage now = PaintPage(*ctx, *node);
          const auto t = std::chrono::steady_clock::now();
          if (now != last) {
            last = now;
            since = t;
          }
          return t - since >= std::chrono::seconds(5);
        },
        60000);
    EXPECT_TRUE(settled) << title << "\n" << larkcore->output();
    return last;
  }

  std::unique_ptr<test::UpsSimulatorProcess> ups;
  test::ModbusPeer modbus;
  std::unique_ptr<test::Child> snmp, gprs;
};

bool WordKnown(const DeviceNode& n, size_t off) {
  const LiveDataBlock* b = PrimaryBlock(n);
  return b != nullptr && b->i32(off) >= 0;
}

TEST_F(DiagramLarkcore, EachFamilysPageMatchesItsPicture) {
  struct Case {
    const char* title;
    size_t word;  // a value of the answer that comes in last
    const char* golden;
  } cases[] = {
      {"UPS 1", 496, "diagram_ascii.png"},
      {"Modbus UPS", 496, "diagram_modbus.png"},
      {"Network UPS", 392, "diagram_snmp.png"},
      {"Station 1", 368, "diagram_gprs.png"},  // the bypass report ("P")
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(k.title);
    const QImage page =
        SettledPage(k.title, [&](const DeviceNode& n) { return WordKnown(n, k.word); });
    CompareGolden(page, k.golden);
  }
  // ups_sim reports an off-line UPS (type 1): on mains its load runs the
  // upper path while the battery charges below, as the ASCII picture shows.
  DeviceNode* ascii = FindTitle(ctx->tree.root(), "UPS 1");
  ASSERT_NE(ascii, nullptr);
  EXPECT_EQ(ascii->upsTypeCode(), 1);

  // The peer's registers: the state word 1090 reads 2 (bypass), then 1
  // (battery event) with the battery state 1056 at 3 (discharging).
  DeviceNode* modbusUps = FindTitle(ctx->tree.root(), "Modbus UPS");
  ASSERT_NE(modbusUps, nullptr);
  ASSERT_EQ(modbusUps->upsTypeCode(), 0);
  const DiagramEnv env = MakeDiagramEnv(*ctx, PageRect(*ctx));
  ImageCanvas scratch(1, 1);
  const DiagramLayout l = ComputeDiagramLayout(scratch, *modbusUps, env);
  auto probe = [&](FlowSegment s) {
    const CanvasRect r = FlowSegmentRect(s, l);
    CopyReportedWords(*modbusUps);
    const QImage page = PaintPage(*ctx, *modbusUps);
    return FromQColor(page.pixelColor((r.left + r.right) / 2, (r.top + r.bottom) / 2));
  };
  ASSERT_TRUE(modbus.command("set 1 1090 2"));
  EXPECT_TRUE(Spin([&] { return probe(FlowSegment::kUpperPath) == env.levels[0]; }, 10000));
  ASSERT_TRUE(modbus.command("set 1 1090 1"));
  ASSERT_TRUE(modbus.command("set 1 1056 3"));
  EXPECT_TRUE(Spin([&] { return probe(FlowSegment::kLowerPathRight) == env.levels[1]; }, 10000));
  EXPECT_EQ(probe(FlowSegment::kUpperPath), 0xffffffu)
      << std::hex << PrimaryBlock(*modbusUps)->mask(MaskWord::kCurrent) << " s "
      << std::dec << PrimaryBlock(*modbusUps)->i32(376) << " 57 " << PrimaryBlock(*modbusUps)->slot(57);

  // The detail tabs paint the selected device's Diagram page with the same
  // picture.
  window->tabControl()->setCurrentIndex(kTabDiagram);
  DeviceNode* selected = ctx->points.selectedDevice();
  ASSERT_NE(selected, nullptr);
  ctx->points.refreshDetailTabs(1);
  EXPECT_EQ(window->tabPage(kTabDiagram)->surface().convertToFormat(QImage::Format_RGB32),
            PaintPage(*ctx, *selected));

  // A stopped service holds nothing up: the page still paints and the
  // window still answers its events.
  kill(larkcore->pid(), SIGSTOP);
  DeviceNode* node = FindTitle(ctx->tree.root(), "UPS 1");
  ASSERT_NE(node, nullptr);
  for (int i = 0; i < 3; ++i) EXPECT_FALSE(PaintPage(*ctx, *node).isNull());
  bool answered = false;
  QMetaObject::invokeMethod(window, [&] { answered = true; }, Qt::QueuedConnection);
  EXPECT_TRUE(Spin([&] { return answered; }, 10000));
  kill(larkcore->pid(), SIGCONT);
}

}  // namespace
}  // namespace lark
