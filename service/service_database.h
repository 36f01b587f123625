// The service's side of the database: the database thread (the ownership
// token), connecting and reconnecting on the one-second tick, the rows of the
// event log and the operation log, and the console's database requests.
//
// Threads: everything but eventRow, opLogReady and opLogRow runs on the loop
// thread. The thread's answers reach the loop through EventLoop::post,
// guarded by alive_ so none runs after this object is gone.
#pragma once
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "linkserver/link_database.h"
#include "platform/clock.h"
#include "platform/event_loop.h"
#include "records/database_export.h"
#include "records/database_history.h"
#include "records/database_thread.h"

namespace lark {

class DeviceTree;
class EventLogSink;
struct LanguageSnapshot;
struct ServiceSettings;

// The month to back up and what goes into it, from the settings, the
// language's titles and the tree (read under its lock).
ExportPlan MakeExportPlan(const ServiceSettings& settings, const LanguageSnapshot* language,
                          DeviceTree& tree, const WallTime& now);

class ServiceDatabase final : public LinkDatabase {
 public:
  // The [System-Message] line `message` at `level`, and its popup when
  // `popup` is set; on the loop thread.
  using SystemEvent = std::function<void(uint32_t level, int message, bool popup)>;
  // Failed connects are logged and shown this many minutes after start;
  // after that the service retries each minute without a word.
  static constexpr int kLoudRetriesAtStart = 10;
  static constexpr int kLoudRetriesAfterLoss = 2;

  ServiceDatabase(EventLoop& loop, const Clock& clock, const ServiceSettings& settings,
                  DeviceTree& tree, EventLogSink& log, std::string installDir,
                  SystemEvent systemEvent);
  ~ServiceDatabase() override;

  // Start-up step "database ownership token".
  void start();
  // Start-up step "database connection": connects and waits for the answer.
  void connectAtStart();
  // At a minute boundary: a failed connection is tried again.
  void onMinute();
  // Every second: a connect when enabled and not connected.
  void onSecond();
  void stop();

  // The event log's hook (any thread).
  void eventRow(const WallTime& when, int32_t number, uint32_t level, int32_t code,
                std::string_view text);
  // The operation log's hooks (any thread).
  bool opLogReady() const;
  void opLogRow(uint32_t level, std::string_view text);

  DatabaseThread& thread() { return thread_; }
  HistoryDatabase& history() { return history_; }
  // The monthly backup (run on the database thread).
  void setBackup(std::function<void(DatabaseSession&)> backup);
  // A month began: without a connection the backup waits for the next one.
  void noteMonthChange();

  // LinkDatabase
  bool enabled() const override { return enabled_.load(std::memory_order_acquire); }
  uint8_t linkState() const override { return thread_.linkState(); }
  bool accountsGuarded() const override { return accountsGuarded_.load(std::memory_order_acquire); }
  void askReconnect() override;
  void disconnect() override;
  void setOperatorAccount(const std::string& account) override;
  void run(LinkDbRequest request, std::function<void(LinkDbAnswer)> done) override;
  void refillTreeMap() override;

 private:
  DatabaseSource source() const;
  // False (and one line while it stays so) for an event table name that is
  // not a plain table name.
  bool tableNameUsable();
  void requestConnect();
  void onConnected(bool ok, const std::string& detail);
  void onNotice(DatabaseNotice notice);
  void post(std::function<void()> task);
  // On the database thread: whether an account now guards the settings.
  void noteAccounts(DatabaseSession& s);

  EventLoop& loop_;
  const Clock& clock_;
  const ServiceSettings& settings_;
  DeviceTree& tree_;
  EventLogSink& log_;
  std::string installDir_;
  SystemEvent systemEvent_;
  std::atomic<bool> enabled_{false};  // settings' switch, mirrored by the loop each tick
  // Set on the database thread after a connect and after account changes.
  std::atomic<bool> accountsGuarded_{false};
  bool connecting_ = false;           // loop thread only
  bool loud_ = true;                  // a failed connect is logged; loop thread only
  int loudRetries_ = 0;               // minutes of logged retries left; loop thread only
  mutable std::mutex accountMu_;
  std::string operatorAccount_;                   // guarded by accountMu_
  bool backupPending_ = false;                    // loop thread only
  bool badNameLogged_ = false;                    // loop thread only
  std::function<void(DatabaseSession&)> backup_;  // set once before start
  std::shared_ptr<int> alive_ = std::make_shared<int>(0);
  DatabaseThread thread_;    // stopped first of what follows
  DatabaseHistory history_;  // the recorder's view of thread_
};

}  // namespace lark
