// Splitting texts at a separator, and leading hexadecimal digits.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace lark {

// One cursor over one text, owned by its caller (each thread and each reader
// keeps its own, so no two callers share a position).
//
// Splitting rules: the text is cut to kMaxTextBytes; each token is the text
// up to the next separator, cut to kMaxTokenBytes; two separators in a row give
// an empty token; past the end every token is empty.
class Tokenizer {
 public:
  static constexpr size_t kMaxTextBytes = 5999;  // a 6000-byte copy with its NUL
  static constexpr size_t kMaxTokenBytes = 511;  // a 512-byte result with its NUL

  // Text and token sizes (without the terminator) where a user's buffers differ.
  struct Limits {
    size_t text = kMaxTextBytes;
    size_t token = kMaxTokenBytes;
  };

  Tokenizer() = default;
  explicit Tokenizer(Limits limits) : limits_(limits) {}
  explicit Tokenizer(std::string_view text) { reset(text); }

  // Starts over on a new text (copied; a NUL inside ends it).
  void reset(std::string_view text);
  // The next token before `separator`; the cursor moves past the separator.
  std::string next(char separator);
  // The same call shape as the old one-cursor splitter: a non-null text
  // starts over, null continues.
  std::string GetNextToken(const char* text, char separator);
  // True when nothing is left to split.
  bool atEnd() const { return pos_ >= text_.size(); }
  // The rest of the text after the cursor.
  std::string_view rest() const { return std::string_view(text_).substr(pos_); }

 private:
  Limits limits_;
  std::string text_;  // the copy being split
  size_t pos_ = 0;    // cursor into text_
};

// Value of the leading hexadecimal digits (0-9, A-F, a-f), modulo 2^32; 0 when
// there are none.
uint32_t ParseHexText(std::string_view text);

}  // namespace lark
