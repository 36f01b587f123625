#include "common/odbc.h"

#include <sql.h>
#include <sqlext.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace lark {

namespace {

constexpr size_t kRowsPerFetch = 20;
constexpr uint64_t kMaxCharColumn = 8192;  // bytes bound for one character value
constexpr SQLULEN kQueryTimeoutSeconds = 30;
constexpr SQLULEN kLoginTimeoutSeconds = 5;
constexpr SQLLEN kMaxComputeSets = 16;  // bound on the SQL Server compute-row count

size_t Align8(size_t n) { return (n + 7) & ~static_cast<size_t>(7); }
bool Ok(SQLRETURN rc) { return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO; }

}  // namespace

SqlDialect DialectFromDbmsName(std::string_view name) {
  if (name.find("SQL Server") != std::string_view::npos) return SqlDialect::kSqlServer;
  if (name.find("PostgreSQL") != std::string_view::npos) return SqlDialect::kPostgreSql;
  if (name.find("SQLite") != std::string_view::npos) return SqlDialect::kSqlite;
  return SqlDialect::kOther;
}

const char* DateTimeType(SqlDialect d) {
  return d == SqlDialect::kPostgreSql ? "timestamp" : "datetime";
}

FetchColumn ColumnForSqlType(int16_t sqlType, uint64_t columnSize) {
  FetchColumn c;
  switch (sqlType) {
    case SQL_BIT:
    case SQL_TINYINT:
    case SQL_SMALLINT:
    case SQL_INTEGER:
      c.cType = SQL_C_SLONG;
      c.bufferLength = sizeof(SQLINTEGER);
      break;
    case SQL_FLOAT:
    case SQL_REAL:
    case SQL_DOUBLE:
      c.cType = SQL_C_DOUBLE;
      c.bufferLength = sizeof(double);
      break;
    default:
      // Characters, numerics, dates and whatever else arrive in the
      // driver's character form.
      c.cType = SQL_C_CHAR;
      c.bufferLength = static_cast<size_t>(std::clamp<uint64_t>(columnSize, 1, kMaxCharColumn)) + 1;
      break;
  }
  return c;
}

size_t LayOutRow(std::span<FetchColumn> columns) {
  size_t size = 0;
  for (FetchColumn& c : columns) {
    c.valueOffset = size;
    c.indicatorOffset = Align8(size + c.bufferLength);
    size = c.indicatorOffset + sizeof(SQLLEN);
  }
  return Align8(size);
}

bool AppendRowText(std::span<const FetchColumn> columns, CBytes row, std::string& text,
                   size_t limit) {
  const size_t start = text.size();
  auto inside = [&](size_t off, size_t len) {
    return off <= row.size() && len <= row.size() - off;
  };
  for (const FetchColumn& c : columns) {
    SQLLEN indicator = SQL_NULL_DATA;
    if (inside(c.indicatorOffset, sizeof indicator))
      std::memcpy(&indicator, row.data() + c.indicatorOffset, sizeof indicator);
    const bool valueInside = inside(c.valueOffset, c.bufferLength);
    if (indicator != SQL_NULL_DATA && valueInside) {
      const uint8_t* v = row.data() + c.valueOffset;
      char num[64];
      if (c.cType == SQL_C_SLONG && c.bufferLength >= sizeof(SQLINTEGER)) {
        SQLINTEGER n;
        std::memcpy(&n, v, sizeof n);
        snprintf(num, sizeof num, "%d", static_cast<int>(n));
        text += num;
      } else if (c.cType == SQL_C_DOUBLE && c.bufferLength >= sizeof(double)) {
        double d;
        std::memcpy(&d, v, sizeof d);
        snprintf(num, sizeof num, "%f", d);
        text += num;
      } else if (c.cType == SQL_C_CHAR && c.bufferLength > 0) {
        size_t len = c.bufferLength - 1;  // the driver ends a cut value with its NUL
        if (indicator >= 0 && static_cast<uint64_t>(indicator) < len)
          len = static_cast<size_t>(indicator);
        const void* nul = std::memchr(v, 0, len);
        if (nul) len = static_cast<size_t>(static_cast<const uint8_t*>(nul) - v);
        for (size_t i = 0; i < len; ++i) {
          char ch = static_cast<char>(v[i]);
          text += (ch == '\t' || ch == '\r' || ch == '\n') ? ' ' : ch;
        }
      }
    }
    text += '\t';
    if (text.size() > limit) break;
  }
  if (!columns.empty())
    text.back() = '\n';
  else
    text += '\n';
  if (text.size() > limit) {
    text.resize(start);
    return false;
  }
  return true;
}

