#include "console/dialogs/notify/notification_sheet.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include "common/sms_pdu.h"
#include "common/smtp_client.h"
#include "console/dialogs/console_dialogs.h"
#include "console/dialogs/dialog_text_table.h"
#include "console/dialogs/notify/notify_controls.h"
#include "console/dialogs/notify/notify_entry_dialogs.h"
#include "console/dialogs/notify/notify_fields.h"
#include "console/dialogs/notify/notify_request.h"
#include "console/link/service_link.h"
#include "console/shell/console_context.h"
#include "console/shell/dialog_texts.h"
#include "linkserver/link_frame.h"
#include "linkserver/link_replies.h"

namespace lark {

namespace {

constexpr const char* kSection = "Dialog-Notification";
constexpr uint8_t kWriteAllSub = 7;
constexpr uint16_t kLogQueued = 22, kLogNotSaved = 23;
// Rates 0-4 are 1200 x 2^index; the last entry is 115200.
constexpr int kBaudRates[] = {1200, 2400, 4800, 9600, 19200, 115200};

struct PageRule {
  int resource;     // the page's template
  const char* tab;  // the tab's text and the caption of its message boxes
  int limit;        // rows Add accepts
  int fullText;     // [MessageBox] when the list is full
  unsigned fullIcon;
  int editResource;  // the row's edit dialog
  int badText;       // [MessageBox] of a refused row
};
constexpr PageRule kRules[3] = {
    {178, "e-mail", 10, 23, MB_ICONINFORMATION, kEditEmailResource, kBadMailAddress},
    {230, "Broadcast", 20, 24, MB_ICONINFORMATION, kEditHostResource, kBadHostName},
    {114, "SMS", 10, 27, MB_ICONEXCLAMATION, kEditPhoneResource, kBadPhoneNumber},
};

std::array<std::string, kListRows>& Rows(ServiceSettings& s, int p) {
  if (p == kEmailPage) return s.emailList.addresses;
  if (p == kBroadcastPage) return s.broadcastList.hosts;
  return s.smsList.phones;
}
int32_t& Count(ServiceSettings& s, int p) {
  if (p == kEmailPage) return s.emailList.count;
  if (p == kBroadcastPage) return s.broadcastList.count;
  return s.smsList.count;
}

bool RowAccepted(int p, const std::string& text) {
  if (p == kEmailPage) return IsSafeMailAddress(text);
  if (p == kBroadcastPage) return IsSafeHostName(text);
  return IsValidSmsNumber(text);
}

}  // namespace

NotificationSheet::NotificationSheet(ConsoleDialogs& env, int startPage, QWidget* owner)
    : DialogBase(env, 0, std::nullopt, owner), startPage_(startPage) {
  setWindowTitle("Notification");
  setAccessibleName("Notification");
  SetPrefix("Notification");
  auto* outer = new QVBoxLayout(this);
  tabs_ = new QTabWidget(this);
  SetControlId(tabs_, kSheetTabsControl);
  tabs_->setAccessibleName("Notification pages");
  outer->addWidget(tabs_);

  BuildListPage(kEmailPage, 178, 1600);
  auto* smtp = TextButton(page(kEmailPage), 178, 1104);
  page(kEmailPage)->layout()->addWidget(smtp);
  connect(smtp, &QPushButton::clicked, this, [this] { OpenSmtp(); });

  domain_ = new QCheckBox(QString::fromStdString(EnglishText(230, 1174)), nullptr);
  SetControlId(domain_, 1174);
  domain_->setAccessibleName(domain_->text());
  BuildListPage(kBroadcastPage, 230, 1600);
  static_cast<QVBoxLayout*>(page(kBroadcastPage)->layout())->insertWidget(0, domain_);

  BuildListPage(kSmsPage, 114, 1245);
  modem_ = MakeModemControls(page(kSmsPage), 114, 1600, 1243, 1244, kBaudRates);
  static_cast<QVBoxLayout*>(page(kSmsPage)->layout())->insertWidget(0, modem_.box);

  auto* buttons = new QHBoxLayout();
  auto* ok = new QPushButton("OK", this);
  SetControlId(ok, 1);
  ok->setAccessibleName("OK");
  ok->setDefault(true);
  auto* cancel = new QPushButton("Cancel", this);
  SetControlId(cancel, 2);
  cancel->setAccessibleName("Cancel");
  buttons->addStretch();
  buttons->addWidget(ok);
  buttons->addWidget(cancel);
  outer->addLayout(buttons);
  connect(ok, &QPushButton::clicked, this, [this] { Accept(); });
  connect(cancel, &QPushButton::clicked, this, [this] { reject(); });
}

void NotificationSheet::BuildListPage(int p, int resource, int listLabel) {
  Page& pg = pages_[static_cast<size_t>(p)];
  pg.widget = new QWidget();
  SetControlId(pg.widget, resource);
  pg.widget->setAccessibleName(kRules[p].tab);
  auto* v = new QVBoxLayout(pg.widget);
  pg.list = new QListWidget(pg.widget);
  SetControlId(pg.list, 13);
  v->addWidget(BuddyLabel(pg.widget, resource, listLabel, pg.list));
  v->addWidget(pg.list);
  auto* row = new QHBoxLayout();
  QPushButton* add = TextButton(pg.widget, resource, 102);
  QPushButton* edit = TextButton(pg.widget, resource, 103);
  QPushButton* del = TextButton(pg.widget, resource, 104);
  row->addWidget(add);
  row->addWidget(edit);
  row->addWidget(del);
  v->addLayout(row);
  connect(add, &QPushButton::clicked, this, [this, p] { Add(p); });
  connect(edit, &QPushButton::clicked, this, [this, p] { Edit(p); });
  connect(del, &QPushButton::clicked, this, [this, p] { Delete(p); });
  tabs_->addTab(pg.widget, kRules[p].tab);
}

void NotificationSheet::Init() {
  for (int p = 0; p < 3; ++p)
    Localise(page(p), kRules[p].resource, env().ctx.languageProfile(), env().ctx.texts.language);
  edit_ = env().ctx.settings.service;
  Show();
  tabs_->setCurrentIndex(startPage_ >= 0 && startPage_ < 3 ? startPage_ : 0);
}

void NotificationSheet::Show() {
  // The service counts every non-empty row wherever it lies: pack them.
  for (int p = 0; p < 3; ++p) {
    QListWidget* l = list(p);
    l->clear();
    for (const std::string& row : Rows(edit_, p))
      if (!row.empty()) l->addItem(QString::fromStdString(row));
    if (l->count() > 0) l->setCurrentRow(0);
  }
  domain_->setChecked(edit_.broadcastList.wholeDomain == 1);
  ShowModem(modem_, edit_.gsmPort, edit_.gsmBaud, kBaudRates);
}

std::string NotificationSheet::RowText(int p, int row) const {
  return list(p)->item(row)->text().toStdString();
}

void NotificationSheet::Add(int p) {
  const PageRule& rule = kRules[p];
  QListWidget* l = list(p);
  if (l->count() >= rule.limit) {
    env().ctx.ShowLangMessageBox(this, rule.fullText, rule.tab, rule.fullIcon);
    return;
  }
  const int sel = l->currentRow();
  ListEntryDialog d(
      env(), rule.editResource, sel >= 0 ? RowText(p, sel) : "",
      [p, &rule](const std::string& t) { return RowAccepted(p, t) ? 0 : rule.badText; }, rule.tab,
      this);
  if (d.Run() != 1) return;
  l->addItem(QString::fromStdString(d.text()));
  l->setCurrentRow(l->count() - 1);
}

void NotificationSheet::Edit(int p) {
  const PageRule& rule = kRules[p];
  QListWidget* l = list(p);
  const int sel = l->currentRow();
  if (sel < 0 || sel >= l->count()) return;  // nothing chosen: nothing to edit
  ListEntryDialog d(
      env(), rule.editResource, RowText(p, sel),
      [p, &rule](const std::string& t) { return RowAccepted(p, t) ? 0 : rule.badText; }, rule.tab,
      this);
  if (d.Run() != 1) return;
  l->item(sel)->setText(QString::fromStdString(d.text()));
}

void NotificationSheet::Delete(int p) {
  QListWidget* l = list(p);
  const int sel = l->currentRow();
  if (sel < 0 || sel >= l->count()) return;  // a second Delete finds no row
  delete l->takeItem(sel);
  l->setCurrentRow(-1);
}

void NotificationSheet::OpenSmtp() {
  SmtpDialog d(
      env(), env().ctx.settings.service,
      [this] {
        const ServiceSettings& w = env().ctx.settings.service;
        edit_.smtpServer = w.smtpServer;
        edit_.smtpSender = w.smtpSender;
        edit_.smtpPassword = w.smtpPassword;
      },
      this);
  d.Run();
}

std::optional<ServiceSettings> NotificationSheet::Gather() {
  ServiceSettings s = edit_;
  for (int p = 0; p < 3; ++p) {
    std::array<std::string, kListRows>& rows = Rows(s, p);
    rows.fill("");
    const int n = std::min(list(p)->count(), kListRows);
    for (int r = 0; r < n; ++r) rows[static_cast<size_t>(r)] = RowText(p, r);
    Count(s, p) = n;
  }
  s.broadcastList.wholeDomain = domain_->isChecked() ? 1 : 0;
  const std::optional<std::string> port = ChosenPort(*this, modem_, "SMS");
  if (!port) {
    tabs_->setCurrentIndex(kSmsPage);  // the page the refusal speaks of
    return std::nullopt;
  }
  s.gsmPort = *port;
  s.gsmBaud = ChosenBaud(modem_, s.gsmBaud, kBaudRates);
  return s;
}

void NotificationSheet::Accept() {
  const std::optional<ServiceSettings> s = Gather();
  if (!s) return;
  sent_.assign(kNotificationBlockSize, 0);
  WriteNotificationGroup(*s, kWriteAllSub, sent_);
  if (!Send(kLinkCmdNotifySettings, kWriteAllSub, kNotifyTimeoutMs, sent_)) {
    PostLog(0, kLogNotSaved, "");
    ShowMessage(kSection, "MSG2");
    return;
  }
  PostLog(1, kLogQueued, "");
  ShowMessage(kSection, "MSG3");
  EnableControls({1, 2}, false);
}

void NotificationSheet::OnOwnTimer() {
  const std::optional<NotifyOutcome> out = PollNotifyRequest(*this);
  if (!out) return;
  if (out->kind != NotifyOutcome::kDone) {
    ShowMessage(kSection, "MSG2");
    EnableControls({1, 2}, true);
    return;
  }
  ReadNotificationGroup(env().ctx.settings.service, kWriteAllSub, sent_);
  ShowMessage(kSection, "MSG1");
  CloseAfter(kFailurePauseMs, 1);
}

void NotificationSheet::OnCancel() {
  PostLog(0, kLogNotSaved, "");
  done(0);
}

int OpenNotificationSheet(ConsoleDialogs& env, QWidget* owner, int page) {
  NotificationSheet sheet(env, page, owner);
  return sheet.Run();
}

}  // namespace lark
