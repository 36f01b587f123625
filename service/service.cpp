#include "service/service.h"

#include <signal.h>
#include <stdio.h>
#include <time.h>

#include <cstdlib>
#include <cstring>
#include <functional>

#include "linkserver/command_queue.h"
#include "linkserver/control_lock.h"
#include "linkserver/data_root.h"
#include "core/group_totals.h"
#include "core/language_texts.h"
#include "linkserver/link_commands.h"
#include "linkserver/link_server.h"
#include "linkserver/status_server.h"
#include "core/tree_action_levels.h"
#include "core/tree_dump.h"
#include "platform/folder_walk.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "records/audio_handover.h"
#include "records/history_exception.h"
#include "records/history_files.h"
#include "records/popup.h"
#include "service/service_database.h"
#include "service/systemd_notify.h"

namespace lark {

// Pauses the serial and SNMP poll threads around structural tree changes.
class Service::SerialPauser final : public WorkerPauser {
 public:
  SerialPauser(PortTable& ports, SnmpManager& snmp) : ports_(ports), snmp_(snmp) {}
  void pauseAll() override {
    ports_.PauseSerialThreads();
    snmp_.thread().pause();
  }
  void resumeAll() override {
    snmp_.thread().resume();
    ports_.ResumeSerialThreads();
  }

 private:
  PortTable& ports_;
  SnmpManager& snmp_;
};

// A serial device leaving the tree gives up its port slot; SNMP devices
// enter and leave the SNMP device table (the edit has paused its thread).
class Service::SerialEndpoints final : public TreeEndpoints {
 public:
  SerialEndpoints(PortTable& ports, SnmpManager& snmp) : ports_(ports), snmp_(snmp) {}
  void detachSerialDevice(DeviceNode& node) override { ports_.DetachPortDevice(node, false); }
  bool addSnmpDevice(DeviceNode& node) override { return snmp_.table().AddSnmpDevice(node); }
  void removeSnmpDevice(DeviceNode& node) override { snmp_.table().RemoveSnmpDevice(node.id()); }

 private:
  PortTable& ports_;
  SnmpManager& snmp_;
};

// The console link: its command queues, the control lock, the server and
// what the request handlers reach of the service.
struct Service::Link {
  // The serial traffic trace as the console switches it; its minute timer
  // runs on the loop only while the trace is timed.
  class Traffic final : public LinkTrafficControl {
   public:
    explicit Traffic(Service& service) : service_(service) {}
    bool serialTraceOn() const override { return service_.trace_.isOn(); }
    uint32_t serialPortFilter() const override { return service_.trace_.portFilter(); }
    bool startSerialTrace(uint32_t portFilter, int32_t minutes) override {
      service_.trace_.start(portFilter, minutes);
      if (minutes <= 0) {
        service_.loop_.killTimer(kTimerTrace);
        return true;
      }
      if (service_.loop_.setTimer(kTimerTrace, 60000, [s = &service_] { s->onTraceTimer(); })) {
        return true;
      }
      service_.trace_.stop();
      return false;
    }
    void stopSerialTrace() override {
      service_.trace_.stop();
      service_.loop_.killTimer(kTimerTrace);
    }

   private:
    Service& service_;
  };

  CommandQueues queues;
  ControlLock lock;
  LinkServices services;
  Traffic traffic;
  LinkServer server;

