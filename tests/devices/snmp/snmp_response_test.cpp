// What answers do to a node: values, texts, debounced events, poll masks,
// identification, errors, and the sensor's illumination integral.
#include "devices/snmp/snmp_response.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "core/live_data.h"
#include "devices/snmp/snmp_live_data.h"
#include "devices/snmp/snmp_poller.h"
#include "tests/devices/snmp/snmp_fixture.h"
#include "tests/support/recording_event_log.h"

namespace lark {
namespace {

using test::Bind;
using test::Int;
using test::MakeSnmpNode;
using test::Null;
using test::Oid;
using test::Text;

// One or more SNMP nodes behind 127.0.0.9, each with its entry.
struct Agent {
  struct Device {
    std::unique_ptr<DeviceNode> node = std::make_unique<DeviceNode>();
    SnmpDeviceEntry entry;
  };
  std::vector<Device> devices;
  FakeClock clock{1000, WallTime{2026, 6, 15, 1, 12, 0, 0, 0}};
  test::RecordingEventLog log;
  std::vector<DeviceNode*> totals;
  SnmpResponseContext ctx;

  explicit Agent(uint8_t mib, int16_t upsId = 1) {
    add(mib, upsId);
    ctx.clock = &clock;
    ctx.eventLog = &log;
    ctx.findPeer = [this](uint32_t address, int16_t id) {
      for (Device& d : devices) {
        if (d.node->resolvedAddress() == address && d.node->upsId() == id) {
          return SnmpPeer{d.node.get(), &d.entry};
        }
      }
      return SnmpPeer{};
    };
    ctx.updateGroupTotals = [this](DeviceNode* n) { totals.push_back(n); };
  }
  Device& add(uint8_t mib, int16_t upsId) {
    devices.emplace_back();
    MakeSnmpNode(*devices.back().node, mib, upsId);
    devices.back().node->setTitle("UPS-A");
    return devices.back();
  }
  DeviceNode& node(size_t i = 0) { return *devices[i].node; }
  SnmpDeviceEntry& entry(size_t i = 0) { return devices[i].entry; }
  LiveDataBlock& block(size_t i = 0) { return *node(i).block(BlockKind::kSnmp); }
  uint64_t events(size_t i = 0) { return block(i).mask(MaskWord::kCurrent); }

