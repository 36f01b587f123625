// The Dry Contact page on a started console: the lists and selections a
// reload shows, an event the list lacks kept through Submit, which groups
// Submit sends, and the reply.
#include "console/dialogs/pages/dry_contact_tab_page.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>

#include "common/bytes.h"
#include "linkserver/link_frame.h"
#include "tests/console/dialogs/pages/settings_page_fixture.h"

namespace lark {
namespace {

struct Fixture : test::SettingsPageConsole {
  Fixture() {
    p = page<DryContactTabPage>(kTabDryContact);
    ups = add(5, kNodeSerial, kCommAscii);
    LiveDataBlock& b = *ups->block(BlockKind::kAscii);
    b.putU32(256, 1u << 23);
    b.putU32(260, 1u << 2);  // bit 34: inputs
    b.setSlot(98, 0x0183);   // contact 1: "Backup Mode", normally open, active
    for (int k = 1; k < 6; ++k) b.setSlot(98 + k, ((k + 1) << 8) | 0x80 | (k + 1));
    b.setSlot(100, 0x032C);  // contact 3: event 44, which no list has
    b.setSlot(104, 0x0181);
    b.setSlot(105, 0x8202);
  }
  QComboBox* combo(int id) { return static_cast<QComboBox*>(p->Control(id)); }
  std::vector<uint8_t> submit() {
    queued();
    p->Submit();
    return headPayload();
  }
  DryContactTabPage* p = nullptr;
  DeviceNode* ups = nullptr;
};

TEST(DryContactTabPage, ReloadShowsTheRecords) {
  Fixture f;
  f.reload(*f.p, f.ups);
  EXPECT_EQ(f.combo(1161)->currentText(), "Backup Mode");
  EXPECT_EQ(f.combo(1161)->count(), 20);  // list A
  EXPECT_EQ(f.combo(1167)->currentText(), "Normal Open");
  EXPECT_FALSE(static_cast<QCheckBox*>(f.p->Control(1140))->isChecked());
  EXPECT_EQ(f.combo(1163)->currentText(), "(44)");
  EXPECT_EQ(f.combo(1174)->currentText(), "AC Generator");
  EXPECT_EQ(f.combo(1180)->currentText(), "Normal Close");
  EXPECT_TRUE(static_cast<QCheckBox*>(f.p->Control(1147))->isChecked());
  EXPECT_FALSE(f.p->Control(1225)->isHidden());

  // Model class 4: list B; an HVDC UPS: list C and no inputs.
  f.ups->block(BlockKind::kAscii)->putI32(264 + 4 * 201, 4);  // the model class word
  f.reload(*f.p, f.ups);
  EXPECT_EQ(f.combo(1161)->count(), 19);
  f.ups->setUpsTypeCode(6);
  f.reload(*f.p, f.ups);
  EXPECT_EQ(f.combo(1161)->count(), 15);
  EXPECT_EQ(f.combo(1161)->itemText(0), "Output voltage too high");
  EXPECT_TRUE(f.p->Control(1225)->isHidden());
}

TEST(DryContactTabPage, ADeviceWithoutContactsClearsThePage) {
  Fixture f;
  f.reload(*f.p, f.ups);
  ASSERT_FALSE(f.p->Control(1224)->isHidden());
  DeviceNode* inverter = f.add(6, kNodeSerial, kCommInverter);
  f.reload(*f.p, inverter);
  for (int id : {1224, 1225, 1, 2}) EXPECT_TRUE(f.p->Control(id)->isHidden()) << id;
  EXPECT_EQ(f.combo(1161)->count(), 0);
  f.combo(1167)->setCurrentIndex(1);
  EXPECT_EQ(f.submit(), std::vector<uint8_t>{});  // nothing of the UPS goes out under the inverter's id
}

TEST(DryContactTabPage, SubmitSendsTheChangedGroupAndKeepsUnknownEvents) {
  Fixture f;
  f.reload(*f.p, f.ups);
  EXPECT_EQ(f.submit(), std::vector<uint8_t>{});  // nothing changed: nothing sent
  EXPECT_EQ(f.p->status(), "");

  f.combo(1167)->setCurrentIndex(1);  // contact 1 normally closed
  std::vector<uint8_t> block = f.submit();
  ASSERT_EQ(block.size(), kDryContactSettingsSize);
  EXPECT_EQ(u16At(block, 0), 5);
  EXPECT_EQ(u32At(block, kOutputFlagOffset), 1u);
  EXPECT_EQ(u32At(block, kInputFlagOffset), 0u);
  EXPECT_EQ(i32At(block, kOutputRecordsOffset), 0x8183);
  EXPECT_EQ(i32At(block, kOutputRecordsOffset + 8), 0x032C);  // event 44 kept
  EXPECT_EQ(f.p->status(), "Output Contacts - sending");
  f.reply(kLinkCmdDeviceSettings, {55, 1});
  f.p->OnOwnTimer();
  EXPECT_EQ(f.p->status(), "Output Contacts - done");
  EXPECT_EQ(f.p->records()[0], 0x8183);
  int logs = 0;
  for (const auto& e : f.queued())
    if (e.size() > 12 && e[4] == kLinkCmdEventLog) {
      EXPECT_EQ(u16At(e, 10), 71);
      ++logs;
    }
  EXPECT_EQ(logs, 2);

  // Only the second input: the input flag alone.
  static_cast<QCheckBox*>(f.p->Control(1147))->setChecked(false);
  block = f.submit();
  EXPECT_EQ(u32At(block, kOutputFlagOffset), 0u);
  EXPECT_EQ(u32At(block, kInputFlagOffset), 1u);
  EXPECT_EQ(i32At(block, kInputRecordsOffset + 4), 0x8282);
  // A refusal keeps the change pending.
  f.reply(kLinkCmdDeviceSettings, {56, 1});
  f.p->OnOwnTimer();
  EXPECT_EQ(f.p->status(), "Output Contacts - failed");
  EXPECT_EQ(u32At(f.submit(), kInputFlagOffset), 1u);
}

}  // namespace
}  // namespace lark
