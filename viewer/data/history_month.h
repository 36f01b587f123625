// Reading one device's month of history for the viewer: the family of the
// file, each line parsed into a PlotSample with bounds on everything, and
// what was skipped, so the window can say so.
//
// Rules that keep a damaged or half-written file harmless: whole lines up to
// kMaxHistoryLine bytes (longer ones are skipped), a last line without its
// end is still being written and is left out, a missing value reads -1, a
// value beyond 32 bits reads -1, a time outside 1..31, 0..23, 0..59 or a
// field that is not a number skips the line.
#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/history_family.h"
#include "core/param_tables.h"

namespace lark {

struct ViewerArgs;

inline constexpr int kMaxHistoryValues = 56;
inline constexpr size_t kMaxHistoryLine = 4096;
inline constexpr int32_t kLinkLostValue = 10000;

struct PlotSample {
  uint8_t day = 0;
  uint8_t hour = 0;
  uint8_t minute = 0;
  uint8_t second = 0;
  std::array<int32_t, kMaxHistoryValues> values{};
  // Seconds from the start of day 0 of the month.
  int64_t stamp() const { return day * 86400LL + hour * 3600LL + minute * 60LL + second; }
  bool linkLost() const { return values[0] == kLinkLostValue; }
};

// The family the viewer reads for a device: the recorder's layout, and for a
// serial device of a type the recorder does not know, the regular one.
HistoryLayout ViewerLayoutOf(int deviceClass, int commType, int mibType);
// The title table of a layout's family.
ParamFamily TitleFamilyOf(const HistoryLayout& layout);

enum class LineFault : uint8_t { kNone, kBadTime, kNotNumber };

// One sample line (no line end) with `sep` between fields; values past the
// line's fields are -1, past `valueCount` are left -1. A value beyond 32 bits
// reads -1 and sets *overflow when given.
LineFault ParseHistoryLine(std::string_view line, char sep, int valueCount, PlotSample& out,
                           bool* overflow = nullptr);

// One row of a history table as the database text gives it: the time column
// "YYYY-MM-DD hh:mm:ss[.fraction]", then the values, tab-separated; a value
// may be a real number ("123.000000" reads 123) and an empty (NULL) one is -1.
// The row's year and month are not checked here (the query chose them).
LineFault ParseHistoryDbRow(std::string_view row, int valueCount, PlotSample& out,
                            bool* overflow = nullptr);

// Parses a whole decimal field: "" is missing (-1), digits with an optional
// '-'; false for anything else. Beyond 32 bits gives -1 and sets *overflow.
bool ParseHistoryValue(std::string_view field, int32_t& out, bool* overflow);

struct MonthReadStats {
  int tornLast = 0;    // a last line without its end
  int tooLong = 0;     // lines over kMaxHistoryLine
  int badTime = 0;     // day, hour, minute or second out of range
  int notNumber = 0;   // letters, NUL bytes, stray signs
  int outOfRange = 0;  // values beyond 32 bits, read as -1
  int skipped() const { return tornLast + tooLong + badTime + notNumber; }
};

struct MonthData {
  bool opened = false;
  std::string path;   // the month file, as tried
  std::string error;  // why there are no samples ("" when opened)
  HistoryLayout layout;
  int deviceClass = 0;  // the class the samples were read as
  std::vector<PlotSample> samples;
  MonthReadStats stats;
  // Median spacing of consecutive samples in seconds (0: fewer than two).
  int64_t medianSpacing = 0;
  std::string note;  // trouble of the source beside skipped lines
};

// Keeps a parsed sample or counts why it was skipped.
void TakeParsedSample(MonthData& m, LineFault fault, const PlotSample& s, bool overflow);
// Sets the median spacing from the samples.
void SetMedianSpacing(MonthData& m);

// The month file of `year`/`month` for the device, found without case.
std::string MonthFilePath(const ViewerArgs& args, int year, int month);
// Reads the month file; the class of a tab-separated file comes from its
// first line (0, 2 or 3 only) for this read alone.
MonthData ReadMonthFile(const ViewerArgs& args, int year, int month);
// The same on the file's bytes (`path` only for messages).
MonthData ParseMonthText(const ViewerArgs& args, std::string_view text, std::string path);

// What the caption says about the read: "" when all was well.
std::string DescribeMonthTrouble(const MonthData& m);

// List position -> parameter number: the (pos + 1)-th set bit of `mask`
// among the first `valueCount` bits; -1 when there is none.
int ParamIndexFromListPos(uint64_t mask, int valueCount, int pos);
// The inverse: the list position of `param`, -1 when its bit is clear.
int ListPosOfParam(uint64_t mask, int valueCount, int param);

// The title tables as the viewer loads them: a para-mge.ini without
// [Main] "Number" gives 49 titles.
ParamTables LoadViewerTitles(const std::string& languageFolder);

}  // namespace lark
