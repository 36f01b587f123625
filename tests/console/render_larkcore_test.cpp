// The render tool against the built Larkcore on the demo folder, the
// simulated UPS in alarm: the pictures it writes show the alarm colours the
// console's own alarm checks give. Own network namespace and /dev/shm.
#include <sys/wait.h>

#include <QImage>
#include <cstdlib>

#include "tests/console/support/larkcore_console.h"

namespace lark {
namespace {

// Pixels of the Warning level's list image (olive) anywhere in the picture.
bool ShowsWarning(const QImage& img) {
  for (int y = 0; y < img.height(); ++y)
    for (int x = 0; x < img.width(); ++x)
      if (img.pixelColor(x, y) == QColor(0xa0, 0xa0, 0)) return true;
  return false;
}

// The service alone: the console is the render tool, started by the case.
class RenderLarkcore : public test::LarkcoreConsole {
 protected:
  RenderLarkcore() { privateShm = true; }
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(Prepare());
    if (IsSkipped()) return;
    ASSERT_NO_FATAL_FAILURE(StartService());
    ConsoleFiles();
    // Another address than the service's own: no shared memory, the link alone.
    ASSERT_TRUE(WriteFileAtomic(console.file("monitor.ini"),
                                "[Startup Config]\r\nAuto Connect=1\r\nServer IP=127.0.0.2\r\n"));
  }
  // Root, "Server room" and "UPS 1" on COM1, whose alarm (a Warning) stays on.
  void BeforeServiceStarts() override {
    ASSERT_TRUE(WriteProfileString(service.file("manager.ini"), "Polling", "Serial Polling", "20"));
    Simulate("ups_sim", {"--pty-dir", Ports(), "--com", "1", "--ups", "1", "--answer",
                         "STA=1;0;0;0;0;0;0;0;0;0;0;0;0;0;0;0;0;0;0;1"});
    ASSERT_TRUE(LinesUp({1}));
  }
};

TEST_F(RenderLarkcore, ADeviceInAlarmShowsTheAlarmColour) {
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
  EXPECT_TRUE(warned) << "no alarm colour after runs of " << seen << larkcore->output()
                      << ReadFile(console.file("render.log")).value_or("");
}

}  // namespace
}  // namespace lark
