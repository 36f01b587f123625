// The ASCII UPS engine stepped one exchange at a time on a scripted line.
#include "devices/ascii_ups.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "devices/ascii_answer.h"
#include "devices/ascii_live_data.h"
#include "devices/port_table.h"
#include "tests/support/scripted_serial_port.h"

namespace lark {
namespace {

using test::ScriptedAsciiUps;
using test::ScriptedLine;
using test::ScriptedPortOpener;

void SetUpUps(DeviceNode& n, int bus, int com = 1) {
  n.setNodeKind(kNodeSerial);
  n.setCom("COM" + std::to_string(com));
  n.setUpsId(static_cast<int16_t>(bus));
  n.setCommType(kCommAscii);
  n.setBaud(2400);
  AllocateNodeBlocks(n);
}

AsciiUpsProfile Unit(int address) {
  AsciiUpsProfile p;
  p.address = address;
  return p;
}

// One port with ASCII devices, stepped by runPass on the test thread.
class AsciiFixture : public ::testing::Test {
 protected:
  AsciiFixture()
      : engine_(eventLog_, [this](std::string_view s) { logs_.emplace_back(s); }),
        table_(opener_, nullptr, nullptr, SerialPollConfig{300, 3000}) {
    table_.setEngine(kCommAscii, &engine_);
  }

  DeviceNode& addUps(int bus, int com = 1) {
    auto n = std::make_unique<DeviceNode>();
    n->setId(static_cast<int16_t>(nodes_.size() + 1));
    SetUpUps(*n, bus, com);
    EXPECT_TRUE(table_.AttachPortDevice(*n, false));
    nodes_.push_back(std::move(n));
    return *nodes_.back();
  }
  void passes(int n) {
    for (int i = 0; i < n; ++i) table_.runPass(PortTable::kThreadA);
  }
  // Runs passes until `count` frames have been written (bounded).
  std::vector<std::string> framesAfter(size_t count) {
    for (int i = 0; i < 2000 && line()->frameCount() < count; ++i) passes(1);
    return line()->frames();
  }
  std::shared_ptr<ScriptedLine> line(int com = 1) { return opener_.line(com); }
  static AsciiImage image(DeviceNode& n, std::vector<uint8_t>& copy) {
    copy = n.block(BlockKind::kAscii)->copyOut();
    return AsciiImage(Bytes(copy.data(), copy.size()));
  }
  static void edit(DeviceNode& n, const std::function<void(AsciiImage&)>& f) {
    n.block(BlockKind::kAscii)->withImage([&](Bytes b) {
      AsciiImage img(b);
      f(img);
    });
  }
  static uint64_t current(DeviceNode& n) {
    return n.block(BlockKind::kAscii)->mask(MaskWord::kCurrent);
  }

