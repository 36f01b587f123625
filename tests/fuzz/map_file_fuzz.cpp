// Map files from disk: the new-format loader (Profile keys plus the
// case-sensitive line scanner) and the old Version1-4 readers. A loaded tree
// must write out and load back without trouble.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "core/event_log_sink.h"
#include "core/legacy_maps.h"
#include "core/map_file.h"
#include "core/tree_dump.h"

namespace {

class NullLog final : public lark::EventLogSink {
 public:
  void WriteEventLog(int32_t, uint32_t, int32_t, std::string_view) override {}
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  NullLog log;
  lark::MapStoreHooks hooks;
  {
    lark::DeviceTree tree;
    lark::LoadMapText(text, tree, hooks, log);
    std::string saved = lark::BuildMapText(tree.root());
    lark::BuildTreeMapText(tree.root());
    lark::DeviceTree again;
    lark::LoadMapText(saved, again, hooks, log);
  }
  int version = lark::OldMapVersion(text);
  for (int v = 1; v <= 4; ++v) {
    if (version != 0 && v != version) continue;
    lark::DeviceTree tree;
    lark::ReadOldMapText(v, text, tree, hooks, log);
    lark::BuildMapText(tree.root());
  }
  return 0;
}
