#include "console/dialogs/access_management_dialog.h"
#include "console/dialogs/account_dialogs.h"
#include "console/dialogs/console_dialogs.h"
#include "console/dialogs/database_dialogs.h"
#include "console/dialogs/event_log_dialog.h"
#include "console/dialogs/report_dialog.h"
#include "console/dialogs/ups_log_dialog.h"
#include "console/map/map_module.h"
#include "console/shell/console_link.h"

namespace lark {

std::shared_ptr<ConsoleDialogs> InstallConsoleDialogs(ConsoleContext& ctx, ConsoleLink& link,
                                                      ConsoleMap& map) {
  auto dialogs = std::make_shared<ConsoleDialogs>(ctx, link.link(), &map);
  RegisterEventLogDialog(*dialogs);
  RegisterUpsLogDialog(*dialogs);
  RegisterReportDialog(*dialogs);
  RegisterAccountDialogs(*dialogs);
  RegisterAccessManagementDialog(*dialogs);
  RegisterDatabaseDialogs(*dialogs);
  return dialogs;
}

}  // namespace lark
