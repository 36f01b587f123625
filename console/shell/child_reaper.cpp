#include "console/shell/child_reaper.h"

#include <sys/syscall.h>
#include <unistd.h>

#include <QSocketNotifier>

#include "platform/process.h"

namespace lark {

ChildReaper::ChildReaper() {
  sweep_.setInterval(1000);
  connect(&sweep_, &QTimer::timeout, this, [this] { sweep(); });
}

ChildReaper::~ChildReaper() {
  // Whatever still runs is left to run; the notifiers' pidfds are closed.
  for (auto& [pid, notifier] : children_) {
    if (notifier == nullptr) continue;
    ::close(static_cast<int>(notifier->socket()));
    delete notifier;
  }
}

pid_t ChildReaper::spawn(const std::vector<std::string>& argv,
                         const std::vector<std::string>& environment) {
  const pid_t pid = SpawnWithEnvironment(argv, environment);
  watch(pid);
  return pid;
}

void ChildReaper::watch(pid_t pid) {
  if (pid <= 0 || children_.contains(pid)) return;
  // A pidfd turns readable when the child ends: the wait follows at once,
  // without a SIGCHLD handler that would reap children not ours.
  const int fd = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
  if (fd < 0) {
    children_[pid] = nullptr;
    sweep_.start();
    return;
  }
  auto* notifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
  children_[pid] = notifier;
  connect(notifier, &QSocketNotifier::activated, this, [this, pid] { reap(pid); });
}

void ChildReaper::reap(pid_t pid) {
  auto it = children_.find(pid);
  if (it == children_.end() || !ReapChild(pid)) return;
  if (QSocketNotifier* notifier = it->second) {
    notifier->setEnabled(false);
    ::close(static_cast<int>(notifier->socket()));
    notifier->deleteLater();
  }
  children_.erase(it);
}

void ChildReaper::sweep() {
  std::vector<pid_t> unwatched;
  for (const auto& [pid, notifier] : children_)
    if (notifier == nullptr) unwatched.push_back(pid);
  size_t left = unwatched.size();
  for (pid_t pid : unwatched) {
    reap(pid);
    if (!children_.contains(pid)) --left;
  }
  if (left == 0) sweep_.stop();
}

}  // namespace lark
