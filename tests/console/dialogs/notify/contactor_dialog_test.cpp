// The Contactor dialog on a fake link: the read fills the list and the
// console's contact table, Add's refusals, a typed tab kept in its field,
// Delete then Save packing the rows with the rest of the block unchanged,
// and a read that times out leaving Save greyed.
#include "console/dialogs/notify/contactor_dialog.h"

#include <gtest/gtest.h>

#include <QLineEdit>

#include "console/dialogs/notify/notify_request.h"
#include "console/lists/report_list.h"
#include "linkserver/link_replies.h"
#include "tests/console/dialogs/notify/notify_fixture.h"

namespace lark {
namespace {

struct Fixture : test::NotifyFixture {
  Fixture() : NotifyFixture("Dialog-Contactor", {70, 78, 81, 82}) {}
  // The service's block: the named contacts at their rows, a recipient item
  // that must travel back untouched.
  static std::vector<uint8_t> Block(const std::vector<std::string>& names) {
    ServiceSettings s;
    for (size_t i = 0; i < names.size(); ++i) {
      s.contactors[i].name = names[i];
      s.contactors[i].email1 = names[i].empty() ? "" : names[i] + "@example.com";
    }
    std::vector<uint8_t> b(kNotificationBlockSize, 0);
    WriteNotificationGroup(s, 8, b);
    b[notify_off::kRecipients] = 'R';
    return b;
  }
};

std::string Cell(ContactorDialog& d, int r, int c) {
  return d.list()->listModel()->row(r).cells[c];
}
void Type(ContactorDialog& d, const char* name, const char* mail = "", const char* phone = "") {
  ContactorRecord c;
  c.name = name;
  c.email1 = mail;
  c.phone1 = phone;
  d.SetFields(c);
}

TEST(ContactorDialog, ReadListsNamedContactsAndAddRefusesWhatItMust) {
  Fixture f;
  ContactorDialog d(f.env, nullptr);
  d.Init();
  EXPECT_EQ(d.windowTitle().toStdString(), "Contactor - MSG5");
  EXPECT_FALSE(d.Control(1015)->isEnabled());
  f.answer(8, Fixture::Block({"Ann", "", "Bob"}));
  d.OnOwnTimer();
  EXPECT_EQ(d.windowTitle().toStdString(), "Contactor - MSG6");
  EXPECT_TRUE(d.Control(1015)->isEnabled());
  ASSERT_EQ(d.list()->listModel()->rowCount(), 2);  // the unnamed contact is not listed
  EXPECT_EQ(Cell(d, 1, 0), "Bob");
  EXPECT_EQ(Cell(d, 1, 1), "Bob@example.com");
  EXPECT_EQ(f.ctx.settings.service.contactors[2].name, "Bob");

  const struct {
    const char* name;
    const char* mail;
    const char* phone;
    std::vector<std::string> boxes;
  } refused[] = {
      {"", "", "", {"M_81"}},
      {"Ann", "other@example.com", "", {}},  // a repeated name does nothing
      {"Cy", "a b@example.com", "", {"M_70"}},
      {"Cy", "", "+1 555", {"M_78"}},
  };
  for (const auto& r : refused) {
    f.boxes.clear();
    Type(d, r.name, r.mail, r.phone);
    d.Add();
    EXPECT_EQ(f.boxes, r.boxes) << r.name;
    EXPECT_EQ(d.rows().size(), 2u) << r.name;
  }
  // A typed tab stays inside its field: the columns after it keep their texts.
  Type(d, "Cy\tDee", "cy@example.com");
  d.Add();
  ASSERT_EQ(d.rows().size(), 3u);
  EXPECT_EQ(Cell(d, 2, 0), "Cy Dee");
  EXPECT_EQ(Cell(d, 2, 1), "cy@example.com");
  for (int i = 3; i < kListRows; ++i) {
    Type(d, ("n" + std::to_string(i)).c_str());
    d.Add();
  }
  ASSERT_EQ(d.rows().size(), 20u);
  f.boxes.clear();
  Type(d, "twenty-first");
  d.Add();
  EXPECT_EQ(f.boxes, std::vector<std::string>{"M_82"});
  EXPECT_EQ(d.rows().size(), 20u);
}

TEST(ContactorDialog, DeleteThenSavePacksTheRowsAndTheTableTakesThemAfterSuccess) {
  Fixture f;
  ContactorDialog d(f.env, nullptr);
  d.Init();
  f.answer(8, Fixture::Block({"Ann", "Bob", "", "Cy"}));
  d.OnOwnTimer();
  d.Select(1);
  d.Delete();
  d.Delete();  // the remembered row is gone: nothing more goes
  ASSERT_EQ(d.rows().size(), 2u);
  d.Save();
  EXPECT_EQ(d.windowTitle().toStdString(), "Contactor - MSG2");
  const std::vector<uint8_t> sent = f.headBlock();
  ASSERT_EQ(sent.size(), kNotificationBlockSize);
  ServiceSettings got;
  ReadNotificationGroup(got, 9, sent);
  EXPECT_EQ(got.contactors[0].name, "Ann");
  EXPECT_EQ(got.contactors[1].name, "Cy");
  EXPECT_EQ(got.contactors[2].name, "");
  EXPECT_EQ(got.contactors[3].name, "");
  EXPECT_EQ(sent[notify_off::kRecipients], 'R');
  EXPECT_EQ(f.ctx.settings.service.contactors[1].name, "Bob") << "not before the answer";
  f.answer(9, {});
  d.OnOwnTimer();
  EXPECT_EQ(d.windowTitle().toStdString(), "Contactor - MSG3");
  EXPECT_TRUE(d.closing());
  EXPECT_EQ(f.ctx.settings.service.contactors[1].name, "Cy");
  EXPECT_EQ(f.ctx.settings.service.contactors[3].name, "");
}

TEST(ContactorDialog, ReadTimeOutKeepsSaveGreyed) {
  Fixture f;
  ContactorDialog d(f.env, nullptr);
  d.Init();
  f.clock.advance(kNotifyTimeoutMs + 1);
  d.OnOwnTimer();
  EXPECT_EQ(d.windowTitle().toStdString(), "Contactor - MSG4");
  EXPECT_FALSE(d.Control(1015)->isEnabled());
  EXPECT_FALSE(d.waiting());
}

}  // namespace
}  // namespace lark
