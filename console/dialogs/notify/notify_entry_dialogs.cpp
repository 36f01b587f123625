#include "console/dialogs/notify/notify_entry_dialogs.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "common/smtp_client.h"
#include "console/dialogs/console_dialogs.h"
#include "console/dialogs/notify/notify_controls.h"
#include "console/dialogs/notify/notify_fields.h"
#include "console/dialogs/notify/notify_request.h"
#include "console/shell/console_context.h"
#include "console/shell/dialog_texts.h"
#include "linkserver/link_frame.h"
#include "linkserver/link_replies.h"

namespace lark {

namespace {

constexpr int kEntryMax = 63;
constexpr int kSmtpWriteSub = 1;

QLineEdit* LabelledEdit(QDialog* d, QGridLayout* grid, int row, int resource, int labelId,
                        int editId, int maxLength) {
  auto* edit = new QLineEdit(d);
  SetControlId(edit, editId);
  edit->setMaxLength(maxLength);
  grid->addWidget(BuddyLabel(d, resource, labelId, edit), row, 0);
  grid->addWidget(edit, row, 1);
  return edit;
}

void AddOkCancel(DialogBase* d, QGridLayout* grid, int row, const std::function<void()>& ok) {
  QPushButton* okButton = TextButton(d, d->resource(), 1);
  okButton->setDefault(true);
  QPushButton* cancel = TextButton(d, d->resource(), 2);
  grid->addWidget(okButton, row, 0);
  grid->addWidget(cancel, row, 1);
  QObject::connect(okButton, &QPushButton::clicked, d, ok);
  QObject::connect(cancel, &QPushButton::clicked, d, &QDialog::reject);
}

// A password keeps its blanks; control characters would break its line.
std::string PasswordFromTyped(const std::string& typed) {
  std::string s = typed;
  for (char& c : s)
    if (static_cast<unsigned char>(c) < ' ' || c == 0x7f) c = ' ';
  return std::string(CutUtf8(s, kSmtpPasswordMax));
}

}  // namespace

ListEntryDialog::ListEntryDialog(ConsoleDialogs& env, int resource, const std::string& text,
                                 Refusal refusal, std::string caption, QWidget* owner)
    : DialogBase(env, resource, std::nullopt, owner),
      refusal_(std::move(refusal)),
      caption_(std::move(caption)) {
  auto* grid = new QGridLayout(this);
  edit_ = LabelledEdit(this, grid, 0, resource, 1600, 15, kEntryMax);
  edit_->setText(QString::fromStdString(text));
  AddOkCancel(this, grid, 1, [this] { Accept(); });
}

void ListEntryDialog::Accept() {
  const std::string typed = FieldFromTyped(edit_->text().toStdString(), kEntryMax);
  if (const int n = refusal_ ? refusal_(typed) : 0) {
    env().ctx.ShowLangMessageBox(this, n, caption_, MB_ICONEXCLAMATION);
    return;
  }
  text_ = typed;
  done(1);
}

SmtpDialog::SmtpDialog(ConsoleDialogs& env, ServiceSettings& working, std::function<void()> saved,
                       QWidget* owner)
    : DialogBase(env, kSmtpResource, std::nullopt, owner),
      working_(working),
      saved_(std::move(saved)) {
  auto* grid = new QGridLayout(this);
  server_ =
      LabelledEdit(this, grid, 0, kSmtpResource, 1600, 1025, static_cast<int>(kSmtpServerMax));
  sender_ =
      LabelledEdit(this, grid, 1, kSmtpResource, 1243, 1026, static_cast<int>(kSmtpSenderMax));
  password_ =
      LabelledEdit(this, grid, 2, kSmtpResource, 1244, 1174, static_cast<int>(kSmtpPasswordMax));
  password_->setEchoMode(QLineEdit::Password);
  AddOkCancel(this, grid, 3, [this] { Accept(); });
}

void SmtpDialog::Init() {
  server_->setText(QString::fromStdString(working_.smtpServer));
  sender_->setText(QString::fromStdString(working_.smtpSender));
  password_->setText(QString::fromStdString(working_.smtpPassword));
}

void SmtpDialog::Accept() {
  const std::string server = FieldFromTyped(server_->text().toStdString(), kSmtpServerMax);
  const std::string sender = FieldFromTyped(sender_->text().toStdString(), kSmtpSenderMax);
  // An empty account switches the mail off; a filled one must be usable.
  if (!server.empty() && !IsSafeHostName(server)) {
    env().ctx.ShowLangMessageBox(this, kBadHostName, "SMTP", MB_ICONEXCLAMATION);
    return;
  }
  if (!sender.empty() && !IsSafeMailAddress(sender)) {
    env().ctx.ShowLangMessageBox(this, kBadMailAddress, "SMTP", MB_ICONEXCLAMATION);
    return;
  }
  ServiceSettings account = working_;
  account.smtpServer = server;
  account.smtpSender = sender;
  account.smtpPassword = PasswordFromTyped(password_->text().toStdString());
  std::vector<uint8_t> block(kNotificationBlockSize, 0);
  WriteNotificationGroup(account, kSmtpWriteSub, block);
  if (!Send(kLinkCmdNotifySettings, kSmtpWriteSub, kNotifyTimeoutMs, block)) {
    ShowMessage("MSG2");
    return;
  }
  sentServer_ = account.smtpServer;
  sentSender_ = account.smtpSender;
  sentPassword_ = account.smtpPassword;
  ShowMessage("MSG3");
  EnableControls({1, 2}, false);
}

void SmtpDialog::OnOwnTimer() {
  const std::optional<NotifyOutcome> out = PollNotifyRequest(*this);
  if (!out) return;
  if (out->kind != NotifyOutcome::kDone) {
    ShowMessage("MSG2");
    EnableControls({1, 2}, true);
    return;
  }
  working_.smtpServer = sentServer_;
  working_.smtpSender = sentSender_;
  working_.smtpPassword = sentPassword_;
  if (saved_) saved_();
  ShowMessage("MSG1");
  CloseAfter(kFailurePauseMs, 1);
}

}  // namespace lark
