#include "common/password.h"

#include <gtest/gtest.h>

namespace lark {
namespace {

TEST(Password, Vectors) {
  struct Row {
    const char* plain;
    const char* encoded;
  };
  for (const Row& r : {Row{"abc", "V7qM"}, Row{"ab", "V74."}, Row{"a", "V/.."},
                       Row{"abcd", "V7qMY/.."}, Row{"", ""}}) {
    EXPECT_EQ(EncodePassword(r.plain), r.encoded) << r.plain;
    EXPECT_EQ(DecodePassword(r.encoded), r.plain) << r.encoded;
  }
  // The padding of the last group is part of the decoded bytes.
  EXPECT_EQ(DecodePasswordBytes("V74."), std::string("ab\0", 3));
  // Counting the terminator gives the same text when it falls in the padding.
  EXPECT_EQ(EncodePassword(std::string("ab\0", 3)), "V74.");
}

TEST(Password, RoundTripsEveryByte) {
  std::string all;
  for (int i = 1; i < 256; ++i) all += static_cast<char>(i);
  for (size_t n = 0; n <= all.size(); n += 17) {
    std::string plain = all.substr(all.size() - n);
    std::string enc = EncodePassword(plain);
    EXPECT_EQ(enc.size(), (n + 2) / 3 * 4);
    EXPECT_EQ(enc.find_first_not_of(kPasswordAlphabet), std::string::npos);
    EXPECT_EQ(DecodePassword(enc), plain);
  }
}

TEST(Password, BadInputRefused) {
  for (const char* bad : {"V7q", "V7qMY", "V7q-", "V7qM====", "V7 M", "\x80\x80\x80\x80"}) {
    EXPECT_EQ(DecodePassword(bad), std::nullopt) << bad;
    EXPECT_EQ(DecodePasswordBytes(bad), std::nullopt) << bad;
  }
  EXPECT_EQ(DecodePassword(std::string("V7\0M", 4)), std::nullopt);
}

}  // namespace
}  // namespace lark
