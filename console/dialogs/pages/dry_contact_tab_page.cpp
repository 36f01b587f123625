// Sections: the controls, the reload, Submit and the reply.
#include "console/dialogs/pages/dry_contact_tab_page.h"

#include <QBoxLayout>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>

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

constexpr uint16_t kDryContactLogCode = 71;
constexpr size_t kCapabilityOffset = 256;  // u64 of the ASCII and Modbus blocks
constexpr size_t kSlotsOffset = 264;       // value 0 of the ASCII and Modbus blocks
constexpr int kAsciiListValue = 201, kModbusListValue = 293;
constexpr uint8_t kUpsTypeHvdc = 6;

// Control ids of contact k (outputs 0..5, inputs 6, 7).
int EventCombo(int k) { return k < kOutputContacts ? 1161 + k : 1173 + k - kOutputContacts; }
int ActionCombo(int k) { return k < kOutputContacts ? 1167 + k : 1179 + k - kOutputContacts; }
int InactiveBox(int k) { return 1140 + k; }
int RowLabel(int k) { return k < kOutputContacts ? 1229 + k : 1238 + k - kOutputContacts; }

std::vector<std::string> ListOf(const ConsoleStatusTexts& st, StatusList list) {
  std::vector<std::string> out;
  for (size_t i = 0; i < st.size(list); ++i) out.push_back(st.text(list, i));
  return out;
}

}  // namespace

// ---- the controls ----

DryContactTabPage::DryContactTabPage(ConsoleDialogs& env, QWidget* page)
    : TabPage(env, kDryContactTabResource, kTabDryContact, page) {
  SetPrefix(EnglishText(kDryContactTabResource, 1224));  // "L_1" replaces it
  auto group = [&](int id, std::initializer_list<int> heads, int first, int count) {
    auto* box = new QGroupBox(QString::fromStdString(EnglishText(kDryContactTabResource, id)), this);
    SetControlId(box, id);
    auto* g = new QGridLayout(box);
    int col = 1;
    for (int h : heads) g->addWidget(NewLabel(h), 0, col++);
    for (int k = first; k < first + count; ++k) {
      QLabel* row = NewLabel(RowLabel(k));
      auto* event = NewField<QComboBox>(EventCombo(k), row);
      auto* action = NewField<QComboBox>(ActionCombo(k), nullptr);
      action->setAccessibleName(row->text() + " action");
      auto* inactive = new QCheckBox(QString::fromStdString(EnglishText(kDryContactTabResource, InactiveBox(k))), this);
      SetControlId(inactive, InactiveBox(k));
      inactive->setAccessibleName(row->text() + " inactive");
      const int r = k - first + 1;
      g->addWidget(row, r, 0);
      g->addWidget(event, r, 1);
      g->addWidget(action, r, 2);
      g->addWidget(inactive, r, 3);
    }
    return box;
  };
  // The groups at their natural sizes, the room left over on the right and
  // at the bottom.
  auto* outer = new QVBoxLayout(this);
  for (QGroupBox* box : {group(1224, {1226, 1227, 1228}, 0, kOutputContacts),
                         group(1225, {1235, 1236, 1237}, kOutputContacts, kInputContacts)}) {
    auto* line = new QHBoxLayout;
    line->addWidget(box);
    line->addStretch(1);
    outer->addLayout(line);
  }
  AddSubmitAndRefresh(outer, [this] { Submit(); }, [this] { Refresh(); });
  for (int id : {1224, 1225, 1, 2}) Control(id)->hide();
  loaded_.fill(-1);
}

// ---- the reload ----

