// The tray model on a fake icon view and a recording player: sounds of its
// Audio slot, slot ownership between processes, the notification area coming
// and going, and the service's state against the built Larkcore.
#include "tray/tray_model.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <map>
#include <thread>

#include "core/audio_slots.h"
#include "platform/key_store.h"
#include "platform/paths.h"
#include "tests/support/netns.h"
#include "tests/support/recording_sound_player.h"
#include "tests/support/service_process.h"
#include "tests/support/temp_dir.h"
#include "tests/support/wait.h"

namespace lark {
namespace {

struct FakeView : TrayIconView {
  bool available = true;
  int adds = 0;
  std::optional<TrayState> shown;
  std::string tip;
  std::map<int, std::string> texts;
  bool areaAvailable() override { return available; }
  void addIcon() override { ++adds; }
  void showIcon(TrayState s, const std::string& t) override {
    shown = s;
    tip = t;
  }
  void removeIcon() override { shown.reset(); }
  void setMenuText(int id, const std::string& text) override { texts[id] = text; }
};

class Tray : public ::testing::Test {
 protected:
  void SetUp() override {
    MakeDirs(tmp.file("install/English/Sub"));
    for (const char* f : {"English/a.wav", "English/b.wav", "English/Sub/c.wav", "secret.wav"})
      WriteFileAtomic(tmp.file(std::string("install/") + f), "RIFF");
  }
  std::string lang(const std::string& f) { return tmp.file("install/English/" + f); }
  test::TempDir tmp;
  KeyStore keys{tmp.file("state")};
  test::RecordingSoundPlayer player;
  FakeView view;
};

TEST_F(Tray, PlaysItsSlotFromTheLanguageFolderAndEmptiesIt) {
  TrayModel tray(keys, player, view, tmp.file("install"));
  tray.start();
  ASSERT_EQ(tray.audioSlot(), "0");
  const std::string tooLong = std::string(256, 'x') + "a.wav;";
  struct Case {
    std::string queued;
    std::vector<std::string> played;
  } cases[] = {
      {"a.wav;b.wav;", {lang("a.wav"), lang("b.wav")}},
      {"a.wav", {}},  // no closing ';'
      {";;a.wav;", {lang("a.wav")}},
      {tooLong, {}},  // 262 characters: dropped whole
      {"SUB\\C.WAV;", {lang("Sub/c.wav")}},
      {"..\\secret.wav;/etc/passwd;C:\\x.wav;Sub/../../secret.wav;missing.wav;b.wav;",
       {lang("b.wav")}},
  };
  for (const Case& c : cases) {
    player.played.clear();
    ASSERT_TRUE(keys.write(kAudioKey, "0", c.queued));
    tray.onSecondTick();
    EXPECT_EQ(player.played, c.played) << c.queued;
    EXPECT_EQ(keys.read(kAudioKey, "0"), "") << c.queued;
  }
  // The service emptied every slot at its start: the tray's value comes back.
  ASSERT_TRUE(keys.remove(kAudioKey, "0"));
  tray.onSecondTick();
  EXPECT_EQ(keys.read(kAudioKey, "0"), "");
  tray.exit();
  EXPECT_EQ(keys.read(kAudioKey, "0"), std::nullopt) << "the slot goes with the tray";
}

// Runs a tray in a child that reports its slot on a pipe and then waits.
pid_t TrayInChild(const std::string& install, const std::string& state, int reportFd) {
  pid_t pid = fork();
  if (pid != 0) return pid;
  KeyStore keys(state);
  test::RecordingSoundPlayer player;
  FakeView view;
  TrayModel tray(keys, player, view, install);
  tray.start();
  std::string slot = tray.audioSlot().empty() ? "-" : tray.audioSlot();
  (void)!write(reportFd, slot.data(), 1);
  pause();
  _exit(0);
}

TEST_F(Tray, SlotsAreOwnedWhileRunningAndFreedByAKill) {
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  struct Children : std::vector<pid_t> {
    ~Children() {
      for (pid_t pid : *this) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
      }
    }
  } children;
  // Five started together hold five different slots.
  for (int i = 0; i < kAudioSlotValues; ++i)
    children.push_back(TrayInChild(tmp.file("install"), keys.dir(), fds[1]));
  std::string slots;
  char c;
  while (slots.size() < 5 && read(fds[0], &c, 1) == 1) slots += c;
  std::sort(slots.begin(), slots.end());
  EXPECT_EQ(slots, "01234");

  TrayModel sixth(keys, player, view, tmp.file("install"));
  sixth.start();
  EXPECT_EQ(sixth.audioSlot(), "");
  ASSERT_TRUE(keys.write(kAudioKey, "0", "a.wav;"));
  sixth.onSecondTick();
  EXPECT_TRUE(player.played.empty());

