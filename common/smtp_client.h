// One mail sent over SMTP: the conversation driven by the server's reply
// codes, with AUTH LOGIN when the server offers it, and the TCP transport
// under it.
//
// Conversation, by state and reply code:
//   greeting 220 -> EHLO <domain of the sender>
//   EHLO 250     -> AUTH LOGIN when offered, else MAIL FROM
//   EHLO 500/501/502 -> HELO, whose 250 -> MAIL FROM
//   AUTH 334 "Username:" -> user; 334 "Password:" -> password;
//        235 or 535 -> MAIL FROM (a refused login still mails)
//   MAIL 250     -> RCPT TO, one recipient at a time, each reply awaited
//   last RCPT    -> DATA when one was accepted, else RSET
//   DATA 354     -> the message; its 250 is the only "sent"; then QUIT
//   221 anywhere ends; any other code -> RSET and end.
#pragma once
#include <sys/types.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/clock.h"

namespace lark {

inline constexpr uint32_t kSmtpConversationMs = 60000;  // a whole conversation, connect included
inline constexpr uint32_t kSmtpWaitSliceMs = 100;       // poll slices, so a stop is seen

// The byte stream to the server; the TCP one below, a scripted one in tests.
class SmtpTransport {
 public:
  virtual ~SmtpTransport() = default;
  // Sends all of `data`; false when the connection failed.
  virtual bool send(std::string_view data) = 0;
  // Waits up to `waitMs` for bytes: the count stored, 0 on a time-out, -1
  // when the connection is closed or failed.
  virtual ssize_t receive(char* out, size_t cap, uint32_t waitMs) = 0;
};

// A TCP connection with a time-out on the connect; every wait is a poll.
class TcpSmtpTransport final : public SmtpTransport {
 public:
  ~TcpSmtpTransport() override;
  // Resolves `host` and connects to the first address that answers within
  // `timeoutMs` (checked in slices against `stop`). Null with `error` set.
  static std::unique_ptr<TcpSmtpTransport> connect(const std::string& host, uint16_t port,
                                                   uint32_t timeoutMs,
                                                   const std::atomic<bool>& stop,
                                                   std::string* error);
  bool send(std::string_view data) override;
  ssize_t receive(char* out, size_t cap, uint32_t waitMs) override;

 private:
  explicit TcpSmtpTransport(int fd) : fd_(fd) {}
  int fd_;  // owned, non-blocking
};

struct MailMessage {
  std::string sender;    // address; also gives the EHLO domain and the login name
  std::string password;  // AUTH LOGIN password (plain)
  std::string subject;
  std::string body;
  std::vector<std::string> recipients;
};

struct SmtpOutcome {
  bool sent = false;   // the server took the message (250 after it)
  std::string detail;  // why not, or the refused recipients
};

using SmtpLogFn = std::function<void(std::string_view)>;

// True when `address` is fit for a command line and a header: not empty, at
// most 254 bytes, no control characters, blanks, '<' or '>'.
bool IsSafeMailAddress(std::string_view address);

// The message as it goes after 354: headers, the body with every line ended
// by CRLF and a leading "." doubled, then the end-of-data line.
std::string FormatMailData(const MailMessage& mail);

// Runs one conversation on `transport`. Unsafe recipients are left out and
// logged; `stop` ends it early. Bounded by kSmtpConversationMs from `startTick`
// on `clock`.
SmtpOutcome RunSmtpConversation(SmtpTransport& transport, const MailMessage& mail,
                                const Clock& clock, uint32_t startTick,
                                const std::atomic<bool>& stop, const SmtpLogFn& log);

}  // namespace lark
