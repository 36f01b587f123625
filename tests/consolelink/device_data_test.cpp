#include "console/link/device_data.h"

#include <gtest/gtest.h>

#include "tests/support/tree_fixtures.h"

namespace lark {
namespace {

using test::AddGroup;
using test::AddSerial;
using test::AddSnmp;

std::vector<uint8_t> Id(const DeviceNode& n) {
  return {static_cast<uint8_t>(n.idU16() >> 8), static_cast<uint8_t>(n.idU16() & 0xFF)};
}
std::vector<uint8_t> Cat(std::initializer_list<std::vector<uint8_t>> parts) {
  std::vector<uint8_t> out;
  for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

struct Fixture {
  DeviceTree tree;
  DeviceNode& group = AddGroup(tree, tree.root());
  DeviceNode& snmp = AddSnmp(tree, tree.root());
  DeviceNode& sensor = AddSerial(tree, tree.root(), kCommSensor, "COM1", 1);
  DeviceNode& meter = AddSerial(tree, tree.root(), kCommMeter, "COM1", 2);
  DeviceNode& ascii = AddSerial(tree, tree.root(), kCommAscii, "COM2", 1);
  DeviceNode& sum = AddSerial(tree, tree.root(), kCommMeterSum, "COM3", 1);
};

TEST(DeviceDataForms, StatusListSnmpSensorMeterTakes8Plus1Plus1) {
  Fixture f;
  const std::vector<uint8_t> words = {1, 2, 3, 4, 5, 6, 7, 8};
  const auto list = Cat({Id(f.snmp), words, Id(f.sensor), {0x41}, Id(f.meter), {0x42}, {0xEE}});
  EXPECT_EQ(ApplyDeviceDataForm(f.tree.root(), f.snmp, kFormStatusList, list), 3);
  EXPECT_EQ(f.snmp.block(BlockKind::kSnmp)->mask(MaskWord::kCurrent), 0x0807060504030201u);
  EXPECT_EQ(f.sensor.block(BlockKind::kSensor)->u8(1), 0x41);
  EXPECT_EQ(f.meter.block(BlockKind::kMeter)->u8(1), 0x42);
}

TEST(DeviceDataForms, StatusListStops) {
  Fixture f;
  const std::vector<uint8_t> w16(16, 0x11);
  struct Case {
    const char* what;
    std::vector<uint8_t> list;
    int applied;
  } cases[] = {
      // An unknown id ends the list: the bytes after it cannot be placed.
      {"unknown id", Cat({{0x7F, 0x00}, Id(f.sensor), {0x41}}), 0},
      {"group", Cat({Id(f.group), Id(f.sensor), {0x41}}), 0},
      {"meter sum", Cat({Id(f.sum), Id(f.sensor), {0x41}}), 0},
      {"entry past the end", Cat({Id(f.ascii), std::vector<uint8_t>(15, 1)}), 0},
      {"serial takes 16", Cat({Id(f.ascii), w16, Id(f.sensor), {0x41}}), 2},
      {"odd byte", {0x01}, 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ApplyDeviceDataForm(f.tree.root(), f.snmp, kFormStatusListAll, c.list), c.applied) << c.what;
  }
  EXPECT_EQ(f.ascii.block(BlockKind::kAscii)->mask(MaskWord::kExtCurrent), 0x1111111111111111u);
}

TEST(DeviceDataForms, BlockReplacedKeepingTheReportedWords) {
  Fixture f;
  LiveDataBlock& b = *f.ascii.block(BlockKind::kAscii);
  b.setMask(MaskWord::kReported, 0xAAAA);
  b.setMask(MaskWord::kExtReported, 0xBBBB);
  std::vector<uint8_t> image(kAsciiLiveDataSize, 0x5A);
  EXPECT_EQ(ApplyDeviceDataForm(f.tree.root(), f.ascii, kFormBlock, image), 1);
  EXPECT_EQ(b.mask(MaskWord::kReported), 0xAAAAu);
  EXPECT_EQ(b.mask(MaskWord::kExtReported), 0xBBBBu);
  EXPECT_EQ(b.mask(MaskWord::kCurrent), 0x5A5A5A5A5A5A5A5Au);
  EXPECT_EQ(b.u8(500), 0x5A);
  image.pop_back();
  b.putU8(500, 1);
  EXPECT_EQ(ApplyDeviceDataForm(f.tree.root(), f.ascii, kFormBlock, image), 0);  // short: not taken
  EXPECT_EQ(b.u8(500), 1);
}

TEST(DeviceDataForms, FullList) {
  Fixture f;
  const std::vector<uint8_t> sensorBlock(kSensorLiveDataSize, 0x33);
  const auto list = Cat({Id(f.group), {0, 0, 0}, Id(f.sensor), {0, 4, 7}, sensorBlock, Id(f.meter), {0, 1, 1}, {1, 2}});
  EXPECT_EQ(ApplyDeviceDataForm(f.tree.root(), f.group, kFormFullList, list), 1);
  EXPECT_EQ(f.sensor.upsTypeCode(), 4);
  EXPECT_EQ(f.sensor.mibType(), 7);
  EXPECT_EQ(f.sensor.block(BlockKind::kSensor)->u8(40), 0x33);
  EXPECT_EQ(f.meter.upsTypeCode(), 0);  // its block runs past the frame: not applied
}

TEST(StatusPush, BlockCodeMustMatchTheNode) {
  Fixture f;
  const std::vector<uint8_t> d(16, 0x77);
  struct Case {
    DeviceNode* node;
    uint8_t code;
    bool applied;
  } cases[] = {{&f.snmp, 0, true},  {&f.snmp, 1, false},   {&f.ascii, 1, true}, {&f.ascii, 2, false},
               {&f.sensor, 9, true}, {&f.meter, 10, true}, {&f.sum, 0, false},  {&f.group, 0, false}};
  for (const Case& c : cases) EXPECT_EQ(ApplyStatusPush(*c.node, c.code, d), c.applied) << int(c.code);
  EXPECT_FALSE(ApplyStatusPush(f.ascii, 1, std::vector<uint8_t>(15, 0)));  // short push
}

}  // namespace
}  // namespace lark
