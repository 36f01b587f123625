// Device-list cells and sort keys, from snapshots of nodes with hand-set blocks.
#include "console/lists/device_cells.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <numeric>
#include <random>
#include <utility>

#include "console/lists/device_sort.h"

namespace lark {
namespace {

using Sets = std::vector<std::pair<size_t, int32_t>>;

DeviceRowData Row(DeviceFamily f, Sets sets, uint8_t mib = 0) {
  DeviceRowData d;
  d.family = f;
  d.mibType = mib;
  d.title = "Pump";
  d.block = LiveDataBlock(FamilyBlock(f)).copyOut();
  for (auto [off, v] : sets) putI32(Bytes(d.block.data(), d.block.size()), off, v);
  return d;
}

ActionRow Event(const char* title, uint8_t level) {
  ActionRow r;
  r.setTitle(title);
  r.setLevel(level);
  return r;
}

struct Texts {
  ActionTables actions;
  Texts() {
    // Event 0 Serious, 1 Warning, 2 Information; the odd rows are the ends.
    const ActionTable rows = {Event("A", 0), Event("-", 0),    Event("B", 1),
                              Event("-", 0), Event("Info", 2), Event("-", 0)};
    for (ActionFamily f : {ActionFamily::Snmpv4, ActionFamily::Gprs, ActionFamily::Regular,
                           ActionFamily::Mge, ActionFamily::Pw})
      actions.table(f) = rows;
    actions.table(ActionFamily::RegularPlus) = {Event("Plus", 1), Event("-", 0)};
  }
  CellTexts cells() const {
    return CellTexts{{"Normal", "Battery", "Bypass(Reserve)", "Reducing", "Boosting",
                      "Manual Bypass", "Other", "None"},
                     {"Normal", "Weak", "Replacement"},
                     {"Normal", "Low", "Depleted"},
                     "Unknown",
                     &actions};
  }
};

const uint32_t kBit1 = 2, kBit24 = 1u << 24, kBit28 = 1u << 28;
constexpr int32_t kMax = 2147483647;

struct CellCase {
  const char* name;
  DeviceFamily family;
  Sets sets;
  int column;
  const char* expected;
};

TEST(DeviceCells, TextsByFamilyAndColumn) {
  using F = DeviceFamily;
  const std::vector<CellCase> cases = {
      // SNMP: input count 348, output count 396, blanking word at 8.
      {"snmp three currents",
       F::kSnmp,
       {{348, 3}, {360, 101}, {372, 102}, {384, 103}},
       kColInAmp,
       "10.1 10.2 10.3 = 30.6A"},
      {"snmp one volt", F::kSnmp, {{348, 1}, {356, 2305}}, kColInVolt, "230.5V"},
      {"snmp two volts",
       F::kSnmp,
       {{348, 2}, {356, 2305}, {368, 2290}},
       kColInVolt,
       "230.5 229.0V"},
      {"snmp 1000 W", F::kSnmp, {{396, 1}, {408, 1000}}, kColOutPower, "1000W"},
      {"snmp 1001 W", F::kSnmp, {{396, 1}, {408, 1001}}, kColOutPower, "1.0kW"},
      {"snmp 1500 W", F::kSnmp, {{396, 1}, {408, 1500}}, kColOutPower, "1.5kW"},
      {"snmp two phases kW",
       F::kSnmp,
       {{396, 2}, {408, 600}, {424, 401}},
       kColOutPower,
       "0.6k 0.4k = 1.0kW"},
      {"snmp three phases W",
       F::kSnmp,
       {{396, 3}, {408, 100}, {424, 200}, {440, 300}},
       kColOutPower,
       "100 200 300 = 600W"},
      {"snmp loading no sum",
       F::kSnmp,
       {{396, 3}, {412, 10}, {428, 20}, {444, 30}},
       kColOutLoading,
       "10 20 30%"},
      {"snmp first phase unknown", F::kSnmp, {{348, 1}, {356, -1}}, kColInVolt, ""},
      {"snmp phase count 4", F::kSnmp, {{348, 4}, {356, 2300}}, kColInVolt, ""},
      {"snmp phase count 0", F::kSnmp, {{348, 0}, {356, 2300}}, kColInVolt, ""},
      {"snmp no-response blanks", F::kSnmp, {{8, kBit28}, {348, 1}, {356, 2300}}, kColInVolt, ""},
      {"snmp bit 0 blanks", F::kSnmp, {{8, 1}, {396, 1}, {408, 500}}, kColOutPower, ""},
      {"snmp blanking keeps battery", F::kSnmp, {{8, kBit28}, {512, 545}}, kColBattVolt, "54.5V"},
      {"snmp sums in 64 bits",
       F::kSnmp,
       {{348, 3}, {360, kMax}, {372, kMax}, {384, kMax}},
       kColInAmp,
       "214748364.7 214748364.7 214748364.7 = 644245094.1A"},
      {"snmp capacity", F::kSnmp, {{520, 95}}, kColBattCapacity, "95%"},
      {"snmp remaining", F::kSnmp, {{508, 12}}, kColBattRemaining, "12min"},
      {"snmp rating", F::kSnmp, {{240, 3000}}, kColRatingVa, "3000VA"},
      {"snmp rating 0", F::kSnmp, {{240, 0}}, kColRatingVa, ""},
      {"ups status 0", F::kSnmp, {{388, 0}}, kColUpsStatus, "Normal"},
      {"ups status 1", F::kSnmp, {{388, 1}}, kColUpsStatus, "Battery"},
      {"ups status negative", F::kSnmp, {{388, -1}}, kColUpsStatus, "Unknown"},
      {"ups status past table", F::kSnmp, {{388, 8}}, kColUpsStatus, "Unknown"},
      {"batt status B unknown", F::kSnmp, {{492, 0}, {496, -1}}, kColBattStatus, "Unknown"},
      {"batt status code A", F::kSnmp, {{492, 1}, {496, 0}}, kColBattStatus, "Weak"},
      {"batt status code B", F::kSnmp, {{8, kBit1}, {492, 0}, {496, 1}}, kColBattStatus, "Low"},
      {"batt status A negative", F::kSnmp, {{492, -3}, {496, 0}}, kColBattStatus, "Unknown"},
      {"batt status A past table", F::kSnmp, {{492, 3}, {496, 0}}, kColBattStatus, "Unknown"},
      {"batt status B past table",
       F::kSnmp,
       {{8, kBit1}, {492, 0}, {496, 3}},
       kColBattStatus,
       "Unknown"},
      {"snmp two alarms", F::kSnmp, {{8, 7}}, kColAlarm, "A, B"},
      {"snmp information only", F::kSnmp, {{8, 4}}, kColAlarm, ""},
      {"current mask takes no part", F::kSnmp, {{16, 7}}, kColAlarm, ""},
      // GPRS: battery pairs, loading with its sum, blanking bit 24 of the word at 0.
      {"gprs one battery", F::kGprs, {{196, 545}, {216, -1}}, kColBattVolt, "54.5V"},
      {"gprs two batteries", F::kGprs, {{196, 545}, {216, 540}}, kColBattVolt, "(+)54.5 (-)54.0V"},
      {"gprs negative shown with pair",
       F::kGprs,
       {{200, -1}, {220, 15}},
       kColBattAmp,
       "(+)0.-1 (-)1.5A"},
      {"gprs capacity pair", F::kGprs, {{208, 90}, {228, 80}}, kColBattCapacity, "(+)90 (-)80%"},
      {"gprs no battery", F::kGprs, {{208, -1}, {228, -1}}, kColBattCapacity, ""},
      {"gprs loading sum",
       F::kGprs,
       {{304, 2}, {320, 10}, {336, 20}},
       kColOutLoading,
       "10 20 = 30%"},
      {"gprs blanking", F::kGprs, {{0, kBit24}, {304, 1}, {320, 10}}, kColOutLoading, ""},
      {"gprs alarms", F::kGprs, {{0, 3}}, kColAlarm, "A, B"},
      // CommType 0: the extended table follows the main one.
      {"ascii out volts",
       F::kAscii,
       {{500, 3}, {504, 2300}, {520, 2310}, {536, 2320}},
       kColOutVolt,
       "230.0 231.0 232.0V"},
      {"ascii blanking", F::kAscii, {{0, kBit24}, {500, 1}, {504, 2300}}, kColOutVolt, ""},
      {"ascii two amps", F::kAscii, {{428, 2}, {440, 15}, {456, 25}}, kColInAmp, "1.5 2.5 = 4.0A"},
      {"ascii both tables", F::kAscii, {{0, 1}, {16, 1}}, kColAlarm, "A, Plus"},
      {"ascii remaining", F::kAscii, {{384, 30}}, kColBattRemaining, "30min"},
      // CommType 1: whole units and fixed formats.
      {"binary in volts",
       F::kBinary,
       {{452, 230}, {468, 231}, {484, 232}},
       kColInVolt,
       "230,231,232V"},
      {"binary in amps",
       F::kBinary,
       {{456, 10}, {472, 11}, {488, 12}},
       kColInAmp,
       "10 11 12 = 33A"},
      {"binary VA",
       F::kBinary,
       {{528, 300}, {544, 300}, {560, 300}},
       kColOutPower,
       "300 300 300 = 900VA"},
      {"binary kVA",
       F::kBinary,
       {{528, 400}, {544, 400}, {560, 400}},
       kColOutPower,
       "0.4k 0.4k 0.4k = 1.2kVA"},
      {"binary first triple",
       F::kBinary,
       {{568, 230}, {572, 231}, {576, 232}, {520, 1}},
       kColOutVolt,
       "230 231 232V"},
      {"binary second triple",
       F::kBinary,
       {{568, -1}, {520, 220}, {536, 221}, {552, 222}},
       kColOutVolt,
       "220 221 222V"},
      {"binary no triple", F::kBinary, {{568, -1}, {520, -1}}, kColOutVolt, ""},
      {"binary loading by count",
       F::kBinary,
       {{516, 2}, {532, 10}, {548, 20}},
       kColOutLoading,
       "10% 20%"},
      {"binary blanking bit 13", F::kBinary, {{0, 1 << 13}, {452, 230}}, kColInVolt, ""},
      {"binary batt volt", F::kBinary, {{408, 220}}, kColBattVolt, "220V"},
      {"binary batt amp", F::kBinary, {{412, 55}}, kColBattAmp, "5.5A"},
      {"binary no capacity", F::kBinary, {{420, 90}}, kColBattCapacity, ""},
      {"binary no status", F::kBinary, {{508, 1}}, kColUpsStatus, ""},
      // CommType 2: the first output triple while it reads.
      {"modbus first triple",
       F::kModbus,
       {{500, 3}, {552, 2300}, {556, 2310}, {560, 2320}},
       kColOutVolt,
       "230.0 231.0 232.0V"},
      {"modbus second triple",
       F::kModbus,
       {{500, 1}, {552, -1}, {504, 2200}},
       kColOutVolt,
       "220.0V"},
      {"modbus rating", F::kModbus, {{280, 6000}}, kColRatingVa, "6000VA"},
      // CommType 3.
      {"trv unknown currents", F::kTrv5200, {}, kColOutAmp, "-1 -1 -1 = -3A"},
      {"trv blanking", F::kTrv5200, {{4, 1 << 4}}, kColOutAmp, ""},
      {"trv kW",
       F::kTrv5200,
       {{412, 10}, {416, 20}, {420, 30}},
       kColOutPower,
       "10k 20k 30k = 60kW"},
      {"trv loading",
       F::kTrv5200,
       {{488, 60000}, {412, 10}, {416, 20}, {420, 30}},
       kColOutLoading,
       "16 33 50 = 99%"},
      {"trv loading rating below 1 kW", F::kTrv5200, {{488, 500}, {412, 10}}, kColOutLoading, ""},
      {"trv loading power x 100 in 64 bits",
       F::kTrv5200,
       {{488, 1000}, {412, kMax}, {416, 0}, {420, 0}},
       kColOutLoading,
       "214748364700 0 0 = 214748364700%"},
      {"trv rating watts", F::kTrv5200, {{488, 60000}}, kColRatingVa, "60000W"},
      {"trv in amps", F::kTrv5200, {{264, 10}, {268, 11}, {272, 12}}, kColInAmp, "10 11 12A"},
      {"trv batt volt", F::kTrv5200, {{404, 400}}, kColBattVolt, "400V"},
      {"trv alarms", F::kTrv5200, {{0, 2}}, kColAlarm, "B"},
      // CommType 5.
      {"pw kW", F::kPw9315, {{340, 125}}, kColOutPower, "12kW"},
      {"pw loading", F::kPw9315, {{344, 755}}, kColOutLoading, "75%"},
      {"pw loading unknown", F::kPw9315, {{344, -1}}, kColOutLoading, ""},
      {"pw in amps no sum",
       F::kPw9315,
       {{276, 101}, {280, 102}, {284, 103}},
       kColInAmp,
       "10.1 10.2 10.3A"},
      {"pw out amps",
       F::kPw9315,
       {{324, 101}, {328, 102}, {332, 103}},
       kColOutAmp,
       "10.1 10.2 10.3 = 30.6A"},
      {"pw no rating", F::kPw9315, {{280, 6000}}, kColRatingVa, ""},
      {"pw capacity tenths", F::kPw9315, {{392, 955}}, kColBattCapacity, "95.5%"},
      {"pw blanking bit 8",
       F::kPw9315,
       {{4, 1 << 8}, {264, 2300}, {268, 0}, {272, 0}},
       kColInVolt,
       ""},
      // CommType 6 to 9: title, location and the icon only.
      {"inverter values hidden", F::kInverter, {{300, 5}}, kColOutLoading, ""},
      {"sensor alarm hidden", F::kSensor, {{0, 0x3f}}, kColAlarm, ""},
      {"meter model empty", F::kMeter, {}, kColModel, ""},
      {"meter sum title", F::kMeterSum, {}, kColTitle, "Pump"},
      {"id past the table", F::kSnmp, {{240, 3000}}, 17, ""},
  };
  const Texts texts;
  for (const CellCase& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(FormatDeviceCell(Row(c.family, c.sets), c.column, texts.cells()), c.expected);
  }
}

TEST(DeviceCells, TextsFromTheNodeAndTheBlock) {
  const Texts texts;
  DeviceRowData gprs = Row(DeviceFamily::kGprs, {});
  EXPECT_EQ(FormatDeviceCell(gprs, kColTitle, texts.cells()), "Pump()");
  Bytes g(gprs.block.data(), gprs.block.size());
  const std::pair<size_t, uint16_t> when[] = {{836, 2026}, {838, 5}, {842, 4},
                                              {844, 3},    {846, 7}, {848, 9}};
  for (auto [off, v] : when) putU16(g, off, v);
  EXPECT_EQ(FormatDeviceCell(gprs, kColTitle, texts.cells()), "Pump(5/4 3:7:9)");

  // Unterminated texts stop at the block's end and at the cell's bound.
  DeviceRowData snmp = Row(DeviceFamily::kSnmp, {});
  std::fill(snmp.block.begin() + 627, snmp.block.end(), 'M');
  EXPECT_EQ(FormatDeviceCell(snmp, kColModel, texts.cells()), std::string(255, 'M'));
  EXPECT_EQ(FormatDeviceCell(snmp, kColLocation, texts.cells()), std::string(888 - 780, 'M'));
  snmp.location = "Room";
  EXPECT_EQ(FormatDeviceCell(snmp, kColLocation, texts.cells()), "Room");
  DeviceRowData ascii = Row(DeviceFamily::kAscii, {});
  std::fill(ascii.block.begin() + 1011, ascii.block.end(), 'x');
  EXPECT_EQ(FormatDeviceCell(ascii, kColModel, texts.cells()),
            std::string(1448 - 1011, 'x').substr(0, 255));
  // A multi-byte character is not split at the bound.
  std::string longModel = std::string(254, 'a') + "\xc3\xa9";
  std::copy(longModel.begin(), longModel.end(), ascii.block.begin() + 1011);
  EXPECT_EQ(FormatDeviceCell(ascii, kColModel, texts.cells()), std::string(254, 'a'));

  // The per-node mask skips an SNMP event.
  DeviceRowData masked = Row(DeviceFamily::kSnmp, {{8, 3}});
  masked.suppressed = 1;
  EXPECT_EQ(FormatDeviceCell(masked, kColAlarm, texts.cells()), "B");

  // The alarm cell stops adding titles at its bound.
  Texts many;
  ActionTable rows;
  for (int i = 0; i < 36; ++i) {
    rows.push_back(Event(std::string(20, static_cast<char>('a' + i % 26)).c_str(), 0));
    rows.push_back(Event("-", 0));
  }
  many.actions.table(ActionFamily::Snmpv4) = rows;
  const std::string cell =
      FormatDeviceCell(Row(DeviceFamily::kSnmp, {{8, -1}, {12, -1}}), kColAlarm, many.cells());
  EXPECT_EQ(cell.size(), 11 * 22 - 2u);  // 11 titles of 20 and their separators stay below 251

  // A node whose block is not its family's (protocol changed by an edit).
  DeviceRowData bare = Row(DeviceFamily::kSnmp, {});
  bare.block.clear();
  for (int id = kColModel; id <= kColAlarm; ++id) {
    EXPECT_EQ(FormatDeviceCell(bare, id, texts.cells()), "") << id;
    EXPECT_EQ(DeviceSortKey(bare, id), 0) << id;
  }
  EXPECT_EQ(FormatDeviceCell(bare, kColTitle, texts.cells()), "Pump");
}

TEST(DeviceCells, ReadsTheFamilyBlockOfANode) {
  DeviceNode n;
  n.setNodeKind(kNodeSerial);
  n.setCommType(kCommModbusUps);
  n.setTitle("UPS");
  n.ensureBlock(BlockKind::kAscii).putI32(280, 1);  // not this protocol's block
  EXPECT_TRUE(ReadDeviceRow(n).block.empty());
  n.ensureBlock(BlockKind::kModbus).putI32(280, 6000);
  const DeviceRowData d = ReadDeviceRow(n);
  EXPECT_EQ(d.family, DeviceFamily::kModbus);
  EXPECT_EQ(FormatDeviceCell(d, kColRatingVa, CellTexts()), "6000VA");
}

// ---- sorting ----

DeviceColumnMap Map() { return {-1, 0, 1, 14, 15, 5, 9, 10, 13, 16}; }

TEST(DeviceSort, HeaderClicksStepTheState) {
  DeviceSortState s;
  EXPECT_EQ(s.sortColumn(), 0);
  s.click(0);  // column 0 starts ascending, so its first click descends
  EXPECT_EQ(s.state[0], 2);
  s.click(3);
  EXPECT_EQ(s.state[3], 1);
  EXPECT_EQ(s.state[0], 0);
  s.click(3);
  EXPECT_EQ(s.state[3], 2);
  s.click(3);
  EXPECT_EQ(s.state[3], 1);
  EXPECT_EQ(s.sortColumn(), 3);
  s.click(10);  // ignored
  EXPECT_EQ(s.sortColumn(), 3);
}

TEST(DeviceSort, KeysAndComparisons) {
  DeviceSortState asc;
  asc.click(1);
  DeviceSortState desc = asc;
  desc.click(1);
  const DeviceColumnMap map = Map();
  auto row = [](DeviceFamily f, Sets sets, const char* title, uint8_t level = 2) {
    DeviceRowData d = Row(f, std::move(sets));
    d.title = title;
    d.alarmLevel = level;
    return d;
  };
  const DeviceRowData a = row(DeviceFamily::kSnmp, {{356, 2300}}, "alpha", 0);
  const DeviceRowData b = row(DeviceFamily::kSnmp, {{356, 2100}}, "Beta", 1);
  EXPECT_LT(CompareDeviceRows(a, b, 1, asc, map), 0);  // titles without case
  EXPECT_GT(CompareDeviceRows(a, b, 1, desc, map), 0);
  EXPECT_GT(CompareDeviceRows(a, b, 5, DeviceSortState{{0, 0, 0, 0, 0, 1}}, map), 0);  // In Volt
  EXPECT_LT(CompareDeviceRows(a, b, 0, DeviceSortState{}, map), 0);  // Serious first
  // Batt Remaining of CommType 1 sorts as 0; a sensor's remaining is its value at 16.
  EXPECT_EQ(DeviceSortKey(row(DeviceFamily::kBinary, {{384, 50}}, "t"), kColBattRemaining), 0);
  EXPECT_EQ(DeviceSortKey(row(DeviceFamily::kSensor, {{16, 7}}, "t"), kColBattRemaining), 7);
  EXPECT_EQ(DeviceSortKey(Row(DeviceFamily::kSnmp, {{240, 9}}, kMibSensor), kColBattRemaining), 9);
  EXPECT_EQ(DeviceSortKey(Row(DeviceFamily::kSnmp, {{300, 4}}, kMibInverter), kColUpsStatus), 4);
  EXPECT_EQ(DeviceSortKey(row(DeviceFamily::kSnmp, {{520, 80}, {492, 2}}, "t"), kColBattStatus),
            80);
  // Families without a model text sort as an empty text.
  DeviceSortState byModel;
  byModel.click(2);
  DeviceRowData withModel = a;
  putStr(Bytes(withModel.block.data(), withModel.block.size()), 627, 10, "LK3000");
  EXPECT_LT(CompareDeviceRows(row(DeviceFamily::kMeter, {}, "m"), withModel, 2, byModel, map), 0);
  // Alarm words: the low word compares unsigned.
  DeviceSortState byAlarm;
  byAlarm.click(4);
  EXPECT_GT(CompareDeviceRows(row(DeviceFamily::kSnmp, {{8, INT32_MIN}}, "x"),
                              row(DeviceFamily::kSnmp, {{8, 1}}, "y"), 4, byAlarm, map),
            0);
  EXPECT_EQ(CompareDeviceRows(a, b, 1, asc, DeviceColumnMap{-1, 20}), 0);  // an id past the table
}

TEST(DeviceSort, ExtremeKeysGiveOneConsistentOrder) {
  std::mt19937 rng(7);
  const int32_t ends[] = {INT32_MIN, INT32_MIN + 1, -1, 0, 1, INT32_MAX - 1, INT32_MAX};
  std::vector<DeviceRowData> rows;
  for (int i = 0; i < 1000; ++i) {
    const int32_t v = ends[rng() % 7];
    const int32_t mask = static_cast<int32_t>(ends[rng() % 7]);
    rows.push_back(Row(DeviceFamily::kSnmp, {{356, v}, {8, mask}}));
  }
  for (int column : {4, 5}) {  // Alarm, In Volt
    for (int clicks : {1, 2}) {
      DeviceSortState s;
      for (int k = 0; k < clicks; ++k) s.click(column);
      std::vector<DeviceRowData> sorted = rows;
      std::stable_sort(sorted.begin(), sorted.end(),
                       [&](const DeviceRowData& a, const DeviceRowData& b) {
                         return CompareDeviceRows(a, b, column, s, Map()) < 0;
                       });
      for (size_t i = 0; i < sorted.size(); ++i)
        for (size_t j = i + 1; j < sorted.size(); ++j)
          ASSERT_LE(CompareDeviceRows(sorted[i], sorted[j], column, s, Map()), 0)
              << column << " " << i << " " << j;
    }
  }
}

}  // namespace
}  // namespace lark
