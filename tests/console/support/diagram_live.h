// The Diagram tab against a running Larkcore: a console linked to it over
// the network (the shared fixture) with its lists, detail tabs and Diagram
// tab, the levels the service's, from the action tables the link downloads;
// finding a device by title, painting its page as the Diagram page would, and
// comparing it with its golden picture (LARK_UPDATE_GOLDEN=1 rewrites it; a
// page that differs is written beside the build as got_<name>).
#pragma once
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "console/diagram/diagram_module.h"
#include "console/diagram/diagram_tab.h"
#include "console/shell/console_context.h"
#include "console/shell/main_window.h"
#include "console/views/image_canvas.h"
#include "core/live_data.h"
#include "platform/paths.h"
#include "tests/console/support/larkcore_console.h"

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

// The console of the Diagram suites: linked at 127.0.0.5 over the network
// rather than the shared memory, on the wall clock.
class DiagramLarkcoreConsole : public LarkcoreConsole {
 protected:
  DiagramLarkcoreConsole() {
    demoNodes = 14;
    realTime = true;
    withLists = withTabs = withDiagram = true;
    server = "127.0.0.5";
  }
  void Started() override { local = ctx->tables.actions(); }
  // The levels are the service's: its alarm-action tables have come.
  void Linked() override {
    ASSERT_TRUE(Spin([&] { return ctx->tables.actions() != local; }, 30000)) << "no action tables";
    window = w.get();
  }

  std::shared_ptr<const ActionTables> local;  // the console's own tables, before the link's
  LarkviewWindow* window = nullptr;
};

}  // namespace lark::test
