// The password, login and logout dialogs on a link whose replies the test
// feeds: what each sends byte for byte, the checks made before sending, the
// login answers taken or refused, and the logout's bar.
#include "console/dialogs/accounts/account_dialogs.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <QLineEdit>
#include <QProgressBar>

#include "common/password.h"
#include "tests/console/dialogs/dialog_fixture.h"

namespace lark {
namespace {

struct Fixture : test::DialogFixture {
  Fixture() {
    RegisterAccountDialogs(env);
    for (const char* section : {"Dialog-ControlPasswprd", "Dialog-DatabasePassword", "Dialog-LoginControl",
                                "Dialog-LogoutDatabase"})
      for (const char* key : {"MSG1", "MSG2", "MSG3"}) setText(section, key, key);
    for (int n : {3, 28, 29}) setText("MessageBox", "M_" + std::to_string(n), "M_" + std::to_string(n));
    ctx.messageBox = [this](QWidget*, const std::string&, const std::string& text, unsigned) {
      boxes.push_back(text);
      return int(IDOK);
    };
    ctx.settings.service.controlPassword = "Secret";
  }
  // The dialog's request as the service gets it (operation records before
  // it dropped): command, sub-command and payload.
  std::vector<uint8_t> request() {
    while (auto head = link.queues().peek(3)) {
      if (head->requestId == link.pending().sequence && head->requestId != 0) return head->data;
      link.queues().dropHead(3);
    }
    return {};
  }
  // `data` (code first) as the reply of the dialog's request, taken on its next tick.
  void answer(DialogBase& d, uint8_t command, std::vector<uint8_t> data) {
    request();
    reply(command, std::move(data));
    OnReplyTimer(d);
  }
  void type(DialogBase& d, int id, const std::string& text) {
    static_cast<QLineEdit*>(d.Control(id))->setText(QString::fromStdString(text));
  }
  std::vector<std::string> boxes;
};

std::string Caption(const QWidget& d) { return d.windowTitle().toStdString(); }
std::vector<uint8_t> Payload(const std::vector<uint8_t>& frame) {
  return frame.size() > 6 ? std::vector<uint8_t>(frame.begin() + 6, frame.end()) : std::vector<uint8_t>{};
}

TEST(PasswordSetupDialog, ChecksThenSendsTheFieldAndKeepsWhatWasSent) {
  struct Case {
    const char* what;
    const char* old;
    const char* again;
    const char* box;  // shown instead of sending
  } cases[] = {
      {"wrong old", "secret", "New1", "M_28"},
      {"repetition differs", "Secret", "New2", "M_29"},
      {"sent", "Secret", "New1", nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Fixture f;
    PasswordSetupDialog d(f.env, nullptr);
    f.type(d, 1096, c.old);
    f.type(d, 1097, "New1");
    f.type(d, 1098, c.again);
    d.Ok();
    if (c.box) {
      EXPECT_EQ(f.boxes, std::vector<std::string>{c.box});
      EXPECT_TRUE(f.request().empty());
      continue;
    }
    const std::vector<uint8_t> frame = f.request();
    ASSERT_GE(frame.size(), 6u);
    EXPECT_EQ(frame[4], kLinkCmdControlPassword);
    EXPECT_EQ(frame[5], 2);
    const auto field = ControlPasswordField("New1");
    EXPECT_EQ(Payload(frame), std::vector<uint8_t>(field.begin(), field.end()));
    EXPECT_FALSE(d.Control(1)->isEnabled());
    // The edit changes while waiting: the reply stores what was sent.
    f.type(d, 1097, "Other");
    f.answer(d, kLinkCmdControlPassword, {47});
    EXPECT_EQ(f.ctx.settings.service.controlPassword, "New1");
    EXPECT_EQ(Caption(d), "Password Setup - MSG3");
    EXPECT_TRUE(d.closing());
  }
}

TEST(PasswordSetupDialog, RefusalGivesTheButtonsBack) {
  Fixture f;
  PasswordSetupDialog d(f.env, nullptr);
  f.type(d, 1096, "Secret");
  d.Ok();
  f.answer(d, kLinkCmdControlPassword, {48});
  EXPECT_EQ(Caption(d), "Password Setup - MSG1");
  EXPECT_TRUE(d.Control(1)->isEnabled());
  EXPECT_FALSE(d.closing());
  EXPECT_EQ(f.ctx.settings.service.controlPassword, "Secret");
}

TEST(ControlGate, ComparesWithTheStoredPasswordKeepingCase) {
  struct Case {
    const char* typed;
    int result;
  } cases[] = {{"Secret", 1}, {"secret", 0}, {"", 0}, {"Secret ", 0}};
  for (const Case& c : cases) {
    Fixture f;
    LoginDialog d(f.env, kControlGateResource, nullptr);
    EXPECT_EQ(d.Control(1026), nullptr);
    f.type(d, 1610, c.typed);
    d.Ok();
    EXPECT_EQ(d.result(), c.result) << c.typed;
    EXPECT_TRUE(f.request().empty());
  }
}

TEST(LoginDialog, SendsTheAccountAndThePasswordWithItsTerminatorEncoded) {
  Fixture f;
  f.ctx.settings.accountsInUse = true;
  LoginDialog d(f.env, kLoginResource, nullptr);
  const std::string account(31, 'a');
  f.type(d, 1026, account + "bc");
  f.type(d, 1610, "kellomar");
  d.Ok();
  const std::vector<uint8_t> frame = f.request();
  ASSERT_EQ(frame.size(), 6u + kLoginRecordSize);
  EXPECT_EQ(frame[5], 7);
  const LoginRecord sent = GetLoginRecord(Payload(frame), 0);
  EXPECT_EQ(sent.account, account);  // 31 characters, as accounts are created
  EXPECT_EQ(sent.password, EncodePassword(std::string("kellomar\0", 9)));
}

TEST(LoginDialog, TakesOnlyAWholeAnswerWithAnAccountsLevel) {
  auto answer = [](uint8_t code, uint8_t level, size_t cut) {
    LoginRecord r{1, 2, "admin", "", level};
    const auto img = LoginRecordImage(r);
    // Sized first: g++ 12 at -O3 misreads an insert after the two bytes.
    std::vector<uint8_t> data(2 + img.size() - cut);
    data[0] = code;
    data[1] = 7;
    std::copy(img.begin(), img.end() - static_cast<long>(cut), data.begin() + 2);
    return data;
  };
  struct Case {
    const char* what;
    std::vector<uint8_t> data;
    bool taken;
  } cases[] = {
      {"supervisor", answer(23, 1, 0), true},
      {"viewer", answer(23, 3, 0), true},
      {"short by a byte", answer(23, 1, 1), false},
      {"level 0", answer(23, 0, 0), false},
      {"level 4", answer(23, 4, 0), false},
      {"refused", answer(24, 1, 0), false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Fixture f;
    f.ctx.settings.accountsInUse = true;
    f.link.session().userLevel = 2;
    LoginDialog d(f.env, kLoginResource, nullptr);
    f.type(d, 1026, "admin");
    d.Ok();
    f.answer(d, kLinkCmdUserDatabase, c.data);
    if (c.taken) {
      EXPECT_EQ(d.result(), 1);
      EXPECT_EQ(f.link.session().userLevel, c.data[2 + kLoginOffLevel]);
    } else {
      EXPECT_EQ(Caption(d), "Login - MSG1");
      EXPECT_TRUE(d.Control(1)->isEnabled());
      EXPECT_EQ(f.link.session().userLevel, 2);
    }
  }
}

TEST(PasswordChangeDialog, SendsOnlyForALoggedInAccountOnAConnectedDatabase) {
  struct Case {
    bool accounts;
    uint8_t state;
    bool sent;
  } cases[] = {{true, 2, true}, {false, 2, false}, {true, 1, false}};
  for (const Case& c : cases) {
    Fixture f;
    f.ctx.settings.accountsInUse = c.accounts;
    f.link.session().databaseState = c.state;
    f.link.session().userName = "alice";
    PasswordChangeDialog d(f.env, nullptr);
    f.type(d, 1097, "pw2");
    f.type(d, 1098, "pw2");
    d.Ok();
    const std::vector<uint8_t> frame = f.request();
    if (!c.sent) {
      EXPECT_TRUE(frame.empty());
      EXPECT_EQ(Caption(d), "Password Change - MSG1");
      continue;
    }
    ASSERT_EQ(frame.size(), 6u + kLoginRecordSize);
    EXPECT_EQ(frame[5], 11);
    const LoginRecord sent = GetLoginRecord(Payload(frame), 0);
    EXPECT_EQ(sent.account, "alice");
    EXPECT_EQ(sent.password, EncodePassword(std::string("pw2\0", 4)));
    f.answer(d, kLinkCmdUserDatabase, {23, 11});
    EXPECT_EQ(d.result(), 1);
  }
}

TEST(LogoutDialog, BarMovesEachTickAndTheLevelDropsOnTheAnswer) {
  Fixture f;
  f.link.session().userLevel = 1;
  f.link.session().accessSwitch = 1;
  LogoutDialog d(f.env, nullptr);
  d.Init();
  const std::vector<uint8_t> frame = f.request();
  ASSERT_EQ(frame.size(), 6u);
  EXPECT_EQ(frame[5], 8);
  auto* bar = static_cast<QProgressBar*>(d.Control(kProgressControl));
  OnReplyTimer(d);
  EXPECT_EQ(bar->value(), 16);
  for (int i = 0; i < 6; ++i) OnReplyTimer(d);
  EXPECT_EQ(bar->value(), 100);
  f.answer(d, kLinkCmdUserDatabase, {23, 8});
  EXPECT_EQ(d.result(), 1);
  EXPECT_EQ(f.link.session().userLevel, 0);
  EXPECT_EQ(f.link.session().accessSwitch, 1);
}

}  // namespace
}  // namespace lark
