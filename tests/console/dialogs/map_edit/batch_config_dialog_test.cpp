// SNMP batch configuration against the system's FTP client and real FTP
// servers (pyftpdlib, private network namespace) standing in for the cards:
// what is listed, downloads and uploads and how each failure is told, the
// client stopped at the time-out and at Close, and the FTP login's refusals.
#include "console/dialogs/map_edit/batch_config_dialog.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>

#include "console/dialogs/settings/protection_switch.h"
#include "console/link/device_endpoints.h"
#include "core/live_data.h"
#include "devices/snmp/snmp_live_data.h"
#include "tests/console/dialogs/dialog_fixture.h"
#include "tests/support/netns.h"
#include "tests/support/peer_process.h"
#include "tests/support/tree_fixtures.h"
#include "tests/support/wait.h"

namespace lark {
namespace {

struct Fixture : test::DialogFixture {
  Fixture() {
    RegisterBatchConfigDialog(env);
    env.endpoints = &endpoints;
    for (const char* key : {"MSG4", "MSG5", "MSG6"}) setText("Dialog-Control", key, key);
    for (int n : {50, 51, 52, 115, 116, 117, 118})
      setText("MessageBox", "M_" + std::to_string(n), "M" + std::to_string(n));
    ctx.messageBox = [this](QWidget*, const std::string&, const std::string& text, unsigned) {
      boxes.push_back(text);
      return int(IDOK);
    };
    group = &test::AddGroup(ctx.tree, ctx.tree.root(), "Room");
  }
  DeviceNode& card(const char* ip, const char* firmware) {
    DeviceNode& n = test::AddSnmp(ctx.tree, *group, ip);
    n.setTitle(std::string("Card ") + ip);
    n.ensureBlock(BlockKind::kSnmp).putText(snmp_off::kFirmware, snmp_off::kFirmwareSize, firmware);
    endpoints.addSnmpDevice(n);
    return n;
  }
  std::string local(const char* name) const { return dir.file(std::string("Ftp/") + name); }
  // The next FTP login answers with this account.
  void login(std::string account, std::string password) {
    test::OnModal<FtpLoginDialog>([account, password](FtpLoginDialog& d) {
      dynamic_cast<QLineEdit*>(d.Control(kFtpAccountEdit))
          ->setText(QString::fromStdString(account));
      dynamic_cast<QLineEdit*>(d.Control(kFtpPasswordEdit))
          ->setText(QString::fromStdString(password));
      d.Accept();
    });
  }
  // Runs a transfer until the dialog has decided it (the client ended);
  // the fake clock stands still, so no time-out decides it instead.
  void transfer(BatchConfigDialog& d, int button, int row) {
    dynamic_cast<QListWidget*>(
        d.Control(button == kPutSystem || button == kPutSnmp ? kDestList : kSourceList))
        ->setCurrentRow(row);
    d.Transfer(button);
    ASSERT_TRUE(d.transferring());
    ASSERT_TRUE(test::Eventually(
        [&] {
          d.Tick();
          return !d.transferring();
        },
        60000));
  }
  std::vector<std::string> takeBoxes() { return std::exchange(boxes, {}); }

