// The history thread: samples every device of the tree once per history
// period into its month file (and the database when it is in use), keeps the
// day totals of inverters and sensors, resets the daily values at midnight,
// and at a month change runs the monthly backup and deletes month files
// older than the storage window.
//
// Threads: step() runs on the history thread (tests call it directly). Each
// walk copies the samples under the shared tree lock and writes the files
// after releasing it; no node pointer is kept across. The settings come from
// a snapshot the loop thread publishes; the flags, HistoryElapsed and
// HistoryRecordingPaused are atomics shared with the loop and report threads.
#pragma once
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "core/device_tree.h"
#include "core/event_log_sink.h"
#include "platform/clock.h"
#include "platform/process.h"
#include "records/history_database.h"
#include "records/history_files.h"

namespace lark {

// What the thread reads of the settings and the map, replaced whole.
struct HistorySettings {
  int32_t period = 60;    // s between samples
  int32_t storage = 12;   // months of month files kept; 0 records nothing
  std::string directory;  // the history root folder
  std::string mapName;    // the current map
  bool databaseEnabled = false;
};

class HistoryRecorder {
 public:
  HistoryRecorder(DeviceTree& tree, Clock& clock, EventLogSink& log, HistoryDatabase& db);
  ~HistoryRecorder();
  HistoryRecorder(const HistoryRecorder&) = delete;
  HistoryRecorder& operator=(const HistoryRecorder&) = delete;

  // Loop thread: at start and whenever the map or the history settings change.
  void publish(HistorySettings settings);
  std::shared_ptr<const HistorySettings> settings() const;

  // Starts the thread (once); stop() asks it to end, wakes its sleeps and joins it.
  void start();
  void stop();
  bool running() const { return thread_.joinable(); }

  // One pass of the thread's loop at the clock's time; false once a stop is seen.
  bool step();

  // The parts of a pass, for tests and benchmarks.
  void RecordHistoryTree(const WallTime& now);
  void PurgeOldHistory(const WallTime& now);

  WorkerControl control;                     // HistoryControl: pause and stop
  std::atomic<bool> dayChanged{false};       // DayChangedFlag, raised by the loop
  std::atomic<bool> monthChanged{false};     // MonthChangedFlag, raised by the loop
  std::atomic<int32_t> elapsed{0};           // HistoryElapsed, 10 ms units since the last sample
  std::atomic<uint32_t> recordingPaused{0};  // HistoryRecordingPaused, set by the report thread
  int faultRestMs = 5000;  // the thread's rest after a reported exception (tests shorten it)

 private:
  template <class F>
  void guarded(int place, F&& f);
  template <class F>
  void databaseStep(int place, int waitMs, F&& f);
  bool databaseInUse(const HistorySettings& s) const;
  void collect(DeviceNode& node, std::vector<HistoryPeriodRow>& out);
  void writeSample(const HistorySettings& s, const HistorySample& sample, bool lost, bool stored,
                   const WallTime& now);
  void updateAccumulator(const HistorySettings& s, const HistorySample& sample,
                         const WallTime& now);
  void raiseSensorTotal(const HistorySample& sample, int32_t total);
  // Sleeps up to `ms`; false when a stop came meanwhile.
  bool rest(int ms);

  DeviceTree& tree_;
  Clock& clock_;
  EventLogSink& log_;
  HistoryDatabase& db_;

  mutable std::mutex settingsMu_;                    // guards settings_
  std::shared_ptr<const HistorySettings> settings_;  // written by the loop thread

  WallTime notedDay_;       // history thread: the day of the last daily reset
  uint32_t notedTick_ = 0;  // history thread: ms tick of the last elapsed update

  OpenHistoryFiles files_{1024};  // history thread: month files kept open between periods
  std::shared_ptr<const HistorySettings> filesFor_;  // history thread: the settings files_ serve
  std::mutex wakeMu_;  // with wake_, lets stop() cut a sleep short
  std::condition_variable wake_;
  std::thread thread_;  // loop thread starts and joins it
};

}  // namespace lark