  void answer(const std::vector<Bind>& binds, uint8_t pdu = kPduGetResponse, int32_t status = 0,
              int32_t index = 0) {
    SnmpCodec dec;
    ASSERT_TRUE(test::BuildAnswer(dec, binds, pdu, status, index));
    SnmpApplyResponse(ctx, dec, entry(), node());
  }
};

constexpr uint64_t Bit(int n) { return uint64_t{1} << n; }

TEST(SnmpResponse, MakerValuesTextsAndFirmwareBudget) {
  Agent a(kMibMakerUps);
  a.entry().unanswered = 7;
  a.answer({Int(MakerOid(3, 2), 230), Int(MakerOid(10, 14), -4), Int(MakerOid(1, 19), 3),
            Int(MakerOid(1, 18), 0x41), Int(MakerOid(1, 100), 9), Text(MakerOid(1, 1), "Model 3000"),
            Text(MakerOid(1, 6), std::string(70, 'x')), Text(MakerOid(7, 10), "ABCDEFGHIJK"),
            Text(SystemOid(kItemSysName), "ups-room-2")});
  EXPECT_EQ(a.entry().unanswered, 0);
  EXPECT_EQ(a.block().slot(21), 230);
  EXPECT_EQ(a.block().slot(87), -4);
  EXPECT_EQ(a.node().upsTypeCode(), 2);
  EXPECT_EQ(a.node().status2(), 0x41);
  EXPECT_EQ(a.block().u8(snmp_off::kIdentCode), 9);
  EXPECT_EQ(a.block().text(snmp_off::kText1Item1, snmp_off::kText1Item1Size), "Model 3000");
  EXPECT_EQ(a.block().text(snmp_off::kText1Item6, snmp_off::kText1Item6Size), "");  // too long
  EXPECT_EQ(a.block().text(snmp_off::kText7Item10, snmp_off::kText7Item10Size), "ABCDEFGH");
  EXPECT_EQ(a.block().text(snmp_off::kSysName, snmp_off::kSysNameSize), "ups-room-2");

  struct Case {
    const char* firmware;
    int16_t budget;
  };
  for (const Case& c : std::vector<Case>{
           {"2.10", 15}, {"2.1c", 40}, {"2.2", 40}, {"2.1", 15}, {"1.9z", 15}, {"", 15}, {"abc", 15}}) {
    a.block().putI16(snmp_off::kRequestBudget, 7);
    a.answer({Text(MakerOid(1, 4), c.firmware)});
    EXPECT_EQ(a.block().i16(snmp_off::kRequestBudget), c.budget) << c.firmware;
  }
}

TEST(SnmpResponse, DebouncedAlarmWordsAndDate) {
  Agent a(kMibMakerUps);
  a.block().setMask(MaskWord::kReported, 1);  // keeps the masks from widening
  // Alarm word 5 (bit 4) and group 10 item 9 (bit 29), answer by answer.
  const int values[] = {1, 1, 1, 0, 1, 0, 0, 0};
  const bool want[] = {false, false, true, true, true, true, true, false};
  for (size_t k = 0; k < std::size(values); ++k) {
    a.answer({Int(MakerOid(9, 5), values[k]), Int(MakerOid(10, 9), values[k])});
    EXPECT_EQ((a.events() & Bit(4)) != 0, want[k]) << "answer " << k;
    EXPECT_EQ((a.events() & Bit(29)) != 0, want[k]) << "answer " << k;
  }
  EXPECT_EQ(a.block().i32(snmp_off::kAlarmWords + 16), 0);

  struct DateCase {
    const char* text;
    bool due;
  };
  for (const DateCase& c : std::vector<DateCase>{{"20250101", true},
                                                 {"20260515", true},
                                                 {"20260615", true},
                                                 {"20260616", false},
                                                 {"20270101", false}}) {
    a.answer({Text(MakerOid(7, 11), c.text)});
    EXPECT_EQ((a.events() & Bit(snmp_off::kDateDueBit)) != 0, c.due) << c.text;
  }
}

TEST(SnmpResponse, MasksFollowTheAnswers) {
  Agent a(kMibMakerUps);
  // NULL: the object leaves its mask and the cursor restarts its group.
  a.node().setSnmpPollPosition(3);
  a.answer({Null(MakerOid(5, 3)), Int(MakerOid(10, 1), 0)});
  EXPECT_EQ(a.entry().pollMasks[5], 0u);
  EXPECT_EQ(a.node().snmpPollPosition(), 0);
  EXPECT_EQ(a.entry().pollMasks[10], SnmpFullMask(10));  // widened
  a.answer({Int(MakerOid(4, 1), 2)});                      // slot 27 above 0
  EXPECT_EQ(a.entry().pollMasks[4], SnmpFullMask(4));

  // An agent that answers NULL to everything: the masks empty out, and the
  // next poll puts them back.
  Agent b(kMibMakerUps);
  for (int round = 0; round < 2; ++round) {
    SnmpCodec codec, req;
    SnmpRequest out;
    ASSERT_EQ(SnmpPollDevice(codec, b.entry(), b.node(), 0, nullptr, &out), SnmpBuild::kReady);
    ASSERT_EQ(SnmpDecodeMessage(req, out.bytes), 0);
    std::vector<Bind> nulls;
    for (const SnmpVarBind& v : req.bindings()) {
      OidRef r;
      for (uint32_t arc : v.name) r.arcs[r.count++] = arc;
      nulls.push_back(Null(r));
    }
    b.answer(nulls);
  }
  for (int g = 1; g <= 10; ++g) EXPECT_EQ(b.entry().pollMasks[g], 0u) << g;
  SnmpCodec codec;
  SnmpRequest out;
  ASSERT_EQ(SnmpPollDevice(codec, b.entry(), b.node(), 0, nullptr, &out), SnmpBuild::kReady);
  EXPECT_EQ(b.entry().pollMasks, kSnmpDefaultPollMasks);
}

TEST(SnmpResponse, ErrorStatusStoresNothing) {
  // A v1 agent lacking object 4 of the request answers noSuchName, index 4,
  // every binding NULL.
  const std::vector<Bind> echo = {Null(MakerOid(1, 2)), Null(MakerOid(3, 1)), Null(MakerOid(4, 1)),
                                  Null(MakerOid(5, 3)), Null(MakerOid(6, 2))};
  Agent a(kMibMakerUps);
  a.entry().unanswered = 5;
  a.answer(echo, kPduGetResponse, kSnmpNoSuchName, 4);
  EXPECT_EQ(a.entry().unanswered, 0);
  std::array<uint64_t, kSnmpMaskCount> want = kSnmpDefaultPollMasks;
  want[5] = 0;
  EXPECT_EQ(a.entry().pollMasks, want);

  // Other errors and indexes outside the bindings change nothing but the count.
  for (auto [status, index] : std::vector<std::pair<int, int>>{{kSnmpGenErr, 1}, {kSnmpNoSuchName, 0},
                                                               {kSnmpNoSuchName, 6}, {kSnmpTooBig, 0}}) {
    Agent b(kMibMakerUps);
    b.entry().unanswered = 5;
    std::vector<uint8_t> before = b.block().copyOut();
    b.answer({Int(MakerOid(3, 1), 5)}, kPduGetResponse, status, index);
    EXPECT_EQ(b.entry().unanswered, 0);
    EXPECT_EQ(b.block().copyOut(), before) << status;
    EXPECT_EQ(b.entry().pollMasks, kSnmpDefaultPollMasks) << status << "/" << index;
  }

  // Discovery: the maker object a standard agent lacks is left out next time,
  // and sysObjectID then gets through.
  Agent d(kMibUnknown);
  std::vector<Bind> disc;
  for (int i = 0; i < kDiscoveryCount; ++i) disc.push_back(Null(DiscoveryOid(i)));
  d.answer(disc, kPduGetResponse, kSnmpNoSuchName, 5);
  EXPECT_EQ(d.entry().discoveryMissing, 1u << 4);
  SnmpCodec codec;
  SnmpRequest out;
  ASSERT_EQ(SnmpPollDevice(codec, d.entry(), d.node(), 0, nullptr, &out), SnmpBuild::kReady);
  EXPECT_EQ(codec.bindingCount(), 4);
  d.answer({Oid(SystemOid(kItemSysObjectId), {1, 3, 6, 1, 4, 1, 7321, 2, 20, 1})});
  EXPECT_EQ(d.node().mibType(), kMibInverter);
  EXPECT_EQ(d.entry().state, kSnmpEntryActive);
}

TEST(SnmpResponse, WrongTypesAndUnknownObjectsChangeNothing) {
  const std::vector<std::vector<Bind>> answers = {
      {Int(SystemOid(kItemSysObjectId), 5)},
      {Int(SystemOid(kItemSysName), 5)},
      {Text(MakerOid(3, 1), "230")},
      {Int(MakerOid(1, 4), 21)},
      {Int(MakerOid(11, 1), 5)},
      {Int(MakerOid(3, 99), 5)},
      {Int(MakerOid(9, 29), 5)},
      {Int(MakerOid(0, 1), 5)},
      {Int(DeviceOid(1, 7, 1), 5)},
      {Int(DeviceOid(1, 3, 14), 5)},
      {Int(DeviceOid(40000, 3, 2), 5)},
      {Text(DeviceOid(1, 3, 2), "x")},
      {Null(MakerOid(3, 1))},  // as a GetRequest, below
  };
  for (size_t k = 0; k < answers.size(); ++k) {
    Agent a(kMibMakerUps);
    std::vector<uint8_t> before = a.block().copyOut();
    uint8_t pdu = k + 1 == answers.size() ? kPduGetRequest : kPduGetResponse;
    a.answer(answers[k], pdu);
    EXPECT_EQ(a.block().copyOut(), before) << "answer " << k;
    EXPECT_EQ(a.entry().pollMasks, kSnmpDefaultPollMasks) << "answer " << k;
    EXPECT_EQ(a.node().mibType(), kMibMakerUps) << "answer " << k;
  }
}

TEST(SnmpResponse, IdentificationAndUnsupportedAgent) {
  Agent a(kMibMakerUps);
  a.block().setMaskBits(MaskWord::kCurrent, snmp_off::kNoResponseBit);
  a.answer({Oid(SystemOid(kItemSysObjectId), {1, 3, 6, 1, 4, 1, 7321, 2, 4})});
  EXPECT_EQ(a.entry().state, kSnmpEntryActive);
  EXPECT_EQ(a.events() & snmp_off::kNoResponseBit, 0u);
  EXPECT_EQ(a.node().mibType(), kMibMakerUps);

  // Another MIB: reported once, as a warning, and the type goes back to 0.
  for (int k = 0; k < 3; ++k) a.answer({Oid(SystemOid(kItemSysObjectId), {1, 3, 6, 1, 4, 1, 8072, 3, 2, 10})});
  EXPECT_EQ(a.node().mibType(), kMibUnknown);
  auto lines = a.log.events();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].level, kLevelWarning);
  EXPECT_EQ(lines[0].code, kSystemEventCode);
  EXPECT_EQ(lines[0].text, "(UPS-A) responded but Gridwarden Manager cannot support its SNMP MIB!");

