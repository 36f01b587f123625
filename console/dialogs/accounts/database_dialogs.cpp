// Sections: the record and the plan rows; the Database dialog; the Backup
// Plan dialog; registration.
#include "console/dialogs/accounts/database_dialogs.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>
#include <cstdlib>

#include "console/dialogs/accounts/account_dialogs.h"
#include "console/dialogs/console_dialogs.h"
#include "console/dialogs/dialog_controls.h"
#include "console/dialogs/dialog_text_table.h"
#include "console/link/service_link.h"
#include "console/shell/console_context.h"
#include "console/shell/main_window.h"
#include "console/shell/menu_commands.h"

namespace lark {

namespace {

constexpr uint32_t kRequestTimeoutMs = 5000;
constexpr size_t kSourceMax = 63, kDbAccountMax = 31, kDbPasswordMax = 31;
constexpr size_t kMonthsTyped = 9, kFolderMax = 254;
constexpr uint16_t kLogOpened = 56, kLogOk = 57, kLogEstablish = 58, kLogClear = 59;
constexpr uint16_t kLogPlanOpened = 60, kLogPlanOk = 61, kLogPlanClosed = 62;
constexpr int kMsgNotConnected = 34, kMsgClearAsk = 35;
constexpr int kMsgMonthsRange = 91, kMsgFolderLength = 92, kMsgTabOrBreak = 93;
constexpr uint8_t kConnected = 2;
constexpr const char* kDatabaseSection = "Dialog-Database";
constexpr const char* kDatabaseCaption = "Database";

// The Database dialog's template: the shell's localiser sets the same ids.
struct TemplateText {
  int id;
  const char* text;
};
constexpr TemplateText kDatabaseTexts[] = {
    {1119, "Enable Database"},
    {1600, "The service keeps its records in an ODBC data source."},
    {1243, "Source Name:"},
    {1244, "Login Account:"},
    {1245, "Password:"},
    {1246, "Leave the source empty for the service's own database file, ups.db."},
    {1247, "The account and password the data source asks for, if any."},
    {1248, "Changing these logs every console out."},
    {1, "&OK and Connect"},
    {1016, "&Establish Tables"},
    {1017, "&Clear Historical Tables"},
    {1018, "&Backup Plan..."},
};
std::string DatabaseText(int id) {
  for (const TemplateText& t : kDatabaseTexts)
    if (t.id == id) return t.text;
  return "";
}

QLabel* Label(QWidget* parent, int id, const std::string& text) {
  auto* l = MakeControl<QLabel>(parent, id, text);
  l->setText(QString::fromStdString(text));
  l->setWordWrap(true);
  return l;
}

}  // namespace

// ---- the record and the plan rows ----

void TakeBackupPlans(ConsoleSettings& cs, const DatabaseSettingsRecord& r) {
  ServiceSettings& s = cs.service;
  uint8_t* months[] = {&s.upsLogMonths, &s.opLogMonths, &s.historyMonths};
  uint8_t* del[] = {&s.upsLogDelete, &s.opLogDelete, &s.historyDelete};
  std::string* dirs[] = {&s.upsLogBackupDir, &s.opLogBackupDir, &s.historyBackupDir};
  for (size_t k = 0; k < kBackupPlanCount; ++k) {
    *months[k] = r.plans[k].months;
    *del[k] = r.plans[k].deleteBackedUp;
    *dirs[k] = r.plans[k].folder;
  }
}

BackupRowProblem CheckBackupRow(const BackupRowInput& in, BackupPlan* out) {
  const std::string months = in.months.substr(0, kMonthsTyped);
  char* end = nullptr;
  const long n = std::strtol(months.c_str(), &end, 10);
  if (months.empty() || *end != '\0' || n < 1 || n > 255) return BackupRowProblem::kMonths;
  if (HasLineBreakOrTab(in.folder)) return BackupRowProblem::kLineBreak;
  if (in.folder.size() > kFolderMax) return BackupRowProblem::kFolderLength;
  out->months = static_cast<uint8_t>(n);
  out->deleteBackedUp = in.deleteBackedUp ? 1 : 0;
  out->folder = in.folder;
  if (!out->folder.empty() && out->folder.back() != '\\' && out->folder.back() != '/') out->folder += '\\';
  return BackupRowProblem::kNone;
}

// ---- the Database dialog ----

DatabaseDialog::DatabaseDialog(ConsoleDialogs& env, QWidget* owner)
    : DialogBase(env, kDatabaseResource, kDatabaseDialogId, owner) {
  auto* layout = new QVBoxLayout(this);
  enable_ = MakeControl<QCheckBox>(this, 1119, DatabaseText(1119));
  enable_->setText(QString::fromStdString(DatabaseText(1119)));
  layout->addWidget(enable_);
  layout->addWidget(Label(this, 1600, DatabaseText(1600)));
  auto* grid = new QGridLayout;
  layout->addLayout(grid);
  QLineEdit** edits[] = {&source_, &account_, &password_};
  const int labels[] = {1243, 1244, 1245}, ids[] = {1118, 1026, 1610}, hints[] = {1246, 1247, 1248};
  const size_t limits[] = {kSourceMax, kDbAccountMax, kDbPasswordMax};
  for (int i = 0; i < 3; ++i) {
    QLabel* label = Label(this, labels[i], DatabaseText(labels[i]));
    label->setWordWrap(false);
    auto* edit = MakeControl<QLineEdit>(this, ids[i], DatabaseText(labels[i]));
    edit->setMaxLength(static_cast<int>(limits[i]));
    if (ids[i] == 1610) edit->setEchoMode(QLineEdit::Password);
    label->setBuddy(edit);
    grid->addWidget(label, i, 0);
    grid->addWidget(edit, i, 1);
    grid->addWidget(Label(this, hints[i], DatabaseText(hints[i])), i, 2);
    *edits[i] = edit;
  }
  state_ = Label(this, 1121, "State");
  layout->addWidget(state_);
  auto* buttons = new QHBoxLayout;
  layout->addLayout(buttons);
  for (int id : {1, 1016, 1017, 1018}) buttons->addWidget(MakeButton(this, id, DatabaseText(id)));
  QPushButton* close = MakeButton(this, 2, "Close");
  buttons->addWidget(close);
  connect(static_cast<QPushButton*>(Control(1)), &QPushButton::clicked, this, [this] { OkAndConnect(); });
  connect(static_cast<QPushButton*>(Control(1016)), &QPushButton::clicked, this, [this] { EstablishTables(); });
  connect(static_cast<QPushButton*>(Control(1017)), &QPushButton::clicked, this, [this] { ClearHistory(); });
  connect(static_cast<QPushButton*>(Control(1018)), &QPushButton::clicked, this, [this] { BackupPlan(); });
  connect(close, &QPushButton::clicked, this, &QDialog::reject);
  resize(640, 300);
}

DatabaseDialog::~DatabaseDialog() { env().ctx.timers.Kill(this, kDatabaseSecondTimerId); }

void DatabaseDialog::Init() {
  ConsoleContext& ctx = env().ctx;
  copy_ = DatabaseRecordOf(ctx.settings.service);
  enable_->setChecked(copy_.inUse != 0);
  source_->setText(QString::fromStdString(copy_.source));
  account_->setText(QString::fromStdString(copy_.account));
  password_->setText(QString::fromStdString(copy_.password));
  ctx.timers.Set(this, kDatabaseSecondTimerId, 1000, [this] { SecondTick(); });
  PostLog(0, kLogOpened, "");
  // The service's own record: what it resolved for missing keys stays its own.
  Send(kLinkCmdUserDatabase, 0, kRequestTimeoutMs, {});
  SecondTick();
}

int DatabaseDialog::Box(int n, unsigned flags) {
  return env().ctx.ShowLangMessageBox(this, n, kDatabaseCaption, flags);
}

void DatabaseDialog::SecondTick() {
  ConsoleContext& ctx = env().ctx;
  const uint8_t state = env().link.session().databaseState;
  const std::string word = state == kConnected ? CommonText(ctx, 26, "Connected")
                           : state == 1        ? CommonText(ctx, 27, "Connection failed")
                                               : CommonText(ctx, 25, "Not connected");
  state_->setText(QString::fromStdString(CommonText(ctx, 24, "State") + ": " + word));
  if (waiting() || closing()) {
    EnableControls({1, 1119, 1016, 1017, 1018}, false);
    return;
  }
  EnableControls({1}, true);
  if (!ctx.settings.accountsInUse || state != kConnected) {
    EnableControls({1119}, true);
    EnableControls({1016, 1017, 1018}, false);
    return;
  }
  const bool changes = ctx.settings.userLevel == 1 || ctx.settings.userLevel == 2;
  EnableControls({1016}, true);
  EnableControls({1119, 1017, 1018}, changes);
}

void DatabaseDialog::Sent(bool sent, const char* sentKey, const char* failKey) {
  ShowMessage(sent ? sentKey : failKey);
  SecondTick();
}

void DatabaseDialog::OkAndConnect() {
  DatabaseSettingsRecord rec = copy_;
  rec.inUse = enable_->isChecked() ? 1 : 0;
  rec.source = EditText(source_, kSourceMax);
  rec.account = EditText(account_, kDbAccountMax);
  rec.password = EditText(password_, kDbPasswordMax);
  if (HasLineBreakOrTab(rec.source) || HasLineBreakOrTab(rec.account) || HasLineBreakOrTab(rec.password)) {
    Box(kMsgTabOrBreak, MB_ICONERROR);
    return;
  }
  sent_ = rec;
  Sent(Send(kLinkCmdUserDatabase, 1, kRequestTimeoutMs, DatabaseSettingsImage(rec)), "MSG2", "MSG1");
  PostLog(1, kLogOk, rec.inUse ? "(Enable)" : "(Disable)");
}

void DatabaseDialog::EstablishTables() {
  if (env().link.session().databaseState != kConnected) {
    Box(kMsgNotConnected, MB_ICONEXCLAMATION);
  } else {
    Sent(Send(kLinkCmdUserDatabase, 9, kRequestTimeoutMs, {}), "MSG5", "MSG4");
  }
  PostLog(1, kLogEstablish, "");
}

void DatabaseDialog::ClearHistory() {
  if (env().link.session().databaseState != kConnected) {
    Box(kMsgNotConnected, MB_ICONEXCLAMATION);
  } else if (Box(kMsgClearAsk, MB_YESNO | MB_ICONQUESTION) == IDYES) {
    Sent(Send(kLinkCmdUserDatabase, 10, kRequestTimeoutMs, {}), "MSG8", "MSG7");
  }
  PostLog(1, kLogClear, "");
}

void DatabaseDialog::BackupPlan() {
  BackupPlanDialog plan(env(), copy_, this);
  plan.Run();
  env().ctx.openDialog.id = kDatabaseDialogId;
  SecondTick();
}

// The service took the settings and logged every console out: the copy, the
// rights and the menu follow what was sent.
void DatabaseDialog::Applied() {
  ConsoleContext& ctx = env().ctx;
  ServiceSettings& s = ctx.settings.service;
  s.databaseEnabled = sent_.inUse;
  s.odbcSource = sent_.source;
  s.odbcAccount = sent_.account;
  s.odbcPassword = sent_.password;
  TakeBackupPlans(ctx.settings, sent_);
  copy_ = sent_;
  ServiceLink& link = env().link;
  LoginRecord rec = link.userRecord();
  rec.accessSwitch = sent_.inUse;
  rec.databaseState = 0;
  rec.level = 0;
  link.applyUserRecord(rec);
  if (ctx.mainWindow) ctx.mainWindow->menus().setItemText(kMenuMain, IDM_LOGIN, ctx.texts.view.login);
  ShowMessage("MSG3");
}

void DatabaseDialog::OnReply(const ReplyView& reply) {
  const uint8_t sub = reply.frame.size() > 6 ? reply.frame[6] : request().sub;
  switch (sub) {
    case 0:
      if (reply.success && reply.frame.size() >= 7 + kDatabaseSettingsSize)
        copy_ = GetDatabaseSettingsRecord(reply.frame, 7);
      break;
    case 1:
      if (!reply.success)
        ShowMessage("MSG1");
      else
        Sent(Send(kLinkCmdUserDatabase, 6, kRequestTimeoutMs, {}), "MSG2", "MSG1");
      break;
    case 6:
      if (reply.success)
        Applied();
      else
        ShowMessage("MSG1");
      break;
    case 9:
      ShowMessage(reply.success ? "MSG6" : "MSG4");
      break;
    case 10:
      ShowMessage(reply.success ? "MSG9" : "MSG7");
      break;
    default:
      break;
  }
  SecondTick();
}

// ---- the Backup Plan dialog ----

BackupPlanDialog::BackupPlanDialog(ConsoleDialogs& env, DatabaseSettingsRecord& copy, QWidget* owner)
    : DialogBase(env, kBackupPlanResource, kBackupPlanDialogId, owner), copy_(copy) {
  const int res = resource();
  auto* layout = new QVBoxLayout(this);
  constexpr int kTitles[] = {1600, 1246, 1251};
  constexpr int kKeep[] = {1243, 1247, 1601}, kMonthsLabel[] = {1244, 1248, 1602}, kDirLabel[] = {1245, 1249, 1603};
  constexpr int kMonths[] = {1197, 1199, 1201}, kDelete[] = {1198, 1200, 1202}, kFolder[] = {1204, 1004, 1006};
  for (size_t k = 0; k < kBackupPlanCount; ++k) {
    auto* box = MakeControl<QGroupBox>(this, kTitles[k], EnglishText(res, kTitles[k]));
    box->setTitle(QString::fromStdString(EnglishText(res, kTitles[k])));
    layout->addWidget(box);
    auto* grid = new QGridLayout(box);
    QLabel* keep = Label(box, kKeep[k], EnglishText(res, kKeep[k]));
    months_[k] = MakeControl<QLineEdit>(box, kMonths[k], EnglishText(res, kTitles[k]) + " months");
    months_[k]->setMaxLength(static_cast<int>(kMonthsTyped));
    keep->setBuddy(months_[k]);
    QLabel* unit = Label(box, kMonthsLabel[k], EnglishText(res, kMonthsLabel[k]));
    unit->setBuddy(months_[k]);
    delete_[k] = MakeControl<QCheckBox>(box, kDelete[k], EnglishText(res, kDelete[k]));
    delete_[k]->setText(QString::fromStdString(EnglishText(res, kDelete[k])));
    QLabel* dir = Label(box, kDirLabel[k], EnglishText(res, kDirLabel[k]));
    folder_[k] = MakeControl<QLineEdit>(box, kFolder[k], EnglishText(res, kTitles[k]) + " backup directory");
    folder_[k]->setMaxLength(static_cast<int>(kPlanFolderSize - 1));
    dir->setBuddy(folder_[k]);
    grid->addWidget(keep, 0, 0);
    grid->addWidget(months_[k], 0, 1);
    grid->addWidget(unit, 0, 2);
    grid->addWidget(delete_[k], 0, 3);
    grid->addWidget(dir, 1, 0);
    grid->addWidget(folder_[k], 1, 1, 1, 3);
  }
  auto* row = new QHBoxLayout;
  row->addStretch();
  for (int id : {1, 2}) row->addWidget(MakeButton(this, id, EnglishText(res, id)));
  layout->addLayout(row);
  connect(static_cast<QPushButton*>(Control(1)), &QPushButton::clicked, this, [this] { Ok(); });
  connect(static_cast<QPushButton*>(Control(2)), &QPushButton::clicked, this, &QDialog::reject);
}

void BackupPlanDialog::Init() {
  for (size_t k = 0; k < kBackupPlanCount; ++k) {
    const BackupPlan& p = copy_.plans[k];
    months_[k]->setText(QString::number(p.months));
    delete_[k]->setChecked(p.deleteBackedUp > 0);
    folder_[k]->setText(QString::fromStdString(p.folder));
  }
  PostLog(0, kLogPlanOpened, "");
}

void BackupPlanDialog::Ok() {
  DatabaseSettingsRecord rec = copy_;
  for (size_t k = 0; k < kBackupPlanCount; ++k) {
    const BackupRowInput in{months_[k]->text().toStdString(), delete_[k]->isChecked(),
                            folder_[k]->text().toStdString()};
    switch (CheckBackupRow(in, &rec.plans[k])) {
      case BackupRowProblem::kNone:
        continue;
      case BackupRowProblem::kMonths:
        env().ctx.ShowLangMessageBox(this, kMsgMonthsRange, kDatabaseCaption, MB_ICONERROR);
        return;
      case BackupRowProblem::kFolderLength:
        env().ctx.ShowLangMessageBox(this, kMsgFolderLength, kDatabaseCaption, MB_ICONERROR);
        return;
      case BackupRowProblem::kLineBreak:
        env().ctx.ShowLangMessageBox(this, kMsgTabOrBreak, kDatabaseCaption, MB_ICONERROR);
        return;
    }
  }
  sent_ = rec;
  if (Send(kLinkCmdUserDatabase, 1, kRequestTimeoutMs, DatabaseSettingsImage(rec))) {
    ShowMessage(kDatabaseSection, "MSG2");
    EnableControls({1, 2}, false);
  } else {
    ShowMessage(kDatabaseSection, "MSG1");
  }
  PostLog(1, kLogPlanOk, "");
}

void BackupPlanDialog::OnReply(const ReplyView& reply) {
  if (!reply.success) {
    ShowMessage(kDatabaseSection, "MSG1");
    EnableControls({1, 2}, true);
    return;
  }
  ShowMessage(kDatabaseSection, "MSG3");
  copy_.plans = sent_.plans;
  TakeBackupPlans(env().ctx.settings, sent_);
  env().ctx.openDialog.id = kDatabaseDialogId;
  done(1);
}

void BackupPlanDialog::OnCancel() {
  PostLog(0, kLogPlanClosed, "");
  env().ctx.openDialog.id = kDatabaseDialogId;
  done(0);
}

// ---- registration ----

void RegisterDatabaseDialogs(ConsoleDialogs& env) {
  env.ctx.dialogs.Register(kDatabaseResource,
                           [&env](QWidget* owner, intptr_t) { return DatabaseDialog(env, owner).Run(); });
  env.branches.Register(kLinkCmdUserDatabase, kDatabaseDialogId, [](DialogBase& d, const ReplyView& r) {
    if (auto* db = dynamic_cast<DatabaseDialog*>(&d)) db->OnReply(r);
  });
  env.branches.Register(kLinkCmdUserDatabase, kBackupPlanDialogId, [](DialogBase& d, const ReplyView& r) {
    if (auto* plan = dynamic_cast<BackupPlanDialog*>(&d)) plan->OnReply(r);
  });
}

}  // namespace lark
