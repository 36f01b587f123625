// The mail thread against a real SMTP server (aiosmtpd) in the test's own
// network namespace: envelopes, headers and bodies as they arrive, AUTH
// LOGIN, and mails that wait for a server that is down, unknown or silent.
#include "records/mail_sender.h"

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>


#include "platform/paths.h"
#include "tests/support/netns.h"
#include "tests/support/peer_process.h"
#include "tests/support/recording_event_log.h"
#include "tests/support/temp_dir.h"

namespace lark {
namespace {

class MailSenderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!test::EnterPrivateNetwork()) GTEST_SKIP() << "no private network namespace";
    settings.server = "127.0.0.1";
    settings.sender = "lark@example.org";
    settings.contactors[3].name = "Ops";
    settings.contactors[3].email1 = "a@x.org";
    settings.contactors[3].email2 = "b@x.org";
    sender.setSettings(settings);
  }

  bool startServer(const std::string& auth = "") {
    std::vector<std::string> argv = {"/usr/bin/python3", test::SourcePath("tests/peers/smtp_server.py"),
                                     "--out", dir.file("mails.jsonl")};
    if (!auth.empty()) argv.insert(argv.end(), {"--auth", auth});
    return server.start(argv);
  }
  // Each received mail is one JSON line.
  std::vector<std::string> mails() {
    std::vector<std::string> out;
    std::string all = ReadFile(dir.file("mails.jsonl")).value_or("");
    for (size_t at = 0; at < all.size();) {
      size_t end = all.find('\n', at);
      out.push_back(all.substr(at, end - at));
      at = end == std::string::npos ? all.size() : end + 1;
    }
    return out;
  }
  void addText(const std::string& text) {
    outgoing.withLock([&](OutgoingState& st) {
      if (st.slots[0].name.empty()) ClaimSlot(st, "Ops");
      SlotFlags flags;
      flags.fill(-1);
      flags[0] = 1;
      AddMailReaction(st, "Battery", text, flags, false);
    });
  }
  bool slotPending() {
    return outgoing.withLock([](OutgoingState& st) { return st.slots[0].emailPending; });
  }
  std::string slotBody() {
    return outgoing.withLock([](OutgoingState& st) { return st.slots[0].body; });
  }

  test::TempDir dir;
  test::PeerProcess server;
  FakeClock clock{1000};
  OutgoingMessages outgoing;
  test::RecordingEventLog log;
  MailSettings settings;
  MailSender sender{outgoing, log, clock, MailTiming{}};
};

// A JSON string as the peer writes it (only the escapes our texts use).
std::string Json(const std::string& s) {
  std::string out;
  for (char c : s) {
    if (c == '\r') out += "\\r";
    else if (c == '\n') out += "\\n";
    else out += c;
  }
  return out;
}

TEST_F(MailSenderTest, SlotAndReportMailsWithoutAuth) {
  ASSERT_TRUE(startServer());
  settings.emailList.addresses[1] = "boss@x.org";
  settings.emailList.count = 1;
  sender.setSettings(settings);
  const std::string body = "UPS Title: A\n" + std::string(600, 'z') + "\n.\nend\n";
  addText(body);
  outgoing.withLock([&](OutgoingState& st) {
    st.reportSubject = "Report";
    st.reportBody = "UPS Title: B\n";
    st.reportPending = true;
  });
  sender.sendPass();
  auto got = mails();
  ASSERT_EQ(got.size(), 2u) << log.events().size();
  EXPECT_NE(got[0].find(R"("to": ["boss@x.org"])"), std::string::npos) << got[0];
  EXPECT_NE(got[1].find(R"("from": "lark@example.org", "to": ["a@x.org", "b@x.org"], "login": null)"),
            std::string::npos)
      << got[1];
  const std::string head =
      "Subject: Gridwarden Manager Report: Battery(Service/Ops)\r\nFrom: <lark@example.org>\r\n"
      "To: <a@x.org>;<b@x.org>\r\n\r\n";
  // The server takes the doubled "." back off: the line did not end the data.
  std::string wire = "UPS Title: A\r\n" + std::string(600, 'z') + "\r\n.\r\nend\r\n";
  EXPECT_NE(got[1].find(Json(head + wire)), std::string::npos) << got[1];
  EXPECT_FALSE(slotPending());
  EXPECT_TRUE(slotBody().empty());
}

