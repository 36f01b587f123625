// The demo installation with its three-phase UPS: the simulator ups3_sim on
// COM2 behind the built Larkcore. The UPS is identified (its model text
// reaches a console), a dry-contact setting (command 28 sub 1) reaches the
// simulator as its control frame, its event log is read out through command
// 11 sub 6, and a dead simulator makes it lost until a new one answers.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "common/bytes.h"
#include "devices/binary/binary_live_data.h"
#include "linkserver/link_frame.h"
#include "platform/paths.h"
#include "tests/support/link_test_client.h"
#include "tests/support/netns.h"
#include "tests/support/service_process.h"
#include "tests/support/temp_dir.h"
#include "tests/support/wait.h"

namespace lark {
namespace {

namespace fs = std::filesystem;
using V = std::vector<uint8_t>;
using test::Eventually;

constexpr int kThreePhaseNode = 13;  // the demo map's three-phase UPS, COM2 address 1

pid_t StartSimulator(const std::string& ports, const std::string& controlLog) {
  const std::string sim = test::BuiltProgram("tools/ups3_sim");
  pid_t pid = fork();
  if (pid == 0) {
    execl(sim.c_str(), sim.c_str(), "--pty-dir", ports.c_str(), "--com", "2", "--ups", "1",
          "--events", "100", "--control-log", controlLog.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  return pid;
}

void StopSimulator(pid_t pid) {
  kill(pid, SIGKILL);
  waitpid(pid, nullptr, 0);
}

TEST(ThreePhaseEndToEnd, DemoUpsPolledControlledReadOutLostAndBack) {
  if (!test::EnterPrivateNetwork()) GTEST_SKIP() << "no private network namespace here";
  test::TempDir dir;
  fs::copy(test::SourcePath("data"), dir.path(), fs::copy_options::recursive);
  ASSERT_TRUE(MakeDirs(dir.file("ports")));
  const std::string controlLog = dir.file("control.log");
  pid_t sim = StartSimulator(dir.file("ports"), controlLog);
  ASSERT_TRUE(Eventually([&] { return FileExists(dir.file("ports/COM2")); }, 20000));

  test::ServiceProcess service(dir.path());
  ASSERT_TRUE(service.start());
  ASSERT_TRUE(service.waitForOutput("running on", 30000)) << service.output();
  test::LinkTestClient console(8900);
  ASSERT_TRUE(console.connected());
  auto block = [&] {
    auto r = console.request(6, {1, 0, kThreePhaseNode, 0, 0});
    return r && r->size() == 9 + kBinaryLiveDataSize ? V(r->begin() + 9, r->end()) : V{};
  };
  auto lost = [&] {
    V b = block();
    return !b.empty() && ((u64At(b, bin_off::kCurrentMask) >> 13) & 1u) != 0;
  };
  ASSERT_TRUE(Eventually(
      [&] {
        V b = block();
        return !b.empty() && strAt(b, bin_off::kModel, bin_off::kModelSize) == "TP3-30K";
      },
      30000))
      << service.output();

  // Dry contacts 1..6: 01, the address, 0D 15, twelve value bytes, the sum.
  V settings(152, 0);
  putI16(settings, 0, kThreePhaseNode);
  putU32(settings, 112, 1);
  for (int i = 0; i < 6; ++i) putU32(settings, 116 + 4 * size_t(i), uint32_t(i + 1));
  V data{1};
  data.insert(data.end(), settings.begin(), settings.end());
  auto reply = console.request(28, data);
  ASSERT_TRUE(reply);
  EXPECT_EQ((*reply)[5], LinkSuccessCode(28));
  EXPECT_TRUE(Eventually([&] { return !ReadFile(controlLog).value_or("").empty(); }, 20000));
  EXPECT_EQ(ReadFile(controlLog).value_or(""),
            "01 01 0D 15 01 00 02 00 03 00 04 00 05 00 06 00 39 taken\n");

  // The UPS's own event log: 100 records in five blocks.
  auto readOut = [&](uint32_t op) {
    V rec(20, 0);
    putU32(rec, 0, op);
    putI32(rec, 4, kThreePhaseNode);
    V d{6};
    d.insert(d.end(), rec.begin(), rec.end());
    auto r = console.request(11, d);
    return r ? *r : V{};
  };
  const V started = readOut(0);
  ASSERT_GT(started.size(), 5u);
  EXPECT_EQ(started[5], LinkSuccessCode(11));
  V full;
  EXPECT_TRUE(Eventually(
      [&] {
        full = readOut(2);
        return full.size() == 7 + 20 + 4600 && i32At(full, 7 + 12) == 24;
      },
      30000));
  ASSERT_EQ(full.size(), 7u + 20 + 4600);
  EXPECT_EQ(i32At(full, 7 + 16), 100);
  EXPECT_EQ(full[27 + 9 * 99 + 1], 99);  // the last record's number, high byte first

  StopSimulator(sim);
  EXPECT_TRUE(Eventually(lost, 60000)) << service.output();
  sim = StartSimulator(dir.file("ports"), controlLog);
  EXPECT_TRUE(Eventually([&] { return !lost(); }, 60000)) << service.output();
  StopSimulator(sim);
  EXPECT_EQ(service.stop(SIGTERM), 0);
}

}  // namespace
}  // namespace lark
