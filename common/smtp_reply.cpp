#include "common/smtp_reply.h"

namespace lark {

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

bool HasWordNoCase(std::string_view text, std::string_view word) {
  for (size_t i = 0; i + word.size() <= text.size(); ++i) {
    size_t k = 0;
    while (k < word.size() && (text[i + k] & ~0x20) == (word[k] & ~0x20)) ++k;
    if (k == word.size()) return true;
  }
  return false;
}

}  // namespace

bool SmtpReply::offersAuthLogin() const {
  for (const std::string& line : lines) {
    if (HasWordNoCase(line, "AUTH") && HasWordNoCase(line, "LOGIN")) return true;
  }
  return false;
}

SmtpReplyReader::Result SmtpReplyReader::next(SmtpReply* reply) {
  for (;;) {
    size_t end = buffer_.find('\n');
    if (end == std::string::npos) {
      return buffer_.size() >= kMaxSmtpLine ? Result::kBad : Result::kNeedMore;
    }
    if (end + 1 > kMaxSmtpLine) return Result::kBad;
    std::string_view line(buffer_.data(), end);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    int code = 0;
    bool more = false;
    std::string_view text = line;
    if (line.size() >= 3 && IsDigit(line[0]) && IsDigit(line[1]) && IsDigit(line[2]) &&
        (line.size() == 3 || line[3] == ' ' || line[3] == '-')) {
      code = (line[0] - '0') * 100 + (line[1] - '0') * 10 + (line[2] - '0');
      more = line.size() > 3 && line[3] == '-';
      text = line.substr(line.size() > 3 ? 4 : 3);
    }
    partial_.lines.emplace_back(text);
    buffer_.erase(0, end + 1);
    if (more) {
      if (partial_.lines.size() >= kMaxSmtpReplyLines) return Result::kBad;
      continue;
    }
    partial_.code = code;
    *reply = std::move(partial_);
    partial_ = SmtpReply{};
    return Result::kComplete;
  }
}

}  // namespace lark
