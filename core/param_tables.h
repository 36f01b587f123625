// Parameter-title tables: per device family the titles and units of its
// history parameters, from para-<family>.ini of the language folder. Used as
// column heads of history exports and row titles of report statistics.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/profile.h"

namespace lark {

enum class ParamFamily : uint8_t { Snmpv4, Regular, Mge, Pw, Inverter, Sensor, Meter, Metergrp };
inline constexpr size_t kParamFamilyCount = 8;
inline constexpr size_t kParamTextMax = 63;   // bytes kept of a Title or Unit
inline constexpr size_t kParamNumberMax = 9;  // bytes read of [Main] Number

struct ParamFamilyInfo {
  ParamFamily family;
  std::string_view word;
  std::string_view file;
  uint16_t capacity;
  std::string_view defaultNumber;  // [Main] Number when missing
};

inline constexpr std::array<ParamFamilyInfo, kParamFamilyCount> kParamFamilies = {{
    {ParamFamily::Snmpv4, "snmpv4", "para-snmpv4.ini", 48, "48"},
    {ParamFamily::Regular, "regular", "para-regular.ini", 54, "48"},
    {ParamFamily::Mge, "mge", "para-mge.ini", 56, "56"},
    {ParamFamily::Pw, "pw", "para-pw.ini", 34, "56"},
    {ParamFamily::Inverter, "inverter", "para-inverter.ini", 30, "20"},
    {ParamFamily::Sensor, "sensor", "para-sensor.ini", 7, "20"},
    {ParamFamily::Meter, "meter", "para-meter.ini", 10, "20"},
    {ParamFamily::Metergrp, "metergrp", "para-metergrp.ini", 4, "20"},
}};

inline const ParamFamilyInfo& ParamFamilyOf(ParamFamily f) {
  return kParamFamilies[static_cast<size_t>(f)];
}

// Entries a file without [Main] Number loads: the default clamped to capacity.
size_t DefaultParamCount(ParamFamily f);

struct ParamTable {
  // capacity entries each; none until a load reaches the entry.
  std::vector<std::optional<std::string>> titles;
  std::vector<std::optional<std::string>> units;

  size_t capacity() const { return titles.size(); }
  bool has(size_t i) const { return i < titles.size() && titles[i].has_value(); }
  // "" for none or out of range.
  std::string_view title(size_t i) const;
  std::string_view unit(size_t i) const;
};

ParamTable EmptyParamTable(ParamFamily f);

// Reads [Main] Number (clamped to capacity; 0 or less loads nothing) and the
// Para1..ParaN Title and Unit over `previous`; entries past N keep theirs.
ParamTable ReadParamTable(const Profile& file, ParamFamily f, const ParamTable& previous);

class ParamTables {
 public:
  ParamTables();
  const ParamTable& table(ParamFamily f) const { return tables_[static_cast<size_t>(f)]; }
  ParamTable& table(ParamFamily f) { return tables_[static_cast<size_t>(f)]; }

 private:
  std::array<ParamTable, kParamFamilyCount> tables_;
};

// Reads all eight files of a language folder (found without case); missing
// files are named in `missing` when given.
ParamTables LoadParamTables(const std::string& folder, const ParamTables& previous,
                            std::vector<std::string>* missing);

}  // namespace lark
