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

TEST(OutgoingMessages, SmsReactionsQueueBehindThePendingOne) {
  OutgoingState s;
  ClearOutgoingSlots(s);
  ASSERT_EQ(ClaimSlot(s, "Ops"), 0);
  SlotFlags flags;
  flags.fill(-1);
  flags[0] = 1;

  AddSmsReaction(s, 4, "UPS-A", "", flags);
  EXPECT_EQ(s.reportSmsRow, -1) << "an empty SMS text sends nothing";

  EXPECT_EQ(AddSmsReaction(s, 4, "UPS-A", "mains lost", flags), 0);
  EXPECT_EQ(s.reportSmsRow, 4);
  EXPECT_EQ(s.reportSmsText, "UPS:UPS-A\nmains lost");
  EXPECT_EQ(s.slots[0].smsRow, 4);
  EXPECT_EQ(s.slots[0].smsText, "UPS=UPS-A\nmains lost(S/Ops)");

  // The next ones wait in order; past eight in all the oldest waiting gives way.
  int dropped = 0;
  for (int row = 5; row < 5 + 8; ++row) {
    dropped += AddSmsReaction(s, row, "UPS-A", "event " + std::to_string(row), flags);
  }
  EXPECT_EQ(dropped, 2) << "one for the report, one for the slot";
  EXPECT_EQ(s.slots[0].smsRow, 4) << "the one being sent stays";
  ASSERT_EQ(s.slots[0].smsWaiting.size(), kSmsQueueDepth - 1);
  EXPECT_EQ(s.slots[0].smsWaiting.front().row, 6);
  NextSlotSms(s.slots[0]);
  NextReportSms(s);
  EXPECT_EQ(s.slots[0].smsRow, 6);
  EXPECT_EQ(s.slots[0].smsText, "UPS=UPS-A\nevent 6(S/Ops)");
  EXPECT_EQ(s.reportSmsText, "UPS:UPS-A\nevent 6");

  ReleaseSlot(s.slots[0]);
  ASSERT_EQ(ClaimSlot(s, "Ops"), 0);
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
