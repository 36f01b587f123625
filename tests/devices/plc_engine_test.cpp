// The Modbus ASCII PLC master: the frame codec by table, and the engine
// stepped one exchange at a time on a scripted line.
#include "devices/plc/plc_engine.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "devices/ascii_live_data.h"
#include "devices/plc/modbus_ascii.h"
#include "devices/port_table.h"
#include "tests/support/scripted_serial_port.h"

namespace lark {
namespace {

TEST(ModbusAsciiFrames, RequestGoldenText) {
  EXPECT_EQ(BuildPlcRequest(1, 0x0500, 16), ":010205000010E8\r\n");
  EXPECT_EQ(BuildPlcRequest(0x11, 0x0400, 160), ":1102040000A049\r\n");
  EXPECT_EQ(BuildPlcAnswer(1, {0x12, 0x34}), ":0102021234B5\r\n");
  EXPECT_EQ(PlcQuantity(0), 1);
  EXPECT_EQ(PlcQuantity(-5), 1);
  EXPECT_EQ(PlcQuantity(32767), kPlcMaxPoints);
}

TEST(ModbusAsciiFrames, AnswerTable) {
  struct Case {
    const char* text;
    int quantity;
    PlcAnswer::Status status;
    std::vector<uint8_t> data;
  };
  const Case cases[] = {
      {":0102021234B5\r\n", 16, PlcAnswer::kComplete, {0x12, 0x34}},
      {":0102021234b5\r\n", 16, PlcAnswer::kComplete, {0x12, 0x34}},  // lower case
      {":01020155A7\r\n", 3, PlcAnswer::kComplete, {0x55}},
      {":0102021234B5", 16, PlcAnswer::kNeedMore, {}},  // split before CR LF
      {":0102", 16, PlcAnswer::kNeedMore, {}},
      {"", 16, PlcAnswer::kNeedMore, {}},
      {"x:0102021234B5\r\n", 16, PlcAnswer::kBad, {}},   // garbage before ":"
      {":0102021234B6\r\n", 16, PlcAnswer::kBad, {}},    // wrong LRC
      {":01020212G4B5\r\n", 16, PlcAnswer::kBad, {}},    // non-hex data digit
      {":0G02021234B5\r\n", 16, PlcAnswer::kBad, {}},    // non-hex header digit
      {":0202021234B4\r\n", 16, PlcAnswer::kBad, {}},    // another address
      {":0103021234B4\r\n", 16, PlcAnswer::kBad, {}},    // another function
      {":0182027B\r\n", 16, PlcAnswer::kBad, {}},        // exception reply
      {":0102031234565E\r\n", 16, PlcAnswer::kBad, {}},  // byte count 3 for 16 points
      {":0102FF", 16, PlcAnswer::kBad, {}},              // byte count beyond any range
      {":0102021234B5\n\r", 16, PlcAnswer::kBad, {}},    // no CR LF
  };
  for (const Case& c : cases) {
    PlcAnswer a = ReadPlcAnswer(c.text, 1, c.quantity);
    EXPECT_EQ(a.status, c.status) << c.text;
    EXPECT_EQ(a.data, c.data) << c.text;
  }
}

// Answers requests as PLCs would: inputs[addr] for 0x0400, outputs[addr] for 0x0500.
struct ScriptedPlcs {
  std::map<int, std::vector<uint8_t>> inputs, outputs;
  bool silent = false;
  std::string nextReply;  // replaces the next answer when set
  std::vector<std::string> asked;

  void answer(test::ScriptedLine& line, const std::string& frame) {
    asked.push_back(frame);
    if (silent) return;
    if (!nextReply.empty()) {
      line.feed(nextReply);
      nextReply.clear();
      return;
    }
    int addr = std::stoi(frame.substr(1, 2), nullptr, 16);
    bool outs = frame.substr(5, 2) == "05";
    auto& m = outs ? outputs : inputs;
    if (m.count(addr)) line.feed(BuildPlcAnswer(addr, m[addr]));
  }
};

class PlcFixture : public ::testing::Test {
 protected:
  PlcFixture()
      : engine_([this](std::string_view s) { logs_.emplace_back(s); }),
        table_(opener_, nullptr, nullptr, SerialPollConfig{300, 3000}) {
    table_.setEngine(kCommPlc, &engine_);
    opener_.line(1)->setResponder([this](const std::string& f) { plcs_.answer(*opener_.line(1), f); });
  }
  DeviceNode& addPlc(int bus, int16_t points) {
    auto n = std::make_unique<DeviceNode>();
    n->setId(static_cast<int16_t>(nodes_.size() + 1));
    n->setNodeKind(kNodeSerial);
    n->setCom("COM1");
    n->setUpsId(static_cast<int16_t>(bus));
    n->setCommType(kCommPlc);
    n->setPlcPointNum(points);
    AllocateNodeBlocks(*n);
    EXPECT_TRUE(table_.AttachPortDevice(*n, false));
    nodes_.push_back(std::move(n));
    return *nodes_.back();
  }
  void passes(int n) {
    for (int i = 0; i < n; ++i) table_.runPass(PortTable::kThreadA);
  }
  static bool lost(DeviceNode& n) { return n.block(BlockKind::kAscii)->mask(MaskWord::kCurrent) & 1; }
  static int32_t slot(DeviceNode& n, int i) { return n.block(BlockKind::kAscii)->slot(i); }

