// The UPS command fan-out over scripted lines of every serial form (ASCII on
// COM1, three-phase binary on COM2, Modbus RTU on COM3) and a recording SNMP
// sender: what each peer receives, by each device's own protocol; and the
// console's control request (command 26) through the real fan-out.
#include "devices/ups_command_fanout.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "devices/ascii_ups.h"
#include "devices/binary/binary_samples.h"
#include "devices/binary/binary_ups.h"
#include "devices/modbus/modbus_rtu.h"
#include "linkserver/command_queue.h"
#include "linkserver/control_lock.h"
#include "linkserver/link_replies.h"
#include "linkserver/link_requests.h"
#include "tests/support/link_test_client.h"
#include "tests/support/scripted_modbus_slave.h"
#include "tests/support/scripted_three_phase.h"
#include "tests/support/tree_fixtures.h"

namespace lark {
namespace {

class RecordingSnmp final : public SnmpSetSender {
 public:
  bool sendSet(const DeviceNode& node, int group, int item, std::string_view value,
               std::string_view objectName) override {
    sets.push_back(std::to_string(node.id()) + " " + std::string(objectName) + " " +
                   std::to_string(group) + "." + std::to_string(item) + "=" + std::string(value));
    return true;
  }
  std::vector<int16_t> deviceIds() const override { return ids; }
  std::vector<std::string> sets;
  std::vector<int16_t> ids;
};

class FanOutFixture : public ::testing::Test {
 protected:
  FanOutFixture()
      : ascii_(eventLog_, nullptr),
        binary_(eventLog_, nullptr),
        modbus_(clock_, nullptr),
        table_(opener_, nullptr, nullptr, SerialPollConfig{300, 3000}),
        asciiUps_(opener_.line(1), {Unit(1), Unit(2)}, false),
        threePhase_(opener_.line(2)),
        slaves_(opener_.line(3)),
        fanOut_(table_, tree_, clock_, [this](uint32_t ms) { armed_.push_back(ms); }) {
    table_.setEngine(kCommAscii, &ascii_);
    table_.setEngine(kCommThreePhase, &binary_);
    for (int ct : {2, 3, 5, 6, 7, 8}) table_.setEngine(static_cast<uint8_t>(ct), &modbus_);
    Tree_ResetRoot(tree_);
    t_ = test::BuildSampleTree(tree_);
    stopped_ = &test::AddSerial(tree_, *t_.ups, kCommAscii, "COM1", 2);
    stopped_->setLinkStatus(kLinkStopped);
    groupSensor_ = &test::AddSerial(tree_, *t_.ups, kCommSensor, "COM3", 5);
    for (DeviceNode* n : {t_.ascii, t_.threePhase, t_.modbus, t_.inverter, t_.sensor, t_.meter,
                          stopped_, groupSensor_}) {
      n->setBaud(9600);
      KeepOnlyCommTypeBlock(*n);
      EXPECT_TRUE(table_.AttachPortDevice(*n, false));
    }
    threePhase_.add(1);
    for (int a : {1, 2, 3, 4, 5}) slaves_.addSlave(a);
    snmp_.ids = {t_.snmp->id()};
    fanOut_.setSnmpSender(&snmp_);
    // Poll until the three-phase unit has sent its test parameters (type 24).
    for (int i = 0; i < 400 && t_.threePhase->block(BlockKind::kBinary)->slot(105) != 10; ++i) {
      passes();
    }
    for (int com : {1, 2, 3}) opener_.line(com)->clearFrames();
  }
  static AsciiUpsProfile Unit(int address) {
    AsciiUpsProfile p;
    p.address = address;
    return p;
  }
  void passes(int n = 1) {
    for (int i = 0; i < n; ++i) {
      for (auto t : {PortTable::kThreadA, PortTable::kThreadB, PortTable::kThreadC}) {
        table_.runPass(t);
      }
    }
  }
  // Frames written on COMn until now, after a few more passes.
  std::vector<std::string> sent(int com) {
    passes(40);
    return opener_.line(com)->frames();
  }
  static bool Has(const std::vector<std::string>& frames, const std::string& part) {
    return std::any_of(frames.begin(), frames.end(),
                       [&](const std::string& f) { return f.find(part) != std::string::npos; });
  }
  static std::vector<std::string> Hex(const std::vector<std::string>& frames, uint8_t type) {
    std::vector<std::string> out;
    for (const auto& f : frames) {
      if (f.size() > 3 && static_cast<uint8_t>(f[3]) == type) out.push_back(HexText(asBytes(f)));
    }
    return out;
  }

