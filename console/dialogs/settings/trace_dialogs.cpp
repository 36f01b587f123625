#include "console/dialogs/settings/trace_dialogs.h"

#include <QGridLayout>
#include <QLabel>
#include <QPushButton>

#include "console/dialogs/console_dialogs.h"
#include "console/dialogs/dialog_numbers.h"
#include "console/dialogs/dialog_text_table.h"
#include "console/dialogs/settings/stop_all_dialog.h"
#include "console/shell/console_context.h"
#include "console/shell/dialog_texts.h"
#include "linkserver/link_frame.h"

namespace lark {

namespace {
constexpr uint32_t kSerialTimeoutMs = 10000, kNetworkTimeoutMs = 5000;
constexpr uint8_t kSerialRequest = 4, kNetworkStart = 2, kNetworkStop = 3;
constexpr int kBadPeriod = 76;  // [MessageBox]
constexpr int kPortCombo = 10, kPeriodEdit = 1196, kStopCheck = 1205;
constexpr int kPorts = 255;

// Reply 25: byte 6 the sub-command answered, byte 7 the trace's state.
void OnTraceReply(DialogBase& d, const ReplyView& reply) {
  if (reply.success && reply.frame.size() >= 8) {
    const uint8_t sub = reply.frame[6];
    const bool on = reply.frame[7] == 1;
    ConsoleCommandState& c = d.env().ctx.commands;
    if (sub <= 1) c.serialSaving = on;
    if (sub == kNetworkStart || sub == kNetworkStop) c.networkSaving = on;
  }
  EndWaitDialog(d, reply.success);
}
}  // namespace

std::optional<TraceRequest> SerialTraceRequest(int portIndex, const std::string& period, bool stop) {
  TraceRequest t;
  t.port = portIndex < 0 ? 0 : static_cast<uint32_t>(portIndex);
  t.start = stop ? 0 : 1;
  if (!stop && period.find_first_not_of(" \t") != std::string::npos) {
    const auto minutes = ParseFieldNumber(period, 0x7FFFFFFF);
    if (!minutes) return std::nullopt;
    t.periodMinutes = static_cast<int32_t>(*minutes);
  }
  return t;
}

SaveSerialDialog::SaveSerialDialog(ConsoleDialogs& env, QWidget* owner)
    : DialogBase(env, kSaveSerialResource, kSaveSerialDialogId, owner) {
  auto text = [](int id) { return QString::fromStdString(EnglishText(kSaveSerialResource, id)); };
  auto* grid = new QGridLayout(this);
  auto* portLabel = new QLabel(text(1600), this);
  SetControlId(portLabel, 1600);
  port_ = new QComboBox(this);
  SetControlId(port_, kPortCombo);
  port_->setAccessibleName("COM Port");
  portLabel->setBuddy(port_);
  auto* periodLabel = new QLabel(text(1243), this);
  SetControlId(periodLabel, 1243);
  period_ = new QLineEdit(this);
  SetControlId(period_, kPeriodEdit);
  period_->setAccessibleName("Period");
  periodLabel->setBuddy(period_);
  auto* unit = new QLabel(text(1244), this);
  SetControlId(unit, 1244);
  stop_ = new QCheckBox(this);
  SetControlId(stop_, kStopCheck);
  stop_->setAccessibleName(text(1245));
  auto* stopLabel = new QLabel(text(1245), this);
  SetControlId(stopLabel, 1245);
  stopLabel->setBuddy(stop_);
  grid->addWidget(portLabel, 0, 0);
  grid->addWidget(port_, 0, 1);
  grid->addWidget(periodLabel, 1, 0);
  grid->addWidget(period_, 1, 1);
  grid->addWidget(unit, 1, 2);
  grid->addWidget(stop_, 2, 0);
  grid->addWidget(stopLabel, 2, 1);
  for (int id : {1, 2}) {
    auto* b = new QPushButton(text(id), this);
    SetControlId(b, id);
    b->setAccessibleName(id == 1 ? "OK" : "Cancel");
    b->setDefault(id == 1);
    connect(b, &QPushButton::clicked, this, [this, id] { id == 1 ? Ok() : OnCancel(); });
    grid->addWidget(b, 3, id);
  }
}

void SaveSerialDialog::Init() {
  port_->clear();
  port_->addItem("All");
  for (int n = 1; n <= kPorts; ++n) port_->addItem(QString("COM%1").arg(n));
  period_->setText("5");
  env().ctx.openDialog.progress = 0;
}

void SaveSerialDialog::Ok() {
  const auto request = SerialTraceRequest(port_->currentIndex(), period_->text().toStdString(), stop_->isChecked());
  if (!request) {
    env().ctx.ShowLangMessageBox(this, kBadPeriod, "", MB_ICONERROR);
    return;
  }
  if (!Send(kLinkCmdTrafficMonitor, kSerialRequest, kSerialTimeoutMs, EncodeTraceRequest(*request))) {
    ShowMessage("MSG1");
    return;
  }
  ShowMessage("MSG2");
  EnableControls({1, 2}, false);
}

SaveNetworkDialog::SaveNetworkDialog(ConsoleDialogs& env, QWidget* owner)
    : DialogBase(env, kSaveNetworkResource, kSaveNetworkDialogId, owner) {
  AddWaitBar(*this);
}

void SaveNetworkDialog::Init() {
  env().ctx.openDialog.progress = 0;
  const uint8_t sub = env().ctx.commands.networkSaving ? kNetworkStop : kNetworkStart;
  if (!Send(kLinkCmdTrafficMonitor, sub, kNetworkTimeoutMs, {})) EndNow(0);
}

void RegisterTraceDialogs(ConsoleDialogs& env) {
  env.ctx.dialogs.Register(kSaveSerialResource, [&env](QWidget* owner, intptr_t) {
    SaveSerialDialog d(env, owner);
    return d.Run();
  });
  env.ctx.dialogs.Register(kSaveNetworkResource, [&env](QWidget* owner, intptr_t) {
    SaveNetworkDialog d(env, owner);
    return d.Run();
  });
  for (uint32_t id : {kSaveSerialDialogId, kSaveNetworkDialogId}) env.branches.Register(kLinkCmdTrafficMonitor, id, OnTraceReply);
}

}  // namespace lark
