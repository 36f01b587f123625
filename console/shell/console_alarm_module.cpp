// The records' headers first: Qt's keywords would take their field `slots`.
#include "console/link/console_alarms.h"
// (keep first)
#include "console/shell/console_alarm_module.h"

#include "console/link/service_link.h"
#include "console/shell/console_context.h"
#include "platform/screen_saver.h"

namespace lark {

ConsoleAlarmModule::ConsoleAlarmModule(ConsoleContext& ctx, ServiceLink& link)
    : alarms_(std::make_unique<ConsoleAlarms>(
          ctx.tree, ctx.settings.service, ctx.monitor.settings().monitorItems, ctx.tables,
          ctx.clock(), ctx.installDir(), &player_,
          ConsoleAlarmPeers{[this, &ctx](const std::string& line) { ShowAlarmPopup(ctx, popup_, line); },
                            [&link] { return link.sharedMemoryMode(); },
                            [&ctx](const std::vector<std::string>& argv) { return ctx.spawn(argv, {}); },
                            [&ctx] {
                              const MonitorSettings& m = ctx.monitor.settings();
                              return std::pair<std::string, uint32_t>(
                                  m.gsmPort, static_cast<uint32_t>(m.gsmBaud));
                            }})) {}

ConsoleAlarmModule::~ConsoleAlarmModule() = default;

std::unique_ptr<ConsoleAlarmModule> InstallConsoleAlarms(ConsoleContext& ctx, ServiceLink& link) {
  auto module = std::make_unique<ConsoleAlarmModule>(ctx, link);
  ConsoleAlarms& a = module->alarms();
  ConsoleCallPoints& cp = ctx.points;
  cp.resetSoundCounters = [&a] { a.resetSoundCounters(); };
  cp.clearMailSlots = [&a] { a.clearMailSlots(); };
  cp.initMailLock = [&a] { a.startMail(); };
  cp.decrementSoundCounters = [&a] { a.decrementSoundCounters(); };
  cp.freePendingReportMail = [&a] { a.stopSenders(); };
  cp.alarmChecks = [&a] { a.check(); };
  cp.rebindMonitorRecipients = [&a, &ctx] { a.rebindRecipients(ctx.monitor.settings().monitorItems); };
  cp.switchScreenSaverOff = [&ctx] { ctx.children.watch(SwitchScreenSaverOff()); };
  return module;
}

}  // namespace lark
