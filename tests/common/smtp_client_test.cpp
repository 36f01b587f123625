// The SMTP conversation against scripted servers, the reply reader fed in
// every way, and the message as it goes after DATA.
#include "common/smtp_client.h"

#include <gtest/gtest.h>

#include <deque>

#include "common/smtp_reply.h"
#include "platform/clock.h"

namespace lark {
namespace {

// Hands out one scripted chunk per receive; silence (0) once they run out.
class ScriptedServer final : public SmtpTransport {
 public:
  explicit ScriptedServer(std::deque<std::string> chunks) : chunks_(std::move(chunks)) {}
  bool send(std::string_view data) override {
    sent.emplace_back(data);
    return true;
  }
  ssize_t receive(char* out, size_t cap, uint32_t) override {
    if (chunks_.empty()) return closeWhenDone ? -1 : 0;
    std::string c = chunks_.front();
    chunks_.pop_front();
    size_t n = std::min(cap, c.size());
    c.copy(out, n);
    if (n < c.size()) chunks_.push_front(c.substr(n));
    return static_cast<ssize_t>(n);
  }
  std::vector<std::string> sent;
  bool closeWhenDone = true;

 private:
  std::deque<std::string> chunks_;
};

MailMessage TwoRecipientMail() {
  MailMessage m;
  m.sender = "lark@example.org";
  m.password = "secret";
  m.subject = "Battery(Service/Ops)";
  m.body = "UPS Title: A\n";
  m.recipients = {"a@x.org", "b@x.org"};
  return m;
}

TEST(SmtpConversation, ScriptedServers) {
  const std::string data = FormatMailData(TwoRecipientMail());
  struct Case {
    const char* name;
    std::deque<std::string> replies;
    std::vector<std::string> commands;
    bool sent;
  };
  const Case cases[] = {
      {"multi-line EHLO split across reads, no AUTH",
       {"220 mx ready\r\n", "250-mx\r\n250-SIZE 1000\r", "\n250 HELP\r\n", "250 ok\r\n",
        "250 ok\r\n", "250 ok\r\n", "354 go\r\n", "250 queued\r\n", "221 bye\r\n"},
       {"EHLO example.org\r\n", "MAIL FROM: <lark@example.org>\r\n", "RCPT TO: <a@x.org>\r\n",
        "RCPT TO: <b@x.org>\r\n", "DATA\r\n", data, "QUIT\r\n"},
       true},
      {"AUTH LOGIN, several replies in one read",
       {"220 mx\r\n250-mx\r\n250 AUTH PLAIN LOGIN\r\n", "334 VXNlcm5hbWU6\r\n",
        "334 UGFzc3dvcmQ6\r\n", "235 ok\r\n250 ok\r\n250 ok\r\n250 ok\r\n354 go\r\n",
        "250 queued\r\n"},
       {"EHLO example.org\r\n", "AUTH LOGIN\r\n", "bGFyaw==\r\n", "c2VjcmV0\r\n",
        "MAIL FROM: <lark@example.org>\r\n", "RCPT TO: <a@x.org>\r\n", "RCPT TO: <b@x.org>\r\n",
        "DATA\r\n", data, "QUIT\r\n"},
       true},
      {"EHLO refused: HELO",
       {"220 mx\r\n", "502 no\r\n", "250 hi\r\n", "250 ok\r\n", "250 ok\r\n", "250 ok\r\n",
        "354 go\r\n", "250 queued\r\n", "221 bye\r\n"},
       {"EHLO example.org\r\n", "HELO example.org\r\n", "MAIL FROM: <lark@example.org>\r\n",
        "RCPT TO: <a@x.org>\r\n", "RCPT TO: <b@x.org>\r\n", "DATA\r\n", data, "QUIT\r\n"},
       true},
      {"one recipient refused: DATA after both replies",
       {"220 mx\r\n", "250 mx\r\n", "250 ok\r\n", "550 no such user\r\n", "250 ok\r\n",
        "354 go\r\n", "250 queued\r\n"},
       {"EHLO example.org\r\n", "MAIL FROM: <lark@example.org>\r\n", "RCPT TO: <a@x.org>\r\n",
        "RCPT TO: <b@x.org>\r\n", "DATA\r\n", data, "QUIT\r\n"},
       true},
      {"every recipient refused: RSET, nothing sent",
       {"220 mx\r\n", "250 mx\r\n", "250 ok\r\n", "550 no\r\n", "550 no\r\n"},
       {"EHLO example.org\r\n", "MAIL FROM: <lark@example.org>\r\n", "RCPT TO: <a@x.org>\r\n",
        "RCPT TO: <b@x.org>\r\n", "RSET\r\n"},
       false},
      {"early 221", {"220 mx\r\n", "221 going away\r\n"}, {"EHLO example.org\r\n"}, false},
      {"a login prompt that is not asked for: RSET",
       {"220 mx\r\n", "250 AUTH LOGIN\r\n", "334 SGVsbG8=\r\n"},
       {"EHLO example.org\r\n", "AUTH LOGIN\r\n", "RSET\r\n"},
       false},
      {"MAIL FROM refused: RSET",
       {"220 mx\r\n", "250 mx\r\n", "451 later\r\n"},
       {"EHLO example.org\r\n", "MAIL FROM: <lark@example.org>\r\n", "RSET\r\n"},
       false},
      {"message refused after DATA: not sent",
       {"220 mx\r\n", "250 mx\r\n", "250 ok\r\n", "250 ok\r\n", "250 ok\r\n", "354 go\r\n",
        "554 rejected\r\n"},
       {"EHLO example.org\r\n", "MAIL FROM: <lark@example.org>\r\n", "RCPT TO: <a@x.org>\r\n",
        "RCPT TO: <b@x.org>\r\n", "DATA\r\n", data, "RSET\r\n"},
       false},
      {"a line past 1024 octets ends it",
       {"220 mx\r\n", std::string(2000, 'x')},
       {"EHLO example.org\r\n", "RSET\r\n"},
       false},
  };
  FakeClock clock;
  std::atomic<bool> stop{false};
  for (const Case& c : cases) {
    ScriptedServer server(c.replies);
    SmtpOutcome out = RunSmtpConversation(server, TwoRecipientMail(), clock, 0, stop, nullptr);
    EXPECT_EQ(out.sent, c.sent) << c.name << ": " << out.detail;
    EXPECT_EQ(server.sent, c.commands) << c.name;
  }
}

TEST(SmtpConversation, SilentServerEndsAtTheTimeLimitOrAStop) {
  FakeClock clock(0xFFFFF000u);  // the limit holds across the tick's wrap
  std::atomic<bool> stop{false};
  ScriptedServer server({"220 mx\r\n"});
  server.closeWhenDone = false;
  uint32_t start = clock.tickMs();
  std::thread mover([&] {
    for (int i = 0; i < 70; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
      clock.advance(1000);
    }
  });
  SmtpOutcome out = RunSmtpConversation(server, TwoRecipientMail(), clock, start, stop, nullptr);
  mover.join();
  EXPECT_FALSE(out.sent);
  EXPECT_GE(TickElapsed(clock.tickMs(), start), kSmtpConversationMs);

  ScriptedServer again({"220 mx\r\n"});
  again.closeWhenDone = false;
  stop = true;
  EXPECT_EQ(RunSmtpConversation(again, TwoRecipientMail(), clock, clock.tickMs(), stop, nullptr)
                .detail,
            "stopped");
}

TEST(SmtpConversation, UnsafeAddressesAndTheMessage) {
  MailMessage m = TwoRecipientMail();
  m.subject = "Battery\r\nBcc: x@y";
  m.recipients = {"a@b>\r\nRCPT TO:<c@d", "ok@x.org", "sp ace@x.org"};
  m.body = std::string(600, 'w') + "\n.\n..x\r\nend";
  std::vector<std::string> logs;
  ScriptedServer server({"220 mx\r\n", "250 mx\r\n", "250 ok\r\n", "250 ok\r\n", "354 go\r\n",
                         "250 queued\r\n"});
  FakeClock clock;
  std::atomic<bool> stop{false};
  SmtpOutcome out = RunSmtpConversation(server, m, clock, 0, stop,
                                        [&](std::string_view t) { logs.emplace_back(t); });
  EXPECT_TRUE(out.sent);
  ASSERT_EQ(server.sent.size(), 6u);
  EXPECT_EQ(server.sent[2], "RCPT TO: <ok@x.org>\r\n");
  EXPECT_EQ(logs.size(), 2u) << "each refused address logged";
  EXPECT_EQ(server.sent[4], "Subject: Gridwarden Manager Report: Battery  Bcc: x@y\r\n"
                            "From: <lark@example.org>\r\nTo: <ok@x.org>\r\n\r\n" +
                                std::string(600, 'w') + "\r\n..\r\n...x\r\nend\r\n.\r\n");

  m.sender = "me@x.org\r\nRSET";
  ScriptedServer none({"220 mx\r\n"});
  EXPECT_FALSE(RunSmtpConversation(none, m, clock, 0, stop, nullptr).sent);
  EXPECT_TRUE(none.sent.empty()) << "an unsafe sender opens no conversation";
}

TEST(SmtpReplyReader, SameRepliesWholeByteByByteAndJoined) {
  const std::string stream = "220 hi\r\n250-a\r\n250-AUTH LOGIN\r\n250 end\r\nno code\r\n354\r\n";
  auto readAll = [](const std::vector<std::string>& feeds) {
    SmtpReplyReader r;
    std::vector<std::pair<int, size_t>> got;
    bool authSeen = false;
    for (const std::string& f : feeds) {
      r.feed(f);
      SmtpReply reply;
      while (r.next(&reply) == SmtpReplyReader::Result::kComplete) {
        got.emplace_back(reply.code, reply.lines.size());
        authSeen = authSeen || reply.offersAuthLogin();
      }
    }
    EXPECT_TRUE(authSeen);
    return got;
  };
  std::vector<std::string> bytes;
  for (char c : stream) bytes.emplace_back(1, c);
  const std::vector<std::pair<int, size_t>> want = {{220, 1}, {250, 3}, {0, 1}, {354, 1}};
  EXPECT_EQ(readAll({stream}), want);
  EXPECT_EQ(readAll(bytes), want);
  EXPECT_EQ(readAll({stream.substr(0, 10), stream.substr(10)}), want);

  SmtpReplyReader many;
  for (size_t i = 0; i < kMaxSmtpReplyLines + 1; ++i) many.feed("250-x\r\n");
  SmtpReply reply;
  EXPECT_EQ(many.next(&reply), SmtpReplyReader::Result::kBad);
}

}  // namespace
}  // namespace lark
