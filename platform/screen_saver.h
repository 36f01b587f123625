// The desktop's screen saver, switched off when an alarm line is shown so the
// person at the screen sees it at once.
#pragma once
#include <sys/types.h>

namespace lark {

// Starts "xdg-screensaver reset" (looked up on PATH, never through a shell),
// which wakes the screen and restarts the saver's idle time, without
// waiting; the child for the caller to reap, or -1 when it cannot be started
// (no desktop tools: there is nothing to switch).
pid_t SwitchScreenSaverOff();

}  // namespace lark
