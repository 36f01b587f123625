// The Database and Backup Plan dialogs on a link whose replies the test
// feeds: the record sent is the service's own with the dialog's changes,
// the settings applied after 12/6, the button rules, the questions and
// refusals made before sending, and the plan rows.
#include "console/dialogs/accounts/database_dialogs.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLineEdit>

#include "tests/console/dialogs/dialog_fixture.h"

namespace lark {
namespace {

struct Fixture : test::DialogFixture {
  Fixture() {
    RegisterDatabaseDialogs(env);
    for (int n = 1; n <= 9; ++n) setText("Dialog-Database", "MSG" + std::to_string(n), "MSG" + std::to_string(n));
    ctx.messageBox = [this](QWidget*, const std::string&, const std::string& text, unsigned) {
      boxes.push_back(text);
      return answerYes ? int(IDYES) : int(IDNO);
    };
    for (int n : {34, 35, 91, 92, 93}) setText("MessageBox", "M_" + std::to_string(n), std::to_string(n));
  }
  std::vector<uint8_t> request() {
    while (auto head = link.queues().peek(3)) {
      if (head->requestId == link.pending().sequence && head->requestId != 0) return head->data;
      link.queues().dropHead(3);
    }
    return {};
  }
  void answer(DialogBase& d, std::vector<uint8_t> data) {
    request();
    reply(kLinkCmdUserDatabase, std::move(data));
    OnReplyTimer(d);
  }
  static DatabaseSettingsRecord ServiceRecord() {
    DatabaseSettingsRecord r;
    r.plans = {BackupPlan{6, 1, "/srv/backup/ups/"}, BackupPlan{12, 0, "/srv/backup/op/"}, BackupPlan{3, 0, ""}};
    return r;
  }
  void answerRecord(DialogBase& d) {
    const auto img = DatabaseSettingsImage(ServiceRecord());
    std::vector<uint8_t> data{23, 0};
    data.insert(data.end(), img.begin(), img.end());
    answer(d, data);
  }
  std::vector<std::string> boxes;
  bool answerYes = true;
};

std::string Caption(const QWidget& d) { return d.windowTitle().toStdString(); }

TEST(DatabaseDialog, SendsTheServicesRecordWithTheChangesThenApplies) {
  Fixture f;
  f.ctx.settings.service.upsLogBackupDir = "/home/console/install/UPSLog";  // resolved by the console
  f.link.session().userLevel = 2;
  DatabaseDialog d(f.env, nullptr);
  d.Init();
  const std::vector<uint8_t> ask = f.request();
  ASSERT_EQ(ask.size(), 6u);
  EXPECT_EQ(ask[5], 0);
  f.answerRecord(d);
  test::AccessibleToggle(d.Control(1119));  // as a screen reader ticks it
  static_cast<QLineEdit*>(d.Control(1118))->setText("LarkPg");
  d.OkAndConnect();
  std::vector<uint8_t> frame = f.request();
  ASSERT_EQ(frame.size(), 6u + kDatabaseSettingsSize);
  EXPECT_EQ(frame[5], 1);
  DatabaseSettingsRecord want = Fixture::ServiceRecord();
  want.inUse = 1;
  want.source = "LarkPg";
  EXPECT_EQ(GetDatabaseSettingsRecord(frame, 6), want);
  EXPECT_FALSE(d.Control(1)->isEnabled());
  static_cast<QLineEdit*>(d.Control(1118))->setText("typed while waiting");
  f.answer(d, {23, 1});
  frame = f.request();
  ASSERT_EQ(frame.size(), 6u);
  EXPECT_EQ(frame[5], 6);
  f.answer(d, {23, 6});
  EXPECT_EQ(Caption(d), "Database - MSG3");
  EXPECT_TRUE(f.ctx.settings.service.databaseEnabled);
  EXPECT_EQ(f.ctx.settings.service.odbcSource, "LarkPg");
  EXPECT_EQ(f.ctx.settings.service.upsLogBackupDir, "/srv/backup/ups/");
  EXPECT_EQ(f.link.session().accessSwitch, 1);
  EXPECT_EQ(f.link.session().userLevel, 0);
  EXPECT_EQ(f.link.session().databaseState, 0);
}

TEST(DatabaseDialog, ButtonRulesByUseStateAndLevel) {
  struct Case {
    bool inUse;
    uint8_t state;
    int level;
    bool enable, establish, clear, plan;
  } cases[] = {
      {false, 2, 2, true, false, false, false},
      {true, 1, 1, true, false, false, false},
      {true, 2, 1, true, true, true, true},
      {true, 2, 2, true, true, true, true},
      {true, 2, 3, false, true, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.inUse << " " << int(c.state) << " " << c.level);
    Fixture f;
    f.ctx.settings.accountsInUse = c.inUse;
    f.ctx.settings.userLevel = c.level;
    f.link.session().databaseState = c.state;
    DatabaseDialog d(f.env, nullptr);
    d.Init();
    EXPECT_FALSE(d.Control(1016)->isEnabled());  // 12/0 out: everything waits
    f.answerRecord(d);
    EXPECT_TRUE(d.Control(1)->isEnabled());
    EXPECT_EQ(d.Control(1119)->isEnabled(), c.enable);
    EXPECT_EQ(d.Control(1016)->isEnabled(), c.establish);
    EXPECT_EQ(d.Control(1017)->isEnabled(), c.clear);
    EXPECT_EQ(d.Control(1018)->isEnabled(), c.plan);
  }
}

TEST(DatabaseDialog, QuestionsAndRefusalsSendNothing) {
  struct Case {
    const char* what;
    uint8_t state;
    bool yes;
    int button;
    const char* box;
  } cases[] = {
      {"establish while not connected", 0, true, 1016, "34"},
      {"clear while not connected", 1, true, 1017, "34"},
      {"clear answered No", 2, false, 1017, "35"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Fixture f;
    f.answerYes = c.yes;
    f.link.session().databaseState = c.state;
    DatabaseDialog d(f.env, nullptr);
    d.Init();
    f.answerRecord(d);
    c.button == 1016 ? d.EstablishTables() : d.ClearHistory();
    EXPECT_EQ(f.boxes, std::vector<std::string>{c.box});
    EXPECT_TRUE(f.request().empty());
  }
}

TEST(BackupRows, MonthsFoldersAndSeparators) {
  struct Case {
    const char* months;
    std::string folder;
    BackupRowProblem problem;
    uint8_t storedMonths;
    std::string storedFolder;
  } cases[] = {
      {"3", "", BackupRowProblem::kNone, 3, ""},
      {"255", "C:\\backup", BackupRowProblem::kNone, 255, "C:\\backup\\"},
      {"12", "/var/backup/", BackupRowProblem::kNone, 12, "/var/backup/"},
      {"1", "D:\\b\\", BackupRowProblem::kNone, 1, "D:\\b\\"},
      {"300", "", BackupRowProblem::kMonths, 0, ""},
      {"0", "", BackupRowProblem::kMonths, 0, ""},
      {"", "", BackupRowProblem::kMonths, 0, ""},
      {"4x", "", BackupRowProblem::kMonths, 0, ""},
      {"6", std::string(254, 'd'), BackupRowProblem::kNone, 6, std::string(254, 'd') + "\\"},
      {"6", std::string(255, 'd'), BackupRowProblem::kFolderLength, 0, ""},
      {"6", "C:\\a\tb", BackupRowProblem::kLineBreak, 0, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.months) + " " + c.folder.substr(0, 20));
    BackupPlan out;
    EXPECT_EQ(CheckBackupRow({c.months, true, c.folder}, &out), c.problem);
    if (c.problem != BackupRowProblem::kNone) continue;
    EXPECT_EQ(out.months, c.storedMonths);
    EXPECT_EQ(out.folder, c.storedFolder);
    EXPECT_EQ(out.deleteBackedUp, 1);
    // The stored folder always fits its field with the terminator.
    EXPECT_EQ(GetDatabaseSettingsRecord(DatabaseSettingsImage({0, "", "", "", {out, out, out}}), 0).plans[0], out);
  }
}

TEST(BackupPlanDialog, SendsThePlanAndTakesItWhenConfirmed) {
  Fixture f;
  DatabaseSettingsRecord copy = Fixture::ServiceRecord();
  f.ctx.openDialog.id = kDatabaseDialogId;
  BackupPlanDialog d(f.env, copy, nullptr);
  d.Init();
  EXPECT_EQ(static_cast<QLineEdit*>(d.Control(1197))->text(), "6");
  EXPECT_TRUE(static_cast<QCheckBox*>(d.Control(1198))->isChecked());
  static_cast<QLineEdit*>(d.Control(1201))->setText("300");
  d.Ok();
  EXPECT_EQ(f.boxes, std::vector<std::string>{"91"});
  EXPECT_TRUE(f.request().empty());
  static_cast<QLineEdit*>(d.Control(1201))->setText("24");
  static_cast<QLineEdit*>(d.Control(1006))->setText("C:\\hist");
  d.Ok();
  const std::vector<uint8_t> frame = f.request();
  ASSERT_EQ(frame.size(), 6u + kDatabaseSettingsSize);
  const DatabaseSettingsRecord sent = GetDatabaseSettingsRecord(frame, 6);
  EXPECT_EQ(sent.plans[2], (BackupPlan{24, 0, "C:\\hist\\"}));
  EXPECT_EQ(sent.plans[0], copy.plans[0]);
  f.answer(d, {23, 1});
  EXPECT_EQ(d.result(), 1);
  EXPECT_EQ(copy.plans[2], sent.plans[2]);
  EXPECT_EQ(f.ctx.settings.service.historyMonths, 24);
  EXPECT_EQ(f.ctx.settings.service.historyBackupDir, "C:\\hist\\");
  EXPECT_EQ(f.ctx.openDialog.id, kDatabaseDialogId);
}

}  // namespace
}  // namespace lark
