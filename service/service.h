// The Larkcore service: one context object that owns every subsystem, runs
// the start-up steps in their fixed order, the loop's timers, and the stop.
#pragma once
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>

#include "core/action_tables.h"
#include "core/device_tree.h"
#include "core/event_log.h"
#include "core/language_texts_store.h"
#include "core/map_file.h"
#include "core/settings.h"
#include "core/tray_handover.h"
#include "devices/ascii_ups.h"
#include "devices/binary/binary_ups.h"
#include "devices/ups_command_fanout.h"
#include "core/schedule_runner.h"
#include "devices/modbus/modbus_rtu.h"
#include "devices/gprs/gprs_link.h"
#include "devices/plc/plc_engine.h"
#include "devices/port_table.h"
#include "devices/serial_port.h"
#include "devices/serial_trace.h"
#include "devices/snmp/snmp_manager.h"
#include "devices/snmp_set_sender.h"
#include "devices/ups_event_log.h"
#include "platform/clock.h"
#include "platform/event_loop.h"
#include "platform/key_store.h"
#include "records/alarm_detector.h"
#include "records/history_database.h"
#include "records/history_recorder.h"
#include "records/mail_sender.h"
#include "records/sms_sender.h"
#include "records/outgoing_messages.h"
#include "records/report_database.h"
#include "records/report_writer.h"

namespace lark {

class StatusServer;
class ServiceDatabase;

// Timer ids of the service's loop.
enum ServiceTimer : uint32_t {
  kTimerSecond = 1025,        // clock-driven work, every second
  kTimerCommandQueue = 1028,  // command queue dispatch, every 100 ms
  kTimerTrace = 1034,         // serial trace minutes, every 60 s while the trace is on
  kTimerStatusMemory = 1035,  // shared-memory status exchange, every 100 ms
  kTimerDelayedSets = 1036,   // SNMP SetRequests sent after a pause, once
};

struct ServiceOptions {
  std::string installDir;
  uint16_t linkTcpPort = 8900;
  uint16_t linkUdpPort = 9000;
  uint16_t gprsTcpPort = kGprsDefaultPort;
  // Lines of the service's own log (stderr by default).
  std::function<void(std::string_view)> log;
  // Routine notes that say nothing is wrong (identifications, a line without
  // modem lines): by default on stderr only when LARK_TRACE is set.
  std::function<void(std::string_view)> trace;
};

class Service {
 public:
  Service(EventLoop& loop, Clock& clock, KeyStore& keys, ServiceOptions options);
  ~Service();
  Service(const Service&) = delete;
  Service& operator=(const Service&) = delete;

  // The start-up steps; false with `error` set when the service cannot run.
  bool start(std::string* error);
  // The stop steps, in their order; safe to call once after start().
  void stop();

  // The timers' work, callable directly by tests.
  void onSecondTimer();
  void onCommandQueueTimer();
  void onTraceTimer();
  void onStatusMemoryTimer();

  DeviceTree& tree() { return tree_; }
  ServiceSettings& settings() { return settings_; }
  EventLog& eventLog() { return eventLog_; }
  MapStore& maps() { return maps_; }
  LanguageTables& languages() { return languages_; }
  TrayHandOver& tray() { return tray_; }
  PortTable& ports() { return ports_; }
  SnmpManager& snmp() { return *snmp_; }
  HistoryRecorder& history() { return *history_; }
  GprsLink& gprs() { return *gprs_; }
  ServiceDatabase& database() { return *database_; }
  ReportWriter& reports() { return *reports_; }
  // Command 22 sub 2 after its checks: a report of the tree as it stands
  // starts on its own thread; false while one runs.
  bool startReport(const ReportPeriod& period);
  const std::string& installDir() const { return options_.installDir; }

 private:
  struct Link;  // the console link server and what it needs
  class SerialPauser;
  class SerialEndpoints;

  void log(std::string_view text) const;
  // One Event.log line an hour for each link met below a trusted folder.
  void noteLinkRefused(const std::string& link);
  void systemEvent(uint32_t level, int message);
  void loadEverything();  // the hidden window's creation
  void reloadActionTables();
  void wireDatabase();
  std::string stopMonitoring();
  void reloadMap(const std::string& file);
  void afterMapOpened();
  SnmpPollSettings snmpSettings() const;
  void secondTimerWork();  // the one-second work, run under the exception guard
  void armDelayedSets(uint32_t ms);  // timer 1036 for the fan-out's delayed SetRequests

  EventLoop& loop_;
  Clock& clock_;
  KeyStore& keys_;
  ServiceOptions options_;

  ServiceSettings settings_;
  SettingsStore settingsStore_;
  LanguageTables languages_;
  ActionTables actions_;  // the detector's stable copy, replaced whole on reload
  EventLog eventLog_;

  DeviceTree tree_;
  SerialTrace trace_;
  TermiosPortOpener opener_;
  UpsEventLogBuffer upsEventLog_;
  AsciiUpsEngine ascii_;
  BinaryUpsEngine binary_;
  ModbusRtuEngine modbus_;
  ModbusAsciiPlcEngine plc_;
  PortTable ports_;
  std::unique_ptr<SnmpManager> snmp_;
  std::unique_ptr<SerialPauser> pauser_;
  std::unique_ptr<SerialEndpoints> endpoints_;
  std::unique_ptr<UpsCommandFanOut> commands_;  // the UPS command fan-out
  std::unique_ptr<SnmpTableSetSender> snmpSets_;  // its SetRequests, through the SNMP socket
  ScheduleRunner schedules_;
  MapStore maps_;

  OutgoingMessages outgoing_;
  MailSender mail_;
  SmsSender sms_;
  AlarmDetector detector_;
  TrayHandOver tray_;
  std::unique_ptr<Link> link_;
  std::unique_ptr<StatusServer> status_;  // made by the start-up step
  std::unique_ptr<ServiceDatabase> database_;  // before the recorder, which uses it
  std::unique_ptr<HistoryRecorder> history_;
  std::unique_ptr<GprsLink> gprs_;
  std::unique_ptr<DatabaseReports> reportDatabase_;  // the report's selects
  std::unique_ptr<ReportWriter> reports_;

  WallTime lastTick_{};
  uint32_t secondTick_ = 0;
  int imageListCounter_ = 0;
  bool started_ = false;
  bool stopped_ = false;
  std::map<std::string, uint32_t> linkRefusals_;  // link -> tick of its line; loop thread only
  std::shared_ptr<int> alive_ = std::make_shared<int>(0);
};

// The program: single-instance lock, signals, the loop, exit code.
int RunLarkcore();

}  // namespace lark