  UpsEventLogBuffer eventLog_;
  std::vector<std::string> logs_;
  ScriptedPortOpener opener_;
  AsciiUpsEngine engine_;
  PortTable table_;
  std::vector<std::unique_ptr<DeviceNode>> nodes_;
};

TEST_F(AsciiFixture, IdentificationQueriesCarrySumsThenStatusCycleStarts) {
  DeviceNode& ups = addUps(1);
  ScriptedAsciiUps sim(line(), {Unit(1)}, /*checksum=*/false);
  auto frames = framesAfter(13);
  ASSERT_GE(frames.size(), 13u);
  for (int i = 0; i < 11; ++i) {
    EXPECT_EQ(frames[static_cast<size_t>(i)],
              BuildQueryFrame(1, kIdentQueries[static_cast<size_t>(i + 1)], true))
        << i;
  }
  EXPECT_EQ(frames[0], "~01P003MOD" + Sum8Text(asBytes("~01P003MOD")));
  // The step that ends identification still sends a sum; then none, as the
  // unit sends none.
  EXPECT_EQ(frames[11], BuildQueryFrame(1, "STB", true));
  EXPECT_EQ(frames[12], "~01P003STI");
  EXPECT_EQ(ups.linkStatus(), kLinkIdentified);

  std::vector<uint8_t> copy;
  AsciiImage img = image(ups, copy);
  EXPECT_EQ(img.text(ascii_off::kModel, ascii_off::kModelSize), "LK3000");
  EXPECT_EQ(img.text(ascii_off::kManufacturer, ascii_off::kManufacturerSize), "Lark Power");
  EXPECT_EQ(img.text(ascii_off::kSerialNumber, ascii_off::kSerialNumberSize), "LK0000001");
  EXPECT_EQ(img.u16(ascii_off::kCpuId), 0x5001);
  EXPECT_FALSE(img.checksumFlag());
  EXPECT_EQ(img.slot(4), 3000);  // rating, VA
  EXPECT_EQ(img.slot(1), 50);    // nominal output frequency, kept divided by 10
  EXPECT_EQ(ups.upsTypeCode(), 1);
  EXPECT_EQ(ups.status2(), 2);
  // AVL bits 3, 4, 13, 16, 18, 19; the module range from the CPU; 61 from the
  // battery ratings and the alarm lists.
  for (int bit : {3, 4, 13, 16, 18, 19, 23, 34, 45, 52, 60, 61, 62}) {
    EXPECT_TRUE(img.capability(bit)) << bit;
  }
  ASSERT_FALSE(logs_.empty());
  EXPECT_NE(logs_.back().find("COM1 UPS 01 identified"), std::string::npos);
}

// An identification says nothing is wrong: with a trace sink it goes there,
// not to the log.
TEST_F(AsciiFixture, IdentificationIsARoutineNoteForTheTrace) {
  std::vector<std::string> traces;
  engine_.setTraceLog([&](std::string_view s) { traces.emplace_back(s); });
  addUps(1);
  ScriptedAsciiUps sim(line(), {Unit(1)}, /*checksum=*/false);
  framesAfter(13);
  ASSERT_EQ(traces.size(), 1u);
  EXPECT_NE(traces[0].find("COM1 UPS 01 identified"), std::string::npos);
  for (const std::string& l : logs_) EXPECT_EQ(l.find("identified"), std::string::npos) << l;
}

TEST_F(AsciiFixture, UnitSendingSumsTurnsTheChecksumFlagOn) {
  DeviceNode& ups = addUps(1);
  ScriptedAsciiUps sim(line(), {Unit(1)}, /*checksum=*/true);
  auto frames = framesAfter(14);
  EXPECT_EQ(frames[12], BuildQueryFrame(1, "STI", true));
  std::vector<uint8_t> copy;
  EXPECT_TRUE(image(ups, copy).checksumFlag());
  EXPECT_EQ(image(ups, copy).slot(43), AsciiSampleInputVoltage(1));
}

TEST_F(AsciiFixture, RefusedFirstAlarmListSkipsTheOthers) {
  addUps(1);
  AsciiUpsProfile p = Unit(1);
  p.refused = {"AL1"};
  ScriptedAsciiUps sim(line(), {p}, false);
  auto frames = framesAfter(6);
  EXPECT_EQ(frames[3], BuildQueryFrame(1, "AL1", true));
  EXPECT_EQ(frames[4], BuildQueryFrame(1, "RAT", true));
}

// The status cycle that a capability mask leaves.
TEST_F(AsciiFixture, CapabilityMaskTrimsTheStatusCycle) {
  struct Case {
    uint64_t mask;
    std::vector<std::string> cycle;
  };
  auto bits = [](std::initializer_list<int> l) {
    uint64_t m = 0;
    for (int b : l) m |= uint64_t{1} << b;
    return m;
  };
  std::vector<std::string> all(kStatusQueries.begin(), kStatusQueries.begin() + kStatusCycleCount);
  uint64_t every = 0;
  for (int b : kStatusCapabilityBit) {
    if (b >= 0) every |= uint64_t{1} << b;
  }
  const std::vector<Case> cases = {
      {0, {"STB", "STI", "STO", "STP", "STA", "TSR"}},
      {bits({3, 63}), {"STB", "STI", "STO", "STP", "STA", "TSR", "VSN", "EBP"}},
      {bits({45, 52, 61}), {"STB", "STI", "STO", "STP", "STA", "TSR", "BT1", "PMA", "BTV"}},
      {every, all},
  };
  for (const Case& c : cases) {
    DeviceNode ups;
    SetUpUps(ups, 1);
    ups.setLinkStatus(kLinkIdentified);
    edit(ups, [&](AsciiImage& img) {
      img.setMask(ascii_off::kCapabilities, c.mask);
      img.setQueryIndex(-1);  // the next query is index 0
    });
    PortTable table(opener_, nullptr, nullptr, SerialPollConfig{300, 3000});
    table.setEngine(kCommAscii, &engine_);
    ASSERT_TRUE(table.AttachPortDevice(ups, false));
    line()->clearFrames();
    // Every request is accepted ("A"), which stores nothing.
    line()->setResponder([this](const std::string&) { line()->feed("~01A"); });
    for (int i = 0; i < 500 && line()->frameCount() < 2 * c.cycle.size(); ++i) {
      table.runPass(PortTable::kThreadA);
    }
    auto frames = line()->frames();
    ASSERT_GE(frames.size(), 2 * c.cycle.size());
    for (size_t i = 0; i < 2 * c.cycle.size(); ++i) {
      EXPECT_EQ(frames[i], "~01P003" + c.cycle[i % c.cycle.size()])
          << "mask " << c.mask << " #" << i;
    }
  }
}

// A unit whose "STA" alarm 0 stays on: the bit rises at the 6th answer without
// sums, at the 3rd when the unit sends sums.
TEST_F(AsciiFixture, StaAlarmRisesAfterTheDebounceCount) {
  for (bool sums : {false, true}) {
    const int com = sums ? 2 : 1;  // a fresh line per case
    DeviceNode ups;
    SetUpUps(ups, 1, com);
    AsciiUpsProfile p = Unit(1);
    p.alarm = true;
    ScriptedAsciiUps sim(line(com), {p}, sums);
    PortTable table(opener_, nullptr, nullptr, SerialPollConfig{300, 3000});
    table.setEngine(kCommAscii, &engine_);
    ASSERT_TRUE(table.AttachPortDevice(ups, false));
    int staAnswered = 0;
    for (int i = 0; i < 2000 && (current(ups) & 1u) == 0; ++i) {
      size_t before = line(com)->frameCount();
      table.runPass(PortTable::kThreadA);
      auto frames = line(com)->frames();
      // A step that sent a frame has collected the answer to the one before.
      if (frames.size() > before && before > 0 &&
          frames[before - 1].find("STA") != std::string::npos) {
        ++staAnswered;
      }
    }
    EXPECT_EQ(staAnswered, sums ? 3 : 6) << "sums " << sums;
  }
}

TEST_F(AsciiFixture, TwoUnitsAreAskedInTurnAndAStoppedOneIsSkipped) {
  DeviceNode& a = addUps(1);
  DeviceNode& b = addUps(2);
  DeviceNode& c = addUps(3);
  c.setLinkStatus(kLinkStopped);
  ScriptedAsciiUps sim(line(), {Unit(1), Unit(2), Unit(3)}, false);
  auto frames = framesAfter(60);
  int asked[4] = {0, 0, 0, 0};
  for (size_t i = 0; i < frames.size(); ++i) {
    int addr = std::stoi(frames[i].substr(1, 2));
    ++asked[addr];
    if (i > 0) {
      EXPECT_NE(frames[i].substr(1, 2), frames[i - 1].substr(1, 2)) << i;
    }
  }
  EXPECT_EQ(asked[3], 0);
  EXPECT_EQ(a.linkStatus(), kLinkIdentified);
  EXPECT_EQ(b.linkStatus(), kLinkIdentified);
  // Each unit's values are its own.
  EXPECT_EQ(a.block(BlockKind::kAscii)->slot(43), AsciiSampleInputVoltage(1));
  EXPECT_EQ(b.block(BlockKind::kAscii)->slot(43), AsciiSampleInputVoltage(2));
}

TEST_F(AsciiFixture, SilentUnitIsGivenUpAtTheEleventhStepAndLostAtTheSixthTimeout) {
  DeviceNode& ups = addUps(1);
  ups.setLinkStatus(kLinkIdentified);
  passes(3);  // open, move to slot 1, first request
  ASSERT_EQ(line()->frameCount(), 1u);
  for (int timeout = 1; timeout <= 6; ++timeout) {
    size_t before = line()->frameCount();
    passes(10);
    EXPECT_EQ(line()->frameCount(), before) << "still waiting, timeout " << timeout;
    passes(1);
    EXPECT_EQ(line()->frameCount(), before + 1) << "given up, timeout " << timeout;
    bool lost = (current(ups) >> kLinkLostBit) & 1u;
    EXPECT_EQ(lost, timeout == 6) << timeout;
  }
  EXPECT_EQ(ups.block(BlockKind::kAscii)->u8(ascii_off::kLostCounter), 5);

  // The alarm scan reports the loss; the next answer clears it and the unit
  // is identified again.
  edit(ups, [](AsciiImage& img) { img.setMaskBit(ascii_off::kReportedMask, kLinkLostBit, true); });
  ScriptedAsciiUps sim(line(), {Unit(1)}, false);
  line()->feed("~01A");
  line()->clearFrames();
  passes(1);
  EXPECT_FALSE((current(ups) >> kLinkLostBit) & 1u);
  EXPECT_EQ(ups.linkStatus(), kLinkUnidentified);
  ASSERT_EQ(line()->frameCount(), 1u);
  EXPECT_EQ(line()->frames()[0], BuildQueryFrame(1, "MOD", true));
}

TEST_F(AsciiFixture, QueuedCommandGoesBeforeTheNextQueryWithItsLengthDigits) {
  DeviceNode& ups = addUps(1);
  ScriptedAsciiUps sim(line(), {Unit(1)}, false);
  framesAfter(14);
  std::string text = AsciiUpsEngine::BuildSerialProtocolCommand(ups, kCmdBatteryTest, 10, 0);
  EXPECT_EQ(text, "S005BTT10");
  ASSERT_TRUE(AsciiUpsEngine::QueueSerialProtocolCommand(ups, text));
  line()->clearFrames();
  auto frames = framesAfter(2);
  EXPECT_EQ(frames[0], "~01S005BTT10");
  EXPECT_EQ(ups.block(BlockKind::kAscii)->i16(ascii_off::kQueueCount), 0);
}

TEST_F(AsciiFixture, EventRecordReadOutAsksInPiecesOf25) {
  DeviceNode& ups = addUps(1);
  AsciiUpsProfile p = Unit(1);
  p.events = 60;
  ScriptedAsciiUps sim(line(), {p}, false);
  framesAfter(14);
  ASSERT_TRUE(AsciiUpsEngine::QueueSerialProtocolCommand(ups, "P003AEL"));
  line()->clearFrames();
  auto frames = framesAfter(12);
  std::vector<std::string> evt;
  for (const auto& f : frames) {
    if (f.find("EVT") != std::string::npos) evt.push_back(f);
  }
  ASSERT_EQ(evt.size(), 3u);
  EXPECT_EQ(evt[0], "~01P007EVT1;25");
  EXPECT_EQ(evt[1], "~01P008EVT26;25");
  EXPECT_EQ(evt[2], "~01P008EVT51;10");
  auto log = eventLog_.copyOut();
  EXPECT_EQ(std::string(reinterpret_cast<char*>(log.data()) + 8, 8), "E0000001");
  EXPECT_EQ(std::string(reinterpret_cast<char*>(log.data()) + 60 * 8, 8), "E0000060");
}

TEST_F(AsciiFixture, ReplySplitAcrossStepsAndNoiseBeforeTheFrameAreCollected) {
  DeviceNode& ups = addUps(1);
  ups.setLinkStatus(kLinkIdentified);
  edit(ups, [](AsciiImage& img) { img.setQueryIndex(0); });  // next is STI
  passes(3);
  ASSERT_EQ(line()->frames().back(), "~01P003STI");
  std::string reply = "~01D0092301;2310";
  line()->feed("\x01zz" + reply.substr(0, 5));
  passes(1);
  EXPECT_EQ(line()->frameCount(), 1u);  // still waiting for the rest
  line()->feed(reply.substr(5));
  passes(1);
  EXPECT_EQ(line()->frameCount(), 2u);
  EXPECT_EQ(ups.block(BlockKind::kAscii)->slot(41), 2301);
  EXPECT_EQ(ups.block(BlockKind::kAscii)->slot(42), 2310);
  EXPECT_EQ(ups.block(BlockKind::kAscii)->slot(43), -1);
}

// Answers that must change nothing and crash nothing, each to a request that
// is then still awaited or counted as not received.
TEST_F(AsciiFixture, HostileAnswersChangeNothing) {
  struct Case {
    const char* name;
    std::string request;  // the code asked
    std::string reply;
    bool sums;
  };
  std::string huge = "~01D999" + std::string(999, '1');
  const std::vector<Case> cases = {
      {"length 999", "STI", huge, false},
      {"address zz", "STI", "~zzD0041234", false},
      {"other unit", "STI", "~02D0041234", false},
      {"letter", "STI", "~01X0041234", false},
      {"length digits", "STI", "~01D0x41234", false},
      {"module 9", "PMA", "~01D0049;50", false},
      {"module 0 and -1", "PIV", "~01D0210;1;2;3;-1;4;5;6", false},
      {"ELS position 99", "ELS", "~01D00699;abc", false},
      {"ELS position 0", "ELS", "~01D0050;abc", false},
      {"bad sum", "STI", "~01D0041234" + std::string("00"), true},
  };
  for (const Case& c : cases) {
    DeviceNode node;
    AllocateNodeBlocks(node);
    node.setLinkStatus(kLinkIdentified);
    node.setUpsId(1);
    node.setCommType(kCommAscii);
    edit(node, [&](AsciiImage& img) {
      img.setChecksumFlag(c.sums);
      img.setEventLogPosition(1);
      img.setMask(ascii_off::kCapabilities, ~uint64_t{0});
    });
    auto before = node.block(BlockKind::kAscii)->copyOut();
    auto logBefore = eventLog_.copyOut();

    SerialPortRecord rec;
    rec.com = 1;
    auto ln = std::make_shared<ScriptedLine>();
    rec.port = std::make_unique<test::ScriptedSerialPort>(ln);
    rec.devices[1] = &node;
    rec.setRequest(BuildQueryFrame(1, c.request, c.sums), 1);
    ln->feed(c.reply);
    engine_.pollStep(rec, 1, 10);

    auto after = node.block(BlockKind::kAscii)->copyOut();
    // Only the engine's bookkeeping (wait counter, query index) may move; the
    // module and event-log answers reset their own slots to unknown.
    for (size_t off = 0; off < after.size(); ++off) {
      if (off >= ascii_off::kWaitCounter && off < ascii_off::kQueueCount) continue;
      if (c.request == "PMA" && off >= ascii_off::kSlots + 4 * 106 &&
          off < ascii_off::kSlots + 4 * 112)
        continue;
      if (c.request == "PIV" && off >= ascii_off::kSlots + 4 * 148 &&
          off < ascii_off::kSlots + 4 * 166)
        continue;
      if (c.request == "ELS" && off >= ascii_off::kEventLogPosition) continue;
      ASSERT_EQ(after[off], before[off]) << c.name << " offset " << off;
    }
    EXPECT_TRUE(eventLog_.copyOut() == logBefore) << c.name;
    EXPECT_LE(ln->pending(), 2u) << c.name << ": the rest of a bad frame is drained";
  }
}

TEST_F(AsciiFixture, OpenFailureMarksTheUnitsLostAndTheNextPassRetries) {
  DeviceNode& ups = addUps(1);
  opener_.setOpenFails(1, true);
  passes(1);
  EXPECT_TRUE((current(ups) >> kLinkLostBit) & 1u);
  EXPECT_EQ(ups.block(BlockKind::kAscii)->u8(ascii_off::kLostCounter), 5);
  opener_.setOpenFails(1, false);
  passes(1);
  EXPECT_TRUE(table_.isPortOpen(1));
  EXPECT_EQ(opener_.openCount(1), 2);
  EXPECT_EQ(opener_.lastParams(1).baud, 2400u);
  EXPECT_FALSE(opener_.lastParams(1).evenParity);
}

TEST_F(AsciiFixture, DeadLineIsClosedAndReopened) {
  addUps(1);
  ScriptedAsciiUps sim(line(), {Unit(1)}, false);
  framesAfter(3);
  line()->setFailed(true);
  passes(1);
  EXPECT_FALSE(table_.isPortOpen(1));
  passes(1);
  EXPECT_TRUE(table_.isPortOpen(1));
  EXPECT_EQ(opener_.openCount(1), 2);
}

TEST(AsciiCommands, TextsFollowTheCapabilities) {
  DeviceNode node;
  AllocateNodeBlocks(node);
  node.setCommType(kCommAscii);
  struct Case {
    int code, arg1;
    const char* plain;  // capabilities 42 and 44 clear
    const char* rich;   // both set
  };
  const std::vector<Case> cases = {
      {kCmdTestShort, 0, "S004TST3", "S004TST3"},
      {kCmdTestLong, 0, "S004TST4", "S004TST4"},
      {1613, 0, "", ""},
      {kCmdTestCancel, 0, "S004TST0", "S004TST0"},
      {kCmdBuzzerOn, 0, "S004BUZ1", "S004EDB1"},
      {kCmdBuzzerOff, 0, "S004BUZ2", "S004EDB2"},
      {kCmdBatteryTest, 10, "S005BTT10", "S005BTT10"},
      {kCmdShutdown, 0, "S004SDA1", "S004SDA1"},
      {kCmdShutdown, 120, "S006SDA120", "S006SDA120"},
      {kCmdShutdownRestore, 5, "S004SDR5", "S004SDR5"},
      {kCmdShutdownCancel, 0, "S004SDA0", "S004SDA0"},
      {kCmdEmergencyOff, 0, "", "S004EPO1"},
      {kCmdEmergencyOff, INT32_MAX, "", "S013EPO2147483648"},
  };
  for (bool rich : {false, true}) {
    node.block(BlockKind::kAscii)->withImage([&](Bytes b) {
      AsciiImage img(b);
      img.setCapability(42, rich);
      img.setCapability(44, rich);
    });
    for (const Case& c : cases) {
      EXPECT_EQ(AsciiUpsEngine::BuildSerialProtocolCommand(node, c.code, c.arg1, 0),
                rich ? c.rich : c.plain)
          << c.code;
    }
  }
  for (int i = 0; i < kAsciiQueueDepth; ++i) {
    EXPECT_TRUE(AsciiUpsEngine::QueueSerialProtocolCommand(node, "S004TST3"));
  }
  EXPECT_FALSE(AsciiUpsEngine::QueueSerialProtocolCommand(node, "S004TST4"));  // full: dropped
  AsciiUpsEngine::DropSerialProtocolCommand(node);
  EXPECT_FALSE(AsciiUpsEngine::QueueSerialProtocolCommand(node, std::string(33, 'x')));
  EXPECT_TRUE(AsciiUpsEngine::QueueSerialProtocolCommand(node, "S004TST4"));
}

}  // namespace
}  // namespace lark
