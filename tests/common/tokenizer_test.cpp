// The tokenizer's splitting rules and the hexadecimal text parser.
#include "common/tokenizer.h"

#include <gtest/gtest.h>

namespace lark {
namespace {

TEST(Tokenizer, SplitsLikeTheOneCursorSplitter) {
  Tokenizer t;
  EXPECT_EQ(t.GetNextToken("a;;b", ';'), "a");
  EXPECT_EQ(t.GetNextToken(nullptr, ';'), "");
  EXPECT_EQ(t.GetNextToken(nullptr, ';'), "b");
  EXPECT_EQ(t.GetNextToken(nullptr, ';'), "");
  EXPECT_EQ(t.GetNextToken(nullptr, ';'), "");
  EXPECT_TRUE(t.atEnd());

  // Two tokenizers keep their own places.
  Tokenizer x("1,2,3"), y("a,b");
  EXPECT_EQ(x.next(','), "1");
  EXPECT_EQ(y.next(','), "a");
  EXPECT_EQ(x.next(','), "2");
  EXPECT_EQ(x.rest(), "3");

  // Tokens are cut at 511 bytes, texts at 5999.
  Tokenizer big(std::string(600, 'x') + ";y");
  EXPECT_EQ(big.next(';').size(), 511u);
  EXPECT_EQ(big.next(';'), "y");
  Tokenizer huge(std::string(7000, 'z') + ";w");
  huge.next(';');
  EXPECT_TRUE(huge.atEnd());
  // The console's sizes: a 6015-byte text, 511-byte tokens.
  Tokenizer console(Tokenizer::Limits{6015, 511});
  console.reset(std::string(6010, 'a') + ";bcdefgh");
  EXPECT_EQ(console.next(';').size(), 511u);
  EXPECT_EQ(console.next(';'), "bcde") << "the text is cut at 6015 bytes";
  EXPECT_TRUE(console.atEnd());
}

TEST(Tokenizer, HexText) {
  struct Case {
    const char* text;
    uint32_t want;
  };
  for (const Case& c : {Case{"", 0}, Case{"5001", 0x5001}, Case{"fFz9", 0xff}, Case{"g1", 0},
                        Case{"123456789", 0x23456789}, Case{"0A", 10}}) {
    EXPECT_EQ(ParseHexText(c.text), c.want) << c.text;
  }
}

}  // namespace
}  // namespace lark
