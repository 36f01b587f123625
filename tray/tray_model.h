// The tray program without its toolkit: the service's state as the keep-alive
// counter shows it, the start/stop request, the console start and the alarm
// sounds queued in the tray's own "Audio" value. Driven by two timers (one
// second, five seconds) and the menu; it shows itself through TrayIconView.
#pragma once
#include <sys/types.h>

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/process.h"

namespace lark {

class KeyStore;
class SoundPlayer;

inline constexpr int kTrayCmdExit = 101;
inline constexpr int kTrayCmdMonitor = 40001;
inline constexpr int kTrayCmdStartStop = 40002;

enum TrayState : int { kTrayAlive = 1, kTrayOnHold = 2, kTrayNoService = 3, kTrayRemoved = 4 };

inline constexpr const char* kTrayTip = "Gridwarden Manager Status";
inline constexpr const char* kTrayNoServiceTip = "Gridwarden Manager\nCannot find a Service";

class TrayIconView {
 public:
  virtual ~TrayIconView() = default;
  // Whether a notification area is there to hold the icon.
  virtual bool areaAvailable() = 0;
  virtual void addIcon() = 0;
  // Shows the picture of `state` (alive, on hold, no service) with its tip.
  virtual void showIcon(TrayState state, const std::string& tip) = 0;
  virtual void removeIcon() = 0;
  virtual void setMenuText(int command, const std::string& text) = 0;
};

// The entries of an Audio value to play: each one closed by ';', empty ones
// skipped, text after the last ';' ignored; nothing for a list longer than
// the slot's limit.
std::vector<std::string_view> SoundEntries(std::string_view list);

class TrayModel {
 public:
  TrayModel(KeyStore& keys, SoundPlayer& player, TrayIconView& view, std::string installDir);
  ~TrayModel();
  TrayModel(const TrayModel&) = delete;
  TrayModel& operator=(const TrayModel&) = delete;

  // Claims an Audio slot and loads the menu texts.
  void start();
  // Timer 1: notices the notification area come and go, plays queued sounds.
  void onSecondTick();
  // Timer 2: reads the keep-alive counter and shows what it says.
  void onPollTick();
  // A menu command; false for an id the tray does not know. Exit only removes
  // the icon and frees the slot: ending the program is the caller's.
  bool command(int id);
  // The Exit path (the menu, SIGTERM, SIGINT): icon removed, slot deleted.
  void exit();

  TrayState state() const { return state_; }
  bool nextCommandIsStart() const { return nextIsStart_; }
  const std::string& startStopText() const { return startStopText_; }
  // "0".."4", or empty without a slot.
  const std::string& audioSlot() const { return slot_; }
  bool areaKnown() const { return areaKnown_; }
  const std::string& languageDir() const { return languageDir_; }

 private:
  void setIconState(int s);
  int pollServiceKeepAlive();
  void claimSlot();
  void loadTexts();
  void playQueuedSounds();

  KeyStore& keys_;
  SoundPlayer& player_;
  TrayIconView& view_;
  std::string installDir_;
  std::string languageDir_;
  std::array<std::string, 4> texts_;  // [SystemTray] Item1..Item4
  std::string startStopText_;
  TrayState state_ = kTrayAlive;
  bool nextIsStart_ = false;
  int32_t lastKeepAlive_ = 0;
  bool areaKnown_ = false;
  bool exited_ = false;
  std::string slot_;
  InstanceLock slotLock_;
  std::vector<pid_t> consoles_;
};

}  // namespace lark