  ConsoleEndpoints endpoints;
  DeviceNode* group = nullptr;
  std::vector<std::string> boxes;
};

std::string Text(BatchConfigDialog& d, int id) {
  if (auto* e = dynamic_cast<QPlainTextEdit*>(d.Control(id))) return e->toPlainText().toStdString();
  return dynamic_cast<QLabel*>(d.Control(id))->text().toStdString();
}

std::vector<std::string> Entries(BatchConfigDialog& d, int list) {
  std::vector<std::string> out;
  auto* l = dynamic_cast<QListWidget*>(d.Control(list));
  for (int i = 0; i < l->count(); ++i) out.push_back(l->item(i)->text().toStdString());
  return out;
}

TEST(BatchConfigDialog, OpeningListsTheFtpCardsAndShowsAWholeEarlierDownloadQuietly) {
  Fixture f;
  // The endpoint table's order, not the tree's: .3 was added to it first.
  DeviceNode& c3 = test::AddSnmp(f.ctx.tree, *f.group, "127.0.0.3");
  c3.setTitle("Card (3)");
  c3.ensureBlock(BlockKind::kSnmp).putText(snmp_off::kFirmware, snmp_off::kFirmwareSize, "1.14");
  f.endpoints.addSnmpDevice(c3);
  DeviceNode& c2 = f.card("127.0.0.2", "2.1c");
  f.card("127.0.0.5", "1.13");
  f.card("127.0.0.6", "");
  MakeDirs(f.dir.file("Ftp"));
  WriteFileAtomic(f.local("configure.ini"), "[System]\r\nName=A\r\n[End]\r\n");
  WriteFileAtomic(f.local("snmp.ini"), "[SNMP]\r\nhalf a file\r\n");

  BatchConfigDialog d(f.env, nullptr);
  d.Init();
  const std::vector<std::string> listed = {"Card (3)(" + std::to_string(c3.id()) + ")",
                                           "Card 127.0.0.2(" + std::to_string(c2.id()) + ")"};
  EXPECT_EQ(Entries(d, kSourceList), listed);
  EXPECT_EQ(Entries(d, kDestList), listed);
  EXPECT_EQ(Text(d, kSystemText), "[System]\nName=A\n[End]");
  EXPECT_EQ(Text(d, kSystemPath), f.local("configure.ini"));
  EXPECT_EQ(Text(d, kSnmpText), "");
  EXPECT_TRUE(f.boxes.empty());
  EXPECT_TRUE(f.ctx.timers.IsSet(&d, kBatchTimerId));
}

TEST(BatchConfigDialog, LoginRefusesWhatCouldLeaveItsPlaceInTheScript) {
  struct Case {
    const char* account;
    const char* password;
    bool kept;
  };
  const Case cases[] = {
      {"admin", "pa ss'!", true}, {"admin", "", true},      {"", "x", false},
      {"ad\"m", "x", false},      {"admin", "a\"b", false}, {"admin", "a\tb", false},
      {"adm\x01", "x", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.account + std::string("/") + c.password);
    Fixture f;
    FtpLoginDialog d(f.env, nullptr);
    dynamic_cast<QLineEdit*>(d.Control(kFtpAccountEdit))->setText(c.account);
    dynamic_cast<QLineEdit*>(d.Control(kFtpPasswordEdit))->setText(c.password);
    d.Accept();
    EXPECT_EQ(f.ctx.commands.ftpAccount, c.kept ? c.account : "");
    EXPECT_EQ(f.boxes, c.kept ? std::vector<std::string>{} : std::vector<std::string>{"M115"});
    EXPECT_EQ(d.result(), c.kept ? 1 : 0);
  }
  // A card address that is no host name is refused before any client starts.
  Fixture f;
  f.card("10.0.0.9 -d", "2.0");
  BatchConfigDialog d(f.env, nullptr);
  d.Init();
  f.login("admin", "secret");
  d.Transfer(kGetSystem);
  EXPECT_FALSE(d.transferring());
  EXPECT_EQ(f.boxes, std::vector<std::string>{"M116"});
}

// Cards: .2 ("2.1c") and .3 ("1.14") serve their folders, .4 ("1.14") a
// read-only account, .6 ("2.0") is down, .7 ("2.0") takes the connection and
// never answers, .8 ("2.0") serves card2's folder to an account without
// password, .9 ("2.0") greets without end; .5 ("1.13") is not listed.
class BatchConfigTransfers : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!test::EnterPrivateNetwork()) GTEST_SKIP() << "no private network namespace";
    for (const char* d : {"card2", "card3", "card4", "Ftp"}) MakeDirs(f.dir.file(d));
    WriteFileAtomic(f.dir.file("card2/configure.ini"), kCardText);
    WriteFileAtomic(f.dir.file("card2/snmp.ini"), "[SNMP]\r\nno end marker\r\n");
    // A file far past any configuration, sent as fast as loopback goes.
    WriteFileAtomic(f.dir.file("card3/snmp.ini"), "");
    ASSERT_EQ(truncate(f.dir.file("card3/snmp.ini").c_str(), 64 << 20), 0);
    const char* cards[][5] = {{"127.0.0.2", "card2", "", "admin", "s3cret"},
                              {"127.0.0.3", "card3", "", "admin", "s3cret"},
                              {"127.0.0.4", "card4", "ro", "admin", "s3cret"},
                              {"127.0.0.8", "card2", "", "guest", ""}};
    for (size_t i = 0; i < 4; ++i) {
      std::vector<std::string> argv = {
          "/usr/bin/python3", test::SourcePath("tests/peers/ftp_server.py"),
          "--address",        cards[i][0],
          "--user",           cards[i][3],
          "--password",       cards[i][4],
          "--folder",         f.dir.file(cards[i][1])};
      if (*cards[i][2]) argv.push_back("--read-only");
      ASSERT_TRUE(servers[i].start(argv));
    }
    ASSERT_TRUE(flood.start({"/usr/bin/python3", test::SourcePath("tests/peers/ftp_flood.py"),
                             "--address", "127.0.0.9"}));
    // A card that takes the connection and never greets.
    silent = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(21);
    inet_pton(AF_INET, "127.0.0.7", &a.sin_addr);
    ASSERT_EQ(bind(silent, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    ASSERT_EQ(listen(silent, 4), 0);
    for (auto [ip, fw] : {std::pair{"127.0.0.2", "2.1c"},
                          {"127.0.0.3", "1.14"},
                          {"127.0.0.4", "1.14"},
                          {"127.0.0.5", "1.13"},
                          {"127.0.0.6", "2.0"},
                          {"127.0.0.7", "2.0"},
                          {"127.0.0.8", "2.0"},
                          {"127.0.0.9", "2.0"}})
      f.card(ip, fw);
  }
  void TearDown() override {
    if (silent >= 0) close(silent);
  }
  static constexpr const char* kCardText =
      "[System]\r\nName=Card 2\r\n\r\nLocation=Hall\r\n[End]\r\n";
  enum Row { k2, k3, k4, k6, k7, k8, k9 };  // list rows

  Fixture f;
  test::PeerProcess servers[4];
  test::PeerProcess flood;
  int silent = -1;
};

TEST_F(BatchConfigTransfers, DownloadEditSaveAndUploadCopyACardsFileToAnother) {
  BatchConfigDialog d(f.env, nullptr);
  d.Init();
  f.login("admin", "s3cret");
  f.transfer(d, kGetSystem, k2);
  EXPECT_EQ(f.takeBoxes(), std::vector<std::string>{"M52"});
  EXPECT_EQ(Text(d, kSystemText), "[System]\nName=Card 2\n\nLocation=Hall\n[End]");
  EXPECT_EQ(Text(d, kSystemPath), f.local("configure.ini"));
  EXPECT_EQ(ReadFile(f.local("configure.ini")), kCardText);
  // The password went through the pipe only: nothing on disk holds it.
  EXPECT_EQ(ReadFile(f.local("ftp.log")).value_or("s3cret").find("s3cret"), std::string::npos);
  // The login is remembered for the next one.
  EXPECT_EQ(f.ctx.commands.ftpAccount, "admin");

  dynamic_cast<QPlainTextEdit*>(d.Control(kSystemText))
      ->setPlainText("[System]\n\nName=Card 3\n[End]\n");
  d.Save(ConfigFile::kSystem);
  EXPECT_EQ(f.takeBoxes(), std::vector<std::string>{"M51"});
  const std::string saved = "[System]\r\nName=Card 3\r\n[End]\r\n";
  EXPECT_EQ(ReadFile(f.local("configure.ini")), saved);

  f.login("admin", "s3cret");
  f.transfer(d, kPutSystem, k3);
  EXPECT_TRUE(f.takeBoxes().empty());
  EXPECT_EQ(ReadFile(f.dir.file("card3/configure.ini")), saved);
  EXPECT_TRUE(d.Control(kGetSystem)->isEnabled());
  EXPECT_TRUE(d.Control(kSourceList)->isEnabled());
}

TEST_F(BatchConfigTransfers, EachFailureIsToldOnceTheClientEnds) {
  BatchConfigDialog d(f.env, nullptr);
  d.Init();
  struct Case {
    const char* name;
    int button;
    Row row;
    const char* password;
  };
  const Case cases[] = {
      {"file without [End]", kGetSnmp, k2, "s3cret"},
      {"wrong password, get", kGetSystem, k2, "wrong"},
      {"wrong password, put", kPutSystem, k3, "wrong"},
      {"read-only account, put", kPutSnmp, k4, "s3cret"},
      {"card down, a password that a shell would run", kGetSystem, k6, "!touch z"},
  };
  ASSERT_FALSE(FileExists("z"));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    // Local copies for the puts; a get deletes its own first.
    for (const char* name : {"configure.ini", "snmp.ini"})
      WriteFileAtomic(f.local(name), "[Local]\r\n[End]\r\n");
    f.login("admin", c.password);
    f.transfer(d, c.button, c.row);
    EXPECT_EQ(f.takeBoxes(), std::vector<std::string>{"M50"});
  }
  EXPECT_EQ(Text(d, kSystemText) + Text(d, kSnmpText), "") << "a failed download is never shown";
  EXPECT_FALSE(FileExists("z"));
  EXPECT_FALSE(FileExists(f.dir.file("card3/configure.ini")));
  EXPECT_FALSE(FileExists(f.dir.file("card4/snmp.ini")));
}

