// Map load time against reading the same file's lines, for maps of 1k, 4k,
// 16k and 32k nodes (32765 is the most ids a map can hold besides the
// root). The map is built through Tree_CreateNode and written by the map
// store, as a console builds one with AddNode. Prints the best of three runs
// of each and their ratio: a load that grows faster than the file shows as
// a growing ratio.
//
// Beside each map, a hostile one of the same size: indexes (up to 65536)
// that all name the root, directly or through ids that wrap onto it
// (65536 * k), and a root section filling the rest. Its load time is printed as a
// ratio to the control's: each refused index costs a lookup, never a re-read
// of the root's section.
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

// The hostile map text of about `bytes` bytes.
// Half the bytes go to indexes (65536 at most), the rest to the root's section.
std::string HostileMap(size_t bytes) {
  std::string indexes;
  int places = 0;
  for (; places < 65536 && indexes.size() < bytes / 2; ++places)
    indexes +=
        "Index" + std::to_string(places) + ".ID=" + std::to_string(65536 * (places % 16)) + "\r\n";
  std::string t = "[Main]\r\nNumber=" + std::to_string(places) + "\r\n" + indexes;
  t += "[ID0]\r\nTitle=Hostile\r\n";
  for (int line = 0; t.size() < bytes; ++line)
    t += "Location=filler line " + std::to_string(line) + "\r\n";
  return t;
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
  std::printf("%8s %10s %12s %12s %8s %12s %14s\n", "nodes", "file KiB", "load ms", "lines ms",
              "ratio", "hostile ms", "hostile/load");
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
    if (!lark::WriteFileAtomic(std::string(dir) + "/Hostile.UMF", HostileMap(bytes))) return 1;
    const double hostileMs = BestMs([&] {
      lark::DeviceTree tree;
      lark::MapStore store(dir, tree, log);
      std::string name = "Hostile.UMF";
      store.OpenMapFile(name);
    });
    std::printf("%8d %10zu %12.1f %12.1f %8.1f %12.1f %14.2f\n", loaded, bytes / 1024, loadMs,
                linesMs, loadMs / linesMs, hostileMs, hostileMs / loadMs);
    if (lines == 0) return 1;
  }
  std::filesystem::remove_all(dir);
  return 0;
}
