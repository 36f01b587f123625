// The password, login, account and database dialogs against the built
// Larkcore on the demo folder, in its own network namespace, with the
// service's database on its default SQLite file and on PostgreSQL: the
// database switched on and its tables made through the Database dialog,
// the supervisor's login through the menu, accounts added, used and
// deleted, the logout, the control password, and every dialog's failure
// while the service does not answer.
#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

#include "common/password.h"
#include "console/dialogs/accounts/access_management_dialog.h"
#include "console/dialogs/accounts/account_dialogs.h"
#include "console/dialogs/accounts/database_dialogs.h"
#include "console/lists/report_list.h"
#include "tests/console/support/larkcore_console.h"
#include "tests/support/database_fixture.h"
#include "tests/support/link_test_client.h"

namespace lark {
namespace {

using test::Spin;

constexpr int kGuardMs = 30000;

// The output of a program, or "" when it fails.
std::string Output(const std::vector<std::string>& argv) {
  std::string out;
  return test::RunProgram(argv, out) == 0 ? out : std::string();
}

class AccountsLarkcore : public test::LarkcoreConsole {
 protected:
  AccountsLarkcore() { withMenu = true; }
  void SetUp() override {}  // the cases start the service
  void TearDown() override {
    answer = IDYES;  // Exit asks
    LarkcoreConsole::TearDown();
  }
  // The service on the demo folder, its manager.ini given `database` keys.
  void StartService(const std::vector<std::pair<std::string, std::string>>& database = {}) {
    ASSERT_NO_FATAL_FAILURE(Prepare());
    if (IsSkipped()) return;
    for (const auto& [key, value] : database)
      WriteProfileString(ManagerIni(), "Database", key, value);
    ASSERT_NO_FATAL_FAILURE(LarkcoreConsole::StartService());
    ASSERT_NO_FATAL_FAILURE(StartConsole());
  }
  void ConsoleFiles() override {
    LarkcoreConsole::ConsoleFiles();
    const std::string lang = console.file("English/language.ini");
    for (const char* section :
         {"Dialog-ControlPasswprd", "Dialog-DatabasePassword", "Dialog-LoginControl",
          "Dialog-LogoutDatabase", "Dialog-Database", "Dialog-Access Management"})
      for (int n = 1; n <= 13; ++n)
        WriteProfileString(lang, section, "MSG" + std::to_string(n), "MSG" + std::to_string(n));
    for (int n : {3, 28, 29, 34, 35, 36, 37, 38, 39, 40, 41, 42, 43, 90})
      WriteProfileString(lang, "MessageBox", "M_" + std::to_string(n), "M_" + std::to_string(n));
  }
  void Install() override {
    RegisterAccountDialogs(*env);
    RegisterAccessManagementDialog(*env);
    RegisterDatabaseDialogs(*env);
  }
  int Answer(const std::string&, const std::string& text, unsigned) override {
    boxes.push_back(text);
    return answer;
  }
  std::string ManagerIni() const { return service.file("manager.ini"); }
  ServiceLink& serviceLink() { return link->link(); }
  QAction* Menu(int id) { return w->menus().item(kMenuMain, id); }

  // Runs `act` on the modal dialog the command opens, then the command's end.
  void OnModal(int command, const std::function<void(DialogBase&)>& act) {
    bool ran = false;
    QTimer::singleShot(0, [&] {
      auto* d = dynamic_cast<DialogBase*>(QApplication::activeModalWidget());
      ASSERT_NE(d, nullptr);
      ran = true;
      act(*d);
      if (d->isVisible() && !d->closing()) d->done(0);
    });
    w->SendCommand(command);
    EXPECT_TRUE(ran);
  }

