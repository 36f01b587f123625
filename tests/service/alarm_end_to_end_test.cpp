// The demo installation end to end: the simulated UPS raises an alarm and
// clears it; the service logs both, pops the message up once through the
// desktop-message program and hands the sound to the tray's audio value.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "platform/key_store.h"
#include "platform/paths.h"
#include "platform/profile.h"
#include "tests/support/larknote_stub.h"
#include "tests/support/netns.h"
#include "tests/support/service_process.h"
#include "tests/support/temp_dir.h"
#include "tests/support/wait.h"

namespace lark {
namespace {

namespace fs = std::filesystem;

using test::Eventually;

pid_t StartSimulator(const std::string& portsDir) {
  std::string sim = test::BuiltProgram("tools/ups_sim");
  pid_t pid = fork();
  if (pid == 0) {
    int null = open("/dev/null", O_WRONLY);
    dup2(null, 1);
    dup2(null, 2);
    // The alarm is on for 10 status answers, then off for 10.
    execl(sim.c_str(), sim.c_str(), "--pty-dir", portsDir.c_str(), "--com", "1", "--ups", "1",
          "--alarm-cycle", "10", static_cast<char*>(nullptr));
    _exit(127);
  }
  return pid;
}

// Stops the simulator however the test ends.
struct Simulator {
  pid_t pid;
  ~Simulator() {
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
  }
};

TEST(AlarmEndToEnd, SimulatedAlarmIsLoggedPoppedUpAndSounded) {
  if (!test::EnterPrivateNetwork()) GTEST_SKIP() << "no private network namespace here";
  test::TempDir dir;
  fs::copy(test::SourcePath("data"), dir.path(), fs::copy_options::recursive);
  // Popups go to the whole domain, and every alarm row names a sound.
  ASSERT_TRUE(WriteProfileString(dir.file("manager.ini"), "Broadcast", "Domain", "Yes"));
  // A fast poll, so the simulator's status answers come often.
  ASSERT_TRUE(WriteProfileString(dir.file("manager.ini"), "Polling", "Serial Polling", "20"));
  for (const auto& entry : fs::directory_iterator(dir.file("English"))) {
    std::string name = entry.path().filename().string();
    if (name.rfind("action-", 0) != 0) continue;
    Profile table(entry.path().string());
    for (const std::string& section : table.sectionNames())
      if (section.rfind("Event", 0) == 0) table.setString(section, "Audio.File", "alarm.wav");
    ASSERT_TRUE(table.save());
  }
  std::string calls = test::InstallLarknoteStub(dir.path());
  ASSERT_TRUE(MakeDirs(dir.file("ports")));
  Simulator sim{StartSimulator(dir.file("ports"))};
  ASSERT_TRUE(Eventually([&] { return FileExists(dir.file("ports/COM1")); }, 20000));

  test::ServiceProcess service(dir.path());
  ASSERT_TRUE(service.start());
  ASSERT_TRUE(service.waitForOutput("running on", 30000)) << service.output();
  // A tray program is listening for sounds.
  KeyStore keys(service.stateDir());
  ASSERT_TRUE(keys.write("Audio", "0", ""));

  auto eventLog = [&] { return ReadFile(dir.file("Demo/Event.log")).value_or(""); };
  auto count = [](const std::string& text, const std::string& what) {
    int n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
  };
  // The simulator's alarm is row 0 of the device's table: "Event 1".
  ASSERT_TRUE(
      Eventually([&] { return count(eventLog(), "\tWarning\t0\tEvent 1 occurred\r\n"); }, 120000))
      << eventLog() << service.output();
  ASSERT_TRUE(Eventually([&] { return count(eventLog(), "\tInformation\t1\tEvent 1 cleared\r\n"); },
                         120000))
      << eventLog();

  // Each occurrence pops up exactly once. The popup program records its call
  // a moment after the log line, so compare once the service has stopped.
  EXPECT_EQ(service.stop(SIGTERM), 0) << service.output();
  auto popups = [&] {
    int n = 0;
    for (const auto& call : test::ReadLarknoteCalls(calls)) {
      EXPECT_EQ(call.size(), 2u);
      if (call.size() == 2 && call[0] == "*" &&
          call[1].find("Event 1 occurred") != std::string::npos)
        ++n;
    }
    return n;
  };
  const int occurrences = count(eventLog(), "Event 1 occurred");
  Eventually([&] { return popups() >= occurrences; }, 10000);
  EXPECT_EQ(popups(), occurrences);
  EXPECT_NE(keys.read("Audio", "0").value_or("").find("alarm.wav"), std::string::npos);
}

}  // namespace
}  // namespace lark
