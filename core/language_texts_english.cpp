#include "core/language_texts_english.h"

#include <array>
#include <initializer_list>
#include <map>

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
                          "Idle",         "Running",
                          "Done",         "Yes",
                          "No",           "Schedule"});

  ini.section("Warn-Level");
  const LevelNames& levels = EnglishLevelNames();
  for (const std::string& w : levels) ini.key(w, w);

  ini.section("Component");
  Numbered(ini, "CP_", 1,
           {"Bypass",
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
            "Firmware",
            "Serial No.",
            "Status",
            "Alarm",
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
            "Frequency",
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
            "Sensor"});

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
            "Fault", "Rectifier", "Temperature", "Voltage", "Current"});

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
  for (uint32_t m = 1; m <= kOperatorMessageCount; ++m)
    ini.key("M_" + std::to_string(m), "Console operation " + std::to_string(m) + ":");

  // The console's message boxes.
  ini.section("MessageBox");
  ini.key("M_2", "The current configuration has been changed. Do you want to save it first?");
  ini.key("M_3", "The control password is not correct.");
  ini.key("M_4", "The current configuration has been changed. Do you want to save it before you exit?");
  ini.key("M_5", "Do you want to close Gridwarden Manager?");
  ini.key("M_6", "The map window is closed. Open it first.");
  ini.key("M_7", "The objects are locked. Unlock them first.");
  ini.key("M_8", "Do you want to remove all objects of this group?");
  ini.key("M_11", "An object has been cut and not pasted. It is lost when you exit. Exit anyway?");
  ini.key("M_45", "A group holds at most 300 objects.");
  ini.key("M_47", "No object has been cut.");
  ini.key("M_54", "This UPS does not keep an event log of its own.");
  ini.key("M_56", "Another console is changing the configuration. Status updates wait until it is done.");
  ini.key("M_57", "Another console has changed the configuration. It is loaded again.");

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

// Events whose bit is the family's loss of communication.
bool IsLinkLossEvent(ActionFamily f, size_t event) {
  switch (f) {
    case ActionFamily::Snmpv4:
      return event == 28;
    case ActionFamily::Regular:
    case ActionFamily::Gprs:
      return event == 24;
    case ActionFamily::Mge:
      return event == 36;
    case ActionFamily::Pw:
      return event == 40;
    case ActionFamily::Inverter:
      return event == 15 || event == 16;
    case ActionFamily::Meter:
    case ActionFamily::Plc:
      return event == 0;
    default:
      return false;
  }
}

std::string ActionIni(const ActionFamilyInfo& f) {
  IniText ini;
  const LevelNames& levels = EnglishLevelNames();
  for (size_t r = 0; r < f.rows; ++r) {
    const size_t event = r / 2;
    const bool recovered = (r % 2) == 1;
    std::string title;
    std::string message;
    uint32_t level;
    if (IsLinkLossEvent(f.family, event)) {
      title = "Communication Lost";
      message = recovered ? "Communication restored" : "Communication lost";
      level = recovered ? kLevelInformation : kLevelSerious;
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

std::string ParamIni(const ParamFamilyInfo& f) {
  IniText ini;
  const size_t n = DefaultParamCount(f.family);
  ini.section("Main");
  ini.key("Number", std::to_string(n));
  for (size_t i = 0; i < n; ++i) {
    ini.section("Para" + std::to_string(i + 1));
    ini.key("Title", "Parameter " + std::to_string(i + 1));
    ini.key("Unit", "");
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
