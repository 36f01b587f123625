// EventLoop on epoll. Map of this file: the registration records, the Impl
// (epoll set, sources by fd, timers by id, posted queue), dispatch of one
// ready event per source kind, then the public members.
//
// Threads: everything runs on the loop thread except post() and quit(), which
// touch only `postMu`/`posted`, the eventfd and the atomics.
#include "platform/event_loop.h"

#include <errno.h>
#include <pthread.h>
#include <signal.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <sys/signalfd.h>
#include <sys/socket.h>
#include <sys/timerfd.h>
#include <unistd.h>

#include <atomic>
#include <deque>
#include <unordered_map>

namespace lark {

namespace {

constexpr int kMaxEventsPerRound = 64;

enum class SourceKind { kWake, kSignal, kTimer, kSocket };

// One fd in the epoll set. Held by shared_ptr so a handler that removes its
// own source (killTimer, unwatchSocket) keeps running on a live record.
struct Source {
  SourceKind kind;
  int fd;               // owned for wake, signal and timer; a socket's fd is the caller's
  uint32_t generation;  // tells a stale ready event (fd reused mid-round) from a live one
  // Timer
  uint32_t timerId = 0;
  EventLoop::Task timerTask;
  // Signals
  std::function<void(int)> signalTask;
  // Socket
  EventLoop::SocketHandler socketTask;
  bool readWatched = true;      // EPOLLIN wanted
  bool sendPending = false;     // EPOLLOUT wanted for kSockWrite
  bool connectPending = false;  // EPOLLOUT wanted once for kSockConnect
  bool closed = false;          // kSockClose (or a failed connect) reported; out of epoll
  bool registered = false;      // currently in the epoll set
};

uint64_t PackKey(int fd, uint32_t generation) {
  return (static_cast<uint64_t>(generation) << 32) | static_cast<uint32_t>(fd);
}

}  // namespace

struct EventLoop::Impl {
  int epfd = -1;                                             // owned
  int wakeFd = -1;                                           // eventfd for post() and quit(); owned
  uint32_t nextGeneration = 1;                               // loop thread only
  std::unordered_map<int, std::shared_ptr<Source>> sources;  // by fd; loop thread only
  std::map<uint32_t, std::shared_ptr<Source>> timers;        // by id; loop thread only
  std::shared_ptr<Source> signals;                           // loop thread only

  std::mutex postMu;        // guards `posted`
  std::deque<Task> posted;  // tasks from any thread
  std::atomic<bool> quitRequested{false};
  std::atomic<int> quitCode{0};
  std::atomic<bool> inRun{false};
  std::atomic<uint64_t> handlersRun{0};
  std::atomic<uint64_t> readyEvents{0};

  uint32_t socketMask(const Source& s) const {
    uint32_t mask = 0;
    // Without read interest the peer's close waits too; otherwise a
    // level-triggered RDHUP would report the same state every round.
    if (s.readWatched) mask |= EPOLLIN | EPOLLRDHUP;
    if (s.sendPending || s.connectPending) mask |= EPOLLOUT;
    return mask;
  }

  bool add(const std::shared_ptr<Source>& s, uint32_t mask) {
    struct epoll_event ev {};
    ev.events = mask;
    ev.data.u64 = PackKey(s->fd, s->generation);
    if (epoll_ctl(epfd, EPOLL_CTL_ADD, s->fd, &ev) != 0) return false;
    s->registered = true;
    sources[s->fd] = s;
    return true;
  }

  void updateSocket(Source& s) {
    if (s.closed || !s.registered) return;
    struct epoll_event ev {};
    ev.events = socketMask(s);
    ev.data.u64 = PackKey(s.fd, s.generation);
    epoll_ctl(epfd, EPOLL_CTL_MOD, s.fd, &ev);
  }

  void deregister(Source& s) {
    if (!s.registered) return;
    epoll_ctl(epfd, EPOLL_CTL_DEL, s.fd, nullptr);
    s.registered = false;
  }