  FakeClock clock_{5000};
  test::ScriptedPortOpener opener_;
  UpsEventLogBuffer eventLog_;
  AsciiUpsEngine ascii_;
  BinaryUpsEngine binary_;
  ModbusRtuEngine modbus_;
  PortTable table_;
  test::ScriptedAsciiUps asciiUps_;
  test::ScriptedThreePhaseUps threePhase_;
  test::ScriptedModbusSlaves slaves_;
  DeviceTree tree_;
  test::SampleTree t_;
  DeviceNode* stopped_ = nullptr;
  DeviceNode* groupSensor_ = nullptr;
  RecordingSnmp snmp_;
  std::vector<uint32_t> armed_;
  UpsCommandFanOut fanOut_;
};

TEST_F(FanOutFixture, TestCommandInEachDevicesOwnForm) {
  for (DeviceNode* n : {t_.ascii, t_.threePhase, t_.modbus, t_.snmp}) {
    EXPECT_EQ(fanOut_.SendDeviceControl(*n, 1611, 0, 0), 1);
  }
  EXPECT_TRUE(Has(sent(1), "S004TST3"));
  EXPECT_EQ(Hex(sent(2), 0x11), std::vector<std::string>{"01 01 04 11 01 0A 00 22"});
  EXPECT_TRUE(Has(sent(3), std::string("\x01\x06\x03\x02\x00\x03\x68\x4F", 8)));
  EXPECT_EQ(snmp_.sets,
            std::vector<std::string>{std::to_string(t_.snmp->id()) + " nupsTestType(r/w) 8.0=3"});
}

TEST_F(FanOutFixture, ShutdownAndRestartWithAndWithoutShutdownDelay) {
  for (DeviceNode* n : {t_.ascii, t_.threePhase, t_.modbus, t_.snmp}) {
    fanOut_.SendDeviceControl(*n, 1619, 5, 2);
  }
  auto ascii = sent(1);
  auto sdr = std::find_if(ascii.begin(), ascii.end(),
                          [](const std::string& f) { return f.find("S004SDR5") != f.npos; });
  ASSERT_NE(sdr, ascii.end());
  EXPECT_TRUE(Has(std::vector<std::string>(sdr, ascii.end()), "S004SDA2"));
  EXPECT_EQ(Hex(sent(2), 0x12), std::vector<std::string>{"01 01 05 12 02 00 05 00 20"});
  std::vector<std::string> writes;  // register writes to the Modbus UPS, in order
  for (const auto& f : sent(3)) {
    if (f.rfind(std::string("\x01\x06", 2), 0) == 0) writes.push_back(f.substr(0, 6));
  }
  EXPECT_EQ(writes, (std::vector<std::string>{std::string("\x01\x06\x03\x01\x00\x05", 6),
                                              std::string("\x01\x06\x03\x00\x00\x02", 6)}));
  // The SNMP shutdown follows after a pause, from the loop's timer.
  ASSERT_EQ(snmp_.sets.size(), 1u);
  EXPECT_EQ(armed_, std::vector<uint32_t>{2000});
  clock_.advance(2000);
  fanOut_.runDelayed();
  ASSERT_EQ(snmp_.sets.size(), 2u);
  EXPECT_NE(snmp_.sets[1].find("nupsShutdownAction(r/w) 2.2=2"), std::string::npos);

  // No shutdown delay: the restart part alone, in every form.
  for (int com : {1, 2, 3}) opener_.line(com)->clearFrames();
  snmp_.sets.clear();
  armed_.clear();
  for (DeviceNode* n : {t_.ascii, t_.modbus, t_.snmp}) fanOut_.SendDeviceControl(*n, 1619, 7, -1);
  EXPECT_TRUE(Has(sent(1), "S004SDR7"));
  EXPECT_FALSE(Has(sent(1), "S004SDA"));
  EXPECT_FALSE(Has(sent(3), std::string("\x01\x06\x03\x00", 4)));
  EXPECT_EQ(snmp_.sets.size(), 1u);
  EXPECT_TRUE(armed_.empty());
}

TEST_F(FanOutFixture, GroupReachesItsUpssOnly) {
  EXPECT_EQ(fanOut_.SendGroupControl(*t_.ups, 1612, 0, 0), 4);  // ASCII, binary, Modbus, SNMP
  EXPECT_EQ(fanOut_.SendGroupControl(*t_.field, 1612, 0, 0), 0);
  EXPECT_EQ(stopped_->block(BlockKind::kAscii)->i16(1078), 0);  // its queue stays empty
  auto modbus = sent(3);
  for (int addr : {2, 3, 4, 5}) {
    EXPECT_FALSE(Has(modbus, std::string{static_cast<char>(addr), 0x06, 0x03})) << addr;
  }
  // Every device: the same four; a stopped group sends nothing.
  EXPECT_EQ(fanOut_.SendAllControl(1615, 0, 0), 4);
  t_.ups->setLinkStatus(kLinkStopped);
  EXPECT_EQ(fanOut_.SendGroupControl(*t_.ups, 1615, 0, 0), 0);
}

TEST_F(FanOutFixture, AFullQueueTakesBothCommandsOrNeither) {
  for (int i = 0; i < 9; ++i) fanOut_.QueueAsciiCommand(*t_.ascii, "S004BUZ1");
  EXPECT_EQ(fanOut_.SendDeviceControl(*t_.ascii, 1619, 5, 2), 0);
  EXPECT_EQ(t_.ascii->block(BlockKind::kAscii)->i16(1078), 9);
}

// Command 26 through the dispatcher with the real fan-out.
TEST_F(FanOutFixture, ConsoleControlRequestCountsWhatWasReached) {
  CommandQueues queues;
  ControlLock lock{clock_, queues};
  LinkServices services{lock};
  services.tree = &tree_;
  services.upsControl = &fanOut_;
  std::vector<uint8_t> out(kLinkBufferSize);
  uint16_t version = 0x0907;
  auto control = [&](int16_t id, uint32_t scope, int32_t code, int32_t seconds = 0) {
    std::vector<uint8_t> rec(44, 0);
    putI16(rec, 0, id);
    putU32(rec, 4, scope);
    putI32(rec, 8, code);
    putI32(rec, 12, seconds);
    const std::vector<uint8_t> frame = test::LinkRequestFrame(26, rec);
    LinkRequest r(frame, 0, LinkPeer{0x7F000001, 4000}, version, services);
    LinkFrameBuilder b(out);
    const size_t n = DispatchLinkRequest(r, b);
    return n > 5 ? out[5] : 0;
  };
  EXPECT_EQ(control(t_.ascii->id(), 1, 1611), 51);   // the device's group
  EXPECT_EQ(control(t_.sensor->id(), 0, 1611), 52);  // a sensor takes nothing
  EXPECT_EQ(control(t_.ascii->id(), 0, 1630), 52);
  // A timed test: 1612 now, 1614 when the countdown runs out two walks later.
  opener_.line(1)->clearFrames();
  EXPECT_EQ(control(t_.ascii->id(), 0, 1613, 4), 51);
  EXPECT_TRUE(Has(sent(1), "S004TST4"));
  test::FakeActionLevels levels;
  Tree_RunCountdowns(tree_.root(), levels, fanOut_);
  EXPECT_FALSE(Has(sent(1), "S004TST0"));
  Tree_RunCountdowns(tree_.root(), levels, fanOut_);
  EXPECT_TRUE(Has(sent(1), "S004TST0"));
}

}  // namespace
}  // namespace lark
