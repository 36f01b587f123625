// What a user sees of each detail page, against the real Larkcore with the
// demo's simulated devices, at two window sizes: on the settings pages every
// visible control lies inside its page and has at least its size hint; on
// the painted pages no two texts overlap, none is cut off by its box, and
// none runs past the page's right edge. Then what they say: nominal voltages
// in volts, and an inverter's and a sensor's readings. Own network namespace.
#include <QApplication>
#include <QScrollArea>
#include <filesystem>

#include "console/dialogs/pages/tab_page.h"
#include "console/tabs/property_pane.h"
#include "console/tabs/summary_tab.h"
#include "console/views/recording_canvas.h"
#include "tests/console/support/larkcore_console.h"

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

// The demo map's fourteen nodes: an ASCII and a three-phase UPS on COM1
// and COM2, three SNMP agents (a maker-MIB UPS, an inverter, a sensor) and a
// GPRS station, read by a console at 1600x1000 with every detail page.
class PageGeometryLarkcore : public test::LarkcoreConsole {
 protected:
  PageGeometryLarkcore() {
    demoNodes = 14;
    realTime = true;
    workArea = WorkArea{0, 0, 1600, 1000};
    withLists = withTabs = withDiagram = true;
    server = "127.0.0.5";  // the agents take .2 to .4
  }
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(Prepare());
    if (IsSkipped()) return;
    ASSERT_NO_FATAL_FAILURE(StartService());
    Simulate("gprs_sim", {"--stations", "1"});  // the station calls the running service
    ASSERT_NO_FATAL_FAILURE(StartConsole());
  }
  void BeforeServiceStarts() override {
    ASSERT_TRUE(WriteFileAtomic(service.file("snmp_sim.txt"),
                                "agent ups 127.0.0.2:16161 maker\n"
                                "agent inverter 127.0.0.3:16161 device\nunit inverter 3\n"
                                "agent sensor 127.0.0.4:16161 device\nunit sensor 100\n"));
    Simulate("ups_sim", {"--pty-dir", Ports(), "--com", "1", "--ups", "1", "--module", "1:1", "--module", "2:1"});
    Simulate("ups3_sim", {"--pty-dir", Ports(), "--com", "2", "--ups", "1"});
    Simulate("snmp_sim", {service.file("snmp_sim.txt")});
    ASSERT_TRUE(LinesUp({1, 2}));
  }
  // The console's own language and the UPS pictures, as an installed console has.
  void ConsoleFiles() override {
    CopyEnglishFolder();
    fs::copy(test::SourcePath("data/UPS"), console.file("UPS"), fs::copy_options::recursive);
  }
  void Install() override { InstallSettingsPages(*env); }
  void Started() override {
    w->grab();  // the first paint makes the back buffer
    ctx->points.selectedDevice = [this] { return selected; };
  }
  void StopConsole() override {
    selected = nullptr;  // the tree goes with the window
    LarkcoreConsole::StopConsole();
  }

  DeviceNode* selected = nullptr;  // the device whose pages are shown
};

TEST_F(PageGeometryLarkcore, EveryPageOfTheDemoDevicesAtTwoWindowSizes) {
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
    DeviceNode* node = Node(d.title);
    ASSERT_NE(node, nullptr) << d.title;
    EXPECT_TRUE(test::Spin(
        [&] {
          const LiveDataBlock* b = node->block(d.kind);
          return b != nullptr && b->slot(d.slot) >= 0;
        },
        40000))
        << d.title << "\n"
        << larkcore->output();
  }

  const auto& enabled = ctx->monitor.settings().tabEnabled;
  for (QSize size : {QSize(1024, 768), QSize(1600, 1000)}) {
    w->resize(size);
    w->Relayout();
    QApplication::processEvents();
    const std::string at = std::to_string(size.width()) + "x" + std::to_string(size.height()) + " ";
    for (const Device& d : devices) {
      selected = Node(d.title);
      for (int slot = 0; slot < kDetailTabs; ++slot) {
        if (!enabled[static_cast<size_t>(slot)]) continue;
        const std::string where = at + d.title + " page " + std::to_string(slot) + ": ";
        std::vector<std::string> faults;
        if (slot <= kTabModule) {
          RecordingCanvas rec;
          if (slot == kTabSummary) PaintSummaryTab(rec, PanelInputsOf(*ctx), *selected, true);
          if (slot == kTabDiagram) ctx->points.paintDiagramTab(rec, *selected, true);
          if (slot == kTabModule) ctx->points.paintModuleTab(rec, *selected, true);
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
          ctx->points.refreshDetailTabs(1);
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
    DeviceNode* node = Node(title);
    RecordingCanvas pane;
    PaintPropertyPane(pane, PanelInputsOf(*ctx), node, 500);
    std::vector<std::string> values;
    for (const TextRun& run : pane.textRuns()) values.push_back(run.text);
    EXPECT_NE(std::find(values.begin(), values.end(), "230 V"), values.end()) << title;
  }
  for (const char* title : {"Network inverter", "Network sensor"}) {
    RecordingCanvas diagram;
    ctx->points.paintDiagramTab(diagram, *Node(title), true);
    std::vector<std::string> texts;
    for (const TextRun& run : diagram.textRuns()) texts.push_back(run.text);
    EXPECT_NE(std::find(texts.begin(), texts.end(), "Readings"), texts.end()) << title;
    const auto row = std::find(texts.begin(), texts.end(), "Value 0");
    ASSERT_TRUE(row != texts.end() && row + 1 != texts.end()) << title;
    EXPECT_TRUE(!row[1].empty() && row[1].find_first_not_of("0123456789") == std::string::npos)
        << title << ": " << row[1];  // the value as the device reported it
  }
}

}  // namespace
}  // namespace lark
