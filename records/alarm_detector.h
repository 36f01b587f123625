// The alarm change detector: every 2 s it compares each device's event mask
// with the copy it acted on last time, logs every change at once, lets each
// change ripen for its action row's delay, and then raises the reactions of
// the row's alarm level (popup, e-mail text, SMS text, sound).
//
// Rows: event i of a node's table owns row 2i (occurred) and 2i+1
// (recovered). The per-row delay, confirmation and reaction state lives in
// the node's alarm-state arrays; the repeat counters that space the sounds
// out are shared by all nodes and live here.
//
// Threads: loop thread only, with the tree lock held shared. The pollers
// write the current masks meanwhile; each mask is read once per scan. The
// outgoing texts are written under the mail lock.
#pragma once
#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "core/action_tables.h"
#include "core/device_node.h"
#include "core/minute_line_limit.h"
#include "records/outgoing_messages.h"

namespace lark {

class Clock;
class EventLogSink;
struct ServiceSettings;

inline constexpr int kRepeatCounterCount = 200;
// Seconds a handed-over sound keeps other rows' sounds back.
inline constexpr uint8_t kSoundRepeatHold = 5;

// The table a node's events are read against; nullopt for groups and meter sums.
std::optional<ActionFamily> MainActionFamily(const DeviceNode& node);
std::optional<ActionFamily> MainActionFamilyOf(uint8_t nodeKind, int16_t commType,
                                               uint8_t mibType);
// The extended table of a serial device whose model has the extended alarm
// word (ASCII model class or Modbus device subtype 3..5, binary model 2).
std::optional<ActionFamily> ExtendedActionFamily(const DeviceNode& node);
// True when the event's changes must stay silent: the event that follows
// from a lost link while the loss bit is set in `lowWord`.
bool IsCommLostEvent(const DeviceNode& node, uint32_t lowWord, int event);
bool IsCommLostEventOf(const DeviceNode::Head& node, uint32_t lowWord, int event);

// Where reactions go outside the node and the outgoing slots.
struct AlarmReactionSinks {
  std::function<void(std::string_view text)> popup;  // LaunchPopup
  std::function<void(std::string_view file)> sound;  // HandOverSound to the tray programs
};

// What differs between the service's detector and a console's own alarm
// checks; the defaults are the service's.
struct AlarmDetectorOptions {
  // The recipient items whose slots the reactions go to; empty: the
  // settings' items (the service's own).
  std::span<RecipientItem> recipients;
  ReactionTags tags = kServiceTags;
  // The popup of a standard row when its change is seen rather than when it
  // fires after its delay (a communication-lost event stays silent, and a
  // row without message shows none). Extended rows always pop up at firing.
  bool popupAtChange = false;
};

// A storm of events (toggling stations) would otherwise fill the event log
// with "SMS queue full" lines and push the events themselves out of it.
inline constexpr int kQueueFullLinesPerMinute = 20;

class AlarmDetector {
 public:
  AlarmDetector(ServiceSettings& settings, const ActionTables& tables, OutgoingMessages& outgoing,
                EventLogSink& log, const Clock& clock, AlarmReactionSinks sinks);
  // Without an event log: changes are not logged.
  AlarmDetector(ServiceSettings& settings, const ActionTables& tables, OutgoingMessages& outgoing,
                const Clock& clock, AlarmReactionSinks sinks, AlarmDetectorOptions options);

  // ScanNodeAlarms then ScanNodeAlarmsExtended on the root.
  void scan(DeviceNode& root);
  void scanNodeAlarms(DeviceNode& root, DeviceNode& node);
  void scanNodeAlarmsExtended(DeviceNode& root, DeviceNode& node);

  // The one-second timer: each repeat counter above 0 counts down by 1.
  void onSecondTick();
  void clearRepeatCounters() { repeat_.fill(0); }

  // Which outgoing slots a reaction of node `nodeId` goes to, claiming a slot
  // for each recipient item that lists the node (or its parent group) and
  // has none yet. Takes the mail lock.
  SlotFlags assignRecipientSlots(const DeviceNode& root, int16_t nodeId);

 private:
  struct RowArrays;
  struct TableScan;

  void scanTable(DeviceNode& root, DeviceNode& node, const TableScan& t, uint64_t reported,
                 uint64_t current);
  void detectChanges(DeviceNode& root, DeviceNode& node, const TableScan& t, AlarmStates& st,
                     uint64_t reported, uint64_t current);
  void react(DeviceNode& root, DeviceNode& node, const TableScan& t, AlarmStates& st, int event,
             bool occurred, bool silent);
  void audioScan(const TableScan& t, AlarmStates& st, uint32_t lowWord);
  bool popupWanted(const ActionRow& row) const;
  SlotFlags assignLocked(OutgoingState& state, const DeviceNode& root, int16_t nodeId);
  // "SMS queue full" through queueFullLines_, and the minute's held lines.
  void queueFullLine(int dropped);
  void rollQueueFullLines();

  std::span<RecipientItem> recipients() const;

  ServiceSettings& settings_;   // recipient items' slot indexes change here
  const ActionTables& tables_;  // replaced whole on a language change (loop thread)
  OutgoingMessages& outgoing_;  // mail lock inside
  EventLogSink* log_;           // null: changes are not logged
  const Clock& clock_;
  AlarmReactionSinks sinks_;
  AlarmDetectorOptions options_;
  std::array<uint8_t, kRepeatCounterCount> repeat_{};  // seconds; loop thread only
  MinuteLineLimit queueFullLines_{kQueueFullLinesPerMinute};  // loop thread only
};

}  // namespace lark
