#include "console/shell/window_timers.h"

namespace lark {

void WindowTimers::Bury(std::unique_ptr<QTimer> t) {
  if (!t) return;
  t->stop();
  dead_.push_back(std::move(t));
}

bool WindowTimers::Set(const QObject* window, int id, int periodMs, std::function<void()> handler) {
  auto& t = timers_[{window, id}];
  Bury(std::move(t));
  t = std::make_unique<QTimer>();
  // A coarse timer may fire up to 5% early: a 10 s reply time-out would give
  // up on a service after 9.5 s.
  t->setTimerType(Qt::PreciseTimer);
  QTimer* raw = t.get();
  QObject::connect(t.get(), &QTimer::timeout, [this, raw, periodMs, h = std::move(handler)] {
    if (depth_ == 0) dead_.clear();
    // A nudged tick puts the period back (a buried timer stays stopped).
    if (raw->interval() != periodMs && raw->isActive()) raw->start(periodMs);
    ++depth_;
    h();
    --depth_;
  });
  t->start(periodMs);
  return t->isActive();
}

void WindowTimers::Kill(const QObject* window, int id) {
  auto it = timers_.find({window, id});
  if (it == timers_.end()) return;
  Bury(std::move(it->second));
  timers_.erase(it);
}

void WindowTimers::KillAll() {
  for (auto& [key, t] : timers_) Bury(std::move(t));
  timers_.clear();
  if (depth_ == 0) dead_.clear();
}

void WindowTimers::Nudge(const QObject* window, int id) {
  auto it = timers_.find({window, id});
  if (it != timers_.end()) it->second->start(0);
}

bool WindowTimers::IsSet(const QObject* window, int id) const { return timers_.count({window, id}) > 0; }

int WindowTimers::Period(const QObject* window, int id) const {
  auto it = timers_.find({window, id});
  return it == timers_.end() ? 0 : it->second->interval();
}

}  // namespace lark
