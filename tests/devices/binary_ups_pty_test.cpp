// The three-phase engine on a real pseudo-terminal against the three-phase
// simulator: two units (eight and four status types) identified and polled,
// a dead simulator makes them lost, a new one brings them back; control
// frames reach the simulator's log; the event log is read out in blocks.
#include <gtest/gtest.h>
#include <pty.h>
#include <unistd.h>

#include <fstream>

#include "devices/binary/binary_live_data.h"
#include "devices/binary/binary_ups.h"
#include "devices/port_table.h"
#include "tests/support/peer_process.h"
#include "tests/support/temp_dir.h"
#include "tests/support/wait.h"

namespace lark {
namespace {

// The simulator on the test's end of the line, awaited until it has thrown
// away what was written before it ran: a request sent earlier would be lost
// and its unit taken as identified without a model.
void StartSimulator(test::PeerProcess& sim, int master, const std::vector<std::string>& extra) {
  std::vector<std::string> args = {test::BuiltProgram("tools/ups3_sim"), "--fd", "3"};
  args.insert(args.end(), extra.begin(), extra.end());
  ASSERT_TRUE(sim.start(args, 60, master));
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(BinaryUpsPty, TwoUnitsThroughLossAndBackWithControlFrames) {
  test::TempDir dir;
  int master = -1, slave = -1;
  char name[256];
  ASSERT_EQ(openpty(&master, &slave, name, nullptr, nullptr), 0);
  ASSERT_EQ(symlink(name, dir.file("COM2").c_str()), 0);
  const std::string controlLog = dir.file("control.log");

  TermiosPortOpener opener(ComPortResolver{{}, dir.path()}, nullptr, /*settleMs=*/0);
  UpsEventLogBuffer eventLog;
  BinaryUpsEngine engine(eventLog, nullptr);
  // A generous reply time-out: a block of the event log lost to a slow machine is not asked again.
  PortTable table(opener, nullptr, nullptr, SerialPollConfig{20, 1000});
  table.setEngine(kCommThreePhase, &engine);
  DeviceNode units[2];
  for (int i = 0; i < 2; ++i) {
    units[i].setId(static_cast<int16_t>(i + 1));
    units[i].setNodeKind(kNodeSerial);
    units[i].setCom("COM2");
    units[i].setUpsId(static_cast<int16_t>(i + 1));
    units[i].setCommType(kCommThreePhase);
    units[i].setBaud(9600);
    KeepOnlyCommTypeBlock(units[i]);
    ASSERT_TRUE(table.AttachPortDevice(units[i], false));
  }
  auto block = [&](int i) { return units[i].block(BlockKind::kBinary); };
  auto lost = [&](int i) { return (block(i)->mask(MaskWord::kCurrent) >> 13) & 1u; };
  // Slot 105 comes from type 24, asked only of units with eight types (model
  // byte 2); slot 63 from type 14, asked of both. A unit whose identification
  // reply went astray polls without a model until it is identified again.
  auto polled = [&] {
    return units[0].linkStatus() == kLinkIdentified && units[1].linkStatus() == kLinkIdentified &&
           !lost(0) && !lost(1) && block(0)->u32(bin_off::kModelByte) == 2 &&
           block(1)->u32(bin_off::kModelByte) == 1 && block(0)->slot(105) == 10 &&
           block(1)->slot(63) == 35;
  };
  const std::vector<std::string> simArgs = {"--ups",    "1",       "--ups4",        "2",
                                            "--events", "30",      "--control-log", controlLog,
                                            "--fault",  "short:9", "--fault",       "garbage:12"};
  test::PeerProcess sim;
  ASSERT_NO_FATAL_FAILURE(StartSimulator(sim, master, simArgs));
  table.start();
  EXPECT_TRUE(test::Eventually(polled, 60000));
  EXPECT_EQ(block(1)->slot(105), -1);

  // A settings frame (dry contacts) and the event-log read-out.
  std::vector<uint8_t> contacts = {0x0D, 0x15};
  for (uint8_t v = 1; v <= 12; ++v) contacts.push_back(v);
  const uint8_t ask[2] = {1, 26};
  table.PauseSerialThreads();
  ASSERT_TRUE(BinaryUpsEngine::QueueSerialCommand(units[1], CBytes(contacts)));
  ASSERT_TRUE(BinaryUpsEngine::QueueSerialCommand(units[0], CBytes(ask)));
  table.ResumeSerialThreads();
  EXPECT_TRUE(test::Eventually([&] { return !ReadFile(controlLog).empty(); }, 60000));
  EXPECT_EQ(ReadFile(controlLog), "01 02 0D 15 01 02 03 04 05 06 07 08 09 0A 0B 0C 73 taken\n");
  EXPECT_TRUE(test::Eventually([&] { return block(0)->u16(bin_off::kLogPosition) == 24; }, 60000));
  EXPECT_EQ(block(0)->slot(106), 30);
  EXPECT_EQ(eventLog.copyOut()[9 * 29 + 1], 29);  // the last record's number, from block 2

  sim.stop();
  EXPECT_TRUE(test::Eventually([&] { return lost(0) && lost(1); }, 60000));
  EXPECT_EQ(block(0)->u8(bin_off::kLostCounter), kBinaryLostLimit);

  table.PauseSerialThreads();
  for (int i = 0; i < 2; ++i) block(i)->setMaskBits(MaskWord::kReported, uint64_t{1} << 13);
  table.ResumeSerialThreads();
  ASSERT_NO_FATAL_FAILURE(StartSimulator(sim, master, {"--ups", "1", "--ups4", "2"}));
  EXPECT_TRUE(test::Eventually([&] { return polled() && !lost(0) && !lost(1); }, 60000));

  table.StopSerialThreads();
  sim.stop();
  close(slave);
  close(master);
}

}  // namespace
}  // namespace lark