OdbcConnection::~OdbcConnection() { disconnect(); }

void OdbcConnection::disconnect() {
  if (stmt_) SQLFreeHandle(SQL_HANDLE_STMT, stmt_);
  stmt_ = nullptr;
  if (dbc_) {
    SQLDisconnect(dbc_);
    SQLFreeHandle(SQL_HANDLE_DBC, dbc_);
  }
  dbc_ = nullptr;
  if (env_) SQLFreeHandle(SQL_HANDLE_ENV, env_);
  env_ = nullptr;
  dialect_ = SqlDialect::kOther;
}

void OdbcConnection::keepError(int16_t handleType, void* handle, const char* call) {
  lastError_ = call;
  lastState_.clear();
  SQLCHAR state[6] = {};
  SQLCHAR message[512] = {};
  SQLINTEGER native = 0;
  SQLSMALLINT len = 0;
  if (handle &&
      Ok(SQLGetDiagRec(handleType, handle, 1, state, &native, message, sizeof message, &len))) {
    lastError_ += ": ";
    lastState_ = reinterpret_cast<const char*>(state);
    lastError_ += lastState_;
    lastError_ += ' ';
    lastError_ += reinterpret_cast<const char*>(message);
  }
}

bool OdbcConnection::connect(std::string_view source, std::string_view user,
                             std::string_view password, const std::string& defaultDatabase,
                             std::string* error) {
  disconnect();
  auto fail = [&](int16_t type, void* h, const char* call) {
    keepError(type, h, call);
    if (error) *error = lastError_;
    disconnect();
    return false;
  };
  if (!Ok(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env_))) {
    env_ = nullptr;
    return fail(0, nullptr, "SQLAllocHandle(ENV)");
  }
  SQLSetEnvAttr(env_, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
  if (!Ok(SQLAllocHandle(SQL_HANDLE_DBC, env_, &dbc_))) {
    dbc_ = nullptr;
    return fail(SQL_HANDLE_ENV, env_, "SQLAllocHandle(DBC)");
  }
  SQLSetConnectAttr(dbc_, SQL_ATTR_LOGIN_TIMEOUT,
                    reinterpret_cast<SQLPOINTER>(kLoginTimeoutSeconds), 0);
  SQLRETURN rc;
  if (source.empty()) {
    // The connection-string syntax has no quoting the SQLite driver reads.
    if (defaultDatabase.find_first_of(";{}") != std::string::npos) {
      lastError_ = "database path holds ';', '{' or '}': " + defaultDatabase;
      if (error) *error = lastError_;
      disconnect();
      return false;
    }
    std::string in = "Driver=SQLite3;Database=" + defaultDatabase + ";Timeout=5000";
    SQLCHAR out[1024];
    SQLSMALLINT outLen = 0;
    rc = SQLDriverConnect(dbc_, nullptr, reinterpret_cast<SQLCHAR*>(in.data()),
                          static_cast<SQLSMALLINT>(in.size()), out, sizeof out, &outLen,
                          SQL_DRIVER_NOPROMPT);
  } else {
    std::string dsn(source), u(user), p(password);
    rc = SQLConnect(dbc_, reinterpret_cast<SQLCHAR*>(dsn.data()), SQL_NTS,
                    reinterpret_cast<SQLCHAR*>(u.data()), SQL_NTS,
                    reinterpret_cast<SQLCHAR*>(p.data()), SQL_NTS);
  }
  if (!Ok(rc)) {
    keepError(SQL_HANDLE_DBC, dbc_, source.empty() ? "SQLDriverConnect" : "SQLConnect");
    if (error) *error = lastError_;
    SQLFreeHandle(SQL_HANDLE_DBC, dbc_);  // never connected: no SQLDisconnect
    dbc_ = nullptr;
    disconnect();
    return false;
  }
  void* stmt = nullptr;
  if (!Ok(SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &stmt)))
    return fail(SQL_HANDLE_DBC, dbc_, "SQLAllocHandle(STMT)");
  stmt_ = stmt;
  SQLSetStmtAttr(stmt_, SQL_ATTR_QUERY_TIMEOUT, reinterpret_cast<SQLPOINTER>(kQueryTimeoutSeconds),
                 0);
  SQLCHAR name[128] = {};
  SQLSMALLINT nameLen = 0;
  if (Ok(SQLGetInfo(dbc_, SQL_DBMS_NAME, name, sizeof name, &nameLen)))
    dialect_ = DialectFromDbmsName(reinterpret_cast<const char*>(name));
  if (dialect_ == SqlDialect::kSqlServer) exec("use ups");
  return true;
}

