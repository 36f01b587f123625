// The Diagram tab against a running Larkcore: a console linked to it over
// the network, finding a device by title, painting its page as the Diagram
// page would, and comparing it with its golden picture (LARK_UPDATE_GOLDEN=1
// rewrites it; a page that differs is written beside the build as
// got_<name>).
#pragma once
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "console/diagram/diagram_module.h"
#include "console/diagram/diagram_tab.h"
#include "console/lists/console_lists.h"
#include "console/map/map_module.h"
#include "console/shell/console_context.h"
#include "console/shell/console_link.h"
#include "console/shell/larkview.h"
#include "console/shell/main_window.h"
#include "console/tabs/detail_tabs.h"
#include "console/views/image_canvas.h"
#include "core/live_data.h"
#include "platform/paths.h"
#include "tests/console/support/console_peers.h"
#include "tests/support/temp_dir.h"

namespace lark::test {

inline DeviceNode* FindTitle(const DeviceNode& n, const std::string& title) {
  for (const auto& c : n.children()) {
    if (c->title() == title) return c.get();
    if (DeviceNode* d = FindTitle(*c, title)) return d;
  }
  return nullptr;
}

// A page the size of the Diagram page.
inline CanvasRect PageRect(const ConsoleContext& ctx) {
  const QSize s = ctx.mainWindow->tabPage(kTabDiagram)->contentsRect().size();
  return {0, 0, s.width(), s.height()};
}

inline QImage PaintPage(const ConsoleContext& ctx, const DeviceNode& node) {
  const CanvasRect rect = PageRect(ctx);
  ImageCanvas page(rect.width(), rect.height());
  PaintDiagramTab(page, node, true, MakeDiagramEnv(ctx, rect));
  return page.image()->convertToFormat(QImage::Format_RGB32);
}

// Until the alarm checks move them, the console's last-reported words are
// copied from the current ones by hand.
inline void CopyReportedWords(DeviceNode& node) {
  if (LiveDataBlock* b = PrimaryBlock(node)) {
    b->setMask(MaskWord::kReported, b->mask(MaskWord::kCurrent));
    if (b->hasMask(MaskWord::kExtReported))
      b->setMask(MaskWord::kExtReported, b->mask(MaskWord::kExtCurrent));
  }
}

inline void CompareGolden(const QImage& page, const std::string& name) {
  const std::string golden = SourcePath("tests/console/golden/" + name);
  if (std::getenv("LARK_UPDATE_GOLDEN")) {
    ASSERT_TRUE(page.save(QString::fromStdString(golden)));
  }
  QImage want(QString::fromStdString(golden));
  ASSERT_FALSE(want.isNull()) << golden;
  EXPECT_EQ(page, want.convertToFormat(QImage::Format_RGB32)) << name;
  if (page != want.convertToFormat(QImage::Format_RGB32))
    page.save(QString::fromStdString(std::string(std::getenv("LARK_BINARY_DIR")) + "/got_" + name));
}

// The console with its lists, detail tabs and Diagram tab (and, asked for,
// the map whose level pass colours nodes), linked to the service at
// 127.0.0.5 over the network rather than the shared memory.
struct LiveConsole {
  SystemClock clock;
  std::unique_ptr<ConsoleContext> ctx;
  std::unique_ptr<ConsoleLink> link;
  std::unique_ptr<ConsoleMap> map;
  std::unique_ptr<LarkviewWindow> window;

  // Empty when running and linked, else what failed.
  std::string start(const TempDir& folder, bool withMap) {
    MakeDirs(folder.file("English"));
    WriteFileAtomic(folder.file("English/language.ini"),
                    ReadFile(SourcePath("data/English/language.ini")).value());
    ctx = std::make_unique<ConsoleContext>(folder.path(), clock, WorkArea{0, 0, 1280, 800});
    ctx->messageBox = [](QWidget*, const std::string&, const std::string&, unsigned) {
      return int(IDOK);
    };
    ctx->quit = [](int) {};
    link = std::make_unique<ConsoleLink>(*ctx);
    link->Wire();
    InstallConsoleLists(*ctx);
    InstallDetailTabs(*ctx);
    InstallDiagramTab(*ctx);
    if (withMap) map = InstallConsoleMap(*ctx);
    std::string failed;
    window = StartConsole(*ctx, &failed);
    if (!window) return failed;
    link->link().setServer("127.0.0.5");
    link->link().setAutoConnect(true);
    if (!Spin([&] { return link->link().state() == LinkState{7, 0}; }, 30000)) return "no link";
    // The levels are the service's: its alarm-action tables have come.
    const std::shared_ptr<const ActionTables> local = ctx->tables.actions();
    if (!Spin([&] { return ctx->tables.actions() != local; }, 30000)) return "no action tables";
    return {};
  }
  void stop() {
    window.reset();
    map.reset();
    link.reset();
    ctx.reset();
  }
  ~LiveConsole() { stop(); }
};

}  // namespace lark::test
