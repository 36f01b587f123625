#include "core/event_log.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <fstream>
#include <regex>
#include <sstream>
#include <thread>
#include <vector>

#include "platform/clock.h"
#include "platform/paths.h"
#include "tests/support/temp_dir.h"

namespace lark {
namespace {

std::vector<std::string> SplitCrlf(const std::string& s) {
  std::vector<std::string> lines;
  size_t pos = 0;
  while (pos < s.size()) {
    size_t end = s.find("\r\n", pos);
    EXPECT_NE(end, std::string::npos) << "unterminated tail";
    if (end == std::string::npos) break;
    lines.push_back(s.substr(pos, end - pos));
    pos = end + 2;
  }
  return lines;
}

class EventLogTest : public ::testing::Test {
 protected:
  EventLogTest() : clock_(0, WallTime{2024, 3, 7, 4, 9, 5, 1, 0}), log_(clock_, {}) {
    log_.setPath(dir_.path(), "Plant");
  }
  std::string logPath() const { return dir_.path() + "/Plant/Event.log"; }
  std::vector<std::string> lines() const {
    return SplitCrlf(ReadFile(logPath()).value_or(std::string()));
  }
  // A file of `n` short lines written straight to disk.
  void seed(int n, const std::string& extra = {}) {
    MakeDirs(dir_.path() + "/Plant");
    std::ofstream f(logPath(), std::ios::binary);
    for (int i = 0; i < n; ++i) f << "0\t2024/01/01\t00:00:00\tWarning\t1000\tline " << i << "\r\n";
    f << extra;
  }

  test::TempDir dir_;
  FakeClock clock_;
  EventLog log_;
};

TEST_F(EventLogTest, LineFormatAndFolderCreation) {
  log_.WriteEventLog(5, kLevelWarning, 12, "UPS on battery");
  log_.WriteEventLog(-3, 7, 1000, "bad level");  // a raw level byte above 2
  ASSERT_EQ(lines().size(), 2u);
  EXPECT_EQ(lines()[0], "5\t2024/03/07\t09:05:01\tWarning\t12\tUPS on battery");
  EXPECT_EQ(lines()[1], "-3\t2024/03/07\t09:05:01\tInformation\t1000\tbad level");
  EXPECT_EQ(log_.lineCount(), 2);
}

TEST_F(EventLogTest, ControlCharactersCannotForgeLines) {
  log_.WriteEventLog(1, 0, 1000, "abc\r\n0\t2024/01/01\t00:00:00\tSerious\t1\tforged\tx");
  ASSERT_EQ(lines().size(), 1u);
  std::string line = lines()[0];
  EXPECT_EQ(std::count(line.begin(), line.end(), '\t'), 5);
  EXPECT_NE(line.find("abc  0 2024/01/01 00:00:00 Serious 1 forged x"), std::string::npos);
}

TEST_F(EventLogTest, NothingForEmptyTextOrLimitBelowTen) {
  int calls = 0;
  log_.setDatabaseHook(
      [&](const WallTime&, int32_t, uint32_t, int32_t, std::string_view) { ++calls; });
  log_.WriteEventLog(1, 0, 1, "");
  EXPECT_EQ(calls, 0);
  log_.setMaxLines(9);
  log_.WriteEventLog(1, 0, 1, "row only");
  EXPECT_EQ(calls, 1);  // the database row stays
  EXPECT_FALSE(FileExists(logPath()));
  EXPECT_EQ(log_.lineCount(), 0);
}

TEST_F(EventLogTest, DatabaseRowFirstThenFileLineAlways) {
  std::vector<std::string> seen;
  // A hook whose token is held elsewhere drops its row; the line is still written.
  log_.setDatabaseHook([&](const WallTime&, int32_t n, uint32_t l, int32_t c, std::string_view t) {
    seen.push_back(std::to_string(n) + "/" + std::to_string(l) + "/" + std::to_string(c) + "/" +
                   std::string(t) + "/" + (FileExists(logPath()) ? "file" : "nofile"));
  });
  log_.WriteEventLog(7, 1, 3, "a\tb");
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0], "7/1/3/a b/nofile");
  EXPECT_EQ(lines().size(), 1u);
}

