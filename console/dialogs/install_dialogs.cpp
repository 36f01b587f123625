#include "console/dialogs/console_dialogs.h"
#include "console/shell/console_link.h"
#include "console/map/map_module.h"

namespace lark {

std::unique_ptr<ConsolePiece> InstallConsoleDialogs(ConsoleContext& ctx, ConsoleLink& link, ConsoleMap& map) {
  return std::make_unique<ConsoleDialogs>(ctx, link.link(), &map);
}

}  // namespace lark
