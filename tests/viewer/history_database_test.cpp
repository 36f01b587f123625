// Database history on the SQLite driver and on a throwaway PostgreSQL 15
// cluster: the March 2024 fixture loaded into histregular_5 reads, draws and
// exports as the file does; a stopped server shows in the caption at once.
#include <gtest/gtest.h>

#include <QApplication>
#include <chrono>
#include <csignal>
#include <thread>

#include "common/odbc.h"
#include "console/views/recording_canvas.h"
#include "platform/paths.h"
#include "records/history_rows.h"
#include "tests/support/child_process.h"
#include "tests/support/database_fixture.h"
#include "tests/support/wait.h"
#include "tests/viewer/support/month_fixture.h"
#include "viewer/data/history_export.h"
#include "viewer/graph_painter.h"
#include "viewer/history_dialog.h"
#include "viewer/viewer_context.h"

namespace lark {
namespace {

class ViewerDrivers : public ::testing::TestWithParam<const char*> {
 protected:
  void SetUp() override {
    if (std::string(GetParam()) == "PostgreSQL") {
      std::string why;
      pg_ = test::PostgresCluster::Shared(&why);
      if (!pg_) GTEST_SKIP() << why;
      source_ = pg_->dsn();
      user_ = pg_->user();
    }
    h_.WriteMonth(2024, "3.DAT", test::March2024Regular());
    fileArgs_ = h_.Args(0, 0, 0, test::kRegularMask);
    std::vector<std::string> f = h_.Fields(0, 0, 0, test::kRegularMask);
    f.insert(f.end(), {"5", source_, user_, ""});
    dbArgs_ = *ParseViewerArgs(f, nullptr).args;
    // The table as the service makes it, filled with the file's samples.
    OdbcConnection db;
    std::string error;
    ASSERT_TRUE(db.connect(source_, user_, "", h_.path() + "/ups.db", &error)) << error;
    ASSERT_TRUE(db.exec(CreateHistoryTableSql("regular", 5, db.dialect()))) << db.lastError();
    const MonthData file = ReadMonthFile(fileArgs_, 2024, 3);
    ASSERT_TRUE(db.exec("begin"));
    for (const PlotSample& s : file.samples) {
      char when[64];
      std::snprintf(when, sizeof when, "'2024-03-%02d %02d:%02d:%02d'", s.day, s.hour, s.minute,
                    s.second);
      std::string sql = "insert into histregular_5 values(" + std::string(when);
      for (int i = 0; i < 54; ++i) sql += "," + std::to_string(s.values[static_cast<size_t>(i)]);
      ASSERT_TRUE(db.exec(sql + ")")) << db.lastError();
    }
    ASSERT_TRUE(db.exec("commit"));
  }

