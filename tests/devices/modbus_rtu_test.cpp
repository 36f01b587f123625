// The Modbus RTU master stepped one exchange at a time on a scripted line
// with scripted slaves: request order, loss and recovery, answers booked to
// the device asked, bad answers, and the command queue.
#include "devices/modbus/modbus_rtu.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "devices/modbus/modbus_live_data.h"
#include "devices/port_table.h"
#include "tests/support/scripted_modbus_slave.h"
#include "tests/support/scripted_serial_port.h"

namespace lark {
namespace {

using test::ScriptedModbusSlaves;
using test::WithCrc;

std::string Hex(const std::string& f) {
  std::string out;
  for (unsigned char c : f) {
    char b[4];
    std::snprintf(b, sizeof b, "%s%02X", out.empty() ? "" : " ", c);
    out += b;
  }
  return out;
}

// "fn start x quantity" of a read request.
std::string Row(const std::string& f) {
  auto b = [&](size_t i) { return static_cast<uint8_t>(f[i]); };
  return std::to_string(b(1)) + " " + std::to_string((b(2) << 8) | b(3)) + "x" +
         std::to_string((b(4) << 8) | b(5));
}

class ModbusFixture : public ::testing::Test {
 protected:
  ModbusFixture()
      : opener_(&clock_),
        engine_(clock_, [this](std::string_view s) { logs_.emplace_back(s); }),
        table_(opener_, nullptr, nullptr, SerialPollConfig{300, 3000}),
        slaves_(opener_.line(1)) {
    for (int ct : {2, 3, 5, 6, 7, 8}) table_.setEngine(static_cast<uint8_t>(ct), &engine_);
    root_.setNodeKind(kNodeGroup);
  }

  DeviceNode& add(int commType, int bus, uint16_t linkStatus = kLinkUnidentified) {
    auto n = std::make_unique<DeviceNode>();
    n->setId(static_cast<int16_t>(bus + 100));
    n->setNodeKind(kNodeSerial);
    n->setCom("COM1");
    n->setUpsId(static_cast<int16_t>(bus));
    n->setCommType(static_cast<int16_t>(commType));
    n->setBaud(9600);
    n->setLinkStatus(linkStatus);
    KeepOnlyCommTypeBlock(*n);
    if (commType == kCommSensor) PresetTwoPointSensor(*n->block(BlockKind::kSensor));
    DeviceNode* p = root_.addChild(n);
    EXPECT_TRUE(table_.AttachPortDevice(*p, false));
    slaves_.addSlave(bus);
    return *p;
  }
  void passes(int n) {
    for (int i = 0; i < n; ++i) table_.runPass(PortTable::kThreadC);
  }
  // Runs passes until `count` frames have been written (bounded).
  std::vector<std::string> framesAfter(size_t count) {
    for (int i = 0; i < 5000 && opener_.line(1)->frameCount() < count; ++i) passes(1);
    return opener_.line(1)->frames();
  }
  static LiveDataBlock& block(DeviceNode& n) { return *n.block(ModbusBlockKind(n.commType())); }
  static uint64_t current(DeviceNode& n) { return block(n).mask(MaskWord::kCurrent); }

