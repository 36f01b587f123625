#include "tests/support/database_fixture.h"

#include <fcntl.h>
#include <pwd.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>

extern char** environ;

namespace lark::test {

namespace {

constexpr const char* kPgBin = "/usr/lib/postgresql/15/bin";

int SpawnArgv(const std::vector<std::string>& argv, const char* stdinFile, pid_t* pidOut) {
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_addopen(&fa, 0, stdinFile ? stdinFile : "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&fa, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&fa, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid = -1;
  int rc = posix_spawnp(&pid, args[0], &fa, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&fa);
  if (rc != 0) return -1;
  if (pidOut) {
    *pidOut = pid;
    return 0;
  }
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

std::vector<std::string> PostgresCluster::asOwner(std::vector<std::string> argv) const {
  if (!asPostgres_) return argv;
  argv.insert(argv.begin(), {"runuser", "-u", "postgres", "--"});
  return argv;
}

std::unique_ptr<PostgresCluster> PostgresCluster::Start(std::string* why) {
  if (access((std::string(kPgBin) + "/initdb").c_str(), X_OK) != 0) {
    *why = "PostgreSQL 15 is not installed";
    return nullptr;
  }
  std::unique_ptr<PostgresCluster> c(new PostgresCluster());
  c->data_ = c->dir_.file("data");
  c->socket_ = c->dir_.file("sock");
  c->log_ = c->dir_.file("server.log");
  mkdir(c->socket_.c_str(), 0700);
  if (geteuid() == 0) {
    // The server refuses to run as root.
    struct passwd* pw = getpwnam("postgres");
    if (!pw) {
      *why = "no postgres user";
      return nullptr;
    }
    c->asPostgres_ = true;
    chmod(c->dir_.path().c_str(), 0755);
    chown(c->socket_.c_str(), pw->pw_uid, pw->pw_gid);
    mkdir(c->data_.c_str(), 0700);
    chown(c->data_.c_str(), pw->pw_uid, pw->pw_gid);
    FILE* f = fopen(c->log_.c_str(), "w");
    if (f) fclose(f);
    chown(c->log_.c_str(), pw->pw_uid, pw->pw_gid);
  }
  if (SpawnArgv(c->asOwner({std::string(kPgBin) + "/initdb", "-D", c->data_, "-U", "postgres",
                            "--auth=trust", "-E", "UTF8", "--locale=C"}),
                nullptr, nullptr) != 0) {
    *why = "initdb failed";
    return nullptr;
  }
  if (!c->restart()) {
    *why = "the server did not start";
    return nullptr;
  }
  if (!c->psql("create database ups")) {
    *why = "cannot create the database ups";
    return nullptr;
  }
  std::string ini = c->dir_.file("odbc.ini");
  std::ofstream(ini) << "[" << c->dsn_ << "]\nDriver=PostgreSQL ANSI\nServername=" << c->socket_
                     << "\nPort=5432\nDatabase=ups\nUsername=postgres\n";
  setenv("ODBCINI", ini.c_str(), 1);
  return c;
}

PostgresCluster* PostgresCluster::Shared(std::string* why) {
  static std::string reason;
  static std::unique_ptr<PostgresCluster> shared = Start(&reason);
  if (!shared) {
    *why = reason;
    return nullptr;
  }
  if (!shared->running_ && !shared->restart()) {
    *why = "the server did not start again";
    return nullptr;
  }
  if (!shared->psql("drop schema public cascade; create schema public")) {
    *why = "cannot empty the database";
    return nullptr;
  }
  return shared.get();
}

PostgresCluster::~PostgresCluster() { stop(); }

bool PostgresCluster::restart() {
  std::string opts = "-c listen_addresses='' -c unix_socket_directories=" + socket_ +
                     " -c log_statement=all -c fsync=off";
  running_ = SpawnArgv(asOwner({std::string(kPgBin) + "/pg_ctl", "-D", data_, "-l", log_, "-w",
                                "-o", opts, "start"}),
                       nullptr, nullptr) == 0;
  return running_;
}

bool PostgresCluster::stop() {
  if (!running_) return true;
  running_ =
      SpawnArgv(asOwner({std::string(kPgBin) + "/pg_ctl", "-D", data_, "-m", "fast", "-w", "stop"}),
                nullptr, nullptr) != 0;
  return !running_;
}

bool PostgresCluster::psql(const std::string& sql) const {
  return SpawnArgv({"psql", "-h", socket_, "-U", "postgres", "-d",
                    sql.find("database ups") != std::string::npos ? "postgres" : "ups", "-v",
                    "ON_ERROR_STOP=1", "-c", sql},
                   nullptr, nullptr) == 0;
}

int PostgresCluster::psqlInBackground(const std::string& script) const {
  std::string file = dir_.file("script.sql");
  std::ofstream(file) << script;
  pid_t pid = -1;
  if (SpawnArgv({"psql", "-h", socket_, "-U", "postgres", "-d", "ups", "-f", file}, nullptr,
                &pid) != 0)
    return -1;
  return pid;
}

std::string PostgresCluster::serverLog() const {
  std::ifstream in(log_);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

}  // namespace lark::test
