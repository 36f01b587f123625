// Cells by family. Offsets are byte offsets into the family's block; values
// are signed 32-bit and negative means no reading. Sums are taken in 64 bits
// so device values near the 32-bit ends cannot wrap.
#include "console/lists/device_cells.h"

#include <array>
#include <cstdarg>
#include <cstdio>

namespace lark {

DeviceFamily FamilyOf(uint8_t nodeKind, int16_t commType) {
  switch (nodeKind) {
    case kNodeSnmp:
      return DeviceFamily::kSnmp;
    case kNodeGprs:
      return DeviceFamily::kGprs;
    case kNodeSerial:
      break;
    default:
      return DeviceFamily::kNone;
  }
  static constexpr std::array<DeviceFamily, 10> kByComm = {
      DeviceFamily::kAscii, DeviceFamily::kBinary,  DeviceFamily::kModbus,   DeviceFamily::kTrv5200,
      DeviceFamily::kPlc,   DeviceFamily::kPw9315,  DeviceFamily::kInverter, DeviceFamily::kSensor,
      DeviceFamily::kMeter, DeviceFamily::kMeterSum};
  if (commType < 0 || commType >= static_cast<int16_t>(kByComm.size())) return DeviceFamily::kNone;
  return kByComm[static_cast<size_t>(commType)];
}

BlockKind FamilyBlock(DeviceFamily f) {
  switch (f) {
    case DeviceFamily::kSnmp:
      return BlockKind::kSnmp;
    case DeviceFamily::kGprs:
      return BlockKind::kGprs;
    case DeviceFamily::kAscii:
    case DeviceFamily::kPlc:
      return BlockKind::kAscii;
    case DeviceFamily::kBinary:
      return BlockKind::kBinary;
    case DeviceFamily::kSensor:
      return BlockKind::kSensor;
    case DeviceFamily::kMeter:
      return BlockKind::kMeter;
    case DeviceFamily::kMeterSum:
      return BlockKind::kMeterSum;
    default:
      return BlockKind::kModbus;
  }
}

// The node's fields under one lock each (kind and levels, the suppression
// words), not one per field or per bit.
DeviceRowData ReadDeviceRow(const DeviceNode& node) {
  DeviceRowData d;
  const DeviceNode::Head h = node.head();
  d.family = FamilyOf(h.nodeKind, h.commType);
  d.mibType = h.mibType;
  d.alarmLevel = h.alarmLevel;
  d.title = node.title();
  d.location = node.location();
  d.suppressed = node.eventSuppressionMask();
  if (d.family != DeviceFamily::kNone)
    if (const LiveDataBlock* b = node.block(FamilyBlock(d.family))) d.block = b->copyOut();
  return d;
}

int32_t BlockValue(const DeviceRowData& d, size_t off) {
  if (off + 4 > d.block.size()) return -1;
  return i32At(CBytes(d.block.data(), d.block.size()), off);
}

std::string CutText(std::string s, size_t max) {
  if (s.size() <= max) return s;
  size_t n = max;
  while (n > 0 && (static_cast<uint8_t>(s[n]) & 0xC0) == 0x80) --n;
  s.resize(n);
  return s;
}

namespace {

uint32_t BlockWord(const DeviceRowData& d, size_t off) {
  return static_cast<uint32_t>(BlockValue(d, off));
}

uint64_t BlockMask(const DeviceRowData& d, size_t off) {
  if (off + 8 > d.block.size()) return 0;
  return uint64_t{BlockWord(d, off)} | (uint64_t{BlockWord(d, off + 4)} << 32);
}

}  // namespace

std::string BlockText(const DeviceRowData& d, size_t off, size_t max) {
  if (off >= d.block.size()) return {};
  size_t n = 0;
  while (off + n < d.block.size() && d.block[off + n] != 0) ++n;
  return CutText(std::string(reinterpret_cast<const char*>(d.block.data() + off), n), max);
}

namespace {

std::string Fmt(const char* f, ...) __attribute__((format(printf, 1, 2)));
std::string Fmt(const char* f, ...) {
  char buf[512];
  va_list ap;
  va_start(ap, f);
  const int n = std::vsnprintf(buf, sizeof buf, f, ap);
  va_end(ap);
  if (n <= 0) return {};
  return CutText(std::string(buf, std::min<size_t>(static_cast<size_t>(n), sizeof buf - 1)),
                 kCellTextMax);
}

using I = long long;  // every printed value goes through 64 bits

// Tenths "q.r" by truncating division.
std::string Tenths(I v) { return Fmt("%lld.%lld", v / 10, v % 10); }
// Thousands and hundreds "t.h".
std::string Kilo(I v) { return Fmt("%lld.%lld", v / 1000, (v % 1000) / 100); }

struct Triple {
  I v[3];
  I sum() const { return v[0] + v[1] + v[2]; }
};
Triple ReadTriple(const DeviceRowData& d, size_t a, size_t b, size_t c) {
  return {{BlockValue(d, a), BlockValue(d, b), BlockValue(d, c)}};
}

// Offsets of one family's values (0: the column stays empty).
struct FamilyFields {
  size_t model;
  size_t rating;
  size_t upsStatus;
  size_t battA, battB;
  size_t inCount, inVolt[3], inAmp[3];
  size_t outCount, outVolt[3], outVolt2[3], outAmp[3], outPower[3], outLoad[3];
  size_t battVolt[2], battAmp[2], battCap[2], battRemaining;
  size_t blankWord;
  uint32_t blankBits;
  size_t statusWord;  // word whose bit 1 picks battery code B
};

// The four families with the general formats, and the fixed-format ones
// where only some fields apply.
constexpr FamilyFields kSnmpFields{627,
                                   240,
                                   388,
                                   492,
                                   496,
                                   348,
                                   {356, 368, 380},
                                   {360, 372, 384},
                                   396,
                                   {400, 416, 432},
                                   {0, 0, 0},
                                   {404, 420, 436},
                                   {408, 424, 440},
                                   {412, 428, 444},
                                   {512, 0},
                                   {516, 0},
                                   {520, 0},
                                   508,
                                   8,
                                   (1u << 0) | (1u << 28),
                                   8};
constexpr FamilyFields kGprsFields{798,
                                   84,
                                   296,
                                   172,
                                   176,
                                   232,
                                   {240, 256, 272},
                                   {244, 260, 276},
                                   304,
                                   {308, 324, 340},
                                   {0, 0, 0},
                                   {312, 328, 344},
                                   {316, 332, 348},
                                   {320, 336, 352},
                                   {196, 216},
                                   {200, 220},
                                   {208, 228},
                                   188,
                                   0,
                                   1u << 24,
                                   0};
constexpr FamilyFields kAsciiFields{1011,
                                    280,
                                    492,
                                    368,
                                    372,
                                    428,
                                    {436, 452, 468},
                                    {440, 456, 472},
                                    500,
                                    {504, 520, 536},
                                    {0, 0, 0},
                                    {508, 524, 540},
                                    {512, 528, 544},
                                    {516, 532, 548},
                                    {392, 412},
                                    {396, 416},
                                    {404, 424},
                                    384,
                                    0,
                                    1u << 24,
                                    0};
constexpr FamilyFields kModbusFields{1011,
                                     280,
                                     492,
                                     368,
                                     372,
                                     428,
                                     {436, 452, 468},
                                     {440, 456, 472},
                                     500,
                                     {552, 556, 560},
                                     {504, 520, 536},
                                     {508, 524, 540},
                                     {512, 528, 544},
                                     {516, 532, 548},
                                     {392, 412},
                                     {396, 416},
                                     {404, 424},
                                     384,
                                     0,
                                     1u << 24,
                                     0};
constexpr FamilyFields kBinaryFields{756,
                                     296,
                                     0,
                                     0,
                                     0,
                                     0,
                                     {452, 468, 484},
                                     {456, 472, 488},
                                     516,
                                     {568, 572, 576},
                                     {520, 536, 552},
                                     {524, 540, 556},
                                     {528, 544, 560},
                                     {532, 548, 564},
                                     {408, 0},
                                     {412, 0},
                                     {0, 0},
                                     0,
                                     0,
                                     1u << 13,
                                     0};
constexpr FamilyFields kTrvFields{1011,
                                  488,
                                  0,
                                  0,
                                  0,
                                  0,
                                  {320, 324, 328},
                                  {264, 268, 272},
                                  0,
                                  {392, 396, 400},
                                  {380, 384, 388},
                                  {300, 304, 308},
                                  {412, 416, 420},
                                  {0, 0, 0},
                                  {404, 0},
                                  {312, 0},
                                  {0, 0},
                                  0,
                                  4,
                                  1u << 4,
                                  0};
constexpr FamilyFields kPwFields{1011,
                                 0,
                                 0,
                                 0,
                                 0,
                                 0,
                                 {264, 268, 272},
                                 {276, 280, 284},
                                 0,
                                 {300, 304, 308},
                                 {312, 316, 320},
                                 {324, 328, 332},
                                 {340, 0, 0},
                                 {344, 0, 0},
                                 {384, 0},
                                 {388, 0},
                                 {392, 0},
                                 0,
                                 4,
                                 1u << 8,
                                 0};
constexpr FamilyFields kPlcFields{1011, 0,  0,  0,  0,  0,  {}, {}, 0, {}, {},
                                  {},   {}, {}, {}, {}, {}, 0,  0,  0, 0};

const FamilyFields* FieldsOf(DeviceFamily f) {
  switch (f) {
    case DeviceFamily::kSnmp:
      return &kSnmpFields;
    case DeviceFamily::kGprs:
      return &kGprsFields;
    case DeviceFamily::kAscii:
      return &kAsciiFields;
    case DeviceFamily::kModbus:
      return &kModbusFields;
    case DeviceFamily::kBinary:
      return &kBinaryFields;
    case DeviceFamily::kTrv5200:
      return &kTrvFields;
    case DeviceFamily::kPw9315:
      return &kPwFields;
    case DeviceFamily::kPlc:
      return &kPlcFields;
    default:
      return nullptr;  // inverter, sensor, meters: title, location and the icon only
  }
}

bool General(DeviceFamily f) {
  return f == DeviceFamily::kSnmp || f == DeviceFamily::kGprs || f == DeviceFamily::kAscii ||
         f == DeviceFamily::kModbus;
}

// ---- phase-value columns ----

std::string Volts(const Triple& t, I n) {
  if (n == 1) return Tenths(t.v[0]) + "V";
  if (n == 2) return Tenths(t.v[0]) + " " + Tenths(t.v[1]) + "V";
  return Tenths(t.v[0]) + " " + Tenths(t.v[1]) + " " + Tenths(t.v[2]) + "V";
}

std::string Amps(const Triple& t, I n) {
  if (n == 1) return Tenths(t.v[0]) + "A";
  if (n == 2) return Tenths(t.v[0]) + " " + Tenths(t.v[1]) + " = " + Tenths(t.v[0] + t.v[1]) + "A";
  return Tenths(t.v[0]) + " " + Tenths(t.v[1]) + " " + Tenths(t.v[2]) + " = " + Tenths(t.sum()) +
         "A";
}

std::string Watts(const Triple& t, I n) {
  if (n == 1) return t.v[0] <= 1000 ? Fmt("%lldW", t.v[0]) : Kilo(t.v[0]) + "kW";
  const I sum = n == 2 ? t.v[0] + t.v[1] : t.sum();
  if (sum < 1001)
    return n == 2 ? Fmt("%lld %lld = %lldW", t.v[0], t.v[1], sum)
                  : Fmt("%lld %lld %lld = %lldW", t.v[0], t.v[1], t.v[2], sum);
  std::string s = Kilo(t.v[0]) + "k " + Kilo(t.v[1]) + "k ";
  if (n == 3) s += Kilo(t.v[2]) + "k ";
  return s + "= " + Kilo(sum) + "kW";
}

std::string Loading(const Triple& t, I n, bool withSum) {
  if (n == 1) return Fmt("%lld%%", t.v[0]);
  if (n == 2)
    return withSum ? Fmt("%lld %lld = %lld%%", t.v[0], t.v[1], t.v[0] + t.v[1])
                   : Fmt("%lld %lld%%", t.v[0], t.v[1]);
  return withSum ? Fmt("%lld %lld %lld = %lld%%", t.v[0], t.v[1], t.v[2], t.sum())
                 : Fmt("%lld %lld %lld%%", t.v[0], t.v[1], t.v[2]);
}

const size_t* OutVoltTriple(const DeviceRowData& d, const FamilyFields& ff) {
  // Two-triple families take the first triple while it reads, else the second.
  if (ff.outVolt2[0] != 0 && BlockValue(d, ff.outVolt[0]) < 0) return ff.outVolt2;
  return ff.outVolt;
}

std::string GeneralPhaseCell(const DeviceRowData& d, const FamilyFields& ff, int id) {
  const bool input = id == kColInVolt || id == kColInAmp;
  const I n = BlockValue(d, input ? ff.inCount : ff.outCount);
  if (n < 1 || n > 3) return {};
  const size_t* offs = nullptr;
  switch (id) {
    case kColInVolt:
      offs = ff.inVolt;
      break;
    case kColInAmp:
      offs = ff.inAmp;
      break;
    case kColOutVolt:
      offs = OutVoltTriple(d, ff);
      break;
    case kColOutAmp:
      offs = ff.outAmp;
      break;
    case kColOutPower:
      offs = ff.outPower;
      break;
    default:
      offs = ff.outLoad;
      break;
  }
  const Triple t = ReadTriple(d, offs[0], offs[1], offs[2]);
  if (t.v[0] < 0) return {};
  switch (id) {
    case kColInVolt:
    case kColOutVolt:
      return Volts(t, n);
    case kColInAmp:
    case kColOutAmp:
      return Amps(t, n);
    case kColOutPower:
      return Watts(t, n);
    default:
      return Loading(t, n, d.family != DeviceFamily::kSnmp);
  }
}

std::string BinaryPhaseCell(const DeviceRowData& d, const FamilyFields& ff, int id) {
  const size_t* offs = id == kColInVolt     ? ff.inVolt
                       : id == kColInAmp    ? ff.inAmp
                       : id == kColOutVolt  ? OutVoltTriple(d, ff)
                       : id == kColOutAmp   ? ff.outAmp
                       : id == kColOutPower ? ff.outPower
                                            : ff.outLoad;
  const Triple t = ReadTriple(d, offs[0], offs[1], offs[2]);
  if (t.v[0] < 0) return {};
  switch (id) {
    case kColInVolt:
      return Fmt("%lld,%lld,%lldV", t.v[0], t.v[1], t.v[2]);
    case kColInAmp:
    case kColOutAmp:
      return Fmt("%lld %lld %lld = %lldA", t.v[0], t.v[1], t.v[2], t.sum());
    case kColOutVolt:
      return Fmt("%lld %lld %lldV", t.v[0], t.v[1], t.v[2]);
    case kColOutPower:
      if (t.sum() < 1001) return Fmt("%lld %lld %lld = %lldVA", t.v[0], t.v[1], t.v[2], t.sum());
      return Kilo(t.v[0]) + "k " + Kilo(t.v[1]) + "k " + Kilo(t.v[2]) + "k = " + Kilo(t.sum()) +
             "kVA";
    default: {
      const I n = BlockValue(d, ff.outCount);
      if (n == 1) return Fmt("%lld%%", t.v[0]);
      if (n == 2) return Fmt("%lld%% %lld%%", t.v[0], t.v[1]);
      if (n == 3) return Fmt("%lld%% %lld%% %lld%%", t.v[0], t.v[1], t.v[2]);
      return {};
    }
  }
}

std::string TrvPhaseCell(const DeviceRowData& d, const FamilyFields& ff, int id) {
  if (id == kColOutAmp) {  // written whatever the values hold
    const Triple t = ReadTriple(d, ff.outAmp[0], ff.outAmp[1], ff.outAmp[2]);
    return Fmt("%lld %lld %lld = %lldA", t.v[0], t.v[1], t.v[2], t.sum());
  }
  if (id == kColOutLoading) {
    // Per phase power (kW) x 100 / rating in kW; a rating below 1 kW has no
    // whole-kW divisor and leaves the cell empty.
    const I kw = I{BlockValue(d, ff.rating)} / 1000;
    if (kw <= 0) return {};
    const Triple p = ReadTriple(d, ff.outPower[0], ff.outPower[1], ff.outPower[2]);
    const Triple t{{p.v[0] * 100 / kw, p.v[1] * 100 / kw, p.v[2] * 100 / kw}};
    if (t.v[0] < 0) return {};
    return Fmt("%lld %lld %lld = %lld%%", t.v[0], t.v[1], t.v[2], t.sum());
  }
  const size_t* offs = id == kColInVolt    ? ff.inVolt
                       : id == kColInAmp   ? ff.inAmp
                       : id == kColOutVolt ? OutVoltTriple(d, ff)
                                           : ff.outPower;
  const Triple t = ReadTriple(d, offs[0], offs[1], offs[2]);
  if (t.v[0] < 0) return {};
  switch (id) {
    case kColInVolt:
    case kColOutVolt:
      return Fmt("%lld %lld %lldV", t.v[0], t.v[1], t.v[2]);
    case kColInAmp:
      return Fmt("%lld %lld %lldA", t.v[0], t.v[1], t.v[2]);
    default:
      return Fmt("%lldk %lldk %lldk = %lldkW", t.v[0], t.v[1], t.v[2], t.sum());
  }
}

std::string PwPhaseCell(const DeviceRowData& d, const FamilyFields& ff, int id) {
  if (id == kColOutPower || id == kColOutLoading) {
    const I v = BlockValue(d, id == kColOutPower ? ff.outPower[0] : ff.outLoad[0]);
    if (v < 0) return {};
    return Fmt(id == kColOutPower ? "%lldkW" : "%lld%%", v / 10);
  }
  const size_t* offs = id == kColInVolt    ? ff.inVolt
                       : id == kColInAmp   ? ff.inAmp
                       : id == kColOutVolt ? OutVoltTriple(d, ff)
                                           : ff.outAmp;
  const Triple t = ReadTriple(d, offs[0], offs[1], offs[2]);
  const std::string three = Tenths(t.v[0]) + " " + Tenths(t.v[1]) + " " + Tenths(t.v[2]);
  if (id == kColOutAmp)
    return three + " = " + Tenths(t.sum()) + "A";  // written whatever the values hold
  if (t.v[0] < 0) return {};
  return three + (id == kColInAmp ? "A" : "V");
}

std::string PhaseCell(const DeviceRowData& d, const FamilyFields& ff, int id) {
  if (BlockWord(d, ff.blankWord) & ff.blankBits) return {};
  switch (d.family) {
    case DeviceFamily::kBinary:
      return BinaryPhaseCell(d, ff, id);
    case DeviceFamily::kTrv5200:
      return TrvPhaseCell(d, ff, id);
    case DeviceFamily::kPw9315:
      return PwPhaseCell(d, ff, id);
    default:
      return GeneralPhaseCell(d, ff, id);
  }
}

// ---- battery columns ----

std::string BatteryCell(const DeviceRowData& d, const FamilyFields& ff, int id) {
  const size_t* offs = id == kColBattVolt  ? ff.battVolt
                       : id == kColBattAmp ? ff.battAmp
                                           : ff.battCap;
  if (id == kColBattRemaining) {
    if (ff.battRemaining == 0) return {};
    const I v = BlockValue(d, ff.battRemaining);
    return v >= 0 ? Fmt("%lldmin", v) : std::string();
  }
  if (offs[0] == 0) return {};
  const I pos = BlockValue(d, offs[0]);
  const char* unit = id == kColBattVolt ? "V" : id == kColBattAmp ? "A" : "%";
  if (offs[1] != 0) {  // a positive and a negative string
    const I neg = BlockValue(d, offs[1]);
    if (neg >= 0) {
      if (id == kColBattCapacity) return Fmt("(+)%lld (-)%lld%%", pos, neg);
      return "(+)" + Tenths(pos) + " (-)" + Tenths(neg) + unit;
    }
    if (pos < 0) return {};
    return id == kColBattCapacity ? Fmt("%lld%%", pos) : Tenths(pos) + unit;
  }
  if (pos < 0) return {};
  switch (d.family) {
    case DeviceFamily::kSnmp:
      return id == kColBattCapacity ? Fmt("%lld%%", pos) : Tenths(pos) + unit;
    case DeviceFamily::kBinary:
      return id == kColBattVolt ? Fmt("%lldV", pos) : Tenths(pos) + unit;
    case DeviceFamily::kTrv5200:
      return Fmt("%lld%s", pos, unit);
    default:  // 9315: tenths throughout
      return Tenths(pos) + unit;
  }
}

// ---- status and text columns ----

std::string StatusText(const CellTexts& t, const std::vector<std::string>& table, I code) {
  if (code < 0 || static_cast<size_t>(code) >= table.size()) return t.notKnown;
  return table[static_cast<size_t>(code)];
}

std::string GprsTitle(const DeviceRowData& d) {
  auto u16 = [&](size_t off) -> I {
    return off + 2 <= d.block.size() ? u16At(CBytes(d.block.data(), d.block.size()), off) : 0;
  };
  if (d.block.size() < 850) return d.title;
  if (u16(836) == 1970) return d.title + "()";
  return d.title +
         Fmt("(%lld/%lld %lld:%lld:%lld)", u16(838), u16(842), u16(844), u16(846), u16(848));
}

struct AlarmSource {
  ActionFamily table;
  size_t maskOff;
};

std::string AlarmCell(const DeviceRowData& d, const CellTexts& t) {
  if (t.actions == nullptr) return {};
  AlarmSource src[2];
  int n = 0;
  bool perNode = false;
  switch (d.family) {
    case DeviceFamily::kSnmp:
      src[n++] = {ActionFamily::Snmpv4, 8};
      perNode = true;
      break;
    case DeviceFamily::kGprs:
      src[n++] = {ActionFamily::Gprs, 0};
      break;
    case DeviceFamily::kAscii:
    case DeviceFamily::kModbus:
      src[n++] = {ActionFamily::Regular, 0};
      src[n++] = {ActionFamily::RegularPlus, 16};
      break;
    case DeviceFamily::kBinary:
      src[n++] = {ActionFamily::ThreePhase, 0};
      src[n++] = {ActionFamily::ThreePhasePlus, 16};
      break;
    case DeviceFamily::kTrv5200:
      src[n++] = {ActionFamily::Mge, 0};
      perNode = true;
      break;
    case DeviceFamily::kPlc:
      src[n++] = {ActionFamily::Plc, 0};
      break;
    case DeviceFamily::kPw9315:
      src[n++] = {ActionFamily::Pw, 0};
      break;
    default:
      return {};
  }
  std::string cell;
  for (int s = 0; s < n; ++s) {
    const ActionTable& rows = t.actions->table(src[s].table);
    const uint64_t mask = BlockMask(d, src[s].maskOff);
    for (size_t i = 0; i < 64 && 2 * i < rows.size(); ++i) {
      if (!((mask >> i) & 1) || rows[2 * i].level() >= kAlarmNone) continue;
      if (perNode && ((d.suppressed >> i) & 1)) continue;
      const std::string title = rows[2 * i].title();
      if (cell.size() + title.size() < 251) cell += title + ", ";
    }
  }
  if (cell.size() >= 2) cell.resize(cell.size() - 2);
  return cell;
}

}  // namespace

std::string FormatDeviceCell(const DeviceRowData& d, int id, const CellTexts& t) {
  if (id == kColTitle)
    return CutText(d.family == DeviceFamily::kGprs ? GprsTitle(d) : d.title, kCellTextMax);
  if (id == kColLocation) {
    if (!d.location.empty() || d.family != DeviceFamily::kSnmp) return d.location;
    return BlockText(d, 780, kCellTextMax);
  }
  const FamilyFields* ff = FieldsOf(d.family);
  if (ff == nullptr || d.block.empty()) return {};  // no family block: nothing to show
  switch (id) {
    case kColModel:
      return BlockText(d, ff->model, kCellTextMax);
    case kColRatingVa: {
      if (ff->rating == 0) return {};
      const I v = BlockValue(d, ff->rating);
      if (v <= 0) return {};
      return Fmt(d.family == DeviceFamily::kTrv5200 ? "%lldW" : "%lldVA", v);
    }
    case kColUpsStatus:
      if (!General(d.family)) return {};
      return StatusText(t, t.upsStatus, BlockValue(d, ff->upsStatus));
    case kColBattStatus: {
      if (!General(d.family)) return {};
      const I b = BlockValue(d, ff->battB);
      if (b < 0) return t.notKnown;
      if (BlockWord(d, ff->statusWord) & 2u) return StatusText(t, t.batteryLevel, b);
      return StatusText(t, t.batteryCondition, BlockValue(d, ff->battA));
    }
    case kColInVolt:
    case kColInAmp:
    case kColOutVolt:
    case kColOutAmp:
    case kColOutPower:
    case kColOutLoading:
      if (d.family == DeviceFamily::kPlc) return {};
      return PhaseCell(d, *ff, id);
    case kColBattVolt:
    case kColBattAmp:
    case kColBattCapacity:
    case kColBattRemaining:
      if (d.family == DeviceFamily::kPlc) return {};
      return BatteryCell(d, *ff, id);
    case kColAlarm:
      return AlarmCell(d, t);
    default:
      return {};
  }
}

}  // namespace lark
