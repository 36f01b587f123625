// GPRS frames and reports: the frame check by table, the three feeds, and a
// whole sample report applied to a GprsLiveData image at its offsets.
#include "devices/gprs/gprs_frame.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "core/live_data.h"
#include "devices/gprs/gprs_samples.h"

namespace lark {
namespace {

TEST(GprsFrame, GoldenFrame) {
  EXPECT_EQ(BuildGprsFrame("LOCNorth;"), "~01D011LOCNorth;D9");
  EXPECT_EQ(BuildGprsFrame("LOCNorth;", "01", true), "~01D011LOCNorth;d9");
}

TEST(GprsFrame, CheckTable) {
  struct Case {
    std::string buf;
    GprsFrameCheck::Status status;
    int code;
  };
  const Case cases[] = {
      {"~01D011LOCNorth;D9", GprsFrameCheck::kComplete, 2},
      {"~01D011LOCNorth;d9", GprsFrameCheck::kComplete, 2},  // lower-case sum
      {"~01D011LOCNorth;D9~01D", GprsFrameCheck::kComplete, 2},
      {"~01D011LOCNorth;", GprsFrameCheck::kNeedMore, 1},
      {"~01", GprsFrameCheck::kNeedMore, 1},
      {"", GprsFrameCheck::kNeedMore, 1},
      {"x01D011LOCNorth;D9", GprsFrameCheck::kBad, 0},  // no "~"
      {"~01X011LOCNorth;D9", GprsFrameCheck::kBad, 3},  // no "D"
      {"~01D999", GprsFrameCheck::kNeedMore, 1},        // the longest: waits for its octets
      {"~01D-05LOC;", GprsFrameCheck::kBad, 4},         // not digits
      {"~01D001", GprsFrameCheck::kBad, 4},             // shorter than its checksum
      {"~01D011LOCNorth;D8", GprsFrameCheck::kBad, 5},  // wrong sum
      {"~01D011LOCNorth;G9", GprsFrameCheck::kBad, 5},  // sum not hex
      {"~01D002" "B5", GprsFrameCheck::kComplete, 2},    // an empty report
  };
  for (const Case& c : cases) {
    GprsFrameCheck r = CheckGprsFrame(c.buf);
    EXPECT_EQ(r.status, c.status) << c.buf;
    EXPECT_EQ(r.code, c.code) << c.buf;
  }
  std::string longest = BuildGprsFrame(std::string(997, 'x'));
  ASSERT_EQ(longest.size(), 1006u);
  EXPECT_EQ(CheckGprsFrame(longest).status, GprsFrameCheck::kComplete);
}

TEST(GprsFrame, SameResultWholeByteByByteAndTwoInOne) {
  const std::string frame = BuildGprsFrame(GprsSampleReport('R', 2, ""));
  for (size_t n = 1; n < frame.size(); ++n) {
    EXPECT_EQ(CheckGprsFrame(frame.substr(0, n)).status, GprsFrameCheck::kNeedMore) << n;
  }
  GprsFrameCheck whole = CheckGprsFrame(frame);
  GprsFrameCheck two = CheckGprsFrame(frame + frame);
  ASSERT_EQ(whole.status, GprsFrameCheck::kComplete);
  EXPECT_EQ(two.length, whole.length);
  EXPECT_EQ(GprsReportOf(frame, whole.length), GprsSampleReport('R', 2, ""));
}

std::vector<uint8_t> Apply(const std::string& report, uint8_t& state) {
  LiveDataBlock blk(BlockKind::kGprs);
  std::vector<uint8_t> img = blk.copyOut();
  for (const GprsItem& item : ParseGprsReport(report)) ApplyGprsItem(item, img, state);
  return img;
}

int32_t X(const std::vector<uint8_t>& img, int x) { return i32At(img, 68 + 4 * static_cast<size_t>(x)); }

TEST(GprsReport, EveryTagAtItsOffset) {
  std::string report;
  for (char letter : std::string("MVDRABIOPT")) report += GprsSampleReport(letter, 1, "");
  uint8_t state = 0;
  std::vector<uint8_t> img = Apply(report, state);
  EXPECT_EQ(strAt(img, 798, 17), "GPRS-UPS");
  EXPECT_EQ(i32At(img, 832), 101);
  EXPECT_EQ(strAt(img, 815, 17), "1.1");
  EXPECT_EQ(strAt(img, 780, 9), "B0000001");
  EXPECT_EQ(strAt(img, 789, 9), "S0000001");
  EXPECT_EQ(X(img, 0), 1000);
  EXPECT_EQ(X(img, 1), 100);  // x1 and x3 come in tenths
  EXPECT_EQ(X(img, 3), 100);
  EXPECT_EQ(X(img, 25), 1025);
  EXPECT_EQ(X(img, 26), 1026);
  EXPECT_EQ(X(img, 56), 1056);
  EXPECT_EQ(X(img, 74), 1074);
  EXPECT_EQ(X(img, 89), 1089);
  EXPECT_EQ(X(img, 90), 1090);
  EXPECT_EQ(state, 3);
  // STA: "1" at even i + 1, position 19 inverted; STB x27 >= 1 sets bit 20;
  // STO mode 2 with state 3 sets bit 23.
  uint64_t expected = (uint64_t{1} << 20) | (uint64_t{1} << 23);
  for (int i = 1; i < 19; i += 2) expected |= uint64_t{1} << i;
  // position 19 is "1": its bit stays clear
  EXPECT_EQ(u64At(img, 8), expected);
  EXPECT_EQ(u64At(img, 0), 0u);
}

TEST(GprsReport, CutListsBoardsAndNumbers) {
  struct Case {
    const char* report;
    int x;
    int32_t value;
  };
  const Case cases[] = {
      {"RAT1;25;STB7;", 0, 1},
      {"RAT1;25;STB7;", 1, 2},           // cut short: the rest stay -1, the parse goes on
      {"RAT1;25;STB7;", 2, -1},
      {"RAT1;25;STB7;", 26, 7},
      {"RAT1;;3;", 1, -1},               // empty field: no value
      {"TSR99999999999;", 90, INT32_MAX},  // saturates
      {"TSR-99999999999;", 90, INT32_MIN},
      {"TSRabc;", 90, 0},
      {"BRD1234567;ABCDEFGH;TSR5;", 90, -1},  // a board text not of 8 characters ends the parse
      {"XYZ1;TSR5;", 90, -1},                 // unknown tag ends the parse
      {"LOCn;TSR5", 90, 5},                   // last field without ";"
  };
  for (const Case& c : cases) {
    uint8_t state = 0;
    EXPECT_EQ(X(Apply(c.report, state), c.x), c.value) << c.report << " x" << c.x;
  }
  uint8_t state = 0;
  std::vector<uint8_t> img = Apply("STA1;;0;", state);
  EXPECT_EQ(u64At(img, 8), 1u);  // an empty STA field changes nothing
  img = Apply("STA" + std::string(19 * 2, ';').replace(0, 38, "0;0;0;0;0;0;0;0;0;0;0;0;0;0;0;0;0;0;0;") + "1;", state);
  EXPECT_EQ(u64At(img, 8), 0u);  // 1 at position 19 clears bit 19
}

}  // namespace
}  // namespace lark
