// monitor.ini: the console's own settings (list columns, detail tabs, the
// lock of the map icons, its GSM modem, window rectangles, the map's
// transparency, the start-up connection and its own 20 notification lists).
// Every change is made in memory and the whole file written once, through a
// temp file and rename.
#pragma once
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/settings.h"
#include "platform/profile.h"

namespace lark {

inline constexpr int kDeviceColumnPositions = 10;  // list positions 1..10
inline constexpr int kGroupColumns = 8;
inline constexpr int kColumnTitleSlots = 32;
inline constexpr int kEnglishColumnTitles = 17;
inline constexpr int kDetailTabs = 6;
inline constexpr int32_t kRectUnset = -10000;

// ViewFlags bits.
inline constexpr uint32_t kViewLockObjects = 1;
inline constexpr uint32_t kViewMapClosed = 2;

struct WindowRect {
  int32_t left = kRectUnset;
  int32_t top = kRectUnset;
  int32_t right = kRectUnset;
  int32_t bottom = kRectUnset;
  bool operator==(const WindowRect&) const = default;
};

// The work area of the primary screen (left, top, right, bottom).
struct WorkArea {
  int32_t left = 0;
  int32_t top = 0;
  int32_t right = 1024;
  int32_t bottom = 768;
};

// The device-list column titles: 32 slots of at most 19 bytes; the first 17
// are the columns a position can choose, the rest stay empty.
struct ColumnTitles {
  std::string group = "Group";
  std::array<std::string, kColumnTitleSlots> device;
  ColumnTitles();
};
const std::array<const char*, kEnglishColumnTitles>& EnglishColumnTitles();
// language.ini [List] "Group-Title" and "Device.Title%d" (1..17), each
// defaulting to its English title, cut to the title slots.
void ReadColumnTitles(const Profile& language, ColumnTitles& titles);

struct MonitorSettings {
  // [List]: the column choice of positions 1..10 (index 0 is position 1, the
  // fixed status icon column, -1); an index into the title slots.
  std::array<int, kDeviceColumnPositions> columnChoice{-1, 0, 1, 3, 4, 7, 9, 10, 13, 15};
  std::array<int32_t, kDeviceColumnPositions> deviceWidths{30, 80, 80, 80, 80, 80, 80, 80, 80, 300};
  std::array<int32_t, kGroupColumns> groupWidths{30, 100, 80, 80, 80, 80, 80, 80};
  std::array<bool, kDetailTabs> tabEnabled{true, true, true, true, true, true};
  uint32_t viewFlags = 0;  // kViewLockObjects, kViewMapClosed
  // [Monitor GSM Modem]
  std::string gsmPort;
  int32_t gsmBaud = 9600;  // 32 bits: 115200 must not wrap
  // [Rect], [Map]
  bool generalEnabled = true;
  WindowRect general, list, main, map, broadcast;
  int32_t transparency = 128;
  int32_t fitPicture = 0;
  // [Startup Config]
  bool autoConnect = true;
  std::string serverAddress;  // dotted IPv4; "" when none
  bool addressKnown = false;
  // [Item1]..[Item20]: the devices whose alarms the console reports itself.
  std::array<RecipientItem, kListRows> monitorItems;
};

// The default rectangles of an area, as a fresh install opens its windows.
struct DefaultRects {
  WindowRect general, list, main, map, broadcast;
};
DefaultRects DefaultWindowRects(const WorkArea& a);

// Accepts a dotted IPv4 address only ("localhost" and "local host" in any
// case become 127.0.0.1); nullopt for anything else.
std::optional<std::string> ServerAddressFromText(std::string_view text);

class MonitorIni {
 public:
  MonitorIni(std::string path, WorkArea area);

  MonitorSettings& settings() { return s_; }
  const MonitorSettings& settings() const { return s_; }
  Profile& profile() { return file_; }
  const WorkArea& workArea() const { return area_; }

  // Each loader reads its sections into the settings and puts back what it
  // read (defaults filled in) into the file in memory; Save() writes it.
  void LoadWindowRects();
  void LoadStartupConfig();
  // [Main] Lock, the titles from the language file, [List], [Tab] and the
  // console's modem; then SaveConsoleSettings.
  void LoadConsoleSettings(const Profile& language, ColumnTitles& titles);
  void LoadConsoleLists();

  void SaveWindowRects();
  void SaveStartupConfig();
  void SaveConsoleSettings(const ColumnTitles& titles);
  // The [Item1]..[Item20] sections rewritten in place; the caller writes the
  // other sections and saves once.
  void SaveConsoleLists();

  // Writes the file once when anything changed; false when the write failed
  // (the old file is then untouched).
  bool Save();

 private:
  Profile file_;
  WorkArea area_;
  MonitorSettings s_;
};

}  // namespace lark
