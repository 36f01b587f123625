#include "console/dialogs/settings/history_dialog.h"

#include <QGridLayout>
#include <QLabel>
#include <QPushButton>

#include "console/dialogs/console_dialogs.h"
#include "console/dialogs/dialog_numbers.h"
#include "console/dialogs/dialog_text_table.h"
#include "console/shell/console_context.h"
#include "console/shell/dialog_texts.h"
#include "linkserver/link_frame.h"

namespace lark {

namespace {
constexpr uint32_t kRequestTimeoutMs = 5000;
constexpr uint16_t kLogOpened = 27, kLogChanged = 28, kLogCancelled = 29;
constexpr int kBadPeriod = 72, kBadStorage = 73;  // [MessageBox]
constexpr int kPeriodEdit = 1196, kStorageEdit = 15, kDirectoryEdit = 1498, kDirectoryLabel = 1246;
constexpr uint32_t kLargest = 0x7FFFFFFF;
}  // namespace

HistoryFields CheckHistory(const std::string& period, const std::string& storage, const std::string& directory) {
  HistoryFields f;
  const auto p = ParseFieldNumber(period, kLargest);
  if (!p || *p < 1) return {kBadPeriod, {}};
  const auto s = ParseFieldNumber(storage, kLargest);  // 0: no recording
  if (!s) return {kBadStorage, {}};
  f.image = HistoryImage{static_cast<int32_t>(*p), static_cast<int32_t>(*s),
                         std::string(CutUtf8(directory, kImgHistoryDirSize - 1))};
  return f;
}

HistoryDialog::HistoryDialog(ConsoleDialogs& env, QWidget* owner)
    : DialogBase(env, kHistoryResource, kHistoryDialogId, owner) {
  auto text = [](int id) { return QString::fromStdString(EnglishText(kHistoryResource, id)); };
  auto* grid = new QGridLayout(this);
  auto row = [&](int r, int labelId, const QString& labelText, int editId, int unitId) {
    auto* label = new QLabel(labelText, this);
    SetControlId(label, labelId);
    auto* edit = new QLineEdit(this);
    SetControlId(edit, editId);
    edit->setAccessibleName(QString(labelText).remove(':'));
    label->setBuddy(edit);
    grid->addWidget(label, r, 0);
    grid->addWidget(edit, r, 1);
    if (unitId != 0) {
      auto* unit = new QLabel(text(unitId), this);
      SetControlId(unit, unitId);
      grid->addWidget(unit, r, 2);
    }
    return edit;
  };
  period_ = row(0, 1600, text(1600), kPeriodEdit, 1243);
  storage_ = row(1, 1244, text(1244), kStorageEdit, 1245);
  directory_ = row(2, kDirectoryLabel, "Directory of Historical Data:", kDirectoryEdit, 0);
  directory_->setMaxLength(static_cast<int>(kImgHistoryDirSize - 1));
  for (int id : {1, 2}) {
    auto* b = new QPushButton(text(id), this);
    SetControlId(b, id);
    b->setAccessibleName(id == 1 ? "OK" : "Cancel");
    b->setDefault(id == 1);
    connect(b, &QPushButton::clicked, this, [this, id] { id == 1 ? Ok() : OnCancel(); });
    grid->addWidget(b, 3, id);
  }
}

void HistoryDialog::Init() {
  const ServiceSettings& s = env().ctx.settings.service;
  period_->setText(QString::number(static_cast<uint32_t>(s.historyPeriod)));
  storage_->setText(QString::number(static_cast<uint32_t>(s.historyStorage)));
  directory_->setText(QString::fromStdString(s.historyDirectory));
  PostLog(0, kLogOpened, "");
}

void HistoryDialog::Ok() {
  const HistoryFields f = CheckHistory(period_->text().toStdString(), storage_->text().toStdString(),
                                       directory_->text().toStdString());
  if (f.refusal != 0) {
    env().ctx.ShowLangMessageBox(this, f.refusal, "", MB_ICONERROR);
    return;
  }
  std::vector<uint8_t> image(kSettingsImageSize, 0);
  PutHistoryImage(image, f.image);
  if (!Send(kLinkCmdHistoryReport, 1, kRequestTimeoutMs, image)) {
    ShowMessage("MSG1");
    return;
  }
  sent_ = f.image;
  ShowMessage("MSG2");
  EnableControls({1, 2}, false);
}

void HistoryDialog::OnReply(const ReplyView& reply) {
  if (!reply.success) {
    ShowMessage("MSG1");
    EnableControls({1, 2}, true);
    return;
  }
  PostLog(0, kLogChanged, "");
  ShowMessage("MSG3");
  ServiceSettings& s = env().ctx.settings.service;
  s.historyPeriod = sent_.period;
  s.historyStorage = sent_.storage;
  s.historyDirectory = sent_.directory;
  done(1);
}

void HistoryDialog::OnCancel() {
  PostLog(0, kLogCancelled, "");
  done(0);
}

void RegisterHistoryDialog(ConsoleDialogs& env) {
  env.ctx.dialogs.Register(kHistoryResource, [&env](QWidget* owner, intptr_t) {
    HistoryDialog d(env, owner);
    return d.Run();
  });
  env.branches.Register(kLinkCmdHistoryReport, kHistoryDialogId, [](DialogBase& d, const ReplyView& r) {
    if (auto* h = dynamic_cast<HistoryDialog*>(&d)) h->OnReply(r);
  });
}

}  // namespace lark
