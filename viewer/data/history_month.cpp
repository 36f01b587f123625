#include "viewer/data/history_month.h"

#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <limits>

#include "core/device_node.h"
#include "platform/paths.h"
#include "platform/profile.h"
#include "viewer/data/viewer_args.h"

namespace lark {

namespace {

uint8_t KindByte(int v) { return static_cast<uint8_t>(v < 0 || v > 255 ? 255 : v); }

// A whole unsigned decimal field of at most 2 digits (time fields).
bool ParseTimeField(std::string_view f, int lo, int hi, uint8_t& out) {
  if (f.empty() || f.size() > 2) return false;
  int v = 0;
  for (char c : f) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + (c - '0');
  }
  if (v < lo || v > hi) return false;
  out = static_cast<uint8_t>(v);
  return true;
}

bool IsDigits(std::string_view f) {
  if (f.empty()) return false;
  for (char c : f)
    if (c < '0' || c > '9') return false;
  return true;
}

}  // namespace

HistoryLayout ViewerLayoutOf(int deviceClass, int commType, int mibType) {
  HistoryLayout l =
      HistoryLayoutOf(KindByte(deviceClass), static_cast<int16_t>(commType), KindByte(mibType));
  if (deviceClass == kNodeSerial && l.valueCount == 0)
    l = HistoryLayoutOf(kNodeSerial, kCommAscii, 0);
  return l;
}

ParamFamily TitleFamilyOf(const HistoryLayout& layout) {
  if (layout.family == "snmp") return ParamFamily::Snmpv4;
  for (const auto& f : kParamFamilies)
    if (f.word == layout.family) return f.family;
  return ParamFamily::Regular;  // "gprs" and "regular" share the titles
}

bool ParseHistoryValue(std::string_view f, int32_t& out, bool* overflow) {
  if (f.empty()) {
    out = -1;
    return true;
  }
  const bool neg = f[0] == '-';
  const std::string_view digits = neg ? f.substr(1) : f;
  if (!IsDigits(digits)) return false;
  int64_t v = 0;
  for (char c : digits) {
    v = v * 10 + (c - '0');
    if (v > int64_t{1} << 32) break;
  }
  if (neg) v = -v;
  if (v > std::numeric_limits<int32_t>::max() || v < std::numeric_limits<int32_t>::min()) {
    if (overflow != nullptr) *overflow = true;
    out = -1;
    return true;
  }
  out = static_cast<int32_t>(v);
  return true;
}

LineFault ParseHistoryLine(std::string_view line, char sep, int valueCount, PlotSample& out,
                           bool* overflow) {
  out.values.fill(-1);
  valueCount = std::clamp(valueCount, 0, kMaxHistoryValues);
  size_t pos = 0;
  bool more = true;
  auto next = [&]() -> std::string_view {
    if (!more) return {};
    const size_t end = line.find(sep, pos);
    std::string_view f =
        line.substr(pos, end == std::string_view::npos ? line.size() - pos : end - pos);
    if (end == std::string_view::npos)
      more = false;
    else
      pos = end + 1;
    return f;
  };
  if (!ParseTimeField(next(), 1, 31, out.day) || !ParseTimeField(next(), 0, 23, out.hour) ||
      !ParseTimeField(next(), 0, 59, out.minute) || !ParseTimeField(next(), 0, 59, out.second))
    return LineFault::kBadTime;
  for (int i = 0; i < valueCount && more; ++i)
    if (!ParseHistoryValue(next(), out.values[static_cast<size_t>(i)], overflow))
      return LineFault::kNotNumber;
  return LineFault::kNone;
}

