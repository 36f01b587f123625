#include "common/base64.h"

#include <gtest/gtest.h>

namespace lark {
namespace {

TEST(Base64, EncodeAndDecode) {
  struct Case {
    std::string plain;
    const char* coded;
  };
  for (const Case& c : {Case{"", ""}, Case{"f", "Zg=="}, Case{"fo", "Zm8="}, Case{"foo", "Zm9v"},
                        Case{"Username:", "VXNlcm5hbWU6"}, Case{std::string("\xff\x00\x80", 3), "/wCA"}}) {
    EXPECT_EQ(Base64Encode(c.plain), c.coded);
    std::string back;
    EXPECT_TRUE(Base64Decode(c.coded, &back, 64));
    EXPECT_EQ(back, c.plain);
  }
}

TEST(Base64, DecodeRefusals) {
  struct Case {
    const char* text;
    size_t capacity;
    bool ok;
    const char* want;
  };
  for (const Case& c : {
           Case{"UGFz c3dv\r\ncmQ6", 64, true, "Password:"},  // outside the alphabet: skipped
           Case{"Zm9v", 3, true, "foo"},
           Case{"Zm9vYg==", 3, false, ""},  // overflow
           Case{"Zm9vYmE", 64, false, ""},  // a partial quartet
           Case{"Z===", 64, false, ""},     // one sextet and padding
           Case{"Zg==Zm8=", 64, true, "ffo"},
       }) {
    std::string out = "stale";
    EXPECT_EQ(Base64Decode(c.text, &out, c.capacity), c.ok) << c.text;
    EXPECT_EQ(out, c.want) << c.text;
  }
}

}  // namespace
}  // namespace lark
