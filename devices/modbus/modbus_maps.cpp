// Map of this file: image helpers; CommType 2 (identification, the four
// status blocks, the parallel-module block with its debounced bits);
// CommType 3; CommType 5; CommType 6; CommType 7; CommType 8; dispatch.
#include "devices/modbus/modbus_maps.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <functional>
#include <string>

#include "devices/modbus/modbus_live_data.h"

namespace lark {

namespace {

int32_t HoldI32(int64_t v) {
  return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
}

// Value slots and masks of one block image; indexes outside the slots read -1
// and write nothing.
class Img {
 public:
  Img(Bytes b, size_t slotOff, int slotCount) : b_(b), off_(slotOff), count_(slotCount) {}
  int32_t slot(int i) const {
    return i >= 0 && i < count_ ? i32At(b_, off_ + 4 * static_cast<size_t>(i)) : -1;
  }
  void set(int i, int32_t v) {
    if (i >= 0 && i < count_) putI32(b_, off_ + 4 * static_cast<size_t>(i), v);
  }
  void clear(int first, int last) {
    for (int i = first; i <= last; ++i) set(i, -1);
  }
  uint64_t mask(size_t off) const { return u64At(b_, off); }
  void setBit(size_t off, int bit, bool on) {
    uint64_t m = mask(off);
    const uint64_t v = uint64_t{1} << bit;
    putU64(b_, off, on ? (m | v) : (m & ~v));
  }
  bool bit(size_t off, int bit) const { return ((mask(off) >> bit) & 1u) != 0; }
  Bytes bytes() { return b_; }

