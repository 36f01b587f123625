#include "console/diagram/diagram_values.h"

#include <array>
#include <string>

#include "console/views/canvas.h"

namespace lark {
namespace {

constexpr int16_t kNo = -1;
using Picks = std::array<int16_t, 3>;  // up to three value slots (GPRS: byte offsets)
constexpr Picks kNone{kNo, kNo, kNo};

enum class StepOp : uint8_t { kCaption, kEmptyCaption, kValues, kPower };

struct ParamStep {
  StepOp op;
  int label;           // [Component] CP_n
  const char* suffix;  // caption "%s-2": text after CP_n; a row: literal label when label is 0
  RowFormat format;
  const char* unit;
  bool binaryTimesTen;              // binary volts and amperes are whole units
  Picks snmp, local, binary, gprs;  // slots; GPRS byte offsets
};

// Every node but the TRV5200 and the 9315. Steps before the first empty
// caption are the first section.
// clang-format off
constexpr ParamStep kCommonSteps[] = {
    {StepOp::kCaption, 1, "", RowFormat::kWhole, "", false, kNone, kNone, kNone, kNone},
    {StepOp::kValues, 4, "", RowFormat::kTenths, "Hz", false,
     {52, kNo, kNo}, {75, kNo, kNo}, {75, kNo, kNo}, {368, kNo, kNo}},
    {StepOp::kValues, 3, "", RowFormat::kTenths, "V", true,
     {54, 57, 60}, {77, 80, 83}, {77, 80, 83}, {376, 388, 400}},
    {StepOp::kValues, 48, "", RowFormat::kTenths, "V", true,
     kNone, {86, 87, 88}, {86, 87, 88}, {412, 416, 420}},
    {StepOp::kValues, 6, "", RowFormat::kTenths, "A", true,
     {55, 58, 61}, {78, 81, 84}, {78, 81, 84}, {380, 392, 404}},
    {StepOp::kPower, 5, "", RowFormat::kWhole, "", false,
     {56, 59, 62}, {79, 82, 85}, kNone, {384, 396, 408}},
    {StepOp::kEmptyCaption, 8, "", RowFormat::kWhole, "", false, kNone, kNone, kNone, kNone},
    {StepOp::kValues, 4, "", RowFormat::kTenths, "Hz", false,
     {28, 31, 34}, {42, 46, 50}, {42, 46, 50}, {236, 252, 268}},
    {StepOp::kValues, 3, "", RowFormat::kTenths, "V", true,
     {29, 32, 35}, {43, 47, 51}, {43, 47, 51}, {240, 256, 272}},
    {StepOp::kValues, 48, "", RowFormat::kTenths, "V", true,
     kNone, {54, 55, 56}, {54, 55, 56}, {284, 288, 292}},
    {StepOp::kValues, 6, "", RowFormat::kTenths, "A", true,
     {30, 33, 36}, {44, 48, 52}, {44, 48, 52}, {244, 260, 276}},
};
// clang-format on

// TRV5200 (CommType 3), Modbus slots.
// clang-format off
constexpr ParamStep kTrv5200Steps[] = {
    {StepOp::kCaption, 49, "-2", RowFormat::kWhole, "", false, kNone, kNone, kNone, kNone},
    {StepOp::kValues, 4, "", RowFormat::kTenths, "Hz", false, kNone, {52, kNo, kNo}, kNone, kNone},
    {StepOp::kValues, 3, "", RowFormat::kWhole, "V", false, kNone, {23, 24, 25}, kNone, kNone},
    {StepOp::kValues, 48, "", RowFormat::kWhole, "V", false, kNone, {26, 27, 28}, kNone, kNone},
    {StepOp::kEmptyCaption, 49, "-1", RowFormat::kWhole, "", false, kNone, kNone, kNone, kNone},
    {StepOp::kValues, 4, "", RowFormat::kTenths, "Hz", false, kNone, {50, kNo, kNo}, kNone, kNone},
    {StepOp::kValues, 48, "", RowFormat::kWhole, "V", false, kNone, {14, 15, 16}, kNone, kNone},
    {StepOp::kValues, 6, "", RowFormat::kWhole, "A", false, kNone, {0, 1, 2}, kNone, kNone},
};
// clang-format on

// 9315 (CommType 5), Modbus slots.
// clang-format off
constexpr ParamStep k9315Steps[] = {
    {StepOp::kCaption, 1, "", RowFormat::kWhole, "", false, kNone, kNone, kNone, kNone},
    {StepOp::kValues, 4, "", RowFormat::kTenths, "Hz", false, kNone, {25, kNo, kNo}, kNone, kNone},
    {StepOp::kValues, 48, "", RowFormat::kTenths, "V", false, kNone, {22, 23, 24}, kNone, kNone},
    {StepOp::kEmptyCaption, 8, "", RowFormat::kWhole, "", false, kNone, kNone, kNone, kNone},
    {StepOp::kValues, 4, "", RowFormat::kTenths, "Hz", false, kNone, {6, kNo, kNo}, kNone, kNone},
    {StepOp::kValues, 48, "", RowFormat::kTenths, "V", false, kNone, {0, 1, 2}, kNone, kNone},
    {StepOp::kValues, 6, "", RowFormat::kTenths, "A", false, kNone, {3, 3, 3}, kNone, kNone},
    {StepOp::kValues, 5, "", RowFormat::kTenths, "kW", false, kNone, {7, kNo, kNo}, kNone, kNone},
    {StepOp::kValues, 0, "Factor", RowFormat::kWhole, "%", false, kNone, {8, kNo, kNo}, kNone,
     kNone},
};
// clang-format on

// The column the node reads, null when it names no source.
const Picks* Column(const ParamStep& s, const DiagramSource& src) {
  switch (src.family()) {
    case DiagramFamily::kSnmp:
      return &s.snmp;
    case DiagramFamily::kAscii:
      return src.commType() == kCommAscii ? &s.local : nullptr;
    case DiagramFamily::kModbus: {
      const int16_t t = src.commType();
      return t == kCommModbusUps || t == kCommModbusTrv5200 || t == kCommModbus9315 ? &s.local
                                                                                    : nullptr;
    }
    case DiagramFamily::kBinary:
      return &s.binary;
    case DiagramFamily::kGprs:
      return &s.gprs;
    case DiagramFamily::kNone:
      break;
  }
  return nullptr;
}

int32_t Read(const DiagramSource& src, int16_t at, bool timesTen) {
  if (at == kNo) return -1;
  if (src.family() == DiagramFamily::kGprs) return src.word(static_cast<size_t>(at));
  const int32_t v = src.slot(at);
  return timesTen && src.family() == DiagramFamily::kBinary ? TimesTen(v) : v;
}

template <size_t N>
void RunSteps(RowCursor& rows, const DiagramSource& src, const DiagramEnv& env,
              const ParamStep (&steps)[N], bool skipFirstSection) {
  bool skipping = skipFirstSection;
  for (const ParamStep& s : steps) {
    if (s.op == StepOp::kEmptyCaption) {
      skipping = false;
      rows.Empty();
    }
    if (skipping) continue;
    const std::string label = s.label > 0 ? env.component(s.label) + s.suffix : s.suffix;
    if (s.op == StepOp::kCaption || s.op == StepOp::kEmptyCaption) {
      rows.Caption(label);
      continue;
    }
    const Picks* col = Column(s, src);
    if (col == nullptr) continue;
    const int32_t a = Read(src, (*col)[0], s.binaryTimesTen);
    const int32_t b = Read(src, (*col)[1], s.binaryTimesTen);
    const int32_t c = Read(src, (*col)[2], s.binaryTimesTen);
    if (s.op == StepOp::kPower)
      rows.Power(label, a, b, c, "W", "KW");
    else
      rows.Values(label, a, b, c, s.format, s.unit);
  }
}

}  // namespace

void DrawParameterRows(RowCursor& rows, const DiagramSource& src, const DiagramEnv& env,
                       int upsTypeCode) {
  if (src.family() == DiagramFamily::kModbus && src.commType() == kCommModbusTrv5200)
    RunSteps(rows, src, env, kTrv5200Steps, false);
  else if (src.family() == DiagramFamily::kModbus && src.commType() == kCommModbus9315)
    RunSteps(rows, src, env, k9315Steps, false);
  else
    RunSteps(rows, src, env, kCommonSteps, upsTypeCode == 6);
}

void DrawEnvironmentRows(RowCursor& rows, const DiagramSource& src, const DiagramEnv& env) {
  rows.Empty();
  if (src.family() != DiagramFamily::kSnmp) return;
  const int32_t tempAlarm = src.slot(82), humidityAlarm = src.slot(83);
  if (tempAlarm < 0 || humidityAlarm < 0) return;
  const ColorRef serious = env.levels[0], information = env.levels[2];
  rows.Caption(env.component(10));
  rows.Values(env.component(2), src.slot(74), -1, -1, RowFormat::kWhole, kDegreeCelsius,
              tempAlarm == 1 ? serious : information);
  rows.Values(env.component(11), src.slot(75), -1, -1, RowFormat::kWhole, "%",
              humidityAlarm == 1 ? serious : information);
  const std::string on = env.common(8), off = env.common(9);
  for (int i = 1; i <= 4; ++i) {
    const int32_t v = src.slot(83 + i);
    if (v < 0) continue;
    const std::string label =
        "R" + std::to_string(i) + " (" + env.relayNames[static_cast<size_t>(i - 1)] + "): ";
    rows.Text(label, (v == 0 ? off : on).c_str(), v == 1 ? serious : information, kDtCenter);
  }
}

}  // namespace lark