  std::vector<std::string> logs_;
  test::ScriptedPortOpener opener_;
  ModbusAsciiPlcEngine engine_;
  PortTable table_;
  ScriptedPlcs plcs_;
  std::vector<std::unique_ptr<DeviceNode>> nodes_;
};

TEST_F(PlcFixture, RangesAlternateStartingWithOutputs) {
  DeviceNode& plc = addPlc(1, 16);
  plcs_.inputs[1] = {0x12, 0x34};
  plcs_.outputs[1] = {0xA5, 0x0F};
  passes(8);
  ASSERT_GE(plcs_.asked.size(), 3u);
  EXPECT_EQ(plcs_.asked[0], ":010205000010E8\r\n");
  EXPECT_EQ(plcs_.asked[1], ":010204000010E9\r\n");
  EXPECT_EQ(plcs_.asked[2], plcs_.asked[0]);
  EXPECT_EQ(slot(plc, 0), 0x12);
  EXPECT_EQ(slot(plc, 1), 0x34);
  EXPECT_EQ(slot(plc, 2), -1);
  EXPECT_EQ(slot(plc, 20), 0xA5);
  EXPECT_EQ(slot(plc, 21), 0x0F);
  EXPECT_EQ(plc.linkStatus(), kLinkIdentified);
}

TEST_F(PlcFixture, TwoPlcsOnOneLineTakeTurns) {
  DeviceNode& a = addPlc(1, 8);
  DeviceNode& b = addPlc(7, 24);
  plcs_.inputs[1] = {1};
  plcs_.outputs[1] = {2};
  plcs_.inputs[7] = {3, 4, 5};
  plcs_.outputs[7] = {6, 7, 8};
  passes(12);
  EXPECT_EQ(slot(a, 0), 1);
  EXPECT_EQ(slot(a, 20), 2);
  EXPECT_EQ(slot(b, 2), 5);
  EXPECT_EQ(slot(b, 22), 8);
}

TEST_F(PlcFixture, SilenceSetsLossAfterFourRoundsAndAnAnswerClearsIt) {
  DeviceNode& plc = addPlc(1, 16);
  plcs_.inputs[1] = {1, 2};
  plcs_.outputs[1] = {3, 4};
  passes(4);
  plcs_.silent = true;
  // Each round is the sending step plus ten waiting steps plus the give-up step.
  const int round = static_cast<int>(SerialPollConfig{300, 3000}.timeoutPolls()) + 1;
  passes(1 + 3 * round);
  EXPECT_FALSE(lost(plc));
  passes(round);
  EXPECT_TRUE(lost(plc));
  EXPECT_EQ(slot(plc, 1), 2);  // the last bytes stay
  plcs_.silent = false;
  plcs_.inputs[1] = {9, 9};
  passes(round + 4);
  EXPECT_FALSE(lost(plc));
  EXPECT_EQ(slot(plc, 0), 9);
}

// Every bad answer stores nothing and clears no loss; the next good one is stored.
TEST_F(PlcFixture, BadAnswersStoreNothing) {
  const char* bad[] = {
      ":0102021234B6\r\n",        // bad LRC
      ":01020212G4B5\r\n",        // non-hex digit
      ":0202021234B4\r\n",        // wrong address
      ":018202FB\r\n",            // exception reply
      ":0102031234565E\r\n",      // wrong byte count
      "zz:0102021234B5\r\n",      // garbage before ":"
      ":0102021234B5\n\n",        // no CR LF
  };
  DeviceNode& plc = addPlc(1, 16);
  plcs_.inputs[1] = {0x12, 0x34};
  plcs_.outputs[1] = {0x56, 0x78};
  passes(4);
  ASSERT_EQ(slot(plc, 20), 0x56);
  for (const char* reply : bad) {
    SCOPED_TRACE(reply);
    plcs_.inputs[1] = {0x99, 0x99};
    plcs_.outputs[1] = {0x99, 0x99};
    plcs_.nextReply = reply;
    size_t before = plcs_.asked.size();
    while (plcs_.asked.size() == before) passes(1);
    plc.block(BlockKind::kAscii)->setMaskBits(MaskWord::kCurrent, 1);
    passes(1);  // collects the bad answer and asks again
    EXPECT_NE(slot(plc, 0), 0x99);
    EXPECT_NE(slot(plc, 20), 0x99);
    EXPECT_TRUE(lost(plc));
    passes(2);
    EXPECT_TRUE(slot(plc, 0) == 0x99 || slot(plc, 20) == 0x99);
    EXPECT_FALSE(lost(plc));
    plcs_.inputs[1] = {0x12, 0x34};
    plcs_.outputs[1] = {0x56, 0x78};
    passes(4);
  }
}

TEST_F(PlcFixture, SplitAnswerIsCollectedOverSteps) {
  DeviceNode& plc = addPlc(1, 16);
  opener_.line(1)->setResponder([&](const std::string& f) {
    plcs_.asked.push_back(f);
    if (plcs_.asked.size() == 1) opener_.line(1)->feed(":01020");
  });
  while (plcs_.asked.empty()) passes(1);
  passes(1);
  EXPECT_EQ(slot(plc, 20), -1);
  opener_.line(1)->feed("2A50F47\r\n");
  passes(1);
  EXPECT_EQ(slot(plc, 20), 0xA5);
  EXPECT_EQ(slot(plc, 21), 0x0F);
}

}  // namespace
}  // namespace lark
