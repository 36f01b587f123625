#include "core/language_texts_english.h"

#include <algorithm>
#include <array>
#include <initializer_list>
#include <map>
#include <utility>

#include "core/action_tables.h"
#include "core/event_log_sink.h"
#include "core/language_texts.h"
#include "core/param_tables.h"
#include "core/status_texts.h"
#include "core/tray_handover.h"
#include "platform/paths.h"

namespace lark {

namespace {

class IniText {
 public:
  void section(const std::string& name) {
    if (!text_.empty()) text_ += "\r\n";
    text_ += "[" + name + "]\r\n";
  }
  void key(const std::string& k, const std::string& v) { text_ += k + "=" + v + "\r\n"; }
  std::string take() { return std::move(text_); }

 private:
  std::string text_;
};

void Numbered(IniText& ini, const char* prefix, int first,
              std::initializer_list<const char*> values) {
  int n = first;
  for (const char* v : values) ini.key(prefix + std::to_string(n++), v);
}

// [Component] CP_1 onward: component names and the labels of the status
// tables; the Module tab's captions and the three-phase event titles use them.
constexpr const char* kComponentTexts[] = {
    "Bypass",
    "Temperature",
    "Voltage",
    "Freq.",
    "Power",
    "Current",
    "Battery",
    "Input",
    "Output",
    "Environment",
    "Humidity",
    "Load",
    "Charger",
    "Capacity",
    "Remaining",
    "Replace Date",  // CP_16, CP_17: read only by the battery panel's date rows
    "Battery Date",
    "Inverter",
    "Static Bypass",  // CP_19..CP_22: read only by the three-phase mimic
    "Maintenance Bypass",
    "Rectifier",
    "Inverter",
    "PFC",
    "Rectifier",
    "Fuse",
    "Temp.",
    "DC Bus",
    "Circuit",
    "Fan",
    "Inner",
    "Cal.",
    "Detect",
    "STS",
    "Volt",
    "EPO",
    "Parallel",
    "Phase",
    "Contact 1",
    "Contact 2",
    "Contact 3",
    "Contact 4",
    "Module",
    "Cabinet.",
    "Ground",
    "Test",
    "Ambiance",
    "Aux.",
    "Line Volt",
    "Mains",
    "Total Power",  // CP_50: the TRV5200 output's power sum
    "Power Factor",
    "Energy",
    "Illumination",
    "Wind Speed",
    "Irradiance",
    "Runtime",
    "Autonomy",
    "Output Source",
    "Battery Status",
    "Charger State",
    "Test Result",
    "Location",
    "Contact",
    "Relay",
    "Sensor",
};

// The console's message boxes by [MessageBox] number: refusals of menu
// commands, checks of the dialogs' fields, questions before a change and the
// service's notices.
constexpr std::pair<int, const char*> kMessageBoxTexts[] = {
    {2, "The map has been changed. Do you want to save it first?"},
    {3, "The control password is not correct."},
    {4, "The map has been changed. Do you want to save it before you exit?"},
    {5, "Do you want to close Gridwarden Manager?"},
    {6, "The map window is closed. Open it first."},
    {7, "The objects are locked. Unlock them first."},
    {8, "Do you want to delete every object of this group?"},
    {11, "An object has been cut and not pasted. It is lost when you exit. Exit anyway?"},
    {12, "The title must not be empty and must not hold a full stop, backslash, blank or colon."},
    {13, "The community must not be empty."},
    {14, "The port must be a number from 1 to 65535."},
    {15, "Another device already has this IP address."},
    {17, "The UPS ID must not be empty."},
    {18, "The UPS ID must be a number from 0 to 255, and the COM port must lie between 0 and 255."},
    {19, "Choose a COM port."},
    {20, "Another device already uses this COM port and bus address."},
    {21, "The polling interval is too short."},
    {22, "The time-out is too short."},
    {23, "The e-mail list is full (10 addresses)."},
    {24, "The broadcast list is full (20 hosts)."},
    {25, "Do you want to change the language?"},
    {26, "The restart time must lie between 1 and 65535."},
    {27, "The phone list is full (10 numbers)."},
    {28, "The old password is not correct."},
    {29, "The new password and its repetition differ."},
    {30, "The start date lies after the end date."},
    {34, "The service is not connected to its database."},
    {35, "Do you want to clear the historical tables?"},
    {36, "Enter an account name."},
    {37, "Enter a password."},
    {38, "The account has been added."},
    {39, "The account could not be added."},
    {40, "The password has been changed."},
    {41, "The account could not be changed."},
    {42, "Do you want to delete this account?"},
    {43, "The account has been deleted."},
    {45, "This group is full: it holds 300 objects."},
    {46, "There is no memory left for a new object."},
    {47, "Nothing has been cut, so there is nothing to paste."},
    {50, "The file transfer failed."},
    {51, "The file has been saved."},
    {52, "The download is complete."},
    {53, "Done."},
    {54, "Only a serial UPS that keeps its own log can download it."},
    {56, "Another console is changing the configuration. Status updates wait until it is done."},
    {57, "Another console has changed the configuration. It is loaded again."},
    {71, "Enter the time as a whole number of minutes, at most 35791394."},
    {72, "The history period must be a whole number of seconds, at least 1."},
    {73, "The history storage must be a whole number of months (0: no recording)."},
    {74, "The maximum of entries must be a whole number from 10 to 999999999."},
    {75, "The sound interval must be a whole number of seconds, at least 1."},
    {76, "The period must be a whole number of minutes."},
    {77, "The delay must be a whole number of seconds."},
    // The notification dialogs' refusals.
    {70, "Enter a valid e-mail address: no blanks, no control characters and no < or >."},
    {78, "Enter a valid mobile phone number: an optional + and 1 to 20 digits."},
    {79, "Enter a host name without blanks or control characters."},
    {80, "The COM port must be COM1 to COM255."},
    {81, "Enter the contact's name."},
    {82, "The contact list is full (20 contacts)."},
    {83, "monitor.ini could not be written: the change holds until the console ends."},
    {84, "%s must be a whole number from %d to %d."},
    {90, "The supervisor account cannot be changed or deleted here."},
    {91, "The months must lie between 1 and 255."},
    {92, "The backup directory must not be longer than 254 characters."},
    {93, "Tabs and line breaks cannot be used in names, remarks or database settings."},
    // The property dialogs' refusals.
    {105, "Tabs, line breaks and other control characters cannot be used in these texts."},
    {106, "The PLC numbers must be whole numbers from 0 to 32767."},
    {110, "The picture's path is too long: at most 259 bytes."},
    // The SNMP batch configuration's refusals.
    {115, "Enter the FTP account. Account and password cannot hold quotation marks or control characters."},
    {116, "The card's address must be an IP address or a host name."},
    {117, "The install folder's path holds quotation marks or control characters: files cannot be transferred."},
    {118, "The file could not be saved."},
};

// The operation-log text of each record code a console posts; the service
// writes [Operator-Message] M_<code + 1>, a blank and the record's detail.
// Codes no console posts keep a plain numbered text.
const char* OperatorRecordText(int code) {
  static const std::map<int, const char*> texts = {
      {0, "Logged in"},
      {1, "Logged out"},
      {2, "Login refused"},
      {3, "Properties opened"},
      {4, "Properties changed"},
      {5, "Properties cancelled"},
      {6, "Background opened"},
      {7, "Background picture changed:"},
      {8, "Background cancelled"},
      {9, "Object cut"},
      {10, "Object pasted"},
      {11, "Object deleted"},
      {12, "All objects of the group deleted"},
      {13, "Group added"},
      {14, "Device added"},
      {15, "SNMP device added"},
      {16, "Connection settings opened"},
      {17, "Polling settings changed"},
      {18, "Connection settings cancelled"},
      {19, "List/Tab selection opened"},
      {21, "Notification settings opened"},
      {22, "Notification settings changed"},
      {23, "Notification settings cancelled"},
      {24, "Alarm management opened"},
      {25, "Event log size changed"},
      {26, "Alarm reactions changed"},
      {27, "Historical data management opened"},
      {28, "Historical data settings changed"},
      {29, "Historical data management cancelled"},
      {30, "Alarm reactions paused"},
      {31, "Event log opened (all devices)"},
      {32, "Event log opened (selected device)"},
      {33, "Historical parameters opened"},
      {34, "UPS control opened"},
      {35, "UPS command sent to the selected UPS:"},
      {36, "UPS command sent to the UPSs of the group:"},
      {37, "UPS command sent to all UPSs:"},
      {38, "Control password setup opened"},
      {39, "Control password changed"},
      {40, "Control password setup cancelled"},
      {41, "Objects unlocked"},
      {42, "Objects locked"},
      {48, "Map saved on exit:"},
      {50, "Auto-load map opened"},
      {51, "Auto-load map set:"},
      {52, "Auto-load map closed"},
      {53, "Report opened"},
      {54, "Report started"},
      {55, "Report closed"},
      {56, "Database settings opened"},
      {57, "Database settings sent"},
      {58, "Database tables established"},
      {59, "Historical tables cleared"},
      {60, "Database backup plan opened"},
      {61, "Database backup plan changed"},
      {62, "Database backup plan closed"},
      {63, "Password change opened"},
      {64, "Password changed"},
      {65, "Password change cancelled"},
      {66, "Access management opened"},
      {67, "Account added"},
      {68, "Account password changed"},
      {69, "Account deleted:"},
      {70, "UPS configuration changed:"},
      {71, "Dry contacts changed:"},
      {72, "Batch configuration opened"},
      {73, "Weekly schedule added:"},
      {74, "Weekly schedule changed:"},
      {75, "Weekly schedule deleted:"},
      {76, "Weekly schedule sent"},
      {77, "Date schedule added:"},
      {78, "Date schedule changed:"},
      {79, "Date schedule deleted:"},
      {80, "Date schedule sent"},
      {81, "Schedule copied to the devices of the group"},
      {82, "Schedule copied to all devices"},
      {83, "UPS log downloaded:"},
      {84, "Connect to server opened"},
      {85, "Server address set"},
      {86, "Server search started"},
      {87, "Server connection started"},
      {88, "Connect to server cancelled"},
      {89, "New map opened"},
      {90, "New map created:"},
      {91, "New map closed"},
      {92, "Open map opened"},
      {93, "Map opened:"},
      {94, "Open map closed"},
      {95, "Save map opened"},
      {96, "Map saved:"},
      {97, "Save map closed"},
      {98, "Save map as opened"},
      {99, "Map saved as:"},
      {100, "Save map as closed"},
      {101, "Contacts opened"},
      {102, "Contact added:"},
      {103, "Contact deleted:"},
      {104, "Contact changed:"},
      {105, "Contacts saved"},
      {106, "Contacts closed"},
      {107, "Notify by service opened"},
      {108, "Service recipient added:"},
      {109, "Service recipient removed:"},
      {110, "Service recipients saved"},
      {111, "Notify by service closed"},
      {112, "Notify by monitor opened"},
      {113, "Monitor recipient added:"},
      {114, "Monitor recipient removed:"},
      {115, "Monitor recipients saved"},
      {116, "Notify by monitor closed"},
  };
  const auto it = texts.find(code);
  return it == texts.end() ? nullptr : it->second;
}

// The Alarm Mask dialogs' check boxes (box i masks event i of the SNMP or
// the TRV5200 table): the English titles of those events.
void AlarmMaskCaptions(IniText& ini);

std::string LanguageIni() {
  IniText ini;
  ini.section("Common");
  Numbered(ini, "T_", 1, {"seconds",      "minute(s)",
                          "hours",        "min",
                          "months",       "OK",
                          "Cancel",       "Abnormal",
                          "Normal",       "Unknown",
                          "Sunday",       "Monday",
                          "Tuesday",      "Wednesday",
                          "Thursday",     "Friday",
                          "Saturday",     "None",
                          "Shutdown",     "Restart",
                          "General Test", "Deep Battery Test",
                          "Next",         "State",
                          "Not connected", "Connected",
                          "Connection failed", "Operator",
                          "Viewer",       "Schedule"});

  ini.section("Warn-Level");
  const LevelNames& levels = EnglishLevelNames();
  for (const std::string& w : levels) ini.key(w, w);

  ini.section("Component");
  for (size_t i = 0; i < std::size(kComponentTexts); ++i)
    ini.key("CP_" + std::to_string(i + 1), kComponentTexts[i]);

  ini.section("General");
  LanguageTexts initial = InitialLanguageTexts();
  int g = 1;
  for (const std::string& v : initial.accessMode) ini.key("G_" + std::to_string(g++), v);
  for (const std::string& v : initial.upsType) ini.key("G_" + std::to_string(g++), v);
  // The property pane's heading and row labels.
  Numbered(ini, "G_", 11,
           {"Property", "Name", "Community Access", "Location", "System Contact", "System Name",
            "Connection", "IP Address", "Identification", "Device", "Model", "Additional Text",
            "UPS Type", "Firmware Version", "Rating", "Nominal Voltage", "Nominal Input Voltage",
            "Nominal Output Voltage", "Nominal Frequency", "Nominal Input Frequency",
            "Nominal Output Frequency", "Nominal Battery Voltage", "Status"});

  ini.section("Power-Module");
  Numbered(ini, "PM_", 1,
           {"Battery Condition Overview", "Power Module Overview", "System", "State", "No Alarm",
            "Cabinet Temperature", "Sensor", "Power Module", "Module", "Section", "Normal", "Spare",
            "Fault", "Rectifier", "Temperature", "Voltage", "Internal"});

  ini.section("Summary");
  // The Summary's headings and row labels; S_2 stands for a state not known.
  Numbered(ini, "S_", 1,
           {"Events", "Unknown", "Remaining Time", "Time On Battery", "Battery Test",
            "Test Result", "Output Source", "Environment"});

  ini.section("System-Message");
  Numbered(ini, "S_", 1,
           {"Service started", "Database connection failed", "Database connected",
            "Reactions paused by a console", "Service stopped", "SNMP socket failed",
            "Console %s connected", "Console %s disconnected",
            "History database inserts keep failing; reconnecting",
            "Database result too large; the rest was dropped"});

  ini.section("Status");
  // S_4-S_12 carry the console's battery level and output source words (the
  // service shows none of them); S_106 is the console's last modular alarm.
  const auto serviceKeys = EnglishStatusKeys();
  std::map<int, std::string> status(serviceKeys.begin(), serviceKeys.end());
  int consoleKey = 4;
  for (const char* w : {"Low", "Depleted", "Battery", "Bypass(Reserve)", "Reducing", "Boosting",
                        "Manual Bypass", "Other", "None"})
    status[consoleKey++] = w;
  status[106] = "General Alarm";
  for (const auto& [n, text] : status) ini.key("S_" + std::to_string(n), text);

  ini.section("Operator-Message");
  for (uint32_t m = 1; m <= kOperatorMessageCount; ++m) {
    const char* text = OperatorRecordText(static_cast<int>(m) - 1);
    ini.key("M_" + std::to_string(m), text ? text : "Console operation " + std::to_string(m) + ":");
  }

  // The console's message boxes.
  ini.section("MessageBox");
  for (const auto& [n, text] : kMessageBoxTexts) ini.key("M_" + std::to_string(n), text);

  // Status lines of the console's log and report dialogs.
  ini.section("Dialog-EventLog");
  ini.key("MSG1", "The event log could not be read.");
  ini.key("MSG2", "Request sent, please wait...");
  ini.key("MSG3", "Done.");
  ini.key("MSG4", "The file could not be written.");
  ini.section("Dialog-Generate Report");
  ini.key("MSG1", "The report could not be started.");
  ini.key("MSG2", "Request sent, please wait...");
  ini.key("MSG3", "The report is being written in the service's Report folder.");
  // The settings and control dialogs: captions, labels and status lines.
  ini.section("Dialog-Connection");
  ini.key("Title", "Connection");
  ini.key("L_1", "SNMP polling interval:");
  ini.key("L_2", "Serial polling interval:");
  ini.key("L_3", "SNMP timeout:");
  ini.key("L_4", "Serial timeout:");
  ini.key("L_9", "GPRS polling interval:");
  ini.key("L_11", "GPRS timeout:");
  ini.key("L_5", "ms");
  ini.key("MSG1", "The polling settings could not be changed.");
  ini.key("MSG2", "Request sent, please wait...");
  ini.key("MSG3", "The polling settings have been changed.");
  ini.section("Dialog-AlarmManage");
  ini.key("Title", "Alarm Management");
  ini.key("L_1", "Alarm Level");
  ini.key("L_2", "Maximum Storage Entries:");
  ini.key("L_3", "Power Event:");
  ini.key("L_4", "Reactions:");
  ini.key("L_5", "secs");
  ini.key("R_1", "Serious");
  ini.key("R_2", "Warning");
  ini.key("R_3", "Information");
  ini.key("C_1", "Play audio files in");
  ini.key("C_2", "Broadcast network message to the");
  ini.key("C_3", "Send e-mail to the");
  ini.key("C_4", "Send short message (SMS) to the");
  ini.key("B_1", "&Update");
  ini.key("B_2", "&hosts...");
  ini.key("B_3", "&receivers...");
  ini.key("B_4", "&phones ...");
  ini.key("B_5", "U&pdate");
  ini.key("CB_1", "One Time");
  ini.key("CB_2", "Periodically");
  ini.key("MSG1", "The alarm tables could not be read.");
  ini.key("MSG2", "Reading the alarm tables, please wait...");
  ini.key("MSG3", "The alarm tables have been read.");
  ini.key("MSG4", "The change could not be written.");
  ini.key("MSG5", "Writing the change, please wait...");
  ini.key("MSG6", "The change has been written.");
  ini.section("Dialog-Control");
  ini.key("Title", "UPS Control");
  ini.key("L_1", "Only UPSs that accept commands over their link can be controlled from here.");
  ini.key("L_2", "Test Commands");
  ini.key("L_3", "Buzzer Commands");
  ini.key("L_4", "Shutdown Commands");
  ini.key("L_7", "minute(s)");
  ini.key("L_10", "And Restart UPS in");
  ini.key("R_1", "General Test");
  ini.key("R_2", "Deep Battery Test");
  ini.key("R_3", "Test Battery for");
  ini.key("R_4", "Cancel Test");
  ini.key("R_5", "Enable UPS Buzzer");
  ini.key("R_6", "Disable UPS Buzzer");
  ini.key("R_7", "Buzzer Test in");
  ini.key("R_8", "Turn Off UPS in");
  ini.key("R_10", "Cancel Shutdown UPS");
  ini.key("R_11", "Emergency Power Off");
  ini.key("C_1", "Enable Password Protection");
  ini.key("B_1", "Set to the &Selected UPS");
  ini.key("B_2", "Set to the UPSs in this &Layer");
  ini.key("B_3", "Set to &All of the UPSs");
  ini.key("MSG1", "The command could not be sent.");
  ini.key("MSG2", "Sending the command, please wait...");
  ini.key("MSG3", "The command has been sent.");
  ini.key("MSG4", "The password protection could not be changed.");
  ini.key("MSG5", "Changing the password protection, please wait...");
  ini.key("MSG6", "The password protection has been changed.");
  ini.section("Dialog-SNMPConfig");
  ini.key("Title", "SNMP Device Batch Configuration");
  ini.key("L_1", "Source SNMP Device List:");
  ini.key("L_2", "Dest. SNMP Device List:");
  ini.key("L_3", "FTP transfers need card firmware 1.14 or later.");
  ini.key("C_1", "Enable Password Protection");
  ini.key("B_1", "&Download System Configuration File");
  ini.key("B_2", "&Upload System Configuration File");
  ini.key("B_3", "Download &SNMP Configuration File");
  ini.key("B_4", "Upload SNMP &Configuration File");
  ini.key("B_5", "Save");
  ini.section("Dialog-SNMPPassword");
  ini.key("Title", "FTP Login Authentication");
  ini.key("L_1", "Account: (8 bytes maximum)");
  ini.key("L_2", "Password: (8 bytes maximum)");
  ini.key("B_1", "OK");
  ini.key("B_2", "Cancel");
  ini.section("Dialog-About");
  ini.key("Title", "About");
  ini.key("L_1", "Central Monitoring and Control System");
  ini.section("Dialog-Language");
  ini.key("Title", "Language Selection");
  ini.key("B_1", "&OK");
  ini.key("B_2", "&Cancel");
  ini.key("MSG1", "The language could not be changed.");
  ini.key("MSG2", "Changing the language, please wait...");
  ini.key("MSG3", "The language has been changed.");
  ini.section("Dialog-ParaManage");
  ini.key("Title", "Historical Data Management");
  ini.key("L_1", "Period of Save Historical Parameters:");
  ini.key("L_3", "Storage of Historical Parameters:");
  ini.key("MSG1", "The history settings could not be changed.");
  ini.key("MSG2", "Request sent, please wait...");
  ini.key("MSG3", "The history settings have been changed.");
  ini.section("Dialog-StopAll");
  ini.key("Title", "Stop All");
  ini.key("MSG1", "The reactions could not be stopped.");
  ini.key("MSG3", "Every running reaction has been stopped.");
  // The map's structural edits on the service.
  ini.section("Dialog-AddObject");
  ini.key("Title", "Add Object");
  ini.key("MSG1", "The object has been added.");
  ini.key("MSG2", "The object could not be added.");
  ini.key("MSG3", "The map is being changed from %s.");
  ini.section("Dialog-CutObject");
  ini.key("Title", "Cut Object");
  ini.key("MSG1", "The object has been cut.");
  ini.key("MSG2", "The object could not be cut.");
  ini.section("Dialog-PasteObject");
  ini.key("Title", "Paste Object");
  ini.key("MSG1", "The object has been pasted.");
  ini.key("MSG2", "The object could not be pasted.");
  ini.section("Dialog-RemoveObject");
  ini.key("Title", "Remove Object");
  ini.key("MSG1", "The object has been removed.");
  ini.key("MSG2", "The object could not be removed.");
  ini.section("Dialog-RemoveAllObject");
  ini.key("Title", "Remove All Object");
  ini.key("MSG1", "Every object of the group has been removed.");
  ini.key("MSG2", "The objects could not be removed.");
  ini.section("Dialog-SetSavePolling");
  ini.key("L_1", "COM Port:");
  ini.key("L_2", "Period:");
  ini.key("L_3", "(min)");
  ini.key("L_4", "Stop Action");
  ini.key("B_1", "OK");
  ini.key("B_2", "Cancel");
  ini.key("MSG1", "The trace could not be changed.");
  ini.key("MSG2", "Request sent, please wait...");
  ini.key("MSG3", "The trace has been changed.");
  // The property dialogs of a node and their PLC and Alarm Mask dialogs.
  const auto propertyTexts = [&ini](const char* section, const char* title) {
    ini.section(section);
    ini.key("Title", title);
    ini.key("MSG1", "The properties could not be changed.");
    ini.key("MSG2", "Sending the change, please wait...");
    ini.key("MSG3", "The properties have been changed.");
  };
  propertyTexts("Dialog-ProGroup", "Property - Group");
  ini.key("L_1", "Title:");
  ini.key("L_2", "Location:");
  propertyTexts("Dialog-ProSNMP", "Property - SNMP");
  for (const auto& [key, text] :
       {std::pair{"L_1", "Title:"}, {"L_2", "SNMP"}, {"L_3", "IP Address:"}, {"L_4", "UDP Port:"},
        {"L_5", "Community:"}, {"L_6", "Location:"}, {"C_1", "Stop Operation"}, {"C_2", "Save in Database"},
        {"B_1", "&OK and Connect"}, {"B_2", "Alarm Mask..."}})
    ini.key(key, text);
  propertyTexts("Dialog-ProLocal", "Property - Local");
  for (const auto& [key, text] :
       {std::pair{"L_1", "Title:"}, {"L_2", "Local"}, {"L_3", "COM Port:"}, {"L_4", "UPS ID:"},
        {"L_5", "Baud Rate:"}, {"L_6", "Comm. Type:"}, {"L_7", "Location:"}, {"C_1", "Stop Operation"},
        {"C_2", "Save in Database"}, {"B_1", "&OK and Connect"}, {"B_2", "&Advance..."}, {"B_3", "Alarm Mask..."}})
    ini.key(key, text);
  propertyTexts("Dialog-ProGPRS", "Property - GPRS");
  ini.key("L_1", "Title:");
  ini.key("L_2", "Location:");
  for (const char* section : {"Dialog-PLC", "Dialog-AlarmMask"}) {
    ini.section(section);
    ini.key("MSG1", "The settings could not be read.");
    ini.key("MSG2", "Reading the settings, please wait...");
    ini.key("MSG3", "The settings have been read.");
    ini.key("MSG4", "The settings could not be written.");
    ini.key("MSG5", "Writing the settings, please wait...");
  }
  AlarmMaskCaptions(ini);
  // Status lines of the notification dialogs.
  ini.section("Dialog-Notification");
  ini.key("MSG1", "The notification settings have been saved.");
  ini.key("MSG2", "The notification settings could not be saved.");
  ini.key("MSG3", "Saving, please wait...");
  ini.section("Dialog-SMTP");
  ini.key("MSG1", "The SMTP account has been saved.");
  ini.key("MSG2", "The SMTP account could not be saved.");
  ini.key("MSG3", "Saving, please wait...");
  ini.section("Dialog-Contactor");
  ini.key("MSG1", "The contacts could not be saved.");
  ini.key("MSG2", "Saving the contacts, please wait...");
  ini.key("MSG3", "The contacts have been saved.");
  ini.key("MSG4", "The contacts could not be read.");
  ini.key("MSG5", "Reading the contacts, please wait...");
  ini.key("MSG6", "Done.");
  ini.section("Dialog-NotifyByService");
  ini.key("MSG1", "The notification items could not be saved.");
  ini.key("MSG2", "Saving the notification items, please wait...");
  ini.key("MSG3", "The notification items have been saved.");
  ini.key("MSG4", "The notification items could not be read.");
  ini.key("MSG5", "Reading the notification items, please wait...");
  ini.key("MSG6", "Done.");
  ini.section("Dialog-ControlPasswprd");
  ini.key("Title", "Password Setup");
  Numbered(ini, "L_", 1, {"Password", "Old Password: (16 bytes maximum)", "New Password: (16 bytes maximum)",
                          "New Password Again: (16 bytes maximum)"});
  ini.key("MSG1", "The control password could not be changed.");
  ini.key("MSG2", "Request sent, please wait...");
  ini.key("MSG3", "The control password has been changed.");
  ini.section("Dialog-DatabasePassword");
  ini.key("Title", "Password Change");
  Numbered(ini, "L_", 1, {"New Password: (16 bytes maximum)", "New Password Again: (16 bytes maximum)"});
  ini.key("MSG1", "The password could not be changed.");
  ini.key("MSG2", "Request sent, please wait...");
  ini.key("MSG3", "The password has been changed.");
  ini.section("Dialog-LoginControl");
  ini.key("Title", "Login");
  Numbered(ini, "L_", 1, {"Password: (16 bytes max.)", "Account:"});
  ini.key("MSG1", "Login failed.");
  ini.key("MSG2", "Request sent, please wait...");
  ini.section("Dialog-LogoutDatabase");
  ini.key("Title", "Logout");
  ini.key("MSG1", "Logout failed.");
  ini.key("MSG2", "Logging out, please wait...");
  ini.section("Dialog-Database");
  ini.key("Title", "Database");
  ini.key("C_1", "Enable Database");
  Numbered(ini, "L_", 1, {"The service keeps its records in an ODBC data source.", "Source Name:", "Login Account:",
                          "Password:", "Leave the source empty for the service's own database file, ups.db.",
                          "The account and password the data source asks for, if any.",
                          "Changing these logs every console out."});
  Numbered(ini, "B_", 1, {"&OK and Connect", "&Establish Tables", "&Clear Historical Tables", "&Backup Plan..."});
  Numbered(ini, "MSG", 1, {"The database settings could not be applied.", "Request sent, please wait...",
                           "The database settings have been applied.", "The tables could not be established.",
                           "Establishing the tables, please wait...", "The tables have been established.",
                           "The historical tables could not be cleared.",
                           "Clearing the historical tables, please wait...",
                           "The historical tables have been cleared."});
  ini.section("Dialog-Backup Plan");
  ini.key("Title", "Database Backup Plan");
  Numbered(ini, "L_", 1, {"UPS Event Log", "Keep the data in", "months", "Backup Directory:", "Operation Event Log"});
  ini.key("L_9", "Historical Parameters");
  ini.key("C_1", "Delete the backup data from database");
  ini.section("Dialog-Access Management");
  ini.key("Title", "Access Management");
  Numbered(ini, "L_", 1, {"Account Management", "Account:", "Real Name:", "Password:", "Type:", "Remark:"});
  Numbered(ini, "B_", 1, {"&Add Account", "&Delete Account", "&Modify Password"});
  Numbered(ini, "MSG", 1, {"The account list could not be read.", "Reading the account list, please wait...",
                           "Done.", "The account could not be added.", "Adding the account, please wait...",
                           "The account has been added.", "The password could not be changed.",
                           "Changing the password, please wait...", "The password has been changed.",
                           "The account could not be deleted.", "Deleting the account, please wait..."});
  ini.key("MSG13", "The service did not answer.");
  ini.section("Dialog-UPS Event Log");
  ini.key("MSG1", "The UPS event log could not be read.");
  ini.key("MSG2", "Reading the UPS event log, please wait...");
  ini.key("MSG3", "The file could not be written.");

  // The settings pages of the detail tabs.
  ini.section("Dialog-TabConfig");
  ini.key("MSG1", "The settings could not be changed.");
  ini.key("MSG2", "Sending the settings, please wait...");
  ini.key("MSG3", "The settings have been changed.");
  ini.section("Dialog-TabDryContact");
  ini.key("L_5", "Input Contacts");
  ini.key("L_6", "Contact ");
  ini.section("Dialog-TabSchedule");
  ini.key("MSG1", "The schedule could not be changed.");
  ini.key("MSG2", "Sending the schedule, please wait...");
  ini.key("MSG3", "The schedule has been changed.");
  // Status lines of the connection and configuration file dialogs.
  ini.section("Dialog-ConnToServ");
  ini.key("Title", "Connection");
  ini.key("MSG1", "The server search could not be started.");
  ini.key("MSG2", "The connection could not be started.");
  ini.key("MSG3", "Searching for servers, please wait...");
  ini.key("MSG4", "Connecting, please wait...");
  ini.key("MSG5", "Search finished.");
  ini.key("MSG6", "The server could not be reached.");
  ini.key("MSG7", "Waiting for the server to answer...");
  ini.key("MSG8", "Connected, signing in...");
  ini.key("MSG9", "Signed in.");
  ini.key("MSG10", "The server refused the connection (all sessions may be in use).");
  ini.key("MSG11", "Type a server address or choose one from the list.");
  ini.key("MSG12", "Type a valid server address.");
  ini.key("MSG13", "The settings are saved.");
  ini.section("Dialog-AutoLoadConfig");
  ini.key("Title", "Auto-Load Configuration");
  ini.key("MSG1", "Loading the system settings, please wait...");
  ini.key("MSG2", "The system settings could not be loaded.");
  ini.key("MSG3", "Loading the map file, please wait...");
  ini.key("MSG4", "The map file could not be loaded.");
  ini.key("MSG5", "The configuration is loaded.");
  ini.section("Dialog-OpenUMF");
  ini.key("Title", "Open UMF");
  ini.key("MSG1", "The map could not be opened.");
  ini.key("MSG2", "Opening the map, please wait...");
  ini.key("MSG3", "The map list could not be asked for.");
  ini.key("MSG4", "Reading the map list, please wait...");
  ini.key("MSG5", "Choose the map to open.");
  ini.section("Dialog-AutoLoadUMF");
  ini.key("Title", "Auto-Load UMF");
  ini.key("MSG1", "The start-up map could not be set.");
  ini.key("MSG2", "Setting the start-up map, please wait...");
  ini.key("MSG3", "The start-up map is set.");
  ini.section("Dialog-SaveUMF");
  ini.key("Title", "Save");
  ini.key("MSG1", "The map could not be saved.");
  ini.key("MSG2", "Saving the map, please wait...");
  ini.key("MSG3", "The map is saved.");
  ini.section("Dialog-NewUMF");
  ini.key("Title", "New UMF");
  ini.key("MSG2", "The map could not be created.");
  ini.key("MSG3", "Creating the map, please wait...");
  ini.key("MSG4", "The map is created.");
  ini.section("Dialog-ListTabSelection");
  ini.key("Title", "List/Tab Selection");
  // The map's background pictures.
  ini.section("Dialog-Background");
  ini.key("Title", "Background");
  ini.key("L_1", "Bitmap File Name:");
  ini.key("B_1", "&Browse...");
  ini.key("MSG1", "The background could not be set.");
  ini.key("MSG2", "The picture could not be sent to the server.");
  ini.key("MSG3", "Sending the picture to the server, please wait...");
  ini.key("MSG4", "The picture has been sent.");
  ini.section("Dialog-SyncImages");
  ini.key("Title", "Sync Images");
  ini.key("MSG1", "Copying %s, please wait...");
  ini.key("MSG2", "The pictures could not be copied.");
  ini.key("MSG3", "The pictures have been copied.");

  // The tray program's menu.
  ini.section(kTrayTextSection);
  for (int i = 0; i < 4; ++i) ini.key("Item" + std::to_string(i + 1), kTrayItemDefaults[i]);

  // The history graph viewer's dialog.
  ini.section("Historical-Graph");
  ini.key("Title", "Historical Parameters");
  ini.key("L_1", "UPS Title:");
  ini.key("L_2", "Horizontal Scale:");
  ini.key("L_3", "Vertical Scale:");
  ini.key("L_4", "Month:");
  ini.key("B_1", "&Export...");
  ini.key("B_2", "&Update");
  return ini.take();
}

// The English words of an event: its title, the message of its occurred
// row and of its recovered row (also their SMS texts), and the occurred
// row's level. Events whose bit has no known meaning read "Event N".
struct EventWords {
  size_t event;
  std::string title;
  std::string occurred;
  std::string recovered;
  uint32_t level = kLevelWarning;
};

EventWords Lost(size_t e) {
  return {e, "Communication Lost", "Communication lost", "Communication restored", kLevelSerious};
}
EventWords OnBattery(size_t e) {
  return {e, "On Battery", "On battery", "Back on mains"};
}
EventWords BatteryLow(size_t e) {
  return {e, "Battery Low", "Battery low", "Battery no longer low"};
}
// `source` names the source in a title ("Maintenance Bypass"), `words` in a message.
EventWords LoadOn(size_t e, const std::string& source, const std::string& words) {
  return {e, "Load on " + source, "Load on " + words, "Load off " + words};
}
// "<Part> Fault", "<Part> Off", "<Part> Open" and their ends.
EventWords Fault(size_t e, const std::string& part, const std::string& tag = "") {
  return {e, part + " Fault" + tag, part + " fault" + tag, part + " fault" + tag + " cleared"};
}
EventWords Off(size_t e, const std::string& part) {
  return {e, part + " Off", part + " off", part + " on"};
}
EventWords Open(size_t e, const std::string& part) {
  return {e, part + " Open", part + " open", part + " closed"};
}
EventWords BypassNotAvailable(size_t e) {
  return {e, "Bypass Not Available", "Bypass not available", "Bypass available"};
}
EventWords InverterStopped(size_t e) {
  return {e, "Inverter Stopped", "Inverter stopped", "Inverter running"};
}
// An event named by one text: its message is the title, its end the title
// and "cleared".
EventWords Named(size_t e, const std::string& title, uint32_t level = kLevelWarning) {
  return {e, title, title, title + " cleared", level};
}
std::string Component(int n) { return kComponentTexts[n - 1]; }

// The three-phase extended events as the Module tab shows them: each bit is
// a row of one of its lists (labels and words of a status table pair), under
// a section caption, in the level the tab gives the row.
std::vector<EventWords> ThreePhaseExtendedWords() {
  struct List {
    std::string caption;
    int pair;                 // FaultLabels/FaultWords pair
    std::vector<size_t> bits;  // row r shows bit bits[r]
    std::map<size_t, uint32_t> levels;  // rows not at kLevelSerious
  };
  auto run = [](size_t first, size_t n) {
    std::vector<size_t> bits;
    for (size_t i = 0; i < n; ++i) bits.push_back(first + i);
    return bits;
  };
  const std::string inverter = Component(18);
  const List lists[] = {
      {inverter + "-R", 4, run(0, 6), {{0, kLevelWarning}}},
      {inverter + "-S", 4, run(8, 6), {{0, kLevelWarning}}},
      {inverter + "-T", 4, run(16, 6), {{0, kLevelWarning}}},
      {inverter, 5, {6, 7, 15, 22, 23, 33, 14}, {}},
      {"UPS", 10, {24, 31, 32, 34}, {}},
      {Component(7), 7, run(25, 6), {{4, kLevelInformation}}},
      {Component(24), 8, run(39, 9), {{7, kLevelWarning}}},
      {Component(42), 9, run(48, 4), {{0, kLevelWarning}}},
      {Component(1), 6, run(35, 4), {}},
  };
  const StatusTexts status = DefaultStatusTexts();
  std::vector<EventWords> w;
  for (const List& l : lists) {
    for (size_t r = 0; r < l.bits.size(); ++r) {
      const std::string& label = status.text(FaultLabels(l.pair), r);
      const std::string title =
          l.caption + (label.empty() ? "" : " " + label) + " " + status.text(FaultWords(l.pair), r);
      const auto level = l.levels.find(r);
      w.push_back(Named(l.bits[r], title, level == l.levels.end() ? kLevelSerious : level->second));
    }
  }
  return w;
}

// A run of fault bits of one part, numbered.
void Faults(std::vector<EventWords>& words, size_t first, size_t count, const std::string& part) {
  for (size_t i = 0; i < count; ++i)
    words.push_back(Fault(first + i, part, " " + std::to_string(i + 1)));
}

// Where each family's bits come from: the protocol's status decoding, the
// summary page's no-communication and on-battery bits and the mimics'
// faults, switches and power paths.
std::vector<EventWords> EventWordsOf(ActionFamily f) {
  std::vector<EventWords> w;
  switch (f) {
    case ActionFamily::Snmpv4:
      // Bits 0-27 are the maker MIB's alarm words, 29-34 its sensor box,
      // 35 the battery's replacement date; the Alarm Mask dialog names each.
      // No title is wider than the Summary tab's English column text.
      w = {{0, "No Communication with UPS", "The card lost the UPS",
            "The card reaches the UPS again", kLevelSerious},
           OnBattery(1),
           BatteryLow(2),
           Named(3, "Load Warning"),
           Named(4, "Load Critical"),
           LoadOn(5, "Bypass", "bypass"),
           Fault(6, "UPS"),
           Fault(7, "Battery"),
           Named(8, "Test in Progress", kLevelInformation),
           Named(9, "Battery Test Fail"),
           Fault(10, "Fuse"),
           Named(11, "Overload"),
           Named(12, "Overcurrent"),
           Fault(13, "Inverter"),
           Fault(14, "Rectifier"),
           Fault(15, "Reserve Power"),
           LoadOn(16, "Maintenance Bypass", "maintenance bypass"),
           Named(17, "Over Temperature"),
           Fault(18, "Output"),
           Fault(19, "Bypass"),
           InverterStopped(20),
           Fault(21, "Charger"),
           Fault(22, "Fan"),
           Named(23, "Economy Mode", kLevelInformation),
           Off(24, "Output"),
           Named(25, "Smart Shutdown"),
           Named(26, "Emergency Power Off"),
           Named(27, "UPS Shutdown"),
           Lost(28),
           Named(29, "Sensor Box Over Temperature"),
           Named(30, "Sensor Box Humidity Abnormal"),
           Named(31, "Sensor Box Contact 1 (Security)"),
           Named(32, "Sensor Box Contact 2 (Water)"),
           Named(33, "Sensor Box Contact 3 (Fire)"),
           Named(34, "Sensor Box Contact 4 (Smoke)"),
           Named(35, "Battery Need Replace")};
      break;
    case ActionFamily::Regular:
    case ActionFamily::Gprs:
      w = {OnBattery(1),
           Off(2, "Output"),
           BypassNotAvailable(4),
           Off(5, "Output"),
           Fault(7, "Rectifier"),
           InverterStopped(8),
           {16, "Economy Mode", "Economy mode on", "Economy mode off", kLevelInformation},
           Fault(17, "Inverter"),
           BatteryLow(20),
           LoadOn(21, "Battery", "battery"),
           LoadOn(22, "Bypass", "bypass"),
           LoadOn(23, "Maintenance Bypass", "maintenance bypass"),
           Lost(24)};
      if (f == ActionFamily::Regular)
        w.push_back({25, "Module or Battery Alarm", "Module or battery alarm",
                     "Module and battery alarms cleared"});
      break;
    case ActionFamily::RegularPlus:
      w = {{0, "Module Alarm", "Module alarm", "Module alarm cleared"},
           {11, "Module Alarm", "Module alarm", "Module alarm cleared"},
           {26, "Module Alarm", "Module alarm", "Module alarm cleared"}};
      Faults(w, 1, 10, "Rectifier");
      Faults(w, 12, 14, "Inverter");
      for (size_t i = 0; i < 5; ++i) {
        const std::string n = std::to_string(i + 1);
        w.push_back({28 + i, "Battery Alarm " + n, "Battery alarm " + n,
                     "Battery alarm " + n + " cleared"});
      }
      break;
    case ActionFamily::ThreePhase:
      w = {OnBattery(0),
           Fault(1, "Rectifier"),
           Off(3, "Output"),
           Fault(7, "Inverter"),
           BatteryLow(9),
           LoadOn(10, "Battery", "battery"),
           LoadOn(11, "Bypass", "bypass"),
           LoadOn(12, "Maintenance Bypass", "maintenance bypass"),
           Lost(13),
           {15, "Detailed Alarm", "Detailed alarm", "Detailed alarms cleared"}};
      // Status word bit 14 of a model-2 UPS: while it is set the Summary
      // shows the bypass as normal and the alarm scan passes over event 12,
      // as with the ASCII UPS's economy-mode bit.
      w.push_back({6, "Economy Mode", "Economy mode on", "Economy mode off", kLevelInformation});
      // Status word bit 13 also makes the test result "Battery Fail".
      w.push_back(Named(14, "Battery Fail"));
      break;
    case ActionFamily::ThreePhasePlus:
      w = ThreePhaseExtendedWords();
      break;
    case ActionFamily::Mge:
      // The TRV5200's status register bits as its Alarm Mask dialog names
      // them; the switches by the names the mimic gives them. The Summary
      // tab sizes its event columns by event 9: the longest title.
      w = {Named(0, "Load Not Protected"),
           Named(1, "Load Not Safe"),
           Named(2, "UPS General Alarm"),
           OnBattery(3),
           BatteryLow(4),
           Named(5, "Battery Supply Stopped"),
           {6, "Static Switch On", "Static switch on", "Static switch off"},
           Named(7, "Emergency Power Off"),
           Fault(8, "Ventilation"),
           Named(9, "UPS Not in On-Line Mode"),
           Open(10, "Switch Q3BP"),
           Named(11, "Battery End of Life"),
           Fault(12, "Static Switch"),
           Named(13, "Maintenance PC Connected", kLevelInformation),
           Named(14, "Rectifier Voltage Abnormal"),
           Open(15, "Switch QF1"),
           Off(16, "Rectifier"),
           Open(17, "Switch Q1"),
           Named(18, "Input 1 Voltage Abnormal"),
           Named(19, "Input 1 Frequency Abnormal"),
           Fault(20, "Main Synchronisation"),
           Fault(21, "Comm. Interface Test"),
           Named(22, "Input 2 Overload"),
           Named(23, "Input 2 Over Temperature"),
           Named(24, "Input 2 Frequency Abnormal"),
           Named(25, "Input 2 Voltage Abnormal"),
           Named(26, "PLC Alarm"),
           Open(27, "Switch Q4S"),
           Named(28, "Bypass Frequency Out of Sync"),
           Open(29, "Switch Q5N"),
           Fault(30, "Rectifier"),
           {31, "Battery Charging", "Battery charging", "Battery charged", kLevelInformation},
           Fault(32, "Inverter"),
           Named(33, "Inverter Overload"),
           Named(34, "Inverter Over Temperature"),
           Named(35, "Output Overcurrent"),
           Lost(36)};
      break;
    case ActionFamily::Plc:
      w = {Lost(0), {1, "Point On", "Point on", "Point off"}};
      break;
    case ActionFamily::Pw:
      w = {OnBattery(0),
           LoadOn(1, "Bypass", "bypass"),
           Off(2, "Output"),
           Open(10, "Breaker CB3"),
           Off(11, "Inverter"),
           Off(15, "Bypass"),
           Fault(17, "Bypass"),
           Open(22, "Breaker CB1"),
           Fault(31, "Rectifier"),
           Off(32, "Rectifier"),
           Open(39, "Breaker CB2"),
           Lost(40)};
      Faults(w, 7, 3, "Inverter");
      Faults(w, 12, 3, "Bypass Input");
      Faults(w, 19, 3, "Mains Input");
      Faults(w, 24, 5, "Output");
      // Bit 36 is the Summary's battery-low bit; the rest light the
      // mimic's battery fault.
      w.push_back(Fault(35, "Battery", " 1"));
      w.push_back(BatteryLow(36));
      w.push_back(Fault(37, "Battery", " 2"));
      w.push_back(Fault(38, "Battery", " 3"));
      break;
    case ActionFamily::Inverter:
      w = {Lost(15), Lost(16)};
      break;
    case ActionFamily::Sensor:
      for (size_t i = 0; i < 6; ++i) {
        const std::string n = std::to_string(i + 1);
        w.push_back({i, "Sensor Point " + n + " Lost", "Sensor point " + n + " lost",
                     "Sensor point " + n + " restored", kLevelSerious});
      }
      break;
    case ActionFamily::Meter:
      w = {Lost(0)};
      break;
  }
  return w;
}

void AlarmMaskCaptions(IniText& ini) {
  for (const auto& [family, prefix] :
       {std::pair{ActionFamily::Snmpv4, "SNMP_"}, std::pair{ActionFamily::Mge, "TRV5200_"}})
    for (const EventWords& w : EventWordsOf(family)) ini.key(prefix + std::to_string(w.event + 1), w.title);
}

std::string ActionIni(const ActionFamilyInfo& f) {
  IniText ini;
  const LevelNames& levels = EnglishLevelNames();
  std::map<size_t, EventWords> known;
  for (const EventWords& w : EventWordsOf(f.family)) known.emplace(w.event, w);
  for (size_t r = 0; r < f.rows; ++r) {
    const size_t event = r / 2;
    const bool recovered = (r % 2) == 1;
    std::string title;
    std::string message;
    uint32_t level;
    if (const auto it = known.find(event); it != known.end()) {
      title = it->second.title;
      message = recovered ? it->second.recovered : it->second.occurred;
      level = recovered ? kLevelInformation : it->second.level;
    } else {
      title = "Event " + std::to_string(event + 1);
      message = title + (recovered ? " cleared" : " occurred");
      level = recovered ? kLevelInformation : kLevelWarning;
    }
    ini.section("Event" + std::to_string(r + 1));
    ini.key("Title", title);
    ini.key("Alarm.Level", levels[level]);
    ini.key("Message", message);
    ini.key("Audio.File", "");
    ini.key("SMS.Message", message);
    ini.key("DelayTime", "0");
  }
  return ini.take();
}

// The English title and unit of each history parameter whose quantity the
// live-data layouts state, by parameter number; history values are kept in
// tenths of these units. The rest read "Parameter N".
using ParamWords = std::map<size_t, std::pair<std::string, std::string>>;

// Three phase values: "<what> L1" .. "<what> L3" at `first`, `first + step`, ...
void Phases(ParamWords& w, size_t first, size_t step, const std::string& what,
            const std::string& unit, const std::string& tag = " L") {
  for (size_t p = 0; p < 3; ++p) w[first + p * step] = {what + tag + std::to_string(p + 1), unit};
}
void LineVoltages(ParamWords& w, size_t first, const std::string& where) {
  Phases(w, first, 1, where + " Line Voltage", "V", " ");
}

ParamWords ParamWordsOf(ParamFamily f) {
  ParamWords w;
  switch (f) {
    case ParamFamily::Snmpv4:
      Phases(w, 0, 3, "Input Frequency", "Hz");
      Phases(w, 1, 3, "Input Voltage", "V");
      Phases(w, 2, 3, "Input Current", "A");
      w[9] = {"Output Frequency", "Hz"};
      Phases(w, 10, 4, "Output Voltage", "V");
      Phases(w, 11, 4, "Output Current", "A");
      Phases(w, 12, 4, "Output Power", "W");
      Phases(w, 13, 4, "Output Load", "%");
      w[22] = {"Bypass Frequency", "Hz"};
      Phases(w, 23, 3, "Bypass Voltage", "V");
      Phases(w, 24, 3, "Bypass Current", "A");
      Phases(w, 25, 3, "Bypass Power", "W");
      w[32] = {"Battery Voltage", "V"};
      w[33] = {"Battery Current", "A"};
      w[34] = {"Battery Capacity", "%"};
      w[35] = {"Battery Temperature", "C"};
      w[36] = {"Ambient Temperature", "C"};
      w[37] = {"Ambient Humidity", "%"};
      w[38] = {"Battery Time Remaining", "min"};
      break;
    case ParamFamily::Regular:
      Phases(w, 0, 4, "Input Frequency", "Hz");
      Phases(w, 1, 4, "Input Voltage", "V");
      Phases(w, 2, 4, "Input Current", "A");
      LineVoltages(w, 12, "Input");
      w[15] = {"Output Frequency", "Hz"};
      Phases(w, 16, 4, "Output Voltage", "V");
      Phases(w, 17, 4, "Output Current", "A");
      Phases(w, 18, 4, "Output Power", "W");
      Phases(w, 19, 4, "Output Load", "%");
      LineVoltages(w, 28, "Output");
      w[31] = {"Bypass Frequency", "Hz"};
      Phases(w, 32, 3, "Bypass Voltage", "V");
      Phases(w, 33, 3, "Bypass Current", "A");
      Phases(w, 34, 3, "Bypass Power", "W");
      LineVoltages(w, 41, "Bypass");
      for (size_t b = 0; b < 2; ++b) {
        const std::string battery = b == 0 ? "Battery" : "Battery 2";
        w[45 + 4 * b] = {battery + " Voltage", "V"};
        w[46 + 4 * b] = {battery + " Current", "A"};
        w[47 + 4 * b] = {battery + " Capacity", "%"};
        w[48 + 4 * b] = {battery + " Temperature", "C"};
      }
      w[53] = {"Battery Time Remaining", "min"};
      break;
    case ParamFamily::Mge:
      Phases(w, 0, 1, "Input Current", "A");
      Phases(w, 3, 1, "Inverter Current", "A");
      Phases(w, 9, 1, "Output Current", "A");
      w[12] = {"Battery Current", "A"};
      w[13] = {"Inverter Load", "%"};
      Phases(w, 14, 1, "Input Voltage", "V");
      Phases(w, 17, 1, "Inverter Voltage", "V");
      LineVoltages(w, 20, "Inverter");
      Phases(w, 23, 1, "Bypass Voltage", "V");
      LineVoltages(w, 26, "Bypass");
      Phases(w, 29, 1, "Output Voltage", "V");
      LineVoltages(w, 32, "Output");
      w[35] = {"Battery Voltage", "V"};
      Phases(w, 37, 1, "Output Power", "kW");
      w[45] = {"Output Load", "%"};
      w[50] = {"Input Frequency", "Hz"};
      w[51] = {"Inverter Frequency", "Hz"};
      w[52] = {"Bypass Frequency", "Hz"};
      w[53] = {"Output Frequency", "Hz"};
      w[55] = {"Battery Time Remaining", "min"};
      break;
    case ParamFamily::Pw:
      LineVoltages(w, 0, "Input");
      Phases(w, 3, 1, "Input Current", "A");
      w[6] = {"Input Frequency", "Hz"};
      w[7] = {"Input Power", "kW"};
      w[8] = {"Input Power Factor", "%"};
      LineVoltages(w, 9, "Output");
      Phases(w, 12, 1, "Output Voltage", "V");
      Phases(w, 15, 1, "Output Current", "A");
      w[18] = {"Output Frequency", "Hz"};
      w[19] = {"Output Power", "kW"};
      w[20] = {"Output Load", "%"};
      w[21] = {"Output Power Factor", "%"};
      LineVoltages(w, 22, "Bypass");
      w[25] = {"Bypass Frequency", "Hz"};
      Phases(w, 26, 1, "Inverter Voltage", "V");
      w[29] = {"Inverter Frequency", "Hz"};
      w[30] = {"Battery Voltage", "V"};
      w[31] = {"Battery Current", "A"};
      w[32] = {"Battery Capacity", "%"};
      w[33] = {"Battery Time Remaining", "min"};
      break;
    case ParamFamily::Inverter: {
      // The values its power gauge shows.
      size_t n = 1;
      for (size_t slot : {2, 5, 8, 12, 16}) w[slot] = {"Power " + std::to_string(n++), "W"};
      break;
    }
    case ParamFamily::Sensor:
      w[0] = {"Illumination", ""};
      w[6] = {"Illumination Day Total", ""};
      break;
    case ParamFamily::Meter:
      w[1] = {"Energy (low word)", ""};
      w[2] = {"Energy (high word)", ""};
      break;
    case ParamFamily::Metergrp:
      break;
  }
  return w;
}

std::string ParamIni(const ParamFamilyInfo& f) {
  IniText ini;
  const ParamWords words = ParamWordsOf(f.family);
  // Every titled parameter is loaded, also past the count read without one.
  const size_t n =
      std::max(DefaultParamCount(f.family), words.empty() ? 0 : words.rbegin()->first + 1);
  ini.section("Main");
  ini.key("Number", std::to_string(n));
  for (size_t i = 0; i < n; ++i) {
    const auto it = words.find(i);
    ini.section("Para" + std::to_string(i + 1));
    ini.key("Title", it != words.end() ? it->second.first : "Parameter " + std::to_string(i + 1));
    ini.key("Unit", it != words.end() ? it->second.second : "");
  }
  return ini.take();
}

}  // namespace

std::vector<std::pair<std::string, std::string>> EnglishLanguageFiles() {
  std::vector<std::pair<std::string, std::string>> files;
  files.emplace_back("language.ini", LanguageIni());
  for (const auto& f : kActionFamilies) files.emplace_back(std::string(f.file), ActionIni(f));
  for (const auto& f : kParamFamilies) files.emplace_back(std::string(f.file), ParamIni(f));
  return files;
}

bool WriteEnglishLanguageFolder(const std::string& folder) {
  if (!MakeDirs(folder)) return false;
  bool ok = true;
  for (const auto& [name, text] : EnglishLanguageFiles())
    ok = WriteFileAtomic(JoinPath(folder, name), text) && ok;
  return ok;
}

}  // namespace lark
