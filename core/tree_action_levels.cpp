#include "core/tree_action_levels.h"

namespace lark {

uint8_t ActionTablesLevelSource::ActionRowLevel(std::string_view family, int row) const {
  for (const ActionFamilyInfo& info : kActionFamilies) {
    if (info.word != family) continue;
    const ActionTable& t = tables_.table(info.family);
    if (row < 0 || static_cast<size_t>(row) >= t.size()) return kAlarmNone;
    const uint8_t level = t[static_cast<size_t>(row)].level();
    return level > kAlarmNone ? uint8_t{kAlarmNone} : level;
  }
  return kAlarmNone;
}

}  // namespace lark
