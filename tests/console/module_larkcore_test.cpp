// The Module page against the real Larkcore: the demo map's "UPS 1" on COM1
// answered by the ASCII simulator with its power modules, the three-phase UPS
// on COM2, read by a started console over the link; the page is painted by
// the installed tabs on the shipped pictures. Own network namespace.
#include <QTabWidget>
#include <filesystem>

#include "console/views/recording_canvas.h"
#include "tests/console/support/larkcore_console.h"
#include "tests/console/support/panel_fixture.h"

namespace lark {
namespace {

namespace fs = std::filesystem;

// The service on a copy of the demo with the simulators a case starts, and a
// started console on a second folder with the shipped English texts and
// pictures, linked to it.
class ModuleLarkcoreTest : public test::DetailTabsLarkcore {
 protected:
  void Start(const char* at) {
    server = at;
    ASSERT_NO_FATAL_FAILURE(StartService());
    ASSERT_NO_FATAL_FAILURE(StartConsole());
  }
  void ConsoleFiles() override {
    DetailTabsLarkcore::ConsoleFiles();
    fs::copy(test::SourcePath("data/UPS"), console.file("UPS"), fs::copy_options::recursive);
  }
  // The page as the installed painter records it.
  RecordingCanvas Paint(DeviceNode& d) {
    RecordingCanvas c;
    ctx->points.paintModuleTab(c, d, true);
    return c;
  }
};

std::vector<std::string> Quoted(const RecordingCanvas& c, const std::string& name) {
  std::vector<std::string> out;
  for (const std::string& op : c.opsNamed(name)) out.push_back(test::Quoted(op));
  return out;
}
bool Has(const std::vector<std::string>& v, const std::string& s) { return std::find(v.begin(), v.end(), s) != v.end(); }

TEST_F(ModuleLarkcoreTest, ModulesFromTheServiceOnTheModulePage) {
  ASSERT_TRUE(test::CopyDemoInstall(service.path(), 3));
  ASSERT_TRUE(WriteProfileString(service.file("manager.ini"), "Polling", "Serial Polling", "20"));
  ASSERT_TRUE(MakeDirs(service.file("ports")));
  test::Simulator sim("ups_sim", {"--pty-dir", service.file("ports"), "--com", "1", "--ups", "1", "--module",
                                  "1:1", "--module", "3:129"});
  ASSERT_TRUE(test::Spin([&] { return FileExists(service.file("ports/COM1")); }, 20000));
  ASSERT_NO_FATAL_FAILURE(Start("127.0.0.2"));

  DeviceNode* ups = nullptr;
  ASSERT_TRUE(test::Spin(
      [&] {
        ups = ctx->points.selectedDevice();
        const LiveDataBlock* b = ups ? ups->block(BlockKind::kAscii) : nullptr;
        return b && b->slot(112) == 1 && b->slot(114) == 129 && b->slot(130) >= 0 && b->slot(132) >= 0;
      },
      40000))
      << larkcore->output();
  ASSERT_EQ(ups->title(), "UPS 1");

  // The Module tab selected: its first paint finds modules 1 and 3 new and
  // asks for the whole window once.
  w->tabControl()->setCurrentIndex(kTabModule);
  w->tabRepaintCountdown = 0;
  ctx->points.refreshDetailTabs(1);
  EXPECT_EQ(w->tabRepaintCountdown, 1);
  w->tabRepaintCountdown = 0;
  ctx->points.refreshDetailTabs(0);
  EXPECT_EQ(w->tabRepaintCountdown, 0);

  const RecordingCanvas c = Paint(*ups);
  const std::vector<std::string> headings = Quoted(c, "TextOut");
  EXPECT_TRUE(Has(headings, "Module 1"));
  EXPECT_TRUE(Has(headings, "Module 3"));
  EXPECT_FALSE(Has(headings, "Module 2"));
  std::string fault;
  for (const std::string& op : c.opsNamed("DrawText"))
    if (test::Quoted(op) == "Normal, Fault") fault = op;
  ASSERT_FALSE(fault.empty());
  char serious[8];
  std::snprintf(serious, sizeof serious, "%06x", ctx->settings.service.levelColors[0]);
  EXPECT_NE(fault.find(std::string("colour ") + serious), std::string::npos) << fault;
  // The "Selka" picture of the install folder, module 3's over it.
  const std::vector<std::string> pictures = c.opsNamed("BitBlt");
  ASSERT_EQ(pictures.size(), 2u);
  EXPECT_NE(pictures[0].find("180x260 image"), std::string::npos);
  EXPECT_NE(pictures[1].find("172x24 image and"), std::string::npos);
}

TEST_F(ModuleLarkcoreTest, VormThreePhaseAndSnmpPages) {
  ASSERT_TRUE(test::CopyDemoInstall(service.path(), 14));
  ASSERT_TRUE(MakeDirs(service.file("ports")));
  test::Simulator ups("ups_sim", {"--pty-dir", service.file("ports"), "--com", "1", "--ups", "1", "--class", "4",
                                  "--module", "1:1"});
  test::Simulator three("ups3_sim", {"--pty-dir", service.file("ports"), "--com", "2", "--ups", "1"});
  ASSERT_TRUE(test::Spin(
      [&] { return FileExists(service.file("ports/COM1")) && FileExists(service.file("ports/COM2")); },
      20000));
  ASSERT_NO_FATAL_FAILURE(Start("127.0.0.5"));

  DeviceNode* vorm = Node("UPS 1");
  DeviceNode* tp = Node("Three-phase UPS");
  DeviceNode* snmp = Node("Network UPS");
  ASSERT_TRUE(vorm && tp && snmp);
  ASSERT_TRUE(test::Spin(
      [&] {
        const LiveDataBlock* a = vorm->block(BlockKind::kAscii);
        const LiveDataBlock* b = tp->block(BlockKind::kBinary);
        return a && a->u32(1068) == 4 && a->slot(112) == 1 && b && b->u32(kBinaryModelByteOffset) == 2 &&
               b->slot(93) >= 0 && b->slot(95) >= 0;
      },
      40000))
      << larkcore->output();

  // "Vorm": its picture, no module digits.
  RecordingCanvas c = Paint(*vorm);
  EXPECT_EQ(c.opsNamed("BitBlt").size(), 1u);
  EXPECT_NE(c.opsNamed("BitBlt")[0].find("180x220 image"), std::string::npos);
  EXPECT_FALSE(Has(Quoted(c, "TextOut"), "1"));
  EXPECT_TRUE(Has(Quoted(c, "TextOut"), "Module 1"));

  // The three-phase UPS: R, S and T with the simulator's temperatures and
  // the UPS rows. (The service never asks for the filters' reply, type 38,
  // so no filter section comes from it.)
  c = Paint(*tp);
  const std::vector<std::string> texts = Quoted(c, "DrawText");
  for (const char* want : {"Inverter-R", "Inverter-S", "Inverter-T", "25", "26", "27", "Internal: 30 \u2103",
                           "Ambiance: 27 \u2103"})
    EXPECT_TRUE(Has(texts, want)) << want;
  EXPECT_EQ(std::count(texts.begin(), texts.end(), "No Alarm"), 9);  // every group
  EXPECT_EQ(c.opsNamed("BitBlt").size(), 1u);

  // The network UPS: the page cleared, nothing else.
  c = Paint(*snmp);
  EXPECT_EQ(c.ops().size(), 1u);
}

}  // namespace
}  // namespace lark
