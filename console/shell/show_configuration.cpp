#include "console/shell/show_configuration.h"

#include "console/shell/console_context.h"
#include "console/shell/main_window.h"

namespace lark {

std::string MainTitleFor(const std::string& mapName) {
  return mapName.empty() ? std::string(kMainTitle) : std::string(kMainTitle) + "-" + mapName;
}

void ShowCurrentConfiguration(ConsoleContext& ctx, const std::string& mapName) {
  CallPoint(ctx.points.openMapFile, mapName.empty() ? std::string() : ctx.installDir() + "/Monitor/" + mapName);
  if (ctx.mainWindow) ctx.mainWindow->setWindowTitle(QString::fromStdString(MainTitleFor(mapName)));
  ctx.mapDirty = false;
  CallPoint(ctx.points.repaintMap);
  CallPoint(ctx.points.fillLists);
}

}  // namespace lark
