// Event.log on a small disk that fills up and is freed again: no line is
// torn or run together, and the lost lines are counted in the log.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <regex>
#include <string>
#include <vector>

#include "core/event_log.h"
#include "platform/clock.h"
#include "platform/paths.h"
#include "tests/support/mountns.h"
#include "tests/support/temp_dir.h"

namespace lark {
namespace {

// Writes until the disk refuses a byte more.
void FillDisk(const std::string& path) {
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  ASSERT_GE(fd, 0);
  const std::string block(4096, 'f');
  while (::write(fd, block.data(), block.size()) > 0) {
  }
  while (::write(fd, "f", 1) > 0) {
  }
  ::close(fd);
}

TEST(EventLogFullDisk, LostLinesAreCountedAndNoLineIsTorn) {
  if (!test::EnterPrivateMounts()) GTEST_SKIP() << "no private mount namespace";
  test::TempDir dir;
  const std::string disk = dir.file("hist");
  ASSERT_TRUE(MakeDirs(disk));
  ASSERT_TRUE(test::MountSmallDisk(disk, 2 << 20));
  FakeClock clock(0, WallTime{2026, 5, 4, 1, 2, 3, 4, 0});
  EventLog log(clock, {});
  log.setMaxLines(1000000);
  log.setPath(disk, "Site");
  ASSERT_TRUE(log.writeEvent(1, kLevelSerious, 5, "before the disk filled"));
  FillDisk(disk + "/filler");

  int lost = 0;
  for (int i = 0; i < 400; ++i) {
    if (!log.writeEvent(2, kLevelWarning, i, "event number " + std::to_string(i) + " while full"))
      ++lost;
  }
  EXPECT_GT(lost, 0);
  ::unlink((disk + "/filler").c_str());
  ASSERT_TRUE(log.writeEvent(3, kLevelInformation, 9, "after the disk was freed"));
  ASSERT_TRUE(log.writeEvent(4, kLevelInformation, 9, "and one more"));

  const std::string text = ReadFile(log.filePath()).value();
  ASSERT_GE(text.size(), 2u);
  EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
  const std::regex shape(
      R"(-?\d+\t2026/05/04\t02:03:04\t(Serious|Warning|Information)\t\d+\t[^\t]+)");
  std::vector<std::string> lines;
  for (size_t pos = 0; pos < text.size();) {
    size_t end = text.find("\r\n", pos);
    ASSERT_NE(end, std::string::npos);
    lines.push_back(text.substr(pos, end - pos));
    pos = end + 2;
  }
  for (const std::string& line : lines) EXPECT_TRUE(std::regex_match(line, shape)) << line;
  const std::string report = std::to_string(lost) + " events could not be written";
  ASSERT_GE(lines.size(), 3u);
  EXPECT_NE(lines[lines.size() - 3].find(report), std::string::npos) << lines[lines.size() - 3];
  EXPECT_NE(lines[lines.size() - 2].find("after the disk was freed"), std::string::npos);
  EXPECT_EQ(static_cast<size_t>(log.lineCount()), lines.size());
  EXPECT_TRUE(test::Unmount(disk));
}

}  // namespace
}  // namespace lark
