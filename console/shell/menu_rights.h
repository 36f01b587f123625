// Menu rights: which commands of the three menus are enabled, from the user
// level, the link's phase and whether the service keeps user accounts.
// Stateless: every call recomputes every gated item. Items not listed
// (Exit, About, the moves, Connect To Server, Language, the two data-saving
// items, Sync Images, Export List) are never touched. Add Local and Add
// GPRS leave the main menu and the map pop-up.
#pragma once
#include <cstdint>

namespace lark {

class ConsoleMenus;

enum class RightsRule : uint8_t {
  kR1,  // operator, session started
  kR2,  // operator, session ready
  kR3,  // operator or viewer, session ready
  kR4,  // session ready
  kR5,  // accounts, map list received
  kR6,  // accounts, session ready, someone logged in
  kR7,  // supervisor, session ready
  kR8,  // no accounts, session ready
};

// L: 0 none, 1 supervisor, 2 operator, 3 viewer; P: the link state byte.
bool RuleAllows(RightsRule rule, int level, int phase, bool accountsInUse);

void UpdateMenuRights(ConsoleMenus& menus, int level, int phase, bool accountsInUse);

}  // namespace lark
