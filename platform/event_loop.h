// The service's message loop: epoll with timerfd timers, signalfd for stop
// requests, an eventfd for work posted from other threads, and sockets with
// the meaning of window-message socket notifications.
#pragma once
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

namespace lark {

// Socket notifications delivered to a watcher.
enum SocketEvent : uint32_t {
  kSockRead = 1,     // data (or a pending connection on a listener) to read
  kSockWrite = 2,    // a pending send may go on; only while send-pending is set
  kSockConnect = 4,  // a non-blocking connect finished; error holds SO_ERROR
  kSockClose = 8,    // the peer closed or the socket failed; delivered once
};

class EventLoop {
 public:
  using Task = std::function<void()>;
  // fd, the SocketEvent bits, an errno value (0 when none).
  using SocketHandler = std::function<void(int fd, uint32_t events, int error)>;

  EventLoop();
  ~EventLoop();
  EventLoop(const EventLoop&) = delete;
  EventLoop& operator=(const EventLoop&) = delete;

  // Starts or restarts timer `id` every `periodMs`. Expirations that pile up
  // while a handler runs are delivered once. Returns false on failure.
  bool setTimer(uint32_t id, uint32_t periodMs, Task handler);
  void killTimer(uint32_t id);
  bool hasTimer(uint32_t id) const;

  // SIGTERM and SIGINT are blocked and delivered here on the loop thread.
  bool watchStopSignals(std::function<void(int signo)> handler);

  // Thread-safe: runs `task` on the loop thread soon.
  void post(Task task);

  // Registers a socket (already non-blocking) for read and close reporting.
  bool watchSocket(int fd, SocketHandler handler);
  // A non-blocking connect is in progress: report kSockConnect once.
  void expectConnect(int fd);
  // Arms write reporting while a send is pending; disarm when done.
  void setSendPending(int fd, bool pending);
  // Stops (false) or resumes (true) read reporting, e.g. a full listener.
  void setReadWatched(int fd, bool watched);
  // Forgets the socket; does not close it. Safe from inside its handler.
  void unwatchSocket(int fd);

  // Runs until quit(); returns the quit code.
  int run();
  // Runs one round of ready work, waiting at most `timeoutMs`; for tests.
  void runOnce(int timeoutMs);
  void quit(int code = 0);
  bool running() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace lark
