#include "console/diagram/diagram_module.h"

#include <QWidget>

#include "console/shell/console_context.h"
#include "console/diagram/diagram_tab.h"
#include "console/shell/main_window.h"
#include "console/tabs/detail_tabs.h"

namespace lark {

DiagramEnv MakeDiagramEnv(const ConsoleContext& ctx, CanvasRect area) {
  DiagramEnv env;
  env.area = area;
  env.label = ctx.fonts.label;
  env.value = ctx.fonts.value;
  env.valueLineHeight = ctx.fonts.valueLineHeight;
  env.panel = ctx.fonts.panel;
  env.panelLineHeight = ctx.fonts.panelLineHeight;
  env.levels = ctx.settings.service.levelColors;
  env.texts = &ctx.texts.language;
  for (size_t i = 0; i < env.relayNames.size(); ++i)
    env.relayNames[i] = ctx.texts.status.text(StatusList::ComponentCopy, i);
  env.root = &ctx.tree.root();
  const WallTime now = ctx.clock().now();
  env.today = {now.year, now.month, now.day};
  if (const LarkviewWindow* w = ctx.mainWindow) {
    env.tabAreaWidth = w->tabArea().width();
    if (const QWidget* pane = w->propertyPane()) env.paneRight = pane->geometry().right() + 1;
    env.clientRight = w->client() != nullptr ? w->client()->width() : 0;
  }
  return env;
}

void InstallDiagramTab(ConsoleContext& ctx) {
  ctx.points.paintDiagramTab = [&ctx](Canvas& c, DeviceNode& node, bool full) {
    // All pages share one size: the Diagram page's own client rectangle.
    CanvasRect area;
    if (const LarkviewWindow* w = ctx.mainWindow) {
      const QSize s = w->tabPage(kTabDiagram)->contentsRect().size();
      area = {0, 0, s.width(), s.height()};
    }
    PaintDiagramTab(c, node, full, MakeDiagramEnv(ctx, area));
  };
}

}  // namespace lark