  // Removes a source from every table; the caller's shared_ptr keeps it alive.
  void forget(const std::shared_ptr<Source>& s) {
    deregister(*s);
    auto it = sources.find(s->fd);
    if (it != sources.end() && it->second == s) sources.erase(it);
  }

  std::shared_ptr<Source> socketFor(int fd) {
    auto it = sources.find(fd);
    if (it == sources.end() || it->second->kind != SourceKind::kSocket) return nullptr;
    return it->second;
  }

  bool live(const std::shared_ptr<Source>& s) const {
    auto it = sources.find(s->fd);
    return it != sources.end() && it->second == s;
  }

  void dispatch(const struct epoll_event& ev);
  void dispatchWake();
  void dispatchSignal(const std::shared_ptr<Source>& s);
  void dispatchTimer(const std::shared_ptr<Source>& s);
  void dispatchSocket(const std::shared_ptr<Source>& s, uint32_t events);
  void callSocket(const std::shared_ptr<Source>& s, uint32_t event, int error) {
    ++handlersRun;
    // A copy: the handler may unwatch and rewatch its own fd, replacing socketTask.
    SocketHandler task = s->socketTask;
    task(s->fd, event, error);
  }
};

void EventLoop::Impl::dispatch(const struct epoll_event& ev) {
  int fd = static_cast<int>(static_cast<uint32_t>(ev.data.u64));
  uint32_t generation = static_cast<uint32_t>(ev.data.u64 >> 32);
  auto it = sources.find(fd);
  // Removed or replaced by an earlier handler of this round: the event is stale.
  if (it == sources.end() || it->second->generation != generation) return;
  std::shared_ptr<Source> s = it->second;
  switch (s->kind) {
    case SourceKind::kWake:
      dispatchWake();
      break;
    case SourceKind::kSignal:
      dispatchSignal(s);
      break;
    case SourceKind::kTimer:
      dispatchTimer(s);
      break;
    case SourceKind::kSocket:
      dispatchSocket(s, ev.events);
      break;
  }
}

void EventLoop::Impl::dispatchWake() {
  uint64_t count = 0;
  while (read(wakeFd, &count, sizeof count) < 0 && errno == EINTR) {
  }
  // Only the tasks queued now; tasks they post run next round, so a task that
  // re-posts itself cannot starve the sockets and timers.
  std::deque<Task> batch;
  {
    std::lock_guard<std::mutex> lock(postMu);
    batch.swap(posted);
  }
  for (Task& task : batch) {
    ++handlersRun;
    task();
  }
}

void EventLoop::Impl::dispatchSignal(const std::shared_ptr<Source>& s) {
  struct signalfd_siginfo info {};
  while (live(s)) {
    ssize_t n = read(s->fd, &info, sizeof info);
    if (n != static_cast<ssize_t>(sizeof info)) {
      if (n < 0 && errno == EINTR) continue;
      break;
    }
    ++handlersRun;
    auto task = s->signalTask;
    task(static_cast<int>(info.ssi_signo));
  }
}

void EventLoop::Impl::dispatchTimer(const std::shared_ptr<Source>& s) {
  uint64_t expirations = 0;
  ssize_t n;
  do {
    n = read(s->fd, &expirations, sizeof expirations);
  } while (n < 0 && errno == EINTR);
  // EAGAIN: restarted by setTimer earlier in this round, so not due any more.
  if (n != static_cast<ssize_t>(sizeof expirations) || expirations == 0) return;
  // However many periods passed, the handler runs once.
  ++handlersRun;
  Task task = s->timerTask;
  task();
}

void EventLoop::Impl::dispatchSocket(const std::shared_ptr<Source>& s, uint32_t events) {
  if (s->closed) return;
  const bool failed = (events & (EPOLLERR | EPOLLHUP)) != 0;

  if (s->connectPending && (events & (EPOLLOUT | EPOLLERR | EPOLLHUP))) {
    int connectError = 0;
    socklen_t len = sizeof connectError;
    if (getsockopt(s->fd, SOL_SOCKET, SO_ERROR, &connectError, &len) != 0) connectError = errno;
    s->connectPending = false;
    if (connectError != 0) {
      // A failed connect is reported as that and nothing else; the socket is done.
      s->closed = true;
      deregister(*s);
    } else {
      updateSocket(*s);
    }
    callSocket(s, kSockConnect, connectError);
    if (connectError != 0) return;
    if (!live(s) || s->closed) return;
  }

  // A socket error (a reset, say) is reported as a close carrying the error,
  // not as data to read: the queued data is gone and recv() would only fail.
  const bool error = (events & EPOLLERR) != 0;
  if (!error && s->readWatched && (events & EPOLLIN)) {
    callSocket(s, kSockRead, 0);
    if (!live(s) || s->closed) return;
  }

  if (!error && s->sendPending && (events & EPOLLOUT)) {
    callSocket(s, kSockWrite, 0);
    if (!live(s) || s->closed) return;
  }

  if (failed || (s->readWatched && (events & EPOLLRDHUP))) {
    int soError = 0;
    if (error) {
      socklen_t len = sizeof soError;
      if (getsockopt(s->fd, SOL_SOCKET, SO_ERROR, &soError, &len) != 0) soError = errno;
    }
    // Data still queued behind the close is reported first: level-triggered
    // epoll brings this socket back next round with the close still pending.
    if (!error && s->readWatched) {
      int unread = 0;
      if (ioctl(s->fd, FIONREAD, &unread) == 0 && unread > 0) return;
    }
    s->closed = true;
    deregister(*s);
    callSocket(s, kSockClose, soError);
  }
}

EventLoop::EventLoop() : impl_(std::make_unique<Impl>()) {
  impl_->epfd = epoll_create1(EPOLL_CLOEXEC);
  impl_->wakeFd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  if (impl_->epfd >= 0 && impl_->wakeFd >= 0) {
    auto wake = std::make_shared<Source>();
    wake->kind = SourceKind::kWake;
    wake->fd = impl_->wakeFd;
    wake->generation = impl_->nextGeneration++;
    impl_->add(wake, EPOLLIN);
  }
}

EventLoop::~EventLoop() {
  for (auto& [id, timer] : impl_->timers) close(timer->fd);
  if (impl_->signals) close(impl_->signals->fd);
  if (impl_->wakeFd >= 0) close(impl_->wakeFd);
  if (impl_->epfd >= 0) close(impl_->epfd);
}

bool EventLoop::setTimer(uint32_t id, uint32_t periodMs, Task handler) {
  // A zero period would disarm a timerfd; the shortest real period is used instead.
  if (periodMs == 0) periodMs = 1;
  struct itimerspec period {};
  period.it_interval.tv_sec = periodMs / 1000;
  period.it_interval.tv_nsec = static_cast<long>(periodMs % 1000) * 1000000L;
  period.it_value = period.it_interval;

  auto it = impl_->timers.find(id);
  if (it != impl_->timers.end()) {
    // Restart: re-arming also clears expirations counted so far.
    if (timerfd_settime(it->second->fd, 0, &period, nullptr) != 0) return false;
    it->second->timerTask = std::move(handler);
    return true;
  }
  int fd = timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
  if (fd < 0) return false;
  auto s = std::make_shared<Source>();
  s->kind = SourceKind::kTimer;
  s->fd = fd;
  s->generation = impl_->nextGeneration++;
  s->timerId = id;
  s->timerTask = std::move(handler);
  if (timerfd_settime(fd, 0, &period, nullptr) != 0 || !impl_->add(s, EPOLLIN)) {
    close(fd);
    return false;
  }
  impl_->timers[id] = s;
  return true;
}

void EventLoop::killTimer(uint32_t id) {
  auto it = impl_->timers.find(id);
  if (it == impl_->timers.end()) return;
  std::shared_ptr<Source> s = it->second;
  impl_->timers.erase(it);
  impl_->forget(s);
  close(s->fd);
}

bool EventLoop::hasTimer(uint32_t id) const { return impl_->timers.count(id) != 0; }

bool EventLoop::stopSignalPending() const {
  if (!impl_->signals) return false;
  sigset_t pending;
  if (sigpending(&pending) != 0) return false;
  return sigismember(&pending, SIGTERM) == 1 || sigismember(&pending, SIGINT) == 1;
}

bool EventLoop::watchStopSignals(std::function<void(int signo)> handler) {
  if (impl_->signals) {
    impl_->signals->signalTask = std::move(handler);
    return true;
  }
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGTERM);
  sigaddset(&set, SIGINT);
  // Blocked in this thread; threads started afterwards inherit the mask, so the
  // signals stay pending for the signalfd instead of killing the process.
  if (pthread_sigmask(SIG_BLOCK, &set, nullptr) != 0) return false;
  int fd = signalfd(-1, &set, SFD_NONBLOCK | SFD_CLOEXEC);
  if (fd < 0) return false;
  auto s = std::make_shared<Source>();
  s->kind = SourceKind::kSignal;
  s->fd = fd;
  s->generation = impl_->nextGeneration++;
  s->signalTask = std::move(handler);
  if (!impl_->add(s, EPOLLIN)) {
    close(fd);
    return false;
  }
  impl_->signals = s;
  return true;
}

