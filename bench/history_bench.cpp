// One history walk over 1000 simulated devices of every family into a temp
// folder, against a plain peer measured in the same run: the same lines
// appended to the same files by an open/write/close loop. Prints the median
// walk time as a fraction of a 60 s period for both, and their ratio.
//
//   history_bench [--devices N] [--walks W]
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "core/device_tree.h"
#include "core/event_log_sink.h"
#include "core/history_family.h"
#include "platform/clock.h"
#include "platform/paths.h"
#include "records/history_recorder.h"

namespace {

using Steady = std::chrono::steady_clock;

struct NullLog final : lark::EventLogSink {
  void WriteEventLog(int32_t, uint32_t, int32_t, std::string_view) override {}
};

struct Family {
  uint8_t kind;
  int16_t comm;
  uint8_t mib;
};
constexpr Family kFamilies[] = {
    {lark::kNodeSerial, lark::kCommAscii, 0},
    {lark::kNodeSerial, lark::kCommThreePhase, 0},
    {lark::kNodeSerial, lark::kCommModbusUps, 0},
    {lark::kNodeSerial, lark::kCommModbusTrv5200, 0},
    {lark::kNodeSerial, lark::kCommModbus9315, 0},
    {lark::kNodeSerial, lark::kCommInverter, 0},
    {lark::kNodeSerial, lark::kCommSensor, 0},
    {lark::kNodeSerial, lark::kCommMeter, 0},
    {lark::kNodeSerial, lark::kCommMeterSum, 0},
    {lark::kNodeSnmp, 0, lark::kMibMakerUps},
    {lark::kNodeSnmp, 0, lark::kMibInverter},
    {lark::kNodeSnmp, 0, lark::kMibSensor},
    {lark::kNodeGprs, 0, 0},
};

// Devices in groups of 100 under the root, families in turn, values filled.
void BuildTree(lark::DeviceTree& tree, int devices) {
  lark::Tree_ResetRoot(tree);
  lark::DeviceTree::StructuralEdit edit(tree);
  lark::DeviceNode* group = nullptr;
  for (int i = 0; i < devices; ++i) {
    if (i % 100 == 0) {
      tree.setCurrentParent(tree.root());
      group = lark::Tree_CreateNode(tree, lark::kNodeGroup, "");
      tree.setCurrentParent(*group);
    }
    const Family& f = kFamilies[static_cast<size_t>(i) % std::size(kFamilies)];
    lark::DeviceNode* n = lark::Tree_CreateNode(tree, f.kind, "10.0.0.1");
    if (n == nullptr) continue;
    n->setCommType(f.comm);
    n->setMibType(f.mib);
    const lark::HistoryLayout l = lark::HistoryLayoutOf(f.kind, f.comm, f.mib);
    if (lark::LiveDataBlock* b = n->block(l.source)) {
      for (int s = 0; s < b->slotCount(); ++s) b->setSlot(s, 100 + s + i);
    }
  }
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

// The last line of each month file, as the recorder just wrote it.
std::vector<std::pair<std::string, std::string>> LastLines(const std::string& root) {
  std::vector<std::pair<std::string, std::string>> out;
  for (const auto& e : std::filesystem::recursive_directory_iterator(root)) {
    const std::string name = e.path().filename().string();
    if (!e.is_regular_file() || name.rfind("Acc", 0) == 0) continue;
    std::string text = lark::ReadFile(e.path().string()).value_or("");
    if (text.size() < 2) continue;
    const size_t start = text.rfind("\r\n", text.size() - 3);
    out.emplace_back(e.path().string(), text.substr(start == std::string::npos ? 0 : start + 2));
  }
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  int devices = 1000, walks = 15;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (!strcmp(argv[i], "--devices")) devices = atoi(argv[i + 1]);
    if (!strcmp(argv[i], "--walks")) walks = atoi(argv[i + 1]);
  }
  char tmpl[] = "/tmp/history_bench_XXXXXX";
  const std::string dir = mkdtemp(tmpl);

  lark::DeviceTree tree;
  BuildTree(tree, devices);
  lark::FakeClock clock;
  NullLog log;
  lark::HistoryDatabase db;
  lark::HistoryRecorder recorder(tree, clock, log, db);
  recorder.publish(lark::HistorySettings{60, 12, dir, "Bench", false});

  std::vector<double> walkMs, peerMs;
  for (int w = 0; w < walks; ++w) {
    const lark::WallTime now{2024, 3, 3, 0, 14, w % 60, 0, 0};
    auto t0 = Steady::now();
    recorder.RecordHistoryTree(now);
    walkMs.push_back(std::chrono::duration<double, std::milli>(Steady::now() - t0).count());

    const auto lines = LastLines(dir + "/Bench");
    t0 = Steady::now();
    for (const auto& [path, line] : lines) {
      int fd = open(path.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
      if (fd < 0) continue;
      if (write(fd, line.data(), line.size()) < 0) perror("write");
      close(fd);
    }
    peerMs.push_back(std::chrono::duration<double, std::milli>(Steady::now() - t0).count());
  }
  const double walk = Median(walkMs), peer = Median(peerMs);
  printf("history walk, %d devices: %.3f ms = %.6f of a 60 s period\n", devices, walk,
         walk / 60000.0);
  printf("plain append peer, same lines: %.3f ms = %.6f of a 60 s period\n", peer, peer / 60000.0);
  printf("ratio walk / peer: %.2f\n", peer > 0 ? walk / peer : 0.0);
  std::filesystem::remove_all(dir);
  return 0;
}
