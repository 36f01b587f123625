// What every dialog reaches: the console's context, its service link, its map,
// and the reply branches the dialogs register. InstallConsoleDialogs makes
// it at start-up and fills the registry and call points the shell opens
// dialogs through.
#pragma once
#include <cstddef>
#include <functional>
#include <memory>

#include "console/dialogs/reply_timer.h"

namespace lark {

class ConsoleContext;
class ConsoleEndpoints;
class ConsoleLink;
class ConsoleMap;
class ServiceLink;

class ConsoleDialogs {
 public:
  ConsoleDialogs(ConsoleContext& context, ServiceLink& serviceLink, ConsoleMap* consoleMap)
      : ctx(context), link(serviceLink), map(consoleMap) {}

  ConsoleContext& ctx;
  ServiceLink& link;
  ConsoleMap* map;        // null in tests without a map
  ReplyBranches branches; // per (command, OpenDialogId)
  // The network devices the console polls (its endpoint table's size).
  std::function<size_t()> networkDevices;
  const ConsoleEndpoints* endpoints = nullptr;  // the link's table; null in tests without one
};

// The settings and control dialogs: Connection, Alarm Management, UPS
// Control, About, Language, Historical Data Management, Stop All, the traces.
void RegisterSettingsDialogs(ConsoleDialogs& env);

// Larkview's dialogs on its link and map; it must outlive the main window.
std::shared_ptr<ConsoleDialogs> InstallConsoleDialogs(ConsoleContext& ctx, ConsoleLink& link, ConsoleMap& map);
// The Schedule, Configuration and Dry Contact pages on detail-tab slots 3 to
// 5, and the schedules' next actions the window recomputes each minute.
void InstallSettingsPages(ConsoleDialogs& env);

}  // namespace lark
