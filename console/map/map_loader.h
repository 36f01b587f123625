// The console's copy of the device tree as read from a map file the console
// downloaded into its Monitor folder. The file is read by the service's own
// reader (LoadMapText); only the set-up of each node is the console's: its
// blocks with their starting values, MibType left at 0 until the service's
// data set it, SNMP devices into the endpoint table, serial devices into the
// port registry.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "console/map/map_registry.h"
#include "core/device_tree.h"

namespace lark {

// What the console's tree edits reach outside the tree: the port registry,
// and the link's table of SNMP devices (`network`).
class ConsoleTreeEndpoints final : public TreeEndpoints {
 public:
  explicit ConsoleTreeEndpoints(TreeEndpoints& network) : network_(network) {}
  bool addSnmpDevice(DeviceNode& node) override { return network_.addSnmpDevice(node); }
  void removeSnmpDevice(DeviceNode& node) override { network_.removeSnmpDevice(node); }
  void detachSerialDevice(DeviceNode& node) override { registry.Unregister(node); }
  void releaseGprsStation(DeviceNode& node) override { network_.releaseGprsStation(node); }

  PortDeviceRegistry registry;

 private:
  TreeEndpoints& network_;
};

// The console's set-up of one node read from a map file.
void ConsoleInitNode(DeviceTree& tree, DeviceNode& node);

struct ConsoleMapNames {
  std::string title;        // the main window's caption
  std::string displayName;  // the file name cut at its last '.'
};
// "dir/a.b.UMF" gives "Gridwarden Manager-a.b.UMF" and "a.b"; an empty path
// gives the untitled names.
ConsoleMapNames MapNamesOf(std::string_view path);

// The path of a map the service names in the console's Monitor folder; none
// unless the name is a plain file name.
std::optional<std::string> ConsoleMapPath(std::string_view installDir, std::string_view name);

// Replaces the tree with the file's content (an unreadable file leaves the
// tree empty), then computes every node's alarm level so nothing blinks
// before the first data. Returns the names for the window.
ConsoleMapNames OpenConsoleMap(DeviceTree& tree, const std::string& path,
                               const ActionLevelSource& levels);

}  // namespace lark
