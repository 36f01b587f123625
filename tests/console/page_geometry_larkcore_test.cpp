// What a user sees of each detail page, against the real Larkcore with the
// demo's simulated devices, at two window sizes: on the settings pages every
// visible control lies inside its page and has at least its size hint; on
// the painted pages no two texts overlap, none is cut off by its box, and
// none runs past the page's right edge. Then what they say: nominal voltages
// in volts, and an inverter's and a sensor's readings. Own network namespace.
#include <gtest/gtest.h>

#include <QAbstractScrollArea>
#include <QApplication>
#include <QScrollArea>
#include <QTabWidget>
#include <filesystem>
#include <signal.h>

#include "console/diagram/diagram_module.h"
#include "console/dialogs/console_dialogs.h"
#include "console/dialogs/tab_page.h"
#include "console/lists/console_lists.h"
#include "console/shell/console_link.h"
#include "console/shell/larkview.h"
#include "console/shell/main_window.h"
#include "console/tabs/detail_tabs.h"
#include "console/tabs/property_pane.h"
#include "console/tabs/summary_tab.h"
#include "console/views/recording_canvas.h"
#include "platform/paths.h"
#include "tests/console/support/console_peers.h"
#include "tests/support/demo_install.h"
#include "tests/support/netns.h"
#include "tests/support/service_process.h"
#include "tests/support/temp_dir.h"

