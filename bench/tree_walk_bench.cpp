// The service's walks over a large tree, each beside a plain loop over the
// same bytes in the same run (no locks, no decisions):
//  - the alarm scan (every 2 s in the service, every second in a console),
//    with one device in a hundred alarming; the peer reads each device's
//    two masks and its alarm-state arrays;
//  - the device-data rounds of 10 consoles (command 6 sub 4, 500 devices a
//    request, until each round ends); the peer copies each device's id and
//    current mask once per console.
// Prints the thread CPU time of each per pass and the ratios.
//
//   tree_walk_bench [--devices N] [--passes P]
#include <time.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "bench/bench_tree.h"
#include "common/byte_writer.h"
#include "core/device_tree.h"
#include "core/event_log_sink.h"
#include "core/settings.h"
#include "linkserver/link_replies.h"
#include "platform/clock.h"
#include "records/alarm_detector.h"
#include "records/outgoing_messages.h"

namespace {

using namespace lark;

double CpuSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

template <class F>
double BestCpu(int passes, F&& f) {
  double best = 1e18;
  for (int i = 0; i < passes; ++i) {
    const double start = CpuSeconds();
    f();
    best = std::min(best, CpuSeconds() - start);
  }
  return best;
}

struct NullLog final : EventLogSink {
  void WriteEventLog(int32_t, uint32_t, int32_t, std::string_view) override {}
};

}  // namespace

int main(int argc, char** argv) {
  int devices = 10000, passes = 5;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (!std::strcmp(argv[i], "--devices")) devices = std::atoi(argv[i + 1]);
    if (!std::strcmp(argv[i], "--passes")) passes = std::atoi(argv[i + 1]);
  }
  DeviceTree tree;
  const std::vector<DeviceNode*> nodes = bench::BuildDeviceTree(tree, devices);
  for (size_t i = 0; i < nodes.size(); i += 100) {
    if (LiveDataBlock* b = PrimaryBlock(*nodes[i])) b->setMaskBits(MaskWord::kCurrent, 1);
  }

  ServiceSettings settings;
  ActionTables tables;
  OutgoingMessages outgoing;
  NullLog log;
  FakeClock clock;
  AlarmDetector detector(settings, tables, outgoing, log, clock, AlarmReactionSinks{});
  detector.scan(tree.root());  // the alarming devices settle
  const double scan = BestCpu(passes, [&] {
    clock.advance(2000);
    detector.scan(tree.root());
  });
  uint64_t sink = 0;
  const double scanPeer = BestCpu(passes, [&] {
    for (DeviceNode* n : nodes) {
      const LiveDataBlock* b = PrimaryBlock(*n);
      sink += b->mask(MaskWord::kReported) ^ b->mask(MaskWord::kCurrent);
      const CBytes img = n->rawImage().subspan(kAlarmStatesOff, kAlarmStatesSize);
      for (uint8_t v : img) sink += v;
    }
  });

  // A round of N devices, 500 a request: N / 500 requests, then one that
  // finds fewer than asked and ends it.
  std::vector<uint8_t> buffer(64 * 1024);
  const int requests = static_cast<int>(nodes.size()) / 500 + 1;
  const double rounds = BestCpu(passes, [&] {
    for (int slot = 0; slot < 10; ++slot) {
      for (int k = 0; k < requests; ++k) {
        ByteWriter out{Bytes(buffer.data(), buffer.size())};
        PutDeviceData(tree, tree.root(), 4, 500,
                      StatusChannels{LongChannelOf(slot), ShortChannelOf(slot)}, out);
        sink += out.size();
      }
    }
  });
  const double roundsPeer = BestCpu(passes, [&] {
    for (int slot = 0; slot < 10; ++slot) {
      size_t at = 0;
      for (DeviceNode* n : nodes) {
        if (at + 10 > buffer.size()) at = 0;
        putU16(Bytes(buffer.data(), buffer.size()), at, n->idU16());
        putU64(Bytes(buffer.data(), buffer.size()), at + 2,
               PrimaryBlock(*n)->mask(MaskWord::kCurrent));
        at += 10;
      }
      sink += at;
    }
  });

  std::printf("devices %zu, best of %d passes (thread CPU)\n", nodes.size(), passes);
  std::printf("alarm scan:            %8.3f ms   plain loop %8.3f ms   ratio %.2f\n", scan * 1e3,
              scanPeer * 1e3, scan / scanPeer);
  std::printf("10 consoles' rounds:   %8.3f ms   plain loop %8.3f ms   ratio %.2f\n", rounds * 1e3,
              roundsPeer * 1e3, rounds / roundsPeer);
  std::printf("(checksum %llu)\n", static_cast<unsigned long long>(sink & 0xff));
  return 0;
}
