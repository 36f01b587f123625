#include "devices/ascii_answer.h"

#include <algorithm>
#include <cstdio>

#include "common/checksum.h"
#include "common/tokenizer.h"
#include "devices/ups_event_log.h"

namespace lark {

const std::array<const char*, kIdentQueryCount> kIdentQueries = {
    "", "MOD", "MNU", "AVL", "AL1", "AL2", "AL3", "RAT", "VER", "CPU", "LET", "SER"};

const std::array<const char*, kStatusQueryCount> kStatusQueries = {
    "STB", "STI", "STO", "STP", "STA", "TSR", "VSN", "ATT", "ARB", "UBD",
    "EBP", "TXV", "TXF", "BT2", "BT1", "SDC", "IDC", "PMA", "PMS", "PFS",
    "PIS", "PCS", "PMT", "PIV", "BPA", "BCT", "BTV", "AEL", "EVT", "ELS"};

const std::array<int, kStatusCycleCount> kStatusCapabilityBit = {
    -1, -1, -1, -1, -1, -1, 3,  16, 13, 19, 63, 4,  18, 62,
    61, 23, 34, 52, 53, 54, 55, 56, 57, 58, 59, 60, 45};

const std::array<std::array<int, 25>, 3> kAlarmListBits = {{
    {-1, -1, -1, -1, 8, -1, -1, -1, -1, -1, 48, 6, 5, -1, 4, 3, 50, 49, -1, 48, 47, 16, 14, 13, 18},
    {19, 46, 45, -1, 44, -1, -1, 21, 22, 23, 34, 24, 25,
     26, 27, 29, 43, 52, 53, 54, 55, 56, 57, 58, 59},
    {61, 62, 60, 12, 10, 9, 7, 2, 1, 0, 17, 15, -1, 42, 63, 30, 31, 32, 33, 41, -1, -1, -1, -1, -1},
}};

namespace {

// Status table indices used below.
enum : int {
  kSTB = 0,
  kSTI,
  kSTO,
  kSTP,
  kSTA,
  kTSR,
  kVSN,
  kATT,
  kARB,
  kUBD,
  kEBP,
  kTXV,
  kTXF,
  kBT2,
  kBT1,
  kSDC,
  kIDC,
  kPMA,
  kPMS,
  kPFS,
  kPIS,
  kPCS,
  kPMT,
  kPIV,
  kBPA,
  kBCT,
  kBTV,
  kAEL,
  kEVT,
  kELS
};
enum : int { kMOD = 1, kMNU, kAVL, kAL1, kAL2, kAL3, kRAT, kVER, kCPU, kLET, kSER };

constexpr size_t kMaxFields = 256;
constexpr int kStaFields = 20;
constexpr int kModuleCount = 6;
constexpr int kEventRecordSize = 8;
constexpr int kEventRecordsPerRequest = 25;
constexpr int kMaxEventRecords = 500;

void SetCapabilityRange(AsciiImage& img, int first, int last) {
  for (int b = first; b <= last; ++b) img.setCapability(b, true);
}

// Fields 0..count-1 to slots first.., after setting them all to -1.
void StoreFields(AsciiImage& img, const std::vector<std::string_view>& f, int first, int count) {
  img.clearSlots(first, count);
  for (int i = 0; i < count && static_cast<size_t>(i) < f.size(); ++i) {
    img.setSlot(first + i, FieldValue(f[static_cast<size_t>(i)]));
  }
}

// Module pairs (module 1..6, value) to slots base + module.
void StoreModulePairs(AsciiImage& img, const std::vector<std::string_view>& f, int base) {
  img.clearSlots(base + 1, kModuleCount);
  for (size_t j = 0; j + 1 < f.size(); j += 2) {
    int32_t m = FieldValue(f[j]);
    if (m < 1 || m > kModuleCount) continue;
    img.setSlot(base + m, FieldValue(f[j + 1]));
  }
}

// Bitwise OR of the known (>= 0) values of six module slots.
uint32_t ModuleSource(const AsciiImage& img, int first) {
  uint32_t src = 0;
  for (int i = 0; i < kModuleCount; ++i) {
    int32_t v = img.slot(first + i);
    if (v >= 0) src |= static_cast<uint32_t>(v);
  }
  return src;
}

void DebounceExt(AsciiImage& img, int counter, int bit, uint32_t source, int srcBit, int limit) {
  DebounceBit(img, static_cast<size_t>(counter), ascii_off::kExtCurrentMask, bit,
              ((source >> srcBit) & 1u) != 0, limit);
}

void QueueRequest(AsciiImage& img, const std::string& text) {
  img.queuePush(WithLengthDigits(text));
}

void ApplyEventRecords(AsciiImage& img, std::string_view payload, AnswerEffects* fx) {
  int count = img.slot(175);
  int pos = img.eventLogPosition();
  if (pos < 1) return;  // no read-out running
  fx->logWrites.push_back(
      {static_cast<size_t>(pos) * kEventRecordSize, std::string(payload), false});
  int advance = static_cast<int>(payload.size()) / kEventRecordSize;
  if (advance <= 0) {
    // A device that sends no whole record would be asked the same forever.
    img.setEventLogPosition(count + 1);
    return;
  }
  pos += advance;
  img.setEventLogPosition(pos);
  if (pos > count) return;
  int remaining = count - pos + 1;
  char text[32];
  if (remaining < kEventRecordsPerRequest) {
    std::snprintf(text, sizeof text, "P007EVT%d;%d", pos, remaining);
  } else {
    std::snprintf(text, sizeof text, "P007EVT%d;%d", pos, kEventRecordsPerRequest);
  }
  QueueRequest(img, text);
}

void ApplyEventTexts(AsciiImage& img, std::string_view payload, AnswerEffects* fx) {
  constexpr int kEntries = static_cast<int>(UpsEventLogBuffer::kEntries);
  size_t semi = payload.find(';');
  int32_t pos = FieldValue(payload.substr(0, semi));
  if (pos < 1 || pos > kEntries || semi == std::string_view::npos) {
    img.setEventLogPosition(kEntries);  // out of range: the read-out ends
    return;
  }
  std::string_view text = payload.substr(semi + 1);
  size_t copied = std::min(text.size(), UpsEventLogBuffer::kEntrySize);
  fx->logWrites.push_back({static_cast<size_t>(pos - 1) * UpsEventLogBuffer::kEntrySize,
                           std::string(text.substr(0, copied)), true});
  ++pos;
  if (pos < kEntries && copied == UpsEventLogBuffer::kEntrySize) {
    img.setEventLogPosition(pos);
    QueueRequest(img, "P004ELS" + std::to_string(pos));
  } else {
    img.setEventLogPosition(kEntries);
  }
}

}  // namespace

int IdentIndexOf(std::string_view code) {
  for (int i = 1; i < kIdentQueryCount; ++i) {
    if (code == kIdentQueries[static_cast<size_t>(i)]) return i;
  }
  return -1;
}

int StatusIndexOf(std::string_view code) {
  for (int i = 0; i < kStatusQueryCount; ++i) {
    if (code == kStatusQueries[static_cast<size_t>(i)]) return i;
  }
  return -1;
}

std::string Sum8Text(CBytes bytes) {
  char out[3];
  std::snprintf(out, sizeof out, "%02X", Sum8(bytes));
  return std::string(out, 2);
}

std::string BuildQueryFrame(int bus, std::string_view code, bool checksum) {
  char head[16];
  std::snprintf(head, sizeof head, "~%02dP%03d", bus, static_cast<int>(code.size()));
  std::string frame = head;
  frame.append(code);
  if (checksum) frame += Sum8Text(asBytes(frame));
  return frame;
}

std::string WithLengthDigits(std::string text) {
  if (text.size() < 4 || text.size() > 103) return text;
  int n = static_cast<int>(text.size()) - 4;
  text[2] = static_cast<char>('0' + n / 10);
  text[3] = static_cast<char>('0' + n % 10);
  return text;
}

std::string BuildCommandFrame(int bus, std::string_view text, bool checksum) {
  char head[8];
  std::snprintf(head, sizeof head, "~%02d", bus);
  std::string frame = head;
  frame += WithLengthDigits(std::string(text));
  if (checksum) frame += Sum8Text(asBytes(frame));
  return frame;
}

AsciiHeader CheckAnswerHeader(CBytes buf, int bus) {
  if (buf.empty()) return AsciiHeader::kNeedMore;
  if (buf[0] != '~') return AsciiHeader::kBad;
  if (buf.size() < kAsciiHeaderSize) return AsciiHeader::kNeedMore;
  auto digit = [](uint8_t c) { return c >= '0' && c <= '9'; };
  // Two decimal digits naming the device asked, nothing looser.
  if (!digit(buf[1]) || !digit(buf[2])) return AsciiHeader::kBad;
  if ((buf[1] - '0') * 10 + (buf[2] - '0') != bus) return AsciiHeader::kBad;
  return AsciiHeader::kOk;
}

int AnswerDataLength(CBytes buf) {
  if (buf.size() < kAsciiDataHeaderSize) return -1;
  int n = 0;
  for (size_t i = 4; i < 7; ++i) {
    if (buf[i] < '0' || buf[i] > '9') return -1;
    n = n * 10 + (buf[i] - '0');
  }
  return n;
}

std::string RequestCode(CBytes frame) {
  if (frame.size() < 10 || frame[3] != 'P') return std::string();
  return std::string(reinterpret_cast<const char*>(frame.data() + 7), 3);
}

int32_t FieldValue(std::string_view field) {
  if (field.empty()) return -1;
  size_t i = 0;
  while (i < field.size() && (field[i] == ' ' || field[i] == '\t')) ++i;
  bool neg = false;
  if (i < field.size() && (field[i] == '+' || field[i] == '-')) neg = field[i++] == '-';
  int64_t v = 0;
  for (; i < field.size() && field[i] >= '0' && field[i] <= '9'; ++i) {
    v = v * 10 + (field[i] - '0');
    if (v > INT32_MAX) v = static_cast<int64_t>(INT32_MAX) + 1;  // clamp below
  }
  if (neg) v = -v;
  return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
}

std::vector<std::string_view> SplitFields(std::string_view payload) {
  std::vector<std::string_view> out;
  size_t start = 0;
  while (out.size() < kMaxFields) {
    size_t semi = payload.find(';', start);
    if (semi == std::string_view::npos) {
      out.push_back(payload.substr(start));
      break;
    }
    out.push_back(payload.substr(start, semi - start));
    start = semi + 1;
  }
  return out;
}

void DebounceBit(AsciiImage& img, size_t counterOff, size_t maskOff, int bit, bool source,
                 int limit) {
  uint8_t c = img.u8(counterOff);
  if (source) {
    if (c >= limit) {
      img.setMaskBit(maskOff, bit, true);
      c = static_cast<uint8_t>(limit);
    } else {
      ++c;
    }
  } else {
    if (c == 0) {
      img.setMaskBit(maskOff, bit, false);
    } else {
      --c;
    }
  }
  img.setU8(counterOff, c);
}

void ApplyIdentAnswer(AsciiImage& img, int identIndex, std::string_view payload,
                      AnswerEffects* fx) {
  auto f = SplitFields(payload);
  switch (identIndex) {
    case kMOD: {
      img.setText(ascii_off::kModel, ascii_off::kModelSize, CutUtf8(f[0], 16));
      int32_t cls = f.size() > 1 ? FieldValue(f[1]) : -1;
      img.setU32(ascii_off::kModelClass, static_cast<uint32_t>(cls));
      if (cls >= 3 && cls <= 5) SetCapabilityRange(img, 52, 60);
      break;
    }
    case kMNU:
      img.setText(ascii_off::kManufacturer, ascii_off::kManufacturerSize, CutUtf8(payload, 16));
      img.setMask(ascii_off::kCapabilities, 0);
      break;
    case kAVL:
      for (size_t i = 0; i < payload.size() && i < 21; ++i) {
        if (payload[i] == '1') img.setCapability(static_cast<int>(i), true);
      }
      break;
    case kAL1:
    case kAL2:
    case kAL3: {
      const auto& table = kAlarmListBits[static_cast<size_t>(identIndex - kAL1)];
      for (size_t i = 0; i < payload.size() && i < table.size(); ++i) {
        if (payload[i] == '1' && table[i] >= 0) img.setCapability(table[i], true);
      }
      break;
    }
    case kRAT: {
      StoreFields(img, f, 0, 26);
      // Two ratings come in tenths; an unknown value stays unknown.
      for (int s : {1, 3}) {
        if (img.slot(s) != -1) img.setSlot(s, img.slot(s) / 10);
      }
      if (img.slot(13) >= 0) fx->upsTypeCode = img.slot(13) & 0xFF;
      bool all = true;
      for (int s = 20; s <= 25; ++s) all = all && img.slot(s) >= 0;
      if (all) {
        img.setCapability(61, true);
      } else if (img.slot(20) >= 0 && img.slot(22) >= 0 && img.slot(23) >= 0) {
        img.setCapability(62, true);
      }
      break;
    }
    case kVER:
      img.setText(ascii_off::kFirmware, ascii_off::kFirmwareSize, CutUtf8(payload, 16));
      break;
    case kCPU: {
      uint16_t cpu = static_cast<uint16_t>(ParseHexText(payload));
      img.setU16(ascii_off::kCpuId, cpu);
      if (cpu == 0x5001) SetCapabilityRange(img, 52, 60);
      break;
    }
    case kLET: {
      int32_t v = FieldValue(payload);
      if (v >= 0) fx->status2 = v & 0xFF;
      break;
    }
    case kSER:
      img.setText(ascii_off::kSerialNumber, ascii_off::kSerialNumberSize, CutUtf8(payload, 20));
      break;
    default:
      break;
  }
}

void ApplyStatusAnswer(AsciiImage& img, int statusIndex, std::string_view payload,
                       uint8_t upsTypeCode, AnswerEffects* fx) {
  const int limit = img.checksumFlag() ? 2 : 5;
  auto f = SplitFields(payload);
  switch (statusIndex) {
    case kSTB:
      StoreFields(img, f, 26, 15);
      if (img.slot(36) >= 0) img.setCapability(63, true);
      img.setMaskBit(ascii_off::kCurrentMask, 20, img.slot(27) >= 1);
      break;
    case kSTI:
      StoreFields(img, f, 41, 16);
      break;
    case kSTO: {
      StoreFields(img, f, 57, 18);
      for (int b = 21; b <= 23; ++b) img.setMaskBit(ascii_off::kCurrentMask, b, false);
      int32_t src = img.slot(57);
      if (src == 1) img.setMaskBit(ascii_off::kCurrentMask, 21, true);
      if (src == 2) img.setMaskBit(ascii_off::kCurrentMask, upsTypeCode == 3 ? 23 : 22, true);
      if (src == 5) img.setMaskBit(ascii_off::kCurrentMask, 22, true);
      break;
    }
    case kSTP:
      StoreFields(img, f, 75, 15);
      break;
    case kSTA: {
      auto field = [&](int i) -> std::string_view {
        return static_cast<size_t>(i) < f.size() ? f[static_cast<size_t>(i)] : std::string_view();
      };
      img.setCapability(44, !field(18).empty());
      img.setCapability(42, !field(19).empty());
      for (int i = 0; i < kStaFields; ++i) {
        // A field the answer leaves out tells nothing: its alarm stays as it is.
        if (field(i).empty()) continue;
        bool on = FieldValue(field(i)) != 0;
        if (i == 19) on = !on;  // the last alarm reports 0 when active
        DebounceBit(img, ascii_off::kStaCounters + static_cast<size_t>(i), ascii_off::kCurrentMask,
                    i, on, limit);
      }
      break;
    }
    case kTSR:
    case kVSN:
    case kATT:
    case kARB:
    case kUBD:
    case kEBP:
      img.setSlot(90 + (statusIndex - kTSR), FieldValue(payload));
      break;
    case kTXV:
      StoreFields(img, f, 7, 2);
      break;
    case kTXF:
      img.setSlot(96, FieldValue(payload));
      break;
    case kBT2:
      img.setSlot(97, FieldValue(payload));
      break;
    case kBT1:
      StoreFields(img, f, 20, 2);
      break;
    case kSDC:
    case kIDC: {
      int first = statusIndex == kSDC ? 98 : 104;
      int count = statusIndex == kSDC ? 6 : 2;
      img.clearSlots(first, count);
      CBytes b = asBytes(payload);
      for (int i = 0; i < count && static_cast<size_t>(2 * i + 1) < b.size(); ++i) {
        img.setSlot(first + i, u16At(b, static_cast<size_t>(2 * i)));
      }
      break;
    }
    case kPMA:
      StoreModulePairs(img, f, 105);
      break;
    case kPMS:
      StoreModulePairs(img, f, 111);
      DebounceExt(img, 188, 0, ModuleSource(img, 112), 7, limit);
      break;
    case kPFS: {
      StoreModulePairs(img, f, 117);
      uint32_t src = ModuleSource(img, 118);
      for (int i = 0; i <= 8; ++i) DebounceExt(img, 189 + i, 1 + i, src, i, limit);
      DebounceExt(img, 198, 10, src, 12, limit);
      DebounceExt(img, 199, 11, src, 15, limit);
      break;
    }
    case kPIS: {
      img.clearSlots(124, kModuleCount);
      for (size_t j = 0; j + 3 < f.size(); j += 4) {
        int32_t m = FieldValue(f[j]);
        if (m < 1 || m > kModuleCount) continue;
        uint32_t packed = static_cast<uint32_t>(FieldValue(f[j + 1])) +
                          256u * static_cast<uint32_t>(FieldValue(f[j + 2])) +
                          65536u * static_cast<uint32_t>(FieldValue(f[j + 3]));
        img.setSlot(123 + m, static_cast<int32_t>(packed));
      }
      uint32_t src = ModuleSource(img, 124);
      for (int i = 0; i <= 3; ++i) DebounceExt(img, 200 + i, 12 + i, src, i, limit);
      for (int i = 0; i <= 5; ++i) DebounceExt(img, 204 + i, 16 + i, src, 5 + i, limit);
      for (int i = 0; i <= 3; ++i) DebounceExt(img, 210 + i, 22 + i, src, 12 + i, limit);
      DebounceExt(img, 214, 26, src, 15, limit);
      break;
    }
    case kPCS:
      StoreModulePairs(img, f, 129);
      DebounceExt(img, 215, 0, ModuleSource(img, 130), 0, limit);
      break;
    case kPMT:
      StoreFields(img, f, 136, 12);
      break;
    case kPIV:
      img.clearSlots(148, 3 * kModuleCount);
      for (size_t j = 0; j + 3 < f.size(); j += 4) {
        int32_t m = FieldValue(f[j]);
        if (m < 1 || m > kModuleCount) continue;
        for (int k = 0; k < 3; ++k) {
          img.setSlot(148 + 3 * (m - 1) + k, FieldValue(f[j + 1 + static_cast<size_t>(k)]));
        }
      }
      break;
    case kBPA: {
      int32_t bits = 0;
      for (size_t i = 0; i < 8 && i < f.size(); ++i) {
        int32_t v = FieldValue(f[i]);
        if (v != 0 && v != -1) bits |= 1 << i;
      }
      img.setSlot(166, bits);
      for (int i = 0; i <= 4; ++i) {
        DebounceExt(img, 216 + i, 28 + i, static_cast<uint32_t>(bits), i, limit);
      }
      break;
    }
    case kBCT:
      StoreFields(img, f, 167, 6);
      break;
    case kBTV:
      StoreFields(img, f, 173, 2);
      break;
    case kAEL: {
      StoreFields(img, f, 175, 3);
      if (img.slot(175) > kMaxEventRecords) img.setSlot(175, kMaxEventRecords);
      img.setEventLogPosition(1);
      if (img.slot(177) == 1) {
        QueueRequest(img, "P007EVT1;25");
      } else if (img.slot(177) == 0) {
        QueueRequest(img, "P004ELS1");
      }
      break;
    }
    case kEVT:
      ApplyEventRecords(img, payload, fx);
      break;
    case kELS:
      ApplyEventTexts(img, payload, fx);
      break;
    default:
      break;
  }
}

void ApplyRefusal(AsciiImage& img, bool identifying, std::string_view code) {
  if (identifying) {
    int i = IdentIndexOf(code);
    if (i >= kAL1 && i <= kAL3) img.setQueryIndex(kAL3);
    return;
  }
  int i = StatusIndexOf(code);
  if (i >= kPMA && i <= kBCT)
    img.setCapability(kStatusCapabilityBit[static_cast<size_t>(i)], false);
}

}  // namespace lark
