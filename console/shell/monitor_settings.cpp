#include "console/shell/monitor_settings.h"

#include <algorithm>

#include <arpa/inet.h>

#include <cstdio>

#include "common/bytes.h"
#include "core/language_texts.h"
#include "platform/text.h"

namespace lark {
namespace {

constexpr const char* kRectNames[5] = {"General", "List", "Main", "Map", "Broadcast"};
constexpr const char* kSides[4] = {"left", "top", "right", "bottom"};
constexpr size_t kRectRead = 64;
constexpr size_t kStartupRead = 256;
constexpr size_t kTitleRead = 20;       // a column title keeps 19 bytes
constexpr size_t kGroupTitleRead = 16;  // the group list's title keeps 15
constexpr size_t kNumberRead = 16;

std::string Cut(std::string_view s, size_t maxBytes) { return std::string(CutUtf8(s, maxBytes)); }

std::array<WindowRect*, 5> Rects(MonitorSettings& s) {
  return {&s.general, &s.list, &s.main, &s.map, &s.broadcast};
}

std::array<const WindowRect*, 5> Rects(const DefaultRects& d) {
  return {&d.general, &d.list, &d.main, &d.map, &d.broadcast};
}

int32_t* Side(WindowRect& r, int i) {
  int32_t* sides[4] = {&r.left, &r.top, &r.right, &r.bottom};
  return sides[i];
}

int32_t SideOf(const WindowRect& r, int i) {
  const int32_t sides[4] = {r.left, r.top, r.right, r.bottom};
  return sides[i];
}

std::string Key(const char* a, const char* b) { return std::string(a) + "." + b; }
std::string Numbered(const char* fmt, int n) {
  char b[48];
  std::snprintf(b, sizeof b, fmt, n);
  return b;
}

}  // namespace

const std::array<const char*, kEnglishColumnTitles>& EnglishColumnTitles() {
  static constexpr std::array<const char*, kEnglishColumnTitles> kTitles{
      "Title",    "Model",    "Rating VA",   "UPS Status",    "Batt Status",    "In Volt",
      "In Amp",   "Out Volt", "Out Amp",     "Out Power",     "Out Loading",    "Batt Volt",
      "Batt Amp", "Batt Capacity", "Batt Remaining", "Alarm", "Location"};
  return kTitles;
}

ColumnTitles::ColumnTitles() {
  for (int i = 0; i < kEnglishColumnTitles; ++i) device[i] = EnglishColumnTitles()[i];
}

void ReadColumnTitles(const Profile& language, ColumnTitles& titles) {
  titles.group = Cut(language.getString("List", "Group-Title", "Group Title", 256), kGroupTitleRead - 1);
  for (int i = 1; i <= kEnglishColumnTitles; ++i) {
    titles.device[i - 1] = Cut(language.getString("List", Numbered("Device.Title%d", i),
                                                  EnglishColumnTitles()[i - 1], 256),
                               kTitleRead - 1);
  }
}

DefaultRects DefaultWindowRects(const WorkArea& a) {
  DefaultRects d;
  d.general = {a.left, a.bottom / 4 + 3, a.right / 6, a.bottom};
  d.list = {a.left + 150, a.top, a.right, a.bottom / 4};
  d.main = {a.left, a.top, a.right, a.bottom};
  const int32_t mapLeft = 2 * a.right / 3 + 1;
  d.map = {mapLeft, 0, a.right, a.right - mapLeft};
  d.broadcast = {a.left, a.bottom - 80, a.right, a.bottom};
  return d;
}

std::optional<std::string> ServerAddressFromText(std::string_view text) {
  if (EqualNoCase(text, "localhost") || EqualNoCase(text, "local host")) return "127.0.0.1";
  if (text.empty() || text.size() > 15) return std::nullopt;
  const std::string s(text);
  in_addr a{};
  if (inet_pton(AF_INET, s.c_str(), &a) != 1) return std::nullopt;
  return s;
}

MonitorIni::MonitorIni(std::string path, WorkArea area) : file_(std::move(path)), area_(area) {}

void MonitorIni::LoadWindowRects() {
  const DefaultRects d = DefaultWindowRects(area_);
  s_.generalEnabled = EqualNoCase(file_.getString("Rect", "General.enable", "Yes", kRectRead), "Yes");
  auto rects = Rects(s_);
  auto defaults = Rects(d);
  for (int r = 0; r < 5; ++r) {
    for (int i = 0; i < 4; ++i) {
      const std::string v = file_.getString("Rect", Key(kRectNames[r], kSides[i]), "-10000", kRectRead);
      int32_t n = ParseDecimalClamped(v);
      if (n == kRectUnset) n = SideOf(*defaults[r], i);
      *Side(*rects[r], i) = n;
    }
  }
  if (!EqualNoCase(file_.getString("Rect", "Map.close", "No", kRectRead), "No"))
    s_.viewFlags |= kViewMapClosed;
  else
    s_.viewFlags &= ~kViewMapClosed;
  // Below 50 the map would all but vanish; the slider's range is 50..255.
  s_.transparency = std::clamp<int32_t>(
      ParseDecimalClamped(file_.getString("Map", "Transparency", "128", kRectRead)), 50, 255);
  s_.fitPicture = ParseDecimalClamped(file_.getString("Map", "FitPicture", "0", kRectRead));
}

void MonitorIni::SaveWindowRects() {
  const WindowRect& m = s_.main;
  const bool offArea = (m.left < 0 && m.right < 0) || m.left > area_.right - 100 ||
                       (m.top < 0 && m.bottom < 0) || m.top > area_.bottom - 100;
  if (offArea) {
    const DefaultRects d = DefaultWindowRects(area_);
    s_.general = d.general;
    s_.list = d.list;
    s_.list.right = area_.right - 16;
    s_.main = d.main;
    s_.map = d.map;
    s_.broadcast = d.broadcast;
  }
  file_.setString("Rect", "General.enable", s_.generalEnabled ? "Yes" : "No");
  auto rects = Rects(s_);
  auto write = [&](int r) {
    for (int i = 0; i < 4; ++i) file_.setInt("Rect", Key(kRectNames[r], kSides[i]), *Side(*rects[r], i));
  };
  write(0);
  write(1);
  write(2);
  file_.setString("Rect", "Map.close", (s_.viewFlags & kViewMapClosed) ? "Yes" : "No");
  write(3);
  write(4);
  file_.setInt("Map", "Transparency", s_.transparency);
  file_.setInt("Map", "FitPicture", s_.fitPicture);
}

void MonitorIni::LoadStartupConfig() {
  s_.autoConnect =
      ParseDecimalClamped(file_.getString("Startup Config", "Auto Connect", "1", kStartupRead)) != 0;
  s_.serverAddress.clear();
  s_.addressKnown = false;
  const std::string text = file_.getString("Startup Config", "Server IP", "LocalHost", kStartupRead);
  // Only a dotted address reaches the link; anything else (a name, a long
  // text) turns auto-connect off and stays in the file as it was written.
  std::optional<std::string> addr = ServerAddressFromText(text);
  if (!addr || *addr == "0.0.0.0") {
    s_.autoConnect = false;
  } else {
    s_.serverAddress = *addr;
    s_.addressKnown = true;
  }
  SaveStartupConfig();
}

void MonitorIni::SaveStartupConfig() {
  file_.setString("Startup Config", "Auto Connect", s_.autoConnect ? "1" : "0");
  if (s_.serverAddress.empty() || s_.serverAddress == "0.0.0.0") return;
  file_.setString("Startup Config", "Server IP",
                  s_.serverAddress == "127.0.0.1" ? "LocalHost" : s_.serverAddress);
}

void MonitorIni::LoadConsoleSettings(const Profile& language, ColumnTitles& titles) {
  LoadStartupConfig();
  if (EqualNoCase(file_.getString("Main", "Lock", "No", 10), "Yes"))
    s_.viewFlags |= kViewLockObjects;
  else
    s_.viewFlags &= ~kViewLockObjects;
  ReadColumnTitles(language, titles);
  for (int pos = 2; pos <= kDeviceColumnPositions; ++pos) {
    int& choice = s_.columnChoice[pos - 1];
    const std::string current = choice >= 0 ? titles.device[choice] : std::string();
    const std::string stored = file_.getString("List", Numbered("Item.%d", pos), current, 64);
    if (stored.empty()) continue;  // would match every empty slot
    for (int slot = 0; slot < kColumnTitleSlots; ++slot)
      if (titles.device[slot] == stored) choice = slot;
  }
  for (int i = 1; i <= kDeviceColumnPositions; ++i) {
    int32_t& w = s_.deviceWidths[i - 1];
    w = ParseDecimalClamped(file_.getString("List", Numbered("Width.%d", i), std::to_string(w), kNumberRead));
  }
  for (int i = 1; i <= kGroupColumns; ++i) {
    int32_t& w = s_.groupWidths[i - 1];
    w = ParseDecimalClamped(
        file_.getString("List", Numbered("GroupWidth.%d", i), std::to_string(w), kNumberRead));
  }
  for (int i = 1; i <= kDetailTabs; ++i)
    s_.tabEnabled[i - 1] = file_.getString("Tab", Numbered("Enable.%d", i), "Enable", 64) == "Enable";
  s_.gsmPort = file_.getString("Monitor GSM Modem", "Port", "", 32);
  s_.gsmBaud = ParseDecimalClamped(file_.getString("Monitor GSM Modem", "Baud", "9600", kNumberRead));
  SaveConsoleSettings(titles);
}

void MonitorIni::SaveConsoleSettings(const ColumnTitles& titles) {
  SaveWindowRects();
  SaveStartupConfig();
  for (int pos = 2; pos <= kDeviceColumnPositions; ++pos) {
    const int choice = s_.columnChoice[pos - 1];
    file_.setString("List", Numbered("Item.%d", pos),
                    choice >= 0 && choice < kColumnTitleSlots ? titles.device[choice] : "");
  }
  for (int i = 1; i <= kDeviceColumnPositions; ++i)
    file_.setInt("List", Numbered("Width.%d", i), s_.deviceWidths[i - 1]);
  for (int i = 1; i <= kGroupColumns; ++i)
    file_.setInt("List", Numbered("GroupWidth.%d", i), s_.groupWidths[i - 1]);
  for (int i = 1; i <= kDetailTabs; ++i)
    file_.setString("Tab", Numbered("Enable.%d", i), s_.tabEnabled[i - 1] ? "Enable" : "Disable");
  file_.setString("Main", "Lock", (s_.viewFlags & kViewLockObjects) ? "Yes" : "No");
  file_.setString("Monitor GSM Modem", "Port", s_.gsmPort);
  file_.setInt("Monitor GSM Modem", "Baud", s_.gsmBaud);
}

void MonitorIni::LoadConsoleLists() {
  for (int row = 1; row <= kListRows; ++row) {
    const std::string sec = Numbered("Item%d", row);
    RecipientItem& item = s_.monitorItems[row - 1];
    item.name = file_.getString(sec, "Name", "", kRecipientNameMax + 1);
    for (int i = 1; i <= kRecipientNodeIds; ++i) {
      const int32_t id = ParseDecimalClamped(file_.getString(sec, Numbered("ID.Index%d", i), "-1", 32));
      item.nodeIds[i - 1] = static_cast<int16_t>(id);
    }
    item.outgoingSlot = -1;
  }
}

void MonitorIni::SaveConsoleLists() {
  for (int row = 1; row <= kListRows; ++row) {
    const std::string sec = Numbered("Item%d", row);
    const RecipientItem& item = s_.monitorItems[row - 1];
    file_.setString(sec, "Name", item.name);
    for (int i = 1; i <= kRecipientNodeIds; ++i)
      file_.setInt(sec, Numbered("ID.Index%d", i), item.nodeIds[i - 1]);
  }
}

bool MonitorIni::Save() { return file_.save(); }

}  // namespace lark