  FakeClock clock_{5000};
  test::ScriptedPortOpener opener_;
  std::vector<std::string> logs_;
  ModbusRtuEngine engine_;
  PortTable table_;
  ScriptedModbusSlaves slaves_;
  DeviceNode root_;
};

TEST_F(ModbusFixture, FreshUpsIsIdentifiedThenCyclesByItsSubtype) {
  struct Case {
    uint16_t subtype;
    std::vector<std::string> rows;  // after the three golden frames
  };
  const Case cases[] = {
      {1, {"2 256x48", "4 1054x101", "2 256x48", "4 1054x101"}},
      {3, {"2 256x48", "3 768x34", "4 1158x100", "4 1054x101", "2 256x48"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.subtype);
    opener_.line(1)->clearFrames();
    DeviceNode& ups = add(kCommModbusUps, 1);
    slaves_.setRegister(1, 1024, c.subtype);
    auto frames = framesAfter(3 + c.rows.size());
    ASSERT_GE(frames.size(), 3 + c.rows.size());
    EXPECT_EQ(Hex(frames[0]), "01 04 04 00 00 1B B1 31");
    EXPECT_EQ(Hex(frames[1]), "01 04 04 F8 00 23 31 12");
    EXPECT_EQ(Hex(frames[2]), "01 04 04 1E 00 65 51 17");
    for (size_t i = 0; i < c.rows.size(); ++i) EXPECT_EQ(Row(frames[3 + i]), c.rows[i]);
    EXPECT_EQ(ups.linkStatus(), kLinkIdentified);
    EXPECT_EQ(block(ups).i32(mb_off::kSubtype), c.subtype);
    table_.DetachPortDevice(ups, false);
    root_.detachChild(0);
  }
}

TEST_F(ModbusFixture, SilentUpsIsLostAtItsFourthRoundWhileItsNeighbourAnswers) {
  DeviceNode& quiet = add(kCommModbusUps, 1, kLinkIdentified);
  DeviceNode& busy = add(kCommModbusUps, 2, kLinkIdentified);
  slaves_.setRegister(2, 1055, 2300);
  slaves_.silent.insert(1);
  for (int i = 0; i < 200 && (current(quiet) & (1ull << 24)) == 0; ++i) passes(1);
  EXPECT_EQ(slaves_.requests[1], 4);
  EXPECT_EQ(block(busy).slot(27), 2300);
  EXPECT_EQ(current(busy) & (1ull << 24), 0u);
  EXPECT_EQ(block(quiet).u8(mb_off::kLostUps), 3);

  // Back again: the bit is cleared once the alarm scan has reported it.
  block(quiet).setMask(MaskWord::kReported, 1ull << 24);
  slaves_.silent.clear();
  passes(40);
  EXPECT_EQ(current(quiet) & (1ull << 24), 0u);
  EXPECT_EQ(block(quiet).u8(mb_off::kLostUps), 0);
}

TEST_F(ModbusFixture, SilentSensorLosesEveryPointAtItsFirstRound) {
  DeviceNode& sensor = add(kCommSensor, 4);
  slaves_.setRegister(4, 0, 32768);
  passes(4);  // open, move to the sensor's slot, ask, collect
  EXPECT_EQ(block(sensor).slot(1), 50);
  slaves_.silent.insert(4);
  passes(14);
  EXPECT_EQ(block(sensor).u8(sensor_off::kCurrentMask), 0x03);
  for (int s = 0; s < 7; ++s) EXPECT_EQ(block(sensor).slot(s), -1) << s;
}

TEST_F(ModbusFixture, IgnoredWriteIsBookedToTheDeviceAsked) {
  DeviceNode& ups = add(kCommModbusUps, 1, kLinkIdentified);
  DeviceNode& other = add(kCommModbusUps, 2, kLinkIdentified);
  slaves_.ignoreWrites = true;
  passes(4);
  const std::vector<ModbusPdu> writes(4, *RegisterWritePdu(0x0300, 2));
  ASSERT_TRUE(ModbusRtuEngine::QueueModbusCommands(ups, writes));
  passes(150);
  EXPECT_EQ(slaves_.writes.size(), 4u);
  EXPECT_EQ(block(other).u8(mb_off::kLostUps), 0);
  EXPECT_EQ(current(other) & (1ull << 24), 0u);
  EXPECT_TRUE(std::any_of(logs_.begin(), logs_.end(), [](const std::string& l) {
    return l.find("no answer to the write of register 768") != std::string::npos;
  }));
}

TEST_F(ModbusFixture, BadAnswersChangeNoSlot) {
  using Make = std::function<std::string(const std::string& req, const std::string& good)>;
  struct Case {
    const char* name;
    Make reply;
  };
  const Case cases[] = {
      {"bad CRC", [](auto&, const std::string& g) { return g.substr(0, g.size() - 1) + "\x55"; }},
      {"exception",
       [](const std::string& r, auto&) {
         return WithCrc({r[0], static_cast<char>(r[1] | 0x80), 2});
       }},
      {"one byte short of the count",
       [](const std::string& r, const std::string& g) {
         std::string body = g.substr(0, g.size() - 2);
         body[2] = static_cast<char>(body[2] - 1);
         body.pop_back();
         return WithCrc(body);
       }},
      {"count 255",
       [](const std::string& r, const std::string& g) {
         std::string body = g.substr(0, g.size() - 2);
         body[2] = '\xFF';
         return WithCrc(body + std::string(255 - (body.size() - 3), '\x01'));
       }},
      {"wrong address",
       [](auto&, const std::string& g) {
         std::string body = g.substr(0, g.size() - 2);
         body[0] = 9;
         return WithCrc(body);
       }},
      {"write echo",
       [](const std::string& r, auto&) {
         return WithCrc({r[0], 6, 3, 0, 0, 2});
       }},
  };
  DeviceNode& ups = add(kCommModbusUps, 1, kLinkIdentified);
  block(ups).putI32(mb_off::kSubtype, 3);
  for (int r = 0; r < 2000; ++r) slaves_.setRegister(1, r, 0x0101);
  for (int n = 256; n < 304; ++n) slaves_.setInput(1, n, true);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    for (int row = 0; row < 4; ++row) {
      // The image as it stands when the request the bad reply answers goes
      // out: every earlier answer has been stored by then.
      std::vector<uint8_t> before;
      slaves_.nextReply = [&](const std::string& req, const std::string& good) {
        before = block(ups).copyOut();
        return c.reply(req, good);
      };
      while (before.empty()) passes(1);
      // Until the wait has run out and the next request has gone out.
      const size_t sent = opener_.line(1)->frameCount();
      for (int i = 0; i < 30 && opener_.line(1)->frameCount() == sent; ++i) passes(1);
      ASSERT_GT(opener_.line(1)->frameCount(), sent);
      const std::vector<uint8_t> after = block(ups).copyOut();
      EXPECT_TRUE(std::equal(before.begin() + mb_off::kSlots, before.begin() + 976,
                             after.begin() + mb_off::kSlots))
          << "row " << row;
      EXPECT_EQ(u64At(before, mb_off::kCurrentMask), u64At(after, mb_off::kCurrentMask));
    }
  }
}

TEST_F(ModbusFixture, ReplySplitAcrossStepsIsAssembled) {
  DeviceNode& inverter = add(kCommInverter, 3);
  slaves_.setRegister(3, 1077, 500);  // the first read is 1077 x 9
  std::string rest;
  slaves_.nextReply = [&](const std::string&, const std::string& good) {
    rest = good.substr(20);
    return good.substr(0, 20);
  };
  passes(4);
  EXPECT_EQ(block(inverter).slot(24), -1);
  opener_.line(1)->feed(rest);
  passes(1);
  EXPECT_EQ(block(inverter).slot(24), 500);
  EXPECT_EQ(inverter.linkStatus(), kLinkIdentified);
}

TEST_F(ModbusFixture, QueuedCommandsGoOutFirstInOrderAndWhole) {
  DeviceNode& ups = add(kCommModbusUps, 1, kLinkIdentified);
  passes(2);
  const auto pdus = ModbusCommandPdus(1619, 5, 2);
  ASSERT_EQ(pdus.size(), 2u);
  ASSERT_TRUE(ModbusRtuEngine::QueueModbusCommands(ups, pdus));
  const std::vector<ModbusPdu> eight(8, *BuildModbusCommandPdu(1618, 0));
  ASSERT_TRUE(ModbusRtuEngine::QueueModbusCommands(ups, eight));
  EXPECT_FALSE(ModbusRtuEngine::QueueModbusCommands(ups, eight));  // an eleventh does not fit
  opener_.line(1)->clearFrames();
  auto frames = framesAfter(11);
  ASSERT_GE(frames.size(), 11u);
  EXPECT_EQ(Hex(frames[0]), "01 06 03 01 00 05 18 4D");
  EXPECT_EQ(Hex(frames[1]), "01 06 03 00 00 02 08 4F");
  for (int i = 2; i < 10; ++i) EXPECT_EQ(Hex(frames[i].substr(0, 6)), "01 06 03 00 00 01");
  EXPECT_EQ(Row(frames[10]), "2 256x48");  // polling again
}

TEST_F(ModbusFixture, RefusedWriteIsLoggedOnce) {
  add(kCommModbusUps, 1, kLinkIdentified);
  passes(2);
  ASSERT_TRUE(ModbusRtuEngine::QueueModbusCommands(*root_.child(0),
                                                   std::vector{*RegisterWritePdu(0x030E, 7)}));
  slaves_.nextReply = [](const std::string& r, auto&) {
    return WithCrc({r[0], static_cast<char>(0x86), 3});
  };
  passes(3);
  const auto refused = std::count_if(logs_.begin(), logs_.end(), [](const std::string& l) {
    return l.find("register 782 was refused, exception code 3") != std::string::npos;
  });
  EXPECT_EQ(refused, 1);
}

TEST_F(ModbusFixture, FivePointSensorWithoutAReadIsSkippedAndLoggedOnce) {
  DeviceNode& sensor = add(kCommSensor, 5);
  sensor.setSensorType(1);
  block(sensor).putU16(sensor_off::kFunction, 0);
  add(kCommMeter, 6);
  passes(30);
  for (const std::string& f : opener_.line(1)->frames()) EXPECT_NE(f[0], 5);
  EXPECT_EQ(std::count_if(logs_.begin(), logs_.end(),
                          [](const std::string& l) {
                            return l.find("cannot be asked") != std::string::npos;
                          }),
            1);
}

TEST_F(ModbusFixture, UnopenedPortMarksEveryKindLost) {
  opener_.setOpenFails(1, true);
  DeviceNode& ups = add(kCommModbusUps, 1);
  DeviceNode& sensor = add(kCommSensor, 2);
  DeviceNode& meter = add(kCommMeter, 3);
  DeviceNode& inverter = add(kCommInverter, 4);
  passes(1);
  EXPECT_NE(current(ups) & (1ull << 24), 0u);
  EXPECT_EQ(block(sensor).u8(sensor_off::kCurrentMask), 0x3F);
  EXPECT_EQ(block(meter).u8(meter_off::kCurrentMask), 0x01);
  EXPECT_NE(current(inverter) & (1ull << 16), 0u);
}

}  // namespace
}  // namespace lark