  Link(Service& service, EventLoop& loop, Clock& clock, EventLogSink& log, DeviceTree& tree,
       const ServiceOptions& options)
      : lock(clock, queues),
        services(lock),
        traffic(service),
        server(loop, clock, log, queues, services, ServerOptions(options)) {
    server.setDeviceTree(&tree);
    server.setSystemTexts([&service](int index) {
      auto snap = service.languages().current();
      return snap ? std::string(snap->texts.systemMessage(index)) : std::string();
    });
    wireServices(service, clock, tree);
  }
  void wireServices(Service& service, Clock& clock, DeviceTree& tree) {
    LinkServices& s = services;
    s.installDir = service.options_.installDir;
    s.stateDir = service.keys_.dir();
    s.tree = &tree;
    s.maps = &service.maps_;
    s.settingsStore = &service.settingsStore_;
    s.settings = &service.settings_;
    s.eventLog = &service.eventLog_;
    s.languages = &service.languages_;
    s.clock = &clock;
    s.deviceCommands = service.commands_.get();
    s.upsControl = service.commands_.get();
    s.traffic = &traffic;
    s.snmp = service.snmp_.get();
    s.slotOpened = [this](int slot) { ResetLinkSlot(services, slot); };
    s.slotClosed = [this](int slot) { ResetLinkSlot(services, slot); };
    s.mapChanged = [&service] {
      service.afterMapOpened();
      service.eventLog_.countLines();
    };
    s.pollingChanged = [&service] { service.afterMapOpened(); };
    s.actionTablesChanged = [&service] { service.reloadActionTables(); };
    // New recipient items keep the outgoing slot that carries their name;
    // every other slot is given back.
    s.recipientsChanged = [&service] {
      service.outgoing_.withLock(
          [&service](OutgoingState& st) { RebindRecipientSlots(st, service.settings_.recipients); });
    };
    s.testSound = [&service] { HandOverSound(service.keys_, "Audio\\testing-1.wav"); };
    s.upsEventLog = [&service] {
      auto bytes = service.upsEventLog_.copyOut();
      return std::vector<uint8_t>(bytes.begin(), bytes.end());
    };
    s.startReport = [&service](const ReportPeriod& period) { return service.startReport(period); };
  }
  static LinkServerOptions ServerOptions(const ServiceOptions& options) {
    LinkServerOptions o;
    o.tcpPort = options.linkTcpPort;
    o.udpPort = options.linkUdpPort;
    return o;
  }
  void initQueues() {
    queues.clearAll();
    lock.reset();
  }
  bool start() { return server.start(); }
  void stop() { server.stop(); }
  void tick() { server.tick(); }
  void dispatchCommandQueue() { server.dispatchCommandQueue(); }
  void resetControlLock() { lock.reset(); }
};

namespace {

void StderrLog(std::string_view text) {
  time_t now = time(nullptr);
  struct tm tm;
  localtime_r(&now, &tm);
  char stamp[32];
  strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &tm);
  fprintf(stderr, "%s Larkcore: %.*s\n", stamp, static_cast<int>(text.size()), text.data());
}

}  // namespace

