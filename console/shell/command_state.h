// What the menu commands leave for the dialogs they open.
#pragma once
#include <cstdint>
#include <string>

namespace lark {

struct ConsoleCommandState {
  bool saveAs = false;          // the Save dialog asks for a name
  uint8_t kindToAdd = 0;        // the Add Object dialog: 0 local, 1 group, 2 SNMP, 3 GPRS
  bool newNode = false;         // a node just added is being edited
  int eventLogMode = 0;         // the Event Log dialog: 0 all devices, 1 the selected one
  bool networkSaving = false;   // network-data saving is on (Save Network's check mark)
  bool serialSaving = false;    // the service traces its serial ports
  int alarmLevelTab = 0;        // Alarm Management's level tab, kept while the console runs
  bool connectDialogOpen = false;  // the Connect To Server dialog runs
  bool autoLoadDialogOpen = false; // the Auto-Load Configuration dialog is queued or runs
  std::string ftpAccount;       // the network cards' FTP login, kept while the console runs
  std::string ftpPassword;
};

}  // namespace lark
