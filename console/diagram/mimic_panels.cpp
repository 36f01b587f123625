#include "console/diagram/mimic_panels.h"

#include <algorithm>
#include <cstdio>

namespace lark {
namespace {

constexpr int16_t kNo = -1;

// Byte offsets of up to three values per family; kNo ends the list.
using Offsets = std::array<int16_t, 3>;

enum class PanelRowKind : uint8_t { kValues, kPower, kDate, kDueDate };

struct PanelRow {
  int label;  // [Component] CP_n
  PanelRowKind kind;
  RowFormat format;
  const char* unit;
  bool binaryTimesTen;                // binary volts and amperes are whole units
  bool secondVoltage;                 // shown only with PanelOptions::secondVoltage
  Offsets snmp, local, binary, gprs;  // local: ASCII, and Modbus of CommType 2
};

constexpr Offsets kNone{kNo, kNo, kNo};

// clang-format off
constexpr PanelRow kOutputRows[] = {
    {4, PanelRowKind::kValues, RowFormat::kTenths, "Hz", false, false,
     {392, kNo, kNo}, {496, kNo, kNo}, {512, kNo, kNo}, {300, kNo, kNo}},
    {3, PanelRowKind::kValues, RowFormat::kTenths, "V", true, false,
     {400, 416, 432}, {504, 520, 536}, {520, 536, 552}, {308, 324, 340}},
    {48, PanelRowKind::kValues, RowFormat::kTenths, "V", true, true,
     kNone, {552, 556, 560}, {568, 572, 576}, {356, 360, 364}},
    {6, PanelRowKind::kValues, RowFormat::kTenths, "A", true, false,
     {404, 420, 436}, {508, 524, 540}, {524, 540, 556}, {312, 328, 344}},
    // The binary block's power is volts x amperes of each phase (see below).
    {5, PanelRowKind::kPower, RowFormat::kWhole, "W", false, false,
     {408, 424, 440}, {512, 528, 544}, kNone, {316, 332, 348}},
    {12, PanelRowKind::kValues, RowFormat::kWhole, "%", false, false,
     {412, 428, 444}, {516, 532, 548}, {532, 548, 564}, {320, 336, 352}},
};
// clang-format on

// clang-format off
constexpr PanelRow kBatteryRows[] = {
    {3, PanelRowKind::kValues, RowFormat::kTenths, "V", true, false,
     {512, kNo, kNo}, {392, 412, kNo}, {408, kNo, kNo}, {196, 216, kNo}},
    {6, PanelRowKind::kValues, RowFormat::kTenths, "A", true, false,
     {516, kNo, kNo}, {396, 416, kNo}, {412, kNo, kNo}, {200, 220, kNo}},
    {14, PanelRowKind::kValues, RowFormat::kWhole, "%", false, false,
     {520, kNo, kNo}, {404, 424, kNo}, kNone, {208, 228, kNo}},
    {15, PanelRowKind::kValues, RowFormat::kWhole, "min", false, false,
     {508, kNo, kNo}, {384, kNo, kNo}, kNone, {188, kNo, kNo}},
    {2, PanelRowKind::kValues, RowFormat::kWhole, kDegreeCelsius, false, false,
     {524, kNo, kNo}, {400, 420, kNo}, {416, kNo, kNo}, {204, 224, kNo}},
    {17, PanelRowKind::kDate, RowFormat::kWhole, "", false, false,
     {592, kNo, kNo}, {976, kNo, kNo}, kNone, {780, kNo, kNo}},
    {16, PanelRowKind::kDueDate, RowFormat::kWhole, "", false, false,
     {601, kNo, kNo}, kNone, kNone, kNone},
};
// clang-format on

// The table column of the node, null when its family gets no rows.
const Offsets* Column(const PanelRow& row, const DiagramSource& src, PanelOptions options) {
  switch (src.family()) {
    case DiagramFamily::kSnmp:
      return &row.snmp;
    case DiagramFamily::kAscii:
      return src.commType() == kCommAscii ? &row.local : nullptr;
    case DiagramFamily::kModbus:
      return src.commType() == kCommModbusUps ? &row.local : nullptr;
    case DiagramFamily::kBinary:
      return options.binary ? &row.binary : nullptr;
    case DiagramFamily::kGprs:
      return &row.gprs;
    case DiagramFamily::kNone:
      break;
  }
  return nullptr;
}

// Volts x amperes of one binary phase, computed wide and held at INT32_MAX;
// no reading when either is missing.
int32_t PhasePower(const DiagramSource& src, size_t voltOff, size_t ampOff) {
  const int32_t v = src.word(voltOff), a = src.word(ampOff);
  if (v < 0 || a < 0) return -1;
  const int64_t p = static_cast<int64_t>(v) * a;
  return p > INT32_MAX ? INT32_MAX : static_cast<int32_t>(p);
}

std::string Today(const DiagramDate& d) {
  char b[32];
  std::snprintf(b, sizeof b, "%04d\\%02d\\%02d", d.year, d.month, d.day);
  return b;
}

void DrawRows(RowCursor& rows, const DiagramSource& src, const DiagramEnv& env,
              PanelOptions options, const PanelRow* table, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    const PanelRow& row = table[i];
    if (row.secondVoltage && !options.secondVoltage) continue;
    const Offsets* col = Column(row, src, options);
    if (col == nullptr) continue;
    const std::string label = env.component(row.label);
    if (row.kind == PanelRowKind::kPower && src.family() == DiagramFamily::kBinary) {
      rows.Power(label, PhasePower(src, 520, 524), PhasePower(src, 536, 540),
                 PhasePower(src, 552, 556), "VA", "KVA");
      continue;
    }
    if ((*col)[0] == kNo) continue;
    if (row.kind == PanelRowKind::kDate || row.kind == PanelRowKind::kDueDate) {
      const std::string date = src.date(static_cast<size_t>((*col)[0]));
      if (date.empty()) continue;
      ColorRef colour = 0;
      // The dates read "YYYY\MM\DD", so text order is date order.
      if (row.kind == PanelRowKind::kDueDate)
        colour = date > Today(env.today) ? env.levels[2] : env.levels[0];
      rows.Text(label, date.c_str(), colour, kDtCenter);
      continue;
    }
    int32_t v[3] = {-1, -1, -1};
    for (int k = 0; k < 3; ++k) {
      if ((*col)[k] == kNo) continue;
      v[k] = src.word(static_cast<size_t>((*col)[k]));
      if (row.binaryTimesTen && src.family() == DiagramFamily::kBinary) v[k] = TimesTen(v[k]);
    }
    if (row.kind == PanelRowKind::kPower)
      rows.Power(label, v[0], v[1], v[2], "W", "KW");
    else
      rows.Values(label, v[0], v[1], v[2], row.format, row.unit);
  }
}

}  // namespace

