#include "console/dialogs/config_download.h"
#include "console/dialogs/connect_dialog.h"
#include "console/dialogs/console_dialogs.h"
#include "console/dialogs/event_log_dialog.h"
#include "console/dialogs/list_tab_dialog.h"
#include "console/dialogs/report_dialog.h"
#include "console/dialogs/umf_dialogs.h"
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
  RegisterConnectDialog(*dialogs);
  RegisterConfigDownload(*dialogs);
  RegisterUmfDialogs(*dialogs);
  RegisterListTabDialog(*dialogs);
  // The connection and the download run through 146 and 149 from now on.
  link.UseSessionDialogs();
  return dialogs;
}

}  // namespace lark
