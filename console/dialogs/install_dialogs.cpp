#include "console/dialogs/about_dialog.h"
#include "console/dialogs/access_management_dialog.h"
#include "console/dialogs/account_dialogs.h"
#include "console/dialogs/alarm_manage_dialog.h"
#include "console/dialogs/background_dialog.h"
#include "console/dialogs/config_download.h"
#include "console/dialogs/connect_dialog.h"
#include "console/dialogs/connection_dialog.h"
#include "console/dialogs/console_dialogs.h"
#include "console/dialogs/contactor_dialog.h"
#include "console/dialogs/database_dialogs.h"
#include "console/dialogs/event_log_dialog.h"
#include "console/dialogs/history_dialog.h"
#include "console/dialogs/language_dialog.h"
#include "console/dialogs/list_tab_dialog.h"
#include "console/dialogs/notification_sheet.h"
#include "console/dialogs/notify_items_dialog.h"
#include "console/dialogs/object_dialogs.h"
#include "console/dialogs/property_dialogs.h"
#include "console/dialogs/report_dialog.h"
#include "console/dialogs/stop_all_dialog.h"
#include "console/dialogs/sync_images_dialog.h"
#include "console/dialogs/trace_dialogs.h"
#include "console/dialogs/umf_dialogs.h"
#include "console/dialogs/ups_control_dialog.h"
#include "console/dialogs/ups_log_dialog.h"
#include "console/map/map_module.h"
#include "console/shell/console_link.h"

namespace lark {

std::shared_ptr<ConsoleDialogs> InstallConsoleDialogs(ConsoleContext& ctx, ConsoleLink& link,
                                                      ConsoleMap& map) {
  auto dialogs = std::make_shared<ConsoleDialogs>(ctx, link.link(), &map);
  dialogs->networkDevices = [&link] { return link.endpoints().entries().size(); };
  dialogs->endpoints = &link.endpoints();
  RegisterEventLogDialog(*dialogs);
  RegisterUpsLogDialog(*dialogs);
  RegisterReportDialog(*dialogs);
  RegisterSettingsDialogs(*dialogs);
  RegisterContactorDialog(*dialogs);
  RegisterNotifyItemsDialogs(*dialogs);
  ctx.points.openNotificationSheet = [d = dialogs.get()](QWidget* owner, int page) {
    OpenNotificationSheet(*d, owner, page);
  };
  RegisterConnectDialog(*dialogs);
  RegisterConfigDownload(*dialogs);
  RegisterUmfDialogs(*dialogs);
  RegisterListTabDialog(*dialogs);
  RegisterAccountDialogs(*dialogs);
  RegisterAccessManagementDialog(*dialogs);
  RegisterDatabaseDialogs(*dialogs);
  InstallObjectDialogs(*dialogs, map);
  RegisterPropertyDialogs(*dialogs);
  RegisterBackgroundDialog(*dialogs);
  RegisterSyncImagesDialog(*dialogs);
  // The connection and the download run through 146 and 149 from now on.
  link.UseSessionDialogs();
  return dialogs;
}

void RegisterSettingsDialogs(ConsoleDialogs& env) {
  RegisterConnectionDialog(env);
  RegisterAlarmManageDialog(env);
  RegisterUpsControlDialog(env);
  RegisterAboutDialog(env);
  RegisterLanguageDialog(env);
  RegisterHistoryDialog(env);
  RegisterStopAllDialog(env);
  RegisterTraceDialogs(env);
}

}  // namespace lark