LineFault ParseHistoryDbRow(std::string_view row, int valueCount, PlotSample& out, bool* overflow) {
  out.values.fill(-1);
  const size_t tab = row.find('\t');
  const std::string_view time = row.substr(0, tab);
  // "YYYY-MM-DD hh:mm:ss" and an optional fraction.
  if (time.size() < 19 || time[4] != '-' || time[7] != '-' || time[10] != ' ' || time[13] != ':' ||
      time[16] != ':' || (time.size() > 19 && time[19] != '.'))
    return LineFault::kBadTime;
  if (!IsDigits(time.substr(0, 4)) || !IsDigits(time.substr(5, 2)) ||
      !ParseTimeField(time.substr(8, 2), 1, 31, out.day) ||
      !ParseTimeField(time.substr(11, 2), 0, 23, out.hour) ||
      !ParseTimeField(time.substr(14, 2), 0, 59, out.minute) ||
      !ParseTimeField(time.substr(17, 2), 0, 59, out.second))
    return LineFault::kBadTime;
  if (tab == std::string_view::npos) return LineFault::kNone;
  size_t pos = tab + 1;
  valueCount = std::clamp(valueCount, 0, kMaxHistoryValues);
  for (int i = 0; i < valueCount && pos <= row.size(); ++i) {
    const size_t end = std::min(row.find('\t', pos), row.size());
    std::string_view f = row.substr(pos, end - pos);
    pos = end + 1;
    // A real number's fraction is dropped, as the integer conversion does.
    const size_t dot = f.find('.');
    if (dot != std::string_view::npos) {
      if (!IsDigits(f.substr(dot + 1)) && dot + 1 != f.size()) return LineFault::kNotNumber;
      f = f.substr(0, dot);
      if (f.empty() || f == "-") f = "0";
    }
    if (!ParseHistoryValue(f, out.values[static_cast<size_t>(i)], overflow))
      return LineFault::kNotNumber;
  }
  return LineFault::kNone;
}

std::string MonthFilePath(const ViewerArgs& args, int year, int month) {
  const HistoryLayout layout = ViewerLayoutOf(args.deviceClass, args.commType, args.mibType);
  const std::string rel = args.mapName + "/" + std::to_string(args.pathId) + "/" +
                          std::to_string(year) + "/" + HistoryMonthFileName(layout, month);
  return ResolveNoCase(args.historyRoot, rel);
}

MonthTextReader::MonthTextReader(const ViewerArgs& args, std::string path) : args_(args) {
  m_.path = std::move(path);
}

bool MonthTextReader::feed(std::string_view bytes) {
  // A line is at most kMaxHistoryLine and its CR.
  constexpr size_t kMaxHeld = kMaxHistoryLine + 1;
  for (size_t pos = 0; !done_ && pos < bytes.size();) {
    const size_t nl = bytes.find('\n', pos);
    const std::string_view piece =
        bytes.substr(pos, nl == std::string_view::npos ? std::string_view::npos : nl - pos);
    if (skipping_ || carry_.size() + piece.size() > kMaxHeld) {
      // Too long already: only its end is looked for.
      carry_.clear();
      skipping_ = nl == std::string_view::npos;
      if (!skipping_) ++m_.stats.tooLong;
    } else if (nl == std::string_view::npos) {
      carry_.append(piece);
    } else if (carry_.empty()) {
      done_ = !line(piece);
    } else {
      carry_.append(piece);
      done_ = !line(carry_);
      carry_.clear();
    }
    if (nl == std::string_view::npos) break;
    pos = nl + 1;
  }
  return !done_;
}

bool MonthTextReader::line(std::string_view text) {
  if (!text.empty() && text.back() == '\r') text.remove_suffix(1);
  if (text.size() > kMaxHistoryLine) {
    ++m_.stats.tooLong;
    return true;
  }
  if (first_) {
    first_ = false;
    if (args_.textFile) {
      m_.deviceClass = args_.deviceClass;
    } else {
      // The class is checked and kept for this read only.
      if (text != "0" && text != "2" && text != "3") {
        m_.error = "the month file's first line is no device class";
        return false;
      }
      m_.deviceClass = text[0] - '0';
    }
    m_.layout = ViewerLayoutOf(m_.deviceClass, args_.commType, args_.mibType);
    m_.opened = true;
    count_ = std::min(m_.layout.valueCount, kMaxHistoryValues);
    m_.samples.reset(count_);
    return true;
  }
  bool overflow = false;
  const LineFault fault = ParseHistoryLine(text, m_.layout.separator, count_, sample_, &overflow);
  return TakeParsedSample(m_, fault, sample_, overflow);
}

MonthData MonthTextReader::finish() {
  // A last line without its end is still being written.
  if (!done_ && (skipping_ || !carry_.empty())) ++m_.stats.tornLast;
  if (first_) {
    m_.error = "the month file is empty";
    m_.stats = {};
  }
  SetMedianSpacing(m_);
  m_.samples.shrink();
  return std::move(m_);
}

MonthData ParseMonthText(const ViewerArgs& args, std::string_view text, std::string path) {
  MonthTextReader reader(args, std::move(path));
  reader.feed(text);
  return reader.finish();
}

bool TakeParsedSample(MonthData& m, LineFault fault, const PlotSample& s, bool overflow) {
  switch (fault) {
    case LineFault::kNone:
      if (m.samples.size() >= kMaxMonthSamples) {
        m.note = "only the first " + std::to_string(kMaxMonthSamples) + " samples are shown";
        return false;
      }
      if (overflow) ++m.stats.outOfRange;
      m.samples.push(s);
      break;
    case LineFault::kBadTime:
      ++m.stats.badTime;
      break;
    case LineFault::kNotNumber:
      ++m.stats.notNumber;
      break;
  }
  return true;
}

