// The programs the console starts (the viewer, Larknote, the screen-saver
// reset, xdg-open): each is waited for by its own pid as soon as it ends, so
// none stays a zombie while the console runs, and a child someone else in
// the process waits for (a converter, the batch FTP client) is never taken.
#pragma once
#include <sys/types.h>

#include <QObject>
#include <QTimer>
#include <map>
#include <string>
#include <vector>

class QSocketNotifier;

namespace lark {

class ChildReaper : public QObject {
 public:
  ChildReaper();
  ~ChildReaper() override;

  // Spawns argv (with "NAME=value" entries added to the environment) and
  // watches it; the pid or -1.
  pid_t spawn(const std::vector<std::string>& argv, const std::vector<std::string>& environment);
  // Watches a child started elsewhere; a pid <= 0 is ignored.
  void watch(pid_t pid);
  // Children started and not yet reaped.
  size_t running() const { return children_.size(); }

 private:
  void reap(pid_t pid);
  void sweep();

  std::map<pid_t, QSocketNotifier*> children_;  // by pid; null when no pidfd could be opened
  QTimer sweep_;                                // 1 s; only while a child has no pidfd
};

}  // namespace lark
