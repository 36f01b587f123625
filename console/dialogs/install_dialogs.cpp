#include "console/dialogs/settings/about_dialog.h"
#include "console/dialogs/accounts/access_management_dialog.h"
#include "console/dialogs/accounts/account_dialogs.h"
#include "console/dialogs/settings/alarm_manage_dialog.h"
#include "console/dialogs/map_edit/background_dialog.h"
#include "console/dialogs/map_edit/batch_config_dialog.h"
#include "console/dialogs/session/config_download.h"
#include "console/dialogs/session/connect_dialog.h"
#include "console/dialogs/session/connection_dialog.h"
#include "console/dialogs/console_dialogs.h"
#include "console/dialogs/notify/contactor_dialog.h"
#include "console/dialogs/accounts/database_dialogs.h"
#include "console/dialogs/logs/event_log_dialog.h"
#include "console/dialogs/settings/history_dialog.h"
#include "console/dialogs/settings/language_dialog.h"
#include "console/dialogs/session/list_tab_dialog.h"
#include "console/dialogs/notify/notification_sheet.h"
#include "console/dialogs/notify/notify_items_dialog.h"
#include "console/dialogs/map_edit/object_dialogs.h"
#include "console/dialogs/map_edit/property_dialogs.h"
#include "console/dialogs/logs/report_dialog.h"
#include "console/dialogs/settings/stop_all_dialog.h"
#include "console/dialogs/map_edit/sync_images_dialog.h"
#include "console/dialogs/settings/trace_dialogs.h"
#include "console/dialogs/session/umf_dialogs.h"
#include "console/dialogs/settings/ups_control_dialog.h"
#include "console/dialogs/logs/ups_log_dialog.h"
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
  RegisterBatchConfigDialog(env);
  RegisterAboutDialog(env);
  RegisterLanguageDialog(env);
  RegisterHistoryDialog(env);
  RegisterStopAllDialog(env);
  RegisterTraceDialogs(env);
}

}  // namespace lark
