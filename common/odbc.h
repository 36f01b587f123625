// The ODBC layer: one connection with one statement handle through
// unixODBC, the dialect of the server behind it, statements with the
// success rule (SQL_SUCCESS or SQL_SUCCESS_WITH_INFO), and the fetch that
// turns a result into tab-separated text in a result its caller owns.
//
// Threads: an OdbcConnection belongs to one thread at a time (the service's
// database thread, a viewer's query); it has no locks of its own.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/bytes.h"

namespace lark {

// The statements engines disagree on, chosen once at connect from
// SQL_DBMS_NAME.
enum class SqlDialect { kOther, kSqlServer, kPostgreSql, kSqlite };

SqlDialect DialectFromDbmsName(std::string_view name);
// The column type of date-times in CREATE texts.
const char* DateTimeType(SqlDialect d);

// What a fetch leaves: rows as lines, columns separated by tabs.
struct OdbcResult {
  static constexpr size_t kTextLimit = 5 * 1024 * 1024 - 512;  // a row ending past it is cut off
  std::string text;
  size_t rows = 0;
  bool overflow = false;  // rows were left out at the limit
};

// A column as bound for row-wise fetching: `cType` is SQL_C_CHAR, SQL_C_SLONG
// or SQL_C_DOUBLE; the value lies at `valueOffset` in the row, its SQLLEN
// indicator at `indicatorOffset`.
struct FetchColumn {
  int16_t cType = 0;
  size_t bufferLength = 0;
  size_t valueOffset = 0;
  size_t indicatorOffset = 0;
};

// Bytes one bound value of `sqlType` takes, its C type chosen as the text
// form wants it; `columnSize` is capped so a driver's huge size stays bounded.
FetchColumn ColumnForSqlType(int16_t sqlType, uint64_t columnSize);
// Lays out value and indicator of each column in a row; returns the row size.
size_t LayOutRow(std::span<FetchColumn> columns);

// Appends one bound row: empty for NULL, the number, or the characters up to
// the indicator's length, the buffer or a NUL; tabs and line ends inside a
// value become blanks so the line stays one row. Offsets and lengths outside
// `row` give an empty field. False (and nothing appended) when the row would
// end past `limit`.
bool AppendRowText(std::span<const FetchColumn> columns, CBytes row, std::string& text,
                   size_t limit);

class OdbcConnection {
 public:
  OdbcConnection() = default;
  ~OdbcConnection();
  OdbcConnection(const OdbcConnection&) = delete;
  OdbcConnection& operator=(const OdbcConnection&) = delete;

  // `source` empty: the SQLite file `defaultDatabase`, without any DSN.
  // Otherwise `source` is a DSN name for SQLConnect. Disconnects first.
  bool connect(std::string_view source, std::string_view user, std::string_view password,
               const std::string& defaultDatabase, std::string* error);
  void disconnect();
  bool connected() const { return stmt_ != nullptr; }
  SqlDialect dialect() const { return dialect_; }

  // Runs one statement; true by the success rule. The driver's message of a
  // failure is kept for lastError().
  bool exec(std::string_view sql);
  // exec(), then the rows of its result into `out` (replaced). False when
  // the statement failed, produced no result set, or a fetch failed.
  bool query(std::string_view sql, OdbcResult& out);
  const std::string& lastError() const { return lastError_; }
  // The SQLSTATE of the last failure ("08S01"), empty when the driver gave none.
  const std::string& lastState() const { return lastState_; }
  // Seconds a statement may run (0: no limit); applies to later statements.
  void setQueryTimeout(unsigned seconds);
  // exec(), then each row of the first result as its tab-separated text
  // without the line end, handed over as it is fetched, so no limit cuts a
  // result; `row` returns false to stop. False as for query().
  bool queryRows(std::string_view sql, const std::function<bool(std::string_view row)>& row);
  // Statements after begin() form one transaction, ended by commit() or
  // rollback(); autocommit again after either.
  bool begin();
  bool commit();
  void rollback();

 private:
  bool endTransaction(int16_t completion);
  using RowSink = std::function<bool(std::span<const FetchColumn> columns, CBytes row)>;
  bool fetch(OdbcResult& out);
  bool fetchSet(OdbcResult& out);
  // Binds the open result's columns and hands each fetched row to `sink`
  // until it returns false or the rows end.
  bool fetchEach(const RowSink& sink);
  void keepError(int16_t handleType, void* handle, const char* call);

  void* env_ = nullptr;
  void* dbc_ = nullptr;
  void* stmt_ = nullptr;
  SqlDialect dialect_ = SqlDialect::kOther;
  std::string lastError_;
  std::string lastState_;
};

}  // namespace lark
