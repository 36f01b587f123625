#include "records/history_recorder.h"

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <limits>

#include "core/history_family.h"
#include "platform/paths.h"
#include "records/history_accumulators.h"
#include "records/history_exception.h"
#include "records/history_files.h"

namespace lark {

namespace {

bool SameDay(const WallTime& a, const WallTime& b) {
  return a.year == b.year && a.month == b.month && a.day == b.day;
}

// Holds DatabaseToken for one step and gives it back on every path out.
class TokenHold {
 public:
  TokenHold(HistoryDatabase& db, int waitMs) : db_(db), held_(db.takeToken(waitMs)) {}
  ~TokenHold() {
    if (held_) db_.releaseToken();
  }
  TokenHold(const TokenHold&) = delete;
  TokenHold& operator=(const TokenHold&) = delete;
  explicit operator bool() const { return held_; }

 private:
  HistoryDatabase& db_;
  bool held_;
};

constexpr uint64_t Bit(int n) { return uint64_t{1} << n; }

// A quarter of the descriptors the process may hold, at most 16384: the
// rest stay for stations, consoles and ports.
size_t KeptFilesLimit() {
  rlimit r{};
  if (getrlimit(RLIMIT_NOFILE, &r) != 0 || r.rlim_cur == RLIM_INFINITY) return 1024;
  return static_cast<size_t>(std::min<rlim_t>(r.rlim_cur / 4, 16384));
}

}  // namespace

HistoryRecorder::HistoryRecorder(DeviceTree& tree, Clock& clock, EventLogSink& log,
                                 HistoryDatabase& db)
    : tree_(tree),
      clock_(clock),
      log_(log),
      db_(db),
      settings_(std::make_shared<const HistorySettings>()),
      notedDay_(clock.now()),
      notedTick_(clock.tickMs()) {}

HistoryRecorder::~HistoryRecorder() { stop(); }

void HistoryRecorder::publish(HistorySettings settings) {
  auto snap = std::make_shared<const HistorySettings>(std::move(settings));
  std::lock_guard<std::mutex> g(settingsMu_);
  settings_ = std::move(snap);
}

std::shared_ptr<const HistorySettings> HistoryRecorder::settings() const {
  std::lock_guard<std::mutex> g(settingsMu_);
  return settings_;
}

void HistoryRecorder::start() {
  if (thread_.joinable()) return;
  control.resume();
  notedDay_ = clock_.now();
  notedTick_ = clock_.tickMs();
  // Read now: the service raises the descriptor limit before it starts us.
  files_.setLimit(KeptFilesLimit());
  thread_ = std::thread([this] {
    while (step() && rest(500)) {
    }
    files_.closeAll();
    control.word.store(WorkerControl::kStopped);
  });
}

void HistoryRecorder::stop() {
  if (!thread_.joinable()) return;
  {
    std::lock_guard<std::mutex> g(wakeMu_);
    control.word.store(WorkerControl::kStop);
  }
  wake_.notify_all();
  thread_.join();
}

bool HistoryRecorder::rest(int ms) {
  auto stopping = [this] {
    const int w = control.word.load();
    return w == WorkerControl::kStop || w == WorkerControl::kStopped;
  };
  std::unique_lock<std::mutex> lock(wakeMu_);
  wake_.wait_for(lock, std::chrono::milliseconds(ms), stopping);
  return !stopping();
}

template <class F>
void HistoryRecorder::guarded(int place, F&& f) {
  try {
    f();
  } catch (...) {
    ReportHistoryException(log_, db_, kCppExceptionCode, place);
    rest(faultRestMs);
  }
}

template <class F>
void HistoryRecorder::databaseStep(int place, int waitMs, F&& f) {
  guarded(place, [&] {
    TokenHold hold(db_, waitMs);
    if (hold) f();
  });
}

bool HistoryRecorder::databaseInUse(const HistorySettings& s) const {
  return s.databaseEnabled && db_.connected();
}

bool HistoryRecorder::step() {
  std::shared_ptr<const HistorySettings> s = settings();
  const WallTime now = clock_.now();
  if (!SameDay(now, notedDay_)) {
    {
      auto lock = tree_.readLock();
      Tree_ResetDailyValues(tree_.root());
    }
    notedDay_ = now;
  }
  const uint32_t tick = clock_.tickMs();
  const uint32_t passed = TickElapsed(tick, notedTick_);
  if (passed > 1000) {
    // Paused for months, the count stops short of wrapping.
    const int32_t add = static_cast<int32_t>(passed / 10);
    if (elapsed.load() <= std::numeric_limits<int32_t>::max() - add) elapsed.fetch_add(add);
    notedTick_ = tick;
  }
  if (elapsed.load() / 100 >= s->period && recordingPaused.load() == 0) {
    elapsed.store(0);
    guarded(kPlaceHistoryWalk, [&] { RecordHistoryTree(now); });
  }
  dayChanged.store(false);
  if (monthChanged.exchange(false)) {
    // New month files from now on; the old ones may be purged.
    files_.closeAll();
    guarded(kPlaceHistoryWalk, [&] {
      if (databaseInUse(*s)) {
        TokenHold hold(db_, 30000);
        if (hold) db_.exportLogs();
      }
      PurgeOldHistory(now);
    });
  }
  return control.checkpoint();
}

// ---- the walk ----

void HistoryRecorder::collect(DeviceNode& node, std::vector<HistoryPeriodRow>& out) {
  if (node.isGroup()) {
    for (const auto& child : node.children()) collect(*child, out);
    return;
  }
  // No poller serves it: there is nothing to record, not even a loss.
  if (!node.monitored()) return;
  HistoryPeriodRow p;
  HistorySample& s = p.sample;
  s.nodeKind = node.nodeKind();
  s.commType = node.commType();
  s.mibType = node.mibType();
  s.layout = HistoryLayoutOf(s.nodeKind, s.commType, s.mibType);
  const LiveDataBlock* block = node.block(s.layout.source);
  if (!s.layout.recorded || block == nullptr) return;
  s.id = node.id();
  s.saveInDatabase = node.saveInDatabase();
  const int maskOff = MaskOffset(s.layout.source, MaskWord::kReported);
  const bool byteMask = MaskBits(s.layout.source, MaskWord::kReported) == 8;
  const size_t slotOff = LayoutOf(s.layout.source).slotOffset;
  s.slots.resize(static_cast<size_t>(block->slotCount()), -1);
  block->withImage([&](CBytes img) {
    if (maskOff >= 0) {
      const size_t off = static_cast<size_t>(maskOff);
      s.reportedMask = byteMask ? u8At(img, off) : u64At(img, off);
    }
    for (size_t i = 0; i < s.slots.size() && slotOff + 4 * i + 4 <= img.size(); ++i) {
      s.slots[i] = i32At(img, slotOff + 4 * i);
    }
  });
  p.lost = (s.reportedMask & s.layout.lostBits) != 0;
  if (p.lost) {
    // One marker sample, then a gap until the device answers again.
    if (node.linkLostLatch() != 0 && !s.layout.lostEveryPeriod) return;
    node.setLinkLostLatch(1);
  } else {
    node.setLinkLostLatch(0);
  }
  out.push_back(std::move(p));
}

void HistoryRecorder::RecordHistoryTree(const WallTime& now) {
  std::shared_ptr<const HistorySettings> s = settings();
  // Other folders or another map: the kept files are not theirs.
  if (s != filesFor_) {
    files_.closeAll();
    filesFor_ = s;
  }
  // Nothing before the loop has published a folder: never the file system root.
  if (s->storage <= 0 || s->directory.empty()) return;
  std::vector<HistoryPeriodRow> pending;
  {
    auto lock = tree_.readLock();
    collect(tree_.root(), pending);
  }
  // The database's rows of the period go in one job; the rest of the pass
  // waits for it once.
  std::vector<bool> stored(pending.size(), false);
  if (databaseInUse(*s)) {
    auto rows = std::make_shared<std::vector<HistoryPeriodRow>>();
    std::vector<size_t> at;
    for (size_t i = 0; i < pending.size(); ++i) {
      if (!pending[i].sample.saveInDatabase) continue;
      rows->push_back(pending[i]);
      at.push_back(i);
    }
    if (!rows->empty()) {
      databaseStep(kPlaceHistoryInsert, 10000, [&] {
        const std::vector<bool> done = db_.insertPeriod(rows);
        for (size_t k = 0; k < at.size() && k < done.size(); ++k) stored[at[k]] = done[k];
      });
    }
  }
  for (size_t i = 0; i < pending.size(); ++i) {
    const HistoryPeriodRow& p = pending[i];
    writeSample(*s, p.sample, p.lost, stored[i], now);
    if (!p.lost) updateAccumulator(*s, p.sample, now);
  }
}

void HistoryRecorder::writeSample(const HistorySettings& s, const HistorySample& sample, bool lost,
                                  bool stored, const WallTime& now) {
  // A stored row replaces the month-file line, except for inverters,
  // sensors and meters, which keep their files; a row not stored is never
  // lost: its line is written.
  if (stored && !sample.layout.textName) return;
  files_.append(
      HistoryMonthFilePath(s.directory, s.mapName, sample.id, now.year, now.month, sample.layout),
      HistorySampleLine(sample, lost, now), std::to_string(sample.nodeKind));
}

void HistoryRecorder::updateAccumulator(const HistorySettings& s, const HistorySample& sample,
                                        const WallTime& now) {
  const HistoryAccumulator kind = sample.layout.accumulator;
  if (kind == HistoryAccumulator::kNone) return;
  const bool inverter = kind == HistoryAccumulator::kInverter;
  if (databaseInUse(s) && sample.saveInDatabase) {
    databaseStep(inverter ? kPlaceInverterAccRow : kPlaceSensorAccRow, 10000,
                 [&] { db_.updateAccumulator(sample, inverter, now); });
  }
  const AccPaths paths = AccumulatorPaths(s.directory, s.mapName, sample.id, kind);
  const bool snmp = sample.nodeKind == kNodeSnmp;
  if (inverter) {
    std::array<int32_t, kInverterAccValues> live{};
    for (size_t i = 0; i < live.size(); ++i) live[i] = sample.slot(kInverterAccSlots[i]);
    // An inverter reporting itself out of service keeps the day's values.
    const uint64_t outOfService = snmp ? Bit(0) | Bit(15) | Bit(16) | Bit(27) : Bit(15) | Bit(16);
    UpdateInverterAccumulator(paths, now, live, (sample.reportedMask & outOfService) == 0);
    return;
  }
  if (auto total = UpdateSensorAccumulator(paths, now, sample.slot(kSensorDayTotalSlot), snmp)) {
    raiseSensorTotal(sample, *total);
  }
}

// The poller adds to the day total meanwhile: compare and raise in one step
// under the block lock, on the node found again by its id.
void HistoryRecorder::raiseSensorTotal(const HistorySample& sample, int32_t total) {
  auto lock = tree_.readLock();
  const DeviceNode* node = Tree_FindNodeById(sample.id, &tree_.root());
  if (node == nullptr || node->nodeKind() != sample.nodeKind ||
      node->commType() != sample.commType || node->mibType() != sample.mibType) {
    return;
  }
  LiveDataBlock* block = node->block(sample.layout.source);
  if (block == nullptr) return;
  const size_t off = LayoutOf(sample.layout.source).slotOffset + 4 * kSensorDayTotalSlot;
  block->withImage([&](Bytes img) {
    if (off + 4 <= img.size() && i32At(img, off) < total) putI32(img, off, total);
  });
}

// ---- the storage window ----

void HistoryRecorder::PurgeOldHistory(const WallTime& now) {
  std::shared_ptr<const HistorySettings> s = settings();
  // Storage 0 records nothing and deletes nothing.
  if (s->storage <= 0 || s->directory.empty()) return;
  struct Device {
    int id;
    HistoryLayout layout;
  };
  std::vector<Device> devices;
  {
    auto lock = tree_.readLock();
    auto walk = [&devices](const DeviceNode& node, auto& self) -> void {
      if (!node.isGroup()) {
        devices.push_back(
            {node.id(), HistoryLayoutOf(node.nodeKind(), node.commType(), node.mibType())});
        return;
      }
      for (const auto& child : node.children()) self(*child, self);
    };
    walk(tree_.root(), walk);
  }
  const int y = now.year, m = now.month, keep = s->storage;
  for (const Device& d : devices) {
    auto drop = [&](int year, int month) {
      RemoveRegularFile(
          HistoryMonthFilePath(s->directory, s->mapName, d.id, year, month, d.layout));
    };
    if (m - keep < 1) {
      for (int month = 1; month <= m - keep + 12; ++month) drop(y - 1, month);
    } else {
      for (int month = 1; month <= m - keep; ++month) drop(y, month);
      for (int month = 1; month <= 12; ++month) drop(y - 1, month);
    }
  }
}

}  // namespace lark
