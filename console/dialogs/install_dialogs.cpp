#include "console/dialogs/console_dialogs.h"
#include "console/shell/console_link.h"
#include "console/map/map_module.h"

namespace lark {

std::shared_ptr<ConsoleDialogs> InstallConsoleDialogs(ConsoleContext& ctx, ConsoleLink& link, ConsoleMap& map) {
  return std::make_shared<ConsoleDialogs>(ctx, link.link(), &map);
}

}  // namespace lark
