// Sections: status tables (English defaults and [Status]), menu texts, view
// texts and LoadLanguageTexts.
#include "console/shell/console_texts.h"

#include <cstdio>
#include <initializer_list>

#include "common/bytes.h"
#include "console/shell/console_menus.h"
#include "core/status_texts.h"

namespace lark {
namespace {

// ---- status tables ----

constexpr int kNotRead = 0;  // an entry [Status] never sets
constexpr int kCommon9 = -1; // an entry that takes [Common] T_9

struct Entry {
  int key;           // S_key, kNotRead or kCommon9
  const char* text;  // English default; nullptr: unset until a language gives one
};
using EntryList = std::vector<Entry>;

// Entries with consecutive keys from `first`.
EntryList Seq(int first, std::initializer_list<const char*> texts) {
  EntryList s;
  for (const char* t : texts) s.push_back({first++, t});
  return s;
}
EntryList Unread(std::initializer_list<const char*> texts) {
  EntryList s;
  for (const char* t : texts) s.push_back({kNotRead, t});
  return s;
}
EntryList Join(std::initializer_list<EntryList> parts) {
  EntryList out;
  for (const EntryList& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}
EntryList Blank(int n) {
  EntryList s(static_cast<size_t>(n), Entry{kNotRead, ""});
  return s;
}

std::initializer_list<const char*> ModularAlarmTexts() {
  static const std::initializer_list<const char*> k = {
      "Load On Inverter", "Load On Auto Bypass", "Backup Mode", "Battery Low",
      "Bypass Input Abnormal", "Battery Test Fail", "Internal Comm. Fail",
      "External Parallel Comm. Fail", "Output Overload", "Power Module Fault Shutdown",
      "Power Module Warning", "EPO Activated", "Load On Manual Bypass",
      "Battery Cabinet Over Temperature", "Output Voltage Abnormal", "Battery Need Replace",
      "Bypass Over Temperature", "Battery Ground Fault", "Bpass Static Switch Fail", "General Alarm"};
  return k;
}

const std::vector<EntryList>& Specs() {
  static const std::vector<EntryList> specs = [] {
    std::vector<EntryList> v(kStatusListCount);
    auto at = [&](StatusList t) -> EntryList& { return v[static_cast<int>(t)]; };
    at(StatusList::BatteryCondition) = Seq(1, {"Normal", "Weak", "Replacement"});
    at(StatusList::BatteryLevel) = Join({{{kCommon9, "Normal"}}, Seq(4, {"Low", "Depleted"})});
    at(StatusList::OutputSource) =
        Join({{{kCommon9, "Normal"}},
              Seq(6, {"Battery", "Bypass(Reserve)", "Reducing", "Boosting", "Manual Bypass", "Other",
                      "None"})});
    at(StatusList::ChargerState) = Seq(13, {"Floating", "Charging", "Resting", "Discharging"});
    at(StatusList::TestResult) = Seq(17, {"No Test Initiated", "Passed", "In Progress", "General Fail",
                                          "Battery Fail", "Deep-Battery Fail", "Test Aborted"});
    at(StatusList::VoltageSensitivity) = Join({Unread({"Normal"}), Seq(24, {"Reduced", "Low"})});
    at(StatusList::EnableDisable) = Seq(26, {"Enable", "Disable"});
    at(StatusList::SelfTestSchedule) = Seq(27, {"Disable", "Daily", "Weekly", "BiWeekly", "Monthly"});
    at(StatusList::UpsAlarm) = Seq(
        32, {"UPS Normal", "Bypass Active", "Battery Backup", "Battery Low",
             "Bypass Input Power Abnormal", "Battery Ground Fault", "Battery Test Abnormal",
             "Inverter Overload", "Inverter Output Volt Abnormal", "Inverter Output Short Circuit",
             "Rectifier Input Volt Abnormal", "Rectifier Output Volt Abnormal", "Inverter Fuse Break",
             "Battery Need Replace", "UPS Control Circuit Abnormal", "Emergency Power Off",
             "UPS Parallel Comm. Fail", "Manual Bypass On", "UPS Over Temperature",
             "Battery Cabinet Over Temperature"});
    at(StatusList::ModularAlarm) = Seq(87, ModularAlarmTexts());
    {
      EntryList shortList;
      int key = 162;
      for (const char* t : ModularAlarmTexts()) {
        if (std::string(t) == "Battery Ground Fault" && shortList.size() == 17) continue;
        shortList.push_back({key++, t});
      }
      at(StatusList::ModularAlarmShort) = shortList;
    }
    at(StatusList::ContactType) = Seq(52, {"Normal Open", "Normal Close"});
    at(StatusList::InputFunction) = Seq(54, {"Battery Ground Fault", "AC Generator"});
    at(StatusList::ModuleFaults16) =
        Join({Seq(56, {"Open", "Over Waning", "Over Shutdown", "Over Volt Warning", "Over Volt Shutdown",
                       "Under Volt Warning", "Under Volt Shutdown", "General Fail", "Fail"}),
              Seq(159, {"Output Current Limit", "PFC Off"}), Blank(1), Seq(65, {"Comm. Error"}),
              Blank(1), Seq(161, {"Repair"}), Seq(66, {"Not Yet"})});
    at(StatusList::ModuleFaults24) =
        Join({Seq(67, {"Open", "Over Waning", "Over Shutdown", "Fail"}), Blank(1),
              Seq(71, {"Short Circuit", "Fail", "Abnormal", "Fail Shutdown", "Over Volt Shutdown",
                       "Overload"}),
              Blank(1), Seq(77, {"Comm. Error", "Shutdown", "Comm. Lost", "Fail"}), Blank(7),
              Seq(81, {"Not Yet"})});
    at(StatusList::ModuleFaults8) =
        Join({Seq(82, {"Volt/Freq. Abnormal", "Sequence Abnormal", "Overload", "Over Temp.", "Fail"}),
              Blank(3)});
    at(StatusList::Limits6) =
        Seq(107, {"Warning", "Shutdown", "Over", "Under", "Overload Warning", "Overload Shutdown"});
    at(StatusList::CommFaults7) =
        Seq(113, {"Fail Shutdown", "Comm. Error", "Comm. Abnormal", "Abnormal Shutdown", "Comm. Fail",
                  "Abnormal Shutdown", "Fail Shutdown"});
    at(StatusList::Range4) = Seq(120, {"Over", "Under", "Abnormal", "Abnormal"});
    at(StatusList::BatteryTest6) =
        Seq(124, {"Low Warning", "Low Shutdown", "Over Temp.", "Fault", "In Progress", "Fail"});
    at(StatusList::Range9) = Seq(130, {"Over", "Under", "Abnormal", "Abnormal", "Over", "Unbalance",
                                       "Fail", "Over Warning", "Over Shutdown"});
    at(StatusList::Overload4) = Seq(139, {"Over Warning", "Over Shutdown", "Overload", "Fail"});
    at(StatusList::Events4) = Seq(143, {"Initiated", "Over Temp.", "Power Fail", "Short Circuit"});
    {
      EntryList unset;
      for (int k = 147; k <= 158; ++k) unset.push_back({k, nullptr});
      at(StatusList::ModuleStates12) = unset;
    }
    at(StatusList::FaultDescriptions) = Unread(
        {"Output voltage too high", "Output voltage too low", "Battery low", "Any warning",
         "Power module warning", "Power module fault shutdown", "Input abnormal",
         "Internal communication loss", "External parallel communication Loss",
         "Power module current limit", "Battery ground fault", "Battery replace date expired",
         "Battery test fail", "Battery cabinet over temperature", "EPO activated"});
    at(StatusList::ModuleParts) =
        Join({Unread({"PFC", "Rectifier", "Charger", "Inverter", "Bypass"}), Blank(3)});
    at(StatusList::ModuleLabels16) =
        Join({Unread({"Fuse:", "Temp.:", "Temp.:", "DC Bus:", "DC Bus:", "DC Bus:", "DC Bus:",
                      "Circuit:", "Fan:"}),
              Blank(3), Unread({"Inner:"}), Blank(2), Unread({"Cal.:"})});
    at(StatusList::ModuleLabels24) =
        Join({Unread({"Fuse:", "Temp.:", "Temp.:", "Fan:"}), Blank(1),
              Unread({"Detect:", "STS:", "Volt:", "Circuit:", "DC Bus", "Load:"}), Blank(1),
              Unread({"Inner", "EPO:", "Parallel:", "Parallel:"}), Blank(7), Unread({"Cal.:"})});
    at(StatusList::ModuleLabels8) =
        Join({Unread({"Input:", "Phase:", "STS:", "STS:", "STS:"}), Blank(3)});
    at(StatusList::ModuleLabels6) = Join({Unread({"Temp.:", "Temp.:", "Volt:", "Volt:"}), Blank(2)});
    at(StatusList::ModuleLabels7) =
        Join({Unread({"Fuse:", "Inner:", "Parallel:", "Freq.:", "Parallel:", "DC Bus:"}), Blank(1)});
    at(StatusList::ModuleLabels4) = Unread({"Volt:", "Volt:", "Freq.:", "Phase:"});
    at(StatusList::ModuleLabels6b) =
        Unread({"Volt:", "Volt:", "Cabinet.:", "Ground:", "Test:", "Test:"});
    at(StatusList::ModuleLabels9) = Join({Unread({"Volt:", "Volt:", "Freq.:", "Phase:", "Current:",
                                                  "Current:"}),
                                          Blank(1), Unread({"Temp.:", "Temp.:"})});
    at(StatusList::ModuleLabels4b) = Join({Unread({"Temp.:", "Temp.:"}), Blank(2)});
    at(StatusList::ModuleLabels4c) = Join({Unread({"EPO:", "Ambiance:", "Aux.:"}), Blank(1)});
    return v;
  }();
  return specs;
}

// The five copy tables: which table (or the component texts) each copies.
struct Copy {
  StatusList to;
  StatusList from;
};
constexpr Copy kCopies[] = {
    {StatusList::OutputSourceCopy, StatusList::OutputSource},
    {StatusList::BatteryConditionCopy, StatusList::BatteryCondition},
    {StatusList::BatteryLevelCopy, StatusList::BatteryLevel},
    {StatusList::TestResultCopy, StatusList::TestResult},
};
constexpr int kComponentCopyFirst = 38;  // CP_38..CP_41
constexpr int kComponentCopyCount = 4;

std::vector<std::optional<std::string>>& List(ConsoleStatusTexts& s, StatusList t) {
  return s.lists[static_cast<int>(t)];
}

void TakeCopies(ConsoleStatusTexts& s, const LanguageTexts& language) {
  for (const Copy& c : kCopies) List(s, c.to) = List(s, c.from);
  auto& comp = List(s, StatusList::ComponentCopy);
  comp.clear();
  for (int i = 0; i < kComponentCopyCount; ++i)
    comp.emplace_back(std::string(language.componentText(kComponentCopyFirst + i)));
}

std::string Num(const char* fmt, int n) {
  char b[40];
  std::snprintf(b, sizeof b, fmt, n);
  return b;
}

// ---- menu texts ----

enum class MenuTarget { kItem, kTopTitle, kMoveTitle, kLogin, kLogout };

struct MenuText {
  int resource;
  const char* section;
  const char* key;
  const char* english;
  MenuTarget target;
  int id;  // command id, or the top-level position
};

constexpr MenuText kMenuTexts[] = {
    {kMenuMain, "File-Menu", "Title", "&File", MenuTarget::kTopTitle, 0},
    {kMenuMain, "File-Menu", "Item1", "Connect To Server...", MenuTarget::kItem, IDM_CONNECT_TO_SERVER},
    {kMenuMain, "File-Menu", "Item2", "&New", MenuTarget::kItem, IDM_NEW},
    {kMenuMain, "File-Menu", "Item3", "&Open", MenuTarget::kItem, IDM_OPEN},
    {kMenuMain, "File-Menu", "Item4", "Auto-Load", MenuTarget::kItem, IDM_AUTO_LOAD},
    {kMenuMain, "File-Menu", "Item5", "&Save", MenuTarget::kItem, IDM_SAVE},
    {kMenuMain, "File-Menu", "Item6", "Rename &As", MenuTarget::kItem, IDM_RENAME_AS},
    {kMenuMain, "File-Menu", "Item8", "&Generate Report...", MenuTarget::kItem, IDM_GENERATE_REPORT},
    {kMenuMain, "File-Menu", "Item9", "&Database...", MenuTarget::kItem, IDM_DATABASE},
    {kMenuMain, "File-Menu", "Item10", "&Login...", MenuTarget::kLogin, IDM_LOGIN},
    {kMenuMain, "File-Menu", "Item101", "&Logout", MenuTarget::kLogout, IDM_LOGIN},
    {kMenuMain, "File-Menu", "Item11", "Change &Password...", MenuTarget::kItem, IDM_CHANGE_PASSWORD},
    {kMenuMain, "File-Menu", "Item12", "Access &Management...", MenuTarget::kItem, IDM_ACCESS_MANAGEMENT},
    {kMenuMain, "File-Menu", "Item13", "E&xit", MenuTarget::kItem, IDM_EXIT},
    {kMenuMain, "Object-Menu", "Title", "&Object", MenuTarget::kTopTitle, 1},
    {kMenuMain, "Object-Menu", "Item1", "Add &Group...", MenuTarget::kItem, IDM_ADD_GROUP},
    {kMenuMain, "Object-Menu", "Item2", "Add &SNMP Object...", MenuTarget::kItem, IDM_ADD_SNMP},
    {kMenuMain, "Object-Menu", "Item3", "Add &Local Object...", MenuTarget::kItem, IDM_ADD_LOCAL},
    {kMenuMain, "Object-Menu", "Item13", "Add GPRS Object...", MenuTarget::kItem, IDM_ADD_GPRS},
    {kMenuMain, "Object-Menu", "Item4", "&Property...", MenuTarget::kItem, IDM_PROPERTY},
    {kMenuMain, "Object-Menu", "Item5", "&Background...", MenuTarget::kItem, IDM_BACKGROUND},
    {kMenuMain, "Object-Menu", "Item7", "L&ock Object", MenuTarget::kItem, IDM_LOCK_OBJECT},
    {kMenuMain, "Object-Menu", "Item8", "Cut\tCtrl+X", MenuTarget::kItem, IDM_CUT},
    {kMenuMain, "Object-Menu", "Item9", "Paste\tCtrl+V", MenuTarget::kItem, IDM_PASTE},
    {kMenuMain, "Object-Menu", "Item10", "Delete\tDelete", MenuTarget::kItem, IDM_DELETE},
    {kMenuMain, "Object-Menu", "Item11", "&Delete All...", MenuTarget::kItem, IDM_DELETE_ALL},
    {kMenuMain, "Object-Menu", "Item6", "Move", MenuTarget::kMoveTitle, 7},
    {kMenuMain, "Move-Menu", "Item1", "Move Up\tPgUp", MenuTarget::kItem, IDM_MOVE_UP},
    {kMenuMain, "Move-Menu", "Item2", "Move Down\tPgDn", MenuTarget::kItem, IDM_MOVE_DOWN},
    {kMenuMain, "Move-Menu", "Item3", "Next Object", MenuTarget::kItem, IDM_NEXT_OBJECT},
    {kMenuMain, "Move-Menu", "Item4", "Previous Object", MenuTarget::kItem, IDM_PREVIOUS_OBJECT},
    {kMenuMain, "Management-Menu", "Title", "&Management", MenuTarget::kTopTitle, 2},
    {kMenuMain, "Management-Menu", "Item1", "&Connection...", MenuTarget::kItem, IDM_CONNECTION},
    {kMenuMain, "Management-Menu", "Item2", "&List/Tab Selection..", MenuTarget::kItem, IDM_LIST_TAB_SELECTION},
    {kMenuMain, "Management-Menu", "Item3", "Alarm &Management...", MenuTarget::kItem, IDM_ALARM_MANAGEMENT},
    {kMenuMain, "Management-Menu", "Item4", "&Historical Data Management...", MenuTarget::kItem, IDM_HISTORY_MANAGEMENT},
    {kMenuMain, "Management-Menu", "Item5", "&Pause Reaction", MenuTarget::kItem, IDM_PAUSE_REACTION},
    {kMenuMain, "Management-Menu", "Item6", "&Contactors...", MenuTarget::kItem, IDM_CONTACTORS},
    {kMenuMain, "Management-Menu", "Item7", "Send Notification From &Service...", MenuTarget::kItem, IDM_NOTIFY_BY_SERVICE},
    {kMenuMain, "Management-Menu", "Item8", "Send Notification F&rom Monitor...", MenuTarget::kItem, IDM_NOTIFY_BY_MONITOR},
    {kMenuMain, "Management-Menu", "Item9", "All &Event Log...", MenuTarget::kItem, IDM_ALL_EVENT_LOG},
    {kMenuMain, "Management-Menu", "Item10", "&Selected Event Log...", MenuTarget::kItem, IDM_SELECTED_EVENT_LOG},
    {kMenuMain, "Management-Menu", "Item11", "&Historical Parameters...", MenuTarget::kItem, IDM_HISTORICAL_PARAMETERS},
    {kMenuMain, "Management-Menu", "Item12", "Download &UPS Event Log...", MenuTarget::kItem, IDM_DOWNLOAD_UPS_LOG},
    {kMenuMain, "Management-Menu", "Item13", "C&ontrol...", MenuTarget::kItem, IDM_CONTROL},
    {kMenuMain, "Management-Menu", "Item14", "SNMP &Batch Configuration...", MenuTarget::kItem, IDM_BATCH_CONFIGURATION},
    {kMenuMain, "Management-Menu", "Item15", "&Control Password Setup...", MenuTarget::kItem, IDM_CONTROL_PASSWORD_SETUP},
    {kMenuMain, "Help-Menu", "Title", "&Help", MenuTarget::kTopTitle, 3},
    {kMenuMain, "Help-Menu", "Item1", "&About...", MenuTarget::kItem, IDM_ABOUT},
    {kMenuMain, "Help-Menu", "Item2", "&Language Selection...", MenuTarget::kItem, IDM_LANGUAGE},
    {kMenuMain, "Help-Menu", "Item3", "&Save Serial Data", MenuTarget::kItem, IDM_SAVE_SERIAL_DATA},
    {kMenuMain, "Help-Menu", "Item4", "Save &Network Data", MenuTarget::kItem, IDM_SAVE_NETWORK_DATA},
    {kMenuMain, "Help-Menu", "Item5", "Sync Images", MenuTarget::kItem, IDM_SYNC_IMAGES},
    {kMenuMain, "Help-Menu", "Item6", "Export List...", MenuTarget::kItem, IDM_EXPORT_LIST},
    {kMenuMapPopup, "Popup-Menu", "Item1", "Move Up\tPgUp", MenuTarget::kItem, IDM_MOVE_UP},
    {kMenuMapPopup, "Popup-Menu", "Item2", "Move Down\tPgDn", MenuTarget::kItem, IDM_MOVE_DOWN},
    {kMenuMapPopup, "Popup-Menu", "Item3", "Next Object", MenuTarget::kItem, IDM_NEXT_OBJECT},
    {kMenuMapPopup, "Popup-Menu", "Item4", "Previous Object", MenuTarget::kItem, IDM_PREVIOUS_OBJECT},
    {kMenuMapPopup, "Popup-Menu", "Item5", "Lock &Objects", MenuTarget::kItem, IDM_LOCK_OBJECT},
    {kMenuMapPopup, "Popup-Menu", "Item6", "Add &Group...", MenuTarget::kItem, IDM_ADD_GROUP},
    {kMenuMapPopup, "Popup-Menu", "Item7", "Add &SNMP Object...", MenuTarget::kItem, IDM_ADD_SNMP},
    {kMenuMapPopup, "Popup-Menu", "Item8", "Add &Local Object...", MenuTarget::kItem, IDM_ADD_LOCAL},
    {kMenuMapPopup, "Popup-Menu", "Item16", "Add GPRS Object...", MenuTarget::kItem, IDM_ADD_GPRS},
    {kMenuMapPopup, "Popup-Menu", "Item9", "Delete\tDelete", MenuTarget::kItem, IDM_DELETE},
    {kMenuMapPopup, "Popup-Menu", "Item10", "&Property...", MenuTarget::kItem, IDM_PROPERTY},
    {kMenuMapPopup, "Popup-Menu", "Item11", "&All EventLog...", MenuTarget::kItem, IDM_ALL_EVENT_LOG},
    {kMenuMapPopup, "Popup-Menu", "Item12", "Selected &Event Log...", MenuTarget::kItem, IDM_SELECTED_EVENT_LOG},
    {kMenuMapPopup, "Popup-Menu", "Item13", "&Historical Parameters...", MenuTarget::kItem, IDM_HISTORICAL_PARAMETERS},
    {kMenuMapPopup, "Popup-Menu", "Item15", "&Control...", MenuTarget::kItem, IDM_CONTROL},
    {kMenuMapPopup, "Management-Menu", "Item12", "Download &UPS Event Log...", MenuTarget::kItem, IDM_DOWNLOAD_UPS_LOG},
    {kMenuListPopup, "Popup-List-Menu", "Item1", "Delete\tDelete", MenuTarget::kItem, IDM_DELETE},
    {kMenuListPopup, "Popup-List-Menu", "Item2", "&Property...", MenuTarget::kItem, IDM_PROPERTY},
    {kMenuListPopup, "Popup-List-Menu", "Item3", "&All Event Log...", MenuTarget::kItem, IDM_ALL_EVENT_LOG},
    {kMenuListPopup, "Popup-List-Menu", "Item4", "&Selected Event Log...", MenuTarget::kItem, IDM_SELECTED_EVENT_LOG},
    {kMenuListPopup, "Popup-List-Menu", "Item5", "&Historical Parameters...", MenuTarget::kItem, IDM_HISTORICAL_PARAMETERS},
    {kMenuListPopup, "Popup-List-Menu", "Item6", "&List Configuration...", MenuTarget::kItem, IDM_LIST_TAB_SELECTION},
    {kMenuListPopup, "Popup-List-Menu", "Item8", "&Control...", MenuTarget::kItem, IDM_CONTROL},
    {kMenuListPopup, "Management-Menu", "Item12", "Download &UPS Event Log...", MenuTarget::kItem, IDM_DOWNLOAD_UPS_LOG},
};

std::string Cut(std::string_view s, size_t maxBytes) { return std::string(CutUtf8(s, maxBytes)); }

}  // namespace

ConsoleStatusTexts BuildStatusTexts() {
  ConsoleStatusTexts s;
  for (int t = 0; t < kStatusListCount; ++t) {
    for (const Entry& e : Specs()[t]) {
      if (e.text)
        s.lists[t].emplace_back(e.text);
      else
        s.lists[t].emplace_back(std::nullopt);
    }
  }
  TakeCopies(s, InitialLanguageTexts());
  return s;
}

void LoadConsoleStatusTexts(ConsoleStatusTexts& s, const Profile& lang, const LanguageTexts& language) {
  for (int t = 0; t < kStatusListCount; ++t) {
    const EntryList& spec = Specs()[t];
    for (size_t i = 0; i < spec.size() && i < s.lists[t].size(); ++i) {
      if (spec[i].key == kCommon9) {
        if (language.common[8]) s.lists[t][i] = *language.common[8];
      } else if (spec[i].key > 0) {
        std::string v = ReadTableText(lang, "Status", Num("S_%d", spec[i].key), "", 255);
        if (!v.empty()) s.lists[t][i] = std::move(v);
      }
    }
  }
  // After the language texts, on every load: the copies follow what was read.
  TakeCopies(s, language);
}

void ApplyLanguageStatusTexts(ConsoleStatusTexts& status, const Profile& lang,
                              const LanguageTexts& language) {
  StatusTexts localised = DefaultStatusTexts();
  LocaliseStatusTexts(localised, lang, language);
  auto copy = [&](StatusList to, StatusTable from) {
    auto& list = List(status, to);
    const auto& words = localised.table(from);
    for (size_t i = 0; i < list.size() && i < words.size(); ++i) list[i] = words[i];
  };
  copy(StatusList::ModuleParts, StatusTable::ComponentName);
  constexpr StatusList kLabels[] = {StatusList::ModuleLabels16, StatusList::ModuleLabels24,
                                    StatusList::ModuleLabels8,  StatusList::ModuleLabels6,
                                    StatusList::ModuleLabels7,  StatusList::ModuleLabels4,
                                    StatusList::ModuleLabels6b, StatusList::ModuleLabels9,
                                    StatusList::ModuleLabels4b, StatusList::ModuleLabels4c};
  for (int k = 1; k <= 10; ++k) copy(kLabels[k - 1], FaultLabels(k));
}

std::string EnglishMenuText(int resource, int id) {
  for (const MenuText& m : kMenuTexts)
    if (m.resource == resource && m.id == id && m.target == MenuTarget::kItem) return m.english;
  return "";
}

void LoadLanguageTexts(ConsoleTexts& texts, const Profile& lang, ConsoleMenus* menus, int userLevel) {
  ViewTexts& view = texts.view;
  for (const MenuText& m : kMenuTexts) {
    // A missing key puts the English text back, so no text of the previous
    // language survives.
    const std::string text = Cut(lang.getString(m.section, m.key, m.english, 256), kMenuTextMax);
    switch (m.target) {
      case MenuTarget::kLogin:
        view.login = Cut(text, kLoginTextMax);
        break;
      case MenuTarget::kLogout:
        view.logout = Cut(text, kLoginTextMax);
        if (menus) menus->setItemText(kMenuMain, IDM_LOGIN, userLevel == 0 ? view.login : view.logout);
        break;
      case MenuTarget::kTopTitle:
        if (menus) menus->setTopTitle(m.id, text);
        break;
      case MenuTarget::kMoveTitle:
        if (menus) menus->setMoveTitle(text);
        break;
      case MenuTarget::kItem:
        if (menus) menus->setItemText(m.resource, m.id, text);
        break;
    }
  }
  ReadColumnTitles(lang, texts.columns);
  for (int i = 1; i <= kDetailTabs; ++i)
    view.tabTitles[i - 1] = Cut(lang.getString("Tab", Num("Tab%d.Title", i), view.tabTitles[i - 1], 256), kTabTitleMax);
  texts.language = lark::LoadLanguageTexts(lang, texts.language);
}

}  // namespace lark