TEST_F(EventLogTest, LevelWordFollowsTheCurrentLanguage) {
  auto german = std::make_shared<const LevelNames>(LevelNames{"Kritisch", "Warnung", "Info"});
  std::shared_ptr<const LevelNames> current;
  EventLog log(clock_, [&] { return current; });
  log.setPath(dir_.path(), "Plant");
  log.WriteEventLog(0, 0, 1000, "before");
  current = german;
  log.WriteEventLog(0, 0, 1000, "after");
  EXPECT_NE(lines()[0].find("\tSerious\t"), std::string::npos);
  EXPECT_NE(lines()[1].find("\tKritisch\t"), std::string::npos);
}

TEST_F(EventLogTest, LimitOfTenLeavesSevenAfterTheEleventh) {
  log_.setMaxLines(10);
  for (int i = 1; i <= 10; ++i) log_.WriteEventLog(0, 2, 1000, "n" + std::to_string(i));
  EXPECT_EQ(lines().size(), 10u);
  log_.WriteEventLog(0, 2, 1000, "n11");
  std::vector<std::string> l = lines();
  ASSERT_EQ(l.size(), 7u);
  EXPECT_NE(l.front().find("\tn5"), std::string::npos);
  EXPECT_NE(l.back().find("\tn11"), std::string::npos);
  EXPECT_EQ(log_.lineCount(), 7);
  EXPECT_FALSE(FileExists(dir_.path() + "/Plant/Tmp.dat"));
}

TEST_F(EventLogTest, LongLineCountsPerPieceAndSurvivesTrimWhole) {
  const std::string longLine(300, 'x');
  seed(4, longLine + "\r\n");
  log_.setPath(dir_.path(), "Plant");
  EXPECT_EQ(log_.lineCount(), 6);  // 4 + 2 pieces for the 300 characters
  log_.setMaxLines(10);
  for (int i = 0; i < 5; ++i) log_.WriteEventLog(0, 2, 1000, "s" + std::to_string(i));
  // The 11th counted line drops 4 pieces: exactly the four short lines.
  std::vector<std::string> l = lines();
  ASSERT_EQ(l.size(), 6u);
  EXPECT_EQ(l[0], longLine);
  EXPECT_NE(l[5].find("\ts4"), std::string::npos);
  EXPECT_EQ(log_.lineCount(), 7);
}

TEST_F(EventLogTest, LongLineAcrossTheCutGoesWholeNotInPieces) {
  seed(3, std::string(300, 'x') + "\r\n");
  log_.setPath(dir_.path(), "Plant");
  log_.setMaxLines(10);
  for (int i = 0; i < 6; ++i) log_.WriteEventLog(0, 2, 1000, "s" + std::to_string(i));
  std::vector<std::string> l = lines();
  ASSERT_EQ(l.size(), 6u);
  for (const auto& line : l) EXPECT_EQ(line.find('x'), std::string::npos) << line;
}

TEST_F(EventLogTest, PieceCountBoundaries) {
  EXPECT_EQ(EventLogPieces(0, true), 1);
  EXPECT_EQ(EventLogPieces(258, true), 1);
  EXPECT_EQ(EventLogPieces(259, true), 2);
  EXPECT_EQ(EventLogPieces(300, true), 2);
  EXPECT_EQ(EventLogPieces(259, false), 1);
  EXPECT_EQ(EventLogPieces(0, false), 0);
}

TEST_F(EventLogTest, ConsoleLoweringTheLimitTrims) {
  seed(5000);
  log_.setPath(dir_.path(), "Plant");
  EXPECT_EQ(log_.lineCount(), 5000);
  log_.changeMaxLines(100);
  EXPECT_EQ(log_.lineCount(), 74);
  EXPECT_EQ(lines().size(), 74u);
  EXPECT_NE(lines().front().find("line 4926"), std::string::npos);
}