  // Switches the database on through the Database dialog with `source` and
  // makes its tables; the supervisor then exists.
  void EnableDatabase(const std::string& source, const std::string& user) {
    DatabaseDialog d(*env, nullptr);
    d.Init();
    ASSERT_TRUE(Spin([&] { return !d.waiting(); }, kGuardMs));  // the service's record
    static_cast<QCheckBox*>(d.Control(1119))->setChecked(true);
    Type(d, 1118, source);
    Type(d, 1026, user);
    d.OkAndConnect();
    ASSERT_TRUE(Spin([&] { return Caption(d).ends_with("MSG3"); }, kGuardMs))
        << Caption(d) << " " << larkcore->output();
    EXPECT_EQ(ReadProfileString(ManagerIni(), "Database", "Enable", "", 16), "Yes");
    EXPECT_TRUE(ctx->settings.accountsInUse);
    EXPECT_EQ(ctx->settings.userLevel, 0);
    // The state line follows the service's answers (every 5 s).
    const auto* state = static_cast<QLabel*>(d.Control(1121));
    ASSERT_TRUE(Spin([&] { return state->text() == "State: Connected"; }, 10000))
        << state->text().toStdString();
    EXPECT_TRUE(d.Control(1016)->isEnabled());
    d.EstablishTables();
    ASSERT_TRUE(Spin([&] { return Caption(d).ends_with("MSG6"); }, kGuardMs)) << Caption(d);
    // Answered No, Clear Historical Tables sends nothing.
    answer = IDNO;
    const uint32_t sequence = serviceLink().pending().sequence;
    d.ClearHistory();
    EXPECT_EQ(boxes.back(), "M_35");
    EXPECT_EQ(serviceLink().pending().sequence, sequence);
    answer = IDOK;
  }

  void LoginThroughTheMenu(const std::string& account, const std::string& password) {
    OnModal(IDM_LOGIN, [&](DialogBase& d) {
      Type(d, 1026, account);
      Type(d, 1610, password + "-wrong");
      static_cast<QPushButton*>(d.Control(1))->click();
      ASSERT_TRUE(Spin([&] { return Caption(d).ends_with("MSG1"); }, kGuardMs)) << Caption(d);
      EXPECT_TRUE(d.isVisible());
      EXPECT_EQ(ctx->settings.userLevel, 0);
      Type(d, 1610, password);
      static_cast<QPushButton*>(d.Control(1))->click();
      ASSERT_TRUE(Spin([&] { return !d.isVisible(); }, kGuardMs)) << Caption(d);
    });
  }