  // Texts from the agent reach the monitor as one line each.
  std::vector<std::string> rx;
  a.ctx.traffic = [&](std::string_view t, int dir) { rx.emplace_back(t); };
  a.answer({Text(SystemOid(kItemSysLocation), "hall\r\n12:00:00 forged")});
  ASSERT_EQ(rx.size(), 1u);
  EXPECT_EQ(rx[0], "1.3.6.1.2.1.1.6.0=hall\\x0D\\x0A12:00:00 forged");
}

TEST(SnmpResponse, DeviceMibUnitsAndRunningState) {
  Agent a(kMibInverter, 3);
  a.add(kMibSensor, 5);   // a sensor at another UPSID does not take unit 100
  a.add(kMibSensor, 32);  // this one does
  a.answer({Int(DeviceOid(3, 1, 2), 5000), Int(DeviceOid(3, 3, 12), 25), Int(DeviceOid(3, 4, 3), 80),
            Int(DeviceOid(100, 2, 4), 41), Int(DeviceOid(9, 3, 2), 1)});
  EXPECT_EQ(a.block(0).slot(21), 5000);
  EXPECT_EQ(a.block(0).text(snmp_off::kText1Item2, snmp_off::kText1Item2Size), "5000W");
  EXPECT_EQ(a.block(0).slot(15), 250);
  EXPECT_EQ(a.block(0).slot(12), 80);
  EXPECT_EQ(a.block(1).slot(1), -1);
  EXPECT_EQ(a.block(2).slot(1), 41);
  ASSERT_EQ(a.totals.size(), 2u);
  EXPECT_EQ(a.totals[1], &a.node(2));

  // Running state: load 80 counts minutes until a minute of polls has passed.
  a.ctx.snmpPollingMs = 20000;  // three polls a minute
  for (int k = 0; k < 6; ++k) a.answer({Int(DeviceOid(3, 6, 15), 1)});
  EXPECT_NE(a.events(0) & Bit(15), 0u);
  EXPECT_EQ(a.block(0).slot(12), -1);
  // Stopped three times: the unit's lost-state bits clear.
  for (int k = 0; k < 3; ++k) a.answer({Int(DeviceOid(3, 6, 15), 0)});
  EXPECT_EQ(a.events(0) & (Bit(15) | Bit(16)), 0u);
  // Load out of range: bit 16 at the third running answer.
  a.answer({Int(DeviceOid(3, 4, 3), 400)});
  for (int k = 0; k < 3; ++k) a.answer({Int(DeviceOid(3, 6, 15), 1)});
  EXPECT_NE(a.events(0) & Bit(16), 0u);
}

