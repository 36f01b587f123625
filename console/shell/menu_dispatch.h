// The main window's menu commands that open dialogs, toggle state or start
// the history viewer; the map's own (view and edit commands) are set by the
// map. Each opens its dialog through the registry: a dialog not built yet
// (kDialogNotBuilt) ends the command with nothing changed.
#pragma once
#include <sys/types.h>

#include <functional>
#include <string>
#include <vector>

namespace lark {

class ConsoleContext;
class ConsoleLink;
class DeviceNode;
class LarkviewWindow;

// The history viewer's command line for `node`: argv for Spawn, and the
// environment entry that carries the database password.
struct ViewerLaunch {
  std::vector<std::string> argv;
  std::vector<std::string> environment;
};
ViewerLaunch ViewerCommandLine(const ConsoleContext& ctx, const DeviceNode& node, const std::string& mapName,
                               bool sharedMemory);

// Renews the node's live-data block after its CommType changed in the
// local-device property dialog.
void RenewCommTypeBlock(DeviceNode& node);

void InstallMenuCommands(ConsoleContext& ctx, LarkviewWindow& main, ConsoleLink& link);

}  // namespace lark
