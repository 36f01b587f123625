// The built Larktray: one copy per login (or beside it with "restart"), the
// Exit path on SIGTERM, no icon without a notification area, and the icon in
// a real one (Xvfb with trayer) that comes back after trayer restarts.
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "core/audio_slots.h"
#include "platform/key_store.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "tests/support/temp_dir.h"
#include "tests/support/wait.h"

namespace lark {
namespace {

class Larktray : public ::testing::Test {
 protected:
  void SetUp() override {
    MakeDirs(tmp.file("run"));
    chmod(tmp.file("run").c_str(), 0700);
    MakeDirs(tmp.file("install"));
    setenv("LARK_STATE_DIR", keys.dir().c_str(), 1);
    setenv("LARK_INSTALL_DIR", tmp.file("install").c_str(), 1);
    setenv("XDG_RUNTIME_DIR", tmp.file("run").c_str(), 1);
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    // What Qt and D-Bus keep for the life of the process is not a leak of ours.
    setenv("LSAN_OPTIONS",
           ("suppressions=" + test::SourcePath("tests/console/support/lsan.supp") +
            ":print_suppressions=0")
               .c_str(),
           1);
  }
  void TearDown() override {
    for (pid_t pid : pids) {
      kill(pid, SIGKILL);
      waitpid(pid, nullptr, 0);
    }
  }
  // Starts a program with its stdout and stderr in `log`.
  pid_t start(const std::string& program, const std::string& args, const std::string& log) {
    pid_t pid = Spawn({"/bin/sh", "-c", "exec " + program + " " + args + " >" + log + " 2>&1"});
    pids.push_back(pid);
    return pid;
  }
  pid_t tray(const std::string& args = "") {
    return start(test::BuiltProgram("tray/Larktray"), args, tmp.file("tray" + args + ".log"));
  }
  std::string log(const std::string& args = "") {
    return ReadFile(tmp.file("tray" + args + ".log")).value_or("");
  }
  int exitCode(pid_t pid, int timeoutMs) {
    int status = -1;
    bool done = test::Eventually([&] { return waitpid(pid, &status, WNOHANG) == pid; }, timeoutMs);
    if (done) std::erase(pids, pid);  // one still running is killed in TearDown
    return done && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  size_t count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = 0; (at = text.find(what, at)) != std::string::npos; at += what.size()) ++n;
    return n;
  }
  test::TempDir tmp;
  KeyStore keys{tmp.file("state")};
  std::vector<pid_t> pids;
};

TEST_F(Larktray, OneCopyPerLoginRestartBesideItAndTermTakesTheExitPath) {
  pid_t first = tray();
  ASSERT_TRUE(test::Eventually([&] { return keys.read(kAudioKey, "0").has_value(); }, 20000))
      << log();
  // Without a notification area the one-second work goes on: its slot is played and emptied.
  EXPECT_TRUE(test::Eventually(
      [&] { return log().find("no notification area") != std::string::npos; }, 5000));
  ASSERT_TRUE(keys.write(kAudioKey, "0", "missing.wav;"));
  EXPECT_TRUE(test::Eventually([&] { return keys.read(kAudioKey, "0") == ""; }, 5000)) << log();

  EXPECT_EQ(exitCode(tray(), 20000), 0) << "a second copy ends at once";
  pid_t beside = tray("restart");
  EXPECT_TRUE(test::Eventually([&] { return keys.read(kAudioKey, "1").has_value(); }, 20000))
      << log("restart");
  EXPECT_EQ(exitCode(beside, 300), -1) << "still running";

  kill(first, SIGTERM);
  EXPECT_EQ(exitCode(first, 20000), 0) << log();
  EXPECT_EQ(keys.read(kAudioKey, "0"), std::nullopt) << "its slot went with it";
}

TEST_F(Larktray, IconInANotificationAreaAndBackAfterItRestarts) {
  if (system("command -v Xvfb >/dev/null && command -v trayer >/dev/null") != 0)
    GTEST_SKIP() << "needs Xvfb and trayer";
  const int display = 200 + getpid() % 500;
  const std::string name = ":" + std::to_string(display);
  start("Xvfb", name + " -nolisten tcp -screen 0 640x480x24", tmp.file("xvfb.log"));
  ASSERT_TRUE(test::Eventually(
      [&] { return FileExists("/tmp/.X11-unix/X" + std::to_string(display)); }, 20000));
  setenv("DISPLAY", name.c_str(), 1);
  setenv("QT_QPA_PLATFORM", "xcb", 1);
  tray();
  ASSERT_TRUE(test::Eventually([&] { return count(log(), "no notification area") == 1; }, 20000))
      << log();
  pid_t trayer = start("trayer", "", tmp.file("trayer.log"));
  EXPECT_TRUE(test::Eventually([&] { return count(log(), "icon shown") == 1; }, 2000)) << log();
  kill(trayer, SIGTERM);
  exitCode(trayer, 5000);
  ASSERT_TRUE(test::Eventually([&] { return count(log(), "no notification area") == 2; }, 5000))
      << log();
  start("trayer", "", tmp.file("trayer.log"));
  EXPECT_TRUE(test::Eventually([&] { return count(log(), "icon shown") == 2; }, 2000)) << log();
}

}  // namespace
}  // namespace lark
