// Settings commands: polling, notification block, event tables, history
// settings, control password, traffic trace, language, test sound.
#include <vector>

#include "core/action_tables.h"
#include "core/event_log.h"
#include "core/language_texts_store.h"
#include "linkserver/link_records.h"
#include "linkserver/link_replies.h"
#include "linkserver/link_requests.h"
#include "core/settings.h"
#include "core/snmp_control.h"
#include "linkserver/data_root.h"
#include "linkserver/user_records.h"
#include "platform/paths.h"

namespace lark {

namespace {

// The settings image (linkserver/link_records.h) starts at frame byte 6.
constexpr size_t kImageOff = 6;

constexpr size_t kNotifyBlockOff = 6;
constexpr size_t kPasswordOff = 6, kPasswordSize = kControlPasswordFieldSize;
constexpr size_t kMonitorOff = 6;
constexpr size_t kMaxEventLogOff = 6;

constexpr const char* kLanguageNames[] = {"English", "Traditional Chinese", "Simplified Chinese",
                                          "Russian"};

CBytes SettingsImage(const LinkRequest& r) { return r.frame.slice(kImageOff, kSettingsImageSize); }

}  // namespace

// ---- 19 ----

void HandleSetPolling(LinkRequest& r, LinkFrameBuilder& reply) {
  CBytes img = SettingsImage(r);
  if (r.sub() != 1 || img.empty() || !r.services.settings) return BuildLinkFailureReply(r, reply);
  ServiceSettings& s = *r.services.settings;
  const PollingImage p = GetPollingImage(img);
  s.snmpPolling = p.snmpPolling;
  s.snmpTimeout = p.snmpTimeout;
  s.serialPolling = p.serialPolling;
  s.serialTimeout = p.serialTimeout;
  s.gprsPolling = p.gprsPolling;
  s.gprsTimeout = p.gprsTimeout;
  // Values that drive timers or divide stay in range.
  SanitizeSettings(s);
  const bool saved = SaveSettings(r);
  if (r.services.pollingChanged) r.services.pollingChanged();
  if (!saved) return BuildLinkFailureReply(r, reply);
  BeginSuccessReply(r, reply);
}

// ---- 20 ----

void HandleNotifySettings(LinkRequest& r, LinkFrameBuilder& reply) {
  if (!r.services.settings) return BuildLinkFailureReply(r, reply);
  const int group = r.sub();
  ServiceSettings& s = *r.services.settings;
  if (group % 2 == 0) {
    std::vector<uint8_t> block(kNotificationBlockSize, 0);
    WriteNotificationGroup(s, group, block);
    BeginSuccessReply(r, reply);
    reply.putBytes(block);
    return;
  }
  CBytes block = r.frame.slice(kNotifyBlockOff, kNotificationBlockSize);
  if (block.empty()) return BuildLinkFailureReply(r, reply);
  const int touched = ReadNotificationGroup(s, group, block);
  if (touched == 0) return BuildLinkFailureReply(r, reply);
  bool saved = true;
  if (r.services.settingsStore) {
    SettingsStore& store = *r.services.settingsStore;
    if (touched & 1) saved = store.SaveEmailList(s) && saved;
    if (touched & 2) saved = store.SaveBroadcastList(s) && saved;
    if (touched & 4) saved = store.SaveSmsPhoneList(s) && saved;
    if (touched & 8) saved = store.SaveContactors(s) && saved;
    if (touched & 16) saved = store.SaveRecipientItems(s) && saved;
  }
  saved = SaveSettings(r) && saved;
  if ((touched & 16) && r.services.recipientsChanged) r.services.recipientsChanged();
  if (!saved) return BuildLinkFailureReply(r, reply);
  BeginSuccessReply(r, reply);
}

// ---- 21 ----

void HandleEventTables(LinkRequest& r, LinkFrameBuilder& reply) {
  const int sub = r.sub();
  if (sub == 30 || sub == 32) return BeginSuccessReply(r, reply);
  if (sub == 31) {
    CBytes img = SettingsImage(r);
    if (img.empty() || !r.services.settings) return BuildLinkFailureReply(r, reply);
    ServiceSettings& s = *r.services.settings;
    const ReactionImage reactions = GetReactionImage(img);
    for (size_t level = 0; level < 3; ++level) {
      s.reactionMasks[level] = reactions.masks[level];
      s.audioInterval[level] = reactions.audioInterval[level];
      s.audioCycle[level] = reactions.audioCycle[level];
    }
    SanitizeSettings(s);
    if (!SaveSettings(r)) return BuildLinkFailureReply(r, reply);
    return BeginSuccessReply(r, reply);
  }
  if (sub == 33) {
    auto value = r.frame.le32(kMaxEventLogOff);
    if (!value || !r.services.settings || !r.services.eventLog) {
      return BuildLinkFailureReply(r, reply);
    }
    // The same limit manager.ini would give at the next start.
    const int32_t maxLines = EventLogLimit(static_cast<int32_t>(*value));
    r.services.eventLog->changeMaxLines(maxLines);
    r.services.settings->maxEventLog = maxLines;
    if (!SaveSettings(r)) return BuildLinkFailureReply(r, reply);
    return BeginSuccessReply(r, reply);
  }
  auto which = ActionFamilyForLinkSub(sub);
  if (!which || !r.services.languages) return BuildLinkFailureReply(r, reply);
  const ActionFamilyInfo& info = ActionFamilyOf(which->family);
  const size_t size = static_cast<size_t>(info.rows) * kActionRowSize;
  if (!which->write) {
    auto tables = r.services.languages->actions();
    if (!tables) return BuildLinkFailureReply(r, reply);
    std::vector<uint8_t> wire = ActionTableToWire(tables->table(which->family));
    wire.resize(size);
    BeginSuccessReply(r, reply);
    reply.putBytes(wire);
    return;
  }
  // The payload must be the whole table: a short one changes nothing.
  CBytes payload = r.frame.slice(6, size);
  if (payload.empty()) return BuildLinkFailureReply(r, reply);
  auto rows = ActionTableFromWire(which->family, payload);
  if (!rows) return BuildLinkFailureReply(r, reply);
  const bool saved = r.services.languages->replaceActionTable(which->family, std::move(*rows));
  if (r.services.actionTablesChanged) r.services.actionTablesChanged();
  if (!saved) return BuildLinkFailureReply(r, reply);
  BeginSuccessReply(r, reply);
}

// ---- 22: history settings; sub 2, the report, in link_requests_report.cpp ----

void HandleHistoryReport(LinkRequest& r, LinkFrameBuilder& reply) {
  if (r.sub() == 2) return HandleReportRequest(r, reply);
  CBytes img = SettingsImage(r);
  if (r.sub() != 1 || img.empty() || !r.services.settings) return BuildLinkFailureReply(r, reply);
  ServiceSettings& s = *r.services.settings;
  const HistoryImage history = GetHistoryImage(img);
  std::string dir = ToSlash(PrintableText(history.directory, kDirectoryMax));
  if (dir.empty()) {
    dir = r.services.installDir;
  } else if (dir != s.historyDirectory) {
    // Downloads read below this folder and the event log is written there.
    if (auto problem = HistoryDirectoryProblem(dir, r.services.stateDir)) {
      if (r.services.eventLog) {
        r.services.eventLog->WriteEventLog(0, kLevelWarning, kSystemEventCode,
                                           "History folder " + dir + " refused: it " + *problem);
      }
      return BuildLinkFailureReply(r, reply);
    }
  }
  s.historyPeriod = history.period;
  s.historyStorage = history.storage;
  s.historyDirectory = dir;
  SanitizeSettings(s);
  const bool saved = SaveSettings(r);
  if (r.services.mapChanged) r.services.mapChanged();
  if (!saved) return BuildLinkFailureReply(r, reply);
  BeginSuccessReply(r, reply);
}

// ---- 24 ----

void HandleControlPassword(LinkRequest& r, LinkFrameBuilder& reply) {
  if (!r.services.settings) return BuildLinkFailureReply(r, reply);
  ServiceSettings& s = *r.services.settings;
  switch (r.sub()) {
    case 0:
      s.controlPasswordEnabled = 1;
      break;
    case 1:
      s.controlPasswordEnabled = 0;
      break;
    case 2: {
      if (!r.frame.has(kPasswordOff, kPasswordSize)) return BuildLinkFailureReply(r, reply);
      s.controlPassword =
          PrintableText(FrameText(r.frame, kPasswordOff, kPasswordSize), kPasswordMax);
      break;
    }
    default:
      return BuildLinkFailureReply(r, reply);
  }
  if (!SaveSettings(r)) return BuildLinkFailureReply(r, reply);
  BeginSuccessReply(r, reply);
}

// ---- 25: the serial traffic trace (subs 0, 1, 4) and the SNMP manager's
// network monitor (subs 2, 3); the reply's byte is the state of the one the
// sub names (2 and above: the network monitor). ----

void HandleTrafficMonitor(LinkRequest& r, LinkFrameBuilder& reply) {
  LinkTrafficControl* t = r.services.traffic;
  SnmpDeviceControl* snmp = r.services.snmp;
  if (t == nullptr) return BuildLinkFailureReply(r, reply);
  switch (r.sub()) {
    case 0:
      if (!t->serialTraceOn() && !t->startSerialTrace(t->serialPortFilter(), 0)) {
        return BuildLinkFailureReply(r, reply);
      }
      break;
    case 1:
      if (t->serialTraceOn()) t->stopSerialTrace();
      break;
    case 4: {
      CBytes m = r.frame.slice(kMonitorOff, kTraceRequestSize);
      if (m.empty()) return BuildLinkFailureReply(r, reply);
      const TraceRequest trace = DecodeTraceRequest(m);
      if (trace.valid == 1) {
        if (trace.start != 0) {
          t->stopSerialTrace();
          if (!t->startSerialTrace(trace.port, trace.periodMinutes))
            return BuildLinkFailureReply(r, reply);
        } else {
          t->stopSerialTrace();
        }
      }
      break;
    }
    case 2:
      if (!snmp || !snmp->startNetworkMonitor()) return BuildLinkFailureReply(r, reply);
      break;
    case 3:
      if (!snmp) return BuildLinkFailureReply(r, reply);
      snmp->stopNetworkMonitor();
      break;
    default:
      return BuildLinkFailureReply(r, reply);
  }
  BeginSuccessReply(r, reply);
  const bool on = r.sub() >= 2 ? snmp && snmp->networkMonitorOn() : t->serialTraceOn();
  reply.putU8(on ? 1 : 0);
}

// ---- 27 ----

void HandleSetLanguage(LinkRequest& r, LinkFrameBuilder& reply) {
  if (!r.services.settings || !r.services.languages) return BuildLinkFailureReply(r, reply);
  const uint8_t index = r.sub();
  if (index < std::size(kLanguageNames)) r.services.settings->language = kLanguageNames[index];
  const bool saved = SaveSettings(r);
  r.services.languages->load(r.services.settings->language);
  if (r.services.actionTablesChanged) r.services.actionTablesChanged();
  if (!saved) return BuildLinkFailureReply(r, reply);
  BeginSuccessReply(r, reply);
}

// ---- 34 ----

void HandleTestSound(LinkRequest& r, LinkFrameBuilder& reply) {
  if (r.services.testSound) r.services.testSound();
  BeginSuccessReply(r, reply);
}

}  // namespace lark