Service::Service(EventLoop& loop, Clock& clock, KeyStore& keys, ServiceOptions options)
    : loop_(loop),
      clock_(clock),
      keys_(keys),
      options_(std::move(options)),
      settingsStore_(options_.installDir, &eventLog_),
      languages_(options_.installDir),
      eventLog_(clock_, [this] { return languages_.levelNames(); }),
      trace_(clock_, options_.installDir),
      opener_(ComPortResolver{{}, DefaultSerialLinkDir(options_.installDir)},
              [this](std::string_view t) { log(t); }),
      ascii_(upsEventLog_, [this](std::string_view t) { log(t); }),
      binary_(upsEventLog_, [this](std::string_view t) { log(t); }),
      modbus_(clock_, [this](std::string_view t) { log(t); }),
      plc_([this](std::string_view t) { log(t); }),
      ports_(opener_, &trace_, [this](std::string_view t) { log(t); }),
      snmp_(std::make_unique<SnmpManager>(tree_, clock_, [this] {
        SnmpManagerOptions o;
        o.installDir = options_.installDir;
        o.hooks.eventLog = &eventLog_;
        o.hooks.serviceLog = [this](std::string_view t) { log(t); };
        o.hooks.updateGroupTotals = UpdateGroupTotals;
        o.hooks.socketFailed = [this] { systemEvent(kLevelInformation, kMsgSnmpSocketFailed); };
        return o;
      }())),
      pauser_(std::make_unique<SerialPauser>(ports_, *snmp_)),
      endpoints_(std::make_unique<SerialEndpoints>(ports_, *snmp_)),
      commands_(std::make_unique<UpsCommandFanOut>(ports_, tree_, clock_,
                                                   [this](uint32_t ms) { armDelayedSets(ms); })),
      schedules_(eventLog_,
                 [this](int n) {
                   auto snap = languages_.current();
                   return snap ? std::string(snap->texts.commonText(n)) : std::string();
                 }),
      maps_(options_.installDir, tree_, eventLog_),
      mail_(outgoing_, eventLog_, clock_, MailTiming{.port = SmtpPortFromEnvironment()}),
      sms_(outgoing_, eventLog_, clock_, options_.installDir,
           DefaultSerialLinkDir(options_.installDir)),
      detector_(settings_, actions_, outgoing_, eventLog_, clock_,
                AlarmReactionSinks{[this](std::string_view text) {
                                     LaunchPopup(text, PopupTargetsFrom(settings_.broadcastList),
                                                 options_.installDir, clock_, Spawn);
                                   },
                                   [this](std::string_view file) { HandOverSound(keys_, file); }}),
      tray_(keys_, TrayHooks{[this] { return stopMonitoring(); },
                             [this](const std::string& file) { reloadMap(file); }}) {
  if (!options_.log) options_.log = StderrLog;
  if (!options_.trace) {
    const char* on = std::getenv("LARK_TRACE");
    if (on && *on) {
      options_.trace = StderrLog;
    } else {
      options_.trace = [](std::string_view) {};
    }
  }
  const auto trace = [this](std::string_view t) { options_.trace(t); };
  opener_.setTraceLog(trace);
  // Met on any thread, often under the event log's own lock: the line is
  // written later, on the loop.
  std::weak_ptr<int> alive = alive_;
  SetLinkRefusedHook([this, alive](const std::string& link) {
    loop_.post([this, alive, link] {
      if (alive.lock()) noteLinkRefused(link);
    });
  });
  ascii_.setTraceLog(trace);
  binary_.setTraceLog(trace);
  modbus_.setTraceLog(trace);
  eventLog_.setProblemLog([this](std::string_view t) { log(t); });
  ports_.setEngine(kCommAscii, &ascii_);
  ports_.setEngine(kCommThreePhase, &binary_);
  for (int16_t ct : {kCommModbusUps, kCommModbusTrv5200, kCommModbus9315, kCommInverter,
                     kCommSensor, kCommMeter}) {
    ports_.setEngine(static_cast<uint8_t>(ct), &modbus_);
  }
  ports_.setEngine(kCommPlc, &plc_);
  tree_.setWorkerPauser(*pauser_);
  tree_.setEndpoints(*endpoints_);
  maps_.hooks().attachSerialDevice = [this](DeviceNode& node) {
    ports_.AttachPortDevice(node, false);
  };
  maps_.hooks().afterOpen = [this](DeviceTree& tree) {
    FindNextScheduledActions(tree.root(), clock_.now());
  };
  maps_.hooks().stopRequested = [this] {
    if (!loop_.stopSignalPending()) return false;
    log("stop requested: the map is not read further");
    return true;
  };
  link_ = std::make_unique<Link>(*this, loop_, clock_, eventLog_, tree_, options_);
  wireDatabase();
  history_ = std::make_unique<HistoryRecorder>(tree_, clock_, eventLog_, database_->history());
  reportDatabase_ = std::make_unique<DatabaseReports>(database_->thread());
  reports_ = std::make_unique<ReportWriter>(*reportDatabase_);
  gprs_ = std::make_unique<GprsLink>(loop_, clock_, tree_, eventLog_,
                                     [this](std::string_view t) { log(t); },
                                     GprsLinkOptions{options_.gprsTcpPort, kGprsRoundMs});
}

Service::~Service() {
  SetLinkRefusedHook({});
  stop();
  // The database goes first: nothing may reach it through the hooks after.
  eventLog_.setDatabaseHook({});
  languages_.setOperatorLogHooks({}, {});
  link_->services.database = nullptr;
}

void Service::log(std::string_view text) const { options_.log(text); }

