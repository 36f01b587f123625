#include "console/dialogs/settings/ups_control_dialog.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <algorithm>
#include <cstdio>

#include "console/dialogs/console_dialogs.h"
#include "console/dialogs/dialog_numbers.h"
#include "console/dialogs/dialog_text_table.h"
#include "console/dialogs/settings/protection_switch.h"
#include "console/shell/console_context.h"
#include "console/shell/dialog_texts.h"
#include "core/device_tree.h"
#include "linkserver/link_frame.h"

namespace lark {

namespace {

constexpr uint32_t kCommandTimeoutMs = 5000;
constexpr uint16_t kLogOpened = 34, kLogSelected = 35, kLogLayer = 36, kLogAll = 37;
constexpr int kRestartOutOfRange = 26;  // [MessageBox] M_26
constexpr int kBadMinutes = 71;         // [MessageBox] M_71
constexpr const char* kCaption = "Control";
// The longest time in minutes whose seconds (x 60 + 1) still fit 31 bits.
constexpr uint32_t kMinutesMax = (0x7FFFFFFFu - 1) / 60;
constexpr int kTestMinutes = 1622, kBuzzerSeconds = 1623, kOffMinutes = 1624, kOffRestartMinutes = 1625,
              kRestartMinutes = 1626, kEpoCombo = 1274;
constexpr int kCmdTimedTest = 1613, kCmdBuzzerTest = 1617, kCmdShutdown = 1618, kCmdShutdownRestart = 1619,
              kCmdEmergencyOff = 1621;

std::string Format(const char* fmt, long a) {
  char buf[96];
  std::snprintf(buf, sizeof buf, fmt, a);
  return buf;
}

std::string Format(const char* fmt, long a, long b) {
  char buf[96];
  std::snprintf(buf, sizeof buf, fmt, a, b);
  return buf;
}

// The buzzer's seconds: unreadable is 1, above 99 is 99, as the UPS takes them.
int32_t BuzzerSeconds(const std::string& text) {
  if (auto v = ParseFieldNumber(text, 0xFFFFFFFFu)) return static_cast<int32_t>(std::clamp<uint32_t>(*v, 1, 99));
  const bool digits = !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
  return digits ? 99 : 1;
}

}  // namespace

UpsControlFill FillUpsControl(const UpsControlFields& f, UpsControlRecord& rec) {
  static constexpr const char* kTexts[] = {"10 Seconds Test", "Deep Battery Test", nullptr,
                                           "Cancel Test",     "Buzzer On",         "Buzzer Off",
                                           nullptr,           nullptr,             nullptr,
                                           "Cancel Shutdown", nullptr};
  if (f.command < kUpsCmdFirst || f.command > kUpsCmdLast) return {kBadMinutes, ""};
  rec.command = f.command;
  switch (f.command) {
    case kCmdTimedTest: {
      auto m = ParseFieldNumber(f.testMinutes, kMinutesMax);
      if (!m) return {kBadMinutes, ""};
      rec.testTime = static_cast<int32_t>(*m * 60);
      return {0, Format("Test Battery for %ld minutes", static_cast<long>(*m))};
    }
    case kCmdBuzzerTest:
      rec.buzzerTime = BuzzerSeconds(f.buzzerSeconds);
      return {0, Format("Test UPS buzzer in %ld seconds", static_cast<long>(rec.buzzerTime))};
    case kCmdShutdown: {
      auto m = ParseFieldNumber(f.offMinutes, kMinutesMax);
      if (!m) return {kBadMinutes, ""};
      rec.shutdownDelay = static_cast<int32_t>(*m * 60 + 1);
      return {0, Format("Turn off UPS in %ld minutes", static_cast<long>(rec.shutdownDelay / 60))};
    }
    case kCmdShutdownRestart: {
      auto m = ParseFieldNumber(f.offRestartMinutes, kMinutesMax);
      if (!m) return {kBadMinutes, ""};
      auto restart = ParseFieldNumber(f.restartMinutes, 65535);
      if (!restart || *restart < 1) return {kRestartOutOfRange, ""};
      rec.shutdownDelay = static_cast<int32_t>(*m * 60 + 1);
      rec.restartTime = static_cast<int32_t>(*restart);
      return {0, Format("Turn off UPS in %ld minutes and Restart in %ld minutes",
                        static_cast<long>(rec.shutdownDelay / 60), static_cast<long>(*restart))};
    }
    case kCmdEmergencyOff:
      rec.epoChoice = f.epoChoice == 0 ? 0 : 1;
      return {0, rec.epoChoice == 0 ? "EPO: Enable" : "EPO: Disable"};
    default:
      return {0, kTexts[f.command - kUpsCmdFirst]};
  }
}

UpsControlDialog::UpsControlDialog(ConsoleDialogs& env, QWidget* owner)
    : DialogBase(env, kUpsControlResource, kUpsControlDialogId, owner) {
  auto text = [](int id) { return QString::fromStdString(EnglishText(kUpsControlResource, id)); };
  auto* grid = new QGridLayout(this);
  auto* radios = new QButtonGroup(this);
  auto radio = [&](int id) {
    auto* r = new QRadioButton(text(id), this);
    SetControlId(r, id);
    r->setAccessibleName(text(id).remove('&'));
    radios->addButton(r, id);
    return r;
  };
  // An edit after its radio button, with its unit label as the label of the edit.
  auto edit = [&](int id, int unitId, const char* defaultText, const QString& name) {
    auto* e = new QLineEdit(defaultText, this);
    SetControlId(e, id);
    e->setAccessibleName(name);
    auto* unit = new QLabel(text(unitId), this);
    SetControlId(unit, unitId);
    unit->setBuddy(e);
    edits_[id - kTestMinutes] = e;
    return std::pair{e, unit};
  };
  auto* tests = new QGroupBox(text(1243), this);
  SetControlId(tests, 1243);
  auto* testGrid = new QGridLayout(tests);
  testGrid->addWidget(radio(1611), 0, 0);
  testGrid->addWidget(radio(1612), 1, 0);
  testGrid->addWidget(radio(1613), 2, 0);
  auto [testEdit, testUnit] = edit(kTestMinutes, 1246, "5", "Test Battery for minutes");
  testGrid->addWidget(testEdit, 2, 1);
  testGrid->addWidget(testUnit, 2, 2);
  testGrid->addWidget(radio(1614), 3, 0);

  auto* buzzer = new QGroupBox(text(1244), this);
  SetControlId(buzzer, 1244);
  auto* buzzerGrid = new QGridLayout(buzzer);
  buzzerGrid->addWidget(radio(1615), 0, 0);
  buzzerGrid->addWidget(radio(1616), 1, 0);
  buzzerGrid->addWidget(radio(1617), 2, 0);
  auto [buzzerEdit, buzzerUnit] = edit(kBuzzerSeconds, 1247, "10", "Buzzer Test in seconds");
  buzzerGrid->addWidget(buzzerEdit, 2, 1);
  buzzerGrid->addWidget(buzzerUnit, 2, 2);

  auto* shutdown = new QGroupBox(text(1245), this);
  SetControlId(shutdown, 1245);
  auto* offGrid = new QGridLayout(shutdown);
  offGrid->addWidget(radio(1618), 0, 0);
  auto [offEdit, offUnit] = edit(kOffMinutes, 1248, "5", "Turn Off UPS in minutes");
  offGrid->addWidget(offEdit, 0, 1);
  offGrid->addWidget(offUnit, 0, 2);
  offGrid->addWidget(radio(1619), 1, 0);
  auto [offRestartEdit, offRestartUnit] = edit(kOffRestartMinutes, 1249, "5", "Turn Off UPS and Restart in minutes");
  offGrid->addWidget(offRestartEdit, 1, 1);
  offGrid->addWidget(offRestartUnit, 1, 2);
  auto* restartLabel = new QLabel(text(1601), this);
  SetControlId(restartLabel, 1601);
  auto [restartEdit, restartUnit] = edit(kRestartMinutes, 1251, "60", "And Restart UPS in minutes");
  restartLabel->setBuddy(restartEdit);
  offGrid->addWidget(restartLabel, 2, 0);
  offGrid->addWidget(restartEdit, 2, 1);
  offGrid->addWidget(restartUnit, 2, 2);
  offGrid->addWidget(radio(1620), 3, 0);
  offGrid->addWidget(radio(1621), 4, 0);
  epo_ = new QComboBox(this);
  SetControlId(epo_, kEpoCombo);
  epo_->setAccessibleName("Emergency Power Off");
  epo_->addItems({"Enable", "Disable"});
  offGrid->addWidget(epo_, 4, 1);

  auto* notice = new QLabel(text(1600), this);
  SetControlId(notice, 1600);
  notice->setWordWrap(true);
  protection_ = new ProtectionSwitch(*this);

  grid->addWidget(tests, 0, 0);
  grid->addWidget(buzzer, 1, 0);
  grid->addWidget(shutdown, 0, 1, 2, 1);
  grid->addWidget(notice, 2, 0, 1, 2);
  grid->addWidget(protection_, 3, 0);
  int column = 0;
  for (int id : {kSendSelected, kSendLayer, kSendAll}) {
    auto* b = new QPushButton(text(id), this);
    SetControlId(b, id);
    b->setAccessibleName(text(id).remove('&'));
    b->setDefault(id == kSendSelected);
    connect(b, &QPushButton::clicked, this, [this, id] { SendCommand(id); });
    grid->addWidget(b, 4 + column / 2, column % 2);
    ++column;
  }
  auto* cancel = new QPushButton("Cancel", this);
  SetControlId(cancel, 2);
  cancel->setAccessibleName("Cancel");
  connect(cancel, &QPushButton::clicked, this, [this] { OnCancel(); });
  grid->addWidget(cancel, 5, 1);
}

void UpsControlDialog::Init() {
  record_ = UpsControlRecord{};
  if (auto* first = qobject_cast<QRadioButton*>(Control(kUpsCmdFirst))) first->setChecked(true);
  protection_->Revert();
  PostLog(0, kLogOpened, "");
}

UpsControlFields UpsControlDialog::Fields() const {
  UpsControlFields f;
  for (int id = kUpsCmdFirst; id <= kUpsCmdLast; ++id) {
    auto* r = qobject_cast<QRadioButton*>(Control(id));
    if (r && r->isChecked()) {
      f.command = id;
      break;
    }
  }
  f.testMinutes = edits_[0]->text().toStdString();
  f.buzzerSeconds = edits_[1]->text().toStdString();
  f.offMinutes = edits_[2]->text().toStdString();
  f.offRestartMinutes = edits_[3]->text().toStdString();
  f.restartMinutes = edits_[4]->text().toStdString();
  f.epoChoice = epo_->currentIndex();
  return f;
}

void UpsControlDialog::SendCommand(int button) {
  if (waiting()) return;  // the protection switch's request is out
  // The target is the map's selection now, found again in the tree by its id:
  // the map may have been rebuilt since the dialog opened.
  if (button != kSendAll) {
    DeviceNode* selected = env().ctx.points.mapSelectedNode ? env().ctx.points.mapSelectedNode() : nullptr;
    if (!selected || Tree_FindNodeById(env().ctx.tree, selected->id()) != selected) {
      ShowMessage("MSG1");
      return;
    }
    record_.nodeId = static_cast<uint16_t>(selected->id());
    record_.scope = button == kSendSelected ? 0 : 1;
  } else {
    record_.nodeId = 0;
    record_.scope = 2;
  }
  UpsControlRecord next = record_;
  const UpsControlFill fill = FillUpsControl(Fields(), next);
  if (fill.refusal != 0) {
    env().ctx.ShowLangMessageBox(this, fill.refusal, kCaption, MB_ICONERROR);
    return;
  }
  record_ = next;
  commandText_ = fill.text;
  lastButton_ = button;
  const auto bytes = EncodeUpsControl(record_);
  if (!Send(kLinkCmdControlDevice, 0, kCommandTimeoutMs, bytes)) {
    ShowMessage("MSG1");
    return;
  }
  ShowMessage("MSG2");
  EnableControls({kSendSelected, kSendLayer, kSendAll}, false);
}

void UpsControlDialog::OnReply(const ReplyView& reply) {
  EnableControls({kSendSelected, kSendLayer, kSendAll}, true);
  if (!reply.success) {
    ShowMessage("MSG1");
    return;
  }
  ShowMessage("MSG3");
  // The service answers once it has queued the command, before the device
  // takes it (a refusal reaches the event log), so the box says "sent", in
  // the dialog's own MSG3, rather than the shared "done" of M_53.
  const Profile lang = env().ctx.languageProfile();
  env().ctx.messageBox(this, kCaption, lang.getString("Dialog-Control", "MSG3", "", 1024), MB_OK);
  const uint16_t code = lastButton_ == kSendSelected ? kLogSelected : lastButton_ == kSendLayer ? kLogLayer : kLogAll;
  PostLog(0, code, commandText_);
}

void UpsControlDialog::OnTimedOut() {
  if (request().command == kLinkCmdControlPassword) protection_->Revert();
}

void RegisterUpsControlDialog(ConsoleDialogs& env) {
  env.ctx.dialogs.Register(kUpsControlResource, [&env](QWidget* owner, intptr_t) {
    UpsControlDialog d(env, owner);
    return d.Run();
  });
  env.branches.Register(kLinkCmdControlDevice, kUpsControlDialogId, [](DialogBase& d, const ReplyView& r) {
    if (auto* c = dynamic_cast<UpsControlDialog*>(&d)) c->OnReply(r);
  });
  RegisterProtectionSwitch(env, kUpsControlDialogId);
}

}  // namespace lark