 private:
  Bytes b_;
  size_t off_;
  int count_;
};

Img ModbusImg(Bytes b) { return Img(b, mb_off::kSlots, kModbusSlotTotal); }

// Bit rules of the status tables: the event takes the source bit, its
// inverse, or keeps a set event and otherwise takes the source bit.
enum class Rule : uint8_t { kSetWhen1, kSetWhen0, kOr };
struct BitRule {
  int16_t source;  // register (CommType 3) or discrete input (CommType 5)
  int8_t bit;      // bit of the register; -1 for inputs
  int8_t event;
  Rule rule;
};

void ApplyRule(Img& img, int event, bool value, Rule rule) {
  switch (rule) {
    case Rule::kSetWhen1:
      img.setBit(mb_off::kCurrentMask, event, value);
      break;
    case Rule::kSetWhen0:
      img.setBit(mb_off::kCurrentMask, event, !value);
      break;
    case Rule::kOr:
      if (value) img.setBit(mb_off::kCurrentMask, event, true);
      break;
  }
}

// ---- CommType 2 ----

constexpr int kDebounceLimit = 5;

// One debounce step of a condition: counts polls with it up (the state turns
// on once the count was already at the limit) and polls without it down (the
// state turns off once the count was already 0). Returns the new state.
bool DebounceStep(uint8_t& count, bool state, bool on) {
  if (on) {
    if (count >= kDebounceLimit) {
      state = true;
      count = kDebounceLimit;
    } else {
      ++count;
    }
  } else if (count == 0) {
    state = false;
  } else {
    --count;
  }
  return state;
}

// A debounced extended bit with its own counter.
void Debounce(Img& img, size_t counter, int extBit, bool on) {
  const bool state = img.bit(mb_off::kExtCurrentMask, extBit);
  img.setBit(mb_off::kExtCurrentMask, extBit, DebounceStep(img.bytes()[counter], state, on));
}

// Extended bit 0 has two sources, the module alarm word (counter 188) and
// the module state word (counter 215). Each keeps its own debounced state in
// byte 216, and the bit shows either: a source settled clear must not wipe
// the alarm of the other on every poll.
void DebounceSharedBit(Img& img, size_t counter, int source, bool on) {
  uint8_t& states = img.bytes()[mb_off::kSharedBitStates];
  const bool state = DebounceStep(img.bytes()[counter], ((states >> source) & 1u) != 0, on);
  states = static_cast<uint8_t>(state ? (states | (1u << source)) : (states & ~(1u << source)));
  img.setBit(mb_off::kExtCurrentMask, 0, (states & 3u) != 0);
}

// OR of the module alarm words that hold a value; an absent slot (-1) would
// set every bit.
uint32_t OrPresent(const Img& img, int first, int last) {
  uint32_t v = 0;
  for (int i = first; i <= last; ++i) {
    if (img.slot(i) >= 0) v |= static_cast<uint32_t>(img.slot(i));
  }
  return v;
}

bool Bit(uint32_t v, int b) { return ((v >> b) & 1u) != 0; }

void SetCapability(Img& img, int bit, bool on) { img.setBit(mb_off::kCapabilities, bit, on); }

void UpsText(const RtuReadAnswer& a, Bytes image, int firstReg, size_t off) {
  std::string text;
  for (int r = firstReg; r < firstReg + 8; ++r) {
    const int32_t v = a.reg(r);
    if (v < 0) break;
    text.push_back(static_cast<char>(v & 0xFF));
    text.push_back(static_cast<char>(v >> 8));
  }
  const size_t nul = text.find('\0');
  if (nul != std::string::npos) text.resize(nul);
  putStr(image, off, mb_off::kTextSize, text);
}

void UpsIdentification(const RtuReadAnswer& a, Img& img, Bytes image, MapNodeState& node,
                       const std::function<int32_t(int)>& reg) {
  if (a.start == 1024) {
    const int32_t subtype = reg(1024);
    putI32(image, mb_off::kSubtype, subtype);
    if (subtype >= 3 && subtype <= 5) {
      for (int b = 52; b <= 60; ++b) SetCapability(img, b, true);
    }
    for (int i = 0; i <= 25; ++i) img.set(i, reg(1025 + i));
    for (int i : {1, 3}) {
      if (img.slot(i) >= 0) img.set(i, img.slot(i) / 10);
    }
    for (int i : {4, 5}) {
      if (img.slot(i) > 0) img.set(i, img.slot(i) * 10);
    }
    if (img.slot(13) >= 0) {
      node.operatingState = static_cast<uint8_t>(img.slot(13) & 0xFF);
      node.operatingStateSet = true;
    }
    bool all = true;
    for (int i = 20; i <= 25; ++i) all = all && img.slot(i) >= 0;
    if (all) {
      SetCapability(img, 61, true);
    } else if (img.slot(20) >= 0 && img.slot(22) >= 0 && img.slot(23) >= 0) {
      SetCapability(img, 62, true);
    }
  } else if (a.start == 1272) {
    UpsText(a, image, 1272, mb_off::kMake);
    UpsText(a, image, 1283, mb_off::kModel);
    UpsText(a, image, 1294, mb_off::kThirdText);
  }
}

void UpsStatus1054(Img& img, MapNodeState& node, const std::function<int32_t(int)>& reg) {
  for (int i = 26; i <= 40; ++i) img.set(i, reg(1054 + i - 26));
  for (int i = 41; i <= 56; ++i) img.set(i, reg(1072 + i - 41));
  for (int i = 57; i <= 74; ++i) img.set(i, reg(1090 + i - 57));
  for (int i = 75; i <= 89; ++i) img.set(i, reg(1110 + i - 75));
  img.set(90, reg(1127));
  if (reg(1128) >= 0) node.status2 = reg(1128) & 0xFF;
  img.setBit(mb_off::kCurrentMask, 20, img.slot(27) >= 1);
  if (img.slot(36) >= 0) SetCapability(img, 63, true);
  for (int b : {21, 22, 23}) img.setBit(mb_off::kCurrentMask, b, false);
  switch (img.slot(57)) {
    case 1:
      img.setBit(mb_off::kCurrentMask, 21, true);
      break;
    case 2:
      img.setBit(mb_off::kCurrentMask, node.operatingState == 3 ? 23 : 22, true);
      break;
    case 5:
      img.setBit(mb_off::kCurrentMask, 22, true);
      break;
    default:
      break;
  }
}

void UpsInputs256(const RtuReadAnswer& a, Img& img) {
  for (int b = 0; b <= 19; ++b) img.setBit(mb_off::kCurrentMask, b, a.input(256 + b));
  for (int b = 20; b <= 23; ++b) {
    if (a.input(256 + b)) img.setBit(mb_off::kCurrentMask, b, true);
  }
  img.setBit(mb_off::kCurrentMask, 19, !img.bit(mb_off::kCurrentMask, 19));
}

void UpsSettings768(Img& img, Bytes image, const std::function<int32_t(int)>& reg) {
  img.set(7, reg(772));
  img.set(8, reg(773));
  img.set(91, reg(774));
  PutDateText(image, mb_off::kFirstDate, reg(775), reg(776), reg(777));
  PutDateText(image, mb_off::kSecondDate, reg(778), reg(779), reg(780));
  const std::pair<int, int> singles[] = {{92, 781},  {94, 783}, {96, 784}, {173, 786},
                                         {174, 787}, {95, 790}, {98, 791}};
  for (auto [s, r] : singles) img.set(s, reg(r));
  SetCapability(img, 23, reg(791) >= 0);
  for (int i = 99; i <= 103; ++i) img.set(i, reg(792 + i - 99));
  img.set(20, reg(797));
  img.set(21, reg(798));
  img.set(97, reg(799));
  img.set(104, reg(800));
  SetCapability(img, 34, reg(800) >= 0);
  img.set(105, reg(801));
}

void UpsModules1158(Img& img, const std::function<int32_t(int)>& reg) {
  auto index = [](int32_t v) { return v >= 0 ? (v & 0xFF) : -1; };
  auto valid = [](int i) { return i >= 1 && i <= 4; };
  // Single registers: the low byte is the module index, the high byte its value.
  auto singles = [&](int firstReg, int base) {
    img.clear(base + 1, base + 4);
    for (int r = firstReg; r < firstReg + 4; ++r) {
      const int32_t v = reg(r);
      if (valid(index(v))) img.set(base + index(v), v >> 8);
    }
  };
  singles(1158, 105);
  singles(1164, 111);
  const uint32_t pms = OrPresent(img, 112, 117);
  DebounceSharedBit(img, mb_off::kModuleCounters + 0, 0, Bit(pms, 7));

  img.clear(118, 121);
  for (int p = 0; p < 4; ++p) {
    const int32_t idx = reg(1170 + 2 * p);
    if (valid(idx)) img.set(117 + idx, reg(1171 + 2 * p));
  }
  const uint32_t pfs = OrPresent(img, 118, 123);
  for (int b = 0; b <= 8; ++b) Debounce(img, mb_off::kModuleCounters + 1 + b, 1 + b, Bit(pfs, b));
  Debounce(img, mb_off::kModuleCounters + 10, 10, Bit(pfs, 12));
  Debounce(img, mb_off::kModuleCounters + 11, 11, Bit(pfs, 15));

  img.clear(124, 127);
  for (int p = 0; p < 4; ++p) {
    const int32_t ir = reg(1182 + 2 * p);
    const int32_t value = reg(1183 + 2 * p);
    if (valid(index(ir)) && value >= 0) img.set(123 + index(ir), value * 256 + (ir >> 8));
  }
  const uint32_t pis = OrPresent(img, 124, 129);
  for (int b = 0; b <= 3; ++b) Debounce(img, mb_off::kModuleCounters + 12 + b, 12 + b, Bit(pis, b));
  for (int b = 5; b <= 10; ++b)
    Debounce(img, mb_off::kModuleCounters + 11 + b, 11 + b, Bit(pis, b));
  for (int b = 12; b <= 15; ++b)
    Debounce(img, mb_off::kModuleCounters + 10 + b, 10 + b, Bit(pis, b));
  Debounce(img, mb_off::kModuleCounters + 26, 26, Bit(pis, 15));

  singles(1194, 129);
  const uint32_t pcs = OrPresent(img, 130, 135);
  DebounceSharedBit(img, mb_off::kModuleCounters + 27, 1, Bit(pcs, 0));

  img.clear(138, 145);
  for (int e = 0; e < 4; ++e) {
    const int first = 1200 + 7 * e;
    const int32_t idx = reg(first);
    if (!valid(idx)) continue;
    img.set(136 + 2 * idx, reg(first + 1));
    img.set(137 + 2 * idx, reg(first + 3));
  }
  img.clear(151, 162);
  for (int e = 0; e < 4; ++e) {
    const int first = 1242 + 4 * e;
    const int32_t idx = reg(first);
    if (!valid(idx)) continue;
    for (int k = 0; k < 3; ++k) img.set(148 + 3 * idx + k, reg(first + 1 + k));
  }
}

// ---- CommType 3 ----

// clang-format off
constexpr BitRule kTrv5200Bits[] = {
  {64, 0, 15, Rule::kSetWhen0}, {64, 1, 3, Rule::kSetWhen1},  {64, 2, 4, Rule::kSetWhen1},
  {64, 3, 5, Rule::kSetWhen1},  {64, 5, 18, Rule::kSetWhen1}, {64, 7, 31, Rule::kSetWhen1},
  {64, 8, 16, Rule::kSetWhen0}, {64, 9, 30, Rule::kSetWhen1}, {64, 14, 17, Rule::kSetWhen0},
  {65, 1, 7, Rule::kSetWhen1},  {65, 2, 14, Rule::kSetWhen1}, {65, 3, 19, Rule::kSetWhen1},
  {68, 0, 33, Rule::kSetWhen1}, {68, 1, 32, Rule::kSetWhen1}, {68, 5, 35, Rule::kSetWhen1},
  {68, 6, 34, Rule::kSetWhen1}, {68, 13, 7, Rule::kOr},       {72, 0, 33, Rule::kOr},
  {72, 4, 0, Rule::kSetWhen0},  {72, 6, 20, Rule::kSetWhen0}, {72, 7, 12, Rule::kSetWhen1},
  {72, 10, 25, Rule::kSetWhen1}, {72, 13, 7, Rule::kOr},      {73, 6, 27, Rule::kSetWhen0},
  {73, 7, 10, Rule::kSetWhen0}, {73, 8, 29, Rule::kSetWhen0}, {73, 9, 6, Rule::kSetWhen1},
  {73, 12, 24, Rule::kSetWhen1}, {73, 13, 25, Rule::kSetWhen1}, {73, 15, 28, Rule::kSetWhen1},
  {74, 0, 22, Rule::kSetWhen1}, {74, 1, 23, Rule::kSetWhen1}, {74, 2, 34, Rule::kSetWhen1},
  {76, 2, 11, Rule::kSetWhen1}, {76, 4, 9, Rule::kSetWhen0},  {76, 5, 2, Rule::kSetWhen1},
  {76, 6, 1, Rule::kSetWhen1},  {76, 7, 3, Rule::kOr},        {76, 8, 7, Rule::kOr},
  {77, 13, 8, Rule::kSetWhen1}, {78, 9, 21, Rule::kSetWhen1},
};

constexpr BitRule k9315Inputs[] = {
  {15, -1, 2, Rule::kSetWhen1},   {111, -1, 32, Rule::kSetWhen0}, {112, -1, 33, Rule::kSetWhen0},
  {113, -1, 15, Rule::kSetWhen0}, {114, -1, 16, Rule::kSetWhen1}, {115, -1, 22, Rule::kSetWhen0},
  {116, -1, 39, Rule::kSetWhen0}, {117, -1, 10, Rule::kSetWhen0}, {118, -1, 11, Rule::kSetWhen0},
  {143, -1, 7, Rule::kSetWhen1},  {144, -1, 8, Rule::kSetWhen1},  {145, -1, 9, Rule::kSetWhen1},
  {146, -1, 12, Rule::kSetWhen1}, {147, -1, 13, Rule::kSetWhen1}, {148, -1, 14, Rule::kSetWhen1},
  {149, -1, 19, Rule::kSetWhen1}, {150, -1, 20, Rule::kSetWhen1}, {151, -1, 21, Rule::kSetWhen1},
  {152, -1, 24, Rule::kSetWhen1}, {153, -1, 25, Rule::kSetWhen1}, {154, -1, 26, Rule::kSetWhen1},
  {168, -1, 27, Rule::kSetWhen1}, {171, -1, 29, Rule::kSetWhen1}, {172, -1, 30, Rule::kSetWhen1},
  {173, -1, 31, Rule::kSetWhen1}, {175, -1, 34, Rule::kSetWhen1}, {176, -1, 17, Rule::kSetWhen1},
  {190, -1, 35, Rule::kSetWhen1}, {193, -1, 28, Rule::kSetWhen1}, {199, -1, 36, Rule::kSetWhen1},
  {211, -1, 38, Rule::kSetWhen1}, {213, -1, 3, Rule::kSetWhen1},  {240, -1, 6, Rule::kSetWhen1},
  {248, -1, 18, Rule::kSetWhen1}, {250, -1, 39, Rule::kOr},       {251, -1, 10, Rule::kOr},
  {269, -1, 37, Rule::kSetWhen1}, {311, -1, 0, Rule::kSetWhen1},  {312, -1, 1, Rule::kSetWhen1},
  {336, -1, 4, Rule::kSetWhen1},  {344, -1, 5, Rule::kSetWhen1},  {360, -1, 23, Rule::kSetWhen1},
};
// clang-format on

// Slots firstSlot..lastSlot take the registers from firstReg on.
void TakeRun(Img& img, const RtuReadAnswer& a, int firstSlot, int lastSlot, int firstReg) {
  for (int s = firstSlot; s <= lastSlot; ++s) img.set(s, a.reg(firstReg + s - firstSlot));
}

// x / divisor, -1 when either is absent or the divisor is 0.
int32_t Ratio(int64_t x, int64_t divisor) {
  if (x < 0 || divisor <= 0) return -1;
  return HoldI32(x / divisor);
}

// ---- CommType 6 ----

// The 32-bit value of a register pair, high word first; -1 when absent.
int64_t Pair(const RtuReadAnswer& a, int r) {
  const int32_t hi = a.reg(r), lo = a.reg(r + 1);
  if (hi < 0 || lo < 0) return -1;
  return (static_cast<int64_t>(hi) << 16) | lo;
}

void KeepLarger(Img& img, int slot, int64_t v) {
  if (v >= 0 && v > img.slot(slot)) img.set(slot, HoldI32(v));
}

}  // namespace

void PutDateText(Bytes image, size_t off, int32_t year, int32_t month, int32_t day) {
  char text[mb_off::kDateSize] = {};
  if (year >= 0 && year <= 9999 && month >= 0 && month <= 99 && day >= 0 && day <= 99) {
    std::snprintf(text, sizeof text, "%04d%02d%02d", year, month, day);
  }
  putStr(image, off, mb_off::kDateSize, text);
}

void ParseModbusUpsReply(const RtuReadAnswer& a, Bytes image, MapNodeState& node) {
  Img img = ModbusImg(image);
  const std::function<int32_t(int)> reg = [&a](int r) {
    const int32_t v = a.reg(r);
    return v == 65535 ? -1 : v;
  };
  if (node.linkStatus == 0) return UpsIdentification(a, img, image, node, reg);
  switch (a.start) {
    case 1054:
      return UpsStatus1054(img, node, reg);
    case 256:
      return UpsInputs256(a, img);
    case 768:
      return UpsSettings768(img, image, reg);
    case 1158:
      return UpsModules1158(img, reg);
    default:
      return;
  }
}

void ParseModbusTrv5200Reply(const RtuReadAnswer& a, Bytes image, MapNodeState& node) {
  Img img = ModbusImg(image);
  switch (a.start) {
    case 521: {
      const int32_t rating = a.reg(521);
      img.set(56, rating < 0 ? -1 : rating * 1000);
      node.operatingState = 3;
      node.operatingStateSet = true;
      putStr(image, mb_off::kMake, mb_off::kTextSize, "MGE");
      putStr(image, mb_off::kModel, mb_off::kTextSize, "TRV5200");
      return;
    }
    case 64:
      for (const BitRule& r : kTrv5200Bits) {
        const int32_t v = a.reg(r.source);
        if (v >= 0) ApplyRule(img, r.event, ((v >> r.bit) & 1) != 0, r.rule);
      }
      return;
    case 256:
      TakeRun(img, a, 0, 2, 256);
      TakeRun(img, a, 3, 11, 262);
      img.set(12, a.reg(277));
      TakeRun(img, a, 46, 48, 289);
      TakeRun(img, a, 14, 35, 320);
      if (img.slot(5) > 0) {
        // A rating below 1 kVA (register 521 = 0) leaves the load unknown.
        const int64_t load = img.slot(43) < 0 ? -1 : int64_t{img.slot(43)} * 100 / 10;
        img.set(45, Ratio(load, img.slot(56) < 0 ? 0 : img.slot(56) / 1000));
      }
      return;
    case 384:
      TakeRun(img, a, 37, 44, 384);
      img.set(13, a.reg(392));
      img.set(49, a.reg(393));
      TakeRun(img, a, 50, 53, 416);
      img.set(55, a.reg(450));
      img.set(54, a.reg(451));
      return;
    default:
      return;
  }
}

void ParseModbus9315Reply(const RtuReadAnswer& a, Bytes image, MapNodeState& /*node*/) {
  Img img = ModbusImg(image);
  if (a.start == 0 && (a.function == 3 || a.function == 4)) {
    struct Run {
      int16_t firstReg, lastReg, firstSlot;
    };
    constexpr Run kRuns[] = {{0, 2, 9},    {3, 5, 0},    {9, 11, 22},  {18, 20, 3},  {21, 21, 19},
                             {22, 22, 7},  {25, 25, 21}, {26, 26, 8},  {27, 27, 18}, {28, 28, 6},
                             {29, 29, 29}, {30, 30, 25}, {32, 32, 31}, {33, 33, 30}, {34, 34, 32},
                             {35, 35, 33}, {59, 61, 26}, {65, 67, 15}, {78, 80, 12}};
    for (const Run& r : kRuns)
      TakeRun(img, a, r.firstSlot, r.firstSlot + r.lastReg - r.firstReg, r.firstReg);
    if (img.slot(34) >= 0) {
      const int64_t load = img.slot(19) < 0 ? -1 : int64_t{img.slot(19)} * 100;
      img.set(20, Ratio(load, img.slot(34) / 1000));
    }
  } else if (a.start == 7 && (a.function == 1 || a.function == 2)) {
    for (const BitRule& r : k9315Inputs) ApplyRule(img, r.event, a.input(r.source), r.rule);
  }
}

void ParseModbusInverterReply(const RtuReadAnswer& a, Bytes image, MapNodeState& /*node*/) {
  Img img = ModbusImg(image);
  if (a.start == 1023) {
    const int32_t status = a.reg(1023);
    if (status >= 0) putU64(image, mb_off::kCurrentMask, static_cast<uint64_t>(status ^ 1));
    const int32_t fw = a.reg(1028);
    if (fw >= 0) {
      char text[mb_off::kTextSize];
      std::snprintf(text, sizeof text, "%d.%d", fw >> 8, fw & 0xFF);
      putStr(image, mb_off::kThirdText, mb_off::kTextSize, text);
    }
    const int32_t rated = a.reg(1029);
    img.set(21, rated);
    if (rated >= 0) {
      char text[mb_off::kTextSize];
      std::snprintf(text, sizeof text, "%dW", rated);
      putStr(image, mb_off::kModel, mb_off::kTextSize, text);
    }
    KeepLarger(img, 17, a.reg(1030));
    KeepLarger(img, 18, Pair(a, 1031));
    const int64_t total = Pair(a, 1033);
    KeepLarger(img, 19, total < 0 ? -1 : total / 1000);
    TakeRun(img, a, 0, 8, 1035);
    img.set(9, a.reg(1044));
    img.set(10, a.reg(1045));
    img.set(20, a.reg(1046));
    img.set(11, a.reg(1047));
    img.set(12, a.reg(1048));
    img.set(13, a.reg(1049));
    img.set(14, a.reg(1050));
    const int32_t r1051 = a.reg(1051);
    img.set(15, r1051 < 0 ? -1 : (r1051 >> 8) * 256 + (r1051 & 0xFF) * 10);
    img.set(16, a.reg(1052));
  } else if (a.start == 1077) {
    img.set(24, a.reg(1077));
    img.set(26, a.reg(1078));
    img.set(28, a.reg(1079));
    if (img.slot(24) >= 0 && img.slot(26) >= 0 && img.slot(28) >= 0) {
      KeepLarger(img, 22, int64_t{img.slot(24)} + img.slot(26) + img.slot(28));
    }
    for (int k = 0; k < 3; ++k) {
      const int64_t v = Pair(a, 1080 + 2 * k);
      img.set(25 + 2 * k, v < 0 ? -1 : HoldI32(v / 1000));
    }
    if (img.slot(25) >= 0 && img.slot(27) >= 0 && img.slot(29) >= 0) {
      KeepLarger(img, 23, int64_t{img.slot(25)} + img.slot(27) + img.slot(29));
    }
  }
}

void ParseModbusSensorReply(const RtuReadAnswer& a, Bytes image, MapNodeState& node) {
  if (node.sensorType != 0 || a.start != static_cast<uint16_t>(i16At(image, sensor_off::kStart))) {
    return;
  }
  Img img(image, sensor_off::kSlots, kSensorSlotTotal);
  auto scaled = [&](int r, double range, double shift) {
    const int32_t v = a.reg(a.start + r);
    return v < 0 ? -1 : static_cast<int32_t>((v * range / 65535.0 - shift) * 10.0);
  };
  auto tenfold = [&](int r) {
    const int32_t v = a.reg(a.start + r);
    return v < 0 ? -1 : v * 10;
  };
  img.set(1, scaled(0, 110.0, 50.0));
  img.set(2, tenfold(1));
  img.set(3, tenfold(2));
  img.set(4, tenfold(3));
  img.set(0, tenfold(4));
  img.set(5, scaled(5, 432.0, 200.0));

  // The day total integrates slot 0 over time, held at the largest i32.
  const uint32_t noted = u32At(image, sensor_off::kTick);
  const uint32_t now = node.nowTick == 0 ? 1 : node.nowTick;  // 0 means "not noted"
  const int64_t level = img.slot(0);
  const int64_t total = std::max<int32_t>(img.slot(6), 0);
  const bool adds = level > node.illuminationMin;
  if (noted == 0) {
    putU32(image, sensor_off::kTick, now);
  } else if (now < noted) {
    if (adds) img.set(6, HoldI32(total + level));
    putU32(image, sensor_off::kTick, now);
  } else if (now - noted >= 1000) {
    if (adds) {
      const double sum =
          static_cast<double>(level) * (now - noted) / 1000.0 + static_cast<double>(total);
      img.set(6, HoldI32(static_cast<int64_t>(std::min(sum, static_cast<double>(INT32_MAX)))));
    }
    putU32(image, sensor_off::kTick, now);
  }
}

void ParseModbusMeterReply(const RtuReadAnswer& a, Bytes image, MapNodeState& node) {
  Img img(image, meter_off::kSlots, kMeterSlotTotal);
  const bool gate = node.gateS0 >= 1;
  auto tenfold = [&](int r) {
    const int32_t v = a.reg(r);
    return v < 0 ? -1 : v * 10;
  };
  switch (a.start) {
    case 1099:
      for (int k = 0; k < 3; ++k) img.set(7 + k, gate ? tenfold(1099 + k) : 0);
      return;
    case 1123:
      for (int k = 0; k < 3; ++k) img.set(4 + k, tenfold(1123 + k));
      return;
    case 1179: {
      const int32_t v = a.reg(1179);
      img.set(3, v < 0 ? -1 : v / 10);
      return;
    }
    case 1142: {
      const int32_t v = a.reg(1142);
      if (!gate) {
        img.set(0, 0);
      } else if (v >= 0) {
        img.set(0, std::max<int32_t>(static_cast<int16_t>(v), 0) * 10);
      }
      return;
    }
    case 1699: {
      if (!gate) return;
      uint64_t energy = 0, scale = 1;
      for (int k = 0; k < 4; ++k) {
        const int32_t v = a.reg(1699 + k);
        if (v < 0) return;
        energy += static_cast<uint64_t>(v) * scale;
        scale *= 10000;
      }
      energy /= 100;
      img.set(1, static_cast<int32_t>(static_cast<uint32_t>(energy)));
      img.set(2, static_cast<int32_t>(static_cast<uint32_t>(energy >> 32)));
      return;
    }
    default:
      return;
  }
}

void ParseModbusReply(int commType, const RtuReadAnswer& a, Bytes image, MapNodeState& node) {
  switch (commType) {
    case 2:
      return ParseModbusUpsReply(a, image, node);
    case 3:
      return ParseModbusTrv5200Reply(a, image, node);
    case 5:
      return ParseModbus9315Reply(a, image, node);
    case 6:
      return ParseModbusInverterReply(a, image, node);
    case 7:
      return ParseModbusSensorReply(a, image, node);
    case 8:
      return ParseModbusMeterReply(a, image, node);
    default:
      return;
  }
}

}  // namespace lark
