// Frames and reports of the GPRS stations.
//
// A frame: "~", two characters, "D", three decimal digits L, then L octets
// whose last two are the hex Sum8 of every octet before them (from "~" on):
//   0         1         2
//   0123456789012345678901
//   ~01D012LOCNorth;XX        L = 12: the report "LOCNorth;" (L - 2 octets), sum XX
// The report is a row of tagged fields, each ended by ";": a tag of three
// letters followed directly by its first field, then the tag's further fields
// ("MODRTU-8;2;" "RAT2300;2295;...").
//
// GprsLiveData (856 bytes) fields written by the reports (offsets are format):
//    0 u64 reported EventMask       8 u64 current EventMask
//   68 i32[91] x0..x90: RAT x0..x25, STB x26..x40, STI x41..x56, STO x57..x74,
//              STP x75..x89, TSR x90
//  780 char[9] BRD first   789 char[9] BRD second   798 char[17] MOD text
//  815 char[17] VER text   832 i32 MOD number       836 SYSTEMTIME of the last report
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/bytes.h"
#include "platform/clock.h"

namespace lark {

inline constexpr size_t kGprsMaxFrame = 1024;       // receive buffer of a station
inline constexpr int kGprsMinLength = 2;            // L: the checksum alone
inline constexpr int kGprsMaxLength = 999;          // three digits; L + 7 fits the buffer
inline constexpr size_t kGprsHeaderSize = 7;        // "~", two characters, "D", three digits
inline constexpr size_t kGprsNameMax = 64;          // LOC name characters kept

namespace gprs_off {
inline constexpr size_t kReportedMask = 0;  // u64
inline constexpr size_t kCurrentMask = 8;   // u64
inline constexpr size_t kValues = 68;       // i32[91]
inline constexpr size_t kBoard1 = 780, kBoardSize = 9;
inline constexpr size_t kBoard2 = 789;
inline constexpr size_t kModel = 798, kModelSize = 17;
inline constexpr size_t kVersion = 815, kVersionSize = 17;
inline constexpr size_t kModelNumber = 832;  // i32
inline constexpr size_t kReportTime = 836;   // u16[8]: year, month, day of week, day, h, m, s, ms
}  // namespace gprs_off

inline constexpr int kGprsValueCount = 91;
inline constexpr int kGprsLinkLostBit = 24;  // set on a silent or vanished station
inline constexpr size_t kGprsBoardChars = 8;

// The report tags in table order.
enum GprsTag : int { kLoc, kMod, kVer, kBrd, kRat, kSta, kStb, kSti, kSto, kStp, kTsr, kNoTag };
inline constexpr const char* kGprsTagNames[] = {"LOC", "MOD", "VER", "BRD", "RAT", "STA",
                                                "STB", "STI", "STO", "STP", "TSR"};
// The tag the text begins with (its first three characters), kNoTag if none.
int FindGprsTag(std::string_view text);

// What the frame check made of the bytes received so far.
struct GprsFrameCheck {
  enum Status { kNeedMore, kComplete, kBad } status = kNeedMore;
  size_t length = 0;       // whole frame (kComplete)
  int code = 1;            // 0 no "~", 3 no "D", 4 bad length, 5 bad checksum, 1 incomplete, 2 complete
};
GprsFrameCheck CheckGprsFrame(std::string_view buf);
// The report inside a complete frame of `length` octets.
std::string_view GprsReportOf(std::string_view frame, size_t length);
// A frame around `report` ("~", `kind`, "D", L, report, sum); `lowerSum`
// writes the sum digits in lower case (simulators and tests).
std::string BuildGprsFrame(std::string_view report, std::string_view kind = "01",
                           bool lowerSum = false);

// One tag and its fields, as views into the report text.
struct GprsItem {
  int tag = kNoTag;
  std::vector<std::string_view> fields;
};
// Splits a report into its items. The parse ends at text that begins with no
// tag and at a BRD whose fields are not both 8 characters. A list cut short by
// the next tag ends there and the parse goes on with that tag.
std::vector<GprsItem> ParseGprsReport(std::string_view report);
// The decimal value a field starts with (sign, digits), saturated to 32 bits;
// 0 when it starts with none.
int32_t GprsNumber(std::string_view field);
// Applies one item (not LOC) to a GprsLiveData image. `operatingState` is the
// node's byte: RAT may set it and STO reads it.
void ApplyGprsItem(const GprsItem& item, Bytes image, uint8_t& operatingState);
// Stores the local time of a report at 836.
void PutGprsReportTime(Bytes image, const WallTime& t);

}  // namespace lark
