// A reactor for unit tests of the console link: timers and posted calls are
// recorded and run when the test says; sockets are only remembered.
#pragma once
#include <map>
#include <set>
#include <vector>

#include "console/link/reactor.h"

namespace lark::test {

class FakeReactor final : public Reactor {
 public:
  bool watchSocket(int fd, SocketHandler handler) override {
    sockets[fd] = std::move(handler);
    return true;
  }
  void expectConnect(int) override {}
  void setSendPending(int fd, bool pending) override {
    if (pending) sendPending.insert(fd); else sendPending.erase(fd);
  }
  void setReadWatched(int fd, bool watched) override {
    if (watched) readUnwatched.erase(fd); else readUnwatched.insert(fd);
  }
  void unwatchSocket(int fd) override { sockets.erase(fd); }
  bool setTimer(uint32_t id, uint32_t, Task handler) override {
    timers[id] = std::move(handler);
    return true;
  }
  void killTimer(uint32_t id) override { timers.erase(id); }
  void post(Task task) override { posted.push_back(std::move(task)); }

  // Runs timer `id` once; false when it is not set.
  bool fire(uint32_t id) {
    auto it = timers.find(id);
    if (it == timers.end()) return false;
    Task t = it->second;
    t();
    return true;
  }
  void runPosted() {
    std::vector<Task> now;
    now.swap(posted);
    for (Task& t : now) t();
  }

  std::map<int, SocketHandler> sockets;
  std::map<uint32_t, Task> timers;
  std::vector<Task> posted;
  std::set<int> sendPending, readUnwatched;
};

}  // namespace lark::test
