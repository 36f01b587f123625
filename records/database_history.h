// The history recorder's database: rows and day totals go through the
// database thread; the history thread waits for each answer (bounded), so a
// row is either stored or its sample goes to the month file, never both.
//
// Threads: called on the history thread (dropLink also on the loop); the
// rows themselves are written on the database thread.
#pragma once
#include <atomic>
#include <chrono>
#include <functional>

#include "records/database_thread.h"
#include "records/history_database.h"

namespace lark {

class DatabaseHistory final : public HistoryDatabase {
 public:
  struct Hooks {
    // Devices in the tree: that many failed rows in a row drop the link.
    std::function<int()> deviceCount;
    // The rows keep failing (logged once per crossing).
    std::function<void()> insertsFailing;
    // The monthly backup, run on the database thread.
    std::function<void(DatabaseSession&)> exportLogs;
  };
  static constexpr auto kAnswerWait = std::chrono::seconds(20);

  DatabaseHistory(DatabaseThread& thread, const Clock& clock, Hooks hooks)
      : thread_(thread), clock_(clock), hooks_(std::move(hooks)) {}

  bool connected() const override { return thread_.linkState() == kDbConnected; }
  void dropLink() override { thread_.setLinkState(kDbNotConnected); }
  // The database thread owns the connection; the history thread only waits
  // for its turn.
  bool takeToken(int) override { return connected(); }
  void releaseToken() override {}
  bool insertSample(const HistorySample& sample, bool lost) override;
  // One job and one transaction for the period; the history thread waits
  // once, not once per row.
  std::vector<bool> insertPeriod(std::shared_ptr<const std::vector<HistoryPeriodRow>> rows) override;
  void updateAccumulator(const HistorySample& sample, bool inverter, const WallTime& day) override;
  void exportLogs() override;

  // A new connection starts the count afresh.
  void resetFailures() { failures_.store(0); }

 private:
  // Counts a row that was not stored; drops the link past the device count.
  void countFailure(const HistorySample& sample);

  DatabaseThread& thread_;
  const Clock& clock_;
  Hooks hooks_;
  std::atomic<int> failures_{0};
  int limit_ = 0;  // history thread only
};

}  // namespace lark