  test::HistoryFolder h_;
  test::PostgresCluster* pg_ = nullptr;
  std::string source_, user_;
  ViewerArgs fileArgs_, dbArgs_;
  FakeClock clock_{0, test::March2024Day1()};
};

std::vector<std::string> CurveOps(ViewerContext& ctx) {
  RecordingCanvas window, back;
  ctx.state().redraw = true;
  PaintHistoryGraph(window, back, ctx, {{35, 0, 635, 300}, 17, 17}, false);
  return back.ops();
}

TEST_P(ViewerDrivers, DrawsAndExportsWhatTheFileDoes) {
  ViewerContext file(fileArgs_, clock_);
  ViewerContext db(dbArgs_, clock_);
  file.LoadFolderSettings();
  db.LoadFolderSettings();
  std::string error;
  ASSERT_TRUE(db.ConnectDatabase(&error)) << error;
  const std::vector<std::string> fromFile = CurveOps(file);
  EXPECT_GT(fromFile.size(), 1000u);
  EXPECT_EQ(CurveOps(db), fromFile);
  EXPECT_EQ(db.trouble(), "");
  // The export: ordered rows, only -1 blank, the same bytes as the file's.
  const std::string a = h_.path() + "/file.xls", b = h_.path() + "/db.xls";
  ASSERT_EQ(ExportMonth(file.ReadMonth(2024, 3), file.titles(), 2024, 3, a), "");
  ASSERT_EQ(ExportMonth(db.ReadMonth(2024, 3), db.titles(), 2024, 3, b), "");
  EXPECT_EQ(ReadFile(b).value_or("db"), ReadFile(a).value_or("file"));
  // February 2023 has no 29th to ask for; a missing table is told.
  db.args().nodeId = 6;
  const MonthData none = db.ReadMonth(2023, 2);
  EXPECT_TRUE(none.samples.empty());
  EXPECT_NE(DescribeMonthTrouble(none).find("28 days not read from histregular_6"),
            std::string::npos)
      << DescribeMonthTrouble(none);
}

TEST_P(ViewerDrivers, ADayBeyondFiveMegabytesIsReadWhole) {
  if (pg_) GTEST_SKIP() << "the reader's part is the same on both drivers";
  OdbcConnection db;
  std::string error;
  ASSERT_TRUE(db.connect("", "", "", h_.path() + "/ups.db", &error)) << error;
  ASSERT_TRUE(db.exec(CreateHistoryTableSql("regular", 7, db.dialect())));
  ASSERT_TRUE(db.exec("begin"));
  std::string values;
  for (int i = 0; i < 54; ++i) values += ",1000000000";
  constexpr int kRows = 12000;  // about 7 MB of row text
  for (int r = 0; r < kRows; ++r) {
    const int sec = r * 7;
    char when[64];
    std::snprintf(when, sizeof when, "'2024-03-02 %02d:%02d:%02d'", sec / 3600, sec / 60 % 60,
                  sec % 60);
    ASSERT_TRUE(db.exec("insert into histregular_7 values(" + std::string(when) + values + ")"));
  }
  ASSERT_TRUE(db.exec("commit"));
  ViewerArgs args = dbArgs_;
  args.nodeId = 7;
  HistoryDbSource source;
  ASSERT_TRUE(source.Connect(args, &error)) << error;
  const MonthData m = source.ReadDays(args, 2024, 3, 2, 2);
  ASSERT_EQ(m.samples.size(), static_cast<size_t>(kRows));
  EXPECT_EQ(m.samples.stamp(m.samples.size() - 1), 2 * 86400 + (kRows - 1) * 7);
  EXPECT_EQ(DescribeMonthTrouble(m), "");
}

TEST_P(ViewerDrivers, StoppedServerInTheCaption) {
  if (!pg_) GTEST_SKIP() << "a server to stop";
  ViewerContext ctx(dbArgs_, clock_);
  ctx.LoadFolderSettings();
  std::string error;
  ASSERT_TRUE(ctx.ConnectDatabase(&error)) << error;
  HistoryDialog d(ctx);
  EXPECT_EQ(d.windowTitle(), "Historical Parameters");
  ASSERT_TRUE(pg_->stop());
  const auto t0 = std::chrono::steady_clock::now();
  d.Update();
  const auto waited = std::chrono::steady_clock::now() - t0;
  EXPECT_LT(waited, std::chrono::seconds(6));
  EXPECT_NE(d.windowTitle().toStdString().find("Historical Parameters - the database connection "
                                               "is lost"),
            std::string::npos)
      << d.windowTitle().toStdString();
  ASSERT_TRUE(pg_->restart());
}

TEST_P(ViewerDrivers, LockedTableTimesOutOnce) {
  if (!pg_) GTEST_SKIP() << "a server to lock a table on";
  ViewerContext ctx(dbArgs_, clock_);
  std::string error;
  ASSERT_TRUE(ctx.ConnectDatabase(&error)) << error;
  int locker = pg_->psqlInBackground(
      "begin;\nlock table histregular_5 in access exclusive mode;\nselect "
      "pg_sleep(12);\ncommit;\n");
  ASSERT_GT(locker, 0);
  ASSERT_TRUE(test::Eventually(
      [&] {
        return pg_->psql("select 1 / (select count(*) from pg_locks where relation = "
                         "'histregular_5'::regclass and granted)::int");
      },
      30000, 100));
  const auto t0 = std::chrono::steady_clock::now();
  const MonthData m = ctx.ReadMonth(2024, 3, 1, 3);
  // One day's time-out ends the read; the later days are not waited for.
  EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(8));
  EXPECT_TRUE(m.samples.empty());
  EXPECT_NE(ctx.trouble().find("the database does not answer"), std::string::npos) << ctx.trouble();
  test::StopChild(locker, SIGTERM);
}

INSTANTIATE_TEST_SUITE_P(Drivers, ViewerDrivers, ::testing::Values("SQLite", "PostgreSQL"),
                         [](const auto& info) { return std::string(info.param); });

}  // namespace
}  // namespace lark
