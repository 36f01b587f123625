// The three-phase, single-path, TRV5200, 9315 and PLC pages against the
// real Larkcore in a private network namespace, each device on its own
// simulator: ups_sim as a single-path unit (COM1), ups3_sim (COM2), the
// pymodbus peer on COM3 (a UPS given type 3, a TRV5200 at 2, a 9315 at 3),
// a gprs_sim station in its default three-phase state and plc_sim (COM4)
// with the demo's point table. An SNMP agent's type code comes with the
// five-minute full poll, too late here; its colouring is the tables' part.
#include <sys/stat.h>

#include <chrono>
#include <functional>
#include <regex>

#include "console/diagram/diagram_module.h"
#include "console/diagram/diagram_tab.h"
#include "console/diagram/mimic_pw9315.h"
#include "console/diagram/mimic_three_phase.h"
#include "console/diagram/plc_panel.h"
#include "console/views/diagram_pictures.h"
#include "core/live_data.h"
#include "platform/paths.h"
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

// The demo map's inverter and light sensor on COM3 become a TRV5200 at
// unit 2 and a 9315 at unit 3.
void ReplaceSection(std::string& map, int id, const std::string& title, int unit, int comm) {
  const std::string head = "[ID" + std::to_string(id) + "]";
  const size_t from = map.find(head);
  ASSERT_NE(from, std::string::npos);
  const size_t to = map.find("[ID", from + head.size());
  std::string section = map.substr(from, to - from);
  section = std::regex_replace(section, std::regex("Title=[^\r\n]*"), "Title=" + title);
  section =
      std::regex_replace(section, std::regex("UPSID=[0-9]+"), "UPSID=" + std::to_string(unit));
  section = std::regex_replace(section, std::regex("CommType=[0-9]+"),
                               "CommType=" + std::to_string(comm));
  map.replace(from, to - from, section);
}

bool PortLinked(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0;
}

class MimicsLarkcore : public test::DiagramLarkcoreConsole {
 protected:
  MimicsLarkcore() { withMap = true; }
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(Prepare());
    if (IsSkipped()) return;
    ASSERT_NO_FATAL_FAILURE(StartService());
    gprs =
        std::make_unique<test::Child>(std::vector<std::string>{test::BuiltProgram("tools/gprs_sim"),
                                                               "--stations", "1", "--tagged"},
                                      service.file("gprs_sim.log"));
    ASSERT_NO_FATAL_FAILURE(StartConsole());
  }
  void BeforeServiceStarts() override {
    std::string text = ReadFile(service.file("Demo.UMF")).value();
    ReplaceSection(text, 4, "TRV5200 UPS", 2, kCommModbusTrv5200);
    ReplaceSection(text, 5, "9315 UPS", 3, kCommModbus9315);
    ASSERT_TRUE(WriteFileAtomic(service.file("Demo.UMF"), text));
    const std::string ports = Ports();
    ups = std::make_unique<test::UpsSimulatorProcess>(ports, 1,
                                                      std::vector<std::string>{"--ups-type", "6"});
    ASSERT_TRUE(ups->waitReady(20000));
    StartUps3({});
    plc = std::make_unique<test::Child>(
        std::vector<std::string>{test::BuiltProgram("tools/plc_sim"), "--pty-dir", ports, "--com",
                                 "4", "--plc", "1", "--toggle", "30"},
        service.file("plc_sim.log"));
    ASSERT_TRUE(modbus.start(ports, "COM3", {"1:ups3", "2:trv5200", "3:9315", "6:meter"}));
    ASSERT_TRUE(modbus.command("set 1 1038 3"));  // the three-phase UPS's operating state
    // The 9315's rectifier on and its breakers closed.
    for (int input : {111, 113, 115, 116, 117, 118})
      ASSERT_TRUE(modbus.command("input 3 " + std::to_string(input) + " 1"));
    ASSERT_TRUE(
        Spin([&] { return PortLinked(ports + "/COM2") && PortLinked(ports + "/COM4"); }, 20000));
  }
  void TearDown() override {
    LarkcoreConsole::TearDown();
    gprs.reset();
    plc.reset();
    ups3.reset();
    modbus.stop();
  }

  void StartUps3(std::vector<std::string> extra) {
    std::vector<std::string> argv{test::BuiltProgram("tools/ups3_sim"), "--pty-dir",
                                  service.file("ports"), "--com", "2"};
    argv.insert(argv.end(), extra.begin(), extra.end());
    ups3 = std::make_unique<test::Child>(argv, service.file("ups3_sim.log"));
  }

  // The device's page once `ready` holds and the page has stayed the same
  // for `steadyMs` (every poll's answers in).
  QImage SettledPage(const std::string& title, const std::function<bool(const DeviceNode&)>& ready,
                     int steadyMs = 5000) {
    QImage last;
    auto since = std::chrono::steady_clock::now();
    const bool settled = Spin(
        [&] {
          DeviceNode* node = Node(title);
          if (node == nullptr) return false;
          CopyReportedWords(*node);
          if (!ready(*node)) {
            last = QImage();
            return false;
          }
          QImage now = PaintPage(*ctx, *node);
          const auto t = std::chrono::steady_clock::now();
          if (now != last) {
            last = now;
            since = t;
          }
          return t - since >= std::chrono::milliseconds(steadyMs);
        },
        90000);
    EXPECT_TRUE(settled) << title << "\n" << larkcore->output();
    return last;
  }

  // The colour at `p` of the device's page, its reported words brought up.
  ColorRef Probe(const std::string& title, CanvasPoint p) {
    DeviceNode* node = Node(title);
    if (node == nullptr) return 0;
    CopyReportedWords(*node);
    return FromQColor(PaintPage(*ctx, *node).pixelColor(p.x, p.y));
  }

  DiagramLayout Layout(const std::string& title) {
    ImageCanvas scratch(1, 1);
    return ComputeDiagramLayout(scratch, *Node(title), MakeDiagramEnv(*ctx, PageRect(*ctx)));
  }

  std::unique_ptr<test::UpsSimulatorProcess> ups;
  test::ModbusPeer modbus;
  std::unique_ptr<test::Child> ups3, plc, gprs;
};

