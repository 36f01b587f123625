#include "records/audio_handover.h"

#include <gtest/gtest.h>

#include "core/device_node.h"
#include "platform/key_store.h"
#include "tests/support/temp_dir.h"

namespace lark {
namespace {

class AudioHandOverTest : public ::testing::Test {
 protected:
  test::TempDir dir;
  KeyStore keys{dir.path()};
  std::optional<std::string> slot(const char* name) { return keys.read(kAudioKey, name); }
};

TEST_F(AudioHandOverTest, SoundGoesOnlyToValuesOfRunningTrays) {
  ResetAudioSlots(keys);
  EXPECT_EQ(HandOverSound(keys, "alarm.wav"), 0);
  for (const char* n : {"0", "1", "2", "3", "4"}) EXPECT_FALSE(slot(n)) << n;

  // Two trays claimed "0" and "2".
  keys.write(kAudioKey, "0", "");
  keys.write(kAudioKey, "2", "");
  EXPECT_EQ(HandOverSound(keys, "Audio\\alarm.wav"), 2);
  EXPECT_EQ(HandOverSound(keys, "b.wav"), 2);
  EXPECT_EQ(slot("0"), "Audio\\alarm.wav;b.wav;");
  EXPECT_EQ(slot("2"), "Audio\\alarm.wav;b.wav;");
  EXPECT_FALSE(slot("1"));
}

TEST_F(AudioHandOverTest, ValueOfADeadTrayStopsGrowing) {
  keys.write(kAudioKey, "0", "");
  for (int i = 0; i < 100; ++i) HandOverSound(keys, "Audio\\alarm-serious.wav");
  auto v = slot("0");
  ASSERT_TRUE(v);
  EXPECT_LE(v->size(), kAudioValueMax) << "a tray drops longer lists unplayed";
  EXPECT_EQ(v->back(), ';');
}

TEST_F(AudioHandOverTest, NamesThatWouldBreakTheListAreRefused) {
  keys.write(kAudioKey, "0", "");
  for (const char* bad : {"", "a;b.wav", "a\nb.wav"}) EXPECT_EQ(HandOverSound(keys, bad), 0) << bad;
  EXPECT_EQ(slot("0"), "");
}

TEST_F(AudioHandOverTest, ClearAndResetKeepMissingValuesMissing) {
  keys.write(kAudioKey, "1", "x.wav;");
  keys.write(kAudioKey, "3", "y.wav;");
  ClearAudioSlots(keys);
  EXPECT_EQ(slot("1"), "");
  EXPECT_EQ(slot("3"), "");
  EXPECT_FALSE(slot("0"));
  keys.write(kAudioKey, "3", "y.wav;");
  ClearAudioSlots(keys, "3");
  EXPECT_EQ(slot("3"), "");
  ResetAudioSlots(keys);
  EXPECT_FALSE(slot("1"));
  EXPECT_FALSE(slot("3"));
}

TEST_F(AudioHandOverTest, InverterValues) {
  InitInverterValues(keys);
  for (int i = 0; i < kInverterValues; ++i)
    EXPECT_EQ(keys.read(kInverterKey, std::to_string(i)), "");
  EXPECT_EQ(WriteInverterValues(keys, {1, -1, 300, 0, 7, 2147483647, -2147483647 - 1}), 7);
  EXPECT_EQ(keys.read(kInverterKey, "0"), "1");
  EXPECT_EQ(keys.read(kInverterKey, "1"), "-1");
  EXPECT_EQ(keys.read(kInverterKey, "5"), "2147483647");
  EXPECT_EQ(keys.read(kInverterKey, "6"), "-2147483648");
  // The every-second write touches only what changed.
  EXPECT_EQ(WriteInverterValues(keys, {1, -1, 300, 0, 8, 2147483647, -2147483647 - 1}), 1);
  EXPECT_EQ(keys.read(kInverterKey, "4"), "8");
  keys.remove(kInverterKey, "2");
  EXPECT_EQ(WriteInverterValues(keys, {1, -1, 300, 0, 8, 2147483647, -2147483647 - 1}), 1);
  EXPECT_EQ(keys.read(kInverterKey, "2"), "300");
}

TEST_F(AudioHandOverTest, InverterSummaryTakesTheRootGroupsTotalsInValueOrder) {
  DeviceNode root;
  const size_t offsets[kInverterValues] = {7184, 7164, 7160, 7188, 7192, 7168, 7172};
  for (int i = 0; i < kInverterValues; ++i) root.putI32(offsets[i], 100 + i);
  EXPECT_EQ(InverterSummary(root),
            (std::array<int32_t, kInverterValues>{100, 101, 102, 103, 104, 105, 106}));
}

}  // namespace
}  // namespace lark