bool OdbcConnection::exec(std::string_view sql) {
  if (!stmt_) {
    lastError_ = "not connected";
    return false;
  }
  SQLFreeStmt(stmt_, SQL_CLOSE);
  std::string text(sql);
  SQLRETURN rc = SQLExecDirect(stmt_, reinterpret_cast<SQLCHAR*>(text.data()),
                               static_cast<SQLINTEGER>(text.size()));
  if (Ok(rc)) return true;
  // A statement that changes no row is not a failure of the statement.
  if (rc == SQL_NO_DATA) return true;
  keepError(SQL_HANDLE_STMT, stmt_, "SQLExecDirect");
  return false;
}

bool OdbcConnection::begin() {
  if (!dbc_) {
    lastError_ = "not connected";
    return false;
  }
  SQLRETURN rc = SQLSetConnectAttr(dbc_, SQL_ATTR_AUTOCOMMIT,
                                   reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_OFF), 0);
  if (Ok(rc)) return true;
  keepError(SQL_HANDLE_DBC, dbc_, "SQLSetConnectAttr(AUTOCOMMIT)");
  return false;
}

bool OdbcConnection::endTransaction(int16_t completion) {
  if (!dbc_) return false;
  SQLFreeStmt(stmt_, SQL_CLOSE);
  const bool ok = Ok(SQLEndTran(SQL_HANDLE_DBC, dbc_, completion));
  if (!ok) keepError(SQL_HANDLE_DBC, dbc_, "SQLEndTran");
  SQLSetConnectAttr(dbc_, SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_ON), 0);
  return ok;
}

bool OdbcConnection::commit() { return endTransaction(SQL_COMMIT); }

void OdbcConnection::rollback() { endTransaction(SQL_ROLLBACK); }

bool OdbcConnection::query(std::string_view sql, OdbcResult& out) {
  out = OdbcResult{};
  if (!exec(sql)) return false;
  return fetch(out);
}

bool OdbcConnection::fetch(OdbcResult& out) {
  if (!fetchSet(out)) return false;
  if (dialect_ != SqlDialect::kSqlServer || out.overflow) return true;
  // SQL Server sends compute rows as further result sets; each replaces the
  // text as the layer always did.
  SQLLEN computes = 0;
  SQLColAttribute(stmt_, 1, 1205, nullptr, 0, nullptr, &computes);
  computes = std::clamp<SQLLEN>(computes, 0, kMaxComputeSets);
  for (SQLLEN i = 0; i < computes; ++i) {
    if (SQLMoreResults(stmt_) != SQL_SUCCESS) break;
    OdbcResult next;
    if (!fetchSet(next)) return false;
    out = std::move(next);
    if (out.overflow) break;
  }
  return true;
}

bool OdbcConnection::fetchSet(OdbcResult& out) {
  out = OdbcResult{};
  const bool ok = fetchEach([&out](std::span<const FetchColumn> columns, CBytes row) {
    if (!AppendRowText(columns, row, out.text, OdbcResult::kTextLimit)) {
      out.overflow = true;
      return false;
    }
    ++out.rows;
    return true;
  });
  if (!ok) out = OdbcResult{};
  return ok;
}

void OdbcConnection::setQueryTimeout(unsigned seconds) {
  if (stmt_)
    SQLSetStmtAttr(stmt_, SQL_ATTR_QUERY_TIMEOUT, reinterpret_cast<SQLPOINTER>(SQLULEN{seconds}),
                   0);
}

