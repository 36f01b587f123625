// The three-phase binary engine stepped one exchange at a time on a scripted
// line, and its reply decoders on hand-made frames.
#include "devices/binary/binary_ups.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "common/checksum.h"
#include "devices/binary/binary_live_data.h"
#include "devices/binary/binary_reply.h"
#include "devices/port_table.h"
#include "tests/support/scripted_three_phase.h"

namespace lark {
namespace {

std::string Hex(const std::string& s) { return HexText(asBytes(s)); }

std::string Frame(uint8_t address, std::vector<uint8_t> body) {
  const auto f = BuildBinaryFrame(address, CBytes(body));
  return std::string(f.begin(), f.end());
}

class BinaryFixture : public ::testing::Test {
 protected:
  BinaryFixture()
      : engine_(eventLog_, [this](std::string_view s) { logs_.emplace_back(s); }),
        table_(opener_, nullptr, nullptr, SerialPollConfig{300, 3000}),
        ups_(opener_.line(1)) {
    table_.setEngine(kCommThreePhase, &engine_);
  }
  DeviceNode& add(int bus, bool eightTypes = true) {
    auto n = std::make_unique<DeviceNode>();
    n->setId(static_cast<int16_t>(bus + 100));
    n->setNodeKind(kNodeSerial);
    n->setCom("COM1");
    n->setUpsId(static_cast<int16_t>(bus));
    n->setCommType(kCommThreePhase);
    n->setBaud(9600);
    KeepOnlyCommTypeBlock(*n);
    EXPECT_TRUE(table_.AttachPortDevice(*n, false));
    ups_.add(bus, eightTypes);
    nodes_.push_back(std::move(n));
    return *nodes_.back();
  }
  void passes(int n) {
    for (int i = 0; i < n; ++i) table_.runPass(PortTable::kThreadB);
  }
  std::vector<std::string> framesAfter(size_t count) {
    for (int i = 0; i < 5000 && line()->frameCount() < count; ++i) passes(1);
    return line()->frames();
  }
  std::shared_ptr<test::ScriptedLine> line() { return opener_.line(1); }
  static LiveDataBlock& block(DeviceNode& n) { return *n.block(BlockKind::kBinary); }
  static bool lost(DeviceNode& n) { return (block(n).mask(MaskWord::kCurrent) >> 13) & 1u; }

