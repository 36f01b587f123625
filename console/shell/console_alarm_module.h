// The console's own alarm actions in the shell: ConsoleAlarms over the
// console's tree, settings and notification items, its sounds through a
// ProcessSoundPlayer, silent while the link runs over the status shared
// memory; the popup lines in the alarm popup window. RunLarkview installs it after the link; it fills the alarm call
// points and must outlive the main window.
#pragma once
#include <QPointer>
#include <memory>

#include "console/shell/alarm_popup.h"
#include "platform/sound_player.h"

namespace lark {

class ConsoleAlarms;
class ConsoleContext;
class ServiceLink;

class ConsoleAlarmModule {
 public:
  ConsoleAlarmModule(ConsoleContext& ctx, ServiceLink& link);
  ~ConsoleAlarmModule();
  ConsoleAlarms& alarms() { return *alarms_; }
  AlarmPopup* popup() const { return popup_; }

 private:
  ProcessSoundPlayer player_;
  QPointer<AlarmPopup> popup_;
  std::unique_ptr<ConsoleAlarms> alarms_;
};

std::unique_ptr<ConsoleAlarmModule> InstallConsoleAlarms(ConsoleContext& ctx, ServiceLink& link);

}  // namespace lark
