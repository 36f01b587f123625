// The level bytes of the alarm-action tables as the tree's 2-second walk asks
// for them.
#pragma once
#include <cstdint>
#include <string_view>

#include "core/action_tables.h"
#include "core/device_tree.h"

namespace lark {

class ActionTablesLevelSource final : public ActionLevelSource {
 public:
  // `tables` must outlive this object; a table swap replaces its content.
  explicit ActionTablesLevelSource(const ActionTables& tables) : tables_(tables) {}
  // Level byte of the row; 2 for an unknown family, a row outside the table,
  // or a level byte above 2 (a console may send any byte).
  uint8_t ActionRowLevel(std::string_view family, int row) const override;

 private:
  const ActionTables& tables_;
};

}  // namespace lark
