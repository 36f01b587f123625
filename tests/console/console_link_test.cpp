// Larkview's link on Qt's loop: the shell's timers and the Qt reactor walk a
// session against a scripted service to the running state, and losing the
// service frees the tree and refills the views.
#include "console/shell/console_link.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <chrono>

#include "console/shell/larkview.h"
#include "console/shell/main_window.h"
#include "platform/paths.h"
#include "tests/support/fake_link_service.h"
#include "tests/console/support/console_peers.h"
#include "tests/support/netns.h"
#include "tests/support/temp_dir.h"

namespace lark {
namespace {

TEST(ConsoleLinkTest, SessionRunsOnTheWindowTimers) {
  if (!test::EnterPrivateNetwork()) GTEST_SKIP() << "no private network namespace";
  test::FakeLinkService service("127.0.0.2");
  ASSERT_TRUE(service.started());
  test::TempDir dir;
  MakeDirs(dir.file("English"));
  WriteFileAtomic(dir.file("English/language.ini"), ReadFile(test::SourcePath("data/English/language.ini")).value());
  SystemClock clock;
  ConsoleContext ctx(dir.path(), clock, WorkArea{0, 0, 1280, 800});
  ctx.messageBox = [](QWidget*, const std::string&, const std::string&, unsigned) { return int(IDOK); };
  ctx.quit = [](int) {};
  int refills = 0;
  ConsoleLink link(ctx);
  link.Wire();
  ctx.points.fillLists = [&] { ++refills; };
  std::string failed;
  std::unique_ptr<LarkviewWindow> w = StartConsole(ctx, &failed);
  ASSERT_TRUE(w) << failed;
  link.link().setServer("127.0.0.2");
  link.link().setAutoConnect(true);
  ASSERT_TRUE(test::Spin([&] { return link.link().state() == LinkState{7, 0}; }, 15000));
  EXPECT_TRUE(FileExists(dir.file("Monitor/Fake.UMF")));
  EXPECT_TRUE(FileExists(dir.file("Monitor/manager.ini")));
  const int before = refills;
  service.dropConsole();
  ASSERT_TRUE(test::Spin([&] { return link.link().state() == LinkState{2, 0}; }, 3000));
  EXPECT_GT(refills, before);
  w->SendCommand(IDM_EXIT);
  ShutdownConsole(ctx, *w);
}

}  // namespace
}  // namespace lark
