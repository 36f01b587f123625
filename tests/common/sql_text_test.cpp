#include "common/sql_text.h"

#include <gtest/gtest.h>

#include <string>

namespace lark {
namespace {

TEST(SqlText, LiteralsAreQuotedAndCut) {
  struct Case {
    std::string in;
    size_t width;
    std::string out;
  } cases[] = {
      {"O'Br\\ien", 32, "'O''Br\\ien'"},
      {"admin' --", 32, "'admin'' --'"},
      {std::string("ab\0cd", 5), 32, "'ab'"},
      {"abcdef", 3, "'abc'"},
      {"a\xC3\xA9z", 2, "'a'"},     // é is not split
      {"a\xE2\x82\xAC", 3, "'a'"},  // nor €
      {"''", 1, "''''"},            // the cut happens before doubling
      {"", 8, "''"},
  };
  for (const Case& c : cases) EXPECT_EQ(SqlLiteral(c.in, c.width), c.out) << c.in;
}

TEST(SqlText, TableNames) {
  for (const char* ok : {"log", "obj_log", "L", "a1234567890123456789012345678901"})
    EXPECT_TRUE(IsSqlTableName(ok)) << ok;
  for (const char* bad : {"", "1log", "_log", "log;drop", "log x",
                          "a12345678901234567890123456789012", "l\xC3\xA9", "\"log\""})
    EXPECT_FALSE(IsSqlTableName(bad)) << bad;
}

TEST(SqlText, MonthEnds) {
  EXPECT_EQ(DaysInMonth(2024, 2), 29);
  EXPECT_EQ(DaysInMonth(2023, 2), 28);
  EXPECT_EQ(DaysInMonth(1900, 2), 28);
  EXPECT_EQ(DaysInMonth(2000, 2), 29);
  EXPECT_EQ(DaysInMonth(2024, 4), 30);
  EXPECT_EQ(DaysInMonth(2024, 13), 0);
}

TEST(SqlText, ConsoleClausesInTheConsoleShapes) {
  const std::string range =
      "where occurdt between '2024-02-01 00:00:00' and '2024-02-29 23:59:59' order by occurdt asc";
  const std::string oneDevice =
      "where ups_id=17 and occurdt between '2024-02-01 00:00:00' and '2024-02-29 23:59:59' order "
      "by occurdt asc";
  EXPECT_EQ(ParseConsoleClause(range, ConsoleClause::kOpLog), range);
  EXPECT_EQ(ParseConsoleClause(range + std::string(1, '\0'), ConsoleClause::kEvents), range);
  EXPECT_EQ(ParseConsoleClause(oneDevice, ConsoleClause::kEvents), oneDevice);
  EXPECT_EQ(ParseConsoleClause(std::string(3, '\0'), ConsoleClause::kUsers), "");
}

TEST(SqlText, ForeignClausesAreRefused) {
  const std::string good =
      "where occurdt between '2024-02-01 00:00:00' and '2024-02-29 23:59:59' order by occurdt asc";
  struct Case {
    std::string text;
    ConsoleClause kind;
  } cases[] = {
      {"", ConsoleClause::kOpLog},
      {good + ";delete from usr", ConsoleClause::kOpLog},
      {good + std::string(1, '\0') + "x", ConsoleClause::kOpLog},
      {"where ups_id=1 and occurdt between '2024-02-01 00:00:00' and '2024-02-29 23:59:59' order "
       "by occurdt asc",
       ConsoleClause::kOpLog},  // ups_id only on events
      {"where ups_id=1 or 1=1 and occurdt between '2024-02-01 00:00:00' and '2024-02-29 "
       "23:59:59' order by occurdt asc",
       ConsoleClause::kEvents},
      {"where occurdt between '2024-02-30 00:00:00' and '2024-02-29 23:59:59' order by occurdt asc",
       ConsoleClause::kOpLog},  // no such day
      {"where occurdt between '2024-13-01 00:00:00' and '2024-02-29 23:59:59' order by occurdt asc",
       ConsoleClause::kOpLog},
      {"where occurdt between '2024-02-01 00:00:00' and '2024-02-29 23:59:59'",
       ConsoleClause::kOpLog},  // no ordering
      {"where occurdt between '2024-02-01 00:00:00' and '2024-02-29 23:59:5' order by occurdt asc",
       ConsoleClause::kOpLog},
      {"where occurdt between '2024-02-01 00:00:00'' and '2024-02-29 23:59:59' order by occurdt "
       "asc",
       ConsoleClause::kOpLog},
      {"where 1=1", ConsoleClause::kUsers},
      {"WHERE occurdt between '2024-02-01 00:00:00' and '2024-02-29 23:59:59' order by occurdt "
       "asc",
       ConsoleClause::kEvents},
  };
  for (const Case& c : cases)
    EXPECT_FALSE(ParseConsoleClause(c.text, c.kind).has_value()) << c.text;
}

}  // namespace
}  // namespace lark
