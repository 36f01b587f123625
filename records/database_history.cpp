#include "records/database_history.h"

#include <memory>

#include "records/history_rows.h"

namespace lark {

bool DatabaseHistory::insertSample(const HistorySample& sample, bool lost) {
  // A row whose answer comes too late must not be stored after its line
  // went to the month file.
  auto late = std::make_shared<std::atomic<bool>>(false);
  const WallTime now = clock_.now();
  auto done = thread_.call([sample, lost, now, late](DatabaseSession& s) {
    if (late->load() || !s.connected()) return false;
    return HistoryRows(s.db).insert(sample, lost, now);
  });
  bool stored = false;
  if (done.wait_for(kAnswerWait) == std::future_status::ready) {
    stored = done.get();
  } else {
    late->store(true);
  }
  if (stored) {
    failures_.store(0);
    return true;
  }
  countFailure(sample);
  return false;
}

std::vector<bool> DatabaseHistory::insertPeriod(
    std::shared_ptr<const std::vector<HistoryPeriodRow>> rows) {
  // Rows whose answer comes too late are rolled back: their lines go to the
  // month files.
  auto late = std::make_shared<std::atomic<bool>>(false);
  const WallTime now = clock_.now();
  auto done = thread_.call([rows, now, late](DatabaseSession& s) {
    if (late->load() || !s.connected()) return std::vector<bool>(rows->size(), false);
    return HistoryRows(s.db).insertPeriod(*rows, now, [&late] { return !late->load(); });
  });
  std::vector<bool> stored(rows->size(), false);
  if (done.wait_for(kAnswerWait) == std::future_status::ready) {
    stored = done.get();
  } else {
    late->store(true);
  }
  for (size_t i = 0; i < rows->size(); ++i) {
    if (stored[i]) {
      failures_.store(0);
    } else {
      countFailure((*rows)[i].sample);
    }
  }
  return stored;
}

void DatabaseHistory::countFailure(const HistorySample& sample) {
  if (sample.layout.family.empty() || !sample.layout.recorded) return;
  if (failures_.load() == 0) limit_ = hooks_.deviceCount ? hooks_.deviceCount() : 0;
  if (failures_.fetch_add(1) + 1 > limit_) {
    failures_.store(0);
    if (hooks_.insertsFailing) hooks_.insertsFailing();
    dropLink();
  }
}

void DatabaseHistory::updateAccumulator(const HistorySample& sample, bool inverter,
                                        const WallTime& day) {
  auto done = thread_.call([sample, inverter, day](DatabaseSession& s) {
    return s.connected() && HistoryRows(s.db).updateAccumulator(sample, inverter, day);
  });
  done.wait_for(kAnswerWait);
}

void DatabaseHistory::exportLogs() {
  if (!hooks_.exportLogs) return;
  auto done = thread_.call([this](DatabaseSession& s) {
    hooks_.exportLogs(s);
    return true;
  });
  done.wait();
}

}  // namespace lark