TEST(SnmpResponse, IlluminationIntegral) {
  struct Case {
    const char* what;
    uint32_t start;
    std::vector<std::pair<uint32_t, int32_t>> steps;  // ms later, reading
    int32_t want;
  };
  const std::vector<Case> cases = {
      {"plain", 1000, {{0, 100}, {5000, 100}}, 500},
      {"across the wrap", 0xFFFFF000u, {{0, 100}, {5000, 100}}, 500},
      {"from a real tick 0 (kept as 1)", 0, {{0, 100}, {2001, 100}}, 200},
      {"part seconds carry", 1000, {{0, 100}, {1500, 100}, {1500, 100}}, 300},
      {"under the minimum", 1000, {{0, 15}, {5000, 15}}, -1},
      {"long silence saturates", 1000, {{0, 2000000}, {2000000000u, 2000000}}, INT32_MAX},
  };
  for (const Case& c : cases) {
    Agent a(kMibSensor, 32);
    a.clock.setTick(c.start);
    for (auto [ms, reading] : c.steps) {
      a.clock.advance(ms);
      a.answer({Int(DeviceOid(100, 2, 3), reading)});
      EXPECT_NE(a.block().u32(snmp_off::kIlluminationTick), 0u) << c.what;
    }
    EXPECT_EQ(a.block().slot(6), c.want) << c.what;
    EXPECT_EQ(a.block().slot(0), c.steps.back().second) << c.what;
  }
}

}  // namespace
}  // namespace lark