TEST_F(MailSenderTest, AuthLoginRightAndWrongPassword) {
  ASSERT_TRUE(startServer("lark:secret"));
  for (const char* password : {"secret", "wrong"}) {
    settings.password = password;
    sender.setSettings(settings);
    addText("UPS Title: A\n");
    sender.sendPass();
  }
  auto got = mails();
  ASSERT_EQ(got.size(), 2u);
  EXPECT_NE(got[0].find(R"("login": "lark")"), std::string::npos) << got[0];
  EXPECT_NE(got[1].find(R"("login": null)"), std::string::npos) << "535, and the mail still goes";
}

TEST_F(MailSenderTest, MailWaitsForTheServerAndArrivesOnce) {
  // A listener that accepts and never speaks.
  int silent = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(25);
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(bind(silent, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  ASSERT_EQ(listen(silent, 4), 0);

  addText("UPS Title: first\n");
  sender.start();
  // The thread talks to the silent server once its connection is there.
  pollfd waiting{silent, POLLIN, 0};
  ASSERT_EQ(poll(&waiting, 1, 60000), 1);
  const int talk = accept(silent, nullptr, nullptr);
  ASSERT_GE(talk, 0);
  // Reactions still get the lock: the text goes in while the conversation
  // is still open, not after it gave up.
  addText("UPS Title: second\n");
  char c;
  EXPECT_EQ(recv(talk, &c, 1, MSG_DONTWAIT), -1) << "the conversation ended before the text got in";
  sender.stop();  // ends the stalled conversation
  close(talk);
  close(silent);
  EXPECT_TRUE(slotPending());
  EXPECT_EQ(slotBody(), "UPS Title: first\nUPS Title: second\n") << "the failed mail goes first";

  // Down, then an unknown host: still pending, nothing lost.
  MailSender later(outgoing, log, clock, MailTiming{});
  later.setSettings(settings);
  later.sendPass();
  settings.server = "no-such-host.invalid";
  later.setSettings(settings);
  clock.advance(10000);
  later.sendPass();
  EXPECT_TRUE(slotPending());
  EXPECT_GE(log.events().size(), 2u);

  settings.server = "127.0.0.1";
  later.setSettings(settings);
  ASSERT_TRUE(startServer());
  later.sendPass();
  EXPECT_TRUE(mails().empty()) << "the back-off holds the retry";
  clock.advance(20 * 60 * 1000);
  later.sendPass();
  later.sendPass();
  auto got = mails();
  ASSERT_EQ(got.size(), 1u);
  EXPECT_NE(got[0].find(Json("UPS Title: first\r\nUPS Title: second\r\n")), std::string::npos);
  EXPECT_FALSE(slotPending());
}

TEST_F(MailSenderTest, ContactsDecideWhatHappensToASlot) {
  addText("UPS Title: A\n");
  settings.contactors[3].name = "Someone else";
  sender.setSettings(settings);
  sender.sendPass();
  EXPECT_TRUE(outgoing.withLock([](OutgoingState& st) { return st.slots[0].name.empty(); }))
      << "a slot without its contact is released, no connection made";
  settings.contactors[3].name = "Ops";
  settings.contactors[3].email1 = "a@b>\r\nRCPT TO:<c@d";
  settings.contactors[3].email2 = "";
  sender.setSettings(settings);
  addText("UPS Title: B\n");
  sender.sendPass();
  EXPECT_FALSE(slotPending()) << "an unsafe address is refused, never sent";
  EXPECT_FALSE(log.events().empty());
}

}  // namespace
}  // namespace lark
