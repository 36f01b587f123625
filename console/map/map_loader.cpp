#include "console/map/map_loader.h"

#include "console/link/console_alarms.h"
#include "console/shell/console_context.h"
#include "console/map/map_levels.h"
#include "core/event_log_sink.h"
#include "core/map_file.h"
#include "platform/paths.h"

namespace lark {

void ConsoleInitNode(DeviceTree& tree, DeviceNode& node) {
  node.resetAudioRepeat();
  node.setMibType(kMibUnknown);
  if (node.isGroup()) {
    node.freeAllBlocks();
    return;
  }
  KeepOnlyCommTypeBlock(node);
  switch (node.nodeKind()) {
    case kNodeSnmp:
      tree.endpoints().addSnmpDevice(node);
      return;
    case kNodeGprs:
      if (LiveDataBlock* b = node.block(BlockKind::kGprs)) b->putU16(836, 1970);
      return;
    case kNodeSerial:
      if (node.commType() == kCommPlc) {
        if (LiveDataBlock* b = node.block(BlockKind::kAscii)) {
          b->putText(994, 1011 - 994, "Norva");
          b->putText(1011, 16, "PLC");
        }
      }
      if (auto* ep = dynamic_cast<ConsoleTreeEndpoints*>(&tree.endpoints())) ep->registry.Register(node);
      return;
    default:
      return;
  }
}

ConsoleMapNames MapNamesOf(std::string_view path) {
  if (path.empty()) return {std::string(kMainTitle) + "-Untitled", "Untitled"};
  // Paths from the dialogs may carry either separator.
  const size_t slash = path.find_last_of("/\\");
  const std::string_view file = slash == std::string_view::npos ? path : path.substr(slash + 1);
  const size_t dot = file.rfind('.');
  return {std::string(kMainTitle) + "-" + std::string(file),
          std::string(dot == std::string_view::npos ? file : file.substr(0, dot))};
}

std::optional<std::string> ConsoleMapPath(std::string_view installDir, std::string_view name) {
  if (!IsSafeName(name)) return std::nullopt;
  return ResolveNoCase(ResolveNoCase(installDir, "Monitor"), name);
}

ConsoleMapNames OpenConsoleMap(DeviceTree& tree, const std::string& path,
                               const ActionLevelSource& levels) {
  if (path.empty()) return MapNamesOf(path);
  {
    DeviceTree::StructuralEdit edit(tree);
    Tree_ClearAll(tree);
    tree.setNextNodeId(1);
    if (std::optional<std::string> text = ReadFile(path)) {
      MapStoreHooks hooks;
      hooks.initNode = ConsoleInitNode;
      // The console has no event log: the loader's refusals go to stderr.
      StderrEventLog log;
      LoadMapText(*text, tree, hooks, log);
    }
  }
  UpdateAlarmLevel(tree.root(), levels);
  return MapNamesOf(path);
}

}  // namespace lark
