// SMTP replies read from the server's byte stream, one whole reply at a time.
//
//   250-mail.example.org      continuation lines: code and "-"
//   250-AUTH LOGIN PLAIN
//   250 HELP                  the last line: code and " " (or the code alone)
//
// A multi-line reply acts once, with its last line's code. A line without a
// three-digit code is a reply of code 0 on its own.
#pragma once
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace lark {

inline constexpr size_t kMaxSmtpLine = 1024;     // octets of a reply line, CRLF included
inline constexpr size_t kMaxSmtpReplyLines = 64;  // lines of one multi-line reply

struct SmtpReply {
  int code = 0;                    // 100..599, or 0 when the line carried none
  std::vector<std::string> lines;  // the texts after the code and its separator
  // True when some line offers AUTH with the LOGIN mechanism.
  bool offersAuthLogin() const;
};

class SmtpReplyReader {
 public:
  enum class Result { kComplete, kNeedMore, kBad };

  void feed(std::string_view bytes) { buffer_.append(bytes); }
  // Takes the next whole reply out of what was fed. kBad: a line longer than
  // kMaxSmtpLine or a reply of more than kMaxSmtpReplyLines lines; the
  // conversation cannot go on.
  Result next(SmtpReply* reply);

 private:
  std::string buffer_;  // received, not yet taken
  SmtpReply partial_;   // continuation lines read so far
};

}  // namespace lark
