#include "console/dialogs/console_dialogs.h"
#include "console/dialogs/contactor_dialog.h"
#include "console/dialogs/event_log_dialog.h"
#include "console/dialogs/notification_sheet.h"
#include "console/dialogs/notify_items_dialog.h"
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
  RegisterContactorDialog(*dialogs);
  RegisterNotifyItemsDialogs(*dialogs);
  ctx.points.openNotificationSheet = [d = dialogs.get()](QWidget* owner, int page) {
    OpenNotificationSheet(*d, owner, page);
  };
  return dialogs;
}

}  // namespace lark
