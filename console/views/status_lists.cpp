#include "console/views/status_lists.h"

namespace lark {

const std::string& ConsoleStatusTexts::text(StatusList t, size_t i) const {
  static const std::string kEmpty;
  const auto& list = lists[static_cast<int>(t)];
  return i < list.size() && list[i] ? *list[i] : kEmpty;
}

}  // namespace lark
