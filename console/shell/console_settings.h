// ConsoleSettings: the console's read-only copy of the service's settings,
// read from "Monitor/manager.ini" after each download. The file is never
// written here; the service's readers do the parsing, and where the
// console's defaults differ from the service's the console's stand.
#pragma once
#include <cstdint>
#include <functional>
#include <string>

#include "core/settings.h"

namespace lark {

// Device types the console offers ([Main] keys).
struct ProtocolOffers {
  bool norvaRs232 = true;
  bool norvaRs485 = true;
  bool norvaModbus = true;
  bool trv3200 = false;
  bool plc = false;
  bool ups9315 = false;
};

struct ConsoleSettings {
  ServiceSettings service;  // values as the service's readers give them
  ProtocolOffers offers;
  bool lockObjects = false;  // [Main] Lock of the service
  // Rights: user accounts exist only while the service's database is in use.
  bool accountsInUse = false;
  int32_t userLevel = 0;  // 2 = operator, full rights

  // The level of the user who logged in, 0 for nobody: without accounts the
  // operator's rights come with no login, and File reads "Login" greyed.
  int32_t loginLevel() const { return accountsInUse ? userLevel : 0; }

  ConsoleSettings();
};

// Reads [Main] .. [Reaction.*] of the copy at `path`; a missing file or key
// gives the defaults. The database values and the notification tables stay
// as the console holds them: their own loaders below read them.
void LoadManagerSettings(ConsoleSettings& s, const std::string& path, const std::string& installDir);
// Reads [Database] and [Backup]. With the database in use the rights are
// recomputed for nobody logged in (`updateMenuRights(0)`); without it the
// operator has full rights.
void LoadDatabaseSettings(ConsoleSettings& s, const std::string& path,
                          const std::string& installDir,
                          const std::function<void(int32_t)>& updateMenuRights);
// The notification tables of the copy at `path`, each on its own: the
// contact table ([Contactor1..20]), the service's 20 notification items
// ([Item1..20], every outgoing slot -1) and the e-mail, broadcast and SMS
// lists. A missing file or key gives empty entries.
void LoadContactors(ConsoleSettings& s, const std::string& path);
void LoadRecipientItems(ConsoleSettings& s, const std::string& path);
void LoadNotificationLists(ConsoleSettings& s, const std::string& path);
// Empties the console's copy of the service's 20 notification items.
void ResetDeviceLists(ConsoleSettings& s);

}  // namespace lark