bool WordKnown(const DeviceNode& n, size_t off) {
  const LiveDataBlock* b = PrimaryBlock(n);
  return b != nullptr && b->i32(off) >= 0;
}

TEST_F(MimicsLarkcore, EachMimicMatchesItsPictureAndFollowsItsPeer) {
  struct Case {
    const char* title;
    int code;
    size_t word;  // a value of the answer that comes in last; 0: the type code only
    const char* golden;
  } cases[] = {
      {"Three-phase UPS", 3, 520, "diagram_3phase_binary.png"},
      {"Modbus UPS", 3, 496, "diagram_3phase_modbus.png"},
      {"Station 1", 3, 368, "diagram_3phase_gprs.png"},
      {"UPS 1", 6, 496, "diagram_single_path.png"},
      {"TRV5200 UPS", 3, 0, "diagram_trv5200.png"},
      {"9315 UPS", 3, 340, "diagram_9315.png"},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(k.title);
    const QImage page = SettledPage(k.title, [&](const DeviceNode& n) {
      return n.upsTypeCode() == k.code && (k.word == 0 || WordKnown(n, k.word));
    });
    CompareGolden(page, k.golden);
  }

  // The PLC's page while its bypass input is clear; its UPS boxes carry the
  // levels of the devices above.
  DeviceNode* plcNode = Node("PLC 1");
  ASSERT_NE(plcNode, nullptr);
  auto bypassBit = [&] { return PlcBit(DiagramSource(*plcNode), plcNode->plcXBypass(), false); };
  const QImage plcPage = SettledPage(
      "PLC 1",
      [&](const DeviceNode& n) {
        return DiagramSource(n).slot(20) >= 0 && !PlcBit(DiagramSource(n), n.plcXBypass(), false);
      },
      1000);
  CompareGolden(plcPage, "diagram_plc.png");

  // plc_sim's toggle: the bypass icon and the bus follow each flip.
  const DiagramEnv env = MakeDiagramEnv(*ctx, PageRect(*ctx));
  const int B = env.panelLineHeight, top = env.area.top + 2 * B + 30;
  const CanvasPoint icon{env.area.left + 121 + 16, top + 10 + 16},
      bus{env.area.left + 160, top + 25};
  for (bool active : {true, false, true}) {
    SCOPED_TRACE(active);
    ASSERT_TRUE(Spin([&] { return bypassBit() == active; }, 30000));
    EXPECT_TRUE(Spin(
        [&] {
          return Probe("PLC 1", icon) ==
                     DiagramPictureColour(active ? kIconSwitchHOpen : kIconSwitchHClosed) &&
                 Probe("PLC 1", bus) == (active ? kPlcActive : env.levels[2]);
        },
        3000));
  }

  // The peer opens CB1 on the 9315: of its main line only the first unit
  // stays green.
  const Grid g = OneLineGrid(Layout("9315 UPS"));
  auto at = [&](PwLine line) {
    const CanvasPoint a = g.at(PwLineAt(line).a), b = g.at(PwLineAt(line).b);
    return CanvasPoint{(a.x + b.x) / 2, (a.y + b.y) / 2};
  };
  ASSERT_EQ(Probe("9315 UPS", at(PwLine::kRectifierToInverter)), kPoweredGreen);
  ASSERT_TRUE(modbus.command("input 3 115 0"));
  EXPECT_TRUE(
      Spin([&] { return Probe("9315 UPS", at(PwLine::kToRectifier)) != kPoweredGreen; }, 10000));
  EXPECT_EQ(Probe("9315 UPS", at(PwLine::kMainIn)), kPoweredGreen);

  // ups3_sim restarted reporting the static bypass: the Warning path.
  ups3.reset();
  StartUps3({"--status", "C00"});
  const DiagramLayout l = Layout("Three-phase UPS");
  const CanvasRect r = PhaseSegmentRect(PhaseSegment::kStaticBypassLine, l);
  EXPECT_TRUE(Spin(
      [&] {
        return Probe("Three-phase UPS", {(r.left + r.right) / 2, (r.top + r.bottom) / 2}) ==
               env.levels[1];
      },
      30000))
      << larkcore->output();
}

}  // namespace
}  // namespace lark
