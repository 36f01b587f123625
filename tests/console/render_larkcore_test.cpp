// The render tool against the built Larkcore on the demo folder, the
// simulated UPS in alarm: the pictures it writes show the alarm colours the
// console's own alarm checks give. Own network namespace and /dev/shm.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <QImage>
#include <cstdlib>
#include <filesystem>

#include "platform/paths.h"
#include "platform/profile.h"
#include "tests/console/support/console_peers.h"
#include "tests/support/demo_install.h"
#include "tests/support/netns.h"
#include "tests/support/service_process.h"
#include "tests/support/shmns.h"
#include "tests/support/temp_dir.h"
#include "tests/support/wait.h"

namespace lark {
namespace {

namespace fs = std::filesystem;

// Pixels of the Warning level's list image (olive) anywhere in the picture.
bool ShowsWarning(const QImage& img) {
  for (int y = 0; y < img.height(); ++y)
    for (int x = 0; x < img.width(); ++x)
      if (img.pixelColor(x, y) == QColor(0xa0, 0xa0, 0)) return true;
  return false;
}

TEST(RenderLarkcore, ADeviceInAlarmShowsTheAlarmColour) {
  if (!test::EnterPrivateSharedMemory()) GTEST_SKIP() << "no private /dev/shm";
  if (!test::EnterPrivateNetwork()) GTEST_SKIP() << "no private network namespace";
  test::TempDir service, console;
  // Root, "Server room" and "UPS 1" on COM1, whose alarm (a Warning) stays on.
  ASSERT_TRUE(test::CopyDemoInstall(service.path()));
  ASSERT_TRUE(WriteProfileString(service.file("manager.ini"), "Polling", "Serial Polling", "20"));
  ASSERT_TRUE(MakeDirs(service.file("ports")));
  test::Simulator sim("ups_sim", {"--pty-dir", service.file("ports"), "--com", "1", "--ups", "1",
                                  "--answer", "STA=1;0;0;0;0;0;0;0;0;0;0;0;0;0;0;0;0;0;0;1"});
  ASSERT_TRUE(test::Eventually([&] { return FileExists(service.file("ports/COM1")); }, 20000));
  test::ServiceProcess process(service.path());
  ASSERT_TRUE(process.start());
  ASSERT_TRUE(process.waitForOutput("running on", 30000)) << process.output();

  // Another address than the service's own: no shared memory, the link alone.
  ASSERT_TRUE(MakeDirs(console.file("English")));
  fs::copy(test::SourcePath("data/English/language.ini"), console.file("English/language.ini"));
  ASSERT_TRUE(WriteFileAtomic(console.file("monitor.ini"),
                              "[Startup Config]\r\nAuto Connect=1\r\nServer IP=127.0.0.2\r\n"));

  // Each run connects, downloads the map and checks the alarms anew; a longer
  // run is tried while the picture shows no alarm yet (a slow machine).
  bool warned = false;
  std::string seen;
  for (int seconds : {4, 8, 16, 32}) {
    const std::string cmd = "LARK_STATE_DIR=" + console.file("state") +
                            " ASAN_OPTIONS=detect_leaks=0 " +
                            test::BuiltProgram("tools/larkview_render/larkview_render") + " " +
                            console.path() + " " + std::to_string(seconds) + " " +
                            console.file("main.png") + " 2>" + console.file("render.log");
    const int status = std::system(cmd.c_str());
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    seen += std::to_string(seconds) + " s ";
    const QImage main(QString::fromStdString(console.file("main.png")));
    ASSERT_FALSE(main.isNull());
    if ((warned = ShowsWarning(main))) break;
  }
  EXPECT_TRUE(warned) << "no alarm colour after runs of " << seen << process.output()
                      << ReadFile(console.file("render.log")).value_or("");
}

}  // namespace
}  // namespace lark
