// The simulators' default answers, decoded as the service decodes them, give
// values in the ranges and units the live data keeps, and a healthy unit
// raises no event.
#include <gtest/gtest.h>

#include <ctime>
#include <string>
#include <vector>

#include "common/bytes.h"
#include "core/device_node.h"
#include "core/live_data.h"
#include "devices/ascii_answer.h"
#include "devices/ascii_live_data.h"
#include "devices/ascii_ups_samples.h"
#include "devices/binary/binary_live_data.h"
#include "devices/binary/binary_reply.h"
#include "devices/binary/binary_samples.h"
#include "devices/gprs/gprs_frame.h"
#include "devices/gprs/gprs_samples.h"
#include "devices/snmp/snmp_codec.h"
#include "devices/snmp/snmp_entry.h"
#include "devices/snmp/snmp_objects.h"
#include "devices/snmp/snmp_response.h"
#include "devices/snmp/snmp_samples.h"
#include "tests/devices/snmp/snmp_fixture.h"

namespace lark {
namespace {

struct Range {
  int slot;
  int lo, hi;
  const char* what;
};

void ExpectInRanges(const LiveDataBlock& blk, const std::vector<Range>& ranges) {
  for (const Range& r : ranges) {
    const int32_t v = blk.slot(r.slot);
    EXPECT_TRUE(v >= r.lo && v <= r.hi) << r.what << " (slot " << r.slot << ") = " << v;
  }
}

// Voltages and frequencies in tenths, around 230 V and 50 Hz.
constexpr int kVolts10Lo = 1800, kVolts10Hi = 2650, kHz10Lo = 450, kHz10Hi = 650;
// Nominal values in whole volts and hertz, as the property pane and the dial scales read them.
constexpr int kVoltsLo = 180, kVoltsHi = 265;

TEST(SimulatorValues, AsciiUps) {
  LiveDataBlock blk(BlockKind::kAscii);
  const AsciiUpsProfile ups;
  AnswerEffects fx;
  blk.withImage([&](Bytes b) {
    AsciiImage img(b);
    for (const char* code :
         {"MOD", "MNU", "AVL", "AL1", "AL2", "AL3", "RAT", "VER", "CPU", "LET", "SER"})
      ApplyIdentAnswer(img, IdentIndexOf(code), *AsciiSampleAnswer(ups, code, ""), &fx);
    for (const char* code : {"STB", "STI", "STO", "STP", "STA", "TSR", "VSN", "ATT", "ARB", "UBD",
                             "EBP", "TXV", "TXF", "BT2", "BT1", "BCT", "BTV"})
      ApplyStatusAnswer(img, StatusIndexOf(code), *AsciiSampleAnswer(ups, code, ""), 1, &fx);
    return true;
  });
  ExpectInRanges(blk, {{0, kVoltsLo, kVoltsHi, "nominal output voltage"},
                       {1, 45, 65, "nominal output frequency"},
                       {2, kVoltsLo, kVoltsHi, "nominal input voltage"},
                       {3, 45, 65, "nominal input frequency"},
                       {4, 3000, 3000, "rating VA, as the model says"},
                       {7, 100, 240, "input transfer low"},
                       {8, 240, 300, "input transfer high"},
                       {26, 0, 2, "battery condition"},
                       {27, 0, 0, "battery level OK"},
                       {28, 0, 3, "charger state"},
                       {30, 1, 600, "minutes remaining"},
                       {32, 1000, 5000, "battery voltage"},
                       {34, 0, 50, "battery temperature"},
                       {35, 0, 100, "battery capacity"},
                       {37, 1000, 5000, "second string voltage"},
                       {40, 0, 100, "second string capacity"},
                       {41, 1, 3, "input phases"},
                       {42, kHz10Lo, kHz10Hi, "input frequency"},
                       {43, kVolts10Lo, kVolts10Hi, "input voltage"},
                       {57, 0, 0, "output source normal"},
                       {58, kHz10Lo, kHz10Hi, "output frequency"},
                       {59, 1, 3, "output phases"},
                       {60, kVolts10Lo, kVolts10Hi, "output voltage"},
                       {62, 0, 3000, "output power within the rating"},
                       {63, 0, 100, "output load"},
                       {75, kHz10Lo, kHz10Hi, "bypass frequency"},
                       {77, kVolts10Lo, kVolts10Hi, "bypass voltage"},
                       {90, 0, 6, "test result"},
                       {91, 0, 2, "voltage sensitivity"},
                       {92, 1, 5, "self-test"},
                       {93, 1, 2, "restart"},
                       {167, 0, 50, "temperature"},
                       {173, 0, 600, "battery test minutes"}});
  EXPECT_EQ(blk.mask(MaskWord::kCurrent), 0u);
}

TEST(SimulatorValues, ThreePhaseUps) {
  LiveDataBlock blk(BlockKind::kBinary);
  const ThreePhaseUnit unit;
  BinaryReplyEffects fx;
  for (uint8_t type : {0, 1, 2, 4, 14, 19, 22, 24, 38}) {
    std::vector<uint8_t> body{0, type};
    const std::vector<uint8_t> data = ThreePhaseReplyData(unit, type, 0);
    body.insert(body.end(), data.begin(), data.end());
    body[0] = static_cast<uint8_t>(body.size() - 1);
    const std::vector<uint8_t> frame = BuildBinaryFrame(1, CBytes(body));
    ASSERT_TRUE(blk.withImage([&](Bytes b) { return DecodeBinaryReply(b, CBytes(frame), &fx); }))
        << int{type};
  }
  // Whole volts and amperes, frequencies in tenths.
  ExpectInRanges(blk, {{42, kHz10Lo, kHz10Hi, "input frequency"},
                       {43, 180, 265, "input voltage"},
                       {44, 0, 100, "input current"},
                       {54, 340, 460, "input line voltage"},
                       {32, 300, 700, "battery voltage"},
                       {58, kHz10Lo, kHz10Hi, "output frequency"},
                       {60, 180, 265, "output voltage"},
                       {64, 180, 265, "output voltage"},
                       {68, 180, 265, "output voltage"},
                       {61, 0, 45, "output current"},
                       {63, 0, 100, "output load"},
                       {72, 340, 460, "output line voltage"},
                       {75, kHz10Lo, kHz10Hi, "bypass frequency"},
                       {77, 180, 265, "bypass voltage"},
                       {91, 0, 50, "phase temperature"},
                       {34, 0, 50, "battery temperature"},
                       {107, 0, 1000, "filter current"},
                       {111, 0, 100, "filter VSRC"},
                       {113, 0, 100, "filter ISRC"}});
  // The three phases' apparent power stays within the 30 kVA of the model.
  EXPECT_LE(blk.slot(62) + blk.slot(66) + blk.slot(70), 30000);
  EXPECT_EQ(blk.mask(MaskWord::kCurrent), 0u);
  EXPECT_EQ(blk.mask(MaskWord::kExtCurrent), 0u);
}

// The alarm bytes and filter states the simulator is given reach the
// extended and current event words as the service decodes them.
TEST(SimulatorValues, ThreePhaseAlarmBytesAndFilterStates) {
  LiveDataBlock blk(BlockKind::kBinary);
  ThreePhaseUnit unit;
  unit.alarmFlags = {0x01, 0, 0, 0x40, 0, 0, 0, 0x80};  // R temperature, bit 33, bit 51
  unit.apfStates = {3, 28};
  BinaryReplyEffects fx;
  for (uint8_t type : {22, 38}) {
    std::vector<uint8_t> body{0, type};
    const std::vector<uint8_t> data = ThreePhaseReplyData(unit, type, 0);
    body.insert(body.end(), data.begin(), data.end());
    body[0] = static_cast<uint8_t>(body.size() - 1);
    const std::vector<uint8_t> frame = BuildBinaryFrame(1, CBytes(body));
    ASSERT_TRUE(blk.withImage([&](Bytes b) { return DecodeBinaryReply(b, CBytes(frame), &fx); })) << int{type};
  }
  EXPECT_EQ(blk.mask(MaskWord::kExtCurrent), uint64_t{1} | uint64_t{1} << 33 | uint64_t{1} << 51);
  EXPECT_EQ(blk.mask(MaskWord::kCurrent), uint64_t{1} << 16);
  EXPECT_EQ(blk.slot(115), 3);
  EXPECT_EQ(blk.slot(116), 28);
  EXPECT_EQ(blk.slot(91), 25);  // the temperatures stay
}

// The event log read out block by block as the service stores it: each
// record carries its number and a real date and time, the newest at the
// unit's clock, the others in order before it, within the last weeks.
TEST(SimulatorValues, ThreePhaseEventLogDates) {
  LiveDataBlock blk(BlockKind::kBinary);
  ThreePhaseUnit unit;
  unit.logRecords = 100;
  std::vector<uint8_t> log(size_t{unit.logRecords} * 9, 0xEE);
  blk.withImage([&](Bytes b) {
    BinaryImage(b).setSlot(106, unit.logRecords);
    BinaryImage(b).setLogPosition(1);
  });
  for (uint8_t block = 1; block <= 5; ++block) {
    std::vector<uint8_t> body{0, 27};
    const std::vector<uint8_t> data = ThreePhaseReplyData(unit, 27, block);
    body.insert(body.end(), data.begin(), data.end());
    body[0] = static_cast<uint8_t>(body.size() - 1);
    const std::vector<uint8_t> frame = BuildBinaryFrame(1, CBytes(body));
    BinaryReplyEffects fx;
    ASSERT_TRUE(blk.withImage([&](Bytes b) { return DecodeBinaryReply(b, CBytes(frame), &fx); }));
    ASSERT_TRUE(fx.logWrite);
    for (size_t i = 0; i < fx.logBytes.size() && fx.logOffset + i < log.size(); ++i)
      log[fx.logOffset + i] = fx.logBytes[i];
  }
  // Seconds since 1970 of record n's date and time; -1 when there is no such
  // moment (timegm carries an impossible field into the next one).
  auto stamp = [&](int n) -> int64_t {
    const uint8_t* r = &log[9 * static_cast<size_t>(n)];
    tm t{};
    t.tm_year = 100 + r[2], t.tm_mon = r[3] - 1, t.tm_mday = r[4];
    t.tm_hour = r[5], t.tm_min = r[6], t.tm_sec = r[7];
    const int64_t at = timegm(&t);
    const bool real = t.tm_year == 100 + r[2] && t.tm_mon == r[3] - 1 && t.tm_mday == r[4] &&
                      t.tm_hour == r[5] && t.tm_min == r[6] && t.tm_sec == r[7];
    return real ? at : -1;
  };
  int64_t before = 0;
  for (int n = 0; n < unit.logRecords; ++n) {
    const uint8_t* r = &log[9 * static_cast<size_t>(n)];
    EXPECT_EQ(r[0] * 256 + r[1], n);
    const int64_t at = stamp(n);
    ASSERT_GE(at, 0) << "record " << n << " has no real date";
    EXPECT_GT(at, before) << "record " << n << " is not after the one before";
    EXPECT_GT(at, unit.logEnd - 30 * 86400) << "record " << n << " is older than a month";
    before = at;
  }
  EXPECT_EQ(before, unit.logEnd);
}

TEST(SimulatorValues, SnmpMakerUps) {
  DeviceNode node;
  test::MakeSnmpNode(node, kMibMakerUps);
  SnmpDeviceEntry entry;
  SnmpResponseContext ctx;
  for (int g = 1; g <= kMakerGroupCount; ++g) {
    SnmpCodec answer;
    answer.message.pdu = kPduGetResponse;
    for (int i = 1; i <= kSnmpGroupSizes[static_cast<size_t>(g)]; ++i)
      ASSERT_TRUE(answer.addInteger(MakerOid(g, i).span(), MakerSampleValue(g, i)));
    SnmpApplyResponse(ctx, answer, entry, node);
  }
  const LiveDataBlock& blk = *node.block(BlockKind::kSnmp);
  ExpectInRanges(blk, {{0, 3000, 3000, "rating VA"},
                       {27, 1, 3, "input phases"},
                       {28, kHz10Lo, kHz10Hi, "input frequency"},
                       {29, kVolts10Lo, kVolts10Hi, "input voltage"},
                       {37, 0, 0, "output source normal"},
                       {38, kHz10Lo, kHz10Hi, "output frequency"},
                       {39, 1, 3, "output phases"},
                       {40, kVolts10Lo, kVolts10Hi, "output voltage"},
                       {42, 0, 3000, "output power within the rating"},
                       {43, 0, 100, "output load"},
                       {52, kHz10Lo, kHz10Hi, "bypass frequency"},
                       {63, 0, 2, "battery condition"},
                       {64, 0, 0, "battery level OK"},
                       {65, 0, 3, "charger state"},
                       {67, 1, 600, "minutes remaining"},
                       {68, 1000, 5000, "battery voltage"},
                       {70, 0, 100, "battery capacity"},
                       {71, 0, 50, "battery temperature"},
                       {73, 0, 6, "test result"},
                       {74, 0, 50, "ambient temperature"},
                       {75, 0, 100, "ambient humidity"}});
  EXPECT_EQ(blk.mask(MaskWord::kCurrent), 0u);
}

// A GPRS station reports what an ASCII UPS answers, in the same slots.
TEST(SimulatorValues, GprsStation) {
  LiveDataBlock blk(BlockKind::kGprs);
  uint8_t state = 0;
  blk.withImage([&](Bytes b) {
    for (char letter : std::string("LMVDRABIOPT")) {
      const std::string report = GprsStationReport(letter, 1, "Station1");  // the items point into it
      for (const GprsItem& item : ParseGprsReport(report)) ApplyGprsItem(item, b, state);
    }
    return true;
  });
  ExpectInRanges(blk, {{0, kVoltsLo, kVoltsHi, "nominal output voltage"},
                       {2, kVoltsLo, kVoltsHi, "nominal input voltage"},
                       {4, 3000, 3000, "rating VA"},
                       {27, 0, 0, "battery level OK"},
                       {35, 0, 100, "battery capacity"},
                       {41, 1, 3, "input phases"},
                       {43, kVolts10Lo, kVolts10Hi, "input voltage"},
                       {57, 0, 0, "output source normal"},
                       {58, kHz10Lo, kHz10Hi, "output frequency"},
                       {60, kVolts10Lo, kVolts10Hi, "output voltage"},
                       {63, 0, 100, "output load"},
                       {77, kVolts10Lo, kVolts10Hi, "bypass voltage"},
                       {90, 0, 6, "test result"}});
  EXPECT_EQ(blk.mask(MaskWord::kCurrent), 0u);
}

}  // namespace
}  // namespace lark