  std::vector<std::string> boxes;
  int answer = IDOK;
};

struct Database {
  const char* name;
  bool postgres;
};

class AccountsOnDatabase : public AccountsLarkcore, public ::testing::WithParamInterface<Database> {
 protected:
  void SetUp() override {
    if (GetParam().postgres) {
      std::string why;
      pg = test::PostgresCluster::Shared(&why);
      if (!pg) GTEST_SKIP() << why;
    }
    StartService();
  }
  // `sql` answers one row on the service's database: its text ("a|b"), or "".
  std::string Row(const std::string& sql) {
    if (pg) {
      // psql fails on a division by zero: no matching row gives an empty answer.
      return pg->psql("select 1/(select count(*) from (" + sql + ") as q)") ? "<row>" : "";
    }
    std::string out =
        Output({"/usr/bin/sqlite3", "-cmd", ".timeout 20000", service.file("ups.db"), sql});
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
    return out;
  }
  test::PostgresCluster* pg = nullptr;
};

TEST_P(AccountsOnDatabase, SupervisorLogsInAddsAccountsAndLogsOut) {
  EnableDatabase(pg ? pg->dsn() : "", pg ? pg->user() : "");
  if (!pg) {
    EXPECT_TRUE(FileExists(service.file("ups.db")));
  }
  EXPECT_FALSE(Row("select account from usr where account='admin' and level=1").empty());

  LoginThroughTheMenu("admin", "kellomar");
  EXPECT_EQ(ctx->settings.userLevel, 1);
  EXPECT_EQ(Menu(IDM_LOGIN)->text().toStdString(), ctx->texts.view.logout);
  ASSERT_TRUE(Spin([&] { return serviceLink().state() == LinkState{7, 0}; }, kGuardMs));
  EXPECT_TRUE(Menu(IDM_ACCESS_MANAGEMENT)->isEnabled());

  AccessManagementDialog am(*env, nullptr);
  am.Init();
  ASSERT_TRUE(Spin([&] { return Caption(am).ends_with("MSG3"); }, kGuardMs)) << Caption(am);
  EXPECT_TRUE(am.accounts().size() == 1 && am.accounts()[0].account == "admin");
  auto add = [&](const std::string& account, const std::string& password) {
    Type(am, 1026, account);
    Type(am, 1610, password);
    boxes.clear();
    am.Add();
    ASSERT_TRUE(Spin([&] { return Caption(am).ends_with("MSG3") && !boxes.empty(); }, kGuardMs))
        << Caption(am);
    EXPECT_EQ(boxes, std::vector<std::string>{"M_38"});
  };
  add("alice", "wonder");
  add("operator-north-01-xy", "north");
  add("operator-north-01-x", "north");
  const auto* list = static_cast<ReportListView*>(am.Control(1122));
  std::string cell;
  ASSERT_TRUE(GetListItemText(list, 0, 2, &cell));
  EXPECT_EQ(cell, "********");
  const std::string alice = pg ? "<row>" : "2|" + EncodePassword(std::string("wonder\0", 7));
  EXPECT_EQ(Row("select level, password from usr where account='alice' and level=2 and password='" +
                EncodePassword(std::string("wonder\0", 7)) + "'"),
            alice);
  // The 20-character account goes, and only it.
  Type(am, 1026, "operator-north-01-xy");
  answer = IDYES;
  am.Delete();
  ASSERT_TRUE(
      Spin([&] { return Caption(am).ends_with("MSG3") && boxes.back() == "M_43"; }, kGuardMs));
  EXPECT_TRUE(Row("select account from usr where account='operator-north-01-xy'").empty());
  EXPECT_FALSE(Row("select account from usr where account='operator-north-01-x'").empty());
  // The supervisor, typed, is refused.
  boxes.clear();
  Type(am, 1026, "admin");
  am.Delete();
  EXPECT_EQ(boxes, std::vector<std::string>{"M_90"});

  // Logout: the level drops, the menu offers Login, the session waits at 4/2.
  OnModal(IDM_LOGIN, [&](DialogBase& d) {
    ASSERT_TRUE(Spin([&] { return !d.isVisible(); }, kGuardMs)) << Caption(d);
    EXPECT_EQ(static_cast<QProgressBar*>(d.Control(kProgressControl))->value(), 100);
  });
  EXPECT_EQ(ctx->settings.userLevel, 0);
  EXPECT_EQ(Menu(IDM_LOGIN)->text().toStdString(), ctx->texts.view.login);
  ASSERT_TRUE(Spin([&] { return serviceLink().state() == LinkState{4, 2}; }, kGuardMs));

  // Alice logs in with her password, changes it, and logs in with the new one.
  ASSERT_TRUE(ctx->settings.accountsInUse);
  LoginDialog login(*env, kLoginResource, nullptr);
  Type(login, 1026, "alice");
  Type(login, 1610, "wonder");
  login.Ok();
  ASSERT_TRUE(Spin([&] { return login.result() == 1; }, kGuardMs)) << Caption(login);
  EXPECT_EQ(ctx->settings.userLevel, 2);
  // The session restarts with the new level before the next request.
  ASSERT_TRUE(Spin([&] { return serviceLink().state() == LinkState{7, 0}; }, kGuardMs));
  ASSERT_TRUE(Spin([&] { return serviceLink().session().databaseState == 2; }, kGuardMs));
  PasswordChangeDialog change(*env, nullptr);
  Type(change, 1097, "land");
  Type(change, 1098, "land");
  change.Ok();
  ASSERT_TRUE(Spin([&] { return change.result() == 1; }, kGuardMs)) << Caption(change);
  EXPECT_FALSE(Row("select account from usr where account='alice' and password='" +
                   EncodePassword(std::string("land\0", 5)) + "'")
                   .empty());
}

INSTANTIATE_TEST_SUITE_P(Databases, AccountsOnDatabase,
                         ::testing::Values(Database{"SQLite", false}, Database{"PostgreSQL", true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(AccountsLarkcore, PasswordSetupChangesTheServicesControlPassword) {
  StartService();
  PasswordSetupDialog d(*env, nullptr);
  Type(d, 1096, "not it");
  d.Ok();
  Type(d, 1096, "");
  Type(d, 1097, "Gate1");
  Type(d, 1098, "Gate2");
  d.Ok();
  EXPECT_EQ(boxes, (std::vector<std::string>{"M_28", "M_29"}));
  Type(d, 1098, "Gate1");
  d.Ok();
  ASSERT_TRUE(Spin([&] { return d.closing(); }, kGuardMs)) << Caption(d);
  EXPECT_EQ(Caption(d), "Password Setup - MSG3");
  EXPECT_EQ(ctx->settings.service.controlPassword, "Gate1");
  EXPECT_TRUE(Spin(
      [&] {
        return ReadProfileString(ManagerIni(), "Control", "Password.Password", "", 64) ==
               EncodePassword("Gate1");
      },
      kGuardMs));
}

// The service stopped: each dialog shows its failure within its time-out,
// while a 100 ms probe timer of the window thread keeps firing.
TEST_F(AccountsLarkcore, EachDialogFailsWhileTheServiceDoesNotAnswer) {
  StartService({{"Enable", "Yes"}});
  ASSERT_TRUE(Spin([&] { return serviceLink().session().databaseState == 2; }, kGuardMs));
  int probes = 0;
  QTimer probe;
  QObject::connect(&probe, &QTimer::timeout, [&] { ++probes; });
  probe.start(100);
  ASSERT_EQ(kill(larkcore->pid(), SIGSTOP), 0);
  struct Case {
    const char* what;
    std::function<std::unique_ptr<DialogBase>()> send;
    uint32_t timeoutMs;
    const char* failure;
  } cases[] = {
      {"login",
       [&] {
         auto d = std::make_unique<LoginDialog>(*env, kLoginResource, nullptr);
         Type(*d, 1026, "admin");
         d->Ok();
         return std::unique_ptr<DialogBase>(std::move(d));
       },
       5000, "Login - MSG1"},
      {"password setup",
       [&] {
         auto d = std::make_unique<PasswordSetupDialog>(*env, nullptr);
         d->Ok();
         return std::unique_ptr<DialogBase>(std::move(d));
       },
       5000, "Password Setup - MSG1"},
      {"logout",
       [&] {
         auto d = std::make_unique<LogoutDialog>(*env, nullptr);
         d->Init();
         return std::unique_ptr<DialogBase>(std::move(d));
       },
       5000, "Logout - MSG1"},
      {"access management",
       [&] {
         auto d = std::make_unique<AccessManagementDialog>(*env, nullptr);
         d->Init();
         return std::unique_ptr<DialogBase>(std::move(d));
       },
       10000, "Access Management - MSG13"},
      {"establish tables",
       [&] {
         auto d = std::make_unique<DatabaseDialog>(*env, nullptr);
         d->Init();
         d->KillReplyTimer();  // 12/0 given up
         d->EstablishTables();
         return std::unique_ptr<DialogBase>(std::move(d));
       },
       5000, "Database - MSG4"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::unique_ptr<DialogBase> d = c.send();
    ASSERT_TRUE(d->waiting()) << Caption(*d);
    const int before = probes;
    ASSERT_TRUE(Spin([&] { return probes >= before + 3; }, kGuardMs));  // the window thread runs on
    clock.advance(c.timeoutMs);
    EXPECT_TRUE(d->waiting());  // not past the time-out yet
    clock.advance(1);
    ASSERT_TRUE(Spin([&] { return Caption(*d) == c.failure; }, kGuardMs)) << Caption(*d);
    if (d->closing()) {
      const int during = probes;
      ASSERT_TRUE(Spin([&] { return probes >= during + 3; }, kGuardMs));
    }
  }
}

}  // namespace
}  // namespace lark
