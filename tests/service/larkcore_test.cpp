// End-to-end runs of the built Larkcore: start, stop, single instance,
// systemd readiness, a failed start, and the tray's stop and start commands;
// and the one-second work of an in-process service on a fake clock.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "core/device_tree.h"
#include "devices/ascii_live_data.h"
#include "platform/clock.h"
#include "platform/event_loop.h"
#include "platform/key_store.h"
#include "platform/paths.h"
#include "service/service.h"
#include "tests/support/netns.h"
#include "tests/support/service_process.h"
#include "tests/support/temp_dir.h"
#include "tests/support/wait.h"

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

using test::Eventually;

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
  EXPECT_NE(service.output().find("Larkcore: cannot create the install folder"), std::string::npos)
      << service.output();
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

// A service in this process on a fake clock, its timers driven by hand; one
// ASCII UPS that takes the hourly clock, on a port that never opens, so its
// command queue shows what was pushed.
class ServiceTicks : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!test::EnterPrivateNetwork()) GTEST_SKIP() << "no private network namespace here";
    std::filesystem::copy(test::SourcePath("data/English"), dir.file("English"),
                          std::filesystem::copy_options::recursive);
    ASSERT_TRUE(WriteFileAtomic(dir.file("manager.ini"),
                                "[Main]\r\nLoad File=Clock.UMF\r\n"
                                "[Serial Ports]\r\nCOM1=" +
                                    dir.file("no-such-tty") + "\r\n"));
    ASSERT_TRUE(WriteFileAtomic(dir.file("Clock.UMF"),
                                "[Main]\r\nNumber=2\r\nIndex0.ID=0\r\nIndex1.ID=1\r\n"
                                "[ID0]\r\nPreviousID=0\r\nTitle=Main\r\n"
                                "[ID1]\r\nPreviousID=0\r\nTitle=UPS\r\nCOM=COM1\r\nUPSID=1\r\n"
                                "Baud=2400\r\nCommType=0\r\nSync.DateTime=1\r\n"));
  }
  void TearDown() override {
    if (service) service->stop();
  }
  void startAt(const WallTime& wall) {
    clock.setWall(wall);
    ServiceOptions o;
    o.installDir = dir.path();
    o.log = [](std::string_view) {};
    service = std::make_unique<Service>(loop, clock, keys, o);
    std::string error;
    ASSERT_TRUE(service->start(&error)) << error;
  }
  // Moves the clock to hh:mm:ss of the same day and runs one tick.
  void tickAt(int hour, int minute, int second) {
    WallTime w = clock.now();
    w.hour = hour, w.minute = minute, w.second = second;
    clock.setWall(w);
    service->onSecondTimer();
  }
  std::vector<std::string> queued() {
    std::vector<std::string> texts;
    DeviceNode* ups = Tree_FindNodeById(1, &service->tree().root());
    if (ups == nullptr || ups->block(BlockKind::kAscii) == nullptr) return {"<no UPS>"};
    ups->block(BlockKind::kAscii)->withImage([&](Bytes b) {
      AsciiImage img(b);
      for (; img.queueCount() > 0; img.queuePop()) texts.push_back(img.queueHead());
    });
    return texts;
  }

  TempDir dir;
  KeyStore keys{dir.file("state")};
  EventLoop loop;
  FakeClock clock;
  std::unique_ptr<Service> service;
};

TEST_F(ServiceTicks, ClockGoesToTheDevicesOnlyWhenAnHourBegins) {
  // Started within minute 0: the first tick's forced minute boundary is no
  // full hour.
  startAt(WallTime{2024, 5, 6, 1, 10, 0, 30, 0});
  tickAt(10, 0, 31);
  EXPECT_TRUE(queued().empty());
  tickAt(10, 59, 59);
  EXPECT_TRUE(queued().empty());
  tickAt(11, 0, 0);
  EXPECT_EQ(queued(), std::vector<std::string>{"S020SDT24;05;06;11;00;00"});
  tickAt(11, 0, 1);  // the same minute once more
  EXPECT_TRUE(queued().empty());
}

TEST_F(ServiceTicks, TrayStopFreezesKeepAliveAndStartReloadsTheMap) {
  startAt(WallTime{2024, 5, 6, 1, 10, 0, 30, 0});
  auto keepAlive = [&] { return keys.read("SysTray", "keep-alive").value_or("none"); };
  auto tickOnce = [&] {
    clock.advance(1000);
    service->onSecondTimer();
  };
  tickOnce();
  tickOnce();
  EXPECT_EQ(keepAlive(), "1");

  ASSERT_TRUE(keys.write("SysTray", "command", "0"));
  tickOnce();  // keep-alive first, then the command
  EXPECT_EQ(service->tray().monitoringState(), kMonitoringStopped);
  EXPECT_EQ(service->tree().root().childCount(), 0);
  EXPECT_EQ(service->maps().currentMapName(), "Untitled");
  tickOnce();
  EXPECT_EQ(keepAlive(), "2");

  ASSERT_TRUE(keys.write("SysTray", "command", "1"));
  tickOnce();
  EXPECT_EQ(service->tray().monitoringState(), kMonitoring);
  EXPECT_EQ(service->maps().currentMapName(), "Clock");
  EXPECT_EQ(queued(), std::vector<std::string>{});  // the UPS is back, its queue empty
  tickOnce();
  EXPECT_EQ(keepAlive(), "3");
}

TEST_F(ServiceTicks, ImageListIsRebuiltEverySixtySeconds) {
  startAt(WallTime{2024, 5, 6, 1, 10, 0, 30, 0});
  ASSERT_TRUE(MakeDirs(dir.file("Images")));
  ASSERT_TRUE(WriteFileAtomic(dir.file("Images/plant.bmp"), "x"));
  auto listed = [&] {
    return ReadFile(dir.file("manager.ini")).value_or("").find("plant.bmp;") != std::string::npos;
  };
  for (int i = 0; i < 59; ++i) {
    clock.advance(1000);
    service->onSecondTimer();
  }
  EXPECT_FALSE(listed());
  clock.advance(1000);
  service->onSecondTimer();
  EXPECT_TRUE(listed());
}

}  // namespace
}  // namespace lark
