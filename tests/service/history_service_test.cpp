// The history recorder inside the service: the one-second tick's day and
// month work, and the demo installation writing its month file.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "platform/clock.h"
#include "platform/event_loop.h"
#include "platform/key_store.h"
#include "platform/paths.h"
#include "platform/profile.h"
#include "records/history_files.h"
#include "service/service.h"
#include "tests/support/wait.h"
#include "tests/support/netns.h"
#include "tests/support/service_process.h"
#include "tests/support/temp_dir.h"

namespace lark {
namespace {

namespace fs = std::filesystem;

std::string Read(const std::string& path) { return ReadFile(path).value_or(""); }

TEST(HistoryServiceTick, DayChangeTogglesPresentSnapshotAndRaisesTheFlagsOnce) {
  if (!test::EnterPrivateNetwork()) GTEST_SKIP() << "no private network namespace here";
  test::TempDir dir;
  KeyStore keys(dir.file("state"));
  EventLoop loop;
  FakeClock clock;
  clock.setWall(WallTime{2024, 3, 31, 0, 23, 59, 30, 0});
  ServiceOptions o;
  o.installDir = dir.path();
  o.log = [](std::string_view) {};
  Service service(loop, clock, keys, o);
  std::string error;
  ASSERT_TRUE(service.start(&error)) << error;
  // The thread would take the flags at once; here they stay to be seen.
  service.history().stop();
  HistoryRecorder& h = service.history();
  const std::string present = dir.file("present.dat");
  auto tickAt = [&](const WallTime& w) {
    clock.setWall(w);
    service.onSecondTimer();
  };
  tickAt(WallTime{2024, 3, 31, 0, 23, 59, 31, 0});  // the forced boundary of the first tick
  EXPECT_FALSE(h.dayChanged.load() || h.monthChanged.load());
  EXPECT_FALSE(FileExists(present));

  tickAt(WallTime{2024, 4, 1, 1, 0, 0, 0, 0});
  EXPECT_TRUE(h.dayChanged.exchange(false));
  EXPECT_TRUE(h.monthChanged.exchange(false));
  EXPECT_EQ(Read(present).size(), kPresentSnapshotSize);
  tickAt(WallTime{2024, 4, 1, 1, 0, 0, 1, 0});
  tickAt(WallTime{2024, 4, 1, 1, 0, 1, 0, 0});
  EXPECT_FALSE(h.dayChanged.load() || h.monthChanged.load());

  tickAt(WallTime{2024, 4, 2, 2, 0, 0, 0, 0});
  EXPECT_TRUE(h.dayChanged.load());
  EXPECT_FALSE(h.monthChanged.load());
  EXPECT_FALSE(FileExists(present));
  service.stop();
}

// The demo installation with a one-second period: the simulated UPS's month
// file fills, and an interrupt ends the service with its history thread.
TEST(HistoryDemo, SimulatedUpsFillsItsMonthFile) {
  if (!test::EnterPrivateNetwork()) GTEST_SKIP() << "no private network namespace here";
  test::TempDir dir;
  fs::copy(test::SourcePath("data"), dir.path(), fs::copy_options::recursive);
  ASSERT_TRUE(WriteProfileString(dir.file("manager.ini"), "History", "Period", "1"));
  ASSERT_TRUE(MakeDirs(dir.file("ports")));
  const std::string sim = test::BuiltProgram("tools/ups_sim");
  const std::string ports = dir.file("ports");
  pid_t simPid = fork();
  if (simPid == 0) {
    int null = open("/dev/null", O_WRONLY);
    dup2(null, 1);
    dup2(null, 2);
    execl(sim.c_str(), sim.c_str(), "--pty-dir", ports.c_str(), "--com", "1", "--ups", "1",
          static_cast<char*>(nullptr));
    _exit(127);
  }
  struct Reap {
    pid_t pid;
    ~Reap() {
      kill(pid, SIGTERM);
      waitpid(pid, nullptr, 0);
    }
  } reap{simPid};
  ASSERT_TRUE(test::Eventually([&] { return FileExists(dir.file("ports/COM1")); }, 20000));

  test::ServiceProcess service(dir.path());
  ASSERT_TRUE(service.start());
  ASSERT_TRUE(service.waitForOutput("running on", 30000)) << service.output();
  // Lines of 4 time fields and 54 values, at least two of them with values.
  auto goodLines = [&] {
    int n = 0;
    if (!fs::is_directory(dir.file("Demo/2"))) return 0;
    for (const auto& e : fs::recursive_directory_iterator(dir.file("Demo/2"))) {
      if (e.path().extension() != ".DAT") continue;
      const std::string text = Read(e.path().string());
      if (text.rfind("0\r\n", 0) != 0) return 0;
      for (size_t at = 3; at < text.size();) {
        const size_t end = text.find("\r\n", at);
        if (end == std::string::npos) break;
        const std::string line = text.substr(at, end - at);
        if (std::count(line.begin(), line.end(), '\t') == 57 &&
            line.find("\t10000\t") == std::string::npos)
          ++n;
        at = end + 2;
      }
    }
    return n;
  };
  EXPECT_TRUE(test::Eventually([&] { return goodLines() >= 2; }, 90000)) << service.output();
  EXPECT_EQ(service.stop(SIGINT), 0) << service.output();
}

}  // namespace
}  // namespace lark
