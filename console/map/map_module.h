// The console's map as one piece: the tree's endpoints (the port registry in
// front of the endpoints the tree had, the link's SNMP table), the MapView,
// the map window, and what they plug into the shell's call points and menu
// commands. RunLarkview installs it after the link and before start-up; it
// must outlive the main window.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "console/map/map_loader.h"
#include "console/map/map_view.h"

class QWidget;

namespace lark {

class ConsoleContext;
class LarkviewWindow;
class MapWindow;
class ServiceLink;

class ConsoleMap;
std::unique_ptr<ConsoleMap> InstallConsoleMap(ConsoleContext& ctx);

class ConsoleMap {
 public:
  explicit ConsoleMap(ConsoleContext& ctx);
  ~ConsoleMap();
  ConsoleMap(const ConsoleMap&) = delete;
  ConsoleMap& operator=(const ConsoleMap&) = delete;

  // Replaces the tree with the map file at `path` (empty: untitled), shows
  // the root group and puts the title on the main window.
  void Open(const std::string& path);
  // Levels of the whole tree from the current action tables.
  void UpdateLevels();
  // Icon moves go to the service as move-icon requests on the request queue.
  void ConnectLink(ServiceLink& link);

  // The object dialogs the edit commands open, by resource number (153 add,
  // 154 cut, 155 paste, 156 remove, 157 remove all; 106, 167, 249, 250 the
  // property dialogs), owned by `owner`; 0 cancels the command. A resource
  // it answers kDialogNotBuilt for opens from the dialog registry; one built
  // nowhere asks the operator to confirm the add, cut, paste and removes, and
  // accepts the property dialogs as they stand.
  std::function<int(int resource, QWidget* owner)> dialog;
  // The operation log on the service (first word, code, text); ConnectLink
  // fills it.
  std::function<void(uint32_t first, uint16_t code, const std::string& text)> postLog;

  ConsoleTreeEndpoints& endpoints() { return endpoints_; }
  MapView& view() { return view_; }
  MapWindow* window() const { return window_; }
  const ConsoleMapNames& names() const { return names_; }

 private:
  friend std::unique_ptr<ConsoleMap> InstallConsoleMap(ConsoleContext& ctx);
  void ConnectCommands(LarkviewWindow& main);
  // Add, cut, paste, delete, delete all and lock (map_commands.cpp).
  void ConnectEditCommands(LarkviewWindow& main);
  bool MapUsable();  // the map-closed and locked checks
  int RunDialog(int resource);
  void NodeLog(uint16_t code, const std::string& text);
  void RefillLists();
  void AddSequence(uint8_t kind, int propertyDialog, uint16_t logCode);
  ConsoleContext& ctx_;
  TreeEndpoints& previous_;  // the tree's endpoints before, given back at the end
  ConsoleTreeEndpoints endpoints_;
  MapView view_;
  MapWindow* window_ = nullptr;  // owned by the main window
  ConsoleMapNames names_;
};

// Makes the map and fills the shell's call points with it.
std::unique_ptr<ConsoleMap> InstallConsoleMap(ConsoleContext& ctx);

}  // namespace lark