void DryContactTabPage::Reload(DeviceNode* device) {
  // Only the serial UPS families have contacts.
  if (device == nullptr) return;
  const int16_t ct = device->commType();
  const LiveDataBlock* b = nullptr;
  if (device->nodeKind() == kNodeSerial) {
    if (ct == kCommThreePhase) b = device->block(BlockKind::kBinary);
    if (ct == kCommAscii) b = device->block(BlockKind::kAscii);
    if (ct == kCommModbusUps) b = device->block(BlockKind::kModbus);
  }
  commType_ = ct;
  loaded_.fill(-1);
  if (b == nullptr) {
    // A device without contacts: nothing of the previous device stays on the
    // page, and Submit has nothing to send under this device's id.
    outputsShown_ = inputsShown_ = false;
    for (int k = 0; k < kContacts; ++k) {
      static_cast<QComboBox*>(Control(EventCombo(k)))->clear();
      static_cast<QComboBox*>(Control(ActionCombo(k)))->clear();
    }
    ShowControls({1224, 1225, 1, 2}, false);
    return;
  }
  const uint64_t caps = ct == kCommThreePhase ? 0 : (b->u32(kCapabilityOffset) | uint64_t{b->u32(kCapabilityOffset + 4)} << 32);
  auto cap = [caps](int bit) { return ((caps >> bit) & 1) != 0; };
  auto valueAt = [b](int n) { return b->i32(kSlotsOffset + 4 * static_cast<size_t>(n)); };
  const ConsoleStatusTexts& st = env().ctx.texts.status;

  outputsShown_ = ct == kCommThreePhase ? b->i32(kBinaryModelByteOffset) == 2 : cap(23);
  StatusList list = StatusList::ModularAlarm;
  if (ct == kCommAscii) {
    if (device->upsTypeCode() == kUpsTypeHvdc) list = StatusList::FaultDescriptions;
    else if (valueAt(kAsciiListValue) == 4 || valueAt(kAsciiListValue) == 5) list = StatusList::ModularAlarmShort;
  } else if (ct == kCommModbusUps && (valueAt(kModbusListValue) == 4 || valueAt(kModbusListValue) == 5)) {
    list = StatusList::ModularAlarmShort;
  }
  outputEvents_ = ListOf(st, list);
  inputEvents_ = ListOf(st, StatusList::InputFunction);
  inputsShown_ = ct != kCommThreePhase && cap(34) && !(ct == kCommAscii && device->upsTypeCode() == kUpsTypeHvdc);
  const std::vector<std::string> actions = ListOf(st, StatusList::ContactType);

  auto fill = [&](int k, int32_t record, const std::vector<std::string>& events) {
    auto* event = static_cast<QComboBox*>(Control(EventCombo(k)));
    auto* action = static_cast<QComboBox*>(Control(ActionCombo(k)));
    event->clear();
    action->clear();
    if (record < 0) return;  // not reported yet: nothing shown, nothing sent
    loaded_[static_cast<size_t>(k)] = record;
    const DryContact c = UnpackDryContact(record);
    for (size_t i = 0; i < events.size(); ++i) event->addItem(QString::fromStdString(events[i]), int(i + 1));
    if (c.event < 1 || static_cast<size_t>(c.event) > events.size())
      event->addItem(QString::fromStdString(DryContactEventName(events, c.event)), c.event);
    event->setCurrentIndex(event->findData(c.event));
    for (const std::string& a : actions) action->addItem(QString::fromStdString(a));
    action->setCurrentIndex(c.normallyClosed ? 1 : 0);
    static_cast<QCheckBox*>(Control(InactiveBox(k)))->setChecked(!c.active);
  };
  if (outputsShown_)  // values 98..103 and 104, 105 in every family's block
    for (int k = 0; k < kOutputContacts; ++k) fill(k, b->slot(98 + k), outputEvents_);
  Control(1224)->setVisible(outputsShown_);
  if (inputsShown_)
    for (int k = kOutputContacts; k < kContacts; ++k) fill(k, b->slot(104 + k - kOutputContacts), inputEvents_);
  Control(1225)->setVisible(inputsShown_);
  ShowControls({1, 2}, (outputsShown_ || inputsShown_) && MayChange());
}

// ---- Submit and the reply ----

DryContactRecords DryContactTabPage::Typed() const {
  DryContactRecords typed = loaded_;
  for (int k = 0; k < kContacts; ++k) {
    const int32_t was = loaded_[static_cast<size_t>(k)];
    if (was < 0) continue;
    const DryContact old = UnpackDryContact(was);
    DryContact now = old;
    now.event = static_cast<QComboBox*>(Control(EventCombo(k)))->currentData().toInt();
    now.normallyClosed = static_cast<QComboBox*>(Control(ActionCombo(k)))->currentIndex() == 1;
    now.active = !static_cast<QCheckBox*>(Control(InactiveBox(k)))->isChecked();
    if (now.event == old.event && now.normallyClosed == old.normallyClosed && now.active == old.active) continue;
    now.number = k < kOutputContacts ? k + 1 : k - kOutputContacts + 1;
    typed[static_cast<size_t>(k)] = PackDryContact(now);
  }
  return typed;
}

void DryContactTabPage::Submit() {
  DeviceNode* device = LoadedDevice();
  if (device == nullptr || device->nodeKind() != kNodeSerial) return;
  const DryContactRecords typed = Typed();
  const DryContactSubmission s =
      BuildDryContactSubmission(device->idU16(), commType_, outputsShown_, inputsShown_, loaded_, typed);
  if (!s.send) return;
  if (!Send(kLinkCmdDeviceSettings, 1, kPageRequestTimeoutMs, s.block)) {
    ShowMessage("Dialog-TabConfig", "MSG1");
    return;
  }
  submitted_ = Submitted{device->id(), commType_, typed};
  ShowMessage("Dialog-TabConfig", "MSG2");
  EnableControls({1, 2}, false);
}

void DryContactTabPage::Refresh() { RequestReload(); }

void DryContactTabPage::OnReplyCode(std::optional<uint8_t> code) {
  EnableControls({1, 2}, true);
  if (code != 2 * kLinkCmdDeviceSettings - 1 || !submitted_) {
    ShowMessage("Dialog-TabConfig", "MSG1");
    submitted_.reset();
    return;
  }
  ShowMessage("Dialog-TabConfig", "MSG3");
  for (const std::string& text : DryContactLog(submitted_->commType, submitted_->records, outputEvents_, inputEvents_))
    PostLog(1, kDryContactLogCode, text);
  if (submitted_->id == loadedId_) loaded_ = submitted_->records;
  submitted_.reset();
}

QWidget* CreateDryContactTab(ConsoleDialogs& env, QWidget* page) { return new DryContactTabPage(env, page); }

}  // namespace lark
