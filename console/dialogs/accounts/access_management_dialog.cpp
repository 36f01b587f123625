#include "console/dialogs/accounts/access_management_dialog.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLineEdit>

#include "console/dialogs/accounts/account_dialogs.h"
#include "console/dialogs/console_dialogs.h"
#include "console/dialogs/dialog_controls.h"
#include "console/dialogs/dialog_text_table.h"
#include "console/link/request_payloads.h"
#include "console/link/service_link.h"
#include "console/lists/report_list.h"
#include "console/shell/console_context.h"
#include "console/shell/dialog_texts.h"

namespace lark {

namespace {

constexpr uint32_t kListTimeoutMs = 10000, kWriteTimeoutMs = 5000;
constexpr size_t kRealNameMax = 31, kAccountPasswordMax = 15, kRemarkMax = 255;
constexpr uint16_t kLogOpened = 66, kLogAdded = 67, kLogChanged = 68, kLogDeleted = 69;
constexpr int kMsgNoAccount = 36, kMsgNoPassword = 37, kMsgAdded = 38, kMsgNotAdded = 39,
              kMsgChanged = 40, kMsgNotChanged = 41, kMsgDeleteAsk = 42, kMsgDeleted = 43;
constexpr int kMsgSupervisorKept = 90, kMsgTabOrBreak = 93;
constexpr const char* kColumnWidths = "90\t90\t90\t90\t130\t200";
constexpr const char* kColumnTitles = "Account\tReal Name\tPassword\tType\tCreate Date\tRemark";

}  // namespace

AccessManagementDialog::AccessManagementDialog(ConsoleDialogs& env, QWidget* owner)
    : DialogBase(env, kAccessManagementResource, kAccessManagementDialogId, owner) {
  const int res = resource();
  auto* grid = new QGridLayout(this);
  list_ = new ReportListView(this);
  SetControlId(list_, 1122);
  list_->setAccessibleName("Accounts");
  list_->setSelectionBehavior(QAbstractItemView::SelectRows);
  list_->setSelectionMode(QAbstractItemView::SingleSelection);
  list_->setShowGrid(true);
  list_->setFont(env.ctx.fonts.value);
  grid->addWidget(list_, 0, 0, 1, 4);
  auto* group = MakeControl<QLabel>(this, 1600, EnglishText(res, 1600));
  group->setText(QString::fromStdString(EnglishText(res, 1600)));
  grid->addWidget(group, 1, 0, 1, 4);
  auto* fields = new QGridLayout;
  grid->addLayout(fields, 2, 0, 1, 3);
  account_ = AddLabelledEdit(fields, 0, res, 1243, 1026, kAccountNameMax, false);
  realName_ = AddLabelledEdit(fields, 1, res, 1244, 1049, kRealNameMax, false);
  password_ = AddLabelledEdit(fields, 2, res, 1245, 1610, kAccountPasswordMax, true);
  auto* typeLabel = MakeControl<QLabel>(this, 1246, EnglishText(res, 1246));
  typeLabel->setText(QString::fromStdString(EnglishText(res, 1246)));
  type_ = MakeControl<QComboBox>(this, 1100, EnglishText(res, 1246));
  typeLabel->setBuddy(type_);
  fields->addWidget(typeLabel, 3, 0);
  fields->addWidget(type_, 3, 1);
  remark_ = AddLabelledEdit(fields, 4, res, 1247, 1050, kRemarkMax, false);
  auto* buttons = new QVBoxLayout;
  grid->addLayout(buttons, 2, 3);
  for (int id : {102, 103, 1109}) buttons->addWidget(MakeButton(this, id, EnglishText(res, id)));
  QPushButton* close = MakeButton(this, 2, "Close");
  buttons->addWidget(close);
  buttons->addStretch();
  resize(720, 460);
  connect(static_cast<QPushButton*>(Control(102)), &QPushButton::clicked, this, [this] { Add(); });
  connect(static_cast<QPushButton*>(Control(103)), &QPushButton::clicked, this, [this] { ModifyPassword(); });
  connect(static_cast<QPushButton*>(Control(1109)), &QPushButton::clicked, this, [this] { Delete(); });
  connect(close, &QPushButton::clicked, this, &QDialog::reject);
  connect(list_, &QAbstractItemView::clicked, this, [this](const QModelIndex& i) { ChooseRow(i.row()); });
}

void AccessManagementDialog::Init() {
  ConsoleContext& ctx = env().ctx;
  // Always one type chosen: only levels 2 and 3 can be sent.
  type_->addItem(QString::fromStdString(CommonText(ctx, 28, "Operator")));
  type_->addItem(QString::fromStdString(CommonText(ctx, 29, "Viewer")));
  type_->setCurrentIndex(0);
  InsertListColumns(list_, kColumnWidths, kColumnTitles, 0);
  PostLog(0, kLogOpened, "");
  AskList();
}

int AccessManagementDialog::Box(int n, unsigned flags) {
  return env().ctx.ShowLangMessageBox(this, n, kAccountBoxCaption, flags);
}

void AccessManagementDialog::SendOrFail(uint8_t sub, CBytes payload, uint32_t timeoutMs, const char* sentKey) {
  if (Send(kLinkCmdUserDatabase, sub, timeoutMs, payload)) {
    ShowMessage(sentKey);
    EnableControls({102, 103, 1109}, false);
    return;
  }
  if (sub <= 13) {
    ShowMessage("MSG1");
  } else {
    FailWrite(sub);
  }
}

void AccessManagementDialog::FailWrite(uint8_t sub) {
  EnableControls({102, 103, 1109}, true);
  ShowMessage(sub == 14 ? "MSG4" : sub == 15 ? "MSG7" : "MSG10");
  Box(sub == 14 ? kMsgNotAdded : kMsgNotChanged, MB_ICONERROR);
}

void AccessManagementDialog::AskList() {
  pages_.Reset();
  SendOrFail(13, TextPayload(""), kListTimeoutMs, "MSG2");
}

bool AccessManagementDialog::Refused(const std::string& account, const std::vector<std::string>& texts) {
  if (account.empty()) {
    Box(kMsgNoAccount, MB_ICONERROR);
    return true;
  }
  for (const std::string& t : texts) {
    if (HasLineBreakOrTab(t)) {
      Box(kMsgTabOrBreak, MB_ICONERROR);
      return true;
    }
  }
  for (const AccountListRow& row : accounts_) {
    if (row.levelNumber == kLevelSupervisor && row.account == account) {
      Box(kMsgSupervisorKept, MB_ICONERROR);
      return true;
    }
  }
  return false;
}

void AccessManagementDialog::Write(uint8_t sub) {
  AccountRecord rec;
  rec.account = EditText(account_, kAccountNameMax);
  rec.realName = EditText(realName_, kRealNameMax);
  rec.remark = EditText(remark_, kRemarkMax);
  if (Refused(rec.account, {rec.account, rec.realName, rec.remark})) return;
  const std::string password = EditText(password_, kAccountPasswordMax);
  if (password.empty()) {
    Box(kMsgNoPassword, MB_ICONERROR);
    return;
  }
  rec.password = EncodeAccountPassword(password);
  rec.level = type_->currentIndex() == 1 ? kLevelViewer : kLevelOperator;
  sent_ = rec;
  SendOrFail(sub, AccountRecordImage(rec), kWriteTimeoutMs, sub == 14 ? "MSG5" : "MSG8");
}

void AccessManagementDialog::Delete() {
  AccountRecord rec;
  rec.account = EditText(account_, kAccountNameMax);
  if (Refused(rec.account, {rec.account})) return;
  if (Box(kMsgDeleteAsk, MB_YESNO | MB_ICONQUESTION) != IDYES) return;
  sent_ = rec;
  SendOrFail(16, AccountRecordImage(rec), kWriteTimeoutMs, "MSG11");
}

void AccessManagementDialog::ChooseRow(int row) {
  std::string text;
  if (!GetListItemText(list_, row, 0, &text)) return;
  for (const AccountListRow& r : accounts_) {
    if (r.account != text || r.levelNumber == kLevelSupervisor) continue;
    account_->setText(QString::fromStdString(r.account));
    realName_->setText(QString::fromStdString(r.realName));
    remark_->setText(QString::fromStdString(r.remark));
    password_->clear();
    if (r.levelNumber == kLevelOperator || r.levelNumber == kLevelViewer) type_->setCurrentIndex(r.levelNumber - 2);
    return;
  }
}

void AccessManagementDialog::Fill() {
  size_t beyond = 0;
  accounts_ = ParseAccountList(pages_.text(), &beyond);
  pages_.Reset();
  CountRowsNotShown(beyond);
  ReportListModel* model = list_->listModel();
  model->clear();
  const std::string op = type_->itemText(0).toStdString(), viewer = type_->itemText(1).toStdString();
  int at = 0;
  for (const AccountListRow& r : accounts_) {
    if (r.levelNumber == kLevelSupervisor) continue;
    InsertListRow(list_, AccountListText(r, op, viewer), at++, -1);
  }
}

void AccessManagementDialog::OnReply(const ReplyView& reply) {
  const uint8_t sub = reply.frame.size() > 6 ? reply.frame[6] : request().sub;
  if (!reply.success) {
    if (sub <= 13) {
      EnableControls({102, 103, 1109}, true);
      ShowMessage("MSG1");
    } else {
      FailWrite(sub);
    }
    return;
  }
  if (sub == 12 || sub == 13) {
    const ResultPages::Step step = sub == 13 ? pages_.First(reply.frame) : pages_.Next(reply.frame);
    switch (step) {
      case ResultPages::Step::kBad:
        EnableControls({102, 103, 1109}, true);
        return ShowMessage("MSG1");
      case ResultPages::Step::kAskNext:
        return SendOrFail(12, pages_.nextRequest(), kListTimeoutMs, "MSG2");
      case ResultPages::Step::kComplete:
        EnableControls({102, 103, 1109}, true);
        ShowMessage("MSG3");
        return Fill();
    }
  }
  const std::string detail = "(" + sent_.account + ": " + std::to_string(sent_.level) + ")";
  if (sub == 14) {
    ShowMessage("MSG6");
    PostLog(1, kLogAdded, detail);
    Box(kMsgAdded, MB_ICONINFORMATION);
  } else if (sub == 15) {
    ShowMessage("MSG9");
    PostLog(1, kLogChanged, detail);
    Box(kMsgChanged, MB_ICONINFORMATION);
  } else {
    PostLog(1, kLogDeleted, sent_.account);
    Box(kMsgDeleted, MB_ICONINFORMATION);
  }
  AskList();
}

void RegisterAccessManagementDialog(ConsoleDialogs& env) {
  env.ctx.dialogs.Register(kAccessManagementResource,
                           [&env](QWidget* owner, intptr_t) { return AccessManagementDialog(env, owner).Run(); });
  env.branches.Register(kLinkCmdUserDatabase, kAccessManagementDialogId, [](DialogBase& d, const ReplyView& r) {
    if (auto* a = dynamic_cast<AccessManagementDialog*>(&d)) a->OnReply(r);
  });
}

}  // namespace lark
