#include "devices/gprs/gprs_frame.h"

#include <cstdio>
#include <limits>

#include "common/checksum.h"

namespace lark {

namespace {

// Fields each tag carries.
constexpr size_t kFieldCount[] = {1, 2, 1, 2, 26, 20, 15, 16, 18, 15, 1};
// First value slot of the list tags (RAT, STB, STI, STO, STP, TSR); -1 for the others.
constexpr int kFirstValue[] = {-1, -1, -1, -1, 0, -1, 26, 41, 57, 75, 90};
static_assert(std::size(kFieldCount) == kNoTag && std::size(kFirstValue) == kNoTag);

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

bool IsText(int tag) { return tag == kLoc || tag == kMod || tag == kVer || tag == kBrd; }

void SetBit(uint64_t& mask, int bit, bool on) {
  const uint64_t b = uint64_t{1} << bit;
  mask = on ? (mask | b) : (mask & ~b);
}

}  // namespace

int FindGprsTag(std::string_view text) {
  if (text.size() < 3) return kNoTag;
  for (int i = 0; i < kNoTag; ++i) {
    if (text.substr(0, 3) == kGprsTagNames[i]) return i;
  }
  return kNoTag;
}

GprsFrameCheck CheckGprsFrame(std::string_view buf) {
  GprsFrameCheck c;
  auto bad = [&](int code) {
    c.status = GprsFrameCheck::kBad;
    c.code = code;
    return c;
  };
  if (buf.empty()) return c;
  if (buf[0] != '~') return bad(0);
  if (buf.size() >= 4 && buf[3] != 'D') return bad(3);
  if (buf.size() < kGprsHeaderSize) return c;
  int length = 0;
  for (size_t i = 4; i < 7; ++i) {
    if (buf[i] < '0' || buf[i] > '9') return bad(4);
    length = length * 10 + (buf[i] - '0');
  }
  if (length < kGprsMinLength || length > kGprsMaxLength) return bad(4);
  const size_t total = static_cast<size_t>(length) + kGprsHeaderSize;
  if (buf.size() < total) return c;
  const int hi = HexValue(buf[total - 2]), lo = HexValue(buf[total - 1]);
  if (hi < 0 || lo < 0) return bad(5);
  if (hi * 16 + lo != Sum8(asBytes(buf.substr(0, total - 2)))) return bad(5);
  c.status = GprsFrameCheck::kComplete;
  c.code = 2;
  c.length = total;
  return c;
}

std::string_view GprsReportOf(std::string_view frame, size_t length) {
  return frame.substr(kGprsHeaderSize, length - kGprsHeaderSize - 2);
}

std::string BuildGprsFrame(std::string_view report, std::string_view kind, bool lowerSum) {
  char head[8];
  std::snprintf(head, sizeof head, "~%.2sD%03zu", kind.data(), report.size() + 2);
  std::string frame = std::string(head) + std::string(report);
  char sum[3];
  std::snprintf(sum, sizeof sum, lowerSum ? "%02x" : "%02X", Sum8(asBytes(frame)));
  return frame + sum;
}

int32_t GprsNumber(std::string_view field) {
  size_t i = 0;
  bool negative = false;
  if (i < field.size() && (field[i] == '-' || field[i] == '+')) negative = field[i++] == '-';
  int64_t v = 0;
  for (; i < field.size() && field[i] >= '0' && field[i] <= '9'; ++i) {
    v = v * 10 + (field[i] - '0');
    if (v > std::numeric_limits<int32_t>::max()) break;
  }
  if (negative) v = -v;
  if (v > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
  if (v < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(v);
}

std::vector<GprsItem> ParseGprsReport(std::string_view report) {
  std::vector<GprsItem> items;
  size_t pos = 0;
  while (pos < report.size()) {
    GprsItem item;
    item.tag = FindGprsTag(report.substr(pos));
    if (item.tag == kNoTag) break;
    pos += 3;
    for (size_t n = 0; n < kFieldCount[item.tag] && pos < report.size(); ++n) {
      // Past the first field of a text tag, a field that begins with a tag
      // means the list was cut short: the parse goes on with that tag.
      if ((n > 0 || !IsText(item.tag)) && FindGprsTag(report.substr(pos)) != kNoTag) break;
      size_t end = report.find(';', pos);
      if (end == std::string_view::npos) end = report.size();
      item.fields.push_back(report.substr(pos, end - pos));
      pos = end + 1;
    }
    if (item.tag == kBrd && (item.fields.size() != 2 || item.fields[0].size() != kGprsBoardChars ||
                             item.fields[1].size() != kGprsBoardChars)) {
      break;
    }
    items.push_back(std::move(item));
  }
  return items;
}

void ApplyGprsItem(const GprsItem& item, Bytes image, uint8_t& operatingState) {
  auto value = [&](int x) { return i32At(image, gprs_off::kValues + 4 * static_cast<size_t>(x)); };
  auto setValue = [&](int x, int32_t v) {
    if (x >= 0 && x < kGprsValueCount) putI32(image, gprs_off::kValues + 4 * static_cast<size_t>(x), v);
  };
  const auto& f = item.fields;
  uint64_t mask = u64At(image, gprs_off::kCurrentMask);
  switch (item.tag) {
    case kMod:
      if (!f.empty()) putStr(image, gprs_off::kModel, gprs_off::kModelSize, f[0]);
      if (f.size() > 1) putI32(image, gprs_off::kModelNumber, GprsNumber(f[1]));
      return;
    case kVer:
      if (!f.empty()) putStr(image, gprs_off::kVersion, gprs_off::kVersionSize, f[0]);
      return;
    case kBrd:
      putStr(image, gprs_off::kBoard1, gprs_off::kBoardSize, f[0]);
      putStr(image, gprs_off::kBoard2, gprs_off::kBoardSize, f[1]);
      return;
    case kSta:
      for (size_t i = 0; i < f.size(); ++i) {
        if (f[i].empty()) continue;
        const bool one = GprsNumber(f[i]) == 1;
        SetBit(mask, static_cast<int>(i), i < 19 ? one : !one);  // position 19 is inverted
      }
      putU64(image, gprs_off::kCurrentMask, mask);
      return;
    case kLoc:
    case kNoTag:
      return;
    default:
      break;
  }
  const int first = kFirstValue[item.tag];
  for (size_t i = 0; i < kFieldCount[item.tag]; ++i) setValue(first + static_cast<int>(i), -1);
  for (size_t i = 0; i < f.size(); ++i) {
    setValue(first + static_cast<int>(i), f[i].empty() ? -1 : GprsNumber(f[i]));
  }
  switch (item.tag) {
    case kRat:
      if (value(1) >= 0) setValue(1, value(1) / 10);
      if (value(3) >= 0) setValue(3, value(3) / 10);
      if (value(13) >= 0) operatingState = static_cast<uint8_t>(value(13) & 0xFF);
      return;
    case kStb:
      SetBit(mask, 20, value(27) >= 1);
      break;
    case kSto: {
      SetBit(mask, 21, false);
      SetBit(mask, 22, false);
      SetBit(mask, 23, false);
      const int32_t mode = value(57);
      if (mode == 1) SetBit(mask, 21, true);
      if (mode == 2) SetBit(mask, operatingState == 3 ? 23 : 22, true);
      if (mode == 5) SetBit(mask, 22, true);
      break;
    }
    default:
      return;
  }
  putU64(image, gprs_off::kCurrentMask, mask);
}

void PutGprsReportTime(Bytes image, const WallTime& t) {
  const int fields[8] = {t.year, t.month, t.dayOfWeek, t.day, t.hour, t.minute, t.second, t.millis};
  for (size_t i = 0; i < 8; ++i) {
    putU16(image, gprs_off::kReportTime + 2 * i, static_cast<uint16_t>(fields[i]));
  }
}

}  // namespace lark