  // A killed tray leaves its value behind; the next tray takes the slot over.
  ASSERT_TRUE(keys.write(kAudioKey, "2", "b.wav;"));
  kill(children[2], SIGKILL);
  waitpid(children[2], nullptr, 0);
  children.erase(children.begin() + 2);
  TrayModel next(keys, player, view, tmp.file("install"));
  next.start();
  EXPECT_FALSE(next.audioSlot().empty()) << "the killed tray's slot is free";
  EXPECT_EQ(keys.read(kAudioKey, next.audioSlot()), "") << "left-over entries are dropped";
  close(fds[0]);
  close(fds[1]);
}

TEST_F(Tray, NoAreaNoIconButPollingAndSoundsGoOn) {
  view.available = false;
  TrayModel tray(keys, player, view, tmp.file("install"));
  tray.start();
  ASSERT_TRUE(keys.write(kAudioKey, tray.audioSlot(), "a.wav;"));
  tray.onSecondTick();
  tray.onPollTick();
  EXPECT_EQ(view.adds, 0);
  EXPECT_FALSE(view.shown);
  EXPECT_EQ(tray.state(), kTrayNoService);
  EXPECT_EQ(player.played.size(), 1u);

  view.available = true;
  tray.onSecondTick();
  EXPECT_EQ(view.adds, 1);
  EXPECT_EQ(view.shown, kTrayAlive) << "alive until the next poll";
  tray.onPollTick();
  EXPECT_EQ(view.shown, kTrayNoService);
  EXPECT_EQ(view.tip, "Gridwarden Manager\nCannot find a Service");

  // Gone and back: added again on the tick that finds it.
  view.available = false;
  tray.onSecondTick();
  view.available = true;
  tray.onSecondTick();
  EXPECT_EQ(view.adds, 2);
}

TEST_F(Tray, MenuTextsComeFromTheLanguageFile) {
  WriteFileAtomic(tmp.file("install/manager.ini"), "[Main]\r\nLanguage=Deutsch\r\n");
  MakeDirs(tmp.file("install/Deutsch"));
  WriteFileAtomic(tmp.file("install/Deutsch/language.ini"),
                  "[SystemTray]\r\nItem1=Beenden\r\nItem3=Dienst anhalten\r\nItem4=Konsole\r\n");
  TrayModel tray(keys, player, view, tmp.file("install"));
  tray.start();
  EXPECT_EQ(view.texts[kTrayCmdExit], "Beenden");
  EXPECT_EQ(view.texts[kTrayCmdMonitor], "Konsole");
  EXPECT_EQ(view.texts[kTrayCmdStartStop], "Dienst anhalten");
  ASSERT_TRUE(keys.write("SysTray", "keep-alive", "7"));
  tray.onPollTick();
  tray.onPollTick();  // the counter stood still
  EXPECT_EQ(tray.startStopText(), "Start Service") << "a missing key keeps the English text";
}

// Polls a few times a second rather than every five, so the test is quick.
bool PollUntil(TrayModel& tray, TrayState want, int tries) {
  for (int i = 0; i < tries; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1200));
    tray.onPollTick();
    if (tray.state() == want) return true;
  }
  return false;
}

TEST_F(Tray, FollowsTheBuiltService) {
  if (!test::EnterPrivateNetwork()) GTEST_SKIP() << "no private network namespace here";
  MakeDirs(tmp.file("svc"));
  std::filesystem::copy(test::SourcePath("data/English"), tmp.file("svc/English"),
                        std::filesystem::copy_options::recursive);
  test::ServiceProcess service(tmp.file("svc"), keys.dir());
  ASSERT_TRUE(service.start());
  ASSERT_TRUE(service.waitForOutput("running on", 30000)) << service.output();
  TrayModel tray(keys, player, view, tmp.file("svc"));
  tray.start();
  tray.onSecondTick();
  ASSERT_TRUE(PollUntil(tray, kTrayAlive, 3));
  EXPECT_EQ(tray.startStopText(), "Stop Service");

  ASSERT_TRUE(tray.command(kTrayCmdStartStop));
  EXPECT_EQ(keys.read("SysTray", "command"), "0");
  EXPECT_TRUE(PollUntil(tray, kTrayOnHold, 3)) << "within two polls of the service's second";
  EXPECT_EQ(tray.startStopText(), "Start Service");
  EXPECT_EQ(view.shown, kTrayOnHold);

  ASSERT_TRUE(tray.command(kTrayCmdStartStop));
  EXPECT_TRUE(PollUntil(tray, kTrayAlive, 4));
  EXPECT_EQ(tray.startStopText(), "Stop Service");

  EXPECT_EQ(service.stop(SIGTERM), 0);
  tray.onPollTick();
  EXPECT_EQ(tray.state(), kTrayNoService);
  EXPECT_EQ(view.tip, "Gridwarden Manager\nCannot find a Service");
  ASSERT_TRUE(tray.command(kTrayCmdStartStop));
  EXPECT_EQ(keys.read("SysTray", "command"), std::nullopt) << "the item does nothing";
}

}  // namespace
}  // namespace lark
