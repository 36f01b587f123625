#include "console/shell/console_settings.h"

#include "platform/paths.h"
#include "platform/profile.h"
#include "platform/text.h"

namespace lark {
namespace {

bool Enabled(const Profile& p, const char* key, const char* def) {
  return EqualNoCase(p.getString("Main", key, def, 32), "Enable");
}

// The service's readers on the copy at `path` (the copy is never written).
ServiceSettings ReadCopy(const std::string& path, const std::string& installDir) {
  ServiceSettings read;
  ReadSettingsText(ReadFile(path).value_or(""), read, installDir);
  return read;
}

}  // namespace

ConsoleSettings::ConsoleSettings() { service.snmpTimeout = 30; }

void LoadManagerSettings(ConsoleSettings& s, const std::string& path, const std::string& installDir) {
  const std::string text = ReadFile(path).value_or("");
  Profile p;  // read only: the copy is never written
  p.loadText(text);
  ServiceSettings read;
  ReadSettingsText(text, read, installDir);
  // The console keeps its own default where the service's differs.
  if (!p.hasKey("Polling", "SNMP Timeout")) read.snmpTimeout = 30;
  // The database values and the notification tables have loaders of their
  // own; keep what the console holds.
  read.databaseEnabled = s.service.databaseEnabled;
  read.odbcSource = s.service.odbcSource;
  read.odbcAccount = s.service.odbcAccount;
  read.odbcPassword = s.service.odbcPassword;
  read.contactors = s.service.contactors;
  read.recipients = s.service.recipients;
  read.emailList = s.service.emailList;
  read.broadcastList = s.service.broadcastList;
  read.smsList = s.service.smsList;
  s.service = std::move(read);
  s.lockObjects = EqualNoCase(p.getString("Main", "Lock", "No", 10), "Yes");
  s.offers.norvaRs232 = Enabled(p, "Norva-RS232", "Enable");
  s.offers.norvaRs485 = Enabled(p, "Norva-RS485", "Enable");
  s.offers.norvaModbus = Enabled(p, "Norva-Modbus", "Enable");
  s.offers.trv3200 = Enabled(p, "TRV3200", "Disable");
  s.offers.plc = Enabled(p, "PLC", "Disable");
  s.offers.ups9315 = Enabled(p, "9315", "Disable");
}

void LoadDatabaseSettings(ConsoleSettings& s, const std::string& path,
                          const std::string& installDir,
                          const std::function<void(int32_t)>& updateMenuRights) {
  const ServiceSettings read = ReadCopy(path, installDir);
  s.service.databaseEnabled = read.databaseEnabled;
  s.service.odbcSource = read.odbcSource;
  s.service.odbcAccount = read.odbcAccount;
  s.service.odbcPassword = read.odbcPassword;
  s.service.upsLogMonths = read.upsLogMonths;
  s.service.opLogMonths = read.opLogMonths;
  s.service.historyMonths = read.historyMonths;
  s.service.upsLogDelete = read.upsLogDelete;
  s.service.opLogDelete = read.opLogDelete;
  s.service.historyDelete = read.historyDelete;
  s.service.upsLogBackupDir = read.upsLogBackupDir;
  s.service.opLogBackupDir = read.opLogBackupDir;
  s.service.historyBackupDir = read.historyBackupDir;
  s.accountsInUse = read.databaseEnabled != 0;
  if (s.accountsInUse) {
    if (updateMenuRights) updateMenuRights(0);
  } else {
    s.userLevel = 2;
  }
}

void LoadContactors(ConsoleSettings& s, const std::string& path) {
  s.service.contactors = ReadCopy(path, {}).contactors;
}

void LoadRecipientItems(ConsoleSettings& s, const std::string& path) {
  s.service.recipients = ReadCopy(path, {}).recipients;
}

void LoadNotificationLists(ConsoleSettings& s, const std::string& path) {
  ServiceSettings read = ReadCopy(path, {});
  s.service.emailList = std::move(read.emailList);
  s.service.broadcastList = std::move(read.broadcastList);
  s.service.smsList = std::move(read.smsList);
}

void ResetDeviceLists(ConsoleSettings& s) {
  for (RecipientItem& item : s.service.recipients) item = RecipientItem();
}

}  // namespace lark