void Service::noteLinkRefused(const std::string& link) {
  constexpr uint32_t kHourMs = 3600 * 1000;
  const uint32_t now = clock_.tickMs();
  auto [at, fresh] = linkRefusals_.try_emplace(link, now);
  if (!fresh && TickElapsed(now, at->second) < kHourMs) return;
  at->second = now;
  const std::string line = "Link refused: " + link + " is a link, nothing is written through it";
  log(line);  // (the event log itself may lie behind the link)
  eventLog_.WriteEventLog(0, kLevelWarning, kSystemEventCode, line);
}

void Service::systemEvent(uint32_t level, int message) {
  auto snap = languages_.current();
  std::string_view text = snap ? snap->texts.systemMessage(message) : std::string_view();
  // An empty language text silences the line.
  if (!text.empty()) eventLog_.WriteEventLog(0, level, kSystemEventCode, text);
}

// The database thread, the log hooks that feed its rows, and the consoles'
// requests.
void Service::wireDatabase() {
  database_ = std::make_unique<ServiceDatabase>(
      loop_, clock_, settings_, tree_, eventLog_, options_.installDir,
      [this](uint32_t level, int message, bool popup) {
        systemEvent(level, message);
        auto snap = languages_.current();
        std::string_view text = snap ? snap->texts.systemMessage(message) : std::string_view();
        if (popup && !text.empty())
          LaunchPopup(text, PopupTargetsFrom(settings_.broadcastList), options_.installDir, clock_,
                      Spawn);
      });
  ServiceDatabase* db = database_.get();
  // The monthly backup is planned on the database thread from the settings,
  // the parameter titles and the tree as they are then.
  db->setBackup([this](DatabaseSession& s) {
    std::vector<std::string> problems;
    const ExportPlan plan =
        MakeExportPlan(settings_, languages_.current().get(), tree_, clock_.now());
    if (!ExportLogs(s.db, plan, problems))
      eventLog_.WriteEventLog(0, kLevelWarning, kSystemEventCode,
                              "Backup of " + std::to_string(plan.year) + "-" +
                                  std::to_string(plan.month) + " incomplete, rows kept: " +
                                  problems.front());
  });
  eventLog_.setDatabaseHook([db](const WallTime& when, int32_t number, uint32_t level,
                                 int32_t code, std::string_view text) {
    db->eventRow(when, number, level, code, text);
  });
  languages_.setOperatorLogHooks([db] { return db->opLogReady(); },
                                 [db](uint32_t level, std::string_view text) {
                                   db->opLogRow(level, text);
                                 });
  link_->services.database = db;
}

void Service::reloadActionTables() { actions_ = *languages_.actions(); }

// What the hidden window's creation did: tables, settings and the map.
void Service::loadEverything() {
  Tree_ResetRoot(tree_);
  settingsStore_.LoadAll(settings_);
  opener_.setPortPaths(settings_.serialPortPaths);
  eventLog_.setMaxLines(settings_.maxEventLog);
  for (const std::string& problem : languages_.load(settings_.language)) log(problem);
  reloadActionTables();
  SaveImageList(options_.installDir);
  std::string name = settings_.autoLoadMap;
  maps_.OpenMapFile(name);
  afterMapOpened();
  // Temp files of saves cut short by a kill, in the folders we save to.
  for (const std::string& dir :
       {options_.installDir, JoinPath(options_.installDir, "Images"), settings_.historyDirectory,
        JoinPath(settings_.historyDirectory, maps_.currentMapName())}) {
    RemoveStaleTempFiles(dir);
  }
  lastTick_ = clock_.now();
  // The first tick then handles a minute boundary, so schedules run at once.
  lastTick_.minute = 0xFFFF;
}

bool Service::startReport(const ReportPeriod& period) {
  if (reports_->running()) return false;
  return reports_->start(MakeReportJob(tree_, languages_, *history_->settings(), period,
                                      options_.installDir,
                                      [this] { return eventLog_.readContents(); }));
}

