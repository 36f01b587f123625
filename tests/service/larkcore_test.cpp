// End-to-end runs of the built Larkcore: start, stop, single instance,
// systemd readiness, a failed start, and the tray's stop and start commands.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "platform/key_store.h"
#include "platform/paths.h"
#include "tests/support/netns.h"
#include "tests/support/service_process.h"
#include "tests/support/temp_dir.h"

namespace lark {
namespace {

using test::ServiceProcess;
using test::TempDir;

bool TcpPortAccepts(uint16_t port) {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(port);
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bool ok = connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
  close(fd);
  return ok;
}

template <class Pred>
bool Eventually(Pred pred, int timeoutMs) {
  auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (std::chrono::steady_clock::now() < end) {
    if (pred()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return pred();
}

class LarkcoreProcess : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!test::EnterPrivateNetwork()) GTEST_SKIP() << "no private network namespace here";
    // An installation ships its English texts.
    std::filesystem::copy(test::SourcePath("data/English"), dir.file("English"),
                          std::filesystem::copy_options::recursive);
  }
  TempDir dir;
};

TEST_F(LarkcoreProcess, RunsInForegroundAndStopsOnInterruptWithZero) {
  ServiceProcess service(dir.path());
  ASSERT_TRUE(service.start());
  ASSERT_TRUE(service.waitForOutput("running on", 30000)) << service.output();
  EXPECT_EQ(service.stop(SIGINT), 0) << service.output();
  auto log = ReadFile(dir.file("Untitled/Event.log"));
  ASSERT_TRUE(log.has_value());
  EXPECT_NE(log->find("\tInformation\t1000\tService started\r\n"), std::string::npos) << *log;
  EXPECT_NE(log->find("\tInformation\t1000\tService stopped\r\n"), std::string::npos) << *log;
  EXPECT_TRUE(FileExists(dir.file("manager.ini")));
}

TEST_F(LarkcoreProcess, SecondInstanceOnTheSameFolderExitsNamingTheFirst) {
  ServiceProcess first(dir.path());
  ASSERT_TRUE(first.start());
  ASSERT_TRUE(first.waitForOutput("running on", 30000)) << first.output();
  ServiceProcess second(dir.path(), dir.file("state2"));
  ASSERT_TRUE(second.start());
  int code = second.waitExit(10000);
  EXPECT_NE(code, 0);
  EXPECT_NE(code, -1) << "the second copy kept running";
  EXPECT_NE(second.output().find("process " + std::to_string(first.pid())), std::string::npos)
      << second.output();
  EXPECT_EQ(first.stop(SIGTERM), 0);
}

TEST_F(LarkcoreProcess, ReportsReadyToSystemdAndStopsOnTerm) {
  std::string sockPath = dir.file("notify.sock");
  int fd = socket(AF_UNIX, SOCK_DGRAM, 0);
  sockaddr_un a{};
  a.sun_family = AF_UNIX;
  snprintf(a.sun_path, sizeof a.sun_path, "%s", sockPath.c_str());
  ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
  timeval tv{30, 0};
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
  ServiceProcess service(dir.path(), {}, {"NOTIFY_SOCKET=" + sockPath});
  ASSERT_TRUE(service.start());
  char buf[64] = {};
  ssize_t n = recv(fd, buf, sizeof buf - 1, 0);
  close(fd);
  EXPECT_EQ(std::string(buf, n > 0 ? n : 0), "READY=1");
  EXPECT_EQ(service.stop(SIGTERM), 0);
}

TEST_F(LarkcoreProcess, FailedStartExitsNonZeroWithAMessage) {
  // The install folder is a plain file: nothing can be created in it.
  ASSERT_TRUE(WriteFileAtomic(dir.file("not-a-folder"), "x"));
  ServiceProcess service(dir.file("not-a-folder"), dir.file("state"));
  ASSERT_TRUE(service.start());
  int code = service.waitExit(30000);
  EXPECT_NE(code, 0);
  EXPECT_NE(code, -1);
}

TEST_F(LarkcoreProcess, TrayCommandsStopAndRestartMonitoring) {
  ServiceProcess service(dir.path());
  ASSERT_TRUE(service.start());
  ASSERT_TRUE(service.waitForOutput("running on", 30000)) << service.output();
  ASSERT_TRUE(Eventually([] { return TcpPortAccepts(8900); }, 10000));
  KeyStore keys(service.stateDir());

  // The keep-alive counter rises while monitoring.
  auto keepAlive = [&] { return std::stol(keys.read("SysTray", "keep-alive").value_or("-1")); };
  long before = keepAlive();
  EXPECT_TRUE(Eventually([&] { return keepAlive() > before; }, 10000));

  ASSERT_TRUE(keys.write("SysTray", "command", "0"));
  EXPECT_TRUE(Eventually([] { return !TcpPortAccepts(8900); }, 10000));
  EXPECT_EQ(keys.read("SysTray", "command").value_or(""), "");

  ASSERT_TRUE(keys.write("SysTray", "command", "1"));
  EXPECT_TRUE(Eventually([] { return TcpPortAccepts(8900); }, 10000));
  EXPECT_EQ(service.stop(SIGTERM), 0);
}

}  // namespace
}  // namespace lark
