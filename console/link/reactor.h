// What the console link needs of a message loop: sockets with the meaning of
// window-message socket notifications, timers by id, and posted calls. Two
// backends: the epoll EventLoop (headless runs and tests) and Qt's loop (the
// running console, whose modal dialogs spin nested loops).
//
// Contract (both backends): handlers run on the loop's thread; kSockRead for
// data or a pending connection; kSockWrite only while a send is pending;
// kSockConnect once when a non-blocking connect ends, its error from
// SO_ERROR; kSockClose once when the peer closes (after every byte before it
// was reported readable) or the socket fails. A late timer fires once.
#pragma once
#include <cstdint>
#include <functional>

#include "platform/event_loop.h"

namespace lark {

class Reactor {
 public:
  using Task = std::function<void()>;
  using SocketHandler = EventLoop::SocketHandler;

  virtual ~Reactor() = default;
  virtual bool watchSocket(int fd, SocketHandler handler) = 0;
  virtual void expectConnect(int fd) = 0;
  virtual void setSendPending(int fd, bool pending) = 0;
  virtual void setReadWatched(int fd, bool watched) = 0;
  virtual void unwatchSocket(int fd) = 0;
  virtual bool setTimer(uint32_t id, uint32_t periodMs, Task handler) = 0;
  virtual void killTimer(uint32_t id) = 0;
  virtual void post(Task task) = 0;
};

// The reactor over the service's EventLoop.
class EpollReactor final : public Reactor {
 public:
  explicit EpollReactor(EventLoop& loop) : loop_(loop) {}
  bool watchSocket(int fd, SocketHandler handler) override { return loop_.watchSocket(fd, std::move(handler)); }
  void expectConnect(int fd) override { loop_.expectConnect(fd); }
  void setSendPending(int fd, bool pending) override { loop_.setSendPending(fd, pending); }
  void setReadWatched(int fd, bool watched) override { loop_.setReadWatched(fd, watched); }
  void unwatchSocket(int fd) override { loop_.unwatchSocket(fd); }
  bool setTimer(uint32_t id, uint32_t periodMs, Task handler) override {
    return loop_.setTimer(id, periodMs, std::move(handler));
  }
  void killTimer(uint32_t id) override { loop_.killTimer(id); }
  void post(Task task) override { loop_.post(std::move(task)); }
  EventLoop& loop() { return loop_; }

 private:
  EventLoop& loop_;
};

}  // namespace lark
