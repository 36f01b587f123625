#include "core/action_tables.h"

#include <algorithm>
#include <cstring>

#include "platform/paths.h"
#include "platform/text.h"

namespace lark {

namespace {

std::string Section(size_t row) { return "Event" + std::to_string(row + 1); }

}  // namespace

ActionRow ActionRow::FromBytes(CBytes b) {
  ActionRow r;
  std::memcpy(r.bytes_.data(), b.data(), std::min(b.size(), kActionRowSize));
  Bytes m = r.mut();
  terminateField(m, kActionTitleOff, kActionTitleSize);
  terminateField(m, kActionMessageOff, kActionMessageSize);
  terminateField(m, kActionAudioOff, kActionAudioSize);
  terminateField(m, kActionSmsOff, kActionSmsSize);
  return r;
}

std::optional<ActionLinkSub> ActionFamilyForLinkSub(int sub) {
  for (const auto& f : kActionFamilies) {
    if (f.readSub >= 0 && sub == f.readSub) return ActionLinkSub{f.family, false};
    if (f.writeSub >= 0 && sub == f.writeSub) return ActionLinkSub{f.family, true};
  }
  return std::nullopt;
}

std::vector<std::pair<ActionFamily, ActionTable>> ActionTablesFromPages(
    std::span<const std::vector<uint8_t>> pages) {
  std::vector<std::pair<ActionFamily, ActionTable>> out;
  for (size_t p = 0; p < pages.size(); ++p) {
    const std::optional<ActionLinkSub> family = ActionFamilyForLinkSub(static_cast<int>(2 * p));
    if (!family) continue;
    if (std::optional<ActionTable> rows = ActionTableFromWire(family->family, pages[p]))
      out.emplace_back(family->family, std::move(*rows));
  }
  return out;
}

ActionTable ReadActionTable(const Profile& file, ActionFamily f, const ActionTable& previous,
                            const LevelNames& levels) {
  const size_t rows = ActionFamilyOf(f).rows;
  ActionTable out(rows);
  for (size_t r = 0; r < rows; ++r) {
    ActionRow& row = out[r];
    if (r < previous.size()) row.setLevel(previous[r].level());
    const std::string sec = Section(r);
    row.setTitle(ReadTableText(file, sec, "Title", "", kActionTitleMax));
    std::string word = ReadTableText(file, sec, "Alarm.Level", "Information", kActionLevelWordMax);
    for (uint8_t l = 0; l < 3; ++l) {
      if (EqualNoCase(word, levels[l])) {
        row.setLevel(l);
        break;
      }
    }
    row.setMessage(ReadTableText(file, sec, "Message", "No", kActionMessageMax));
    row.setAudioFile(ReadTableText(file, sec, "Audio.File", "", kActionAudioMax));
    row.setSmsMessage(ReadTableText(file, sec, "SMS.Message", "", kActionSmsMax));
    row.setDelayTime(
        ParseDecimalClamped(ReadTableText(file, sec, "DelayTime", "0", kActionDelayTextMax)));
  }
  return out;
}

void WriteActionTable(Profile& file, ActionFamily f, const ActionTable& rows,
                      const LevelNames& levels) {
  const size_t n = std::min<size_t>(ActionFamilyOf(f).rows, rows.size());
  for (size_t r = 0; r < n; ++r) {
    const ActionRow& row = rows[r];
    const std::string sec = Section(r);
    file.setString(sec, "Title", row.title());
    file.setString(sec, "Alarm.Level", row.level() <= 2 ? levels[row.level()] : std::string());
    file.setString(sec, "Message", row.message());
    file.setString(sec, "Audio.File", row.audioFile());
    file.setString(sec, "SMS.Message", row.smsMessage());
    file.setString(sec, "DelayTime", std::to_string(row.delayTime()));
  }
}

std::vector<uint8_t> ActionTableToWire(const ActionTable& rows) {
  std::vector<uint8_t> out;
  out.reserve(rows.size() * kActionRowSize);
  for (const ActionRow& r : rows) out.insert(out.end(), r.bytes().begin(), r.bytes().end());
  return out;
}

std::optional<ActionTable> ActionTableFromWire(ActionFamily f, CBytes payload) {
  const size_t rows = ActionFamilyOf(f).rows;
  if (payload.size() != rows * kActionRowSize) return std::nullopt;
  ActionTable out;
  out.reserve(rows);
  for (size_t r = 0; r < rows; ++r)
    out.push_back(ActionRow::FromBytes(payload.subspan(r * kActionRowSize, kActionRowSize)));
  return out;
}

ActionTables::ActionTables() {
  for (const auto& f : kActionFamilies) tables_[static_cast<size_t>(f.family)].resize(f.rows);
}

ActionTables LoadActionTables(const std::string& folder, const ActionTables& previous,
                              const LevelNames& levels, std::vector<std::string>* missing) {
  ActionTables out;
  for (const auto& f : kActionFamilies) {
    std::optional<std::string> path;
    if (!folder.empty()) path = FindNoCase(folder, f.file);
    if (!path && missing != nullptr) missing->push_back(std::string(f.file));
    Profile file = path ? Profile(*path) : Profile();
    out.table(f.family) = ReadActionTable(file, f.family, previous.table(f.family), levels);
  }
  return out;
}

bool SaveActionTable(const std::string& folder, ActionFamily f, const ActionTable& rows,
                     const LevelNames& levels) {
  if (folder.empty()) return false;
  Profile file(ResolveNoCase(folder, ActionFamilyOf(f).file));
  WriteActionTable(file, f, rows, levels);
  return file.save();
}

}  // namespace lark
