// The database thread: it owns the one ODBC connection (holding it is what
// the database token means), runs the jobs others submit in their order, and
// stores the event and operator rows of an ordered outbox. Rows keep their
// own time and wait while the database is away; at most kOutboxLimit wait,
// beyond that the oldest go and one notice says so.
//
// Threads: submit, queueEvent, queueOpLog, requestConnect and linkState may be
// called from any thread; jobs and the connection live on the database
// thread only. The outbox and the job queue are guarded by mu_. Callbacks
// (notices, link reports) run on the database thread, except the outbox
// notice, which runs on the queueing thread with no lock held.
#pragma once
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <future>
#include <mutex>
#include <string>
#include <thread>

#include "common/odbc.h"
#include "platform/clock.h"
#include "records/database_tables.h"

namespace lark {

// DbLinkState: what the loop knows of the connection.
enum DbLink : uint8_t {
  kDbNotConnected = 0,  // connect at the next one-second tick
  kDbConnectFailed = 1,
  kDbConnected = 2,
};

struct DatabaseSource {
  std::string source;  // DSN name; empty = the SQLite file below
  std::string account;
  std::string password;     // plain
  std::string logTable;     // the event table, checked by IsSqlTableName
  std::string defaultFile;  // <install>/ups.db
};

// What a job works with.
struct DatabaseSession {
  OdbcConnection& db;
  UpsTables& tables;
  bool connected() const { return db.connected(); }
};

enum class DatabaseNotice {
  kOutboxDropped,  // the outbox was full: its oldest rows went
  kLinkLost,       // a row could not be stored and the server did not answer
};

class DatabaseThread {
 public:
  static constexpr size_t kOutboxLimit = 100000;
  using Job = std::function<void(DatabaseSession&)>;
  using Notice = std::function<void(DatabaseNotice)>;
  // Connect outcome: true when connected; `detail` names the failure.
  using ConnectReport = std::function<void(bool connected, const std::string& detail)>;

  explicit DatabaseThread(Notice notice);
  ~DatabaseThread();
  DatabaseThread(const DatabaseThread&) = delete;
  DatabaseThread& operator=(const DatabaseThread&) = delete;

  void start();
  // Runs the jobs already submitted, stores what it can of the outbox while
  // connected, then disconnects and ends.
  void stop();

  void submit(Job job);
  // For threads that may wait: the job's value once it ran.
  template <class F>
  auto call(F f) -> std::future<decltype(f(std::declval<DatabaseSession&>()))> {
    using R = decltype(f(std::declval<DatabaseSession&>()));
    auto task = std::make_shared<std::packaged_task<R(DatabaseSession&)>>(std::move(f));
    auto future = task->get_future();
    submit([task](DatabaseSession& s) { (*task)(s); });
    return future;
  }

  // Disconnects, then connects to `source`; the link state follows.
  void requestConnect(DatabaseSource source, ConnectReport report);
  void requestDisconnect();

  void queueEvent(const WallTime& when, int32_t number, uint32_t level, int32_t code,
                  std::string_view text);
  void queueOpLog(const WallTime& when, std::string_view account, uint32_t level,
                  std::string_view text);

  uint8_t linkState() const { return link_.load(std::memory_order_acquire); }
  // The loop's own changes (a console asking for a reconnect).
  void setLinkState(uint8_t s) { link_.store(s, std::memory_order_release); }
  size_t outboxSize() const;

 private:
  struct Row {
    uint64_t seq;
    bool event;  // else an op_log row
    WallTime when;
    int32_t number;  // events
    uint32_t level;
    int32_t code;         // events
    std::string account;  // op_log
    std::string text;
  };

  void run();
  void push(Row row);
  bool storeRow(const Row& row);

  Notice notice_;
  OdbcConnection db_;
  UpsTables tables_{db_, "obj_log"};
  std::atomic<uint8_t> link_{kDbNotConnected};

  mutable std::mutex mu_;
  std::condition_variable wake_;
  std::deque<Job> jobs_;         // guarded by mu_
  std::deque<Row> outbox_;       // guarded by mu_
  uint64_t nextSeq_ = 0;         // guarded by mu_
  bool droppedNoticed_ = false;  // guarded by mu_: one notice per full spell
  bool stopping_ = false;        // guarded by mu_
  std::thread thread_;
};

}  // namespace lark