void DrawOutputPanel(RowCursor& rows, const DiagramSource& src, const DiagramEnv& env,
                     PanelOptions options) {
  rows.Caption(env.component(9));
  DrawRows(rows, src, env, options, kOutputRows, std::size(kOutputRows));
}

void DrawBatteryPanel(RowCursor& rows, const DiagramSource& src, const DiagramEnv& env,
                      PanelOptions options) {
  rows.Caption(env.component(7));
  DrawRows(rows, src, env, options, kBatteryRows, std::size(kBatteryRows));
}

CanvasPoint BatteryPanelPlace(const DiagramLayout& l, const DiagramEnv& env, int right, int width, int top) {
  if (right - width >= l.secondLeft) return {right - width, top};
  return {l.secondLeft, l.y0 + 3 * l.u + 31 + 2 * env.panelLineHeight + l.gap};
}

void DrawOutputPanelBeside(Canvas& c, const DiagramSource& src, const DiagramEnv& env,
                           const DiagramLayout& l, int x0, PanelOptions options) {
  int left = x0 + 7 * l.u + 10, right = left + l.secondPanelWidth;
  int top = l.y0 + l.u + 28 + env.panelLineHeight;
  if (right + env.paneRight >= env.clientRight - 10) {
    right = env.clientRight - 10 - env.paneRight;
    // Never over the Parameters column, even in a window too narrow for both.
    left = std::max(right - l.secondPanelWidth, l.secondLeft);
    right = left + l.secondPanelWidth;
    top += l.u / 2 + env.lineHeight();
    // Moved left, the panel must not cover the battery's caption under it.
    const int captionBottom = l.y0 + 3 * l.u + 31 + env.panelLineHeight;
    if (left < x0 + 4 * l.u + 100 && top < captionBottom) top = captionBottom + l.gap;
  }
  RowCursor rows(c, env, left, top, right, l.gap, l.secondLabelWidth, l.valueWidth);
  DrawOutputPanel(rows, src, env, options);
}

}  // namespace lark
