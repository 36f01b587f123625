#include "platform/screen_saver.h"

#include "platform/process.h"

namespace lark {

pid_t SwitchScreenSaverOff() { return Spawn({"xdg-screensaver", "reset"}); }

}  // namespace lark
