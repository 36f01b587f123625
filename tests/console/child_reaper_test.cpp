// The programs the console starts are waited for by their own pid as soon as
// they end: no zombie while the console runs, and a child the process waits
// for elsewhere keeps its exit status for its owner.
#include "console/shell/child_reaper.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "console/shell/console_context.h"
#include "platform/paths.h"
#include "tests/console/support/console_peers.h"
#include "tests/support/larknote_stub.h"
#include "tests/support/temp_dir.h"

namespace lark {
namespace {

// A zombie keeps its /proc entry until it is waited for.
bool Gone(pid_t pid) { return !FileExists("/proc/" + std::to_string(pid) + "/stat"); }

TEST(ChildReaperTest, EveryStartedProgramIsReapedWhenItEnds) {
  test::TempDir dir;
  FakeClock clock{0, WallTime{2026, 5, 4, 1, 10, 0, 0, 0}};
  ConsoleContext ctx(dir.path(), clock, WorkArea{0, 0, 1280, 800});
  // A stand-in viewer that ends at once, and the Larknote stand-in.
  const std::string viewer = dir.file("Larkplot");
  ASSERT_TRUE(WriteFileAtomic(viewer, "#!/bin/sh\nexit 0\n"));
  ::chmod(viewer.c_str(), 0755);
  test::InstallLarknoteStub(dir.path());

  // A child of the test's own, still running: no reap may take it.
  int gate[2];
  ASSERT_EQ(::pipe(gate), 0);
  const pid_t own = ::fork();
  if (own == 0) {
    ::close(gate[1]);
    char c;
    const ssize_t n = ::read(gate[0], &c, 1);
    ::_exit(n == 0 ? 7 : 1);
  }
  ::close(gate[0]);

  for (const std::vector<std::string>& argv :
       {std::vector<std::string>{viewer, "-n", "1"}, {dir.file("Larknote"), "alarm", "text"}}) {
    SCOPED_TRACE(argv[0]);
    const pid_t pid = ctx.spawn(argv, {});
    ASSERT_GT(pid, 0);
    EXPECT_TRUE(test::Spin([&] { return Gone(pid); }, 30000)) << "still a zombie";
    EXPECT_EQ(ctx.children.running(), 0u);
  }

  ::close(gate[1]);
  int status = 0;
  ASSERT_EQ(::waitpid(own, &status, 0), own);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 7);
}

}  // namespace
}  // namespace lark
