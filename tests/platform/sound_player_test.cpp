#include "platform/sound_player.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <cstdint>
#include <string>

#include "common/bytes.h"
#include "platform/paths.h"
#include "tests/support/temp_dir.h"
#include "tests/support/wait.h"

namespace lark {
namespace {

// A mono 8 kHz 16-bit WAV of `samples` silent samples.
std::string SilentWav(uint32_t samples) {
  std::string w(44 + samples * 2, '\0');
  Bytes b(reinterpret_cast<uint8_t*>(w.data()), w.size());
  w.replace(0, 4, "RIFF");
  w.replace(8, 8, "WAVEfmt ");
  w.replace(36, 4, "data");
  putU32(b, 4, static_cast<uint32_t>(w.size() - 8));
  putU32(b, 16, 16);
  putU16(b, 20, 1);
  putU16(b, 22, 1);
  putU32(b, 24, 8000);
  putU32(b, 28, 16000);
  putU16(b, 32, 2);
  putU16(b, 34, 16);
  putU32(b, 40, samples * 2);
  return w;
}

// aplay against ALSA's null device (named by the .asoundrc of a temp HOME).
TEST(SoundPlayer, AplayPlaysIsReapedAndANewPlayEndsTheOld) {
  test::TempDir tmp;
  ASSERT_TRUE(WriteFileAtomic(tmp.file(".asoundrc"), "pcm.!default { type null }\n"));
  ASSERT_TRUE(WriteFileAtomic(tmp.file("short.wav"), SilentWav(80)));
  ASSERT_TRUE(WriteFileAtomic(tmp.file("long.wav"), SilentWav(8000 * 60)));
  const char* home = getenv("HOME");
  std::string keep = home ? home : "";
  setenv("HOME", tmp.path().c_str(), 1);

  ProcessSoundPlayer player("aplay");
  ASSERT_TRUE(player.play(tmp.file("short.wav")));
  std::optional<int> status;
  EXPECT_TRUE(test::Eventually([&] { return (status = player.reap()).has_value(); }, 10000));
  ASSERT_TRUE(status);
  EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 0) << *status;
  EXPECT_EQ(player.current(), -1);

  ASSERT_TRUE(player.play(tmp.file("long.wav")));
  pid_t first = player.current();
  ASSERT_TRUE(player.play(tmp.file("short.wav")));
  EXPECT_NE(player.current(), first);
  EXPECT_EQ(kill(first, 0), -1) << "the first play was ended and reaped";
  if (home) setenv("HOME", keep.c_str(), 1);
}

TEST(SoundPlayer, PulseServerOnlyWhenItsSocketAnswers) {
  test::TempDir tmp;
  setenv("PULSE_SERVER", ("unix:" + tmp.file("none")).c_str(), 1);
  EXPECT_FALSE(PulseServerAnswers());
  setenv("PULSE_SERVER", "tcp:127.0.0.1", 1);
  EXPECT_FALSE(PulseServerAnswers());
  unsetenv("PULSE_SERVER");
}

}  // namespace
}  // namespace lark
