// The Modbus RTU master against pymodbus slaves of every type on one
// pseudo-terminal line, polled by thread C with short timings.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <map>

#include "core/group_totals.h"
#include "devices/modbus/modbus_frame.h"
#include "devices/modbus/modbus_live_data.h"
#include "devices/modbus/modbus_rtu.h"
#include "devices/port_table.h"
#include "tests/support/modbus_peer.h"
#include "tests/support/temp_dir.h"
#include "tests/support/wait.h"

namespace lark {
namespace {

// Seconds a condition on the line is given.
bool WaitFor(const std::function<bool()>& done, int seconds = 60) {
  return test::Eventually(done, seconds * 1000);
}

TEST(ModbusRtuPty, EveryTypeOnOneLine) {
  test::TempDir dir;
  test::ModbusPeer peer;
  ASSERT_TRUE(
      peer.start(dir.path(), "COM1",
                 {"1:ups3", "2:trv5200", "3:9315", "4:inverter", "5:sensor", "6:meter", "7:ups1"}));
  SystemClock clock;
  TermiosPortOpener opener(ComPortResolver{{}, dir.path()}, nullptr, /*settleMs=*/0);
  ModbusRtuEngine engine(clock, nullptr);
  PortTable table(opener, nullptr, nullptr, SerialPollConfig{20, 200});
  for (int ct : {2, 3, 5, 6, 7, 8}) table.setEngine(static_cast<uint8_t>(ct), &engine);

  DeviceNode root;
  root.setNodeKind(kNodeGroup);
  const int16_t types[] = {kCommModbusUps, kCommModbusTrv5200, kCommModbus9315, kCommInverter,
                           kCommSensor,    kCommMeter,         kCommModbusUps};
  DeviceNode* dev[8] = {};
  for (int bus = 1; bus <= 7; ++bus) {
    auto n = std::make_unique<DeviceNode>();
    n->setId(static_cast<int16_t>(bus));
    n->setNodeKind(kNodeSerial);
    n->setCom("COM1");
    n->setUpsId(static_cast<int16_t>(bus));
    n->setCommType(types[bus - 1]);
    n->setBaud(9600);
    KeepOnlyCommTypeBlock(*n);
    if (types[bus - 1] == kCommSensor) PresetTwoPointSensor(*n->block(BlockKind::kSensor));
    dev[bus] = root.addChild(n);
    ASSERT_TRUE(table.AttachPortDevice(*dev[bus], false));
  }
  auto blk = [&](int bus) { return dev[bus]->block(ModbusBlockKind(dev[bus]->commType())); };
  table.start();

  // Identification and the first values of every type.
  EXPECT_TRUE(WaitFor([&] {
    return dev[1]->linkStatus() == kLinkIdentified && blk(1)->slot(27) == 2300 &&
           blk(2)->slot(56) == 10000 && blk(3)->slot(0) == 230 && blk(4)->slot(16) == 1000 &&
           blk(5)->slot(1) == 50 && blk(6)->slot(1) == 512 && blk(6)->slot(7) == 100 &&
           blk(7)->slot(26) == 2290 && (blk(1)->mask(MaskWord::kCurrent) & (1u << 21)) != 0;
  }));
  EXPECT_EQ(blk(1)->slot(1), -1);                                // register 1026 = 65535
  EXPECT_EQ(blk(1)->slot(4), 23000);                             // register 1029 = 2300
  EXPECT_EQ(blk(1)->mask(MaskWord::kCurrent) & (1u << 19), 0u);  // input 275 on
  EXPECT_EQ(blk(1)->text(mb_off::kMake, 17), "Larkpower");
  EXPECT_EQ(blk(4)->mask(MaskWord::kCurrent), 0x1u);  // register 1023 = 0
  EXPECT_EQ(blk(3)->text(mb_off::kModel, 17), "PowerWare 9315");
  EXPECT_EQ(ReadGroupTotals(root)[0], 1000);

  // No inverter producing: the meter's power and currents read 0, its energy stays.
  ASSERT_TRUE(peer.command("set 4 1052 0"));
  ASSERT_TRUE(peer.command("set 6 1699 9999"));
  EXPECT_TRUE(WaitFor([&] { return blk(6)->slot(7) == 0 && blk(6)->slot(0) == 0; }));
  EXPECT_EQ(blk(6)->slot(8), 0);
  EXPECT_EQ(blk(6)->slot(9), 0);
  EXPECT_EQ(blk(6)->slot(1), 512);

  // Settings writes go out in order and reach the slave.
  table.PauseSerialThreads();
  const std::vector<ModbusPdu> writes = {
      *RegisterWritePdu(0x0312, 56), *RegisterWritePdu(0x0313, 60), *RegisterWritePdu(0x0304, 72),
      *RegisterWritePdu(0x0305, 68)};
  ASSERT_TRUE(ModbusRtuEngine::QueueModbusCommands(*dev[1], writes));
  table.ResumeSerialThreads();
  EXPECT_TRUE(WaitFor([&] { return peer.linesStartingWith("write").size() >= 4; }));
  EXPECT_EQ(peer.linesStartingWith("write"),
            (std::vector<std::string>{"write 1 0x0312 = 56", "write 1 0x0313 = 60",
                                      "write 1 0x0304 = 72", "write 1 0x0305 = 68"}));

  // A bad answer changes nothing; a silenced UPS is lost while the others answer.
  ASSERT_TRUE(peer.command("set 5 0 0"));
  ASSERT_TRUE(peer.command("badcrc 5"));
  ASSERT_TRUE(peer.command("silence 1"));
  EXPECT_TRUE(WaitFor([&] { return (blk(1)->mask(MaskWord::kCurrent) & (1u << 24)) != 0; }));
  EXPECT_EQ(blk(7)->mask(MaskWord::kCurrent) & (1u << 24), 0u);
  EXPECT_EQ(blk(5)->u8(sensor_off::kCurrentMask), 0);
  EXPECT_TRUE(WaitFor([&] { return blk(5)->slot(1) == -500; }));
  table.StopSerialThreads();
}

// The demo's slaves read as devices at work: a UPS on line at 230 V, 50 Hz
// and 40 % load with a full battery, an inverter producing, a sensor at 24
// degrees and 45 %, a meter whose energy counts; the UPS's one alarm comes
// and goes.
TEST(ModbusRtuPty, DemoSlavesReadAsDevicesAtWork) {
  test::TempDir dir;
  test::ModbusPeer peer;
  ASSERT_TRUE(peer.start(dir.path(), "COM1",
                         {"1:demo-ups:2", "4:demo-inverter", "5:demo-sensor", "6:demo-meter"}));
  SystemClock clock;
  TermiosPortOpener opener(ComPortResolver{{}, dir.path()}, nullptr, /*settleMs=*/0);
  ModbusRtuEngine engine(clock, nullptr);
  PortTable table(opener, nullptr, nullptr, SerialPollConfig{20, 200});
  for (int ct : {kCommModbusUps, kCommInverter, kCommSensor, kCommMeter})
    table.setEngine(static_cast<uint8_t>(ct), &engine);
  DeviceNode root;
  root.setNodeKind(kNodeGroup);
  std::map<int, DeviceNode*> dev;
  for (auto [bus, type] :
       {std::pair{1, kCommModbusUps}, {4, kCommInverter}, {5, kCommSensor}, {6, kCommMeter}}) {
    auto n = std::make_unique<DeviceNode>();
    n->setId(static_cast<int16_t>(bus));
    n->setNodeKind(kNodeSerial);
    n->setCom("COM1");
    n->setUpsId(static_cast<int16_t>(bus));
    n->setCommType(static_cast<int16_t>(type));
    n->setBaud(9600);
    KeepOnlyCommTypeBlock(*n);
    if (type == kCommSensor) PresetTwoPointSensor(*n->block(BlockKind::kSensor));
    dev[bus] = root.addChild(n);
    ASSERT_TRUE(table.AttachPortDevice(*dev[bus], false));
  }
  auto blk = [&](int bus) { return dev[bus]->block(ModbusBlockKind(dev[bus]->commType())); };
  table.start();
  // Every value polled: the UPS's output and bypass, the inverter's phases, the
  // sensor's last input, the meter's energy (gated by the inverter's power).
  ASSERT_TRUE(WaitFor([&] {
    return dev[1]->linkStatus() == kLinkIdentified && blk(1)->slot(63) >= 0 &&
           blk(1)->slot(77) >= 0 && blk(4)->slot(22) >= 0 && blk(5)->slot(5) >= 0 &&
           blk(6)->slot(1) > 0 && blk(6)->slot(3) >= 0 && blk(6)->slot(4) >= 0;
  }));
  struct Range {
    int bus, slot, lo, hi;
    const char* what;
  };
  // Measured voltages and frequencies in tenths.
  const Range ranges[] = {
      {1, 0, 220, 240, "UPS nominal output voltage, whole volts"},
      {1, 2, 220, 240, "UPS nominal input voltage, whole volts"},
      {1, 1, 50, 50, "UPS nominal output frequency"},
      {1, 4, 3000, 3000, "UPS rating, VA"},
      {1, 26, 0, 0, "UPS battery condition normal"},
      {1, 27, 0, 0, "UPS battery level OK"},
      {1, 30, 10, 600, "UPS minutes remaining"},
      {1, 35, 100, 100, "UPS battery full"},
      {1, 40, -1, -1, "UPS second battery string (none)"},
      {1, 41, 1, 1, "UPS input phases"},
      {1, 42, 490, 510, "UPS input frequency"},
      {1, 43, 2200, 2400, "UPS input voltage"},
      {1, 57, 0, 0, "UPS output source normal"},
      {1, 58, 490, 510, "UPS output frequency"},
      {1, 59, 1, 1, "UPS output phases"},
      {1, 60, 2200, 2400, "UPS output voltage"},
      {1, 62, 1000, 1500, "UPS output power, W"},
      {1, 63, 40, 40, "UPS load, %"},
      {1, 67, -1, -1, "UPS second phase's load (none)"},
      {1, 77, 2200, 2400, "UPS bypass voltage"},
      {1, 90, 1, 1, "UPS self-test passed"},
      {4, 16, 1000, 3000, "inverter power, W"},
      {4, 21, 3000, 3000, "inverter rating, W"},
      {4, 12, 151, 3000, "inverter slot 12 above its night range"},
      {4, 19, 1, 100000, "inverter energy, kWh"},
      {5, 1, 235, 245, "sensor temperature, tenths of a degree"},
      {5, 2, 450, 450, "sensor humidity, tenths of a percent"},
      {5, 0, 151, 100000, "sensor illumination, above the integration minimum"},
      {6, 4, 2200, 2400, "meter voltage"},
      {6, 3, 50, 50, "meter frequency, Hz"},
      {6, 0, 1, 100000, "meter power"},
  };
  for (const Range& r : ranges) {
    const int32_t v = blk(r.bus)->slot(r.slot);
    EXPECT_TRUE(v >= r.lo && v <= r.hi) << r.what << " (slot " << r.slot << ") = " << v;
  }
  EXPECT_EQ(blk(1)->mask(MaskWord::kCurrent) & ~(uint64_t{1} << 4), 0u) << "no other alarm";
  EXPECT_EQ(blk(4)->mask(MaskWord::kCurrent), 0u);
  EXPECT_EQ(blk(5)->u8(sensor_off::kCurrentMask), 0);
  EXPECT_EQ(blk(6)->u8(meter_off::kCurrentMask), 0);
  // The meter counts; the UPS's bypass alarm (bit 4) comes and goes.
  const int32_t energy = blk(6)->slot(1);
  EXPECT_TRUE(WaitFor([&] { return blk(6)->slot(1) > energy; }));
  auto bypassAlarm = [&] { return (blk(1)->mask(MaskWord::kCurrent) >> 4 & 1u) != 0; };
  EXPECT_TRUE(WaitFor(bypassAlarm));
  EXPECT_TRUE(WaitFor([&] { return !bypassAlarm(); }));
  EXPECT_TRUE(WaitFor(bypassAlarm));
  table.StopSerialThreads();
}

// The peer's faults as the master's answer check sees them.
TEST(ModbusRtuPty, PeerFaultsAreRefusedByTheAnswerCheck) {
  test::TempDir dir;
  test::ModbusPeer peer;
  ASSERT_TRUE(peer.start(dir.path(), "COM1", {"5:sensor"}));
  std::string error;
  auto port = TermiosSerialPort::open(dir.file("COM1"), SerialLineParams{}, 0, &error, nullptr);
  ASSERT_TRUE(port) << error;
  const auto request = BuildReadRequest(5, 4, 0, 6);
  auto exchange = [&] {
    uint8_t buf[64];
    // The rest of a late answer to the last request is not this one's.
    while (port->read(Bytes(buf), sizeof buf) > 0) {
    }
    port->purgeReceive();
    port->write(CBytes(request));
    std::vector<uint8_t> got;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (std::chrono::steady_clock::now() < end) {
      const size_t n = port->read(Bytes(buf), sizeof buf);
      got.insert(got.end(), buf, buf + n);
      if (n == 0 && !got.empty()) break;
    }
    return got;
  };
  struct Case {
    const char* command;
    RtuStatus want;
  };
  const Case cases[] = {
      {"", RtuStatus::kComplete},
      {"badcrc 5", RtuStatus::kBad},
      {"exception 5 2", RtuStatus::kException},
      {"wrongaddr 5", RtuStatus::kBad},
      {"short 5", RtuStatus::kBad},
      {"raw 5 0106030000020000", RtuStatus::kBad},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.command);
    if (*c.command) {
      ASSERT_TRUE(peer.command(c.command));
    }
    const std::vector<uint8_t> got = exchange();
    ASSERT_FALSE(got.empty());
    EXPECT_EQ(CheckRtuAnswer(CBytes(request), got).status, c.want);
  }
  ASSERT_TRUE(peer.command("silence 5"));
  EXPECT_TRUE(exchange().empty());
}

// A device that stops 60 ms inside every answer, behind a line at 9600 baud:
// the master assembles the pieces over several steps.
TEST(ModbusRtuPty, AnswerSplitByAPauseIsAssembled) {
  test::TempDir dir;
  pid_t pacer = fork();
  if (pacer == 0) {
    const std::string prog = test::BuiltProgram("tools/line_pacer");
    execl(prog.c_str(), prog.c_str(), "--a", dir.file("COM1").c_str(), "--b",
          dir.file("peer").c_str(), "--baud", "9600", "--pause-after", "20", "--pause-ms", "60",
          static_cast<char*>(nullptr));
    _exit(127);
  }
  ASSERT_TRUE(WaitFor([&] { return access(dir.file("peer").c_str(), F_OK) == 0; }, 10));
  test::ModbusPeer peer;
  ASSERT_TRUE(peer.startOn(dir.file("peer"), {"1:inverter"}));
  SystemClock clock;
  TermiosPortOpener opener(ComPortResolver{{}, dir.path()}, nullptr, /*settleMs=*/0);
  ModbusRtuEngine engine(clock, nullptr);
  PortTable table(opener, nullptr, nullptr, SerialPollConfig{10, 1000});
  table.setEngine(kCommInverter, &engine);
  DeviceNode root;
  root.setNodeKind(kNodeGroup);
  auto n = std::make_unique<DeviceNode>();
  n->setNodeKind(kNodeSerial);
  n->setCom("COM1");
  n->setUpsId(1);
  n->setCommType(kCommInverter);
  n->setBaud(9600);
  KeepOnlyCommTypeBlock(*n);
  DeviceNode* inv = root.addChild(n);
  ASSERT_TRUE(table.AttachPortDevice(*inv, false));
  table.start();
  LiveDataBlock* blk = inv->block(BlockKind::kModbus);
  // Both answers (69 and 23 bytes) arrive in two pieces each.
  EXPECT_TRUE(WaitFor([&] { return blk->slot(16) == 1000 && blk->slot(24) == 100; }, 30));
  EXPECT_EQ(blk->u8(mb_off::kLostInverter), 0);
  table.StopSerialThreads();
  kill(pacer, SIGTERM);
  waitpid(pacer, nullptr, 0);
}

}  // namespace
}  // namespace lark
