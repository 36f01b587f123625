// The console's own alarm actions in the shell: ConsoleAlarms over the
// console's tree, settings and notification items, its sounds through a
// ProcessSoundPlayer, silent while the link runs over the status shared
// memory. RunLarkview installs it after the link; it fills the alarm call
// points and must outlive the main window.
#pragma once
#include <memory>

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

 private:
  ProcessSoundPlayer player_;
  std::unique_ptr<ConsoleAlarms> alarms_;
};

std::unique_ptr<ConsoleAlarmModule> InstallConsoleAlarms(ConsoleContext& ctx, ServiceLink& link);

}  // namespace lark
