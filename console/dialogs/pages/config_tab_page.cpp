// Sections: the controls, the reload, Submit and the reply, installing.
#include "console/dialogs/pages/config_tab_page.h"

#include <QCheckBox>
#include <QComboBox>
#include <QBoxLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>

#include <QSignalBlocker>

#include "common/bytes.h"
#include "console/dialogs/console_dialogs.h"
#include "console/dialogs/dialog_text_table.h"
#include "console/shell/console_context.h"
#include "console/shell/dialog_texts.h"
#include "console/tabs/detail_tabs.h"
#include "core/device_node.h"
#include "core/live_data.h"
#include "linkserver/link_frame.h"

namespace lark {

namespace {

constexpr uint16_t kConfigLogCode = 70;
constexpr size_t kCapabilityOffset = 256;  // u64 of the ASCII and Modbus blocks
constexpr uint64_t kEconomyEventBit = uint64_t{1} << 16;
constexpr int kEditMaxChars = 9;
constexpr size_t kClockSyncFlag = 96;
constexpr int kSliderMinWidth = 200;  // px: room to pick a position

enum class Kind { kCombo, kEdit, kSlider, kCheck };

// A value's control; combos show the value `indexBase` as entry 0.
struct Field {
  ConfigValue value;
  Kind kind;
  int id;
  int label;  // the label whose text names it in a refusal (edits)
  int32_t min, max;
  int indexBase;
};

constexpr Field kFields[] = {
    {kCfgVoltageSensitivity, Kind::kCombo, 1209, 1136, 0, 0, 0},
    {kCfgEconomyMode, Kind::kCombo, 1210, 1137, 0, 0, 1},
    {kCfgSelfTest, Kind::kCombo, 1211, 1138, 0, 0, 1},
    {kCfgAcRestart, Kind::kCombo, 1213, 1141, 0, 0, 1},
    {kCfgBootDelay, Kind::kEdit, 1214, 1142, 0, 65535, 0},
    {kCfgExternalPacks, Kind::kEdit, 1216, 1146, 0, 255, 0},
    {kCfgClockSync, Kind::kCheck, 1217, 0, 0, 0, 0},
    {kCfgInputLow, Kind::kSlider, 1107, 0, 0, 0, 0},
    {kCfgInputHigh, Kind::kSlider, 1108, 0, 0, 0, 0},
    {kCfgBypassFrequency, Kind::kSlider, 1118, 0, 0, 0, 0},
    {kCfgBypassTolerance, Kind::kSlider, 1116, 0, 0, 0, 0},
    {kCfgBypassLow, Kind::kSlider, 1111, 0, 0, 0, 0},
    {kCfgBypassHigh, Kind::kSlider, 1112, 0, 0, 0, 0},
    {kCfgTestMinutes, Kind::kEdit, 1218, 1271, 0, 9999, 0},
    {kCfgTestVoltage, Kind::kEdit, 1219, 1272, 0, 65535, 0},
};

// The controls each setting shows or hides together, in the table's order.
const std::vector<int> kBatteryTestIds = {1270, 1271, 1218, 1273, 1272, 1219};
const std::vector<int> kSensitivityIds = {1136, 1209};
const std::vector<int> kEconomyIds = {1137, 1210};
const std::vector<int> kSelfTestIds = {1138, 1211};
const std::vector<int> kAcRestartIds = {1141, 1213};
const std::vector<int> kBootDelayIds = {1142, 1214, 1143};
const std::vector<int> kPacksIds = {1146, 1216};
const std::vector<int> kSyncIds = {1217};
const std::vector<int> kInputIds = {1222, 1107, 1109, 1135, 1108, 1110, 1134};
const std::vector<int> kFrequencyIds = {1220, 1118, 1119, 1148};
const std::vector<int> kToleranceIds = {1221, 1116, 1117, 1147};
const std::vector<int> kBypassIds = {1223, 1111, 1113, 1139, 1112, 1114, 1140};

// Slider id -> its value text; the frequency's text shows position x 5 in tenths.
constexpr std::pair<int, int> kSliderTexts[] = {{1107, 1109}, {1108, 1110}, {1111, 1113},
                                                {1112, 1114}, {1116, 1117}, {1118, 1119}};
constexpr int kFrequencySlider = 1118;
constexpr int kFrequencyStep = 5;  // tenths of a hertz per trackbar step

QString SliderText(int slider, int position) {
  if (slider != kFrequencySlider) return QString::number(position);
  const int tenths = position * kFrequencyStep;
  return QString("%1.%2").arg(tenths / 10).arg(tenths % 10);
}

}  // namespace

// ---- the controls ----

ConfigTabPage::ConfigTabPage(ConsoleDialogs& env, QWidget* page)
    : TabPage(env, kConfigTabResource, kTabConfiguration, page) {
  SetPrefix(EnglishText(kConfigTabResource, 1136));  // "L_1" replaces it
  // Two columns of their natural sizes: the settings on the left, the
  // trackbar groups on the right; the room left over stays on the right and
  // at the bottom, so no row is stretched apart from its neighbours.
  auto* outer = new QVBoxLayout(this);
  auto* columns = new QHBoxLayout;
  auto* grid = new QGridLayout;
  auto* right = new QVBoxLayout;
  columns->addLayout(grid);
  columns->addLayout(right);
  columns->addStretch(1);
  outer->addLayout(columns);
  int row = 0;
  auto addPair = [&](int labelId, QWidget* field, QLabel* unit = nullptr) {
    grid->addWidget(Control(labelId), row, 0);
    grid->addWidget(field, row, 1);
    if (unit) grid->addWidget(unit, row, 2);
    ++row;
  };
  auto combo = [&](int labelId, int id) {
    QLabel* l = NewLabel(labelId);
    auto* c = NewField<QComboBox>(id, l);
    c->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    addPair(labelId, c);
  };
  auto edit = [&](int labelId, int id, int unitId) {
    QLabel* l = NewLabel(labelId);
    auto* e = NewField<QLineEdit>(id, l);
    e->setMaxLength(kEditMaxChars);
    addPair(labelId, e, unitId ? NewLabel(unitId) : nullptr);
  };
  combo(1136, 1209);
  combo(1137, 1210);
  combo(1138, 1211);
  combo(1141, 1213);
  edit(1142, 1214, 1143);
  edit(1146, 1216, 0);
  auto* sync = new QCheckBox(QString::fromStdString(EnglishText(kConfigTabResource, 1217)), this);
  SetControlId(sync, 1217);
  sync->setAccessibleName(sync->text());
  grid->addWidget(sync, row++, 0, 1, 3);

  // Battery test.
  auto* test = new QGroupBox(QString::fromStdString(EnglishText(kConfigTabResource, 1270)), this);
  SetControlId(test, 1270);
  auto* tg = new QGridLayout(test);
  QLabel* timeLabel = NewLabel(1271);
  auto* time = NewField<QLineEdit>(1218, timeLabel);
  QLabel* voltLabel = NewLabel(1272);
  auto* volt = NewField<QLineEdit>(1219, voltLabel);
  for (QLineEdit* e : {time, volt}) e->setMaxLength(kEditMaxChars);
  tg->addWidget(timeLabel, 0, 0);
  tg->addWidget(time, 0, 1);
  tg->addWidget(NewLabel(1273), 0, 2);
  tg->addWidget(voltLabel, 1, 0);
  tg->addWidget(volt, 1, 1);
  grid->addWidget(test, row++, 0, 1, 3);
  grid->setRowStretch(row, 1);

  // The trackbar groups, in the right-hand column.
  auto group = [&](int id, std::initializer_list<std::pair<int, int>> sliders) {
    auto* box = new QGroupBox(QString::fromStdString(EnglishText(kConfigTabResource, id)), this);
    SetControlId(box, id);
    auto* g = new QGridLayout(box);
    int r = 0;
    for (auto [labelId, sliderId] : sliders) {
      QLabel* l = NewLabel(labelId);
      auto* s = NewField<QSlider>(sliderId, l);
      s->setOrientation(Qt::Horizontal);
      s->setMinimumWidth(kSliderMinWidth);
      s->setAccessibleName(box->title() + " " + s->accessibleName());
      int textId = 0;
      for (auto [sid, tid] : kSliderTexts)
        if (sid == sliderId) textId = tid;
      auto* text = new QLabel(this);
      SetControlId(text, textId);
      // Room for the widest value ("65535") so the text never clips.
      text->setMinimumWidth(text->fontMetrics().horizontalAdvance("65535"));
      connect(s, &QSlider::valueChanged, text, [text, sliderId](int v) { text->setText(SliderText(sliderId, v)); });
      g->addWidget(l, r, 0);
      g->addWidget(s, r, 1);
      g->addWidget(text, r, 2);
      ++r;
    }
    right->addWidget(box);
  };
  group(1222, {{1135, 1107}, {1134, 1108}});
  group(1220, {{1148, 1118}});
  group(1221, {{1147, 1116}});
  group(1223, {{1139, 1111}, {1140, 1112}});
  right->addStretch(1);

  AddSubmitAndRefresh(outer, [this] { Submit(); }, [this] { Refresh(); });
  for (QWidget* w : findChildren<QWidget*>())
    if (w->property("id").isValid() && w->property("id").toInt() != kPageStatusControl) w->hide();
}

// ---- the reload ----

void ConfigTabPage::Reload(DeviceNode* device) {
  if (device == nullptr || device->nodeKind() != kNodeSerial) return;
  loaded_ = UnknownConfigValues();
  const int ct = device->commType();
  const bool asciiLike = ct == kCommAscii || ct == kCommModbusUps;
  const LiveDataBlock* b = nullptr;
  if (ct == kCommAscii) b = device->block(BlockKind::kAscii);
  if (ct == kCommModbusUps) b = device->block(BlockKind::kModbus);
  if (ct == kCommThreePhase) b = device->block(BlockKind::kBinary);
  auto val = [b](int n) { return b ? b->slot(n) : -1; };
  const uint64_t caps =
      (asciiLike && b) ? (b->u32(kCapabilityOffset) | uint64_t{b->u32(kCapabilityOffset + 4)} << 32) : 0;
  auto cap = [caps](int bit) { return ((caps >> bit) & 1) != 0; };
  const ConsoleStatusTexts& st = env().ctx.texts.status;
  int shownCount = 0;

  auto show = [&](const std::vector<int>& ids, bool on) {
    ShowControls(ids, on);
    shownCount += on ? 1 : 0;
  };
  auto fillCombo = [&](int id, StatusList list, int index) {
    auto* c = static_cast<QComboBox*>(Control(id));
    c->clear();
    for (size_t i = 0; i < st.size(list); ++i) c->addItem(QString::fromStdString(st.text(list, i)));
    c->setCurrentIndex(index >= 0 && index < c->count() ? index : -1);
  };
  auto setEdit = [&](int id, int32_t v) { static_cast<QLineEdit*>(Control(id))->setText(QString::number(v)); };
  auto setSlider = [&](int id, int32_t low, int32_t high, int32_t position) {
    auto* s = static_cast<QSlider*>(Control(id));
    const SliderRange r = WidenedRange(low, high, position);
    const QSignalBlocker quiet(s);
    s->setRange(r.min, r.max);
    s->setValue(position);
    for (auto [sid, tid] : kSliderTexts)
      if (sid == id) SetControlText(Control(tid), SliderText(id, position).toStdString());
  };

  // Battery test.
  const int timeSlot = ct == kCommThreePhase ? 104 : 173;
  const bool test = (asciiLike || ct == kCommThreePhase) && val(timeSlot) >= 0;
  if (test) {
    loaded_[kCfgTestMinutes] = val(timeSlot);
    loaded_[kCfgTestVoltage] = val(timeSlot + 1);
    setEdit(1218, loaded_[kCfgTestMinutes]);
    setEdit(1219, loaded_[kCfgTestVoltage]);
  }
  show(kBatteryTestIds, test);

  // The combos and edits of the ASCII and Modbus devices.
  const bool sens = asciiLike && val(91) >= 0;
  if (sens) fillCombo(1209, StatusList::VoltageSensitivity, loaded_[kCfgVoltageSensitivity] = val(91));
  show(kSensitivityIds, sens);
  const bool eco = asciiLike && cap(4);
  if (eco) {
    loaded_[kCfgEconomyMode] = (b->mask(MaskWord::kReported) & kEconomyEventBit) ? 1 : 2;
    fillCombo(1210, StatusList::EnableDisable, loaded_[kCfgEconomyMode] - 1);
  }
  show(kEconomyIds, eco);
  const bool selfTest = asciiLike && val(92) >= 0;
  if (selfTest) fillCombo(1211, StatusList::SelfTestSchedule, (loaded_[kCfgSelfTest] = val(92)) - 1);
  show(kSelfTestIds, selfTest);
  const bool restart = asciiLike && val(93) >= 0;
  if (restart) fillCombo(1213, StatusList::EnableDisable, (loaded_[kCfgAcRestart] = val(93)) - 1);
  show(kAcRestartIds, restart);
  const bool delay = asciiLike && val(94) >= 0;
  if (delay) setEdit(1214, loaded_[kCfgBootDelay] = val(94));
  show(kBootDelayIds, delay);
  const bool packs = asciiLike && val(95) >= 0;
  if (packs) setEdit(1216, loaded_[kCfgExternalPacks] = val(95));
  show(kPacksIds, packs);

  // Date and time synchronisation.
  const bool sync = ct == kCommThreePhase ? (b && b->i32(kBinaryModelByteOffset) == 2) : asciiLike && cap(32);
  if (sync) {
    loaded_[kCfgClockSync] = device->syncDateTime() != 0 ? 1 : 0;
    static_cast<QCheckBox*>(Control(1217))->setChecked(loaded_[kCfgClockSync] == 1);
  }
  show(kSyncIds, sync);

  // The trackbars.
  const bool input = asciiLike && val(7) >= 0;
  if (input) {
    setSlider(1107, val(10), val(9), loaded_[kCfgInputLow] = val(7));
    setSlider(1108, val(12), val(11), loaded_[kCfgInputHigh] = val(8));
  }
  show(kInputIds, input);
  const bool frequency = asciiLike && cap(18);
  if (frequency) {
    loaded_[kCfgBypassFrequency] = val(96);
    setSlider(1118, 1, val(18) / kFrequencyStep, val(96) / kFrequencyStep);
  }
  show(kFrequencyIds, frequency);
  const bool tolerance = asciiLike && cap(62);
  if (tolerance) setSlider(1116, 0, val(22), loaded_[kCfgBypassTolerance] = val(97));
  show(kToleranceIds, tolerance);
  bool bypass = asciiLike;
  for (int n = 20; n <= 25; ++n) bypass = bypass && val(n) >= 0;
  if (bypass) {
    setSlider(1111, val(23), val(22), loaded_[kCfgBypassLow] = val(20));
    setSlider(1112, val(25), val(24), loaded_[kCfgBypassHigh] = val(21));
  }
  show(kBypassIds, bypass);

  RememberShown();
  shownNothing_ = shownCount == 0;
  ShowControls({1, 2}, shownCount > 0 && MayChange());
}

void ConfigTabPage::RememberShown() {
  for (const Field& f : kFields) {
    QWidget* c = Control(f.id);
    switch (f.kind) {
      case Kind::kCombo: shown_[f.value] = static_cast<QComboBox*>(c)->currentIndex(); break;
      case Kind::kEdit: shownText_[f.value] = static_cast<QLineEdit*>(c)->text(); break;
      case Kind::kSlider: shown_[f.value] = static_cast<QSlider*>(c)->value(); break;
      case Kind::kCheck: shown_[f.value] = static_cast<QCheckBox*>(c)->isChecked() ? 1 : 0; break;
    }
  }
}

// ---- Submit and the reply ----

std::optional<ConfigValues> ConfigTabPage::TypedValues() {
  ConfigValues typed = loaded_;
  for (const Field& f : kFields) {
    if (loaded_[f.value] < 0) continue;
    QWidget* c = Control(f.id);
    switch (f.kind) {
      case Kind::kCombo: {
        const int i = static_cast<QComboBox*>(c)->currentIndex();
        if (i != shown_[f.value] && i >= 0) typed[f.value] = i + f.indexBase;
        break;
      }
      case Kind::kEdit: {
        const QString text = static_cast<QLineEdit*>(c)->text();
        if (text == shownText_[f.value]) break;
        const std::optional<int32_t> v = ParseSettingNumber(text.trimmed().toStdString(), f.min, f.max);
        if (!v) {
          RefuseNumber(ControlText(Control(f.label)), f.min, f.max);
          c->setFocus();
          return std::nullopt;
        }
        typed[f.value] = *v;
        break;
      }
      case Kind::kSlider: {
        const int p = static_cast<QSlider*>(c)->value();
        if (p != shown_[f.value]) typed[f.value] = f.value == kCfgBypassFrequency ? p * kFrequencyStep : p;
        break;
      }
      case Kind::kCheck: typed[f.value] = static_cast<QCheckBox*>(c)->isChecked() ? 1 : 0; break;
    }
  }
  return typed;
}

void ConfigTabPage::Submit() {
  DeviceNode* device = LoadedDevice();
  if (device == nullptr || device->nodeKind() != kNodeSerial) return;
  const std::optional<ConfigValues> typed = TypedValues();
  if (!typed) return;
  ConfigSubmission s = BuildConfigSubmission(device->idU16(), loaded_, *typed);
  if (!Send(kLinkCmdDeviceSettings, 0, kPageRequestTimeoutMs, s.block)) {
    ShowMessage("MSG1");
    return;
  }
  submitted_ = std::move(s);
  submittedId_ = device->id();
  ShowMessage("MSG2");
  EnableControls({1, 2}, false);
}

void ConfigTabPage::Refresh() { RequestReload(); }

void ConfigTabPage::OnReplyCode(std::optional<uint8_t> code) {
  EnableControls({1, 2}, true);
  if (code != 2 * kLinkCmdDeviceSettings - 1 || !submitted_) {
    ShowMessage("MSG1");
    submitted_.reset();
    return;
  }
  ShowMessage("MSG3");
  for (const std::string& text : submitted_->log) PostLog(1, kConfigLogCode, text);
  DeviceNode* device = env().ctx.tree.findById(submittedId_);
  if (device != nullptr && u32At(submitted_->block, kClockSyncFlag) != 0)
    device->setSyncDateTime(submitted_->stored[kCfgClockSync]);
  if (submittedId_ == loadedId_) {  // what the controls hold now is the known state
    loaded_ = submitted_->stored;
    RememberShown();
  }
  submitted_.reset();
}

// ---- installing ----

QWidget* CreateConfigTab(ConsoleDialogs& env, QWidget* page) { return new ConfigTabPage(env, page); }

}  // namespace lark
