#include "common/smtp_client.h"

#include <errno.h>
#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>

#include "common/base64.h"
#include "common/smtp_reply.h"

namespace lark {

// ---- TCP transport ----

TcpSmtpTransport::~TcpSmtpTransport() { ::close(fd_); }

std::unique_ptr<TcpSmtpTransport> TcpSmtpTransport::connect(const std::string& host,
                                                            uint16_t port, uint32_t timeoutMs,
                                                            const std::atomic<bool>& stop,
                                                            std::string* error) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* list = nullptr;
  int rc = ::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &list);
  if (rc != 0) {
    *error = "getaddrinfo " + host + ": " + ::gai_strerror(rc);
    return nullptr;
  }
  std::unique_ptr<addrinfo, void (*)(addrinfo*)> hold(list, ::freeaddrinfo);
  *error = "connect " + host + ": no address";
  for (addrinfo* ai = list; ai != nullptr; ai = ai->ai_next) {
    int fd = ::socket(ai->ai_family, ai->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC,
                      ai->ai_protocol);
    if (fd < 0) {
      *error = std::string("socket: ") + std::strerror(errno);
      continue;
    }
    std::unique_ptr<TcpSmtpTransport> t(new TcpSmtpTransport(fd));
    int err = 0;
    if (::connect(fd, ai->ai_addr, ai->ai_addrlen) != 0) {
      err = errno;
      if (err == EINPROGRESS) {
        err = ETIMEDOUT;
        for (uint32_t waited = 0; waited < timeoutMs && !stop.load(); waited += kSmtpWaitSliceMs) {
          pollfd p{fd, POLLOUT, 0};
          int r = ::poll(&p, 1, static_cast<int>(kSmtpWaitSliceMs));
          if (r < 0 && errno != EINTR) {
            err = errno;
            break;
          }
          if (r > 0) {
            socklen_t len = sizeof err;
            if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) != 0) err = errno;
            break;
          }
        }
      }
    }
    if (err == 0) return t;
    *error = "connect " + host + ":" + std::to_string(port) + ": " + std::strerror(err);
    if (stop.load()) break;
  }
  return nullptr;
}

bool TcpSmtpTransport::send(std::string_view data) {
  size_t done = 0;
  int idle = 0;
  while (done < data.size()) {
    ssize_t n = ::send(fd_, data.data() + done, data.size() - done, MSG_NOSIGNAL);
    if (n > 0) {
      done += static_cast<size_t>(n);
      idle = 0;
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN) return false;
    // A server that takes nothing for 10 s is gone.
    if (++idle > 100) return false;
    pollfd p{fd_, POLLOUT, 0};
    ::poll(&p, 1, static_cast<int>(kSmtpWaitSliceMs));
  }
  return true;
}

ssize_t TcpSmtpTransport::receive(char* out, size_t cap, uint32_t waitMs) {
  pollfd p{fd_, POLLIN, 0};
  int r = ::poll(&p, 1, static_cast<int>(waitMs));
  if (r < 0) return errno == EINTR ? 0 : -1;
  if (r == 0) return 0;
  ssize_t n = ::recv(fd_, out, cap, 0);
  if (n > 0) return n;
  if (n < 0 && (errno == EAGAIN || errno == EINTR)) return 0;
  return -1;
}

// ---- message ----

bool IsSafeMailAddress(std::string_view address) {
  if (address.empty() || address.size() > 254) return false;
  for (char c : address) {
    auto u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7f || c == ' ' || c == '<' || c == '>') return false;
  }
  return true;
}

namespace {

std::string CleanSubject(std::string_view subject) {
  std::string s(subject);
  for (char& c : s) {
    auto u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7f) c = ' ';
  }
  return s;
}

// A log text with the control characters of an outside value made visible.
std::string Printable(std::string_view text) {
  std::string s(text);
  for (char& c : s) {
    if (static_cast<unsigned char>(c) < 0x20) c = '?';
  }
  return s;
}

std::string DomainOf(const std::string& sender) {
  size_t at = sender.find('@');
  return at == std::string::npos ? sender : sender.substr(at + 1);
}

std::string UserOf(const std::string& sender) {
  size_t at = sender.find('@');
  return at == std::string::npos ? sender : sender.substr(0, at);
}

}  // namespace

std::string FormatMailData(const MailMessage& mail) {
  std::string out = "Subject: Gridwarden Manager Report: " + CleanSubject(mail.subject) +
                    "\r\nFrom: <" + mail.sender + ">\r\nTo: ";
  for (const std::string& r : mail.recipients) out += "<" + r + ">;";
  // The blank line that ends the headers takes the place of the last ";".
  if (out.back() == ';') out.pop_back();
  out += "\r\n\r\n";
  bool lineStart = true;
  for (size_t i = 0; i < mail.body.size(); ++i) {
    char c = mail.body[i];
    if (lineStart && c == '.') out += '.';
    lineStart = false;
    if (c == '\r' && i + 1 < mail.body.size() && mail.body[i + 1] == '\n') continue;
    if (c == '\n' || c == '\r') {
      out += "\r\n";
      lineStart = true;
      continue;
    }
    out += c;
  }
  out += "\r\n.\r\n";
  return out;
}

// ---- conversation ----

namespace {

enum class SmtpState { kGreeting, kEhlo, kHelo, kAuth, kUser, kPassword, kMailFrom, kRcpt, kData,
                       kMessage, kQuit };

}  // namespace

