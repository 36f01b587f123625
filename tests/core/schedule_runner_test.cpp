// The minute's schedule run on a device, driven minute by minute by a fake
// clock whose UTC instant goes through the real local-time conversion.
#include "core/schedule_runner.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <time.h>

#include <map>

#include "tests/support/recording_event_log.h"
#include "tests/support/tree_fixtures.h"

namespace lark {
namespace {

// UTC seconds of a UTC civil time.
int64_t Utc(int y, int mo, int d, int h, int mi) { return MinuteNumber({y, mo, d, h, mi}) * 60; }

std::string CommonText(int n) {
  static const std::map<int, std::string> texts = {{19, "Shutdown"},
                                                   {20, "Restart"},
                                                   {21, "General Test"},
                                                   {22, "Deep Battery Test"},
                                                   {30, "Schedule"}};
  auto it = texts.find(n);
  return it == texts.end() ? "" : it->second;
}

class ScheduleRunnerTest : public ::testing::Test {
 protected:
  ScheduleRunnerTest() : runner_(log_, CommonText) {
    Tree_ResetRoot(tree_);
    ups_ = &test::AddSerial(tree_, tree_.root(), kCommAscii, "COM1", 1);
  }
  ~ScheduleRunnerTest() override {
    unsetenv("TZ");
    tzset();
  }
  static void Zone(const char* tz) {
    setenv("TZ", tz, 1);
    tzset();
  }
  // Runs the minute's work for every minute of [from, from + minutes), each
  // `step` minutes; the local times at which commands went out.
  std::vector<std::string> run(int64_t fromUtc, int minutes, int step = 1) {
    clock_.setUtc(fromUtc);
    std::vector<std::string> at;
    for (int i = 0; i < minutes; i += step) {
      const size_t before = sink_.calls.size();
      const WallTime now = clock_.now();
      runner_.onMinute(tree_.root(), now, sink_);
      if (sink_.calls.size() > before) {
        char t[32];
        std::snprintf(t, sizeof t, "%04d-%02d-%02d %02d:%02d", now.year, now.month, now.day,
                      now.hour, now.minute);
        at.emplace_back(t);
      }
      clock_.advance(60000u * static_cast<uint32_t>(step));
    }
    return at;
  }

  FakeClock clock_;
  test::RecordingEventLog log_;
  test::RecordingUpsCommands sink_;
  DeviceTree tree_;
  DeviceNode* ups_ = nullptr;
  ScheduleRunner runner_;
};

TEST_F(ScheduleRunnerTest, WeeklyDeepTestAcrossTheYearEnd) {
  Zone("UTC0");
  ups_->setWeekEntry(0, {1, 0, 0, kScheduleClassDeepTest});  // Sunday 00:00
  EXPECT_EQ(run(Utc(2022, 12, 31, 23, 59), 10), std::vector<std::string>{"2023-01-01 00:00"});
  ASSERT_EQ(sink_.calls.size(), 1u);
  EXPECT_EQ(sink_.calls[0].what, "device");
  EXPECT_EQ(sink_.calls[0].code, 1612);
  ASSERT_EQ(log_.events().size(), 1u);
  EXPECT_EQ(log_.events()[0].text, "Schedule: Deep Battery Test");
  EXPECT_EQ(log_.events()[0].number, ups_->id());
  EXPECT_EQ(log_.events()[0].level, kLevelInformation);
  // The pending time now shows next Sunday.
  EXPECT_EQ(ups_->pendingAction(3), (PendingAction{2023, 1, 8, 0, 0}));
}

TEST_F(ScheduleRunnerTest, DaylightSavingStartAndEndRunOnce) {
  Zone("CET-1CEST,M3.5.0,M10.5.0/3");
  ups_->setWeekEntry(0, {1, 2, 30, kScheduleClassDeepTest});  // Sunday 02:30
  // 02:00 local on 2023-03-26 jumps to 03:00; 2023-10-29 goes through 02:xx twice.
  EXPECT_EQ(run(Utc(2023, 3, 25, 23, 0), 4 * 60), std::vector<std::string>{"2023-03-26 03:00"});
  EXPECT_EQ(run(Utc(2023, 10, 28, 22, 0), 5 * 60), std::vector<std::string>{"2023-10-29 02:30"});
}

TEST_F(ScheduleRunnerTest, LateTicksCatchUp) {
  Zone("UTC0");
  ups_->setWeekEntry(0, {2, 8, 1, kScheduleClassTest});  // Monday 08:01
  EXPECT_EQ(run(Utc(2023, 3, 6, 7, 57), 12, 3), std::vector<std::string>{"2023-03-06 08:03"});
  EXPECT_EQ(sink_.calls.at(0).code, 1611);
}

TEST_F(ScheduleRunnerTest, ShutdownCarriesThePendingRestart) {
  Zone("UTC0");
  ups_->setDateEntry(0, {2024, 2, 29, 10, 0, kScheduleClassShutdown});
  ups_->setDateEntry(1, {2024, 3, 1, 6, 0, kScheduleClassRestart});
  ups_->setDateEntry(2, {2023, 2, 29, 10, 0, kScheduleClassShutdown});  // no such day
  run(Utc(2024, 2, 29, 9, 58), 4);
  run(Utc(2023, 2, 28, 9, 0), 26 * 60, 30);
  ASSERT_EQ(sink_.calls.size(), 1u);
  EXPECT_EQ(sink_.calls[0].code, 1619);
  EXPECT_EQ(sink_.calls[0].arg1, 1200);
  EXPECT_EQ(sink_.calls[0].arg2, 10);
  std::vector<std::string> texts;
  for (const auto& e : log_.events()) texts.push_back(e.text);
  EXPECT_EQ(texts, (std::vector<std::string>{"Schedule: Shutdown", "Schedule: Restart"}));

  // Without a restart: the shutdown alone.
  ups_->setDateEntry(1, {});
  run(Utc(2024, 2, 29, 9, 58) + 7 * 86400, 1);  // a week on: nothing due
  ups_->setDateEntry(0, {2024, 3, 7, 10, 0, kScheduleClassShutdown});
  run(Utc(2024, 3, 7, 9, 59), 2);
  ASSERT_EQ(sink_.calls.size(), 2u);
  EXPECT_EQ(sink_.calls[1].code, 1618);
  EXPECT_EQ(sink_.calls[1].arg1, 10);
}

}  // namespace
}  // namespace lark
