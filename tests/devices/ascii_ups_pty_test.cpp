// The ASCII engine on a real pseudo-terminal against the UPS simulator: two
// units on one port are identified and polled, a dead simulator makes them
// lost, a new one brings them back.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <mutex>
#include <thread>

#include "devices/ascii_live_data.h"
#include "devices/ascii_ups.h"
#include "devices/ascii_ups_samples.h"
#include "devices/port_table.h"
#include "tests/support/peer_process.h"
#include "tests/support/temp_dir.h"
#include "tests/support/wait.h"

namespace lark {
namespace {

template <class F>
bool WaitFor(F done, int seconds = 60) {
  return test::Eventually(done, seconds * 1000);
}

// Runs the simulator on an inherited pty master, so the line outlives it;
// awaited until it has thrown away what was written before it ran.
void StartSimulator(test::PeerProcess& sim, int master, const std::vector<std::string>& extra) {
  std::vector<std::string> args = {test::BuiltProgram("tools/ups_sim"), "--fd", "3"};
  args.insert(args.end(), extra.begin(), extra.end());
  ASSERT_TRUE(sim.start(args, 60, master));
}

// Runs the simulator on a pty of its own, linked as COMn in `dir`; awaited
// until the link is there and the line is its own.
void StartLinkedSimulator(test::PeerProcess& sim, const std::string& dir, std::vector<std::string> args) {
  args.insert(args.begin(), {test::BuiltProgram("tools/ups_sim"), "--pty-dir", dir});
  ASSERT_TRUE(sim.start(args, 60));
}

// A serial ASCII UPS node ready for the port table.
void MakeAsciiUps(DeviceNode& ups, const char* com, int16_t upsId, uint16_t baud) {
  ups.setNodeKind(kNodeSerial);
  ups.setCom(com);
  ups.setUpsId(upsId);
  ups.setCommType(kCommAscii);
  ups.setBaud(baud);
  AllocateNodeBlocks(ups);
}

TEST(AsciiUpsPty, TwoUnitsThroughLossAndBack) {
  test::TempDir dir;
  int master = -1, slave = -1;
  char name[256];
  ASSERT_EQ(openpty(&master, &slave, name, nullptr, nullptr), 0);
  ASSERT_EQ(symlink(name, dir.file("COM1").c_str()), 0);

  std::mutex mu;
  std::vector<std::string> logs;
  SerialLogFn log = [&](std::string_view s) {
    std::lock_guard<std::mutex> g(mu);
    logs.emplace_back(s);
  };
  auto identifiedCount = [&] {
    std::lock_guard<std::mutex> g(mu);
    int n = 0;
    for (auto& l : logs) n += l.find("identified") != std::string::npos;
    return n;
  };

  TermiosPortOpener opener(ComPortResolver{{}, dir.path()}, log, /*settleMs=*/0);
  UpsEventLogBuffer eventLog;
  AsciiUpsEngine engine(eventLog, log);
  PortTable table(opener, nullptr, log, SerialPollConfig{20, 200});
  table.setEngine(kCommAscii, &engine);
  DeviceNode units[2];
  for (int i = 0; i < 2; ++i) {
    units[i].setId(static_cast<int16_t>(i + 1));
    MakeAsciiUps(units[i], "COM1", static_cast<int16_t>(i + 1), 2400);
    ASSERT_TRUE(table.AttachPortDevice(units[i], false));
  }
  auto block = [&](int i) { return units[i].block(BlockKind::kAscii); };
  auto lost = [&](int i) { return (block(i)->mask(MaskWord::kCurrent) >> kLinkLostBit) & 1u; };
  auto polled = [&] {
    for (int i = 0; i < 2; ++i) {
      if (units[i].linkStatus() != kLinkIdentified || lost(i)) return false;
      if (block(i)->slot(43) != AsciiSampleInputVoltage(i + 1)) return false;
    }
    return true;
  };

  test::PeerProcess sim;
  ASSERT_NO_FATAL_FAILURE(StartSimulator(sim, master, {"--ups", "1", "--ups", "2", "--checksum"}));
  table.start();
  EXPECT_TRUE(WaitFor(polled));
  EXPECT_EQ(identifiedCount(), 2);
  EXPECT_EQ(block(0)->text(ascii_off::kModel, ascii_off::kModelSize), "LK3000");
  EXPECT_EQ(block(1)->text(ascii_off::kSerialNumber, ascii_off::kSerialNumberSize), "LK0000001-2");
  EXPECT_EQ(block(0)->u16(ascii_off::kChecksumFlag), 1);

  // A dead simulator: the units time out until the sixth time-out marks them.
  sim.stop();
  EXPECT_TRUE(WaitFor([&] { return lost(0) && lost(1); }));
  EXPECT_EQ(block(0)->u8(ascii_off::kLostCounter), kAsciiLostLimit);
  EXPECT_TRUE(table.isPortOpen(1));

  // The alarm scan reports the loss; a new simulator answers again.
  table.PauseSerialThreads();
  for (int i = 0; i < 2; ++i)
    block(i)->setMaskBits(MaskWord::kReported, uint64_t{1} << kLinkLostBit);
  table.ResumeSerialThreads();
  ASSERT_NO_FATAL_FAILURE(StartSimulator(sim, master, {"--ups", "1", "--ups", "2", "--checksum"}));
  EXPECT_TRUE(WaitFor([&] { return polled() && identifiedCount() >= 4; }));

  table.StopSerialThreads();
  sim.stop();
  close(slave);
  close(master);
}

// The simulator's own pseudo-terminal through the link folder, with the
// scripted faults on the way: the engine keeps polling through them.
TEST(AsciiUpsPty, SimulatorLinkAndFaults) {
  test::TempDir dir;
  test::PeerProcess sim;
  ASSERT_NO_FATAL_FAILURE(StartLinkedSimulator(
      sim, dir.path(), {"--com", "7", "--ups", "5", "--fault", "garbage:15:3", "--fault", "split:20:3",
                        "--fault", "wrongaddr:25", "--fault", "silence:27", "--alarm-cycle", "8"}));

  TermiosPortOpener opener(ComPortResolver{{}, dir.path()}, nullptr, 0);
  UpsEventLogBuffer eventLog;
  AsciiUpsEngine engine(eventLog, nullptr);
  PortTable table(opener, nullptr, nullptr, SerialPollConfig{20, 200});
  table.setEngine(kCommAscii, &engine);
  DeviceNode ups;
  MakeAsciiUps(ups, "COM7", 5, 9600);
  table.AttachPortDevice(ups, false);
  table.start();
  auto* blk = ups.block(BlockKind::kAscii);
  // The alarm that comes and goes is seen rising and falling.
  EXPECT_TRUE(WaitFor([&] { return (blk->mask(MaskWord::kCurrent) & 1u) != 0; }));
  EXPECT_TRUE(WaitFor([&] { return (blk->mask(MaskWord::kCurrent) & 1u) == 0; }));
  EXPECT_EQ(ups.linkStatus(), kLinkIdentified);
  EXPECT_EQ(blk->slot(43), AsciiSampleInputVoltage(5));
  EXPECT_FALSE((blk->mask(MaskWord::kCurrent) >> kLinkLostBit) & 1u);
  table.StopSerialThreads();
}

// An unplugged adapter takes its COM1 link with it: the port waits for the
// link to return, never turning to the host's own /dev/ttyS0.
TEST(AsciiUpsPty, RemovedLinkIsWaitedFor) {
  test::TempDir dir;
  test::PeerProcess sim;
  auto startLinked = [&] { StartLinkedSimulator(sim, dir.path(), {"--com", "1", "--ups", "1"}); };
  ASSERT_NO_FATAL_FAILURE(startLinked());

  std::mutex mu;
  std::vector<std::string> logs;
  SerialLogFn log = [&](std::string_view s) {
    std::lock_guard<std::mutex> g(mu);
    logs.emplace_back(s);
  };
  TermiosPortOpener opener(ComPortResolver{{}, dir.path()}, log, 0);
  UpsEventLogBuffer eventLog;
  AsciiUpsEngine engine(eventLog, nullptr);
  PortTable table(opener, nullptr, log, SerialPollConfig{20, 200});
  table.setEngine(kCommAscii, &engine);
  DeviceNode ups;
  MakeAsciiUps(ups, "COM1", 1, 9600);
  table.AttachPortDevice(ups, false);
  table.start();
  auto* blk = ups.block(BlockKind::kAscii);
  auto polled = [&] { return blk->slot(43) == AsciiSampleInputVoltage(1); };
  EXPECT_TRUE(WaitFor(polled));

  sim.stop();
  ASSERT_EQ(unlink(dir.file("COM1").c_str()), 0);
  EXPECT_TRUE(WaitFor([&] { return !table.isPortOpen(1); }, 20));
  // A reopen pass has found the link gone.
  EXPECT_TRUE(WaitFor([&] {
    std::lock_guard<std::mutex> g(mu);
    return std::any_of(logs.begin(), logs.end(),
                       [](const std::string& l) { return l.rfind("COM1: cannot open", 0) == 0; });
  }, 20));
  table.PauseSerialThreads();
  blk->setSlot(43, -1);
  table.ResumeSerialThreads();
  ASSERT_NO_FATAL_FAILURE(startLinked());
  EXPECT_TRUE(WaitFor(polled, 10)) << "polled again once the link is back";
  table.StopSerialThreads();
  sim.stop();
  std::lock_guard<std::mutex> g(mu);
  for (const std::string& line : logs) EXPECT_EQ(line.find("/dev/ttyS"), std::string::npos) << line;
}

}  // namespace
}  // namespace lark