void Service::afterMapOpened() {
  TrustSettingsFolders(settings_, options_.installDir);
  eventLog_.setPath(settings_.historyDirectory, maps_.currentMapName());
  // Written here, where the event log has the map's folder: while the map
  // loads it has none yet.
  if (const int refused = maps_.takeUnmonitoredCount(); refused > 0) {
    eventLog_.WriteEventLog(0, kLevelWarning, kSystemEventCode,
                            std::to_string(refused) +
                                " SNMP devices are not monitored: the network device table "
                                "is full (" +
                                std::to_string(kSnmpTableCapacity) + ") or has their address");
  }
  modbus_.setIlluminationMin(settings_.illuminationMin);
  ports_.setConfig(SerialPollConfig{static_cast<uint32_t>(settings_.serialPolling),
                                    static_cast<uint32_t>(settings_.serialTimeout) * 1000u});
  history_->publish(HistorySettings{settings_.historyPeriod, settings_.historyStorage,
                                    settings_.historyDirectory, maps_.currentMapName(),
                                    settings_.databaseEnabled != 0});
  snmp_->table().setSettings(snmpSettings());
  snmp_->resetResolutionPeriod();
}

SnmpPollSettings Service::snmpSettings() const {
  return SnmpPollSettings{settings_.snmpPolling, settings_.snmpTimeout, settings_.illuminationMin};
}

namespace {

// One start-up step. A step without work stands for a subsystem that is not
// built yet: the sequence keeps its place and its order.
struct StartStep {
  const char* name;
  std::function<bool()> run;
};

}  // namespace

bool Service::start(std::string* error) {
  if (started_) return true;
  if (!MakeDirs(options_.installDir)) {
    *error = "cannot create the install folder " + options_.installDir;
    return false;
  }
  auto done = [](auto f) {
    return [f] {
      f();
      return true;
    };
  };
  const StartStep steps[] = {
      {"database ownership token", done([this] { database_->start(); })},
      {"alarm repeat counters", done([this] { detector_.clearRepeatCounters(); })},
      {"outgoing message slots",
       done([this] { outgoing_.withLock([](OutgoingState& s) { ClearOutgoingSlots(s); }); })},
      {"audio and inverter values", done([this] {
         ResetAudioSlots(keys_);
         InitInverterValues(keys_);
       })},
      {"tray hand-over key", done([this] { tray_.start(); })},
      {"command queues and control lock", done([this] { link_->initQueues(); })},
      {"SNMP device table", done([this] { snmp_->table().ClearSnmpDeviceTable(); })},
      // What the hidden window's creation loaded: tree, settings, texts, map.
      {"settings, tables and map", done([this] { loadEverything(); })},
      {"database connection", done([this] { database_->connectAtStart(); })},
      {"start-up line and event log count", done([this] {
         systemEvent(kLevelInformation, kMsgStartup);
         eventLog_.countLines();
       })},
      {"status shared memory", done([this] {
         status_ = std::make_unique<StatusServer>(
             clock_, tree_, [this](std::string_view t) { log(t); }, StatusServerOptions{},
             [this](std::string_view t) {
               eventLog_.WriteEventLog(0, kLevelWarning, kSystemEventCode, t);
               log(t);
             });
         status_->ResetStatusSharedMemory();
       })},
      {"timers 1025, 1028 and 1035",
       [this] {
         return loop_.setTimer(kTimerSecond, 1000, [this] { onSecondTimer(); }) &&
                loop_.setTimer(kTimerCommandQueue, 100, [this] { onCommandQueueTimer(); }) &&
                loop_.setTimer(kTimerStatusMemory, 100, [this] { onStatusMemoryTimer(); });
       }},
      {"SNMP start-up", done([this] { snmp_->table().setSettings(snmpSettings()); })},
      // A socket that cannot open now is retried by the one-second pass.
      {"console link listeners", done([this] {
         if (!link_->start()) log("the console link could not open every socket; retrying");
       })},
      // 1000 stations need descriptors; a port that cannot open now is
      // retried by the one-second check.
      {"GPRS listener", done([this] {
         RaiseOpenFileLimit();
         gprs_->setTimes(settings_.gprsPolling, settings_.gprsTimeout);
         if (!gprs_->OpenGprsListener()) log("the GPRS listener could not open; retrying");
       })},
      // A socket that cannot open is reported once; the thread retries.
      {"SNMP socket", done([this] { snmp_->openSocket(); })},
      {"serial poll threads A, B and C", done([this] { ports_.start(); })},
      {"SNMP poll thread", done([this] { snmp_->startThread(); })},
      {"SNMP UPS commands", done([this] {
         snmpSets_ = std::make_unique<SnmpTableSetSender>(snmp_->table());
         commands_->setSnmpSender(snmpSets_.get());
       })},
      {"history recorder thread", done([this] { history_->start(); })},
      {"mail thread", done([this] {
         mail_.setSettings(MailSettingsFrom(settings_));
         mail_.start();
       })},
      {"GPRS thread", done([this] { gprs_->startThread(); })},
  };
  for (const StartStep& step : steps) {
    if (step.run && !step.run()) {
      *error = std::string("start-up step failed: ") + step.name;
      return false;
    }
  }
  started_ = true;
  return true;
}

