#include "common/sms_pdu.h"

#include <gtest/gtest.h>

namespace lark {
namespace {

TEST(SmsPdu, GoldenSingleMessages) {
  struct Case {
    const char* number;
    const char* text;
    const char* hex;
    int octets;
  };
  for (const Case& c : {
           Case{"123", "hi", "003100038121F30008A70400680069", 14},
           Case{"+123", "hi", "003100039121F30008A70400680069", 14},
           Case{"1234", "\xc3\xa9", "00310004812143" "0008A70200E9", 12},
       }) {
    auto pdus = EncodeSmsPdu(c.number, c.text, 0);
    ASSERT_EQ(pdus.size(), 1u);
    EXPECT_EQ(pdus[0].hex, c.hex) << c.number;
    EXPECT_EQ(pdus[0].octets, c.octets) << c.number;
  }
}

TEST(SmsPdu, LongTextsAreLinkedParts) {
  auto pdus = EncodeSmsPdu("123", std::string(100, 'a'), 0x2A);
  ASSERT_EQ(pdus.size(), 2u);
  for (size_t i = 0; i < pdus.size(); ++i) {
    EXPECT_EQ(pdus[i].hex.substr(0, 6), "007100");
    // UDL, then the header: reference 2A, two parts, this one.
    std::string head = pdus[i].hex.substr(20, 14);
    EXPECT_EQ(head.substr(2), "0500032A020" + std::to_string(i + 1)) << head;
    EXPECT_EQ(static_cast<size_t>(pdus[i].octets), pdus[i].hex.size() / 2 - 1);
  }
  EXPECT_EQ(pdus[0].hex.substr(20, 2), "8C") << "6 header octets and 67 units";
  EXPECT_EQ(EncodeSmsPdu("123", std::string(70, 'a'), 0).size(), 1u);
  // A pair of surrogates is never cut between parts.
  std::string text = std::string(66, 'a') + "\xf0\x9f\x98\x80" + "bbbbb";
  auto split = EncodeSmsPdu("123", text, 0);
  ASSERT_EQ(split.size(), 2u);
  EXPECT_EQ(split[0].hex.find("D83D"), std::string::npos);
  EXPECT_EQ(split[1].hex.substr(34, 8), "D83DDE00");
}

TEST(SmsPdu, Utf8ToUtf16) {
  struct Case {
    const char* utf8;
    std::u16string want;
  };
  for (const Case& c : {
           Case{"A\xc3\xa9", u"A\u00e9"},
           Case{"\xe4\xb8\xad", u"\u4e2d"},
           Case{"\xf0\x9f\x98\x80", u"\xd83d\xde00"},
           Case{"\xff", u"\xfffd"},
           Case{"\xe4\xb8", u"\xfffd\xfffd"},          // cut short
           Case{"\xc0\x80", u"\xfffd\xfffd"},          // overlong
           Case{"\xed\xa0\x80", u"\xfffd\xfffd\xfffd"},  // a surrogate in UTF-8
       }) {
    EXPECT_EQ(Utf8ToUtf16(c.utf8), c.want) << c.utf8;
  }
}

TEST(SmsPdu, NumbersAndModes) {
  struct Case {
    const char* number;
    bool ok;
  };
  for (const Case& c : {Case{"+4917012345", true}, Case{"123", true}, Case{"", false},
                        Case{"+", false}, Case{"12\"", false}, Case{"1 2", false},
                        Case{"123456789012345678901", false}, Case{"12345678901234567890", true},
                        Case{"++1", false}, Case{"12\r", false}}) {
    EXPECT_EQ(IsValidSmsNumber(c.number), c.ok) << c.number;
  }
  EXPECT_FALSE(NeedsPduMode("UPS=A\nmains lost(S/Ops)"));
  EXPECT_TRUE(NeedsPduMode("caf\xc3\xa9"));
  EXPECT_TRUE(NeedsPduMode("tab\there"));
}

}  // namespace
}  // namespace lark
