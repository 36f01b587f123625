// The demo's simulated UPS raising its alarm with a sound: the tray model, on
// the service's key store with a recording player, plays it from the
// language folder once per activation ("One Time") or about every interval
// ("Periodically") until the alarm clears.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <thread>

#include "platform/key_store.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "platform/profile.h"
#include "tests/support/demo_install.h"
#include "tests/support/netns.h"
#include "tests/support/recording_sound_player.h"
#include "tests/support/service_process.h"
#include "tests/support/temp_dir.h"
#include "tests/support/wait.h"
#include "tray/tray_model.h"

namespace lark {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

struct NoArea : TrayIconView {
  bool areaAvailable() override { return false; }
  void addIcon() override {}
  void showIcon(TrayState, const std::string&) override {}
  void removeIcon() override {}
  void setMenuText(int, const std::string&) override {}
};

struct Simulator {
  explicit Simulator(const std::string& portsDir, int cycle) {
    std::string sim = test::BuiltProgram("tools/ups_sim");
    std::string n = std::to_string(cycle);
    pid = Spawn({sim, "--pty-dir", portsDir, "--com", "1", "--ups", "1", "--alarm-cycle", n});
  }
  ~Simulator() {
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
  }
  pid_t pid;
};

size_t Count(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = 0; (at = text.find(what, at)) != std::string::npos; at += what.size()) ++n;
  return n;
}

struct Activation {
  Clock::time_point from, to;
  int plays = 0;
};

// Runs the service until `activations` of the alarm have come and gone,
// ticking the tray every second, and `after` seconds more; returns each
// activation with its plays (those after its clear counted with it).
std::vector<Activation> RunDemoAlarm(const std::string& cycle, int simCycle, size_t activations,
                                     int after, std::string* played) {
  test::TempDir dir;
  EXPECT_TRUE(test::CopyDemoInstall(dir.path()));
  const std::string ini = dir.file("manager.ini");
  WriteProfileString(ini, "Polling", "Serial Polling", "20");
  WriteProfileString(ini, "Reaction.Warning", "Audio.Cycle", cycle);
  WriteProfileString(ini, "Reaction.Warning", "Audio.Interval", "10");
  WriteProfileString(ini, "Reaction.Warning", "Broadcast.Enable", "No");
  for (const auto& entry : fs::directory_iterator(dir.file("English"))) {
    if (entry.path().filename().string().rfind("action-", 0) != 0) continue;
    WriteProfileString(entry.path().string(), "Event1", "Audio.File", "Alarm.WAV");
  }
  WriteFileAtomic(dir.file("English/alarm.wav"), "RIFF");
  MakeDirs(dir.file("ports"));
  Simulator sim(dir.file("ports"), simCycle);
  EXPECT_TRUE(test::Eventually([&] { return FileExists(dir.file("ports/COM1")); }, 20000));
  test::ServiceProcess service(dir.path());
  EXPECT_TRUE(service.start());
  EXPECT_TRUE(service.waitForOutput("running on", 30000)) << service.output();

  KeyStore keys(service.stateDir());
  test::RecordingSoundPlayer player;
  NoArea view;
  TrayModel tray(keys, player, view, dir.path());
  tray.start();
  std::vector<Activation> seen;
  auto deadline = Clock::now() + std::chrono::seconds(200);
  while (Clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::seconds(1));
    const size_t before = player.played.size();
    tray.onSecondTick();
    const std::string log = ReadFile(dir.file("Demo/Event.log")).value_or("");
    const size_t on = Count(log, "Event 1 occurred"), off = Count(log, "Event 1 cleared");
    if (on > seen.size()) seen.push_back({Clock::now(), {}, 0});
    if (!seen.empty()) seen.back().plays += static_cast<int>(player.played.size() - before);
    if (!seen.empty() && off >= seen.size() && seen.back().to == Clock::time_point{}) {
      seen.back().to = Clock::now();
      if (seen.size() == activations) deadline = Clock::now() + std::chrono::seconds(after);
    }
  }
  for (const Activation& a : seen) {
    std::fprintf(stderr, "%s: %d plays in %.0f s\n", cycle.c_str(), a.plays,
                 std::chrono::duration<double>(a.to - a.from).count());
  }
  if (!player.played.empty()) *played = player.played.front();
  EXPECT_EQ(service.stop(SIGTERM), 0);
  return seen;
}

TEST(TraySounds, OneTimeOncePerActivationPeriodicallyEveryIntervalUntilTheClear) {
  if (!test::EnterPrivateNetwork()) GTEST_SKIP() << "no private network namespace here";
  std::string played;
  auto once = RunDemoAlarm("One Time", 10, 2, 0, &played);
  ASSERT_EQ(once.size(), 2u);
  for (const Activation& a : once) EXPECT_EQ(a.plays, 1);
  EXPECT_EQ(fs::path(played).filename(), "alarm.wav") << "found without case";
  EXPECT_EQ(fs::path(played).parent_path().filename(), "English");

  // After the clear, a while with no more plays.
  auto periodic = RunDemoAlarm("Periodically", 45, 1, 12, &played);
  ASSERT_EQ(periodic.size(), 1u);
  for (const Activation& a : periodic) {
    const double seconds = std::chrono::duration<double>(a.to - a.from).count();
    EXPECT_GE(seconds, 20) << "the activation is long enough to hear the repeats";
    EXPECT_NEAR(a.plays, seconds / 10, 1.5) << seconds << " s";
  }
}

}  // namespace
}  // namespace lark
