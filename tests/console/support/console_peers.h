// What the console tests against the real service share: spinning Qt's loop
// until a condition holds, and the device simulators as child processes.
#pragma once
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "tests/support/temp_dir.h"

namespace lark::test {

// Calls `seen` before Qt delivers each event of the process (an application
// event filter), so a test can act between any two steps of the console:
// replies are taken as they arrive, and a poll between batches of events can
// miss a state that lasts only a few of them.
class EventSpy : public QObject {
 public:
  explicit EventSpy(std::function<void(QObject*, QEvent*)> seen) : seen_(std::move(seen)) {
    QCoreApplication::instance()->installEventFilter(this);
  }
  bool eventFilter(QObject* watched, QEvent* event) override {
    seen_(watched, event);
    return false;
  }

 private:
  std::function<void(QObject*, QEvent*)> seen_;
};

// Runs Qt's events until `done` holds; false after `ms` milliseconds.
inline bool Spin(const std::function<bool()>& done, int ms) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (std::chrono::steady_clock::now() < end) {
    QApplication::processEvents(QEventLoop::AllEvents, 10);
    if (done()) return true;
  }
  return false;
}

// A simulator of tools/ (`tool`, e.g. "ups_sim") with `args`, its output
// discarded; stopped however the test ends.
struct Simulator {
  pid_t pid = -1;
  Simulator(const std::string& tool, const std::vector<std::string>& args) {
    const std::string sim = BuiltProgram("tools/" + tool);
    std::vector<char*> argv{const_cast<char*>(sim.c_str())};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid = fork();
    if (pid == 0) {
      const int null = open("/dev/null", O_WRONLY);
      dup2(null, 1);
      dup2(null, 2);
      execv(sim.c_str(), argv.data());
      _exit(127);
    }
  }
  ~Simulator() {
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
  }
};

}  // namespace lark::test
