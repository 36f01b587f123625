#include "service/service_database.h"

#include <future>

#include "common/sql_text.h"
#include "core/device_node.h"
#include "core/device_tree.h"
#include "core/event_log_sink.h"
#include "core/history_family.h"
#include "core/language_texts.h"
#include "core/language_texts_store.h"
#include "core/param_tables.h"
#include "core/settings.h"
#include "platform/paths.h"
#include "records/history_rows.h"

namespace lark {

namespace {

constexpr int kDroppedHistoryIds = 1000;

// A setting's text in a log line: control characters shown as '?'.
std::string PrintableName(std::string_view text) {
  std::string out(text.substr(0, 64));
  for (char& c : out)
    if (static_cast<unsigned char>(c) < 0x20) c = '?';
  return out;
}

// The console's work on the database thread.
LinkDbAnswer Execute(DatabaseSession& s, const LinkDbRequest& q, const WallTime& now,
                     const std::vector<HistoryDevice>& devices, bool* overflow) {
  LinkDbAnswer a;
  OdbcResult r;
  auto fetched = [&](bool ok) {
    a.ok = ok;
    a.text = std::move(r.text);
    *overflow = r.overflow;
  };
  switch (q.work) {
    case LinkDbWork::kSelectOpLog:
      fetched(s.tables.SelectOpLog(q.clause, r));
      break;
    case LinkDbWork::kSelectEvents:
      fetched(s.tables.SelectEvents(q.clause, r));
      break;
    case LinkDbWork::kSelectUsers:
      fetched(s.tables.SelectUsers(q.clause, r));
      break;
    case LinkDbWork::kCheckLogin:
      a.level = s.tables.CheckLogin(q.account, q.password);
      a.ok = a.level >= 0;
      break;
    case LinkDbWork::kUpdatePassword:
      a.ok = s.tables.UpdatePassword(q.account, q.password);
      break;
    case LinkDbWork::kInsertUser:
      a.ok = s.tables.InsertUser({q.account, q.realName, q.password, q.level, q.remark}, now);
      break;
    case LinkDbWork::kUpdateUser:
      a.ok = s.tables.UpdateUser({q.account, q.realName, q.password, q.level, q.remark});
      break;
    case LinkDbWork::kDeleteUser:
      a.ok = s.tables.DeleteUser(q.account);
      break;
    case LinkDbWork::kCreateSchema:
      if (q.onlyWithoutAccounts && s.tables.HasAccounts()) break;
      a.ok = (s.tables.CreateDatabase(now,
                                      [&] {
                                        HistoryRows rows(s.db);
                                        bool all = true;
                                        for (const HistoryDevice& d : devices)
                                          all = rows.createTables(d) && all;
                                        return all;
                                      }) &
              0x7F) == 0;
      break;
    case LinkDbWork::kDropHistory:
      for (int id = 1; id <= kDroppedHistoryIds; ++id) {
        for (const char* family : {"histsnmp_", "histregular_", "histmge_"})
          s.db.exec("drop table " + std::string(family) + std::to_string(id));
      }
      a.ok = true;
      break;
  }
  return a;
}

}  // namespace

ServiceDatabase::ServiceDatabase(EventLoop& loop, const Clock& clock,
                                 const ServiceSettings& settings, DeviceTree& tree,
                                 EventLogSink& log, std::string installDir, SystemEvent systemEvent)
    : loop_(loop),
      clock_(clock),
      settings_(settings),
      tree_(tree),
      log_(log),
      installDir_(std::move(installDir)),
      systemEvent_(std::move(systemEvent)),
      thread_([this](DatabaseNotice n) { onNotice(n); }),
      history_(thread_, clock_,
               DatabaseHistory::Hooks{
                   [this] {
                     auto lock = tree_.readLock();
                     return CountDevices(tree_.root());
                   },
                   [this] {
                     post([this] { systemEvent_(kLevelSerious, kMsgHistoryInsertFailed, false); });
                   },
                   [this](DatabaseSession& s) {
                     if (backup_) backup_(s);
                   }}) {}

void ServiceDatabase::setBackup(std::function<void(DatabaseSession&)> backup) {
  backup_ = std::move(backup);
}

void ServiceDatabase::noteMonthChange() {
  if (enabled() && linkState() != kDbConnected) backupPending_ = true;
}

ServiceDatabase::~ServiceDatabase() { stop(); }

void ServiceDatabase::start() { thread_.start(); }

void ServiceDatabase::stop() { thread_.stop(); }

void ServiceDatabase::post(std::function<void()> task) {
  std::weak_ptr<int> alive = alive_;
  loop_.post([alive, task = std::move(task)] {
    if (alive.lock()) task();
  });
}

DatabaseSource ServiceDatabase::source() const {
  return {settings_.odbcSource, settings_.odbcAccount, settings_.odbcPassword,
          settings_.logTableName, JoinPath(installDir_, "ups.db")};
}

void ServiceDatabase::connectAtStart() {
  enabled_.store(settings_.databaseEnabled != 0, std::memory_order_release);
  if (!enabled() || thread_.linkState() != kDbNotConnected || !tableNameUsable()) return;
  std::promise<std::pair<bool, std::string>> answer;
  thread_.requestConnect(source(), [&answer](bool ok, const std::string& detail) {
    answer.set_value({ok, detail});
  });
  auto [ok, detail] = answer.get_future().get();
  loudRetries_ = ok ? 0 : kLoudRetriesAtStart;
  // At start a success is logged without its popup.
  if (ok) {
    thread_.submit([this](DatabaseSession& s) { noteAccounts(s); });
    systemEvent_(kLevelInformation, kMsgDatabaseConnected, false);
  } else {
    systemEvent_(kLevelSerious, kMsgDatabaseFailed, true);
  }
}

void ServiceDatabase::onMinute() {
  if (thread_.linkState() != kDbConnectFailed || connecting_) return;
  loud_ = loudRetries_ > 0;
  if (loudRetries_ > 0) --loudRetries_;
  thread_.setLinkState(kDbNotConnected);
}

void ServiceDatabase::onSecond() {
  enabled_.store(settings_.databaseEnabled != 0, std::memory_order_release);
  if (enabled() && thread_.linkState() == kDbNotConnected && !connecting_) requestConnect();
}

bool ServiceDatabase::tableNameUsable() {
  if (IsSqlTableName(settings_.logTableName)) {
    badNameLogged_ = false;
    return true;
  }
  if (!badNameLogged_) {
    log_.WriteEventLog(0, kLevelSerious, kSystemEventCode,
                       "Database not connected: the event table name \"" +
                           PrintableName(settings_.logTableName) + "\" is not a plain table name");
  }
  badNameLogged_ = true;
  return false;
}

void ServiceDatabase::requestConnect() {
  if (!tableNameUsable()) return;
  connecting_ = true;
  thread_.requestConnect(source(), [this](bool ok, const std::string& detail) {
    post([this, ok, detail] { onConnected(ok, detail); });
  });
}

void ServiceDatabase::noteAccounts(DatabaseSession& s) {
  accountsGuarded_.store(s.tables.HasAccounts(), std::memory_order_release);
}

void ServiceDatabase::onConnected(bool ok, const std::string&) {
  connecting_ = false;
  if (ok) {
    thread_.submit([this](DatabaseSession& s) { noteAccounts(s); });
    loud_ = true;
    loudRetries_ = 0;
    history_.resetFailures();
    systemEvent_(kLevelInformation, kMsgDatabaseConnected, true);
    if (backupPending_) {
      backupPending_ = false;
      thread_.submit([this](DatabaseSession& s) {
        if (backup_) backup_(s);
      });
    }
  } else if (loud_) {
    systemEvent_(kLevelSerious, kMsgDatabaseFailed, true);
  }
}

void ServiceDatabase::onNotice(DatabaseNotice notice) {
  switch (notice) {
    case DatabaseNotice::kLinkLost:
      post([this] {
        loud_ = true;
        loudRetries_ = kLoudRetriesAfterLoss;
      });
      break;
    case DatabaseNotice::kOutboxDropped:
      // Runs on the thread that logged the row, with no lock held.
      post([this] {
        log_.WriteEventLog(0, kLevelWarning, kSystemEventCode,
                           "Database away too long: the oldest waiting log rows were dropped");
      });
      break;
  }
}

void ServiceDatabase::eventRow(const WallTime& when, int32_t number, uint32_t level, int32_t code,
                               std::string_view text) {
  if (enabled()) thread_.queueEvent(when, number, level, code, text);
}

bool ServiceDatabase::opLogReady() const { return enabled(); }

void ServiceDatabase::opLogRow(uint32_t level, std::string_view text) {
  std::string account;
  {
    std::lock_guard<std::mutex> g(accountMu_);
    account = operatorAccount_;
  }
  thread_.queueOpLog(clock_.now(), account, level, text);
}

void ServiceDatabase::setOperatorAccount(const std::string& account) {
  std::lock_guard<std::mutex> g(accountMu_);
  operatorAccount_ = account;
}

void ServiceDatabase::askReconnect() { thread_.setLinkState(kDbNotConnected); }

void ServiceDatabase::disconnect() {
  thread_.requestDisconnect();
  thread_.setLinkState(kDbNotConnected);
}

void ServiceDatabase::run(LinkDbRequest request, std::function<void(LinkDbAnswer)> done) {
  const WallTime now = clock_.now();
  // The schema's history tables are those of the tree as it is now.
  std::vector<HistoryDevice> devices;
  if (request.work == LinkDbWork::kCreateSchema) {
    auto lock = tree_.readLock();
    for (const TreeMapRow& r : TreeMapRows(tree_.root())) {
      if (r.kind != kNodeGroup)
        devices.push_back({r.objid, static_cast<uint8_t>(r.kind), static_cast<int16_t>(r.commType),
                           static_cast<uint8_t>(r.mibType)});
    }
  }
  thread_.submit([this, request = std::move(request), done = std::move(done), now,
                  devices = std::move(devices)](DatabaseSession& s) {
    bool overflow = false;
    LinkDbAnswer answer = Execute(s, request, now, devices, &overflow);
    if (request.work == LinkDbWork::kInsertUser || request.work == LinkDbWork::kDeleteUser ||
        request.work == LinkDbWork::kCreateSchema)
      noteAccounts(s);
    post([this, done, answer = std::move(answer), overflow] {
      if (overflow) systemEvent_(kLevelWarning, kMsgResultOverflow, false);
      done(answer);
    });
  });
}

void ServiceDatabase::refillTreeMap() {
  if (!enabled() || linkState() != kDbConnected) return;
  std::vector<TreeMapRow> rows;
  {
    auto lock = tree_.readLock();
    rows = TreeMapRows(tree_.root());
  }
  thread_.submit([rows = std::move(rows)](DatabaseSession& s) {
    if (s.tables.ClearTreeMap()) s.tables.InsertTreeMap(rows);
  });
}

ExportPlan MakeExportPlan(const ServiceSettings& settings, const LanguageSnapshot* language,
                          DeviceTree& tree, const WallTime& now) {
  ExportPlan plan;
  // Every export follows the event log's month setting, as it always did.
  BackupMonth(now.year, now.month, settings.upsLogMonths, plan.year, plan.month);
  plan.logTable = settings.logTableName;
  plan.upsLogDir = settings.upsLogBackupDir;
  plan.opLogDir = settings.opLogBackupDir;
  plan.historyDir = settings.historyBackupDir;
  plan.upsLogDelete = settings.upsLogDelete != 0;
  plan.opLogDelete = settings.opLogDelete != 0;
  plan.historyDelete = settings.historyDelete != 0;
  const LevelNames names = language ? language->texts.levelNames : EnglishLevelNames();
  for (size_t i = 0; i < plan.levelNames.size(); ++i) plan.levelNames[i] = names[i];
  struct FamilyTitles {
    std::string_view family;
    ParamFamily params;
  };
  static constexpr FamilyTitles kTitles[] = {
      {"snmp", ParamFamily::Snmpv4},
      {"regular", ParamFamily::Regular},
      {"gprs", ParamFamily::Regular},
      {"mge", ParamFamily::Mge},
      {"pw", ParamFamily::Pw},
      {"inverter", ParamFamily::Inverter},
      {"sensor", ParamFamily::Sensor},
      {"meter", ParamFamily::Meter},
      {"metergrp", ParamFamily::Metergrp},
  };
  std::function<void(const DeviceNode&)> walk = [&](const DeviceNode& node) {
    if (node.isGroup()) {
      for (const auto& child : node.children()) walk(*child);
      return;
    }
    const HistoryLayout layout = HistoryLayoutOf(node.nodeKind(), node.commType(), node.mibType());
    if (layout.family.empty()) return;
    ExportPlan::Device d{node.id(), node.title(), std::string(layout.family), {}};
    for (const FamilyTitles& t : kTitles) {
      if (t.family != layout.family) continue;
      const int columns = HistoryColumnCount(layout.family);
      for (int c = 0; c < columns; ++c) {
        d.titles.emplace_back(language ? language->params.table(t.params).title(c)
                                       : std::string_view());
      }
    }
    plan.devices.push_back(std::move(d));
  };
  auto lock = tree.readLock();
  walk(tree.root());
  return plan;
}

}  // namespace lark
