// The user database records as bytes: every field at its offset, each record
// read back whole, and text fields that fill their slot keep the terminator.
#include "linkserver/user_records.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace lark {
namespace {

std::string Field(CBytes b, size_t off, size_t n) { return std::string(reinterpret_cast<const char*>(b.data() + off), n); }

TEST(UserRecords, LoginRecordGoldenBytes) {
  const LoginRecord r{1, 2, "alice", "V7qM", 3};
  const auto img = LoginRecordImage(r);
  ASSERT_EQ(img.size(), 68u);
  std::vector<uint8_t> want(68, 0);
  want[0] = 1;
  want[1] = 2;
  for (size_t i = 0; i < 5; ++i) want[2 + i] = static_cast<uint8_t>("alice"[i]);
  for (size_t i = 0; i < 4; ++i) want[35 + i] = static_cast<uint8_t>("V7qM"[i]);
  want[67] = 3;
  EXPECT_EQ(std::vector<uint8_t>(img.begin(), img.end()), want);
  EXPECT_EQ(GetLoginRecord(img, 0), r);
}

TEST(UserRecords, DatabaseSettingsGoldenOffsets) {
  DatabaseSettingsRecord r;
  r.inUse = 1;
  r.source = "LarkPg";
  r.account = "ups";
  r.password = "pw";
  r.plans = {BackupPlan{3, 1, "C:\\ups\\"}, BackupPlan{12, 0, ""}, BackupPlan{255, 1, "/var/b/"}};
  const auto img = DatabaseSettingsImage(r);
  ASSERT_EQ(img.size(), 906u);
  EXPECT_EQ(img[0], 1);
  EXPECT_EQ(Field(img, 1, 7), std::string("LarkPg\0", 7));
  EXPECT_EQ(Field(img, 66, 4), std::string("ups\0", 4));
  EXPECT_EQ(Field(img, 99, 3), std::string("pw\0", 3));
  EXPECT_EQ(img[132], 3);
  EXPECT_EQ(img[133], 1);
  EXPECT_EQ(Field(img, 134, 8), std::string("C:\\ups\\\0", 8));
  EXPECT_EQ(img[390], 12);
  EXPECT_EQ(img[391], 0);
  EXPECT_EQ(img[392], 0);
  EXPECT_EQ(img[648], 255);
  EXPECT_EQ(img[649], 1);
  EXPECT_EQ(Field(img, 650, 7), "/var/b/");
  EXPECT_EQ(img[905], 0);
  EXPECT_EQ(GetDatabaseSettingsRecord(img, 0), r);
}

TEST(UserRecords, AccountRecordGoldenOffsets) {
  const AccountRecord r{"operator-north-01", "North", "V7qM", 2, "night shift"};
  const auto img = AccountRecordImage(r);
  ASSERT_EQ(img.size(), 360u);
  EXPECT_EQ(Field(img, 0, 18), std::string("operator-north-01\0", 18));
  EXPECT_EQ(Field(img, 33, 6), std::string("North\0", 6));
  EXPECT_EQ(Field(img, 66, 5), std::string("V7qM\0", 5));
  EXPECT_EQ(img[100], 2);
  EXPECT_EQ(img[101] | img[102] | img[103], 0);
  EXPECT_EQ(Field(img, 104, 11), "night shift");
  EXPECT_EQ(GetAccountRecord(img, 0), r);
}

TEST(UserRecords, ResultPageAndControlPasswordField) {
  uint8_t page[12];
  PutResultPage(page, 0, {0x01020304, 2000, 7});
  EXPECT_EQ(std::vector<uint8_t>(page, page + 12),
            (std::vector<uint8_t>{4, 3, 2, 1, 0xD0, 7, 0, 0, 7, 0, 0, 0}));
  EXPECT_EQ(GetResultPage(page, 0), (ResultPage{0x01020304, 2000, 7}));
  const auto field = ControlPasswordField("Secret");
  ASSERT_EQ(field.size(), 32u);
  EXPECT_EQ(Field(field, 0, 7), std::string("Secret\0", 7));
  EXPECT_EQ(field[31], 0);
}

// A field filled to its end (from a peer) is read without its last byte,
// which a writer always leaves as the terminator.
TEST(UserRecords, FullFieldsKeepTheirTerminatorSlot) {
  std::vector<uint8_t> img(kAccountRecordSize, 'x');
  const AccountRecord r = GetAccountRecord(img, 0);
  EXPECT_EQ(r.account.size(), 32u);
  EXPECT_EQ(r.password.size(), 33u);
  EXPECT_EQ(r.remark.size(), 255u);
  const auto back = AccountRecordImage(AccountRecord{std::string(40, 'a'), "", "", 2, ""});
  EXPECT_EQ(back[31], 'a');
  EXPECT_EQ(back[32], 0);
}

}  // namespace
}  // namespace lark
