// The console shows the map the service holds as current: its copy in
// Monitor/ becomes the tree, the title names it, the map and both lists are
// drawn anew and the map counts as unchanged.
#pragma once
#include <string>

namespace lark {

class ConsoleContext;

// "Gridwarden Manager-<name>", or the bare title without a name.
std::string MainTitleFor(const std::string& mapName);
void ShowCurrentConfiguration(ConsoleContext& ctx, const std::string& mapName);

}  // namespace lark
