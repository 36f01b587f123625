// The month export: golden bytes per family, and what happens when the month
// or the export file cannot be opened.
#include "viewer/data/history_export.h"

#include <gtest/gtest.h>

#include "platform/paths.h"
#include "tests/viewer/support/month_fixture.h"
#include "viewer/data/viewer_args.h"

namespace lark {
namespace {

struct Family {
  const char* name;
  int cls, comm;
  const char* month;
  const char* lines;
  const char* want;
};

TEST(HistoryExportTest, GoldenBytes) {
  const Family cases[] = {
      {"sensor", 0, 7, "3.DAT.txt",
       "0\r\n5,14,30,0,2305,-1,-25,0,7,-5,10\r\n5,14,31,0,10000,-1,-1,-1,-1,-1,-1\r\n",
       "Date\tTime\tIllumination\tParameter 2\tParameter 3\tParameter 4\tParameter 5\tParameter "
       "6\tIllumination Day Total\r\n"
       "2024-03-05\t14:30:0\t230.5\t \t-2.5\t0.0\t0.7\t-0.5\t1.0\r\n"},
      {"meter", 0, 8, "3.DAT.txt", "0\r\n1,0,0,5,2305,500000,1,-1,4,5,6,7,8,9\r\n",
       "Date\tTime\tParameter 1\tEnergy (low word)\tEnergy (high word)\tParameter 4\tParameter "
       "5\tParameter 6\tParameter 7\tParameter 8\tParameter 9\tParameter 10\r\n"
       "2024-03-01\t0:0:5\t230.5\t500000\t1\t \t0.4\t0.5\t0.6\t0.7\t0.8\t0.9\r\n"},
  };
  for (const Family& c : cases) {
    test::HistoryFolder h;
    h.WriteMonth(2024, c.month, c.lines);
    const ViewerArgs args = h.Args(c.cls, c.comm, 0, 0);
    const ParamTables titles = LoadViewerTitles(h.path() + "/English");
    const std::string out = h.path() + "/out.xls";
    ASSERT_EQ(ExportMonth(ReadMonthFile(args, 2024, 3), titles, 2024, 3, out), "") << c.name;
    EXPECT_EQ(ReadFile(out).value_or("?"), c.want) << c.name;
  }
}

TEST(HistoryExportTest, RegularMonth) {
  test::HistoryFolder h;
  h.WriteMonth(2024, "3.DAT", test::March2024Regular());
  const ViewerArgs args = h.Args(0, 0, 0, test::kRegularMask);
  const std::string out = h.path() + "/March.XLS";
  ASSERT_EQ(ExportMonth(ReadMonthFile(args, 2024, 3), LoadViewerTitles(h.path() + "/English"), 2024,
                        3, out),
            "");
  const std::string text = ReadFile(out).value_or("");
  // One head line and a row per sample but the link-lost one.
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1 + 12 * 60 - 9 - 9 - 1);
  EXPECT_EQ(text.find("\t10000"), std::string::npos);
  const std::string first = text.substr(
      text.find("\r\n") + 2, text.find("\r\n", text.find("\r\n") + 2) - text.find("\r\n") - 2);
  EXPECT_EQ(first.substr(0, 31), "2024-03-01\t0:0:0\t0.1\t200.0\t \t \t");
  EXPECT_EQ(std::count(first.begin(), first.end(), '\t'), 2 + 53);
}

TEST(HistoryExportTest, Refusals) {
  test::HistoryFolder h;
  const ViewerArgs args = h.Args(0, 7, 0, 0);
  const ParamTables titles;
  // A missing month is told with its path, and no export file is left.
  const std::string out = h.path() + "/out.xls";
  EXPECT_EQ(ExportMonth(ReadMonthFile(args, 2024, 4), titles, 2024, 4, out),
            "Cannot open the file " + h.path() + "/Demo/5/2024/4.DAT.txt");
  EXPECT_FALSE(FileExists(out));
  h.WriteMonth(2024, "4.DAT.txt", "0\r\n1,0,0,0,1\r\n");
  EXPECT_EQ(
      ExportMonth(ReadMonthFile(args, 2024, 4), titles, 2024, 4, h.path() + "/no/such/out.xls"),
      "Cannot open the file " + h.path() + "/no/such/out.xls");
  // Without ".xls" in the name the file is made and left empty.
  ASSERT_EQ(ExportMonth(ReadMonthFile(args, 2024, 4), titles, 2024, 4, h.path() + "/out.txt"), "");
  EXPECT_EQ(ReadFile(h.path() + "/out.txt").value_or("?"), "");
}

}  // namespace
}  // namespace lark
