// Larkview: the operators' console.
#include "console/dialogs/console_dialogs.h"
#include "console/lists/console_lists.h"
#include "console/map/map_module.h"
#include "console/shell/console_link.h"
#include "console/shell/larkview.h"

namespace {
// What the installer leaves: the dialogs go before the map they use.
struct Installed {
  std::shared_ptr<lark::ConsoleMap> map;
  std::unique_ptr<lark::ConsolePiece> dialogs;
};
}  // namespace

int main(int argc, char** argv) {
  return lark::RunLarkview(argc, argv, [](lark::ConsoleContext& ctx, lark::ConsoleLink& link) {
    auto installed = std::make_shared<Installed>();
    installed->map = lark::InstallConsoleMap(ctx);
    installed->map->ConnectLink(link.link());
    lark::InstallConsoleLists(ctx);
    installed->dialogs = lark::InstallConsoleDialogs(ctx, link, *installed->map);
    return std::shared_ptr<void>(installed);
  });
}