void Service::stop() {
  if (!started_ || stopped_) return;
  stopped_ = true;
  // The senders work on copies of the settings: stop them before anything
  // they could still be reading goes.
  mail_.stop();
  sms_.stop();
  outgoing_.withLock([](OutgoingState& s) {
    s.reportBody.clear();
    s.reportPending = false;
  });
  systemEvent(kLevelInformation, kMsgServiceStopping);
  reports_->stop();
  ports_.StopSerialThreads();
  snmp_->stop();
  history_->stop();
  gprs_->stop();
  link_->stop();
  {
    DeviceTree::StructuralEdit edit(tree_);
    Tree_FreeAll(tree_);
  }
  tray_.finish();
  loop_.killTimer(kTimerSecond);
  loop_.killTimer(kTimerCommandQueue);
  loop_.killTimer(kTimerStatusMemory);
  loop_.killTimer(kTimerTrace);
  loop_.killTimer(kTimerDelayedSets);
  if (status_) status_->CloseStatusSharedMemory();
  database_->stop();  // after the last log line, which it stores
}

// The one-second work, in its fixed order. Steps of subsystems not built yet
// (schedules) keep their place as comments.
void Service::onSecondTimer() {
  // An exception skips the rest of this tick only; the loop does not sleep.
  try {
    secondTimerWork();
  } catch (...) {
    ReportHistoryException(eventLog_, database_->history(), kCppExceptionCode,
                           kPlaceSecondTimer);
  }
}

void Service::secondTimerWork() {
  WallTime now = clock_.now();
  if (now.minute != lastTick_.minute) {
    // The boundary forced at start-up is neither a day change nor a full
    // hour: the clock goes to the devices at the next full hour.
    const bool real = lastTick_.minute != 0xFFFF;
    const bool dayChanged = real && now.day != lastTick_.day;
    const bool monthChanged = real && now.month != lastTick_.month;
    if (dayChanged) {
      // The daily values themselves are reset by the history thread.
      int32_t sensorAverage, inverterSum;
      {
        auto lock = tree_.readLock();
        sensorAverage = tree_.root().groupTotal(GroupTotal::kA0);
        inverterSum = tree_.root().groupTotal(GroupTotal::kS1);
      }
      ResetPresentSnapshot(options_.installDir, now, sensorAverage, inverterSum);
    }
    database_->onMinute();
    if (real && now.minute == 0) {
      // One pause of the pollers for the whole walk, not one per device.
      ports_.PauseSerialThreads();
      {
        auto lock = tree_.readLock();
        Tree_PushDateTime(tree_.root(), now, *commands_);
      }
      ports_.ResumeSerialThreads();
    }
    // Schedules: next actions, then run them.
    {
      auto lock = tree_.readLock();
      schedules_.onMinute(tree_.root(), now, *commands_);
    }
    if (dayChanged) history_->dayChanged.store(true);
    if (monthChanged) history_->monthChanged.store(true);
    if (monthChanged) database_->noteMonthChange();
    lastTick_ = clock_.now();
  }
  tray_.onSecondTick();
  WriteInverterValues(keys_, [this] {
    auto lock = tree_.readLock();
    return InverterSummary(tree_.root());
  }());
  detector_.onSecondTick();
  database_->onSecond();
  if (secondTick_ % 2 == 0) {
    auto lock = tree_.readLock();
    Tree_RunCountdowns(tree_.root(), ActionTablesLevelSource(actions_), *commands_);
    detector_.scan(tree_.root());
    // SMS: send queue 0, then queue 1; the modem work runs on the SMS worker.
    sms_.setSettings(SmsSettingsFrom(settings_));
    sms_.SendSmsMessages(0);
    sms_.SendSmsMessages(1);
  }
  // The mail thread works on a copy of what a console may have changed.
  mail_.setSettings(MailSettingsFrom(settings_));
  ++secondTick_;
  if (tray_.monitoring()) {
    link_->tick();
    gprs_->setTimes(settings_.gprsPolling, settings_.gprsTimeout);
    gprs_->CheckGprsTimeouts();
  }
  ReapChildren();
  if (++imageListCounter_ >= 60) {
    imageListCounter_ = 0;
    SaveImageList(options_.installDir);
  }
}

