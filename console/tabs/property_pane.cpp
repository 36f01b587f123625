// Sections: the block fields, row texts, PaintPropertyPane.
#include "console/tabs/property_pane.h"

#include <algorithm>
#include <string>

#include "common/bytes.h"
#include "console/views/drawing_kit.h"
#include "core/live_data.h"

namespace lark {
namespace {

// ---- the block fields ----

// Text fields of the blocks (offset, bytes with the terminator); a text is
// read within its field only.
struct TextField {
  size_t off;
  size_t size;
};
constexpr TextField kSnmpModel{627, 17}, kSnmpFirmware{644, 17}, kSnmpFourth{661, 16},
    kSnmpSysName{742, 32}, kSnmpLocation{780, 65}, kSnmpContact{845, 33};
constexpr TextField kSerialModel{1011, 17}, kSerialFirmware{1028, 17}, kSerialExtra{1045, 21};
constexpr TextField kBinaryModel{756, 31}, kSensorModel{61, 17};
constexpr TextField kGprsModel{798, 17}, kGprsFirmware{815, 17};
constexpr size_t kSnmpAccessByte = 0;

// Nominal values by value index: SNMP, and the serial layout the ASCII,
// Modbus and GPRS blocks share.
struct Nominals {
  int rating, inVolt, outVolt, inFreq, outFreq, battery;
};
constexpr Nominals kSnmpNominals{0, 1, 3, 2, 4, 5};
constexpr Nominals kSerialNominals{4, 2, 0, 3, 1, 14};

std::string Field(const LiveDataBlock* b, TextField f) {
  return b != nullptr ? b->text(f.off, f.size) : std::string();
}

std::string Cut(std::string s) { return std::string(CutUtf8(s, kPaneTextMax)); }

std::string RatingText(int64_t v) {
  if (v <= 0) return "";
  if (v < 1000) return std::to_string(v) + " VA";
  if (v % 1000 == 0) return std::to_string(v / 1000) + " KVA";
  return std::to_string(v / 1000) + "." + std::to_string(v % 1000 / 100) + " KVA";
}

// ---- rows ----

class PanePainter {
 public:
  PanePainter(Canvas& c, const PanelInputs& in, const DeviceNode& n, int x0, int right, int y, int g)
      : c_(c), in_(in), n_(n), x0_(x0), right_(right), y_(y), pitch_(in.lineHeight + g) {}

  void Rows();

 private:
  const std::string& G(int n) const { return in_.texts.general[static_cast<size_t>(n - 11)]; }
  void Row(int label, const std::string& value, ColorRef colour = kPanelTextColour);
  void SectionHeading(int label);
  void NominalPair(int64_t in, int64_t out, int same, int inLabel, int outLabel, const char* unit);