TEST_F(BatchConfigTransfers, AnEmptyPasswordIsAnsweredFromTheScript) {
  BatchConfigDialog d(f.env, nullptr);
  d.Init();
  f.login("guest", "");
  f.transfer(d, kGetSystem, k8);
  EXPECT_EQ(f.takeBoxes(), std::vector<std::string>{"M52"});
  EXPECT_EQ(ReadFile(f.local("configure.ini")), kCardText);
}

TEST_F(BatchConfigTransfers, ACardThatSendsWithoutEndIsStoppedAndLeavesNoFile) {
  BatchConfigDialog d(f.env, nullptr);
  d.Init();
  // The data channel: stopped one byte past the largest configuration.
  f.login("admin", "s3cret");
  f.transfer(d, kGetSnmp, k3);
  EXPECT_EQ(f.takeBoxes(), std::vector<std::string>{"M50"});
  ASSERT_TRUE(d.child().status());
  EXPECT_TRUE(WIFSIGNALED(*d.child().status()) && WTERMSIG(*d.child().status()) == SIGXFSZ)
      << *d.child().status();
  EXPECT_FALSE(FileExists(f.local("snmp.ini")));
  EXPECT_EQ(Text(d, kSnmpText), "");
  // The control channel: its log is cut to its bound.
  f.login("admin", "s3cret");
  f.transfer(d, kGetSystem, k9);
  EXPECT_EQ(f.takeBoxes(), std::vector<std::string>{"M50"});
  EXPECT_FALSE(FileExists(f.local("configure.ini")));
  EXPECT_LE(ReadFile(f.local("ftp.log")).value_or("").size(), kMaxFtpLogBytes);
}

