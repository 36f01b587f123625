#include "console/shell/qt_reactor.h"

#include <errno.h>
#include <sys/socket.h>

namespace lark {

struct QtReactor::Watch {
  int fd = -1;
  SocketHandler handler;
  std::unique_ptr<QSocketNotifier> read, write;
  bool stream = true;      // recv() == 0 means the peer closed
  bool listener = false;
  bool connecting = false;
  bool sendPending = false;
  bool readWatched = true;
  bool inHandler = false;  // a nested loop must not run the handler again
  bool closed = false;     // close reported: nothing more
  bool gone = false;       // unwatched
};

QtReactor::QtReactor() = default;

QtReactor::~QtReactor() {
  for (auto& [fd, w] : watches_) w->gone = true;
}

bool QtReactor::watchSocket(int fd, SocketHandler handler) {
  unwatchSocket(fd);
  auto w = std::make_shared<Watch>();
  w->fd = fd;
  w->handler = std::move(handler);
  int type = 0, accepting = 0;
  socklen_t n = sizeof type;
  if (getsockopt(fd, SOL_SOCKET, SO_TYPE, &type, &n) != 0) return false;
  n = sizeof accepting;
  getsockopt(fd, SOL_SOCKET, SO_ACCEPTCONN, &accepting, &n);
  w->stream = type == SOCK_STREAM;
  w->listener = accepting != 0;
  w->read = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
  w->write = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Write);
  std::weak_ptr<Watch> weak = w;
  QObject::connect(w->read.get(), &QSocketNotifier::activated, this, [this, weak] {
    if (auto s = weak.lock()) onReadable(s);
  });
  QObject::connect(w->write.get(), &QSocketNotifier::activated, this, [this, weak] {
    if (auto s = weak.lock()) onWritable(s);
  });
  watches_[fd] = w;
  refresh(*w);
  return true;
}

void QtReactor::refresh(Watch& w) {
  const bool live = !w.gone && !w.closed && !w.inHandler;
  w.read->setEnabled(live && w.readWatched && !w.connecting);  // the connect outcome first
  w.write->setEnabled(live && (w.connecting || w.sendPending));
}

void QtReactor::expectConnect(int fd) {
  auto it = watches_.find(fd);
  if (it == watches_.end()) return;
  it->second->connecting = true;
  refresh(*it->second);
}

void QtReactor::setSendPending(int fd, bool pending) {
  auto it = watches_.find(fd);
  if (it == watches_.end()) return;
  it->second->sendPending = pending;
  refresh(*it->second);
}

void QtReactor::setReadWatched(int fd, bool watched) {
  auto it = watches_.find(fd);
  if (it == watches_.end()) return;
  it->second->readWatched = watched;
  refresh(*it->second);
}

void QtReactor::unwatchSocket(int fd) {
  auto it = watches_.find(fd);
  if (it == watches_.end()) return;
  std::shared_ptr<Watch> w = it->second;
  watches_.erase(it);
  w->gone = true;
  w->read->setEnabled(false);
  w->write->setEnabled(false);
  // The notifiers may be inside their own signal: delete them later.
  w->read.release()->deleteLater();
  w->write.release()->deleteLater();
}

void QtReactor::deliver(const std::shared_ptr<Watch>& w, uint32_t events, int error) {
  w->inHandler = true;
  refresh(*w);
  SocketHandler h = w->handler;  // the handler may unwatch (and so free) itself
  h(w->fd, events, error);
  w->inHandler = false;
  if (!w->gone) refresh(*w);
}

void QtReactor::onReadable(const std::shared_ptr<Watch>& w) {
  if (w->gone || w->closed || w->inHandler) return;
  if (w->listener || !w->stream) {
    deliver(w, kSockRead, 0);
    return;
  }
  // A close is found by peeking: recv() == 0 with nothing left to read.
  char c;
  const ssize_t n = ::recv(w->fd, &c, 1, MSG_PEEK | MSG_DONTWAIT);
  if (n > 0) {
    deliver(w, kSockRead, 0);
  } else if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) {
    const int error = n == 0 ? 0 : errno;
    w->closed = true;
    deliver(w, kSockClose, error);
  }
}

void QtReactor::onWritable(const std::shared_ptr<Watch>& w) {
  if (w->gone || w->closed || w->inHandler) return;
  if (w->connecting) {
    w->connecting = false;
    int error = 0;
    socklen_t n = sizeof error;
    getsockopt(w->fd, SOL_SOCKET, SO_ERROR, &error, &n);
    if (error != 0) w->closed = true;  // a failed connect reports nothing after it
    deliver(w, kSockConnect, error);
    return;
  }
  if (w->sendPending) deliver(w, kSockWrite, 0);
}

bool QtReactor::setTimer(uint32_t id, uint32_t periodMs, Task handler) {
  killTimer(id);  // may be the timer whose handler sets it again
  auto& t = timers_[id];
  t = std::make_unique<QTimer>();
  t->setInterval(static_cast<int>(periodMs));
  QObject::connect(t.get(), &QTimer::timeout, this, [h = std::move(handler)] { h(); });
  t->start();
  return true;
}

void QtReactor::killTimer(uint32_t id) {
  auto it = timers_.find(id);
  if (it == timers_.end()) return;
  it->second->stop();
  it->second.release()->deleteLater();  // may be the timer whose handler runs now
  timers_.erase(it);
}

void QtReactor::post(Task task) {
  QMetaObject::invokeMethod(this, [t = std::move(task)] { t(); }, Qt::QueuedConnection);
}

}  // namespace lark
