// Map load time against reading the same file's lines, for maps of 1k, 4k,
// 16k and 32k nodes (32765 is the most ids a map can hold besides the
// root). The map is built through Tree_CreateNode and written by the map
// store, as a console builds one with AddNode. Prints the best of three runs
// of each and their ratio: a load that grows faster than the file shows as
// a growing ratio.
//
//   map_load_bench [--nodes N]...
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "core/device_tree.h"
#include "core/event_log_sink.h"
#include "core/map_file.h"
#include "core/settings.h"
#include "platform/paths.h"

namespace {

using Clock = std::chrono::steady_clock;

struct NullLog final : lark::EventLogSink {
  void WriteEventLog(int32_t, uint32_t, int32_t, std::string_view) override {}
};

// Groups of 200 devices under the root, half SNMP and half serial.
void BuildTree(lark::DeviceTree& tree, int nodes) {
  lark::DeviceNode* group = nullptr;
  for (int made = 1; made < nodes; ++made) {
    if (group == nullptr || group->childCount() >= 200) {
      tree.setCurrentParent(tree.root());
      group = lark::Tree_CreateNode(tree, lark::kNodeGroup, "");
      tree.setCurrentParent(*group);
      continue;
    }
    const bool snmp = made % 2 == 0;
    lark::DeviceNode* n =
        lark::Tree_CreateNode(tree, snmp ? lark::kNodeSnmp : lark::kNodeSerial, "10.0.0.1");
    if (n == nullptr) break;
    n->setTitle("Device " + std::to_string(n->id()));
    if (!snmp) n->setCom("COM1");
  }
}

template <class F>
double BestMs(F f) {
  double best = 1e18;
  for (int i = 0; i < 3; ++i) {
    const auto start = Clock::now();
    f();
    best = std::min(best, std::chrono::duration<double, std::milli>(Clock::now() - start).count());
  }
  return best;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<int> sizes;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], "--nodes") == 0) sizes.push_back(std::atoi(argv[i + 1]));
  }
  if (sizes.empty()) sizes = {1000, 4000, 16000, 32766};
  char dirTemplate[] = "/tmp/map_load_bench-XXXXXX";
  const char* dir = mkdtemp(dirTemplate);
  if (dir == nullptr) return 1;
  NullLog log;
  std::printf("%8s %10s %12s %12s %8s\n", "nodes", "file KiB", "load ms", "lines ms", "ratio");
  for (int size : sizes) {
    std::string path;
    {
      lark::DeviceTree tree;
      BuildTree(tree, size);
      lark::MapStore store(dir, tree, log);
      store.setCurrentMapName("Bench");
      if (!store.SaveMapFile()) return 1;
      path = store.currentMapPath();
    }
    const size_t bytes = lark::ReadFile(path).value_or("").size();
    int loaded = 0;
    const double loadMs = BestMs([&] {
      lark::DeviceTree tree;
      lark::MapStore store(dir, tree, log);
      std::string name = "Bench.UMF";
      store.OpenMapFile(name);
      loaded = lark::CountDevices(tree.root()) + lark::CountGroups(tree.root());
    });
    size_t lines = 0;
    const double linesMs = BestMs([&] {
      std::optional<std::string> text = lark::ReadFile(path);
      lines = lark::SplitTextLines(text.value_or("")).size();
    });
    std::printf("%8d %10zu %12.1f %12.1f %8.1f\n", loaded, bytes / 1024, loadMs, linesMs,
                loadMs / linesMs);
    if (lines == 0) return 1;
  }
  std::filesystem::remove_all(dir);
  return 0;
}