  test::ScriptedPortOpener opener_;
  UpsEventLogBuffer eventLog_;
  std::vector<std::string> logs_;
  BinaryUpsEngine engine_;
  PortTable table_;
  test::ScriptedThreePhaseUps ups_;
  std::vector<std::unique_ptr<DeviceNode>> nodes_;
};

std::vector<int> Types(const std::vector<std::string>& frames, size_t from) {
  std::vector<int> t;
  for (size_t i = from; i < frames.size(); ++i) t.push_back(static_cast<uint8_t>(frames[i][3]));
  return t;
}

TEST_F(BinaryFixture, IdentifiesThenCyclesStatusTypesByModelByte) {
  for (bool eight : {true, false}) {
    SCOPED_TRACE(eight);
    line()->clearFrames();
    DeviceNode& n = add(1, eight);
    auto frames = framesAfter(10);
    EXPECT_EQ(Hex(frames[0]), "01 01 01 00 03");
    EXPECT_EQ(n.linkStatus(), kLinkIdentified);
    EXPECT_EQ(n.upsTypeCode(), 3);
    EXPECT_EQ(block(n).u32(bin_off::kModelByte), eight ? 2u : 1u);
    EXPECT_EQ(strAt(block(n).copyOut(), bin_off::kModel, bin_off::kModelSize), "TP3-30K");
    const std::vector<int> want = eight ? std::vector<int>{1, 2, 14, 4, 19, 22, 20, 24, 1}
                                        : std::vector<int>{1, 2, 14, 4, 1, 2, 14, 4, 1};
    EXPECT_EQ(Types(frames, 1), want);
    table_.DetachPortDevice(n, false);
  }
}

TEST_F(BinaryFixture, IdentifiesAgainAfterSixtyStatusPolls) {
  add(1);
  auto frames = framesAfter(64);
  std::vector<size_t> idents;
  for (size_t i = 0; i < frames.size(); ++i) {
    if (frames[i][3] == 0) idents.push_back(i);
  }
  EXPECT_EQ(idents, (std::vector<size_t>{0, 63}));  // 62 status queries: the counter passed 60
}

TEST_F(BinaryFixture, StoresStatusValuesAtTheirOffsets) {
  DeviceNode& n = add(1);
  ups_.unit(1).statusWord = 0x0041;
  framesAfter(12);
  const auto img = block(n).copyOut();
  auto slot = [&](int i) { return i32At(img, 280 + 4 * size_t(i)); };
  EXPECT_EQ(slot(54), 400);
  EXPECT_EQ(slot(41), 3);
  EXPECT_EQ(slot(42), 500);  // 10000000 / period 20000
  EXPECT_EQ(slot(62), 230 * 15);
  EXPECT_EQ(slot(104), 1);
  EXPECT_EQ(slot(105), 10);
  // Battery mode: status word bits 0 and 6.
  EXPECT_EQ(slot(57), 1);
  EXPECT_EQ(u64At(img, 8) & 0x401u, 0x401u);
}

TEST_F(BinaryFixture, ShutdownFrameAndAcknowledgements) {
  DeviceNode& n = add(1);
  framesAfter(3);
  const auto frame = BinaryUpsEngine::BuildSerialCommand(n, 1618, 300, 0);
  ASSERT_TRUE(BinaryUpsEngine::QueueSerialCommand(n, CBytes(frame)));
  ups_.unit(1).refuseControl = true;
  auto frames = framesAfter(6);
  EXPECT_EQ(Hex(frames[3]), "01 01 05 12 2C 01 FF FF 44");
  EXPECT_EQ(ups_.unit(1).controlLog.size(), 1u);
  ASSERT_FALSE(logs_.empty());
  EXPECT_NE(logs_.back().find("refused the control frame of type 0x12"), std::string::npos);
  EXPECT_FALSE(lost(n));
}

TEST_F(BinaryFixture, StrayAcknowledgementDoesNotAnswerAQuery) {
  add(1);
  ups_.silent = true;
  framesAfter(1);
  line()->feed("\x06");
  passes(3);
  EXPECT_EQ(line()->frameCount(), 1u);  // still waiting for the query's reply
}

TEST_F(BinaryFixture, ReadsTheEventLogInBlocks) {
  DeviceNode& n = add(1);
  framesAfter(3);
  const uint8_t ask[2] = {1, 26};
  ASSERT_TRUE(BinaryUpsEngine::QueueSerialCommand(n, CBytes(ask)));
  auto frames = framesAfter(12);
  std::vector<int> blocks;
  for (const auto& f : frames) {
    if (f[3] == 27) blocks.push_back(static_cast<uint8_t>(f[4]));
  }
  EXPECT_EQ(blocks, (std::vector<int>{1, 2, 3, 4, 5}));
  EXPECT_EQ(block(n).slot(106), 100);
  EXPECT_EQ(block(n).u16(bin_off::kLogPosition), 24);
  const auto buf = eventLog_.copyOut();
  EXPECT_EQ(buf[9 * 50 + 1], 50);  // record 50 starts with its number, high byte first
  EXPECT_EQ(buf[9 * 99 + 1], 99);
  EXPECT_EQ(buf[900], 0);  // nothing past the 100 records
}

TEST_F(BinaryFixture, FourthTimedOutWaitMarksLostAndRecoveryIdentifies) {
  DeviceNode& n = add(1);
  framesAfter(3);
  ups_.silent = true;
  const size_t start = line()->frameCount();
  framesAfter(start + 3);
  passes(12);
  EXPECT_FALSE(lost(n));
  framesAfter(start + 4);
  passes(12);
  EXPECT_TRUE(lost(n));
  // The alarm scan reports the loss; the next good reply clears it.
  block(n).setMask(MaskWord::kReported, block(n).mask(MaskWord::kCurrent));
  ups_.silent = false;
  const size_t back = line()->frameCount();
  auto frames = framesAfter(back + 3);
  EXPECT_FALSE(lost(n));
  EXPECT_EQ(frames[back + 1][3], 0);  // identified anew
}

// Hostile replies to the identification query and to event-log requests:
// nothing is written outside the block or the buffer (ASan watches), short
// replies fill nothing.
TEST(BinaryReply, RefusesShortAndOutOfRangeReplies) {
  struct Case {
    const char* name;
    std::vector<uint8_t> body;  // length byte on
    bool decoded;
  };
  std::vector<uint8_t> type1Short{10, 1, 1, 2, 3, 4, 5, 6, 7, 8, 9};
  const std::vector<Case> cases = {
      {"length 0", {0}, false},
      {"length 255", std::vector<uint8_t>(256, 255), false},
      {"short type 1", type1Short, false},
      {"type 0 short", {5, 0, 'A', 'B', 'C', 'D'}, false},
      {"block 0", {3, 27, 0, 9}, true},
      {"block 25", {3, 27, 25, 9}, true},
      {"block 255", {3, 27, 255, 9}, true},
      {"unknown type", {1, 99}, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    LiveDataBlock blk(BlockKind::kBinary);
    blk.withImage([](Bytes b) { BinaryImage(b).setLogPosition(1); });
    std::vector<uint8_t> frame{1, 1};
    frame.insert(frame.end(), c.body.begin(), c.body.end());
    frame.push_back(Sum8(CBytes(frame)));
    const auto before = blk.copyOut();
    BinaryReplyEffects fx;
    const bool ok = blk.withImage([&](Bytes b) { return DecodeBinaryReply(b, frame, &fx); });
    EXPECT_EQ(ok, c.decoded);
    EXPECT_FALSE(fx.logWrite);
    if (!ok) {
      EXPECT_EQ(blk.copyOut(), before);
    }
  }
}

TEST(BinaryReply, EventLogBlocksStopAtTheBuffer) {
  LiveDataBlock blk(BlockKind::kBinary);
  // Count 65535 reads as unknown; a count of 6000 records would ask past block 24.
  for (auto [count, position, wantNext] :
       {std::tuple<int, int, int>{6000, 24, 0}, {6000, 23, 24}, {100, 5, 0}, {-1, 1, 0}}) {
    blk.withImage([&](Bytes b) {
      BinaryImage img(b);
      img.setSlot(106, count);
      img.setLogPosition(position);
    });
    std::vector<uint8_t> body{0, 27, static_cast<uint8_t>(position)};
    body.resize(2 + 1 + 250, 0xAB);
    body[0] = static_cast<uint8_t>(body.size() - 1);
    const std::string f = Frame(1, body);
    BinaryReplyEffects fx;
    blk.withImage([&](Bytes b) { return DecodeBinaryReply(b, asBytes(f), &fx); });
    EXPECT_TRUE(fx.logWrite);
    EXPECT_EQ(fx.logBytes.size(), 200u);
    EXPECT_EQ(fx.logOffset, size_t(position - 1) * 200);
    EXPECT_EQ(fx.queueFrame.empty() ? 0 : fx.queueFrame[2], wantNext) << count << " " << position;
  }
}

TEST(BinaryReply, UnknownValuesStayUnknownAndProductsAreHeld) {
  LiveDataBlock blk(BlockKind::kBinary);
  std::vector<uint8_t> t2{21, 2};
  for (int i = 0; i < 10; ++i) {
    // w6 (slot 60) and w12 (slot 61) large; w8 (64) unknown; w18 period unknown.
    const uint16_t v = i == 3 || i == 6 ? 0xFFFE : i == 4 || i == 9 ? 0xFFFF : 5;
    t2.push_back(static_cast<uint8_t>(v & 0xFF));
    t2.push_back(static_cast<uint8_t>(v >> 8));
  }
  const std::string f = Frame(1, t2);
  BinaryReplyEffects fx;
  ASSERT_TRUE(blk.withImage([&](Bytes b) { return DecodeBinaryReply(b, asBytes(f), &fx); }));
  EXPECT_EQ(blk.slot(58), -1);
  EXPECT_EQ(blk.slot(62), 2147483647);
  EXPECT_EQ(blk.slot(66), -1);
  EXPECT_EQ(blk.slot(70), 25);
  const std::string t38 = Frame(1, {10, 38, 0, 0xFF, 0xFF, 28, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF});
  ASSERT_TRUE(blk.withImage([&](Bytes b) { return DecodeBinaryReply(b, asBytes(t38), &fx); }));
  EXPECT_EQ(blk.slot(107), -1);
  EXPECT_EQ(blk.slot(109), -1);
  EXPECT_EQ((blk.mask(MaskWord::kCurrent) >> 16) & 0xFF, 1u);  // code 28
}

}  // namespace
}  // namespace lark
