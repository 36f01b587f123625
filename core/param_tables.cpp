#include "core/param_tables.h"

#include <algorithm>

#include "common/bytes.h"
#include "core/language_texts.h"
#include "platform/paths.h"

namespace lark {

namespace {

std::string_view Entry(const std::vector<std::optional<std::string>>& v, size_t i) {
  if (i >= v.size() || !v[i]) return {};
  return *v[i];
}

}  // namespace

size_t DefaultParamCount(ParamFamily f) {
  const auto& info = ParamFamilyOf(f);
  int32_t n = ParseDecimalClamped(info.defaultNumber);
  return std::min<size_t>(static_cast<size_t>(std::max(n, 0)), info.capacity);
}

std::string_view ParamTable::title(size_t i) const { return Entry(titles, i); }
std::string_view ParamTable::unit(size_t i) const { return Entry(units, i); }

ParamTable EmptyParamTable(ParamFamily f) {
  ParamTable t;
  t.titles.resize(ParamFamilyOf(f).capacity);
  t.units.resize(ParamFamilyOf(f).capacity);
  return t;
}

ParamTable ReadParamTable(const Profile& file, ParamFamily f, const ParamTable& previous) {
  const auto& info = ParamFamilyOf(f);
  ParamTable t = previous;
  if (t.capacity() != info.capacity) t = EmptyParamTable(f);
  int32_t n = ParseDecimalClamped(
      ReadTableText(file, "Main", "Number", info.defaultNumber, kParamNumberMax));
  if (n > static_cast<int32_t>(info.capacity)) n = info.capacity;
  for (int32_t i = 0; i < n; ++i) {
    const std::string sec = "Para" + std::to_string(i + 1);
    t.titles[static_cast<size_t>(i)] = ReadTableText(file, sec, "Title", "", kParamTextMax);
    t.units[static_cast<size_t>(i)] = ReadTableText(file, sec, "Unit", "", kParamTextMax);
  }
  return t;
}

ParamTables::ParamTables() {
  for (const auto& f : kParamFamilies)
    tables_[static_cast<size_t>(f.family)] = EmptyParamTable(f.family);
}

ParamTables LoadParamTables(const std::string& folder, const ParamTables& previous,
                            std::vector<std::string>* missing) {
  ParamTables out;
  for (const auto& f : kParamFamilies) {
    std::optional<std::string> path;
    if (!folder.empty()) path = FindNoCase(folder, f.file);
    if (!path && missing != nullptr) missing->push_back(std::string(f.file));
    Profile file = path ? Profile(*path) : Profile();
    out.table(f.family) = ReadParamTable(file, f.family, previous.table(f.family));
  }
  return out;
}

}  // namespace lark
