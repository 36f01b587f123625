#include "console/link/console_alarms.h"

#include <cstdio>

#include "platform/paths.h"
#include "platform/sound_player.h"

namespace lark {

ConsoleAlarms::ConsoleAlarms(DeviceTree& tree, ServiceSettings& settings,
                             std::span<RecipientItem> items, const LanguageTables& tables,
                             const Clock& clock, std::string installDir, SoundPlayer* player,
                             ConsoleAlarmPeers peers)
    : tree_(tree),
      settings_(settings),
      clock_(clock),
      installDir_(std::move(installDir)),
      tables_(tables),
      player_(player),
      peers_(std::move(peers)),
      detector_(settings, actions_, outgoing_, clock,
                AlarmReactionSinks{[this](std::string_view text) { showPopup(text); },
                                   [this](std::string_view file) { playSound(file); }},
                AlarmDetectorOptions{items, kMonitorTags, /*popupAtChange=*/true}),
      mail_(outgoing_, senderLog_, clock, MailTiming{.port = SmtpPortFromEnvironment()}),
      sms_(outgoing_, senderLog_, clock, installDir_, DefaultSerialLinkDir(installDir_)) {
  sms_.setLog(JoinPath(installDir_, "Monitor/SMS_Log.txt"), /*append=*/true);
}

ConsoleAlarms::~ConsoleAlarms() { stopSenders(); }

void StderrEventLog::WriteEventLog(int32_t, uint32_t, int32_t, std::string_view text) {
  std::string line(text);
  for (char& c : line) {
    if (c == '\r' || c == '\n' || c == '\t') c = ' ';
  }
  std::fprintf(stderr, "Larkview: %s\n", line.c_str());
}

void ConsoleAlarms::startMail() {
  mail_.setSettings(MailSettingsFrom(settings_));
  mail_.start();
}

void ConsoleAlarms::stopSenders() {
  mail_.stop();
  sms_.stop();
}

void ConsoleAlarms::resetSoundCounters() { detector_.clearRepeatCounters(); }

void ConsoleAlarms::clearMailSlots() { outgoing_.withLock(ClearOutgoingSlots); }

void ConsoleAlarms::decrementSoundCounters() {
  detector_.onSecondTick();
}

void ConsoleAlarms::check() {
  // The rows as the language (or the service's download) gives them now; a
  // new snapshot is copied once.
  std::shared_ptr<const ActionTables> now = tables_.actions();
  if (now && now != snapshot_) {
    actions_ = *now;
    snapshot_ = std::move(now);
  }
  detector_.scan(tree_.root());
  mail_.setSettings(MailSettingsFrom(settings_));
  SmsSettings sms = SmsSettingsFrom(settings_);
  if (const std::shared_ptr<const LanguageSnapshot> lang = tables_.current()) {
    sms.language = lang->languageName;
  }
  // The port is this computer's: the service's port paths do not apply.
  sms.port.clear();
  sms.portPaths.clear();
  if (peers_.gsmModem) std::tie(sms.port, sms.baud) = peers_.gsmModem();
  sms.phones = SmsPhoneList();  // the console sends no report SMS
  sms_.setSettings(std::move(sms));
  // The slot walk starts again only at channel 0, as in the service.
  sms_.SendSmsMessages(0);
  sms_.SendSmsMessages(1);
}

void ConsoleAlarms::showPopup(std::string_view text) {
  if (peers_.popup) peers_.popup(FormatPopupMessage(clock_.now(), text));
  if (!peers_.spawn || (peers_.sameComputer && peers_.sameComputer())) return;
  LaunchPopup(text, PopupTargetsFrom(settings_.broadcastList), installDir_, clock_, peers_.spawn);
}

void ConsoleAlarms::playSound(std::string_view file) {
  if (player_ == nullptr || (peers_.sameComputer && peers_.sameComputer())) return;
  const std::shared_ptr<const LanguageSnapshot> lang = tables_.current();
  if (!lang || lang->folder.empty()) return;
  const std::optional<std::string> path = SoundFilePath(lang->folder, file);
  if (!path) {
    senderLog_.WriteEventLog(0, 0, 0, "alarm sound \"" + std::string(file) + "\" refused or missing");
    return;
  }
  player_->play(*path);
}

void ConsoleAlarms::rebindRecipients(std::span<RecipientItem> items) {
  outgoing_.withLock([items](OutgoingState& state) { RebindRecipientSlots(state, items); });
}

}  // namespace lark
