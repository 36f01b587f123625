// Databases for tests: a fresh SQLite file, and a throwaway PostgreSQL 15
// cluster (private data and socket folders, no TCP, every statement logged)
// with the database "ups" and a DSN in an odbc.ini named by ODBCINI.
#pragma once
#include <memory>
#include <string>
#include <vector>

#include "tests/support/temp_dir.h"

namespace lark::test {

class PostgresCluster {
 public:
  // Starts the cluster; null (with the reason in `why`) when the server's
  // programs are missing or it does not come up.
  static std::unique_ptr<PostgresCluster> Start(std::string* why);
  // One cluster for the whole test program (the driver manager keeps the
  // first odbc.ini it read), emptied by each call; null as for Start.
  static PostgresCluster* Shared(std::string* why);
  ~PostgresCluster();

  const std::string& dsn() const { return dsn_; }
  const std::string& user() const { return user_; }
  // Runs one statement through psql; true when psql exits 0.
  bool psql(const std::string& sql) const;
  // Starts psql on its own with `script` on its input and leaves it running
  // (for locks held from outside); its pid, or -1.
  int psqlInBackground(const std::string& script) const;
  bool stop();
  bool restart();
  // The server's statement log so far.
  std::string serverLog() const;

 private:
  PostgresCluster() = default;
  std::vector<std::string> asOwner(std::vector<std::string> argv) const;

  TempDir dir_;
  std::string data_, socket_, log_, dsn_ = "LarkTestPg", user_ = "postgres";
  bool asPostgres_ = false;
  bool running_ = false;
};

// The database under test, named for the test's output.
struct DatabaseUnderTest {
  std::string name;    // "SQLite" or "PostgreSQL"
  std::string source;  // DSN, empty for the default SQLite file
  std::string user;
  std::string sqliteFile;  // the default file when `source` is empty
};

}  // namespace lark::test
