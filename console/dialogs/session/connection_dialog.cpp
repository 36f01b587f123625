#include "console/dialogs/session/connection_dialog.h"

#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <algorithm>
#include <cstdio>

#include "console/dialogs/console_dialogs.h"
#include "console/dialogs/dialog_numbers.h"
#include "console/dialogs/dialog_text_table.h"
#include "console/shell/console_context.h"
#include "console/shell/dialog_texts.h"
#include "linkserver/link_frame.h"

namespace lark {

namespace {

constexpr uint32_t kRequestTimeoutMs = 5000;
constexpr uint16_t kLogOpened = 16, kLogChanged = 17, kLogCancelled = 18;
constexpr int kIntervalTooShort = 21, kTimeoutTooShort = 22;  // [MessageBox]
constexpr int kDigits = 4;
constexpr uint32_t kFieldMax = 9999;
constexpr int kDonePauseMs = 1000;

// Per value in image order: edit, label, unit label, least value, refusal.
struct PollingField {
  int edit;
  int label;
  int unit;
  uint32_t least;
  int refusal;
};
constexpr PollingField kFields[6] = {
    {1010, 1600, 1246, 200, kIntervalTooShort}, {1012, 1244, 1248, 1, kTimeoutTooShort},
    {1011, 1243, 1247, 200, kIntervalTooShort}, {1013, 1245, 1249, 1, kTimeoutTooShort},
    {1358, 1251, 1601, 5, kIntervalTooShort},   {1359, 1602, 1603, 1, kTimeoutTooShort},
};
// The order the checks run in: the three intervals, then the three time-outs.
constexpr size_t kCheckOrder[6] = {0, 2, 4, 1, 3, 5};

}  // namespace

std::optional<PollingRefusal> CheckPolling(const std::array<std::string, 6>& texts, size_t networkDevices,
                                           PollingImage& out) {
  std::array<int32_t, 6> v{};
  for (size_t i : kCheckOrder) {
    const auto n = ParseFieldNumber(texts[i], kFieldMax);
    if (!n || *n < kFields[i].least) return PollingRefusal{kFields[i].refusal, 0};
    v[i] = static_cast<int32_t>(*n);
    // Many network devices need a longer round: above 2000 ms, 50 ms each.
    const int32_t limit = std::max<int32_t>(2000, static_cast<int32_t>(std::min<size_t>(networkDevices, 1000) * 100 / 2));
    if (i == 0 && v[0] > 2000 && v[0] > limit) return PollingRefusal{0, limit};
  }
  out = PollingImage{v[0], v[1], v[2], v[3], v[4], v[5]};
  return std::nullopt;
}

ConnectionDialog::ConnectionDialog(ConsoleDialogs& env, QWidget* owner)
    : DialogBase(env, kConnectionResource, kConnectionDialogId, owner) {
  auto text = [](int id) { return QString::fromStdString(EnglishText(kConnectionResource, id)); };
  auto* grid = new QGridLayout(this);
  for (size_t i = 0; i < 6; ++i) {
    const PollingField& f = kFields[i];
    auto* label = new QLabel(text(f.label), this);
    SetControlId(label, f.label);
    auto* edit = new QLineEdit(this);
    SetControlId(edit, f.edit);
    edit->setMaxLength(kDigits);
    edit->setAccessibleName(text(f.label).remove(':'));
    label->setBuddy(edit);
    auto* unit = new QLabel(text(f.unit), this);
    SetControlId(unit, f.unit);
    edits_[i] = edit;
    const int row = static_cast<int>(i);
    grid->addWidget(label, row, 0);
    grid->addWidget(edit, row, 1);
    grid->addWidget(unit, row, 2);
  }
  for (int id : {1, 2}) {
    auto* b = new QPushButton(text(id), this);
    SetControlId(b, id);
    b->setAccessibleName(id == 1 ? "OK" : "Cancel");
    b->setDefault(id == 1);
    connect(b, &QPushButton::clicked, this, [this, id] { id == 1 ? Ok() : OnCancel(); });
    grid->addWidget(b, 6, id);
  }
}

void ConnectionDialog::Init() {
  const ServiceSettings& s = env().ctx.settings.service;
  const int32_t values[6] = {s.snmpPolling, s.snmpTimeout, s.serialPolling, s.serialTimeout, s.gprsPolling, s.gprsTimeout};
  for (size_t i = 0; i < 6; ++i) edits_[i]->setText(QString::number(values[i]));
  PostLog(0, kLogOpened, "");
}

void ConnectionDialog::Ok() {
  std::array<std::string, 6> texts;
  for (size_t i = 0; i < 6; ++i) texts[i] = edits_[i]->text().toStdString();
  const size_t devices = env().networkDevices ? env().networkDevices() : 0;
  PollingImage values;
  if (auto refusal = CheckPolling(texts, devices, values)) {
    if (refusal->messageBox != 0) {
      env().ctx.ShowLangMessageBox(this, refusal->messageBox, "", MB_ICONERROR);
    } else {
      char msg[96];
      std::snprintf(msg, sizeof msg, "Please reduce the polling interval in 200ms and %dms", refusal->snmpLimit);
      if (env().ctx.messageBox) env().ctx.messageBox(this, "", msg, MB_ICONERROR);
    }
    return;
  }
  std::vector<uint8_t> image(kSettingsImageSize, 0);
  PutPollingImage(image, values);
  if (!Send(kLinkCmdSetPolling, 1, kRequestTimeoutMs, image)) {
    ShowMessage("MSG1");
    return;
  }
  sent_ = values;
  ShowMessage("MSG2");
  EnableControls({1, 2}, false);
}

void ConnectionDialog::OnReply(const ReplyView& reply) {
  if (!reply.success) {
    ShowMessage("MSG1");
    EnableControls({1, 2}, true);
    return;
  }
  // The console's copy takes the values that went out with the request.
  ServiceSettings& s = env().ctx.settings.service;
  s.snmpPolling = sent_.snmpPolling;
  s.snmpTimeout = sent_.snmpTimeout;
  s.serialPolling = sent_.serialPolling;
  s.serialTimeout = sent_.serialTimeout;
  s.gprsPolling = sent_.gprsPolling;
  s.gprsTimeout = sent_.gprsTimeout;
  ShowMessage("MSG3");
  char text[128];
  std::snprintf(text, sizeof text, "(SNMP Polling:%d, Timeout:%d: Serial Polling:%d, Timeout:%d)", sent_.snmpPolling,
                sent_.snmpTimeout, sent_.serialPolling, sent_.serialTimeout);
  PostLog(1, kLogChanged, text);
  CloseAfter(kDonePauseMs, 1);
}

void ConnectionDialog::OnCancel() {
  PostLog(0, kLogCancelled, "");
  done(0);
}

void RegisterConnectionDialog(ConsoleDialogs& env) {
  env.ctx.dialogs.Register(kConnectionResource, [&env](QWidget* owner, intptr_t) {
    ConnectionDialog d(env, owner);
    return d.Run();
  });
  env.branches.Register(kLinkCmdSetPolling, kConnectionDialogId, [](DialogBase& d, const ReplyView& r) {
    if (auto* c = dynamic_cast<ConnectionDialog*>(&d)) c->OnReply(r);
  });
}

}  // namespace lark