bool OdbcConnection::queryRows(std::string_view sql,
                               const std::function<bool(std::string_view row)>& each) {
  if (!exec(sql)) return false;
  std::string line;
  return fetchEach([&](std::span<const FetchColumn> columns, CBytes row) {
    line.clear();
    AppendRowText(columns, row, line, std::string::npos);
    if (!line.empty()) line.pop_back();  // the line end
    return each(line);
  });
}

bool OdbcConnection::fetchEach(const RowSink& sink) {
  SQLSMALLINT count = 0;
  if (!Ok(SQLNumResultCols(stmt_, &count)) || count <= 0) {
    keepError(SQL_HANDLE_STMT, stmt_, "SQLNumResultCols");
    return false;
  }
  std::vector<FetchColumn> columns(static_cast<size_t>(count));
  for (SQLUSMALLINT i = 0; i < static_cast<SQLUSMALLINT>(count); ++i) {
    SQLCHAR name[65];
    SQLSMALLINT nameLen = 0, type = 0, digits = 0, nullable = 0;
    SQLULEN size = 0;
    if (!Ok(SQLDescribeCol(stmt_, i + 1, name, sizeof name, &nameLen, &type, &size, &digits,
                           &nullable))) {
      keepError(SQL_HANDLE_STMT, stmt_, "SQLDescribeCol");
      return false;
    }
    uint64_t chars = size;
    const bool charType =
        type == SQL_CHAR || type == SQL_VARCHAR || type == SQL_NUMERIC || type == SQL_DECIMAL;
    if (!charType) {
      SQLLEN display = 0;
      if (Ok(SQLColAttribute(stmt_, i + 1, SQL_DESC_DISPLAY_SIZE, nullptr, 0, nullptr, &display)) &&
          display > 0)
        chars = static_cast<uint64_t>(display);
    }
    columns[i] = ColumnForSqlType(type, chars);
  }
  const size_t rowSize = LayOutRow(columns);
  std::vector<uint8_t> rows(rowSize * kRowsPerFetch);
  SQLULEN fetched = 0;
  SQLSetStmtAttr(stmt_, SQL_ATTR_ROW_BIND_TYPE, reinterpret_cast<SQLPOINTER>(rowSize), 0);
  SQLSetStmtAttr(stmt_, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(kRowsPerFetch), 0);
  SQLSetStmtAttr(stmt_, SQL_ATTR_ROWS_FETCHED_PTR, &fetched, 0);
  bool ok = true;
  bool more = true;
  for (SQLUSMALLINT i = 0; i < static_cast<SQLUSMALLINT>(count) && ok; ++i) {
    const FetchColumn& c = columns[i];
    ok = Ok(SQLBindCol(stmt_, i + 1, c.cType, rows.data() + c.valueOffset,
                       static_cast<SQLLEN>(c.bufferLength),
                       reinterpret_cast<SQLLEN*>(rows.data() + c.indicatorOffset)));
  }
  if (!ok) keepError(SQL_HANDLE_STMT, stmt_, "SQLBindCol");
  while (ok && more) {
    SQLRETURN rc = SQLFetch(stmt_);
    if (rc == SQL_NO_DATA) break;
    if (!Ok(rc)) {
      keepError(SQL_HANDLE_STMT, stmt_, "SQLFetch");
      ok = false;
      break;
    }
    const size_t n = std::min<size_t>(fetched, kRowsPerFetch);
    for (size_t r = 0; r < n && more; ++r)
      more = sink(columns, CBytes(rows.data() + r * rowSize, rowSize));
  }
  // The buffers go with this call: nothing may stay bound to them.
  SQLFreeStmt(stmt_, SQL_UNBIND);
  SQLSetStmtAttr(stmt_, SQL_ATTR_ROWS_FETCHED_PTR, nullptr, 0);
  SQLSetStmtAttr(stmt_, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(1), 0);
  SQLSetStmtAttr(stmt_, SQL_ATTR_ROW_BIND_TYPE, reinterpret_cast<SQLPOINTER>(SQL_BIND_BY_COLUMN),
                 0);
  return ok;
}

}  // namespace lark
