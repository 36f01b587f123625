// Alarm-action tables: per device family, two 604-byte rows per event (row
// 2i when event i starts, 2i+1 when it ends) with title, level, message,
// sound, SMS text and delay. The row is also the wire image that consoles
// read and write table by table, so it is kept as bytes with accessors.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/bytes.h"
#include "core/language_texts.h"
#include "platform/profile.h"

namespace lark {

// ActionRow, 604 bytes, little-endian:
//   0                65 66               195                456            600   604
//   | Title (65)      |lv| Message (129)  | Audio.File (261) | SMS (144)    |Delay|
inline constexpr size_t kActionRowSize = 604;
inline constexpr size_t kActionTitleOff = 0, kActionTitleSize = 65;
inline constexpr size_t kActionLevelOff = 65;
inline constexpr size_t kActionMessageOff = 66, kActionMessageSize = 129;
inline constexpr size_t kActionAudioOff = 195, kActionAudioSize = 261;
inline constexpr size_t kActionSmsOff = 456, kActionSmsSize = 144;
inline constexpr size_t kActionDelayOff = 600;

// Longest values kept from a file, in bytes.
inline constexpr size_t kActionTitleMax = 64;
inline constexpr size_t kActionLevelWordMax = 33;
inline constexpr size_t kActionMessageMax = 128;
inline constexpr size_t kActionAudioMax = 255;
inline constexpr size_t kActionSmsMax = 139;
inline constexpr size_t kActionDelayTextMax = 31;

class ActionRow {
 public:
  ActionRow() { bytes_.fill(0); }
  // A row from outside bytes (at least 604); every text field gets a forced
  // terminator, the level byte stays raw.
  static ActionRow FromBytes(CBytes b);

  CBytes bytes() const { return CBytes(bytes_); }

  std::string title() const { return strAt(bytes(), kActionTitleOff, kActionTitleSize); }
  void setTitle(std::string_view s) { putStr(mut(), kActionTitleOff, kActionTitleSize, s); }
  uint8_t level() const { return bytes_[kActionLevelOff]; }  // raw, may be above 2
  uint32_t levelIndex() const { return ClampLevel(level()); }
  void setLevel(uint8_t v) { bytes_[kActionLevelOff] = v; }
  std::string message() const { return strAt(bytes(), kActionMessageOff, kActionMessageSize); }
  void setMessage(std::string_view s) { putStr(mut(), kActionMessageOff, kActionMessageSize, s); }
  std::string audioFile() const { return strAt(bytes(), kActionAudioOff, kActionAudioSize); }
  void setAudioFile(std::string_view s) { putStr(mut(), kActionAudioOff, kActionAudioSize, s); }
  std::string smsMessage() const { return strAt(bytes(), kActionSmsOff, kActionSmsSize); }
  void setSmsMessage(std::string_view s) { putStr(mut(), kActionSmsOff, kActionSmsSize, s); }
  int32_t delayTime() const { return i32At(bytes(), kActionDelayOff); }  // seconds
  void setDelayTime(int32_t v) { putI32(mut(), kActionDelayOff, v); }

  bool operator==(const ActionRow& o) const { return bytes_ == o.bytes_; }

 private:
  Bytes mut() { return Bytes(bytes_); }
  std::array<uint8_t, kActionRowSize> bytes_;
};

enum class ActionFamily : uint8_t {
  Snmpv4,
  Regular,
  RegularPlus,
  ThreePhase,
  ThreePhasePlus,
  Mge,
  Plc,
  Pw,
  Inverter,
  Sensor,
  Meter,
  Gprs,
};
inline constexpr size_t kActionFamilyCount = 12;

struct ActionFamilyInfo {
  ActionFamily family;
  std::string_view word;  // as in the file name
  std::string_view file;  // in the language folder
  uint16_t rows;          // two per event
  int8_t readSub;         // link event-table subcommand, -1 none
  int8_t writeSub;
};

// In load order (snmpv4 first, gprs last).
inline constexpr std::array<ActionFamilyInfo, kActionFamilyCount> kActionFamilies = {{
    {ActionFamily::Snmpv4, "snmpv4", "action-snmpv4.ini", 72, 0, 1},
    {ActionFamily::Regular, "regular", "action-regular.ini", 52, 2, 3},
    {ActionFamily::RegularPlus, "regularplus", "action-regularplus.ini", 66, 4, 5},
    {ActionFamily::ThreePhase, "3phase", "action-3phase.ini", 48, 6, 7},
    {ActionFamily::ThreePhasePlus, "3phaseplus", "action-3phaseplus.ini", 104, 8, 9},
    {ActionFamily::Mge, "mge", "action-mge.ini", 74, 10, 11},
    {ActionFamily::Plc, "plc", "action-plc.ini", 4, 12, 13},
    {ActionFamily::Pw, "pw", "action-pw.ini", 82, 14, 15},
    {ActionFamily::Inverter, "inverter", "action-inverter.ini", 34, 16, 17},
    {ActionFamily::Sensor, "sensor", "action-sensor.ini", 12, 18, 19},
    {ActionFamily::Meter, "meter", "action-meter.ini", 2, -1, -1},
    {ActionFamily::Gprs, "gprs", "action-gprs.ini", 52, 20, 21},
}};

inline const ActionFamilyInfo& ActionFamilyOf(ActionFamily f) {
  return kActionFamilies[static_cast<size_t>(f)];
}

// The family a link event-table subcommand names; nullopt for unknown subs.
struct ActionLinkSub {
  ActionFamily family;
  bool write;
};
std::optional<ActionLinkSub> ActionFamilyForLinkSub(int sub);

using ActionTable = std::vector<ActionRow>;

// Reads the family's rows from its file (sections Event1..EventN). Every
// text field takes its value or default; only the level byte of `previous`
// survives when the level word matches none of `levels`.
ActionTable ReadActionTable(const Profile& file, ActionFamily f, const ActionTable& previous,
                            const LevelNames& levels);
// Writes the six keys of every row into `file`, key by key, keeping every
// other key; the caller saves the profile once.
void WriteActionTable(Profile& file, ActionFamily f, const ActionTable& rows,
                      const LevelNames& levels);

// The link payload: rows x 604 bytes.
std::vector<uint8_t> ActionTableToWire(const ActionTable& rows);
// A console's payload; nullopt unless it is exactly the family's size.
std::optional<ActionTable> ActionTableFromWire(ActionFamily f, CBytes payload);
// The tables of a console's whole download, page p holding the payload of
// read sub 2p; a page of another size is left out.
std::vector<std::pair<ActionFamily, ActionTable>> ActionTablesFromPages(
    std::span<const std::vector<uint8_t>> pages);

// All twelve tables; each starts as zero-filled rows of its family's count.
class ActionTables {
 public:
  ActionTables();
  const ActionTable& table(ActionFamily f) const { return tables_[static_cast<size_t>(f)]; }
  ActionTable& table(ActionFamily f) { return tables_[static_cast<size_t>(f)]; }

 private:
  std::array<ActionTable, kActionFamilyCount> tables_;
};

// Reads the twelve files of a language folder (found without case). Missing
// files are named in `missing` when given; their rows take the defaults.
ActionTables LoadActionTables(const std::string& folder, const ActionTables& previous,
                              const LevelNames& levels, std::vector<std::string>* missing);
// Writes one family's file in `folder`; false when it cannot be written.
bool SaveActionTable(const std::string& folder, ActionFamily f, const ActionTable& rows,
                     const LevelNames& levels);

}  // namespace lark
