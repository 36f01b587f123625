// What the history recorder asks of the database: a small interface whose
// default is "not in use" (never connected). The database layer implements
// it; tests use a fake that is in use.
//
// Threads: every member is called on the history thread, except dropLink(),
// which the exception reporter also calls on the loop thread.
#pragma once
#include <memory>
#include <vector>

#include "platform/clock.h"
#include "records/history_sample.h"

namespace lark {

class HistoryDatabase {
 public:
  virtual ~HistoryDatabase() = default;
  // The connection is up (DbLinkState 2). The recorder uses the database only
  // when this holds and the settings enable it.
  virtual bool connected() const { return false; }
  // DbLinkState := 0, so the one-second tick connects afresh.
  virtual void dropLink() {}
  // DatabaseToken: granted within `waitMs` or refused; one release frees it.
  virtual bool takeToken(int /*waitMs*/) { return false; }
  virtual void releaseToken() {}
  // Called with the token held. True when the row is stored; when it is not,
  // the sample goes to its month file instead.
  virtual bool insertSample(const HistorySample& /*sample*/, bool /*lost*/) { return false; }
  // A period's rows at once, with the token held: which were stored, in
  // order. Here one by one.
  virtual std::vector<bool> insertPeriod(std::shared_ptr<const std::vector<HistoryPeriodRow>> rows) {
    std::vector<bool> stored;
    stored.reserve(rows->size());
    for (const HistoryPeriodRow& r : *rows) stored.push_back(insertSample(r.sample, r.lost));
    return stored;
  }
  // The day-totals row of an inverter (inverter true) or a sensor for `day`.
  virtual void updateAccumulator(const HistorySample& /*sample*/, bool /*inverter*/,
                                 const WallTime& /*day*/) {}
  // The monthly backup, at a month change.
  virtual void exportLogs() {}
};

}  // namespace lark