TEST_F(EventLogTest, FailedTrimKeepsTheOldLog) {
  seed(12);
  log_.setPath(dir_.path(), "Plant");
  ASSERT_EQ(::mkdir((dir_.path() + "/Plant/Tmp.dat").c_str(), 0755), 0);  // cannot be created
  const std::string before = ReadFile(logPath()).value();
  log_.changeMaxLines(10);
  EXPECT_EQ(ReadFile(logPath()).value(), before);
  EXPECT_EQ(log_.lineCount(), 12);
}

TEST_F(EventLogTest, MissingHistoryFolderOrBadMapNameWritesNothing) {
  EventLog log(clock_, {});
  log.setPath(dir_.path() + "/nohistory", "Plant");
  log.WriteEventLog(0, 0, 1, "x");
  EXPECT_FALSE(IsDirectory(dir_.path() + "/nohistory"));
  log.setPath(dir_.path(), "../escape");
  log.WriteEventLog(0, 0, 1, "x");
  EXPECT_EQ(log.filePath(), "");
  EXPECT_FALSE(FileExists(dir_.path() + "/../escape/Event.log"));
}

TEST_F(EventLogTest, ALineLeftWithoutItsEndIsEndedBeforeTheNext) {
  struct Case {
    const char* tail;
    size_t lines;
  } cases[] = {{"", 3}, {"0\t2024/01/01\t00:00:00\tWarning\t1000\tcut sh", 4}, {"\r", 4}};
  for (const Case& c : cases) {
    seed(2, c.tail);
    log_.countLines();
    EXPECT_TRUE(log_.writeEvent(7, kLevelSerious, 3, "after"));
    ASSERT_EQ(lines().size(), c.lines) << c.tail;
    EXPECT_EQ(lines().back(), "7\t2024/03/07\t09:05:01\tSerious\t3\tafter") << c.tail;
  }
}

TEST_F(EventLogTest, ALinkInPlaceOfTheLogIsNotFollowed) {
  std::vector<std::string> problems;
  log_.setProblemLog([&](std::string_view t) { problems.emplace_back(t); });
  const std::string target = dir_.file("elsewhere");
  ASSERT_TRUE(WriteFileAtomic(target, "keep"));
  MakeDirs(dir_.file("Plant"));
  ASSERT_EQ(::symlink(target.c_str(), logPath().c_str()), 0);
  EXPECT_FALSE(log_.writeEvent(1, 0, 1, "one"));
  EXPECT_FALSE(log_.writeEvent(1, 0, 1, "two"));
  EXPECT_EQ(ReadFile(target).value(), "keep");
  EXPECT_EQ(problems.size(), 1u);
  // The temp file of a trim is not followed either.
  ::unlink(logPath().c_str());
  seed(12);
  ASSERT_EQ(::symlink(target.c_str(), dir_.file("Plant/Tmp.dat").c_str()), 0);
  log_.changeMaxLines(10);
  EXPECT_EQ(ReadFile(target).value(), "keep");
}

TEST_F(EventLogTest, ConcurrentWritersGiveWholeLines) {
  log_.setMaxLines(1000000);
  constexpr int kThreads = 8, kEach = 1000;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([this, t] {
      for (int i = 0; i < kEach; ++i)
        log_.WriteEventLog(t, static_cast<uint32_t>(i % 3), i, "thread " + std::to_string(t));
    });
  for (auto& th : threads) th.join();
  std::string all = ReadFile(logPath()).value();
  std::vector<std::string> l = SplitCrlf(all);
  ASSERT_EQ(l.size(), static_cast<size_t>(kThreads * kEach));
  const std::regex shape(
      R"(\d\t2024/03/07\t09:05:01\t(Serious|Warning|Information)\t\d+\tthread \d)");
  for (const auto& line : l) ASSERT_TRUE(std::regex_match(line, shape)) << line;
  EXPECT_EQ(log_.lineCount(), kThreads * kEach);
}

}  // namespace
}  // namespace lark