SmtpOutcome RunSmtpConversation(SmtpTransport& transport, const MailMessage& given,
                                const Clock& clock, uint32_t startTick,
                                const std::atomic<bool>& stop, const SmtpLogFn& log) {
  SmtpOutcome outcome;
  auto say = [&log](const std::string& text) {
    if (log) log(text);
  };
  if (!IsSafeMailAddress(given.sender)) {
    outcome.detail = "unsafe sender address \"" + Printable(given.sender) + "\"";
    return outcome;
  }
  MailMessage mail = given;
  mail.recipients.clear();
  for (const std::string& r : given.recipients) {
    if (IsSafeMailAddress(r)) {
      mail.recipients.push_back(r);
    } else {
      say("mail: recipient \"" + Printable(r) + "\" refused: unsafe address");
    }
  }
  if (mail.recipients.empty()) {
    outcome.detail = "no recipient";
    return outcome;
  }

  SmtpReplyReader reader;
  SmtpState state = SmtpState::kGreeting;
  size_t rcptIndex = 0;
  size_t accepted = 0;
  std::string refused;
  const std::string mailFrom = "MAIL FROM: <" + mail.sender + ">\r\n";
  auto rcpt = [&] { return "RCPT TO: <" + mail.recipients[rcptIndex] + ">\r\n"; };
  auto end = [&](const std::string& why) {
    if (outcome.detail.empty()) outcome.detail = why;
    return outcome;
  };
  char buf[512];
  for (;;) {
    SmtpReply reply;
    SmtpReplyReader::Result got = reader.next(&reply);
    if (got == SmtpReplyReader::Result::kBad) {
      transport.send("RSET\r\n");
      return end("reply line too long");
    }
    if (got == SmtpReplyReader::Result::kNeedMore) {
      if (stop.load()) return end("stopped");
      if (TickElapsed(clock.tickMs(), startTick) >= kSmtpConversationMs) {
        return end("no reply within the conversation's time");
      }
      ssize_t n = transport.receive(buf, sizeof buf, kSmtpWaitSliceMs);
      if (n < 0) return end("the server closed the connection");
      reader.feed(std::string_view(buf, static_cast<size_t>(n)));
      continue;
    }
    const int code = reply.code;
    if (code == 0) continue;
    if (code == 221) return end("the server ended the conversation (221)");
    std::string command;
    bool finish = false;
    switch (state) {
      case SmtpState::kGreeting:
        if (code == 220) {
          command = "EHLO " + DomainOf(mail.sender) + "\r\n";
          state = SmtpState::kEhlo;
        }
        break;
      case SmtpState::kEhlo:
        if (code == 250) {
          bool auth = reply.offersAuthLogin();
          command = auth ? "AUTH LOGIN\r\n" : mailFrom;
          state = auth ? SmtpState::kAuth : SmtpState::kMailFrom;
        } else if (code == 500 || code == 501 || code == 502) {
          command = "HELO " + DomainOf(mail.sender) + "\r\n";
          state = SmtpState::kHelo;
        }
        break;
      case SmtpState::kHelo:
        if (code == 250) {
          command = mailFrom;
          state = SmtpState::kMailFrom;
        }
        break;
      case SmtpState::kAuth:
      case SmtpState::kUser: {
        if (code != 334) break;
        std::string prompt;
        const std::string& line = reply.lines.back();
        Base64Decode(line, &prompt, 256);
        bool user = state == SmtpState::kAuth;
        if (prompt.rfind(user ? "Username:" : "Password:", 0) != 0) break;
        command = Base64Encode(user ? UserOf(mail.sender) : mail.password) + "\r\n";
        state = user ? SmtpState::kUser : SmtpState::kPassword;
        break;
      }
      case SmtpState::kPassword:
        if (code == 235 || code == 535) {
          if (code == 535) say("mail: the server refused the login of " + mail.sender);
          command = mailFrom;
          state = SmtpState::kMailFrom;
        }
        break;
      case SmtpState::kMailFrom:
        if (code == 250) {
          command = rcpt();
          state = SmtpState::kRcpt;
        }
        break;
      case SmtpState::kRcpt:
        if (code == 250 || code == 251) {
          ++accepted;
        } else {
          say("mail: the server refused recipient " + mail.recipients[rcptIndex] + " (" +
              std::to_string(code) + ")");
        }
        if (++rcptIndex < mail.recipients.size()) {
          command = rcpt();
        } else if (accepted > 0) {
          command = "DATA\r\n";
          state = SmtpState::kData;
        } else {
          transport.send("RSET\r\n");
          return end("every recipient refused");
        }
        break;
      case SmtpState::kData:
        if (code == 354) {
          command = FormatMailData(mail);
          state = SmtpState::kMessage;
        }
        break;
      case SmtpState::kMessage:
        if (code == 250) {
          outcome.sent = true;
          command = "QUIT\r\n";
          state = SmtpState::kQuit;
        }
        break;
      case SmtpState::kQuit:
        finish = true;
        break;
    }
    if (finish) return outcome;
    if (command.empty()) {
      transport.send("RSET\r\n");
      return end("unexpected reply " + std::to_string(code));
    }
    if (!transport.send(command)) return end("the connection failed while sending");
  }
}

}  // namespace lark
