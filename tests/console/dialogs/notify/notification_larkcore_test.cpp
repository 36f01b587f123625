// The notification dialogs against the built Larkcore on a demo copy, in its
// own network namespace: the sheet's one 20/7 reaching the service's
// manager.ini and Cancel leaving it, the SMTP account kept over a cancelled
// sheet, contacts packed by Save and their item "UPS 1 (2)", and every
// dialog's time-out while the service is stopped, with the window thread
// free meanwhile.
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QTimer>

#include "console/dialogs/notify/contactor_dialog.h"
#include "console/dialogs/notify/notification_sheet.h"
#include "console/dialogs/notify/notify_entry_dialogs.h"
#include "console/dialogs/notify/notify_items_dialog.h"
#include "console/dialogs/notify/notify_request.h"
#include "core/device_tree.h"
#include "tests/console/dialogs/dialog_fixture.h"
#include "tests/console/support/larkcore_console.h"

namespace lark {
namespace {

using test::Spin;

class NotificationLarkcore : public test::LarkcoreConsole {
 protected:
  void ConsoleFiles() override {
    MakeDirs(console.file("English"));
    const std::string lang = console.file("English/language.ini");
    WriteFileAtomic(lang, "");
    for (const char* s :
         {"Dialog-Notification", "Dialog-SMTP", "Dialog-Contactor", "Dialog-NotifyByService"})
      for (const char* k : {"MSG1", "MSG2", "MSG3", "MSG4", "MSG5", "MSG6"})
        WriteProfileString(lang, s, k, k);
  }
  Profile managerIni() const {
    Profile p;
    p.loadText(ReadFile(service.file("manager.ini")).value_or(""));
    return p;
  }
  static void Type(const std::string& text) {
    test::OnModal<ListEntryDialog>([text](ListEntryDialog& d) {
      d.edit()->setText(QString::fromStdString(text));
      d.Accept();
    });
  }
};

TEST_F(NotificationLarkcore, SheetSavesEveryPageOnceAndCancelLeavesTheFile) {
  {
    NotificationSheet s(*env, kEmailPage, nullptr);
    s.Init();
    Type("ops@demo.example");
    s.Add(kEmailPage);
    static_cast<QDialog&>(s).reject();  // Cancel
  }
  EXPECT_EQ(managerIni().getString("e-mail", "Address1", "", 64), "");

  NotificationSheet s(*env, kEmailPage, nullptr);
  s.Init();
  EXPECT_EQ(s.list(kEmailPage)->count(), 0) << "the cancelled row is gone";
  Type("ops@demo.example");
  s.Add(kEmailPage);
  Type("console-2");
  s.Add(kBroadcastPage);
  Type("+15550100");
  s.Add(kSmsPage);
  static_cast<QComboBox*>(FindControl(s.page(kSmsPage), 10))->setEditText("COM5");
  auto* baud = static_cast<QComboBox*>(FindControl(s.page(kSmsPage), 11));
  baud->setCurrentIndex(baud->count() - 1);
  s.Accept();
  ASSERT_TRUE(Spin([&] { return s.closing(); }, 20000)) << s.windowTitle().toStdString();
  EXPECT_EQ(s.windowTitle().toStdString(), "Notification - MSG1");
  const Profile p = managerIni();
  EXPECT_EQ(p.getString("e-mail", "Address1", "", 64), "ops@demo.example");
  EXPECT_EQ(p.getString("Broadcast", "Host1", "", 64), "console-2");
  EXPECT_EQ(p.getString("SMS", "Phone1", "", 64), "+15550100");
  EXPECT_EQ(p.getString("GSM Modem", "Port", "", 32), "COM5");
  EXPECT_EQ(p.getInt("GSM Modem", "Baud", 0), 115200);
}

TEST_F(NotificationLarkcore, SavedSmtpAccountStaysAfterCancelAndReopen) {
  {
    NotificationSheet s(*env, kEmailPage, nullptr);
    s.Init();
    test::OnModal<SmtpDialog>([](SmtpDialog& d) {
      static_cast<QLineEdit*>(d.Control(1025))->setText("mail.demo.example");
      static_cast<QLineEdit*>(d.Control(1026))->setText("larkcore@demo.example");
      d.Accept();  // the dialog ends itself after the service's answer
    });
    s.OpenSmtp();
    EXPECT_EQ(managerIni().getString("SMTP", "Server", "", 64), "mail.demo.example");
    static_cast<QDialog&>(s).reject();  // Cancel
  }
  NotificationSheet s(*env, kEmailPage, nullptr);
  s.Init();
  s.Accept();
  ASSERT_TRUE(Spin([&] { return s.closing(); }, 20000));
  EXPECT_EQ(managerIni().getString("SMTP", "Server", "", 64), "mail.demo.example");
  EXPECT_EQ(managerIni().getString("SMTP", "Sender", "", 64), "larkcore@demo.example");
}

TEST_F(NotificationLarkcore, ContactsPackedByDeleteAndSaveAndTheirItemByService) {
  ContactorDialog c(*env, nullptr);
  c.Init();
  ASSERT_TRUE(Spin([&] { return c.Control(1015)->isEnabled(); }, 20000))
      << c.windowTitle().toStdString();
  for (const char* name : {"Day", "Operators"}) {
    ContactorRecord r;
    r.name = name;
    r.email1 = "ops@demo.example";
    c.SetFields(r);
    c.Add();
  }
  c.Select(0);
  c.Delete();
  c.Save();
  ASSERT_TRUE(Spin([&] { return c.closing(); }, 20000)) << c.windowTitle().toStdString();
  EXPECT_EQ(managerIni().getString("Contactor1", "Name", "", 64), "Operators");
  EXPECT_EQ(managerIni().getString("Contactor2", "Name", "", 64), "");

  ASSERT_TRUE(Spin([&] { return Tree_FindNodeById(ctx->tree, 2) != nullptr; }, 20000))
      << "the demo map";
  NotifyItemsDialog n(*env, NotifyMode::kService, nullptr);
  n.Init();
  ASSERT_TRUE(Spin([&] { return n.Control(1015)->isEnabled(); }, 20000))
      << n.windowTitle().toStdString();
  ASSERT_EQ(n.users()->count(), 1);
  QListWidget* rest = n.restObjects();
  for (int i = 0; i < rest->count(); ++i)
    if (rest->item(i)->text() == "   UPS 1 (2)") rest->setCurrentRow(i);
  n.Add();
  n.Save();
  ASSERT_TRUE(Spin([&] { return n.closing(); }, 40000)) << n.windowTitle().toStdString();
  EXPECT_EQ(managerIni().getString("Item1", "Name", "", 64), "Operators");
  EXPECT_EQ(managerIni().getInt("Item1", "ID.Index1", 0), 2);
}

TEST_F(NotificationLarkcore, StoppedServiceEveryDialogFailsAfterItsTimeOutAndTheLoopRuns) {
  int ticks = 0;
  QTimer beat;
  QObject::connect(&beat, &QTimer::timeout, [&ticks] { ++ticks; });
  beat.start(50);
  ASSERT_EQ(kill(larkcore->pid(), SIGSTOP), 0);
  const auto failsAfterTimeOut = [&](DialogBase& d, const std::string& failed, int button) {
    const int before = ticks;
    clock.advance(kNotifyTimeoutMs + 1);
    EXPECT_TRUE(Spin([&] { return d.windowTitle().toStdString() == failed; }, 10000))
        << d.windowTitle().toStdString();
    EXPECT_FALSE(d.waiting());
    if (button) {
      EXPECT_TRUE(d.Control(button)->isEnabled()) << failed;
    }
    EXPECT_GT(ticks, before) << "the test timer fired meanwhile";
  };
  NotificationSheet sheet(*env, kEmailPage, nullptr);
  sheet.Init();
  sheet.Accept();
  failsAfterTimeOut(sheet, "Notification - MSG2", 1);
  ContactorDialog contacts(*env, nullptr);
  contacts.Init();
  failsAfterTimeOut(contacts, "Contactor - MSG4", 0);
  NotifyItemsDialog items(*env, NotifyMode::kService, nullptr);
  items.Init();
  failsAfterTimeOut(items, "Notify By Service - MSG4", 0);
  SmtpDialog smtp(*env, ctx->settings.service, {}, nullptr);
  smtp.Init();
  smtp.Accept();
  failsAfterTimeOut(smtp, "SMTP - MSG2", 2);
}

}  // namespace
}  // namespace lark
