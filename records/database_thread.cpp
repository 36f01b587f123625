#include "records/database_thread.h"

#include <chrono>

#include "common/sql_text.h"

namespace lark {

namespace {

// A row the server refused while it still answers (a locked SQLite file, a
// missing table) is tried again after this pause, ahead of newer rows.
constexpr auto kRowRetry = std::chrono::seconds(1);

}  // namespace

DatabaseThread::DatabaseThread(Notice notice) : notice_(std::move(notice)) {}

DatabaseThread::~DatabaseThread() { stop(); }

void DatabaseThread::start() {
  std::lock_guard<std::mutex> g(mu_);
  if (thread_.joinable()) return;
  stopping_ = false;
  thread_ = std::thread([this] { run(); });
}

void DatabaseThread::stop() {
  {
    std::lock_guard<std::mutex> g(mu_);
    if (!thread_.joinable()) return;
    stopping_ = true;
  }
  wake_.notify_all();
  thread_.join();
}

void DatabaseThread::submit(Job job) {
  {
    std::lock_guard<std::mutex> g(mu_);
    jobs_.push_back(std::move(job));
  }
  wake_.notify_all();
}

void DatabaseThread::requestConnect(DatabaseSource source, ConnectReport report) {
  submit([this, source = std::move(source), report = std::move(report)](DatabaseSession& s) {
    std::string error;
    bool ok = false;
    if (!IsSqlTableName(source.logTable)) {
      s.db.disconnect();
      error = "the event table name \"" + source.logTable + "\" is not a plain table name";
    } else {
      ok = s.db.connect(source.source, source.account, source.password, source.defaultFile, &error);
      s.tables.setLogTable(source.logTable);
    }
    link_.store(ok ? kDbConnected : kDbConnectFailed, std::memory_order_release);
    if (ok) wake_.notify_all();  // rows may be waiting
    if (report) report(ok, error);
  });
}

void DatabaseThread::requestDisconnect() {
  submit([this](DatabaseSession& s) {
    s.db.disconnect();
    link_.store(kDbNotConnected, std::memory_order_release);
  });
}

void DatabaseThread::push(Row row) {
  bool dropped = false;
  {
    std::lock_guard<std::mutex> g(mu_);
    row.seq = nextSeq_++;
    outbox_.push_back(std::move(row));
    if (outbox_.size() > kOutboxLimit) {
      outbox_.pop_front();
      dropped = !droppedNoticed_;
      droppedNoticed_ = true;
    }
  }
  wake_.notify_all();
  if (dropped && notice_) notice_(DatabaseNotice::kOutboxDropped);
}

void DatabaseThread::queueEvent(const WallTime& when, int32_t number, uint32_t level, int32_t code,
                                std::string_view text) {
  push(Row{0, true, when, number, level, code, {}, std::string(text)});
}

void DatabaseThread::queueOpLog(const WallTime& when, std::string_view account, uint32_t level,
                                std::string_view text) {
  push(Row{0, false, when, 0, level, 0, std::string(account), std::string(text)});
}

size_t DatabaseThread::outboxSize() const {
  std::lock_guard<std::mutex> g(mu_);
  return outbox_.size();
}

bool DatabaseThread::storeRow(const Row& row) {
  return row.event ? tables_.InsertEvent(row.number, row.level, row.code, row.text, row.when)
                   : tables_.InsertOpLog(row.account, row.level, row.text, row.when);
}

void DatabaseThread::run() {
  DatabaseSession session{db_, tables_};
  auto retryAt = std::chrono::steady_clock::now();
  std::unique_lock<std::mutex> lk(mu_);
  for (;;) {
    if (!jobs_.empty()) {
      Job job = std::move(jobs_.front());
      jobs_.pop_front();
      lk.unlock();
      try {
        job(session);
      } catch (...) {
        // A job that fails (out of memory) costs its own work only.
      }
      lk.lock();
      continue;
    }
    const bool rowsReady = !outbox_.empty() && db_.connected() &&
                           link_.load(std::memory_order_acquire) == kDbConnected;
    if (rowsReady && std::chrono::steady_clock::now() >= retryAt) {
      const Row row = outbox_.front();
      lk.unlock();
      bool stored = storeRow(row);
      bool lost = false;
      if (!stored) {
        // Refused while the server still answers: the row waits and is
        // tried again; no answer at all: the link is gone.
        lost = !db_.exec("select 1");
        if (lost) {
          db_.disconnect();
          link_.store(kDbNotConnected, std::memory_order_release);
        }
        retryAt = std::chrono::steady_clock::now() + kRowRetry;
      }
      if (lost && notice_) notice_(DatabaseNotice::kLinkLost);
      lk.lock();
      if (stored) {
        if (!outbox_.empty() && outbox_.front().seq == row.seq) outbox_.pop_front();
        if (outbox_.size() < kOutboxLimit) droppedNoticed_ = false;
      }
      continue;
    }
    if (stopping_) break;
    if (rowsReady)
      wake_.wait_until(lk, retryAt);
    else
      wake_.wait(lk);
  }
  lk.unlock();
  db_.disconnect();
  link_.store(kDbNotConnected, std::memory_order_release);
}

}  // namespace lark
