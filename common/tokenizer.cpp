#include "common/tokenizer.h"

namespace lark {

void Tokenizer::reset(std::string_view text) {
  size_t n = text.find('\0');
  if (n == std::string_view::npos) n = text.size();
  if (n > limits_.text) n = limits_.text;
  text_.assign(text.data(), n);
  pos_ = 0;
}

std::string Tokenizer::next(char separator) {
  if (pos_ >= text_.size()) return std::string();
  size_t end = text_.find(separator, pos_);
  size_t stop = end == std::string::npos ? text_.size() : end;
  size_t len = stop - pos_;
  if (len > limits_.token) len = limits_.token;
  std::string token = text_.substr(pos_, len);
  pos_ = end == std::string::npos ? text_.size() : end + 1;
  return token;
}

std::string Tokenizer::GetNextToken(const char* text, char separator) {
  if (text != nullptr) reset(text);
  return next(separator);
}

uint32_t ParseHexText(std::string_view text) {
  uint32_t value = 0;
  for (char c : text) {
    uint32_t digit;
    if (c >= '0' && c <= '9') {
      digit = static_cast<uint32_t>(c - '0');
    } else if (c >= 'A' && c <= 'F') {
      digit = static_cast<uint32_t>(c - 'A' + 10);
    } else if (c >= 'a' && c <= 'f') {
      digit = static_cast<uint32_t>(c - 'a' + 10);
    } else {
      break;
    }
    value = value * 16 + digit;
  }
  return value;
}

}  // namespace lark