void SetMedianSpacing(MonthData& m) {
  std::vector<int64_t> spacing;
  spacing.reserve(m.samples.size());
  for (size_t i = 1; i < m.samples.size(); ++i) {
    const int64_t d = m.samples.stamp(i) - m.samples.stamp(i - 1);
    if (d > 0) spacing.push_back(d);
  }
  m.medianSpacing = 0;
  if (spacing.empty()) return;
  auto mid = spacing.begin() + static_cast<std::ptrdiff_t>(spacing.size() / 2);
  std::nth_element(spacing.begin(), mid, spacing.end());
  m.medianSpacing = *mid;
}

MonthData ReadMonthFile(const ViewerArgs& args, int year, int month) {
  std::string path = MonthFilePath(args, year, month);
  const int fd = OpenRegularFile(path, O_RDONLY);
  struct stat st;
  std::string refusal;
  if (fd < 0) {
    refusal = errno == ENOENT   ? "no month file " + path
              : errno == ELOOP || errno == EPERM ? "the month file " + path + " is no regular file"
                                                 : "cannot read " + path + ": " + strerror(errno);
  } else if (fstat(fd, &st) != 0 || static_cast<uint64_t>(st.st_size) > kMaxMonthFileBytes) {
    refusal = "the month file " + path + " is larger than any month (" +
              std::to_string(st.st_size >> 20) + " MB)";
  }
  if (!refusal.empty()) {
    if (fd >= 0) close(fd);
    MonthData m;
    m.path = std::move(path);
    m.error = std::move(refusal);
    return m;
  }
  MonthTextReader reader(args, std::move(path));
  std::vector<char> buffer(256 * 1024);
  // A file still growing is read no further than the bound either.
  for (uint64_t total = 0; total < kMaxMonthFileBytes;) {
    const ssize_t n = read(fd, buffer.data(), buffer.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    total += static_cast<uint64_t>(n);
    if (!reader.feed(std::string_view(buffer.data(), static_cast<size_t>(n)))) break;
  }
  close(fd);
  return reader.finish();
}

std::string DescribeMonthTrouble(const MonthData& m) {
  if (!m.opened) return m.error;
  const MonthReadStats& s = m.stats;
  std::string parts;
  auto add = [&](int n, const char* what) {
    if (n == 0) return;
    if (!parts.empty()) parts += ", ";
    parts += std::to_string(n) + " " + what;
  };
  add(s.tornLast, "torn");
  add(s.tooLong, "too long");
  add(s.badTime, "bad time");
  add(s.notNumber, "not a number");
  std::string out;
  if (s.skipped() > 0) out = std::to_string(s.skipped()) + " lines skipped (" + parts + ")";
  if (s.outOfRange > 0) {
    if (!out.empty()) out += "; ";
    out += std::to_string(s.outOfRange) + " lines with values out of range";
  }
  if (!m.note.empty()) out = out.empty() ? m.note : m.note + "; " + out;
  return out;
}

int ParamIndexFromListPos(uint64_t mask, int valueCount, int pos) {
  if (pos < 0) return -1;
  const int bits = std::clamp(valueCount, 0, 64);
  for (int n = 0; n < bits; ++n) {
    if ((mask >> n & 1) == 0) continue;
    if (pos-- == 0) return n;
  }
  return -1;
}

int ListPosOfParam(uint64_t mask, int valueCount, int param) {
  if (param < 0 || param >= std::clamp(valueCount, 0, 64) || (mask >> param & 1) == 0) return -1;
  int pos = 0;
  for (int n = 0; n < param; ++n) pos += static_cast<int>(mask >> n & 1);
  return pos;
}

ParamTables LoadViewerTitles(const std::string& languageFolder) {
  ParamTables t = LoadParamTables(languageFolder, ParamTables(), nullptr);
  constexpr size_t kViewerMgeDefault = 49;
  const auto mge = FindNoCase(languageFolder, ParamFamilyOf(ParamFamily::Mge).file);
  if (!mge || !Profile(*mge).hasKey("Main", "Number")) {
    ParamTable& table = t.table(ParamFamily::Mge);
    for (size_t i = kViewerMgeDefault; i < table.capacity(); ++i) {
      table.titles[i].reset();
      table.units[i].reset();
    }
  }
  return t;
}

}  // namespace lark
