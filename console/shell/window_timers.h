// SetTimer for Qt windows: one QTimer per (window, id), each calling its
// handler on the window thread. Setting an id again replaces its period and
// handler; killing an unknown id does nothing.
//
// A handler may kill or replace any timer, its own included: a killed timer
// is stopped at once and freed only when no handler runs (the next outermost
// tick, KillAll or the destructor), since Qt is still inside its signal.
#pragma once
#include <QObject>
#include <QTimer>
#include <functional>
#include <map>
#include <memory>
#include <utility>
#include <vector>

namespace lark {

class WindowTimers {
 public:
  bool Set(const QObject* window, int id, int periodMs, std::function<void()> handler);
  void Kill(const QObject* window, int id);
  // The timer's next tick comes at once (from the event loop), then its
  // ticks keep their period; an unknown id does nothing.
  void Nudge(const QObject* window, int id);
  bool IsSet(const QObject* window, int id) const;
  int Period(const QObject* window, int id) const;  // 0 when not set
  void KillAll();

 private:
  void Bury(std::unique_ptr<QTimer> t);
  std::map<std::pair<const QObject*, int>, std::unique_ptr<QTimer>> timers_;
  std::vector<std::unique_ptr<QTimer>> dead_;  // stopped; freed when no handler runs
  int depth_ = 0;                              // handlers on the stack
};

}  // namespace lark
