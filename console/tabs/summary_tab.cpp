// Sections: families, the painter's rows, the event list, the two value
// columns, PaintSummaryTab.
#include "console/tabs/summary_tab.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>

#include "console/views/drawing_kit.h"
#include "console/views/map_icons.h"
#include "core/live_data.h"

namespace lark {
namespace {

// ---- families ----

enum class Family { kSnmp, kAscii, kThreePhase, kModbus, kMge, kPlc, kPw, kInverter, kNone, kGprs };

Family FamilyOf(const DeviceNode& n) {
  if (n.nodeKind() == kNodeSnmp) return Family::kSnmp;
  if (n.nodeKind() == kNodeGprs) return Family::kGprs;
  switch (n.commType()) {
    case kCommAscii: return Family::kAscii;
    case kCommThreePhase: return Family::kThreePhase;
    case kCommModbusUps: return Family::kModbus;
    case kCommModbusTrv5200: return Family::kMge;
    case kCommPlc: return Family::kPlc;
    case kCommModbus9315: return Family::kPw;
    case kCommInverter: return Family::kInverter;
    default: return Family::kNone;  // sensors, meters and unknown types show no events
  }
}

// The block a family reads; nullopt for the families that read none.
std::optional<BlockKind> BlockOf(Family f) {
  switch (f) {
    case Family::kSnmp: return BlockKind::kSnmp;
    case Family::kAscii:
    case Family::kPlc: return BlockKind::kAscii;
    case Family::kThreePhase: return BlockKind::kBinary;
    case Family::kModbus:
    case Family::kMge:
    case Family::kPw:
    case Family::kInverter: return BlockKind::kModbus;
    case Family::kGprs: return BlockKind::kGprs;
    case Family::kNone: return std::nullopt;
  }
  return std::nullopt;
}

struct EventList {
  int count = 0;
  ActionFamily table = ActionFamily::Regular;
  bool alarmMaskApplies = false;
};

EventList EventsOf(Family f, const DeviceNode& n) {
  switch (f) {
    case Family::kSnmp:
      return n.mibType() == kMibInverter ? EventList{17, ActionFamily::Inverter, false}
                                         : EventList{36, ActionFamily::Snmpv4, true};
    case Family::kAscii:
    case Family::kModbus: return {26, ActionFamily::Regular, false};
    case Family::kThreePhase: return {24, ActionFamily::ThreePhase, false};
    case Family::kMge: return {37, ActionFamily::Mge, true};
    case Family::kPw: return {41, ActionFamily::Pw, false};
    case Family::kInverter: return {17, ActionFamily::Inverter, false};
    case Family::kGprs: return {26, ActionFamily::Gprs, false};
    case Family::kPlc:  // counted from the point number
    case Family::kNone: return {0, ActionFamily::Plc, false};
  }
  return {};
}

// The service polls at most 160 PLC points (20 input and 20 output words).
constexpr int kMaxPlcPoints = 160;

// Mask bits of "no communication" and "on battery"; 0 = the family has none.
struct StateBits {
  uint64_t noComm = 0;
  uint64_t onBattery = 0;
};

constexpr uint64_t Bit(int n) { return uint64_t{1} << n; }

StateBits StateBitsOf(Family f) {
  switch (f) {
    case Family::kSnmp: return {Bit(0) | Bit(28), Bit(1)};
    case Family::kAscii:
    case Family::kModbus:
    case Family::kGprs: return {Bit(24), Bit(1)};
    case Family::kThreePhase: return {Bit(13), Bit(0)};
    case Family::kMge: return {Bit(32 + 4), Bit(3)};
    case Family::kPw: return {Bit(32 + 8), Bit(0)};
    default: return {};
  }
}

// Fixed levels of the state words, by index.
constexpr int kEventTextIndent = 20;  // px from an event's icon to its title
constexpr int kEventColumnGap = 16;   // px between two event columns
constexpr int kValueColumnsWidth = 36 + 360;  // px: the gap and the two value columns
constexpr uint8_t kS = kAlarmSerious, kW = kAlarmWarning, kI = kAlarmNone;
constexpr std::array<uint8_t, 3> kBatteryConditionLevels{kI, kW, kS};
constexpr std::array<uint8_t, 3> kBatteryLevelLevels{kI, kS, kS};
constexpr std::array<uint8_t, 4> kChargerLevels{kI, kI, kI, kW};
constexpr std::array<uint8_t, 8> kOutputSourceLevels{kI, kW, kS, kI, kI, kS, kS, kS};
constexpr std::array<uint8_t, 7> kTestResultLevels{kI, kI, kI, kS, kS, kS, kI};

template <size_t N>
uint8_t LevelAt(const std::array<uint8_t, N>& levels, int64_t index) {
  return index >= 0 && index < static_cast<int64_t>(N) ? levels[static_cast<size_t>(index)] : kI;
}

int32_t Clamp32(int64_t v) {
  return static_cast<int32_t>(std::clamp<int64_t>(v, std::numeric_limits<int32_t>::min(),
                                                  std::numeric_limits<int32_t>::max()));
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

// ---- the painter's rows ----

class SummaryPainter {
 public:
  SummaryPainter(Canvas& c, const PanelInputs& in, const DeviceNode& n)
      : c_(c), in_(in), node_(n), family_(FamilyOf(n)), L_(in.lineHeight) {
    const std::optional<BlockKind> kind = BlockOf(family_);
    block_ = kind ? node_.block(*kind) : nullptr;
    if (block_ != nullptr) mask_ = block_->mask(MaskWord::kReported);
    bits_ = StateBitsOf(family_);
  }

  void Paint(bool full);

 private:
  struct Row {
    int left, right, top, bottom;
  };

  int64_t V(int index) const { return block_ != nullptr ? block_->slot(index) : -1; }
  bool Has(uint64_t bits) const { return (mask_ & bits) != 0; }
  bool noComm() const { return Has(bits_.noComm); }
  bool onBattery() const { return Has(bits_.onBattery); }
  bool is(std::initializer_list<Family> fs) const {
    return std::find(fs.begin(), fs.end(), family_) != fs.end();
  }
  const std::string& S(int n) const { return in_.texts.summary[static_cast<size_t>(n - 1)]; }
  const std::string& CP(int n) const { return in_.texts.component[static_cast<size_t>(n - 1)]; }
  const std::string& PM(int n) const { return in_.texts.powerModule[static_cast<size_t>(n - 1)]; }
  ColorRef LevelColour(uint32_t level) const { return in_.levelColours[ClampLevel(level)]; }
  const ActionRow* EventRow(ActionFamily f, int event) const;
  std::string EventTitle(ActionFamily f, int event) const;
  int ColumnWidth();
  // The title cut to what its column holds.
  std::string FittedTitle(const std::string& title) const;

  void Fill(int left, int top, int right, int bottom) {
    DrawSysSolidRect(c_, left, top, right, bottom, kColorWindow);
  }
  void Gauge(Row& r, const std::string& first, int64_t phases, int index, int64_t value);
  void Heading(Row& r, const std::string& text, int extra);
  void ValueRow(Row& r, const std::string& label, const std::string& value, ColorRef colour);
  void BarRow(Row& r, int32_t full, int32_t warning, int32_t serious, int64_t value);
  // A state word, or S_2 in the Serious colour while not communicating.
  template <size_t N>
  void StateRow(Row& r, const std::string& label, StatusList list,
                const std::array<uint8_t, N>& levels, int64_t index);

  int EventList_(int xE, int y0, int R);
  void ColumnA(Row& r);
  void ColumnB(Row& r);

  Canvas& c_;
  const PanelInputs& in_;
  const DeviceNode& node_;
  Family family_;
  const LiveDataBlock* block_ = nullptr;
  uint64_t mask_ = 0;  // the last-reported event mask
  StateBits bits_;
  int L_;
  int g_ = 3;  // row gap
  int W_ = 0;     // event column width
  int rows_ = 16;  // events per column
};

const ActionRow* SummaryPainter::EventRow(ActionFamily f, int event) const {
  if (!in_.actions) return nullptr;
  const ActionTable& t = in_.actions->table(f);
  const size_t row = static_cast<size_t>(2 * event);
  return row < t.size() ? &t[row] : nullptr;
}

std::string SummaryPainter::EventTitle(ActionFamily f, int event) const {
  const ActionRow* row = EventRow(f, event);
  return row != nullptr ? row->title() : std::string();
}

int SummaryPainter::ColumnWidth() {
  const bool english = EqualsNoCase(in_.languageName, "English");
  std::string ref;
  switch (family_) {
    case Family::kSnmp: ref = english ? PM(1) : EventTitle(ActionFamily::Snmpv4, 31); break;
    case Family::kThreePhase: ref = EventTitle(ActionFamily::ThreePhase, 22); break;
    case Family::kMge: ref = EventTitle(ActionFamily::Mge, 9); break;
    case Family::kPw: ref = english ? PM(2) : EventTitle(ActionFamily::Pw, 39); break;
    case Family::kInverter:
      ref = EventTitle(ActionFamily::Inverter, english ? 6 : 14);
      break;
    case Family::kGprs: ref = english ? PM(2) : EventTitle(ActionFamily::Gprs, 23); break;
    default: ref = english ? PM(2) : EventTitle(ActionFamily::Regular, 23); break;
  }
  c_.SelectFont(in_.titleFont);
  const int reference = c_.TextWidth(ref);
  if (family_ == Family::kPlc) return reference;
  // A column is as wide as its widest title and icon, so no title runs under
  // the next column (the reference text of a language may be a short one),
  // but no wider than lets the event columns and the two value columns share
  // the page; a title longer than that is cut short with an ellipsis.
  const EventList list = EventsOf(family_, node_);
  c_.SelectFont(in_.valueFont);
  int widest = 0;
  for (int i = 0; i < list.count; ++i) widest = std::max(widest, c_.TextWidth(EventTitle(list.table, i)) + kEventTextIndent);
  const int columns = std::max(1, (list.count + rows_ - 1) / rows_);
  const int room = (in_.page.width() - (in_.titleLineHeight + 6) - kValueColumnsWidth - kEventColumnGap * (columns - 1)) / columns;
  return std::max(reference, std::min(widest, room));
}

std::string SummaryPainter::FittedTitle(const std::string& title) const {
  const int room = W_ + kEventColumnGap - kEventTextIndent - 4;
  if (c_.TextWidth(title) <= room) return title;
  std::string cut = title;
  while (!cut.empty() && c_.TextWidth(cut + "...") > room) {  // one whole character at a time
    while (!cut.empty() && (static_cast<unsigned char>(cut.back()) & 0xC0) == 0x80) cut.pop_back();
    if (!cut.empty()) cut.pop_back();
  }
  return cut + "...";
}

void SummaryPainter::Gauge(Row& r, const std::string& first, int64_t phases, int index,
                           int64_t value) {
  Fill(r.left, r.top, r.right, r.bottom);
  c_.SelectFont(in_.labelFont);
  c_.SetBkMode(BkMode::kOpaque);
  c_.SetBkColor(SysColorValue(kColorWindow));
  DrawLine(c_, r.left, r.top + 8, r.right - 20, r.top + 8, kPanelTextColour, 1);
  c_.SetTextColor(kPanelTextColour);
  c_.DrawText(" " + first + " " + CP(3) + "-" + (phases >= 2 ? "1" : "") + " ",
              {r.left, r.top, r.right - 20, r.bottom}, kDtCenter | kDtSingleLine);
  c_.SetBkMode(BkMode::kTransparent);
  const CanvasRect area{r.left, r.bottom, r.right - 20, r.bottom + 90};
  Fill(area.left, area.top, area.right, area.bottom);
  DrawDialGauge(in_.backBuffer, node_, c_, index, area, Clamp32(value), in_.levelColours,
                in_.titleLineHeight);
  Fill(r.left, r.bottom + 90, r.right, r.bottom + 90 + g_);
  r.top = r.bottom + 90 + g_;
  r.bottom = r.top + L_ + g_;
}

void SummaryPainter::Heading(Row& r, const std::string& text, int extra) {
  Fill(r.left, r.top, r.right, r.bottom + extra);
  c_.SelectFont(in_.labelFont);
  c_.SetTextColor(kPanelTextColour);
  c_.DrawText(text, {r.left, r.top, r.right, r.bottom}, kDtLeft | kDtSingleLine);
  DrawLine(c_, r.left, r.bottom, r.right - 20, r.bottom, kPanelTextColour, 1);
  r.top = r.bottom + g_;
  r.bottom = r.top + L_ + g_;
}

void SummaryPainter::ValueRow(Row& r, const std::string& label, const std::string& value,
                              ColorRef colour) {
  Fill(r.left, r.top, r.right, r.bottom);
  c_.SelectFont(in_.labelFont);
  c_.SetTextColor(kPanelTextColour);
  c_.DrawText(label, {r.left, r.top, r.right, r.bottom}, kDtLeft | kDtSingleLine);
  const int w = c_.TextWidth(label);
  c_.SelectFont(in_.valueFont);
  c_.SetTextColor(colour);
  c_.TextOut(r.left + w, r.top, value);
  c_.SetTextColor(kPanelTextColour);
  r.top = r.bottom;
  r.bottom = r.top + L_ + g_;
}

void SummaryPainter::BarRow(Row& r, int32_t full, int32_t warning, int32_t serious,
                            int64_t value) {
  Fill(r.left, r.top, r.right, r.bottom);
  DrawBarMeter(c_, full, warning, serious, Clamp32(value), r.left, r.top, r.right - 50,
               r.bottom - g_, in_.levelColours);
  r.top = r.bottom;
  r.bottom = r.top + L_ + g_;
}

template <size_t N>
void SummaryPainter::StateRow(Row& r, const std::string& label, StatusList list,
                              const std::array<uint8_t, N>& levels, int64_t index) {
  if (noComm()) {
    ValueRow(r, label, S(2), LevelColour(kAlarmSerious));
    return;
  }
  const std::string text =
      index >= 0 ? in_.status.text(list, static_cast<size_t>(index)) : std::string();
  ValueRow(r, label, text, LevelColour(LevelAt(levels, index)));
}

// ---- the event list ----

// Draws the entries; returns the left edge of the last column started.
int SummaryPainter::EventList_(int xE, int y0, int R) {
  int x = xE;
  const int bottom = in_.page.bottom;
  const bool plc = family_ == Family::kPlc;
  const EventList list = EventsOf(family_, node_);
  const int points = std::clamp<int>(node_.plcPointNum(), 0, kMaxPlcPoints);
  const int count = plc ? 2 * points : list.count;
  const ActionRow* plcRow = plc ? EventRow(ActionFamily::Plc, 1) : nullptr;
  const bool bypassBit = family_ == Family::kSnmp && node_.mibType() != kMibInverter && Has(Bit(23));
  c_.SelectFont(in_.valueFont);
  c_.SetTextColor(kPanelTextColour);
  for (int i = 0; i < count; ++i) {
    const int y = y0 + 2 * L_ + (L_ + g_) * (i % R + 1);
    if (y + L_ > bottom) continue;  // does not fit: no line, no new column
    if (i > 0 && i % R == 0) x += W_ + kEventColumnGap;
    bool active = false;
    uint32_t level = kAlarmNone;
    std::string title;
    if (plc) {
      const int n = i / 2;
      const int word = (i % 2 == 0 ? 0 : 20) + n / 8;
      active = (static_cast<uint32_t>(V(word)) >> (n % 8) & 1u) != 0;
      level = plcRow != nullptr ? plcRow->level() : uint32_t{kAlarmNone};
      title = (i % 2 == 0 ? "Point-X" : "Point-Y") + std::to_string(n);
    } else {
      const ActionRow* row = EventRow(list.table, i);
      active = Has(Bit(i)) && !(list.alarmMaskApplies && node_.eventSuppressionBit(i));
      level = row != nullptr ? row->level() : uint32_t{kAlarmNone};
      if (row != nullptr) title = row->title();
      if (i == 16 && bypassBit) level = kAlarmNone;
    }
    static constexpr std::array<int, 3> kIcons{kIconEventSerious, kIconEventWarning,
                                               kIconEventInformation};
    c_.DrawIcon(x, y, active ? kIcons[ClampLevel(level)] : kIconEventOff);
    c_.TextOut(x + kEventTextIndent, y, plc ? title : FittedTitle(title));
  }
  return x;
}

// ---- the two value columns ----

void SummaryPainter::ColumnA(Row& r) {
  const bool local = is({Family::kAscii, Family::kModbus, Family::kGprs});
  // 1. Input gauge.
  {
    int index = -1;
    int64_t value = -1, phases = -1;
    switch (family_) {
      case Family::kSnmp: index = 29, value = V(29), phases = V(27); break;
      case Family::kAscii:
      case Family::kModbus:
      case Family::kGprs: index = 43, value = V(43), phases = V(41); break;
      case Family::kThreePhase: index = 43, value = V(43) >= 0 ? V(43) * 10 : -1, phases = V(41); break;
      case Family::kMge: index = 17, value = V(17) >= 0 ? V(17) * 10 : -1, phases = 3; break;
      case Family::kPw: index = 26, value = V(26), phases = 3; break;
      default: break;
    }
    if (index >= 0 && value >= 0) Gauge(r, is({Family::kMge, Family::kPw}) ? CP(18) : CP(8), phases, index, value);
  }
  // 2.
  if (!is({Family::kThreePhase, Family::kPlc})) Heading(r, CP(7), 0);
  // 3. Battery condition.
  const std::string pm4 = PM(4) + ": ";
  if (family_ == Family::kSnmp || local || family_ == Family::kThreePhase) {
    const int cond = family_ == Family::kSnmp ? 63 : 26, level = cond + 1;
    if (V(cond) >= 0 && V(level) >= 0) {
      if (onBattery())
        StateRow(r, pm4, StatusList::BatteryLevel, kBatteryLevelLevels, V(level));
      else
        StateRow(r, pm4, StatusList::BatteryCondition, kBatteryConditionLevels, V(cond));
    }
  } else if (is({Family::kMge, Family::kPw})) {
    const int weak = Has(Bit(family_ == Family::kMge ? 4 : 32 + 4)) ? 1 : 0;
    if (onBattery())
      StateRow(r, pm4, StatusList::BatteryLevel, kBatteryLevelLevels, weak);
    else
      StateRow(r, pm4, StatusList::BatteryCondition, kBatteryConditionLevels, weak);
  }
  // 4. Charger.
  const std::string cp13 = CP(13) + ": ";
  if (family_ == Family::kSnmp && V(65) >= 0) {
    StateRow(r, cp13, StatusList::ChargerState, kChargerLevels, V(65));
  } else if (local && V(28) >= 0) {
    StateRow(r, cp13, StatusList::ChargerState, kChargerLevels, V(28));
  } else if (family_ == Family::kMge) {
    StateRow(r, cp13, StatusList::ChargerState, kChargerLevels, Has(Bit(31)) ? 1 : Has(Bit(3)) ? 3 : 2);
  } else if (family_ == Family::kPw) {
    StateRow(r, cp13, StatusList::ChargerState, kChargerLevels, Has(Bit(0)) ? 3 : 2);
  }
  // 5. Remaining time.
  {
    int64_t minutes = -1;
    if (family_ == Family::kSnmp) minutes = V(67);
    if (local) minutes = V(30);
    if (family_ == Family::kMge) minutes = V(55);
    if (family_ == Family::kPw) minutes = V(33) >= 0 ? V(33) / 10 : -1;
    if (minutes >= 0)
      ValueRow(r, S(3) + ": ", noComm() ? "" : std::to_string(minutes) + " minutes", kPanelTextColour);
  }
  // 6. Time on battery, in seconds.
  {
    const int64_t seconds = family_ == Family::kSnmp ? V(66) : local ? V(29) : -1;
    if (onBattery() && seconds >= 0) {
      char text[48];
      std::snprintf(text, sizeof text, "%lld:%02lld minutes", static_cast<long long>(seconds / 60),
                    static_cast<long long>(seconds % 60));
      ValueRow(r, S(4) + ": ", text, kPanelTextColour);
    }
  }
  // 7, 8. Battery capacity and the second battery.
  if (family_ == Family::kSnmp || local) {
    const int64_t capacity = V(family_ == Family::kSnmp ? 70 : 35);
    const int64_t level = V(family_ == Family::kSnmp ? 64 : 27);
    const int64_t second = family_ == Family::kSnmp ? -1 : V(40);
    const ColorRef colour = LevelColour(level < 1 ? kAlarmNone : kAlarmSerious);
    if (capacity >= 0) {
      ValueRow(r, CP(14) + (second >= 0 ? "(+): " : ": "), std::to_string(capacity) + "%", colour);
      BarRow(r, 100, 200, 200, capacity);
    }
    if (second >= 0) {
      ValueRow(r, CP(14) + "(-): ", std::to_string(second) + "%", colour);
      BarRow(r, 100, 200, 200, second);
    }
  }
  // 9.
  if (!is({Family::kMge, Family::kPlc, Family::kPw})) Heading(r, S(5), g_);
  // 10. Test result.
  const std::string s6 = S(6) + ": ";
  if (family_ == Family::kSnmp && V(73) >= 0) {
    if (noComm()) {
      ValueRow(r, s6, S(2), LevelColour(kAlarmSerious));
    } else {
      ValueRow(r, s6, in_.status.text(StatusList::TestResultCopy, static_cast<size_t>(V(73))),
               LevelColour(V(73) <= 2 ? kAlarmNone : kAlarmSerious));
    }
  } else if ((local || family_ == Family::kThreePhase) && V(90) >= 0) {
    StateRow(r, s6, StatusList::TestResult, kTestResultLevels, V(90));
  }
}

void SummaryPainter::ColumnB(Row& r) {
  const bool local = is({Family::kAscii, Family::kModbus, Family::kGprs});
  // 1. Output gauge.
  {
    int index = -1;
    int64_t value = -1, phases = -1;
    switch (family_) {
      case Family::kSnmp: index = 40, value = V(40), phases = V(39); break;
      case Family::kAscii:
      case Family::kModbus:
      case Family::kGprs: index = 60, value = V(60), phases = V(59); break;
      case Family::kThreePhase: index = 60, value = V(60) >= 0 ? V(60) * 10 : -1, phases = V(59); break;
      case Family::kMge: index = 29, value = V(29) >= 0 ? V(29) * 10 : -1, phases = 3; break;
      case Family::kPw: index = 12, value = V(12), phases = 3; break;
      default: break;
    }
    if (index >= 0 && value >= 0) Gauge(r, CP(9), phases, index, value);
  }
  // 2.
  if (family_ != Family::kPlc) Heading(r, CP(9), 0);
  // 3. Output source.
  {
    int64_t source = -1;
    bool shown = false;
    uint64_t reserveBit = 0;
    if (family_ == Family::kSnmp) source = V(37), shown = source >= 0, reserveBit = Bit(23);
    if (local) source = V(57), shown = source >= 0, reserveBit = Bit(16);
    if (family_ == Family::kThreePhase) source = V(57), shown = source >= 0, reserveBit = Bit(6);
    if (family_ == Family::kPw) {
      source = Has(Bit(0)) ? 1 : Has(Bit(1)) ? 2 : Has(Bit(2)) ? 7 : 0;
      shown = true;
    }
    if (shown) {
      const std::string label = S(7) + ": ";
      if (source == 2 && reserveBit != 0 && Has(reserveBit) && !noComm())
        ValueRow(r, label, in_.status.text(StatusList::OutputSource, 2), LevelColour(kAlarmNone));
      else
        StateRow(r, label, StatusList::OutputSource, kOutputSourceLevels, source);
    }
  }
  // 4. Load per phase.
  std::array<int64_t, 3> loads{-1, -1, -1};
  if (family_ == Family::kSnmp) loads = {V(43), V(47), V(51)};
  if (local || family_ == Family::kThreePhase) loads = {V(63), V(67), V(71)};
  if (family_ == Family::kMge && V(56) >= 0 && V(56) / 1000 >= 1) {
    const int64_t rating = V(56) / 1000;
    for (int i = 0; i < 3; ++i)
      loads[static_cast<size_t>(i)] = V(37 + i) >= 0 ? V(37 + i) * 100 / rating : -1;
  }
  if (family_ == Family::kPw && V(20) >= 0) loads[0] = V(20) / 10;
  const std::string cp12 = CP(12);
  for (int i = 0; i < 3; ++i) {
    const int64_t load = loads[static_cast<size_t>(i)];
    if (load < 0) continue;
    std::string label = cp12 + "-" + std::to_string(i + 1) + ": ";
    if (i == 0 && loads[1] < 0) label = cp12 + ": ";
    ValueRow(r, label, std::to_string(Clamp32(load)) + "%", kPanelTextColour);
    BarRow(r, 150, 100, 100, load);
  }
}

// ---- PaintSummaryTab ----

void SummaryPainter::Paint(bool full) {
  const CanvasRect& page = in_.page;
  c_.SelectFont(in_.titleFont);
  c_.SetTextColor(kPanelTextColour);
  if (full) Fill(page.left, page.top, page.right, page.bottom);
  const int R = family_ == Family::kSnmp ? 18 : 16;
  const int y0 = page.top + 10;
  const int q = (page.bottom - page.top - 10) / (R + 2);
  g_ = q < L_ ? 3 : std::min(q - L_, 12);
  c_.SetBkMode(BkMode::kTransparent);
  rows_ = R;
  W_ = ColumnWidth();
  const int p = std::clamp((in_.tabAreaWidth - (L_ + 6) - 20 - (2 * W_ + 100)) / 2, 0, 20);
  const int xE = in_.titleLineHeight + 6 + p;
  // Heading of the event list.
  const CanvasRect head{xE, y0 + L_, xE + W_, y0 + 2 * L_ + g_};
  Fill(head.left, head.top, head.right, head.bottom);
  c_.SelectFont(in_.labelFont);
  c_.DrawText(S(1), head, kDtLeft | kDtSingleLine);
  DrawLine(c_, xE, head.bottom, xE + W_ - 20, head.bottom, kPanelTextColour, 1);
  c_.SelectFont(in_.valueFont);
  // A family that reads a block it lacks shows its headings only.
  const bool blockMissing = BlockOf(family_).has_value() && block_ == nullptr;
  const int x = blockMissing ? xE : EventList_(xE, y0, R);
  if (family_ == Family::kPlc) return;
  const int xA = x + W_ + 36;
  Row a{xA, xA + 180, y0 + L_, y0 + 2 * L_ + g_};
  Row b{xA + 180, xA + 360, a.top, a.bottom};
  if (blockMissing) {
    if (family_ != Family::kThreePhase) Heading(a, CP(7), 0);
    if (!is({Family::kMge, Family::kPw})) Heading(a, S(5), g_);
    Heading(b, CP(9), 0);
    return;
  }
  ColumnA(a);
  ColumnB(b);
}

}  // namespace

void PaintSummaryTab(Canvas& c, const PanelInputs& in, const DeviceNode& device, bool full) {
  SummaryPainter(c, in, device).Paint(full);
}

}  // namespace lark