  Canvas& c_;
  const PanelInputs& in_;
  const DeviceNode& n_;
  int x0_, right_, y_, pitch_;
};

void PanePainter::Row(int label, const std::string& value, ColorRef colour) {
  const std::string text = Cut(G(label) + ": ");
  c_.SelectFont(in_.labelFont);
  c_.SetTextColor(kPanelTextColour);
  c_.DrawText(text, {x0_, y_, right_, y_ + pitch_}, kDtLeft | kDtSingleLine);
  const int w = c_.TextWidth(text);
  c_.SelectFont(in_.valueFont);
  c_.SetTextColor(colour);
  c_.TextOut(x0_ + w, y_, Cut(value));
  c_.SetTextColor(kPanelTextColour);
  y_ += pitch_;
}

void PanePainter::SectionHeading(int label) {
  c_.SetBkMode(BkMode::kOpaque);
  c_.SetBkColor(SysColorValue(kColorWindow));
  DrawLine(c_, x0_ + 10, y_ + 8, right_ - 10, y_ + 8, kPanelTextColour, 1);
  c_.SelectFont(in_.labelFont);
  c_.SetTextColor(kPanelTextColour);
  c_.DrawText(Cut(" " + G(label) + " "), {x0_, y_, right_, y_ + pitch_}, kDtCenter | kDtSingleLine);
  y_ += pitch_;
  c_.SetBkMode(BkMode::kTransparent);
}

void PanePainter::NominalPair(int64_t in, int64_t out, int same, int inLabel, int outLabel,
                              const char* unit) {
  if (in >= 1 && in == out) {
    Row(same, std::to_string(in) + unit);
    return;
  }
  if (in > 0) Row(inLabel, std::to_string(in) + unit);
  if (out > 0) Row(outLabel, std::to_string(out) + unit);
}

void PanePainter::Rows() {
  const uint8_t kind = n_.nodeKind();
  const bool snmp = kind == kNodeSnmp, gprs = kind == kNodeGprs, local = kind == kNodeSerial;
  const int ct = n_.commType();
  const LiveDataBlock* sb = snmp ? n_.block(BlockKind::kSnmp) : nullptr;
  const LiveDataBlock* ab = n_.block(BlockKind::kAscii);
  const LiveDataBlock* mb = n_.block(BlockKind::kModbus);
  const LiveDataBlock* gb = gprs ? n_.block(BlockKind::kGprs) : nullptr;
  // The block of the nominal values, and their layout. An SNMP inverter or
  // sensor keeps its readings in those slots: it has no nominal values.
  const bool snmpUps = snmp && n_.mibType() != kMibInverter && n_.mibType() != kMibSensor;
  const LiveDataBlock* nb = snmp                      ? (snmpUps ? sb : nullptr)
                            : gprs                    ? gb
                            : local && ct == kCommAscii ? ab
                            : local && ct == kCommModbusUps ? mb
                                                        : nullptr;
  const bool nominals = snmp || gprs || (local && (ct == kCommAscii || ct == kCommModbusUps));
  const Nominals& nv = snmp ? kSnmpNominals : kSerialNominals;
  auto value = [&](int index) -> int64_t { return nb != nullptr ? nb->slot(index) : -1; };

  Row(12, n_.title());
  std::string location = n_.location();
  if (location.empty() && sb != nullptr) location = Field(sb, kSnmpLocation);
  Row(14, location);
  if (snmp) {
    const uint8_t access = sb != nullptr ? sb->u8(kSnmpAccessByte) : 0;
    Row(13, in_.texts.accessMode[access <= 2 ? access : 0]);
    Row(15, Field(sb, kSnmpContact));
    Row(16, Field(sb, kSnmpSysName));
  }
  // Connection.
  std::string connection;
  ColorRef colour = kPanelTextColour;
  if (snmp) {
    const uint64_t reported = sb != nullptr ? sb->mask(MaskWord::kReported) : 0;
    if (reported & (uint64_t{1} << 28)) {
      connection = "Disconnect";
      colour = in_.levelColours[kAlarmSerious];
    } else {
      connection = "SNMP, UDP Port " + std::to_string(n_.port());
    }
  } else if (local) {
    connection = "Local, " + n_.com() + ", ID" + std::to_string(n_.upsId());
  }
  if (n_.linkStatus() == kLinkStopped) {
    connection += ", " + std::string(in_.texts.commonText(10));
    colour = in_.levelColours[kAlarmSerious];
  }
  Row(17, connection, colour);
  if (snmp) {
    Row(18, n_.ip());
    Row(19, Field(sb, kSnmpFourth));
  }
  SectionHeading(20);
  // Model, additional text, type, firmware, rating.
  std::string model, firmware, extra;
  if (snmp) {
    model = Field(sb, kSnmpModel);
    firmware = Field(sb, kSnmpFirmware);
  } else if (gprs) {
    model = Field(gb, kGprsModel);
    firmware = Field(gb, kGprsFirmware);
  } else if (local) {
    switch (ct) {
      case kCommAscii:
        firmware = Field(ab, kSerialFirmware);
        extra = Field(ab, kSerialExtra);
        [[fallthrough]];
      case kCommPlc: model = Field(ab, kSerialModel); break;
      case kCommThreePhase: model = Field(n_.block(BlockKind::kBinary), kBinaryModel); break;
      case kCommModbusUps:
        extra = Field(mb, kSerialExtra);
        [[fallthrough]];
      case kCommInverter:
        firmware = Field(mb, kSerialFirmware);
        [[fallthrough]];
      case kCommModbusTrv5200:
      case kCommModbus9315: model = Field(mb, kSerialModel); break;
      case kCommSensor: model = Field(n_.block(BlockKind::kSensor), kSensorModel); break;
      default: break;
    }
  }
  Row(21, model);
  if (!extra.empty()) Row(22, extra);
  if (ct != kCommPlc) {
    const uint8_t type = n_.upsTypeCode();
    Row(23, type < in_.texts.upsType.size() ? in_.texts.upsType[type] : std::string());
  }
  const bool noFirmware = (local && (ct == kCommThreePhase || ct == kCommModbusTrv5200 ||
                                     ct == kCommPlc || ct == kCommModbus9315 || ct == kCommSensor)) ||
                          (snmp && n_.mibType() == kMibSensor);
  if (!noFirmware) {
    Row(24, firmware);
    Row(25, RatingText(value(nv.rating)));
  }
  if (!(local && ct == kCommThreePhase) && nominals) {
    NominalPair(value(nv.inVolt), value(nv.outVolt), 26, 27, 28, " V");
    NominalPair(value(nv.inFreq), value(nv.outFreq), 29, 30, 31, " Hz");
  }
  const bool battery = snmp || gprs ||
                       (local && (ct == kCommAscii || ct == kCommModbusUps || ct == kCommInverter ||
                                  ct == kCommSensor || ct == kCommMeter || ct == kCommMeterSum));
  if (battery) {
    const int64_t v = value(nv.battery);
    Row(32, v > 0 ? std::to_string(v) + " V" : std::string());
  }
  if (n_.status2() != 0) Row(33, std::to_string(n_.status2()));
}

}  // namespace

// ---- PaintPropertyPane ----

void PaintPropertyPane(Canvas& c, const PanelInputs& in, const DeviceNode* device, int paneHeight) {
  const int h = in.lineHeight;
  const int q = (paneHeight - h - 15) / 18;
  const int g = q < h ? 3 : std::clamp(q - h, 3, 10);
  c.SetTextColor(kPanelTextColour);
  c.SetBkMode(BkMode::kTransparent);
  c.SelectFont(in.labelFont);
  const CanvasRect work{in.pane.left + 5, in.pane.top + 20, in.pane.right, in.pane.bottom};
  DrawSysSolidRect(c, work.left, work.top, work.right, work.bottom, kColorWindow);
  if (device == nullptr) return;
  c.DrawText(Cut(in.texts.general[0]), work, kDtCenter | kDtSingleLine);
  const int y = work.top + h + 2 * g;
  DrawLine(c, work.left + 10, y - g, work.right - 10, y - g, kPanelTextColour, 1);
  PanePainter(c, in, *device, work.left, work.right, y, g).Rows();
}

}  // namespace lark
