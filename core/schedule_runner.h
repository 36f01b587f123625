// Device schedules on the tree: each device's pending times (next time per
// action class, kept in the node for the consoles) and the minute's run of
// the actions that fell due. The rows and the calculation are in
// common/schedule_calc.h; this file reads them out of the nodes and acts.
//
// A minute's run covers every minute since the last one handled (an hour at
// most), so an action in a minute the clock skipped (a daylight-saving start,
// a late tick) still runs, and runs once: a node's class and time that ran
// is not run again when the clock goes back over it.
//
// Threads: the loop thread, under the tree's shared lock.
#pragma once
#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>

#include "common/schedule_calc.h"
#include "core/device_node.h"
#include "core/device_tree.h"
#include "core/event_log_sink.h"
#include "platform/clock.h"

namespace lark {

ScheduleRows ScheduleRowsOf(const DeviceNode& node);
ScheduleMinute ScheduleMinuteOf(const WallTime& t);

// Recomputes the pending times of every device of the subtree for `now`.
void FindNextScheduledActions(DeviceNode& node, const WallTime& now);
// The schedule (rows and pending times) of `source` copied into `dest`.
void CopySchedule(DeviceNode& dest, const DeviceNode& source);
// Every device of the subtree other than `source` gets its schedule.
void CopyScheduleToSubtree(DeviceNode& node, const DeviceNode& source);

class ScheduleRunner {
 public:
  // `commonText(n)`: the [Common] language text T_n.
  ScheduleRunner(EventLogSink& log, std::function<std::string(int)> commonText);

  // The minute's work on the subtree: pending times for `now`, then the
  // actions that fell due since the last minute handled.
  void onMinute(DeviceNode& root, const WallTime& now, UpsCommandSink& commands);

 private:
  void runDevice(DeviceNode& node, int64_t from, int64_t to, const ScheduleMinute& now,
                 UpsCommandSink& commands);
  void runAction(DeviceNode& node, int actionClass, const ScheduleMinute& now,
                 UpsCommandSink& commands);

  EventLogSink& log_;
  std::function<std::string(int)> commonText_;
  std::optional<int64_t> last_;                    // minute number last handled
  std::map<int16_t, std::array<int64_t, 4>> ran_;  // node id -> time last run, per class
};

}  // namespace lark