void EventLoop::post(Task task) {
  {
    std::lock_guard<std::mutex> lock(impl_->postMu);
    impl_->posted.push_back(std::move(task));
  }
  uint64_t one = 1;
  while (write(impl_->wakeFd, &one, sizeof one) < 0 && errno == EINTR) {
  }
}

bool EventLoop::watchSocket(int fd, SocketHandler handler) {
  if (fd < 0) return false;
  if (auto old = impl_->socketFor(fd)) impl_->forget(old);
  if (impl_->sources.count(fd) != 0) return false;  // one of the loop's own fds
  auto s = std::make_shared<Source>();
  s->kind = SourceKind::kSocket;
  s->fd = fd;
  s->generation = impl_->nextGeneration++;
  s->socketTask = std::move(handler);
  return impl_->add(s, impl_->socketMask(*s));
}

void EventLoop::expectConnect(int fd) {
  auto s = impl_->socketFor(fd);
  if (!s || s->closed) return;
  s->connectPending = true;
  impl_->updateSocket(*s);
}

void EventLoop::setSendPending(int fd, bool pending) {
  auto s = impl_->socketFor(fd);
  if (!s || s->closed || s->sendPending == pending) return;
  s->sendPending = pending;
  impl_->updateSocket(*s);
}

void EventLoop::setReadWatched(int fd, bool watched) {
  auto s = impl_->socketFor(fd);
  if (!s || s->closed || s->readWatched == watched) return;
  s->readWatched = watched;
  impl_->updateSocket(*s);
}

