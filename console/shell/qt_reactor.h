// The console link's reactor on Qt's loop: QSocketNotifier for sockets,
// QTimer for timers, queued calls for posts. The link must live on Qt's loop
// because modal dialogs spin nested loops; a socket's handler is never
// re-entered from such a nested loop (its notifiers wait until it returns).
#pragma once
#include <QObject>
#include <QSocketNotifier>
#include <QTimer>
#include <map>
#include <memory>

#include "console/link/reactor.h"

namespace lark {

class QtReactor final : public QObject, public Reactor {
 public:
  QtReactor();
  ~QtReactor() override;

  bool watchSocket(int fd, SocketHandler handler) override;
  void expectConnect(int fd) override;
  void setSendPending(int fd, bool pending) override;
  void setReadWatched(int fd, bool watched) override;
  void unwatchSocket(int fd) override;
  bool setTimer(uint32_t id, uint32_t periodMs, Task handler) override;
  void killTimer(uint32_t id) override;
  void post(Task task) override;

 private:
  struct Watch;
  void onReadable(const std::shared_ptr<Watch>& w);
  void onWritable(const std::shared_ptr<Watch>& w);
  void deliver(const std::shared_ptr<Watch>& w, uint32_t events, int error);
  void refresh(Watch& w);

  std::map<int, std::shared_ptr<Watch>> watches_;
  std::map<uint32_t, std::unique_ptr<QTimer>> timers_;
};

}  // namespace lark
