// SetTimer for Qt windows: one QTimer per (window, id), each calling its
// handler on the window thread. Setting an id again replaces its period and
// handler; killing an unknown id does nothing.
#pragma once
#include <QObject>
#include <QTimer>
#include <functional>
#include <map>
#include <memory>
#include <utility>

namespace lark {

class WindowTimers {
 public:
  bool Set(const QObject* window, int id, int periodMs, std::function<void()> handler);
  void Kill(const QObject* window, int id);
  bool IsSet(const QObject* window, int id) const;
  int Period(const QObject* window, int id) const;  // 0 when not set
  void KillAll() { timers_.clear(); }

 private:
  std::map<std::pair<const QObject*, int>, std::unique_ptr<QTimer>> timers_;
};

}  // namespace lark