// The second SetRequest of an SNMP shutdown-and-restart, after its pause.
void Service::armDelayedSets(uint32_t ms) {
  loop_.setTimer(kTimerDelayedSets, ms, [this] {
    loop_.killTimer(kTimerDelayedSets);
    commands_->runDelayed();
  });
}

void Service::onCommandQueueTimer() { link_->dispatchCommandQueue(); }

void Service::onTraceTimer() {
  trace_.minuteTick();
  if (!trace_.isOn()) loop_.killTimer(kTimerTrace);
}

void Service::onStatusMemoryTimer() {
  if (status_) status_->step();
}

std::string Service::stopMonitoring() {
  link_->stop();
  std::string name = maps_.currentMapName();
  {
    DeviceTree::StructuralEdit edit(tree_);
    Tree_ClearAll(tree_);
  }
  std::string empty;
  maps_.OpenMapFile(empty);
  afterMapOpened();
  link_->resetControlLock();
  if (trace_.isOn()) {
    trace_.stop();
    loop_.killTimer(kTimerTrace);
  }
  return name == kUntitledMap ? std::string() : name;
}

void Service::reloadMap(const std::string& file) {
  {
    DeviceTree::StructuralEdit edit(tree_);
    Tree_ClearAll(tree_);
  }
  std::string name = file;
  maps_.OpenMapFile(name);
  afterMapOpened();
}

int RunLarkcore() {
  signal(SIGPIPE, SIG_IGN);
  KeyStore keys(KeyStore::DefaultDir());
  std::string installDir = InstallDir(keys);
  if (!MakeDirs(installDir)) {
    fprintf(stderr, "Larkcore: cannot create the install folder %s\n", installDir.c_str());
    return 1;
  }
  InstanceLock instance;
  std::string holder;
  if (!instance.acquire(JoinPath(installDir, "Larkcore.lock"), &holder)) {
    if (!instance.heldElsewhere()) {
      fprintf(stderr, "Larkcore: %s\n", holder.c_str());
      return 1;
    }
    fprintf(stderr, "Larkcore: another Larkcore (%s) already runs on %s\n", holder.c_str(),
            installDir.c_str());
    return 1;
  }
  EventLoop loop;
  SystemClock clock;
  // Block the stop signals before any worker thread exists, so they all
  // inherit the mask and the loop alone receives them.
  loop.watchStopSignals([&loop](int) { loop.quit(0); });
  ServiceOptions options;
  options.installDir = installDir;
  Service service(loop, clock, keys, options);
  std::string error;
  if (!service.start(&error)) {
    fprintf(stderr, "Larkcore: start-up failed: %s\n", error.c_str());
    return 1;
  }
  StderrLog("running on " + installDir);
  NotifySystemd("READY=1");
  int code = loop.run();
  NotifySystemd("STOPPING=1");
  service.stop();
  StderrLog("stopped");
  return code;
}

}  // namespace lark
