// The register maps: a table of registers and the slots, bits and texts they
// give per device type, then the debounced module bits and the guarded sums.
#include "devices/modbus/modbus_maps.h"

#include <gtest/gtest.h>

#include <climits>
#include <functional>
#include <map>
#include <vector>

#include "core/live_data.h"
#include "devices/modbus/modbus_live_data.h"
#include "devices/modbus/modbus_poll_table.h"

namespace lark {
namespace {

// A read answer to `row` built from register values (or input bits);
// registers not given read 0.
struct Answer {
  std::vector<uint8_t> data;
  RtuReadAnswer a;
  Answer(PollRow row, const std::map<int, uint16_t>& values) {
    if (row.function <= 2) {
      data.assign((row.quantity + 7u) / 8u, 0);
      for (auto [n, v] : values) {
        if (v)
          data[static_cast<size_t>(n - row.start) / 8] |=
              static_cast<uint8_t>(1u << ((n - row.start) % 8));
      }
    } else {
      data.assign(2u * row.quantity, 0);
      for (auto [r, v] : values) putBe16(Bytes(data), 2 * static_cast<size_t>(r - row.start), v);
    }
    a = RtuReadAnswer{row.function, row.start, row.quantity, CBytes(data)};
  }
};

BlockKind KindOf(int ct) {
  return ct == 7 ? BlockKind::kSensor : ct == 8 ? BlockKind::kMeter : BlockKind::kModbus;
}

struct Case {
  const char* name;
  int commType;
  uint16_t linkStatus;
  PollRow row;
  std::map<int, uint16_t> values;
  std::function<void(const LiveDataBlock&, const MapNodeState&)> check;
  int32_t gateS0 = 0;
};

TEST(ModbusMaps, RegistersGiveTheirSlots) {
  const Case cases[] = {
      {"ups 65535 is no value, ratings scaled",
       2,
       0,
       {4, 1024, 27},
       {{1026, 65535}, {1029, 2300}, {1038, 3}},
       [](auto& b, auto& n) {
         EXPECT_EQ(b.slot(1), -1);
         EXPECT_EQ(b.slot(4), 23000);
         EXPECT_TRUE(n.operatingStateSet);
         EXPECT_EQ(n.operatingState, 3);
       }},
      {"ups texts low byte first",
       2,
       0,
       {4, 1272, 35},
       {{1272, 0x4241}, {1273, 0x0043}, {1283, 0x5A59}},
       [](auto& b, auto&) {
         EXPECT_EQ(b.text(mb_off::kMake, 17), "ABC");
         EXPECT_EQ(b.text(mb_off::kModel, 17), "YZ");
       }},
      {"ups input 275 on clears bit 19",
       2,
       1,
       {2, 256, 48},
       {{275, 1}, {256, 1}, {277, 1}},
       [](auto& b, auto&) {
         const uint64_t m = b.mask(MaskWord::kCurrent);
         EXPECT_EQ(m & (1u << 19), 0u);
         EXPECT_NE(m & 1u, 0u);
         EXPECT_NE(m & (1u << 21), 0u);
       }},
      {"ups input 275 off sets bit 19",
       2,
       1,
       {2, 256, 48},
       {},
       [](auto& b, auto&) { EXPECT_NE(b.mask(MaskWord::kCurrent) & (1u << 19), 0u); }},
      {"ups mode 2 on battery",
       2,
       1,
       {4, 1054, 101},
       {{1090, 2}, {1055, 1}, {1128, 0x0107}},
       [](auto& b, auto& n) {
         EXPECT_EQ(b.mask(MaskWord::kCurrent), (1u << 20) | (1u << 22));
         EXPECT_EQ(n.status2, 7);
       }},
      {"ups dates that do not fit stay empty",
       2,
       1,
       {3, 768, 34},
       {{775, 2024}, {776, 7}, {777, 1}, {778, 65534}, {779, 1}, {780, 1}, {772, 230}},
       [](auto& b, auto&) {
         EXPECT_EQ(b.text(mb_off::kFirstDate, 9), "20240701");
         EXPECT_EQ(b.text(mb_off::kSecondDate, 9), "");
         EXPECT_EQ(b.slot(7), 230);
       }},
      {"ups module values by index",
       2,
       1,
       {4, 1158, 100},
       {{1158, 0x0502},
        {1170, 3},
        {1171, 0x1234},
        {1200, 2},
        {1201, 11},
        {1203, 13},
        {1242, 1},
        {1243, 7}},
       [](auto& b, auto&) {
         EXPECT_EQ(b.slot(107), 5);
         EXPECT_EQ(b.slot(106), -1);
         EXPECT_EQ(b.slot(120), 0x1234);
         EXPECT_EQ(b.slot(140), 11);
         EXPECT_EQ(b.slot(141), 13);
         EXPECT_EQ(b.slot(151), 7);
       }},
      {"trv5200 rating 0 leaves the load unknown",
       3,
       1,
       {3, 256, 86},
       {{261, 5}, {258, 1}},
       [](auto& b, auto&) { EXPECT_EQ(b.slot(45), -1); }},
      {"trv5200 status bits",
       3,
       1,
       {3, 64, 15},
       {{64, 0x0002}, {72, 0x2000}},
       [](auto& b, auto&) {
         const uint64_t m = b.mask(MaskWord::kCurrent);
         EXPECT_NE(m & (1ull << 3), 0u);   // 64.1 set when 1
         EXPECT_NE(m & (1ull << 15), 0u);  // 64.0 set when 0
         EXPECT_NE(m & (1ull << 7), 0u);   // 72.13 OR
         EXPECT_NE(m & (1ull << 0), 0u);   // 72.4 set when 0
       }},
      {"9315 inputs",
       5,
       1,
       {2, 7, 354},
       {{15, 1}, {360, 1}},
       [](auto& b, auto&) {
         const uint64_t m = b.mask(MaskWord::kCurrent);
         EXPECT_NE(m & (1ull << 2), 0u);
         EXPECT_NE(m & (1ull << 23), 0u);
         EXPECT_NE(m & (1ull << 32), 0u);  // input 111 off
       }},
      {"9315 values",
       5,
       1,
       {4, 0, 81},
       {{3, 230}, {21, 5000}},
       [](auto& b, auto&) {
         EXPECT_EQ(b.slot(0), 230);
         EXPECT_EQ(b.slot(19), 5000);
         EXPECT_EQ(b.slot(20), -1);  // no rating yet
       }},
      {"inverter 1023 = 0 gives mask 0x1",
       6,
       1,
       {4, 1023, 30},
       {{1028, 0x0203}, {1029, 3000}, {1031, 1}, {1032, 2}, {1051, 0x0102}, {1052, 1000}},
       [](auto& b, auto&) {
         EXPECT_EQ(b.mask(MaskWord::kCurrent), 0x1u);
         EXPECT_EQ(b.text(mb_off::kThirdText, 17), "2.3");
         EXPECT_EQ(b.text(mb_off::kModel, 17), "3000W");
         EXPECT_EQ(b.slot(18), 65538);
         EXPECT_EQ(b.slot(15), 256 + 20);
         EXPECT_EQ(b.slot(16), 1000);
       }},
      {"inverter phase sums",
       6,
       1,
       {4, 1077, 9},
       {{1077, 1}, {1078, 2}, {1079, 3}, {1081, 5000}},
       [](auto& b, auto&) {
         EXPECT_EQ(b.slot(22), 6);
         EXPECT_EQ(b.slot(25), 5);
         EXPECT_EQ(b.slot(23), 5);
       }},
      {"sensor register 0 = 32768 gives 50",
       7,
       1,
       {4, 0, 6},
       {{0, 32768}, {4, 12}, {5, 0}},
       [](auto& b, auto&) {
         EXPECT_EQ(b.slot(1), 50);
         EXPECT_EQ(b.slot(0), 120);
         EXPECT_EQ(b.slot(5), -2000);
       }},
      {"meter without production",
       8,
       1,
       {3, 1099, 3},
       {{1099, 7}},
       [](auto& b, auto&) { EXPECT_EQ(b.slot(7), 0); }},
      {"meter producing",
       8,
       1,
       {3, 1099, 3},
       {{1099, 7}},
       [](auto& b, auto&) { EXPECT_EQ(b.slot(7), 70); },
       1},
      {"meter power negative taken as 0",
       8,
       1,
       {3, 1142, 1},
       {{1142, 0xFFF0}},
       [](auto& b, auto&) { EXPECT_EQ(b.slot(0), 0); },
       1},
      {"meter energy",
       8,
       1,
       {3, 1699, 4},
       {{1699, 5000}, {1700, 1}, {1702, 1}},
       [](auto& b, auto&) {
         const uint64_t e = (5000 + 10000 + 1000000000000ull) / 100;
         EXPECT_EQ(static_cast<uint32_t>(b.slot(1)), static_cast<uint32_t>(e));
         EXPECT_EQ(b.slot(2), static_cast<int32_t>(e >> 32));
       },
       1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    LiveDataBlock b(KindOf(c.commType));
    if (c.commType == 7) PresetTwoPointSensor(b);
    MapNodeState st;
    st.linkStatus = c.linkStatus;
    st.gateS0 = c.gateS0;
    st.nowTick = 1000;
    Answer ans(c.row, c.values);
    b.withImage([&](Bytes img) { ParseModbusReply(c.commType, ans.a, img, st); });
    c.check(b, st);
  }
}

TEST(ModbusMaps, MeterWithoutProductionKeepsItsEnergy) {
  LiveDataBlock b(BlockKind::kMeter);
  MapNodeState st;
  st.gateS0 = 1;
  Answer on({3, 1699, 4}, {{1699, 900}});
  b.withImage([&](Bytes img) { ParseModbusMeterReply(on.a, img, st); });
  st.gateS0 = 0;
  Answer off({3, 1699, 4}, {{1699, 100}});
  b.withImage([&](Bytes img) { ParseModbusMeterReply(off.a, img, st); });
  EXPECT_EQ(b.slot(1), 9);
}

// From a settled clear state, an alarm on for five polls leaves its bit clear;
// six in a row set it. An absent module word (-1) is never ORed in.
TEST(ModbusMaps, ModuleBitsAreDebounced) {
  for (int polls : {5, 6}) {
    LiveDataBlock b(BlockKind::kModbus);
    MapNodeState st;
    st.linkStatus = 1;
    Answer on({4, 1158, 100}, {{1170, 1}, {1171, 0x0001}});  // module 1, fault bit 0
    Answer off({4, 1158, 100}, {});
    for (int i = 0; i < polls; ++i)
      b.withImage([&](Bytes img) { ParseModbusUpsReply(on.a, img, st); });
    b.withImage([&](Bytes img) { ParseModbusUpsReply(off.a, img, st); });
    EXPECT_EQ((b.mask(MaskWord::kExtCurrent) & 2u) != 0, polls == 6) << polls;
    EXPECT_EQ(b.mask(MaskWord::kExtCurrent) & ~2ull, 0u) << polls;  // the -1 slots set nothing
  }
}

TEST(ModbusMaps, SensorDayTotalIsHeldAtTheLargestI32) {
  LiveDataBlock b(BlockKind::kSensor);
  PresetTwoPointSensor(b);
  MapNodeState st;
  Answer bright({4, 0, 6}, {{4, 60000}});  // slot 0 = 600000
  for (uint32_t tick : {1000u, 4000000u, 9000000u}) {
    st.nowTick = tick;
    b.withImage([&](Bytes img) { ParseModbusSensorReply(bright.a, img, st); });
  }
  EXPECT_EQ(b.slot(6), INT32_MAX);
  // Below the minimum nothing is added.
  LiveDataBlock dim(BlockKind::kSensor);
  PresetTwoPointSensor(dim);
  Answer dark({4, 0, 6}, {{4, 1}});
  for (uint32_t tick : {1000u, 5000u}) {
    st.nowTick = tick;
    dim.withImage([&](Bytes img) { ParseModbusSensorReply(dark.a, img, st); });
  }
  EXPECT_LE(dim.slot(6), 0);
}

TEST(ModbusPollTable, CommandPdus) {
  struct Case {
    int code;
    int32_t arg1, arg2;
    std::vector<ModbusPdu> want;
  };
  const Case cases[] = {
      {1611, 0, 0, {{6, 3, 2, 0, 3}}},
      {1615, 0, 0, {{5, 2, 6, 0xFF, 0}}},
      {1618, 0, 0, {{6, 3, 0, 0, 1}}},
      {1619, 5, 2, {{6, 3, 1, 0, 5}, {6, 3, 0, 0, 2}}},
      {1619, 5, -1, {{6, 3, 1, 0, 5}}},
      {1617, 300, 0, {{6, 3, 0x0E, 1, 44}}},
      {1617, -1, 0, {}},
      {1619, 5, 70000, {}},
      {1613, 0, 0, {}},
      {1621, 1, 0, {}},
  };
  for (const Case& c : cases)
    EXPECT_EQ(ModbusCommandPdus(c.code, c.arg1, c.arg2), c.want) << c.code;
}

}  // namespace
}  // namespace lark
