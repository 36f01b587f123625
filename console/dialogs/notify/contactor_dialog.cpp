#include "console/dialogs/notify/contactor_dialog.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

#include "common/sms_pdu.h"
#include "common/smtp_client.h"
#include "console/dialogs/console_dialogs.h"
#include "console/dialogs/dialog_text_table.h"
#include "console/dialogs/notify/notify_controls.h"
#include "console/dialogs/notify/notify_fields.h"
#include "console/dialogs/notify/notify_request.h"
#include "console/lists/report_list.h"
#include "console/shell/console_context.h"
#include "console/shell/dialog_texts.h"
#include "linkserver/link_frame.h"
#include "linkserver/link_replies.h"

namespace lark {

namespace {

constexpr uint8_t kReadSub = 8, kWriteSub = 9;
constexpr uint16_t kLogAdd = 102, kLogDelete = 103, kLogModify = 104, kLogSave = 105,
                   kLogClose = 106;
constexpr size_t kNameMax = 32, kMailMax = 64, kPhoneMax = 32, kRemarkMax = 64;
constexpr const char* kColumns[6] = {"Name",     "e-mail-1", "Phone-1",
                                     "e-mail-2", "Phone-2",  "Remark"};
constexpr int kWidths[6] = {90, 100, 100, 100, 100, 200};
constexpr const char* kCaption = "Contactor";

// The record's fields in column order.
std::array<const std::string*, 6> Cells(const ContactorRecord& c) {
  return {&c.name, &c.email1, &c.phone1, &c.email2, &c.phone2, &c.remark};
}

std::string RowText(const ContactorRecord& c) {
  std::string s;
  for (const std::string* f : Cells(c)) {
    if (f != &c.name) s += '\t';
    s += *f;
  }
  return s;
}

QLineEdit* Edit(QWidget* parent, int id, size_t max, const char* accessible) {
  auto* e = new QLineEdit(parent);
  SetControlId(e, id);
  e->setMaxLength(static_cast<int>(max));
  e->setAccessibleName(accessible);
  return e;
}

}  // namespace

ContactorDialog::ContactorDialog(ConsoleDialogs& env, QWidget* owner)
    : DialogBase(env, kContactorResource, std::nullopt, owner) {
  auto* grid = new QGridLayout(this);
  list_ = new ReportListView(this);
  SetControlId(list_, 1303);
  list_->setAccessibleName("Contacts");
  for (int c = 0; c < 6; ++c) {
    list_->listModel()->insertColumn(c, kColumns[c]);
    list_->setColumnWidth(c, kWidths[c]);
  }
  grid->addWidget(list_, 0, 0, 1, 4);

  auto* info = new QGroupBox(QString::fromStdString(EnglishText(kContactorResource, 1600)), this);
  SetControlId(info, 1600);
  auto* g = new QGridLayout(info);
  name_ = Edit(info, 1049, kNameMax, "Name:");
  email1_ = Edit(info, 1304, kMailMax, "e-mail");
  email2_ = Edit(info, 1306, kMailMax, "e-mail-2");
  phone1_ = Edit(info, 1305, kPhoneMax, "Mobile Phone:");
  phone2_ = Edit(info, 1307, kPhoneMax, "Phone-2");
  remark_ = new QPlainTextEdit(info);
  SetControlId(remark_, 1050);
  remark_->setAccessibleName("Remark:");
  g->addWidget(BuddyLabel(info, kContactorResource, 1243, name_), 0, 0);
  g->addWidget(name_, 0, 1);
  g->addWidget(BuddyLabel(info, kContactorResource, 1244, email1_), 1, 0);
  g->addWidget(email1_, 1, 1);
  g->addWidget(email2_, 2, 1);
  g->addWidget(BuddyLabel(info, kContactorResource, 1245, phone1_), 1, 2);
  g->addWidget(phone1_, 1, 3);
  g->addWidget(phone2_, 2, 3);
  g->addWidget(BuddyLabel(info, kContactorResource, 1246, remark_), 3, 0);
  g->addWidget(remark_, 3, 1, 1, 3);
  grid->addWidget(info, 1, 0, 1, 4);

  const std::pair<int, std::function<void()>> buttons[] = {{102, [this] { Add(); }},
                                                           {103, [this] { Modify(); }},
                                                           {1109, [this] { Delete(); }},
                                                           {1015, [this] { Save(); }}};
  int col = 0;
  for (const auto& [id, act] : buttons) {
    QPushButton* b = TextButton(this, kContactorResource, id);
    connect(b, &QPushButton::clicked, this, act);
    grid->addWidget(b, 2, col++);
  }
  connect(list_->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
          [this](const QModelIndex& now) { Select(now.isValid() ? now.row() : -1); });
}

void ContactorDialog::Init() {
  EnableControls({1015}, false);  // only a read contact table can be saved
  if (!Send(kLinkCmdNotifySettings, kReadSub, kNotifyTimeoutMs, {})) {
    ShowMessage("MSG4");
    return;
  }
  ShowMessage("MSG5");
}

void ContactorDialog::SetFields(const ContactorRecord& c) {
  name_->setText(QString::fromStdString(c.name));
  email1_->setText(QString::fromStdString(c.email1));
  phone1_->setText(QString::fromStdString(c.phone1));
  email2_->setText(QString::fromStdString(c.email2));
  phone2_->setText(QString::fromStdString(c.phone2));
  remark_->setPlainText(QString::fromStdString(c.remark));
}

void ContactorDialog::Select(int row) {
  if (row < 0 || row >= static_cast<int>(rows_.size())) return;
  selected_ = row;
  SetFields(rows_[static_cast<size_t>(row)]);
}

std::optional<ContactorRecord> ContactorDialog::Typed() {
  ContactorRecord c;
  c.name = FieldFromTyped(name_->text().toStdString(), kNameMax);
  c.email1 = FieldFromTyped(email1_->text().toStdString(), kMailMax);
  c.phone1 = FieldFromTyped(phone1_->text().toStdString(), kPhoneMax);
  c.email2 = FieldFromTyped(email2_->text().toStdString(), kMailMax);
  c.phone2 = FieldFromTyped(phone2_->text().toStdString(), kPhoneMax);
  c.remark = FieldFromTyped(remark_->toPlainText().toStdString(), kRemarkMax);
  int refusal = 0;
  if (c.name.empty()) refusal = kContactNameEmpty;
  for (const std::string* m : {&c.email1, &c.email2})
    if (!refusal && !m->empty() && !IsSafeMailAddress(*m)) refusal = kBadMailAddress;
  for (const std::string* p : {&c.phone1, &c.phone2})
    if (!refusal && !p->empty() && !IsValidSmsNumber(*p)) refusal = kBadPhoneNumber;
  if (refusal) {
    env().ctx.ShowLangMessageBox(this, refusal, kCaption, MB_ICONEXCLAMATION);
    return std::nullopt;
  }
  return c;
}

void ContactorDialog::ShowRows() {
  ReportListModel* m = list_->listModel();
  m->clear();
  for (size_t r = 0; r < rows_.size(); ++r) {
    const int at = m->insertRow(static_cast<int>(r), -1, nullptr);
    int c = 0;
    for (const std::string* f : Cells(rows_[r])) m->setCell(at, c++, *f);
  }
}

void ContactorDialog::Add() {
  const std::string name = FieldFromTyped(name_->text().toStdString(), kNameMax);
  for (const ContactorRecord& r : rows_)
    if (!name.empty() && r.name == name) return;  // the name is taken: nothing happens
  if (rows_.size() >= static_cast<size_t>(kListRows)) {
    env().ctx.ShowLangMessageBox(this, kContactListFull, kCaption, MB_ICONINFORMATION);
    return;
  }
  const std::optional<ContactorRecord> c = Typed();
  if (!c) return;
  rows_.push_back(*c);
  ShowRows();
  PostLog(0, kLogAdd, RowText(*c));
}

void ContactorDialog::Modify() {
  if (selected_ < 0 || selected_ >= static_cast<int>(rows_.size())) return;
  const std::optional<ContactorRecord> c = Typed();
  if (!c) return;
  rows_[static_cast<size_t>(selected_)] = *c;
  ShowRows();
  PostLog(0, kLogModify, RowText(*c));
}

void ContactorDialog::Delete() {
  if (selected_ < 0 || selected_ >= static_cast<int>(rows_.size())) return;
  const std::string name = rows_[static_cast<size_t>(selected_)].name;
  rows_.erase(rows_.begin() + selected_);
  selected_ = -1;
  ShowRows();
  PostLog(0, kLogDelete, name);
}

void ContactorDialog::Save() {
  if (block_.size() != kNotificationBlockSize) return;
  ServiceSettings s;
  for (size_t i = 0; i < rows_.size() && i < s.contactors.size(); ++i) s.contactors[i] = rows_[i];
  WriteNotificationGroup(s, kWriteSub, block_);
  PostLog(1, kLogSave, "");
  if (!Send(kLinkCmdNotifySettings, kWriteSub, kNotifyTimeoutMs, block_)) {
    ShowMessage("MSG1");
    return;
  }
  sent_.assign(s.contactors.begin(), s.contactors.end());
  ShowMessage("MSG2");
  EnableControls({1015}, false);
}

void ContactorDialog::OnOwnTimer() {
  const std::optional<NotifyOutcome> out = PollReadOrWrite(*this, kReadSub);
  if (!out) return;
  const CBytes block = out->block();
  std::array<ContactorRecord, kListRows>& table = env().ctx.settings.service.contactors;
  if (request().sub != kReadSub) {
    std::copy(sent_.begin(), sent_.end(), table.begin());
    ShowMessage("MSG3");
    CloseAfter(kFailurePauseMs, 1);
    return;
  }
  block_.assign(block.begin(), block.end());
  ServiceSettings s;
  ReadNotificationGroup(s, kReadSub, block_);
  table = s.contactors;
  rows_.clear();
  for (const ContactorRecord& c : s.contactors)
    if (!c.name.empty()) rows_.push_back(c);
  ShowRows();
  ShowMessage("MSG6");
  EnableControls({1015}, true);
}

void ContactorDialog::OnCancel() {
  PostLog(0, kLogClose, "");
  done(0);
}

void RegisterContactorDialog(ConsoleDialogs& env) {
  env.ctx.dialogs.Register(kContactorResource, [&env](QWidget* owner, intptr_t) {
    ContactorDialog d(env, owner);
    return d.Run();
  });
}

}  // namespace lark
