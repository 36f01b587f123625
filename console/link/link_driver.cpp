#include "console/link/link_driver.h"

#include "core/event_log_sink.h"
#include "core/map_file.h"
#include "platform/paths.h"

namespace lark {

namespace {
class NoEventLog final : public EventLogSink {
 public:
  void WriteEventLog(int32_t, uint32_t, int32_t, std::string_view) override {}
};
}  // namespace

bool ArmLinkTimers(Reactor& r, ServiceLink& link) {
  return r.setTimer(kTimerSecond, 1000, [&link] { link.secondTick(); }) &&
         r.setTimer(kTimerRepaint, 100, [&link] { link.pump(kReplyQueue); }) &&
         r.setTimer(kTimerQueue3, 100, [&link] { link.pump(kRequestQueue); }) &&
         r.setTimer(kTimerQueue5, 500, [&link] { link.pump(kSearchQueue); }) &&
         r.setTimer(kTimerLink, 100, [&link] { link.linkTick(); });
}

void KillLinkTimers(Reactor& r) {
  for (uint32_t id : {kTimerSecond, kTimerRepaint, kTimerQueue3, kTimerQueue5, kTimerLink}) r.killTimer(id);
}

bool LoadDownloadedMap(DeviceTree& tree, const std::string& path) {
  const std::optional<std::string> text = ReadFile(path);
  if (!text) return false;
  NoEventLog log;
  Tree_FreeAll(tree);
  Tree_ResetRoot(tree);
  LoadMapText(*text, tree, {}, log);
  tree.setCurrentParent(tree.root());
  return true;
}

}  // namespace lark
