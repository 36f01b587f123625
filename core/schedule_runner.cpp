#include "core/schedule_runner.h"

#include <algorithm>

namespace lark {

namespace {

constexpr int64_t kCatchUpMinutes = 60;
// [Common] texts of the event-log lines.
constexpr int kTextSchedule = 30, kTextShutdown = 19, kTextRestart = 20, kTextTest = 21,
              kTextDeepTest = 22;
constexpr int32_t kShutdownDelay = 10;

PendingAction ToPending(const ScheduleMinute& t) {
  if (t.none()) return {};
  return {static_cast<int16_t>(t.year), static_cast<uint8_t>(t.month), static_cast<uint8_t>(t.day),
          static_cast<uint8_t>(t.hour), static_cast<uint8_t>(t.minute)};
}

ScheduleMinute FromPending(const PendingAction& p) {
  return {p.year, p.month, p.day, p.hour, p.minute};
}

}  // namespace

ScheduleRows ScheduleRowsOf(const DeviceNode& node) {
  ScheduleRows rows;
  for (int i = 0; i < kWeekScheduleCount; ++i) {
    const ScheduleWeekEntry e = node.weekEntry(i);
    if (e.actionClass != 0) rows.week.push_back({e.weekday, e.hour, e.minute, e.actionClass});
  }
  for (int i = 0; i < kDateScheduleCount; ++i) {
    const ScheduleDateEntry e = node.dateEntry(i);
    if (e.year != 0 || e.month != 0 || e.day != 0) {
      rows.dated.push_back({e.year, e.month, e.day, e.hour, e.minute, e.actionClass});
    }
  }
  return rows;
}

ScheduleMinute ScheduleMinuteOf(const WallTime& t) {
  return {t.year, t.month, t.day, t.hour, t.minute};
}

void FindNextScheduledActions(DeviceNode& node, const WallTime& now) {
  if (node.isGroup()) {
    for (const auto& c : node.children()) FindNextScheduledActions(*c, now);
    return;
  }
  const ScheduleRows rows = ScheduleRowsOf(node);
  for (int c = 1; c <= kPendingActionCount; ++c) {
    node.setPendingAction(c - 1, ToPending(NextScheduledAction(rows, c, ScheduleMinuteOf(now))));
  }
}

void CopySchedule(DeviceNode& dest, const DeviceNode& source) {
  for (int i = 0; i < kWeekScheduleCount; ++i) dest.setWeekEntry(i, source.weekEntry(i));
  for (int i = 0; i < kDateScheduleCount; ++i) dest.setDateEntry(i, source.dateEntry(i));
  for (int i = 0; i < kPendingActionCount; ++i) dest.setPendingAction(i, source.pendingAction(i));
}

void CopyScheduleToSubtree(DeviceNode& node, const DeviceNode& source) {
  if (node.isGroup()) {
    for (const auto& c : node.children()) CopyScheduleToSubtree(*c, source);
  } else if (&node != &source) {
    CopySchedule(node, source);
  }
}

ScheduleRunner::ScheduleRunner(EventLogSink& log, std::function<std::string(int)> commonText)
    : log_(log), commonText_(std::move(commonText)) {}

void ScheduleRunner::onMinute(DeviceNode& root, const WallTime& now, UpsCommandSink& commands) {
  const ScheduleMinute minute = ScheduleMinuteOf(now);
  const int64_t to = MinuteNumber(minute);
  // The minutes since the last one handled (an hour at most); after the
  // clock went back, this minute alone.
  int64_t from = to;
  if (last_ && *last_ < to) from = std::max(*last_ + 1, to - kCatchUpMinutes + 1);
  last_ = to;
  FindNextScheduledActions(root, now);
  std::function<void(DeviceNode&)> walk = [&](DeviceNode& n) {
    if (n.isGroup()) {
      for (const auto& c : n.children()) walk(*c);
    } else {
      runDevice(n, from, to, minute, commands);
    }
  };
  walk(root);
}

void ScheduleRunner::runDevice(DeviceNode& node, int64_t from, int64_t to,
                               const ScheduleMinute& now, UpsCommandSink& commands) {
  const ScheduleRows rows = ScheduleRowsOf(node);
  if (rows.week.empty() && rows.dated.empty()) return;
  auto& ran = ran_.try_emplace(node.id(), std::array<int64_t, 4>{-1, -1, -1, -1}).first->second;
  for (int c = 1; c <= kPendingActionCount; ++c) {
    const ScheduleMinute due = NextScheduledAction(rows, c, FromMinuteNumber(from));
    if (due.none()) continue;
    const int64_t at = MinuteNumber(due);
    if (at > to || at == ran[static_cast<size_t>(c - 1)]) continue;
    ran[static_cast<size_t>(c - 1)] = at;
    runAction(node, c, now, commands);
  }
}

void ScheduleRunner::runAction(DeviceNode& node, int actionClass, const ScheduleMinute& now,
                               UpsCommandSink& commands) {
  auto line = [&](int text) {
    log_.WriteEventLog(node.id(), kLevelInformation, kSystemEventCode,
                       commonText_(kTextSchedule) + ": " + commonText_(text));
  };
  switch (actionClass) {
    case kScheduleClassShutdown: {
      line(kTextShutdown);
      const int restart =
          ScheduleRestartMinutes(FromPending(node.pendingAction(kScheduleClassRestart - 1)), now);
      if (restart > 0) {
        // One command carries both: shut down after 10, restart after `restart`.
        line(kTextRestart);
        commands.SendDeviceControl(node, 1619, restart, kShutdownDelay);
      } else {
        commands.SendDeviceControl(node, 1618, kShutdownDelay, 0);
      }
      break;
    }
    case kScheduleClassTest:
      line(kTextTest);
      commands.SendDeviceControl(node, 1611, 0, 0);
      break;
    case kScheduleClassDeepTest:
      line(kTextDeepTest);
      commands.SendDeviceControl(node, 1612, 0, 0);
      break;
    default:  // a restart only gives the shutdown its restart delay
      break;
  }
}

}  // namespace lark
