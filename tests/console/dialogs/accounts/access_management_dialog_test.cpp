// The Access Management dialog on a link whose replies the test feeds: the
// list in pieces with the supervisor left out, the records written, and
// the refusals made before anything is sent.
#include "console/dialogs/accounts/access_management_dialog.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QLineEdit>

#include "common/password.h"
#include "console/link/result_pages.h"
#include "console/lists/report_list.h"
#include "tests/console/dialogs/dialog_fixture.h"

namespace lark {
namespace {

constexpr const char* kList =
    "admin\troot\txxxx\t1\t2026-12-01 10:00:00\tThe supervisor\n"
    "alice\tAlice\tyyyy\t2\t2026-12-02 10:00:00\tday shift\n"
    "bob\tBob\tzzzz\t3\t2026-12-03 10:00:00\t\n"
    "odd\tOdd\twwww\t9\t2026-12-04 10:00:00\tunknown level\n";

struct Fixture : test::DialogFixture {
  Fixture() {
    RegisterAccessManagementDialog(env);
    for (int n = 1; n <= 13; ++n) setText("Dialog-Access Management", "MSG" + std::to_string(n), "MSG" + std::to_string(n));
    ctx.messageBox = [this](QWidget*, const std::string& caption, const std::string& text, unsigned) {
      boxes.push_back(caption + ":" + text);
      return int(IDYES);
    };
    for (int n : {36, 37, 38, 39, 40, 41, 42, 43, 90, 93}) setText("MessageBox", "M_" + std::to_string(n), std::to_string(n));
  }
  // The dialog's request (operation records before it dropped).
  std::vector<uint8_t> request() {
    while (auto head = link.queues().peek(3)) {
      if (head->requestId == link.pending().sequence && head->requestId != 0) return head->data;
      link.queues().dropHead(3);
    }
    return {};
  }
  // The operation records queued so far, as (code, text).
  std::vector<std::pair<int, std::string>> records() {
    std::vector<std::pair<int, std::string>> out;
    while (auto head = link.queues().peek(3)) {
      if (head->data.size() >= 6 + 264 && head->data[4] == kLinkCmdEventLog)
        out.push_back({head->data[10] | head->data[11] << 8, strAt(head->data, 12, 256)});
      if (head->requestId == link.pending().sequence && head->requestId != 0) break;
      link.queues().dropHead(3);
    }
    return out;
  }
  void answer(DialogBase& d, std::vector<uint8_t> data) {
    request();
    reply(kLinkCmdUserDatabase, std::move(data));
    OnReplyTimer(d);
  }
  // A list answer carrying `text` from `offset` of a result of `total` bytes.
  static std::vector<uint8_t> Piece(uint8_t sub, const std::string& text, uint32_t total, uint32_t offset) {
    std::vector<uint8_t> data{23, sub};
    data.resize(2 + kResultPageSize);
    PutResultPage(data, 2, {total, offset, static_cast<uint32_t>(text.size())});
    data.insert(data.end(), text.begin(), text.end());
    return data;
  }
  void listAnswered(AccessManagementDialog& d, const std::string& text = kList) {
    answer(d, Piece(13, text, static_cast<uint32_t>(text.size()), 0));
  }
  void type(DialogBase& d, int id, const std::string& text) {
    static_cast<QLineEdit*>(d.Control(id))->setText(QString::fromStdString(text));
  }
  std::vector<std::string> boxes;
};

std::string Caption(const QWidget& d) { return d.windowTitle().toStdString(); }

std::vector<std::string> Rows(const AccessManagementDialog& d) {
  std::vector<std::string> out;
  const auto* list = static_cast<const ReportListView*>(d.Control(1122));
  for (int r = 0; r < list->listModel()->rowCount(); ++r) {
    std::string row;
    for (int c = 0; c < 6; ++c) {
      std::string cell;
      GetListItemText(list, r, c, &cell);
      row += (c ? "|" : "") + cell;
    }
    out.push_back(row);
  }
  return out;
}

TEST(AccessManagementDialog, ListsEveryAccountButTheSupervisorHidingPasswords) {
  Fixture f;
  AccessManagementDialog d(f.env, nullptr);
  d.Init();
  const std::vector<uint8_t> ask = f.request();
  ASSERT_EQ(ask.size(), 7u);  // 12/13 with an empty text
  EXPECT_EQ(ask[5], 13);
  EXPECT_EQ(ask[6], 0);
  f.listAnswered(d);
  EXPECT_EQ(Caption(d), "Access Management - MSG3");
  EXPECT_EQ(Rows(d), (std::vector<std::string>{
                         "alice|Alice|********|Operator|2026-12-02 10:00:00|day shift",
                         "bob|Bob|********|Viewer|2026-12-03 10:00:00|",
                         "odd|Odd|********||2026-12-04 10:00:00|unknown level"}));
  d.ChooseRow(1);
  EXPECT_EQ(static_cast<QLineEdit*>(d.Control(1026))->text(), "bob");
  EXPECT_EQ(static_cast<QComboBox*>(d.Control(1100))->currentIndex(), 1);
}

TEST(AccessManagementDialog, ManyAccountsArriveInPiecesSupervisorAnywhere) {
  Fixture f;
  std::string text;
  for (int i = 0; i < 40; ++i) {
    if (i == 23) text += "admin\troot\txxxx\t1\t2026-12-01 10:00:00\tThe supervisor\n";
    text += "user" + std::to_string(i) + "\tA user with a long real name\tpppppppppppppppppppppppp\t2\t2026-12-05 11:12:13\t" +
            std::string(20, 'r') + "\n";
  }
  ASSERT_GT(text.size(), 4000u);
  AccessManagementDialog d(f.env, nullptr);
  d.Init();
  const uint32_t total = static_cast<uint32_t>(text.size());
  f.answer(d, Fixture::Piece(13, text.substr(0, 2000), total, 0));
  uint32_t offset = 2000;
  while (offset < total) {
    const std::vector<uint8_t> ask = f.request();
    ASSERT_EQ(ask.size(), 6u + kResultPageSize);
    EXPECT_EQ(ask[5], 12);
    EXPECT_EQ(GetResultPage(ask, 6), (ResultPage{total, offset, 2000}));
    const std::string piece = text.substr(offset, 2000);
    f.answer(d, Fixture::Piece(12, piece, total, offset));
    offset += static_cast<uint32_t>(piece.size());
  }
  EXPECT_EQ(Caption(d), "Access Management - MSG3");
  const std::vector<std::string> rows = Rows(d);
  ASSERT_EQ(rows.size(), 40u);
  for (const std::string& r : rows) EXPECT_EQ(r.rfind("admin", 0), std::string::npos);
}

// A list as large as the service sends (5 MB) of the shortest rows: the
// list keeps its first 1000, the status line counts the rest.
TEST(AccessManagementDialog, AListOfMillionsOfShortRowsIsBoundedAndCounted) {
  Fixture f;
  std::string text;
  while (text.size() < kResultTextMax) text += "a\n";
  AccessManagementDialog d(f.env, nullptr);
  d.Init();
  const uint32_t total = static_cast<uint32_t>(text.size());
  for (uint32_t offset = 0; offset < total; offset += 2000)
    f.answer(d, Fixture::Piece(offset == 0 ? 13 : 12, text.substr(offset, 2000), total, offset));
  EXPECT_EQ(Caption(d), "Access Management - MSG3 (" + std::to_string(total / 2 - kAccountRowsMax) +
                            " more rows not shown)");
  EXPECT_EQ(Rows(d).size(), kAccountRowsMax);
  EXPECT_EQ(d.accounts().size(), kAccountRowsMax);
}

TEST(AccessManagementDialog, BadOrShortListAnswersShowMsg1) {
  struct Case {
    const char* what;
    std::vector<uint8_t> data;
  } cases[] = {
      {"shorter than its header", {23, 13, 1, 2, 3}},
      {"count past the frame", [] {
         auto d = Fixture::Piece(13, "alice", 5, 0);
         d.pop_back();
         return d;
       }()},
      {"total above 5 MB", Fixture::Piece(13, "a", 6 * 1024 * 1024, 0)},
      {"refused", {24, 13}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Fixture f;
    AccessManagementDialog d(f.env, nullptr);
    d.Init();
    f.answer(d, c.data);
    EXPECT_EQ(Caption(d), "Access Management - MSG1");
    EXPECT_TRUE(Rows(d).empty());
    EXPECT_TRUE(d.Control(102)->isEnabled());
  }
}

TEST(AccessManagementDialog, AddSendsTheRecordThenLogsAndListsAgain) {
  Fixture f;
  AccessManagementDialog d(f.env, nullptr);
  d.Init();
  f.listAnswered(d);
  f.type(d, 1026, "carol");
  f.type(d, 1049, "Carol C");
  f.type(d, 1610, "pw3");
  f.type(d, 1050, "night");
  d.Add();  // the type list starts on Operator
  const std::vector<uint8_t> frame = f.request();
  ASSERT_EQ(frame.size(), 6u + kAccountRecordSize);
  EXPECT_EQ(frame[5], 14);
  EXPECT_EQ(GetAccountRecord(frame, 6),
            (AccountRecord{"carol", "Carol C", EncodePassword(std::string("pw3\0", 4)), 2, "night"}));
  EXPECT_FALSE(d.Control(102)->isEnabled());
  f.type(d, 1026, "changed while waiting");
  f.answer(d, {23, 14});
  EXPECT_EQ(f.boxes, std::vector<std::string>{"Account Mngt:38"});
  const auto records = f.records();
  ASSERT_FALSE(records.empty());
  EXPECT_EQ(records.back(), (std::pair<int, std::string>{67, "(carol: 2)"}));
  EXPECT_EQ(f.request()[5], 13);  // the list again
}

TEST(AccessManagementDialog, RefusalsBeforeSending) {
  struct Case {
    const char* what;
    const char* account;
    const char* realName;
    const char* password;
    bool remove;  // Delete instead of Add
    const char* box;
  } cases[] = {
      {"no account", "", "", "pw", false, "36"},
      {"no password", "dave", "", "", false, "37"},
      {"supervisor added over", "admin", "", "pw", false, "90"},
      {"supervisor deleted", "admin", "", "", true, "90"},
      {"tab in the real name", "dave", "Da\tve", "pw", false, "93"},
      {"line break in the account", "da\nve", "", "pw", false, "93"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Fixture f;
    AccessManagementDialog d(f.env, nullptr);
    d.Init();
    f.listAnswered(d);
    f.type(d, 1026, c.account);
    f.type(d, 1049, c.realName);
    f.type(d, 1610, c.password);
    c.remove ? d.Delete() : d.Add();
    EXPECT_EQ(f.boxes, std::vector<std::string>{std::string("Account Mngt:") + c.box});
    EXPECT_TRUE(f.request().empty());
  }
}

TEST(AccessManagementDialog, DeleteSendsTheWholeAccountName) {
  Fixture f;
  AccessManagementDialog d(f.env, nullptr);
  d.Init();
  f.listAnswered(d);
  f.type(d, 1026, "operator-north-01-xy");  // 20 characters
  d.Delete();
  const std::vector<uint8_t> frame = f.request();
  ASSERT_EQ(frame.size(), 6u + kAccountRecordSize);
  EXPECT_EQ(frame[5], 16);
  EXPECT_EQ(GetAccountRecord(frame, 6).account, "operator-north-01-xy");
  f.answer(d, {24, 16});
  EXPECT_EQ(Caption(d), "Access Management - MSG10");
  EXPECT_EQ(f.boxes.back(), "Account Mngt:41");
  EXPECT_TRUE(d.Control(1109)->isEnabled());
}

}  // namespace
}  // namespace lark
