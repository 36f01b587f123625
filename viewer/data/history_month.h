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
#include "viewer/data/month_samples.h"

namespace lark {

struct ViewerArgs;

inline constexpr size_t kMaxHistoryLine = 4096;
// A month recorded every second is 2.7M lines of about 300 bytes: a month
// file larger than this is no month file, and is not read.
inline constexpr uint64_t kMaxMonthFileBytes = uint64_t{1} << 30;
// One sample for each second of the longest month: more can only be repeats,
// and are left out (file or database) so memory stays bounded.
inline constexpr size_t kMaxMonthSamples = 31 * 86400;

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
  MonthSamples samples;
  MonthReadStats stats;
  // Median spacing of consecutive samples in seconds (0: fewer than two).
  int64_t medianSpacing = 0;
  std::string note;  // trouble of the source beside skipped lines
};

// Keeps a parsed sample or counts why it was skipped; false once the month
// holds kMaxMonthSamples (the sample is not kept and the note says so).
bool TakeParsedSample(MonthData& m, LineFault fault, const PlotSample& s, bool overflow);
// Sets the median spacing from the samples.
void SetMedianSpacing(MonthData& m);

// The month file of `year`/`month` for the device, found without case.
std::string MonthFilePath(const ViewerArgs& args, int year, int month);
// A month file's text parsed as it arrives, in pieces of any size: only a
// line not yet ended is held, and no more than kMaxHistoryLine of it.
class MonthTextReader {
 public:
  MonthTextReader(const ViewerArgs& args, std::string path);
  // False once no more is wanted (the first line is no class, or the month
  // is full).
  bool feed(std::string_view bytes);
  // The month; a line left without its end counts as torn.
  MonthData finish();

 private:
  bool line(std::string_view text);  // one whole line without its LF
  const ViewerArgs& args_;
  MonthData m_;
  bool first_ = true;      // the class line is still to come
  bool done_ = false;      // nothing more is taken
  bool skipping_ = false;  // in a line past kMaxHistoryLine
  int count_ = 0;          // values a line holds
  std::string carry_;      // the line not yet ended
  PlotSample sample_;
};

// Reads the month file; the class of a tab-separated file comes from its
// first line (0, 2 or 3 only) for this read alone. Only a regular file is
// read (never through a link at its name, nor a FIFO or device), and only
// up to kMaxMonthFileBytes.
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