namespace lark {
namespace {

namespace fs = std::filesystem;

std::string Box(const CanvasRect& r) {
  return std::to_string(r.left) + "," + std::to_string(r.top) + "-" + std::to_string(r.right) + "," +
         std::to_string(r.bottom);
}

bool Overlap(const CanvasRect& a, const CanvasRect& b) {
  return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}

// The faults of one painted page: overlapping, cut and overflowing texts;
// an icon counts as a 16-pixel square text of its own.
std::vector<std::string> TextFaults(const RecordingCanvas& rec, int pageWidth) {
  std::vector<std::string> out;
  std::vector<TextRun> runs = rec.textRuns();
  for (const std::string& op : rec.opsNamed("DrawIcon")) {  // "DrawIcon x,y id"
    const int x = std::stoi(op.substr(9)), y = std::stoi(op.substr(op.find(',') + 1));
    runs.push_back({"icon " + op.substr(op.rfind(' ') + 1), {x, y, x + 16, y + 16}, false});
  }
  for (size_t i = 0; i < runs.size(); ++i) {
    const TextRun& a = runs[i];
    if (a.text.find_first_not_of(' ') == std::string::npos) continue;
    if (a.clipped) out.push_back("\"" + a.text + "\" cut at " + Box(a.box));
    if (a.box.right > pageWidth) out.push_back("\"" + a.text + "\" past the right edge at " + Box(a.box));
    for (size_t j = i + 1; j < runs.size(); ++j) {
      const TextRun& b = runs[j];
      if (b.text.find_first_not_of(' ') == std::string::npos) continue;
      if (a.box == b.box && a.text == b.text) continue;  // the same text drawn again
      if (Overlap(a.box, b.box))
        out.push_back("\"" + a.text + "\" " + Box(a.box) + " overlaps \"" + b.text + "\" " + Box(b.box));
    }
  }
  return out;
}

// The faults of one settings page: visible controls outside the dialog or
// below their size hint, and a dialog its page cannot scroll to.
std::vector<std::string> ControlFaults(QWidget* page) {
  std::vector<std::string> out;
  auto* scroll = page->findChild<QScrollArea*>();
  if (scroll == nullptr || scroll->widget() == nullptr) return {"no scroll area"};
  QWidget* dialog = scroll->widget();
  if (!page->rect().contains(scroll->geometry())) out.push_back("the scroll area leaves its page");
  for (QWidget* c : dialog->findChildren<QWidget*>()) {
    if (!c->property("id").isValid() || !c->isVisibleTo(dialog)) continue;
    const QRect r(c->mapTo(dialog, QPoint(0, 0)), c->size());
    const std::string name = c->metaObject()->className() + std::string(" ") +
                             std::to_string(c->property("id").toInt()) + " \"" +
                             c->accessibleName().toStdString() + "\"";
    if (!dialog->rect().contains(r)) out.push_back(name + " outside its page");
    const QSize hint = c->sizeHint();
    if (c->width() < hint.width() || c->height() < hint.height())
      out.push_back(name + " " + std::to_string(c->width()) + "x" + std::to_string(c->height()) + " below its hint " +
                    std::to_string(hint.width()) + "x" + std::to_string(hint.height()));
  }
  return out;
}

TEST(PageGeometryLarkcore, EveryPageOfTheDemoDevicesAtTwoWindowSizes) {
  if (!test::EnterPrivateNetwork()) GTEST_SKIP() << "no private network namespace";
  test::TempDir service, console;
  ASSERT_TRUE(test::CopyDemoInstall(service.path(), 14));
  ASSERT_TRUE(MakeDirs(service.file("ports")));
  ASSERT_TRUE(WriteFileAtomic(service.file("snmp_sim.txt"),
                              "agent ups 127.0.0.2:16161 maker\n"
                              "agent inverter 127.0.0.3:16161 device\nunit inverter 3\n"
                              "agent sensor 127.0.0.4:16161 device\nunit sensor 100\n"));
  test::Simulator ups("ups_sim", {"--pty-dir", service.file("ports"), "--com", "1", "--ups", "1", "--module", "1:1",
                                  "--module", "2:1"});
  test::Simulator three("ups3_sim", {"--pty-dir", service.file("ports"), "--com", "2", "--ups", "1"});
  test::Simulator agents("snmp_sim", {service.file("snmp_sim.txt")});
  ASSERT_TRUE(test::Spin(
      [&] { return FileExists(service.file("ports/COM1")) && FileExists(service.file("ports/COM2")); }, 20000));
  test::ServiceProcess larkcore(service.path());
  ASSERT_TRUE(larkcore.start());
  ASSERT_TRUE(larkcore.waitForOutput("running on", 30000)) << larkcore.output();
  test::Simulator stations("gprs_sim", {"--stations", "1"});

  // The console's own language and the UPS pictures, as an installed console has.
  for (const char* folder : {"English", "UPS"})
    fs::copy(test::SourcePath(std::string("data/") + folder), console.file(folder), fs::copy_options::recursive);
  SystemClock clock;
  ConsoleContext ctx(console.path(), clock, WorkArea{0, 0, 1600, 1000});
  ctx.messageBox = [](QWidget*, const std::string&, const std::string&, unsigned) { return int(IDOK); };
  ctx.quit = [](int) {};
  ConsoleLink link(ctx);
  link.Wire();
  InstallConsoleLists(ctx);
  InstallDetailTabs(ctx);
  InstallDiagramTab(ctx);
  ConsoleDialogs dialogs(ctx, link.link(), nullptr);
  InstallSettingsPages(dialogs);
  std::string failed;
  std::unique_ptr<LarkviewWindow> w = StartConsole(ctx, &failed);
  ASSERT_TRUE(w) << failed;
  w->grab();  // the first paint makes the back buffer
  DeviceNode* selected = nullptr;
  ctx.points.selectedDevice = [&] { return selected; };
  link.link().setServer("127.0.0.5");
  link.link().setAutoConnect(true);
  ASSERT_TRUE(test::Spin([&] { return link.link().state() == LinkState{7, 0}; }, 20000)) << larkcore.output();

  auto find = [&](const std::string& title) {
    DeviceNode* node = nullptr;
    std::function<void(DeviceNode&)> walk = [&](DeviceNode& n) {
      if (!n.isGroup() && n.title() == title) node = &n;
      for (const auto& c : n.children()) walk(*c);
    };
    walk(ctx.tree.root());
    return node;
  };
  // Each device with the value that says its data has come.
  struct Device {
    const char* title;
    BlockKind kind;
    int slot;
  } devices[] = {
      {"UPS 1", BlockKind::kAscii, 43},       {"Three-phase UPS", BlockKind::kBinary, 43},
      {"Network UPS", BlockKind::kSnmp, 29},  {"Network inverter", BlockKind::kSnmp, 0},
      {"Network sensor", BlockKind::kSnmp, 0}, {"Station 1", BlockKind::kGprs, 43},
  };
  for (const Device& d : devices) {
    DeviceNode* node = find(d.title);
    ASSERT_NE(node, nullptr) << d.title;
    EXPECT_TRUE(test::Spin(
        [&] {
          const LiveDataBlock* b = node->block(d.kind);
          return b != nullptr && b->slot(d.slot) >= 0;
        },
        40000))
        << d.title << "\n"
        << larkcore.output();
  }

  const auto& enabled = ctx.monitor.settings().tabEnabled;
  for (QSize size : {QSize(1024, 768), QSize(1600, 1000)}) {
    w->resize(size);
    w->Relayout();
    QApplication::processEvents();
    const std::string at = std::to_string(size.width()) + "x" + std::to_string(size.height()) + " ";
    for (const Device& d : devices) {
      selected = find(d.title);
      for (int slot = 0; slot < kDetailTabs; ++slot) {
        if (!enabled[static_cast<size_t>(slot)]) continue;
        const std::string where = at + d.title + " page " + std::to_string(slot) + ": ";
        std::vector<std::string> faults;
        if (slot <= kTabModule) {
          RecordingCanvas rec;
          if (slot == kTabSummary) PaintSummaryTab(rec, PanelInputsOf(ctx), *selected, true);
          if (slot == kTabDiagram) ctx.points.paintDiagramTab(rec, *selected, true);
          if (slot == kTabModule) ctx.points.paintModuleTab(rec, *selected, true);
          faults = TextFaults(rec, w->tabPage(slot)->width());
        } else {
          if (DetailPageHidden(slot, *selected)) continue;
          int item = 0;
          for (int s = 0; s < slot; ++s) item += enabled[static_cast<size_t>(s)] ? 1 : 0;
          w->tabControl()->setCurrentIndex(item);
          w->tabReloadFlag = 1;
          auto* page = w->tabPage(slot)->findChild<TabPage*>();
          ASSERT_NE(page, nullptr);
          page->OnSecondTick();
          ctx.points.refreshDetailTabs(1);
          QApplication::processEvents();
          faults = ControlFaults(w->tabPage(slot));
        }
        for (const std::string& f : faults) ADD_FAILURE() << where << f;
      }
    }
  }
  // What the pages say: nominal voltages in volts on the pane, and the SNMP
  // inverter's and sensor's readings on their Diagram page.
  for (const char* title : {"UPS 1", "Station 1"}) {
    DeviceNode* node = find(title);
    RecordingCanvas pane;
    PaintPropertyPane(pane, PanelInputsOf(ctx), node, 500);
    std::vector<std::string> values;
    for (const TextRun& run : pane.textRuns()) values.push_back(run.text);
    EXPECT_NE(std::find(values.begin(), values.end(), "230 V"), values.end()) << title;
  }
  for (const char* title : {"Network inverter", "Network sensor"}) {
    RecordingCanvas diagram;
    ctx.points.paintDiagramTab(diagram, *find(title), true);
    std::vector<std::string> texts;
    for (const TextRun& run : diagram.textRuns()) texts.push_back(run.text);
    EXPECT_NE(std::find(texts.begin(), texts.end(), "Readings"), texts.end()) << title;
    const auto row = std::find(texts.begin(), texts.end(), "Value 0");
    ASSERT_TRUE(row != texts.end() && row + 1 != texts.end()) << title;
    EXPECT_TRUE(!row[1].empty() && row[1].find_first_not_of("0123456789") == std::string::npos)
        << title << ": " << row[1];  // the value as the device reported it
  }

  selected = nullptr;  // the tree goes with the window
  w->Destroy();
  ShutdownConsole(ctx, *w);
}

}  // namespace
}  // namespace lark
