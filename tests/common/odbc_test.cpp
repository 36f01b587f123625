#include "common/odbc.h"

#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>

#include <cstring>
#include <memory>

#include "common/sql_text.h"
#include "tests/support/database_fixture.h"
#include "tests/support/temp_dir.h"

namespace lark {
namespace {

using test::PostgresCluster;
using test::TempDir;

// One bound row built by hand: each column's value and indicator.
struct RowImage {
  std::vector<FetchColumn> columns;
  std::vector<uint8_t> bytes;
  explicit RowImage(std::vector<FetchColumn> cols) : columns(std::move(cols)) {
    bytes.resize(LayOutRow(columns));
  }
  void put(size_t i, const void* v, size_t n, SQLLEN indicator) {
    std::memcpy(bytes.data() + columns[i].valueOffset, v, n);
    std::memcpy(bytes.data() + columns[i].indicatorOffset, &indicator, sizeof indicator);
  }
};

TEST(OdbcRowText, ValuesNullsAndCuts) {
  RowImage row({ColumnForSqlType(SQL_INTEGER, 10), ColumnForSqlType(SQL_VARCHAR, 4),
                ColumnForSqlType(SQL_DOUBLE, 15), ColumnForSqlType(SQL_VARCHAR, 8)});
  int32_t n = -7;
  row.put(0, &n, 4, 4);
  row.put(1, "ab\td", 5, 4);
  double d = 1.5;
  row.put(2, &d, 8, 8);
  row.put(3, "", 1, SQL_NULL_DATA);
  std::string text;
  ASSERT_TRUE(AppendRowText(row.columns, row.bytes, text, 1000));
  EXPECT_EQ(text, "-7\tab d\t1.500000\t\n");

  // An indicator longer than the buffer (the driver cut the value) and the
  // driver's "no total" give the buffer's characters.
  RowImage cut({ColumnForSqlType(SQL_VARCHAR, 3), ColumnForSqlType(SQL_VARCHAR, 3)});
  cut.put(0, "xyz", 4, 400);
  cut.put(1, "uvw", 4, SQL_NO_TOTAL);
  text.clear();
  ASSERT_TRUE(AppendRowText(cut.columns, cut.bytes, text, 1000));
  EXPECT_EQ(text, "xyz\tuvw\n");
}

TEST(OdbcRowText, RowPastTheLimitIsLeftOut) {
  RowImage row({ColumnForSqlType(SQL_VARCHAR, 10)});
  row.put(0, "0123456789", 11, 10);
  std::string text = "head\n";
  EXPECT_FALSE(AppendRowText(row.columns, row.bytes, text, 15));
  EXPECT_EQ(text, "head\n");
  EXPECT_TRUE(AppendRowText(row.columns, row.bytes, text, 16));
}

TEST(OdbcRowText, OffsetsOutsideTheRowGiveEmptyFields) {
  std::vector<FetchColumn> cols = {{SQL_C_CHAR, 100, 0, 200}, {SQL_C_SLONG, 4, 1000, 8}};
  std::vector<uint8_t> bytes(16, 'a');
  std::string text;
  ASSERT_TRUE(AppendRowText(cols, bytes, text, 100));
  EXPECT_EQ(text, "\t\n");
}

TEST(OdbcDialect, FromDbmsName) {
  EXPECT_EQ(DialectFromDbmsName("Microsoft SQL Server"), SqlDialect::kSqlServer);
  EXPECT_EQ(DialectFromDbmsName("PostgreSQL"), SqlDialect::kPostgreSql);
  EXPECT_EQ(DialectFromDbmsName("SQLite"), SqlDialect::kSqlite);
  EXPECT_EQ(DialectFromDbmsName("Oracle"), SqlDialect::kOther);
  EXPECT_STREQ(DateTimeType(SqlDialect::kPostgreSql), "timestamp");
  EXPECT_STREQ(DateTimeType(SqlDialect::kSqlite), "datetime");
}

// The same statements on every driver: SQLite always, PostgreSQL when its
// programs are installed.
class OdbcDrivers : public ::testing::TestWithParam<const char*> {
 protected:
  void SetUp() override {
    if (std::string(GetParam()) == "PostgreSQL") {
      std::string why;
      pg_ = PostgresCluster::Shared(&why);
      if (!pg_) GTEST_SKIP() << why;
      ASSERT_TRUE(db_.connect(pg_->dsn(), pg_->user(), "", "", &error_)) << error_;
      EXPECT_EQ(db_.dialect(), SqlDialect::kPostgreSql);
    } else {
      ASSERT_TRUE(db_.connect("", "", "", dir_.file("ups.db"), &error_)) << error_;
      EXPECT_EQ(db_.dialect(), SqlDialect::kSqlite);
    }
  }
  TempDir dir_;
  PostgresCluster* pg_ = nullptr;
  OdbcConnection db_;
  std::string error_;
};

TEST_P(OdbcDrivers, TextsReadBackByteExact) {
  ASSERT_TRUE(db_.exec(std::string("create table t(id int, name varchar(32), at ") +
                       DateTimeType(db_.dialect()) + ")"));
  const std::string texts[] = {"O'Br\\ien", "admin' --", "%s%d", "\xC3\xA9t\xC3\xA9"};
  int id = 0;
  for (const std::string& t : texts) {
    ASSERT_TRUE(db_.exec("insert into t VALUES(" + std::to_string(++id) + ", " + SqlLiteral(t, 32) +
                         ", " + SqlDateTime(2024, 2, 29, 23, 59, 58) + ")"))
        << db_.lastError();
  }
  ASSERT_TRUE(db_.exec("insert into t VALUES(9, NULL, NULL)"));
  OdbcResult r;
  ASSERT_TRUE(db_.query("select name, id, at from t order by id", r)) << db_.lastError();
  EXPECT_EQ(r.text,
            "O'Br\\ien\t1\t2024-02-29 23:59:58\n"
            "admin' --\t2\t2024-02-29 23:59:58\n"
            "%s%d\t3\t2024-02-29 23:59:58\n"
            "\xC3\xA9t\xC3\xA9\t4\t2024-02-29 23:59:58\n"
            "\t9\t\n");
  EXPECT_EQ(r.rows, 5u);
  EXPECT_FALSE(r.overflow);
}

TEST_P(OdbcDrivers, ManyRowsCrossFetchBlocks) {
  ASSERT_TRUE(db_.exec("create table n(v int)"));
  for (int i = 0; i < 45; ++i)
    ASSERT_TRUE(db_.exec("insert into n VALUES(" + std::to_string(i) + ")"));
  OdbcResult r;
  ASSERT_TRUE(db_.query("select v from n order by v", r));
  EXPECT_EQ(r.rows, 45u);
  EXPECT_EQ(r.text.substr(0, 6), "0\n1\n2\n");
  EXPECT_EQ(r.text.substr(r.text.size() - 3), "44\n");
}

TEST_P(OdbcDrivers, FailuresAndEmptyResults) {
  OdbcResult r;
  r.text = "previous";
  EXPECT_FALSE(db_.exec("select * from missing_table"));
  EXPECT_FALSE(db_.lastError().empty());
  EXPECT_FALSE(db_.query("select * from missing_table", r));
  EXPECT_TRUE(r.text.empty());
  ASSERT_TRUE(db_.exec("create table e(v int)"));
  EXPECT_TRUE(db_.query("select * from e", r));
  EXPECT_TRUE(r.text.empty());
  // A statement without a result set is not a successful fetch.
  EXPECT_FALSE(db_.query("insert into e VALUES(1)", r));
  db_.disconnect();
  EXPECT_FALSE(db_.exec("select 1"));
}

INSTANTIATE_TEST_SUITE_P(Drivers, OdbcDrivers, ::testing::Values("SQLite", "PostgreSQL"),
                         [](const auto& info) { return std::string(info.param); });

TEST(OdbcConnect, BadSourcesFailCleanly) {
  TempDir dir;
  OdbcConnection db;
  std::string error;
  EXPECT_FALSE(db.connect("NoSuchDsn", "u", "p", "", &error));
  EXPECT_FALSE(error.empty());
  EXPECT_FALSE(db.connected());
  EXPECT_FALSE(db.connect("", "", "", dir.file("a;Driver=x.db"), &error));
  EXPECT_FALSE(db.connect("", "", "", dir.file("no/such/folder/ups.db"), &error));
  EXPECT_FALSE(db.connected());
}

}  // namespace
}  // namespace lark
