// The console's own alarm actions, for the people who watch this console:
// every second tick the current event words the link keeps in each device's
// block are compared with the console's last-reported copies, which then
// take the current values (the map's levels, the lists' alarm column and the
// detail tabs read those). Changes ripen for their row's delay and raise the
// reactions of the row's level from the console's copy of manager.ini: the
// popup line at the change, mail and SMS texts for the "Notify By Monitor"
// items of monitor.ini, and the row's sound. The service's AlarmDetector
// does the work, with the console's texts ("(Monitor/%s)", "(M/%s)").
//
// Threads: the window thread only; the outgoing slots are shared with the
// mail thread under their lock.
#pragma once
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/action_tables.h"
#include "core/device_tree.h"
#include "core/language_texts_store.h"
#include "core/settings.h"
#include "records/alarm_detector.h"
#include "records/mail_sender.h"
#include "records/outgoing_messages.h"
#include "records/popup.h"
#include "records/sms_sender.h"

namespace lark {

class Clock;
class SoundPlayer;

struct ConsoleAlarmPeers {
  // A line for the popup window: long date, time and "(title) message".
  std::function<void(const std::string& line)> popup;
  // True while the link runs over the status shared memory: the service is
  // on this computer, its tray program plays the sounds and it starts the
  // desktop messages itself.
  std::function<bool()> sameComputer;
  // Starts Larknote (argv) and reaps it when it ends; the pid or -1. Empty:
  // no desktop messages.
  SpawnFn spawn;
  // The console's GSM modem (monitor.ini [Monitor GSM Modem] port and baud).
  std::function<std::pair<std::string, uint32_t>()> gsmModem;
};

// The senders' failures and refused sounds: the console has no event log,
// they go to stderr (one line each).
class StderrEventLog final : public EventLogSink {
 public:
  void WriteEventLog(int32_t number, uint32_t level, int32_t code, std::string_view text) override;
};

class ConsoleAlarms {
 public:
  // `settings`: the manager.ini copy (reactions, contacts); `items`: the
  // console's 20 notification items; `player` may be null (no sound).
  ConsoleAlarms(DeviceTree& tree, ServiceSettings& settings, std::span<RecipientItem> items,
                const LanguageTables& tables, const Clock& clock, std::string installDir,
                SoundPlayer* player, ConsoleAlarmPeers peers);
  ~ConsoleAlarms();
  ConsoleAlarms(const ConsoleAlarms&) = delete;
  ConsoleAlarms& operator=(const ConsoleAlarms&) = delete;

  // Start-up and every map opened: the 200 sound counters to 0, every slot
  // released.
  void resetSoundCounters();
  void clearMailSlots();
  // The one-second timer: each sound counter above 0 counts down; ended
  // children are reaped.
  void decrementSoundCounters();
  // CheckDeviceEvents then CheckExtendedEvents over the whole tree, then the
  // settings to the mail thread and one step of the SMS sender.
  void check();
  // Start-up: the mail thread. Destroy: the senders stopped and joined
  // (texts not yet sent stay in the slots).
  void startMail();
  void stopSenders();

  OutgoingMessages& outgoing() { return outgoing_; }
  // After the notification items were replaced: each kept name keeps its
  // slot and the texts waiting in it, every other slot is freed; under the
  // mail lock, since the mail thread reads the slots.
  void rebindRecipients(std::span<RecipientItem> items);

 private:
  void playSound(std::string_view file);
  void showPopup(std::string_view text);

  DeviceTree& tree_;
  ServiceSettings& settings_;
  const Clock& clock_;
  std::string installDir_;
  const LanguageTables& tables_;
  SoundPlayer* player_;
  ConsoleAlarmPeers peers_;
  std::shared_ptr<const ActionTables> snapshot_;  // the tables `actions_` copies
  ActionTables actions_;
  OutgoingMessages outgoing_;
  AlarmDetector detector_;
  StderrEventLog senderLog_;
  MailSender mail_;
  SmsSender sms_;
};

}  // namespace lark
