// The PLC master on real pseudo-terminals, driven by poll thread A: against
// pymodbus as a Modbus ASCII slave on a socat pair, and against plc_sim with
// each of its faults.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "devices/ascii_live_data.h"
#include "devices/plc/plc_engine.h"
#include "devices/port_table.h"
#include "tests/support/child_process.h"
#include "tests/support/temp_dir.h"
#include "tests/support/wait.h"

namespace lark {
namespace {

template <class F>
bool WaitFor(F done, int seconds = 30) {
  return test::Eventually(done, seconds * 1000);
}

// One PLC at address 1 on COM1 of `dir`, polled by thread A every 50 ms with
// a 500 ms reply time-out (ten polls per time-out round).
struct PlcLine {
  explicit PlcLine(const std::string& dir, int16_t points = 16)
      : opener(ComPortResolver{{}, dir}, nullptr, 0),
        engine(nullptr),
        table(opener, nullptr, nullptr, SerialPollConfig{50, 500}) {
    node.setNodeKind(kNodeSerial);
    node.setCom("COM1");
    node.setUpsId(1);
    node.setCommType(kCommPlc);
    node.setPlcPointNum(points);
    node.setBaud(9600);
    AllocateNodeBlocks(node);
    table.setEngine(kCommPlc, &engine);
    table.AttachPortDevice(node, false);
  }
  ~PlcLine() {
    table.StopSerialThreads();
    table.DetachPortDevice(node, false);
  }
  int32_t slot(int i) { return node.block(BlockKind::kAscii)->slot(i); }
  bool lost() { return node.block(BlockKind::kAscii)->mask(MaskWord::kCurrent) & 1; }

  TermiosPortOpener opener;
  ModbusAsciiPlcEngine engine;
  PortTable table;
  DeviceNode node;
};

TEST(PlcPty, AgainstPymodbus) {
  test::TempDir dir;
  const std::string a = dir.file("pty-a"), b = dir.file("pty-b"), control = dir.file("points");
  std::ofstream(control) << "18 52 165 15\n";
  pid_t socat = test::SpawnChild({"/usr/bin/socat", "pty,raw,echo=0,link=" + a, "pty,raw,echo=0,link=" + b});
  ASSERT_TRUE(WaitFor([&] { return access(a.c_str(), F_OK) == 0 && access(b.c_str(), F_OK) == 0; }, 10));
  ASSERT_EQ(symlink(a.c_str(), dir.file("COM1").c_str()), 0);
  const std::string peer = std::string(LARK_SOURCE_DIR) + "/tests/peers/modbus_ascii_plc.py";
  pid_t slave = test::SpawnChild({"/usr/bin/python3", peer, b, "1", control});

  PlcLine line(dir.path());
  line.table.start();
  // The first request may go out before the slave listens: wait for both ranges.
  EXPECT_TRUE(WaitFor([&] { return line.slot(0) == 18 && line.slot(20) == 165; }));
  EXPECT_EQ(line.slot(1), 52);
  EXPECT_EQ(line.slot(21), 15);
  EXPECT_EQ(line.slot(2), -1);

  std::ofstream(control) << "19 52 165 15\n";  // point 0 of the inputs comes on
  EXPECT_TRUE(WaitFor([&] { return line.slot(0) == 19; }, 5));

  test::StopChild(slave, SIGKILL);  // four time-out rounds of ten polls: about 2 s
  EXPECT_TRUE(WaitFor([&] { return line.lost(); }, 20));
  EXPECT_EQ(line.slot(0), 19);  // the last bytes stay
  slave = test::SpawnChild({"/usr/bin/python3", peer, b, "1", control});
  EXPECT_TRUE(WaitFor([&] { return !line.lost(); }, 20));
  test::StopChild(slave, SIGKILL);
  test::StopChild(socat, SIGKILL);
}

TEST(PlcPty, SimulatorFaults) {
  struct Case {
    const char* fault;
    bool stored;  // the answers are good for all that
  };
  const Case cases[] = {{"silence", false},   {"badlrc", false},     {"nonhex", false},
                        {"wrongaddr", false}, {"exception", false},  {"wrongcount", false},
                        {"garbage", false},   {"split", true},       {"lower", true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.fault);
    test::TempDir dir;
    pid_t sim = test::SpawnChild({test::BuiltProgram("tools/plc_sim"), "--pty-dir", dir.path(), "--com", "1",
                       "--plc", "1", "--fault", std::string(c.fault) + ":1:0"});
    ASSERT_TRUE(WaitFor([&] { return access(dir.file("COM1").c_str(), F_OK) == 0; }, 10));
    PlcLine line(dir.path());
    line.node.block(BlockKind::kAscii)->setMaskBits(MaskWord::kCurrent, 1);
    line.table.start();
    if (c.stored) {
      // Input byte i of module 1 is 16 + i; the outputs are their complement.
      EXPECT_TRUE(WaitFor([&] { return line.slot(0) == 16 && line.slot(21) == 0xEE; }, 10));
      EXPECT_FALSE(line.lost());
    } else {
      // Lost after its time-outs, with nothing taken from the faulty answers.
      EXPECT_TRUE(WaitFor([&] { return line.lost(); }, 10));
      EXPECT_EQ(line.slot(0), -1);
      EXPECT_EQ(line.slot(20), -1);
    }
    line.table.StopSerialThreads();
    test::StopChild(sim, SIGKILL);
  }
}

}  // namespace
}  // namespace lark
