// The service's message loop: epoll with timerfd timers, signalfd for stop
// requests, an eventfd for work posted from other threads, and sockets with
// the meaning of window-message socket notifications.
//
// Threads: every member runs on the loop thread, except post() and quit(),
// which any thread may call. Handlers run on the loop thread only; any handler
// may kill any timer (itself too) and unwatch any socket (its own too).
#pragma once
#include <cstddef>
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
  // fd, the SocketEvent bits, an errno value (0 when none). Each call carries
  // one event; for one socket in one round the order is connect, read, write,
  // close. A close comes after every byte queued before it has been reported
  // readable; a reset comes as kSockClose with its error and no read. A failed
  // connect is reported as kSockConnect with the error and nothing after it.
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
  // Whether a stop signal waits for the loop; it stays pending, so the loop
  // still sees it. Long work before or outside the loop (a map load at
  // start-up) asks this to end early.
  bool stopSignalPending() const;

  // Thread-safe: runs `task` on the loop thread soon.
  void post(Task task);

  // Registers a socket (already non-blocking) for read and close reporting.
  // Watch a client socket after calling connect(); unwatch a socket before
  // closing it. Watching a watched fd again replaces its handler.
  bool watchSocket(int fd, SocketHandler handler);
  // A non-blocking connect is in progress: report kSockConnect once.
  void expectConnect(int fd);
  // Arms write reporting while a send is pending; disarm when done.
  void setSendPending(int fd, bool pending);
  // Stops (false) or resumes (true) read reporting, e.g. a full listener. A
  // peer's close is noticed again when reading resumes; a reset still reports.
  void setReadWatched(int fd, bool watched);
  // Forgets the socket; does not close it. Safe from inside its handler.
  void unwatchSocket(int fd);

  // Runs until quit(); returns the quit code. A quit() before run() makes it
  // return at once.
  int run();
  // Runs one round of ready work, waiting at most `timeoutMs`; for tests.
  void runOnce(int timeoutMs);
  // Thread-safe; run() returns `code` after the current round.
  void quit(int code = 0);
  bool running() const;

  // Handlers invoked so far (timers, signals, posted tasks, sockets): lets a
  // test prove that a round did nothing.
  uint64_t handlersRun() const;
  // Ready events epoll has returned so far, handled or not: a socket left armed
  // for something nobody wants shows up here even when no handler runs.
  uint64_t readyEventsSeen() const;
  // Sockets currently watched; a test ends by checking nothing is left.
  size_t watchedSocketCount() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace lark
