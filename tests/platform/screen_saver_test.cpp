#include "platform/screen_saver.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <string>

#include "platform/paths.h"
#include "platform/process.h"
#include "tests/support/temp_dir.h"
#include "tests/support/wait.h"

namespace lark {
namespace {

// A stand-in xdg-screensaver first on PATH records its arguments; with no
// such program on PATH nothing starts.
TEST(ScreenSaver, SwitchedOffThroughTheDesktopToolOrNothing) {
  test::TempDir dir;
  const std::string tool = dir.file("xdg-screensaver");
  ASSERT_TRUE(WriteFileAtomic(tool, "#!/bin/sh\necho \"$@\" > \"$(dirname \"$0\")/args.tmp\"\n"
                                    "mv \"$(dirname \"$0\")/args.tmp\" \"$(dirname \"$0\")/args\"\n"));
  ASSERT_EQ(chmod(tool.c_str(), 0755), 0);
  const char* path = getenv("PATH");
  const std::string keep = path ? path : "";
  setenv("PATH", (dir.path() + ":" + keep).c_str(), 1);
  const pid_t pid = SwitchScreenSaverOff();
  EXPECT_GT(pid, 0);
  EXPECT_TRUE(test::Eventually([&] { return ReapChild(pid); }, 10000));
  EXPECT_EQ(ReadFile(dir.file("args")).value_or(""), "reset\n");

  setenv("PATH", dir.file("none").c_str(), 1);
  EXPECT_EQ(SwitchScreenSaverOff(), -1);
  setenv("PATH", keep.c_str(), 1);
}

}  // namespace
}  // namespace lark
