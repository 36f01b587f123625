// "COMn" names and where they lead.
#include "platform/serial_line.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include "tests/support/temp_dir.h"

namespace lark {
namespace {

TEST(ComPorts, NamesAndResolver) {
  struct Case {
    const char* text;
    int want;
  };
  for (const Case& c :
       {Case{"COM1", 1}, Case{"com12", 12}, Case{"COM255", 255}, Case{"COM256", 0}, Case{"COM0", 0},
        Case{"COM", 0}, Case{"COM1x", 0}, Case{"TTY1", 0}, Case{"COM0001", 0}}) {
    EXPECT_EQ(ComNumberOf(c.text), c.want) << c.text;
  }
  test::TempDir dir;
  ASSERT_EQ(symlink("/dev/null", dir.file("COM2").c_str()), 0);
  ASSERT_EQ(symlink(dir.file("gone").c_str(), dir.file("COM4").c_str()), 0);
  ComPortResolver r{{{3, "/dev/ttyUSB0"}}, dir.path()};
  EXPECT_EQ(r.resolve(3), "/dev/ttyUSB0");
  EXPECT_EQ(r.resolve(2), dir.file("COM2"));
  EXPECT_EQ(r.resolve(4), dir.file("COM4"));  // a dead link is no way to a real ttyS3
  EXPECT_EQ(r.resolve(12), "/dev/ttyS11");
  // A link or a per-port path once found is kept while it is gone, and
  // found again when it returns.
  ASSERT_EQ(unlink(dir.file("COM2").c_str()), 0);
  EXPECT_EQ(r.resolve(2), dir.file("COM2"));
  r.overrides.clear();
  EXPECT_EQ(r.resolve(3), "/dev/ttyUSB0");
  ASSERT_EQ(symlink("/dev/null", dir.file("COM3").c_str()), 0);
  EXPECT_EQ(r.resolve(3), dir.file("COM3"));
  setenv("LARK_SERIAL_DIR", "/x/ports", 1);
  EXPECT_EQ(DefaultSerialLinkDir("/opt/lark"), "/x/ports");
  unsetenv("LARK_SERIAL_DIR");
  EXPECT_EQ(DefaultSerialLinkDir("/opt/lark"), "/opt/lark/ports");
}

}  // namespace
}  // namespace lark
