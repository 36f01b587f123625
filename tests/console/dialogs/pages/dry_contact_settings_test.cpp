// The Dry Contact records and block without the page: the record's bits,
// which groups a change sends, and the operation-log texts.
#include "console/dialogs/pages/dry_contact_settings.h"

#include <gtest/gtest.h>

#include "common/bytes.h"
#include "core/device_node.h"

namespace lark {
namespace {

TEST(DryContactSettings, RecordBits) {
  struct Case {
    int32_t record;
    DryContact c;
  } cases[] = {
      {0x0183, {1, 3, true, false}},     // contact 1, the third event, normally open, active
      {0x8603, {6, 3, false, true}},     // normally closed, inactive
      {0x032C, {3, 44, false, false}},   // an event above 32 keeps all seven bits
      {0x027F | 0x80, {2, 127, true, false}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(UnpackDryContact(c.record), c.c) << std::hex << c.record;
    EXPECT_EQ(PackDryContact(c.c), c.record) << std::hex << c.record;
  }
}

DryContactRecords Loaded() {
  DryContactRecords r{};
  for (int k = 0; k < kOutputContacts; ++k) r[static_cast<size_t>(k)] = PackDryContact({k + 1, k + 1, true, false});
  r[6] = PackDryContact({1, 1, true, false});
  r[7] = PackDryContact({2, 2, false, false});
  return r;
}

TEST(DryContactSettings, WhichGroupsGoOut) {
  struct Case {
    const char* name;
    int16_t comm;
    bool outputs, inputs;
    std::vector<int> changed;  // contacts whose record changes
    bool send;
    uint32_t outFlag, inFlag;
  } cases[] = {
      {"nothing changed", kCommAscii, true, true, {}, false, 0, 0},
      {"only the second input", kCommAscii, true, true, {7}, true, 0, 1},
      {"an output", kCommModbusUps, true, true, {2}, true, 1, 0},
      {"both", kCommAscii, true, true, {0, 6}, true, 1, 1},
      {"binary never sends inputs", kCommThreePhase, true, false, {7}, false, 0, 0},
      {"binary outputs", kCommThreePhase, true, false, {5, 7}, true, 1, 0},
      {"a hidden group is not sent", kCommAscii, false, true, {1}, false, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    DryContactRecords typed = Loaded();
    for (int k : c.changed) typed[static_cast<size_t>(k)] ^= 0x8000;
    const DryContactSubmission s = BuildDryContactSubmission(0x0102, c.comm, c.outputs, c.inputs, Loaded(), typed);
    EXPECT_EQ(s.send, c.send);
    ASSERT_EQ(s.block.size(), kDryContactSettingsSize);
    EXPECT_EQ(u16At(s.block, 0), 0x0102);
    for (size_t off = 2; off < kOutputFlagOffset; ++off) EXPECT_EQ(s.block[off], 0) << off;
    EXPECT_EQ(u32At(s.block, kOutputFlagOffset), c.outFlag);
    EXPECT_EQ(u32At(s.block, kInputFlagOffset), c.inFlag);
    for (int k = 0; k < kOutputContacts; ++k)
      EXPECT_EQ(i32At(s.block, kOutputRecordsOffset + 4 * k), c.outputs ? typed[static_cast<size_t>(k)] : 0) << k;
    const bool inputs = c.inputs && c.comm != kCommThreePhase;
    for (int k = 0; k < kInputContacts; ++k)
      EXPECT_EQ(i32At(s.block, kInputRecordsOffset + 4 * k), inputs ? typed[static_cast<size_t>(6 + k)] : 0) << k;
  }
}

TEST(DryContactSettings, LogTexts) {
  const std::vector<std::string> out = {"E1", "E2", "E3", "E4", "E5"};
  const std::vector<std::string> in = {"Battery Ground Fault", "AC Generator"};
  DryContactRecords r = Loaded();
  r[5] = PackDryContact({6, 44, false, true});
  const std::string outputs =
      "Out-Contact: (0:E1,Active,NO) (1:E2,Active,NO) (2:E3,Active,NO) (3:E4,Active,NO) (4:E5,Active,NO) "
      "(5:(44),Deactive,NC) ";
  EXPECT_EQ(DryContactLog(kCommAscii, r, out, in),
            (std::vector<std::string>{outputs, "In-Contact: (6:Battery Ground Fault,Active,NO) (7:AC Generator,Deactive,NO) "}));
  EXPECT_EQ(DryContactLog(kCommThreePhase, r, out, in), (std::vector<std::string>{outputs}));
  EXPECT_EQ(DryContactLog(kCommModbusUps, r, out, in), (std::vector<std::string>{""}));
}

}  // namespace
}  // namespace lark
