// Larkview: the operators' console.
#include "console/diagram/diagram_module.h"
#include "console/dialogs/console_dialogs.h"
#include "console/lists/console_lists.h"
#include "console/map/map_module.h"
#include "console/shell/console_link.h"
#include "console/shell/larkview.h"
#include "console/tabs/detail_tabs.h"

int main(int argc, char** argv) {
  return lark::RunLarkview(argc, argv, [](lark::ConsoleContext& ctx, lark::ConsoleLink& link) {
    std::shared_ptr<lark::ConsoleMap> map = lark::InstallConsoleMap(ctx);
    map->ConnectLink(link.link());
    lark::InstallConsoleLists(ctx);
    lark::InstallDetailTabs(ctx);
    lark::InstallDiagramTab(ctx);
    std::shared_ptr<lark::ConsoleDialogs> dialogs = lark::InstallConsoleDialogs(ctx, link, *map);
    lark::InstallSettingsPages(*dialogs);
    // The dialogs use the map: they go first.
    return std::shared_ptr<void>(std::make_shared<std::pair<std::shared_ptr<lark::ConsoleMap>,
                                                            std::shared_ptr<lark::ConsoleDialogs>>>(map, dialogs));
  });
}
