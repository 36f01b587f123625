// The Larkview program: start-up and shutdown as tables of named steps, in
// the order the console has always used, around the Qt event loop.
#pragma once
#include <functional>
#include <memory>
#include <string>

#include "console/shell/console_context.h"
#include "console/shell/main_window.h"

namespace lark {

class ConsoleLink;

// Creates and shows the windows, arms the timers and prepares the link.
// Null when a step failed; `failedStep` then names it.
std::unique_ptr<LarkviewWindow> StartConsole(ConsoleContext& ctx, std::string* failedStep);
// What the event loop leaves behind, after the main window's destroy steps.
void ShutdownConsole(ConsoleContext& ctx, LarkviewWindow& window);
// The work area of the primary screen.
WorkArea PrimaryWorkArea();

// What a program installs on the shell before start-up: the map, the lists
// and the later modules, through the context's registries and call points.
// What it returns is kept until the windows are gone.
using ConsoleInstaller = std::function<std::shared_ptr<void>(ConsoleContext&, ConsoleLink&)>;

// The program: no command line; the install folder is the key store's
// Main/Path, else LARK_INSTALL_DIR, else the program's folder. A failed start
// says which step failed on stderr and exits 1.
int RunLarkview(int argc, char** argv, const ConsoleInstaller& install);

}  // namespace lark
