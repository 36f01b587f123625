// The notification sheet, its row and SMTP dialogs on a fake link: what OK
// gathers and sends once, the working copy taking it only after code 39, the
// refused fields, Edit and Delete without a row, rows past the count, and the
// SMTP account reaching the working copy.
#include "console/dialogs/notify/notification_sheet.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>

#include "console/dialogs/notify/notify_entry_dialogs.h"
#include "console/dialogs/notify/notify_fields.h"
#include "tests/console/dialogs/notify/notify_fixture.h"

namespace lark {
namespace {

struct Fixture : test::NotifyFixture {
  Fixture() : NotifyFixture("Dialog-Notification", {23, 24, 27, 70, 78, 79, 80}) {
    for (const char* k : {"MSG1", "MSG2", "MSG3"}) setText("Dialog-SMTP", k, k);
  }
  // The notification blocks queued with command 20, by sub-command. The
  // operation records are dropped; the requests go back, so that a reply
  // still finds its request at the head.
  std::vector<std::pair<uint8_t, std::vector<uint8_t>>> requests() {
    std::vector<LinkQueueEntry> kept;
    std::vector<std::pair<uint8_t, std::vector<uint8_t>>> out;
    while (auto head = link.queues().peek(3)) {
      const std::vector<uint8_t>& d = head->data;
      if (head->command == kLinkCmdNotifySettings && d.size() >= 6 + kNotificationBlockSize) {
        out.emplace_back(
            d[5], std::vector<uint8_t>(d.begin() + 6, d.begin() + 6 + kNotificationBlockSize));
        kept.push_back(*head);
      }
      link.queues().dropHead(3);
    }
    for (const LinkQueueEntry& e : kept)
      link.queues().put(e.priority, e.counterpart, 3, e.kind, e.command, e.timeoutMs, e.requestId,
                        e.data);
    return out;
  }
  void Type(const std::string& text) {
    test::OnModal<ListEntryDialog>([text](ListEntryDialog& d) {
      d.edit()->setText(QString::fromStdString(text));
      d.Accept();
      if (d.isVisible()) d.done(0);  // refused: the test's own way out
    });
  }
};

std::string Caption(const QWidget& d) { return d.windowTitle().toStdString(); }

TEST(NotificationSheet, OkGathersEveryPageSendsOnceAndTheWorkingCopyTakesItOnlyAfterSuccess) {
  Fixture f;
  f.ctx.settings.service.gsmPort = "COM1";
  NotificationSheet s(f.env, kBroadcastPage, nullptr);
  s.Init();
  EXPECT_EQ(s.tabs()->currentIndex(), kBroadcastPage);
  f.Type("ops@example.com");
  s.Add(kEmailPage);
  f.Type("console-2");
  s.Add(kBroadcastPage);
  f.Type("+15550100");
  s.Add(kSmsPage);
  static_cast<QCheckBox*>(FindControl(s.page(kBroadcastPage), 1174))->setChecked(true);
  static_cast<QComboBox*>(FindControl(s.page(kSmsPage), 10))->setEditText("com5");
  auto* baud = static_cast<QComboBox*>(FindControl(s.page(kSmsPage), 11));
  baud->setCurrentIndex(baud->count() - 1);
  s.Accept();
  EXPECT_EQ(Caption(s), "Notification - MSG3");
  EXPECT_FALSE(s.Control(1)->isEnabled());
  auto sent = f.requests();
  ASSERT_EQ(sent.size(), 1u);  // one request for the three pages
  EXPECT_EQ(sent[0].first, 7);
  ServiceSettings got;
  ReadNotificationGroup(got, 7, sent[0].second);
  EXPECT_EQ(got.emailList.count, 1);
  EXPECT_EQ(got.emailList.addresses[0], "ops@example.com");
  EXPECT_EQ(got.broadcastList.hosts[0], "console-2");
  EXPECT_EQ(got.broadcastList.wholeDomain, 1);
  EXPECT_EQ(got.smsList.phones[0], "+15550100");
  EXPECT_EQ(got.gsmPort, "COM5");
  EXPECT_EQ(got.gsmBaud, 115200);
  EXPECT_EQ(f.ctx.settings.service.emailList.count, 0) << "not before the answer";

  f.reply(kLinkCmdNotifySettings, {40, 7});  // refused: the sheet stays with its edits
  s.OnOwnTimer();
  EXPECT_EQ(Caption(s), "Notification - MSG2");
  EXPECT_TRUE(s.Control(1)->isEnabled());
  EXPECT_FALSE(s.closing());
  EXPECT_EQ(f.ctx.settings.service.gsmPort, "COM1");

  s.Accept();
  EXPECT_EQ(f.requests().size(), 1u);
  f.reply(kLinkCmdNotifySettings, {kNotifyDone, 7});
  s.OnOwnTimer();
  EXPECT_EQ(Caption(s), "Notification - MSG1");
  EXPECT_TRUE(s.closing());
  const ServiceSettings& w = f.ctx.settings.service;
  EXPECT_EQ(w.emailList.addresses[0], "ops@example.com");
  EXPECT_EQ(w.smsList.count, 1);
  EXPECT_EQ(w.gsmPort, "COM5");
  EXPECT_EQ(w.gsmBaud, 115200);
}

TEST(NotificationSheet, TimeOutGivesTheButtonsBack) {
  Fixture f;
  NotificationSheet s(f.env, kEmailPage, nullptr);
  s.Init();
  s.Accept();
  ASSERT_TRUE(s.waiting());
  f.clock.advance(kNotifyTimeoutMs);
  s.OnOwnTimer();
  EXPECT_TRUE(s.waiting());
  f.clock.advance(1);
  s.OnOwnTimer();
  EXPECT_FALSE(s.waiting());
  EXPECT_EQ(Caption(s), "Notification - MSG2");
  EXPECT_TRUE(s.Control(2)->isEnabled());
}

TEST(NotificationSheet, RowsPastTheCountArePackedAndEditOrDeleteWithoutARowDoNothing) {
  Fixture f;
  EmailList& e = f.ctx.settings.service.emailList;
  e.addresses[0] = "a@example.com";
  e.addresses[5] = "b@example.com";  // the service counts it; the count says 1
  e.count = 1;
  NotificationSheet s(f.env, kEmailPage, nullptr);
  s.Init();
  ASSERT_EQ(s.list(kEmailPage)->count(), 2);
  s.Delete(kEmailPage);  // the first row, selected at opening
  s.Delete(kEmailPage);  // no row chosen any more
  s.Edit(kEmailPage);    // opens nothing: no modal dialog is answered
  ASSERT_EQ(s.list(kEmailPage)->count(), 1);
  const std::optional<ServiceSettings> g = s.Gather();
  ASSERT_TRUE(g);
  EXPECT_EQ(g->emailList.count, 1);
  EXPECT_EQ(g->emailList.addresses[0], "b@example.com");
  EXPECT_EQ(g->emailList.addresses[5], "");
}

TEST(NotificationSheet, RefusedRowsPortsAndFullLists) {
  const struct {
    int page;
    const char* typed;
    const char* box;
  } rows[] = {
      {kEmailPage, "two words@example.com", "M_70"},
      {kEmailPage, "<a@example.com>", "M_70"},
      {kEmailPage, "", "M_70"},
      {kBroadcastPage, "host name", "M_79"},
      {kSmsPage, "+1555 0100", "M_78"},
      {kSmsPage, "ATD123;", "M_78"},
  };
  for (const auto& r : rows) {
    Fixture f;
    NotificationSheet s(f.env, r.page, nullptr);
    s.Init();
    f.Type(r.typed);
    s.Add(r.page);
    EXPECT_EQ(f.boxes, std::vector<std::string>{r.box}) << r.typed;
    EXPECT_EQ(s.list(r.page)->count(), 0) << r.typed;
  }
  for (const char* port : {"COM0", "COM256", "COMX", "/dev/ttyS0", "COM 5"}) {
    Fixture f;
    NotificationSheet s(f.env, kEmailPage, nullptr);
    s.Init();
    static_cast<QComboBox*>(FindControl(s.page(kSmsPage), 10))->setEditText(port);
    s.Accept();
    EXPECT_EQ(f.boxes, std::vector<std::string>{"M_80"}) << port;
    EXPECT_EQ(s.tabs()->currentIndex(), kSmsPage);
    EXPECT_TRUE(f.requests().empty()) << port;
  }
  // e-mail and phones take 10 rows though the block holds 20; hosts 20.
  const struct {
    int page, limit;
    const char* box;
  } full[] = {{kEmailPage, 10, "M_23"}, {kBroadcastPage, 20, "M_24"}, {kSmsPage, 10, "M_27"}};
  for (const auto& c : full) {
    Fixture f;
    NotificationSheet s(f.env, c.page, nullptr);
    s.Init();
    for (int i = 0; i < c.limit; ++i) s.list(c.page)->addItem(QString("row%1").arg(i));
    s.Add(c.page);  // no edit dialog opens
    EXPECT_EQ(f.boxes, std::vector<std::string>{c.box});
  }
}

TEST(NotificationSheet, SavedSmtpAccountSurvivesCancelAndReopen) {
  Fixture f;
  f.ctx.settings.service.smtpServer = "old.example.com";
  {
    NotificationSheet s(f.env, kEmailPage, nullptr);
    s.Init();
    test::OnModal<SmtpDialog>([&f](SmtpDialog& d) {
      static_cast<QLineEdit*>(d.Control(1025))->setText("mail.example.com");
      static_cast<QLineEdit*>(d.Control(1026))->setText("ups@example.com");
      static_cast<QLineEdit*>(d.Control(1174))->setText("secret");
      d.Accept();
      EXPECT_EQ(Caption(d), "SMTP - MSG3");
      auto sent = f.requests();
      ASSERT_EQ(sent.size(), 1u);
      EXPECT_EQ(sent[0].first, 1);
      ServiceSettings got;
      ReadNotificationGroup(got, 1, sent[0].second);
      EXPECT_EQ(got.smtpServer, "mail.example.com");
      EXPECT_EQ(got.smtpPassword, "secret");
      f.reply(kLinkCmdNotifySettings, {kNotifyDone, 1});
      d.OnOwnTimer();
      EXPECT_EQ(Caption(d), "SMTP - MSG1");
      EXPECT_TRUE(d.closing());
      d.done(1);
    });
    s.OpenSmtp();
    EXPECT_EQ(f.ctx.settings.service.smtpServer, "mail.example.com");
    static_cast<QDialog&>(s).reject();  // Cancel
  }
  NotificationSheet again(f.env, kEmailPage, nullptr);
  again.Init();
  again.Accept();
  auto sent = f.requests();
  ASSERT_EQ(sent.size(), 1u);
  ServiceSettings got;
  ReadNotificationGroup(got, 7, sent[0].second);
  EXPECT_EQ(got.smtpServer, "mail.example.com");
  EXPECT_EQ(got.smtpSender, "ups@example.com");
}

TEST(NotifyFields, PortsHostsAndTypedFields) {
  const struct {
    const char* text;
    std::optional<std::string> port;
  } ports[] = {{"COM1", "COM1"},        {"com255", "COM255"},     {"", ""},
               {"COM0", std::nullopt},  {"COM256", std::nullopt}, {"COM05", std::nullopt},
               {"COM1 ", std::nullopt}, {"LPT1", std::nullopt},   {"COM99999", std::nullopt}};
  for (const auto& p : ports) EXPECT_EQ(NormalizeComPort(p.text), p.port) << p.text;
  EXPECT_TRUE(IsSafeHostName("mail.example.com"));
  for (const char* bad : {"", "a b", "a\tb", "a\x7f", "\n"})
    EXPECT_FALSE(IsSafeHostName(bad)) << bad;
  EXPECT_FALSE(IsSafeHostName(std::string(64, 'a')));
  EXPECT_EQ(FieldFromTyped("  a\tb\r\nc  ", 64), "a b  c");
  EXPECT_EQ(FieldFromTyped("\xc3\xa4\xc3\xa4", 3), "\xc3\xa4");  // cut between characters
}

}  // namespace
}  // namespace lark
