#include "records/outgoing_messages.h"

#include <gtest/gtest.h>

namespace lark {
namespace {

std::string AlarmText(int n) {
  return "UPS Title: ups" + std::to_string(n) + "\nMessage: " + std::string(200, 'x') +
         "\nTime: now\n";
}

TEST(OutgoingMessages, MailBodyStopsAtTheCapAndKeepsTheNewestWholeTexts) {
  std::string body;
  for (int i = 0; i < 2000; ++i) AppendMailText(body, AlarmText(i));
  EXPECT_LE(body.size(), kMailBodyCap);
  EXPECT_EQ(body.rfind("UPS Title: ", 0), 0u) << "the body starts with a whole text";
  EXPECT_NE(body.find(AlarmText(1999)), std::string::npos);
  EXPECT_EQ(body.find(AlarmText(0)), std::string::npos);

  std::string huge(kMailBodyCap * 2, 'y');
  AppendMailText(body, huge);
  EXPECT_EQ(body.size(), kMailBodyCap);
}

TEST(OutgoingMessages, MailReactionFillsReportOnlyWithRecipientsAndFlaggedSlots) {
  OutgoingState s;
  ClearOutgoingSlots(s);
  ASSERT_EQ(ClaimSlot(s, "Ops"), 0);
  ASSERT_EQ(ClaimSlot(s, "Night"), 1);
  SlotFlags flags;
  flags.fill(-1);
  flags[1] = 1;

  AddMailReaction(s, "On Battery", "text1\n", flags, /*reportHasRecipients=*/false);
  EXPECT_EQ(s.reportSubject, "On Battery");
  EXPECT_TRUE(s.reportBody.empty());
  EXPECT_FALSE(s.reportPending);
  EXPECT_FALSE(s.slots[0].emailPending);
  EXPECT_TRUE(s.slots[0].body.empty());
  EXPECT_TRUE(s.slots[1].emailPending);
  EXPECT_EQ(s.slots[1].subject, "On Battery(Service/Night)");
  EXPECT_EQ(s.slots[1].body, "text1\n");

  AddMailReaction(s, "Back", "text2\n", flags, true);
  EXPECT_EQ(s.reportBody, "text2\n");
  EXPECT_TRUE(s.reportPending);
  EXPECT_EQ(s.slots[1].body, "text1\ntext2\n");
}

TEST(OutgoingMessages, SmsReactionWaitsForThePendingOne) {
  OutgoingState s;
  ClearOutgoingSlots(s);
  ASSERT_EQ(ClaimSlot(s, "Ops"), 0);
  SlotFlags flags;
  flags.fill(-1);
  flags[0] = 1;

  AddSmsReaction(s, 4, "UPS-A", "", flags);
  EXPECT_EQ(s.reportSmsRow, -1) << "an empty SMS text sends nothing";

  AddSmsReaction(s, 4, "UPS-A", "mains lost", flags);
  EXPECT_EQ(s.reportSmsRow, 4);
  EXPECT_EQ(s.reportSmsText, "UPS:UPS-A\nmains lost");
  EXPECT_EQ(s.slots[0].smsRow, 4);
  EXPECT_EQ(s.slots[0].smsText, "UPS=UPS-A\nmains lost(S/Ops)");

  AddSmsReaction(s, 5, "UPS-A", "mains back", flags);
  EXPECT_EQ(s.reportSmsRow, 4);
  EXPECT_EQ(s.slots[0].smsText, "UPS=UPS-A\nmains lost(S/Ops)");

  AddSmsReaction(s, 6, std::string(200, 'T'), "long", flags);  // nothing pending changes
  s.slots[0].smsRow = -1;
  AddSmsReaction(s, 6, std::string(200, 'T'), "long", flags);
  EXPECT_EQ(s.slots[0].smsText.size(), kSlotSmsBytes - 1);
}

TEST(OutgoingMessages, ClaimTakesFirstFreeSlotAndReleaseClearsIt) {
  OutgoingState s;
  ClearOutgoingSlots(s);
  for (int i = 0; i < kOutgoingSlotCount; ++i) ASSERT_EQ(ClaimSlot(s, "item"), i);
  EXPECT_EQ(ClaimSlot(s, "one too many"), -1);
  s.slots[7].body = "pending";
  s.slots[7].emailPending = true;
  s.slots[7].smsRow = 3;
  ReleaseSlot(s.slots[7]);
  EXPECT_TRUE(s.slots[7].name.empty());
  EXPECT_TRUE(s.slots[7].body.empty());
  EXPECT_FALSE(s.slots[7].emailPending);
  EXPECT_EQ(s.slots[7].smsRow, -1);
  EXPECT_EQ(ClaimSlot(s, "again"), 7);
}

}  // namespace
}  // namespace lark
