#include "console/shell/window_timers.h"

namespace lark {

bool WindowTimers::Set(const QObject* window, int id, int periodMs, std::function<void()> handler) {
  auto& t = timers_[{window, id}];
  t = std::make_unique<QTimer>();
  QObject::connect(t.get(), &QTimer::timeout, [h = std::move(handler)] { h(); });
  t->start(periodMs);
  return t->isActive();
}

void WindowTimers::Kill(const QObject* window, int id) { timers_.erase({window, id}); }

bool WindowTimers::IsSet(const QObject* window, int id) const { return timers_.count({window, id}) > 0; }

int WindowTimers::Period(const QObject* window, int id) const {
  auto it = timers_.find({window, id});
  return it == timers_.end() ? 0 : it->second->interval();
}

}  // namespace lark