TEST_F(BatchConfigTransfers, ASilentCardIsGivenUpAfterTheLimitAndCloseLeavesNoClient) {
  BatchConfigDialog d(f.env, nullptr);
  d.Init();
  f.login("admin", "s3cret");
  dynamic_cast<QListWidget*>(d.Control(kSourceList))->setCurrentRow(k7);
  d.Transfer(kGetSystem);
  ASSERT_TRUE(d.transferring());
  const pid_t first = d.child().pid();
  EXPECT_FALSE(d.Control(kPutSnmp)->isEnabled());
  f.clock.advance(kFtpTransferLimitMs);
  d.Tick();
  EXPECT_TRUE(d.transferring()) << "not before the limit has passed";
  f.clock.advance(1);
  d.Tick();
  EXPECT_FALSE(d.transferring());
  EXPECT_EQ(f.takeBoxes(), std::vector<std::string>{"M50"});
  EXPECT_EQ(waitpid(first, nullptr, WNOHANG), -1) << "stopped and reaped";
  EXPECT_TRUE(d.Control(kPutSnmp)->isEnabled());

  f.login("admin", "s3cret");
  d.Transfer(kGetSystem);
  const pid_t second = d.child().pid();
  ASSERT_GT(second, 0);
  dynamic_cast<QPushButton*>(d.Control(2))->click();  // Close
  EXPECT_EQ(waitpid(second, nullptr, WNOHANG), -1);
  EXPECT_FALSE(f.ctx.timers.IsSet(&d, kBatchTimerId));
  EXPECT_TRUE(f.boxes.empty());
}

TEST(BatchConfigDialog, ProtectionSwitchAnswersToThisDialog) {
  Fixture f;
  BatchConfigDialog d(f.env, nullptr);
  d.Init();
  auto* box = d.findChild<ProtectionSwitch*>();
  ASSERT_TRUE(box);
  box->click();
  f.answerPending(kLinkCmdControlPassword, {2 * kLinkCmdControlPassword - 1});
  OnReplyTimer(d);
  EXPECT_EQ(d.windowTitle().toStdString(), "SNMP Device Batch Configuration - MSG6");
  EXPECT_EQ(f.ctx.settings.service.controlPasswordEnabled, 1);
  box->click();
  f.clock.advance(5001);
  OnReplyTimer(d);
  EXPECT_EQ(d.windowTitle().toStdString(), "SNMP Device Batch Configuration - MSG4");
  EXPECT_TRUE(box->isChecked()) << "back to the flag the service has";
}

}  // namespace
}  // namespace lark