void EventLoop::unwatchSocket(int fd) {
  if (auto s = impl_->socketFor(fd)) impl_->forget(s);
}

int EventLoop::run() {
  impl_->inRun = true;
  while (!impl_->quitRequested.load()) runOnce(-1);
  impl_->quitRequested = false;
  impl_->inRun = false;
  return impl_->quitCode.load();
}

void EventLoop::runOnce(int timeoutMs) {
  struct epoll_event events[kMaxEventsPerRound];
  int n = epoll_wait(impl_->epfd, events, kMaxEventsPerRound, timeoutMs);
  if (n > 0) impl_->readyEvents += static_cast<uint64_t>(n);
  for (int i = 0; i < n; ++i) impl_->dispatch(events[i]);
}

void EventLoop::quit(int code) {
  impl_->quitCode = code;
  impl_->quitRequested = true;
  // Wakes a run() blocked in epoll_wait when quit comes from another thread.
  uint64_t one = 1;
  while (write(impl_->wakeFd, &one, sizeof one) < 0 && errno == EINTR) {
  }
}

bool EventLoop::running() const { return impl_->inRun.load(); }

uint64_t EventLoop::handlersRun() const { return impl_->handlersRun.load(); }

uint64_t EventLoop::readyEventsSeen() const { return impl_->readyEvents.load(); }

size_t EventLoop::watchedSocketCount() const {
  size_t count = 0;
  for (const auto& [fd, s] : impl_->sources) count += s->kind == SourceKind::kSocket;
  return count;
}

}  // namespace lark
