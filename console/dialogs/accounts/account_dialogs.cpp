#include "console/dialogs/accounts/account_dialogs.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QProgressBar>
#include <QVBoxLayout>

#include "common/password.h"
#include "console/dialogs/console_dialogs.h"
#include "console/dialogs/dialog_controls.h"
#include "console/dialogs/dialog_text_table.h"
#include "console/link/service_link.h"
#include "console/shell/console_context.h"
#include "linkserver/user_records.h"

namespace lark {

namespace {

constexpr uint32_t kRequestTimeoutMs = 5000;
constexpr uint16_t kLogSetupOpened = 38, kLogSetupDone = 39, kLogSetupCancelled = 40;
constexpr uint16_t kLogChangeOpened = 63, kLogChangeOk = 64, kLogChangeCancelled = 65;
constexpr int kMsgWrongOld = 28, kMsgPasswordsDiffer = 29;
constexpr uint8_t kLevelSupervisor = 1, kLevelViewer = 3;
constexpr uint8_t kDatabaseConnected = 2;

// OK and Cancel in a row under `layout`.
void AddOkCancel(QDialog* d, QBoxLayout* layout, int resource) {
  auto* row = new QHBoxLayout;
  row->addStretch();
  for (int id : {1, 2}) {
    QPushButton* b = MakeButton(d, id, EnglishText(resource, id));
    row->addWidget(b);
    if (id == 1)
      b->setDefault(true);
    else
      QObject::connect(b, &QPushButton::clicked, d, &QDialog::reject);
  }
  layout->addLayout(row);
}

QGridLayout* Group(QDialog* d, QVBoxLayout* layout, int resource) {
  auto* box = MakeControl<QGroupBox>(d, 1600, EnglishText(resource, 1600));
  box->setTitle(QString::fromStdString(EnglishText(resource, 1600)));
  layout->addWidget(box);
  return new QGridLayout(box);
}

}  // namespace

std::string EncodeAccountPassword(const std::string& plain) {
  std::string withZero = plain;
  withZero.push_back('\0');
  return EncodePassword(withZero);
}

std::string EditText(const QLineEdit* edit, size_t max) {
  return std::string(CutUtf8(edit->text().toStdString(), max));
}

// ---- Password Setup ----

PasswordSetupDialog::PasswordSetupDialog(ConsoleDialogs& env, QWidget* owner)
    : DialogBase(env, kPasswordSetupResource, kPasswordSetupDialogId, owner) {
  auto* layout = new QVBoxLayout(this);
  QGridLayout* grid = Group(this, layout, resource());
  old_ = AddLabelledEdit(grid, 0, resource(), 1243, 1096, kTypedPasswordMax, true);
  new_ = AddLabelledEdit(grid, 1, resource(), 1244, 1097, kTypedPasswordMax, true);
  again_ = AddLabelledEdit(grid, 2, resource(), 1245, 1098, kTypedPasswordMax, true);
  AddOkCancel(this, layout, resource());
  connect(static_cast<QPushButton*>(Control(1)), &QPushButton::clicked, this, [this] { Ok(); });
}

void PasswordSetupDialog::Init() { PostLog(0, kLogSetupOpened, ""); }

void PasswordSetupDialog::OnCancel() {
  PostLog(0, kLogSetupCancelled, "");
  done(0);
}

void PasswordSetupDialog::Ok() {
  ConsoleContext& ctx = env().ctx;
  if (EditText(old_, kTypedPasswordMax) != ctx.settings.service.controlPassword) {
    ctx.ShowLangMessageBox(this, kMsgWrongOld, kMainTitle, MB_ICONERROR);
    return;
  }
  const std::string password = EditText(new_, kTypedPasswordMax);
  if (password != EditText(again_, kTypedPasswordMax)) {
    ctx.ShowLangMessageBox(this, kMsgPasswordsDiffer, kMainTitle, MB_ICONERROR);
    return;
  }
  if (!Send(kLinkCmdControlPassword, 2, kRequestTimeoutMs, ControlPasswordField(password))) {
    ShowMessage("MSG1");
    return;
  }
  sent_ = password;
  ShowMessage("MSG2");
  EnableControls({1, 2}, false);
}

void PasswordSetupDialog::OnReply(const ReplyView& reply) {
  if (!reply.success) {
    ShowMessage("MSG1");
    EnableControls({1, 2}, true);
    return;
  }
  env().ctx.settings.service.controlPassword = sent_;
  ShowMessage("MSG3");
  PostLog(1, kLogSetupDone, "");
  CloseAfter(kFailurePauseMs, 1);
}

// ---- Password Change ----

PasswordChangeDialog::PasswordChangeDialog(ConsoleDialogs& env, QWidget* owner)
    : DialogBase(env, kPasswordChangeResource, kPasswordChangeDialogId, owner) {
  auto* layout = new QVBoxLayout(this);
  auto* grid = new QGridLayout;
  layout->addLayout(grid);
  new_ = AddLabelledEdit(grid, 0, resource(), 1600, 1097, kTypedPasswordMax, true);
  again_ = AddLabelledEdit(grid, 1, resource(), 1243, 1098, kTypedPasswordMax, true);
  AddOkCancel(this, layout, resource());
  connect(static_cast<QPushButton*>(Control(1)), &QPushButton::clicked, this, [this] { Ok(); });
}

void PasswordChangeDialog::Init() { PostLog(0, kLogChangeOpened, ""); }

void PasswordChangeDialog::OnCancel() {
  PostLog(0, kLogChangeCancelled, "");
  done(0);
}

void PasswordChangeDialog::Ok() {
  ConsoleContext& ctx = env().ctx;
  const std::string password = EditText(new_, kTypedPasswordMax);
  if (password != EditText(again_, kTypedPasswordMax)) {
    ctx.ShowLangMessageBox(this, kMsgPasswordsDiffer, kMainTitle, MB_ICONERROR);
    return;
  }
  PostLog(0, kLogChangeOk, "");
  // Without accounts or a connected database there is no password to change:
  // say so instead of nothing.
  const LinkSessionData& s = env().link.session();
  if (!ctx.settings.accountsInUse || s.databaseState != kDatabaseConnected) {
    ShowMessage("MSG1");
    return;
  }
  LoginRecord rec;
  rec.account = s.userName;
  rec.password = EncodeAccountPassword(password);
  if (!Send(kLinkCmdUserDatabase, 11, kRequestTimeoutMs, LoginRecordImage(rec))) {
    ShowMessage("MSG1");
    return;
  }
  ShowMessage("MSG2");
  EnableControls({1, 2}, false);
}

void PasswordChangeDialog::OnReply(const ReplyView& reply) {
  if (!reply.success) {
    ShowMessage("MSG1");
    EnableControls({1, 2}, true);
    return;
  }
  ShowMessage("MSG3");
  done(1);
}

// ---- Login ----

LoginDialog::LoginDialog(ConsoleDialogs& env, int resource, QWidget* owner)
    : DialogBase(env, resource, kLoginDialogId, owner) {
  auto* layout = new QVBoxLayout(this);
  auto* grid = new QGridLayout;
  layout->addLayout(grid);
  int row = 0;
  if (resource == kLoginResource) account_ = AddLabelledEdit(grid, row++, resource, 1243, 1026, kAccountNameMax, false);
  password_ = AddLabelledEdit(grid, row, resource, 1600, 1610, kTypedPasswordMax, true);
  AddOkCancel(this, layout, resource);
  connect(static_cast<QPushButton*>(Control(1)), &QPushButton::clicked, this, [this] { Ok(); });
}

void LoginDialog::Init() {
  if (account_) account_->setEnabled(env().ctx.settings.accountsInUse);
}

void LoginDialog::Ok() {
  ConsoleContext& ctx = env().ctx;
  const std::string password = EditText(password_, kTypedPasswordMax);
  if (!ctx.settings.accountsInUse || !account_) {
    // The gate: nothing is sent; the comparison keeps case.
    done(password == ctx.settings.service.controlPassword ? 1 : 0);
    return;
  }
  LoginRecord rec;
  rec.account = EditText(account_, kAccountNameMax);
  rec.password = EncodeAccountPassword(password);
  if (!Send(kLinkCmdUserDatabase, 7, kRequestTimeoutMs, LoginRecordImage(rec))) {
    ShowMessage("MSG1");
    return;
  }
  ShowMessage("MSG2");
  EnableControls({1, 2}, false);
}

void LoginDialog::OnReply(const ReplyView& reply) {
  // The record follows the echoed sub-command; a short answer or a level no
  // account can have is a refusal, whatever its code says.
  constexpr size_t kRecordOff = 7;
  const bool whole = reply.frame.size() >= kRecordOff + kLoginRecordSize;
  const LoginRecord rec = whole ? GetLoginRecord(reply.frame, kRecordOff) : LoginRecord{};
  if (!reply.success || rec.level < kLevelSupervisor || rec.level > kLevelViewer) {
    ShowMessage("MSG1");
    EnableControls({1, 2}, true);
    return;
  }
  env().link.applyUserRecord(rec);
  env().link.requestState(3, 0);
  done(1);
}

// ---- Logout ----

LogoutDialog::LogoutDialog(ConsoleDialogs& env, QWidget* owner)
    : DialogBase(env, kLogoutResource, kLogoutDialogId, owner) {
  auto* layout = new QVBoxLayout(this);
  auto* bar = MakeControl<QProgressBar>(this, kProgressControl, "Progress");
  bar->setRange(0, 100);
  bar->setValue(0);
  layout->addWidget(bar);
  resize(300, 60);
  timeProgress = true;
}

void LogoutDialog::Init() {
  env().ctx.openDialog.progress = 0;
  if (!Send(kLinkCmdUserDatabase, 8, kRequestTimeoutMs, {})) {
    ShowMessage("MSG1");
    CloseAfter(kFailurePauseMs, 0);
    return;
  }
  ShowMessage("MSG2");
}

void LogoutDialog::OnReply(const ReplyView& reply) {
  SetProgress(100);
  if (!reply.success) {
    ShowMessage("MSG1");
    CloseAfter(kFailurePauseMs, 0);
    return;
  }
  ServiceLink& link = env().link;
  LoginRecord rec = link.userRecord();
  rec.level = 0;
  link.applyUserRecord(rec);
  link.requestState(3, 0);
  done(1);
}

// ---- registration ----

namespace {
template <class D>
void Branch(ConsoleDialogs& env, uint8_t command, uint32_t id) {
  env.branches.Register(command, id, [](DialogBase& d, const ReplyView& r) {
    if (auto* dialog = dynamic_cast<D*>(&d)) dialog->OnReply(r);
  });
}
}  // namespace

void RegisterAccountDialogs(ConsoleDialogs& env) {
  DialogRegistry& r = env.ctx.dialogs;
  r.Register(kPasswordSetupResource, [&env](QWidget* owner, intptr_t) { return PasswordSetupDialog(env, owner).Run(); });
  r.Register(kPasswordChangeResource, [&env](QWidget* owner, intptr_t) { return PasswordChangeDialog(env, owner).Run(); });
  for (int resource : {kLoginResource, kControlGateResource})
    r.Register(resource, [&env, resource](QWidget* owner, intptr_t) { return LoginDialog(env, resource, owner).Run(); });
  r.Register(kLogoutResource, [&env](QWidget* owner, intptr_t) { return LogoutDialog(env, owner).Run(); });
  Branch<PasswordSetupDialog>(env, kLinkCmdControlPassword, kPasswordSetupDialogId);
  Branch<PasswordChangeDialog>(env, kLinkCmdUserDatabase, kPasswordChangeDialogId);
  Branch<LoginDialog>(env, kLinkCmdUserDatabase, kLoginDialogId);
  Branch<LogoutDialog>(env, kLinkCmdUserDatabase, kLogoutDialogId);
}

}  // namespace lark
