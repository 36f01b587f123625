// The service's side of the tray hand-over: a keep-alive counter raised every
// second under key "SysTray" so the tray program sees the service run, and
// the one-shot "command" value the tray leaves ("0" stop monitoring, "1"
// start it again by reloading the map that was open).
//
// Threads: loop thread only (the one-second timer). The key store itself is
// safe between processes.
#pragma once
#include <atomic>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace lark {

class KeyStore;

inline constexpr const char* kTrayKey = "SysTray";
inline constexpr const char* kKeepAliveValue = "keep-alive";
inline constexpr const char* kTrayCommandValue = "command";
// [SystemTray] "Item1" to "Item4" of language.ini and their English texts:
// the Exit item, the start/stop item's two texts and the Monitor item.
inline constexpr const char* kTrayTextSection = "SystemTray";
inline constexpr const char* kTrayItemDefaults[4] = {"Exit", "Start Service", "Stop Service",
                                                     "Monitor"};
// Values are handled in buffers of this size; longer reads are cut.
inline constexpr size_t kTrayValueMax = 259;

// Operations on the SysTray key; true on success.
//  0 create the key; 1 delete "keep-alive" and "command"; 2 keep-alive + 1
//  (a missing or non-numeric value restarts at 0); 3 read "keep-alive" into
//  *text; 4 write *text to "command"; 5 read and clear "command" in one step
//  into *text. Any other operation fails.
bool TrayRegistryOp(KeyStore& keys, int operation, std::string* text);

enum MonitoringState : int { kMonitoring = 1, kMonitoringStopping = 2, kMonitoringStopped = 3 };

// What the service does for the tray's commands; wired by the service.
struct TrayHooks {
  // Stop monitoring: close the console listener, discovery socket and every
  // session; clear the tree; open an empty untitled map; reset the control
  // lock; switch the traffic traces off. Returns the name of the map that
  // was open (without ".UMF"; empty for an untitled map).
  std::function<std::string()> stopMonitoring;
  // Clear the tree and open the map file (an empty name opens a new untitled map).
  std::function<void(const std::string& mapFile)> reloadMap;
};

class TrayHandOver {
 public:
  TrayHandOver(KeyStore& keys, TrayHooks hooks) : keys_(keys), hooks_(std::move(hooks)) {}

  // Start-up: create the key and remove the values of an earlier run.
  void start();
  // Shut-down: remove the two values so the tray shows the service gone.
  void finish();
  // The one-second timer's part: raise the keep-alive while monitoring, then
  // take the tray's command (in every state) and carry it out.
  void onSecondTick();
  // RunTrayCommand: the text's decimal value picks the action (not a number = 0).
  void runCommand(std::string_view text);

  int monitoringState() const { return state_.load(std::memory_order_relaxed); }
  bool monitoring() const { return monitoringState() <= kMonitoring; }
  // "<map>.UMF" of the map open when monitoring last stopped; empty before.
  const std::string& savedMapFile() const { return savedMap_; }

 private:
  KeyStore& keys_;
  TrayHooks hooks_;
  std::atomic<int> state_{kMonitoring};  // written on the loop thread; others may read
  std::string savedMap_;                 // loop thread only
};

}  // namespace lark
