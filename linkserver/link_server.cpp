// Map of this file: socket helpers; start, stop and the one-second pass; the
// listener and the overflow session; console sessions (receive pump, frame
// handling, send pump); discovery; call-back sessions and the queue-1
// dispatcher.
#include "linkserver/link_server.h"

#include <arpa/inet.h>
#include <errno.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

#include "linkserver/command_queue.h"
#include "linkserver/control_lock.h"
#include "core/event_log_sink.h"
#include "platform/clock.h"
#include "platform/event_loop.h"

namespace lark {

namespace {

constexpr size_t kMaxPendingDevicePushes = 1000;
constexpr int kDatagramsPerEvent = 64;

sockaddr_in MakeAddr(uint32_t address, uint16_t port) {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(address);
  a.sin_port = htons(port);
  return a;
}

LinkPeer PeerOf(const sockaddr_in& a) { return {ntohl(a.sin_addr.s_addr), ntohs(a.sin_port)}; }

LinkPeer LocalOf(int fd) {
  sockaddr_in a{};
  socklen_t len = sizeof a;
  if (getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) != 0) return {};
  return PeerOf(a);
}

LinkPeer RemoteOf(int fd) {
  sockaddr_in a{};
  socklen_t len = sizeof a;
  if (getpeername(fd, reinterpret_cast<sockaddr*>(&a), &len) != 0) return {};
  return PeerOf(a);
}

bool WouldBlock(int err) { return err == EAGAIN || err == EWOULDBLOCK; }

// A bound, non-blocking socket of `type`; -1 on failure (nothing left open).
int OpenBound(int type, uint32_t address, uint16_t port) {
  int fd = socket(AF_INET, type | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  int one = 1;
  // A restarted service must get its ports back while old connections linger.
  setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in a = MakeAddr(address, port);
  if (bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

}  // namespace

std::string FormatLogText(const std::string& text, const std::string& value) {
  std::string out;
  out.reserve(text.size() + value.size());
  bool substituted = false;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 1 < text.size()) {
      if (text[i + 1] == 's' && !substituted) {
        out += value;
        substituted = true;
        ++i;
        continue;
      }
      if (text[i + 1] == '%') {
        out += '%';
        ++i;
        continue;
      }
    }
    out += text[i];
  }
  return out;
}

LinkServer::LinkServer(EventLoop& loop, const Clock& clock, EventLogSink& log,
                       CommandQueues& queues, LinkServices& services, LinkServerOptions options)
    : loop_(loop),
      clock_(clock),
      log_(log),
      queues_(queues),
      services_(services),
      options_(options),
      connectionLines_(options.connectionLinesPerMinute) {
  if (services_.host == nullptr) services_.host = this;
}

LinkServer::~LinkServer() {
  stop();
  if (services_.host == this) services_.host = nullptr;
}

// ---- start, stop, the one-second pass ----

bool LinkServer::start() {
  connectionLines_.start(clock_.tickMs());
  closeAllSessions();
  closeListener();
  openListener();
  closeDiscovery();
  return openDiscovery();
}

void LinkServer::stop() {
  closeAllSessions();
  closeListener();
  closeDiscovery();
}

void LinkServer::tick() {
  const uint32_t now = clock_.tickMs();
  if (!listening()) openListener();
  // Accept failed for lack of descriptors: try again once a second. A full
  // house stays paused (a close resumes it), so a waiting connection costs nothing.
  if (listenerPaused_ && freePlace() >= 0) resumeListener();

  for (int slot = 0; slot < kLinkSlotCount; ++slot) {
    LinkSession& s = consoles_[slot];
    if (s.state == SessionState::kConnected) {
      // A partial frame or a half-sent reply cannot be dropped without losing
      // the frame boundary; the console reconnects on its own.
      if (s.awaiting && TickElapsed(now, s.awaitStartTick) >= options_.deferredReplyMs)
        completeDeferred(slot, s.awaitSerial, nullptr);
      const bool receiveStuck = !s.awaiting && !s.sending() && s.receivedCount > 0 &&
                                TickElapsed(now, s.receiveStartTick) >= options_.transferTimeoutMs;
      const bool sendStuck =
          s.sending() && TickElapsed(now, s.sendStartTick) >= options_.transferTimeoutMs;
      const bool idle = TickElapsed(now, s.lastActivityTick) >= options_.idleTimeoutMs;
      // A slot is held only by a console, and a console says Hello first.
      const bool noHello =
          !s.helloSeen && TickElapsed(now, s.openedTick) >= options_.helloTimeoutMs;
      if (receiveStuck || sendStuck || idle || noHello) closeConsole(slot, true);
    }
    LinkSession& c = callBacks_[slot];
    if (c.state == SessionState::kConnecting) {
      if (++c.connectPasses >= options_.callBackConnectPasses) closeCallBack(slot);
    } else if (c.state == SessionState::kConnected && c.sending() &&
               TickElapsed(now, c.sendStartTick) >= options_.pushTimeoutMs) {
      closeCallBack(slot);
    }
  }
  if (overflow_.open() && TickElapsed(now, overflow_.openedTick) >= options_.overflowLifetimeMs) {
    closeConsole(kOverflowSlot, false);
  }
  if (!discoveryOpen()) openDiscovery();
  rollConnectionMinute(now);
}

int LinkServer::connectedConsoles() const {
  return static_cast<int>(std::count_if(consoles_.begin(), consoles_.end(), [](const auto& s) {
    return s.state == SessionState::kConnected;
  }));
}

int LinkServer::connectedCallBacks() const {
  return static_cast<int>(std::count_if(callBacks_.begin(), callBacks_.end(), [](const auto& s) {
    return s.state == SessionState::kConnected;
  }));
}

bool LinkServer::anyConsoleBelowVersion(uint16_t version) const {
  return std::any_of(consoles_.begin(), consoles_.end(), [&](const LinkSession& s) {
    return s.state == SessionState::kConnected && s.protocolVersion < version;
  });
}

void LinkServer::closeSocket(LinkSession& s) {
  if (s.fd >= 0) {
    loop_.unwatchSocket(s.fd);
    close(s.fd);
  }
  s.clear();
}

void LinkServer::closeAllSessions() {
  for (int slot = 0; slot < kLinkSlotCount; ++slot) closeConsole(slot, false);
  closeConsole(kOverflowSlot, false);
}

// ---- listener and overflow session ----

bool LinkServer::openListener() {
  closeListener();
  int fd = OpenBound(SOCK_STREAM, options_.bindAddress, options_.tcpPort);
  if (fd < 0) return false;
  if (listen(fd, 5) != 0 ||
      !loop_.watchSocket(fd, [this](int, uint32_t ev, int err) { onListener(ev, err); })) {
    close(fd);
    return false;
  }
  listener_.fd = fd;
  listener_.state = SessionState::kListening;
  listener_.local = LocalOf(fd);
  boundTcpPort_ = listener_.local.port;
  listenerPaused_ = false;
  // Slots may all be taken already (the listener re-opened under load).
  acceptPending();
  return true;
}

void LinkServer::closeListener() {
  closeSocket(listener_);
  listenerPaused_ = false;
}

void LinkServer::pauseListener() {
  if (listener_.fd < 0 || listenerPaused_) return;
  // Level-triggered: an un-accepted connection would report again every round.
  loop_.setReadWatched(listener_.fd, false);
  listenerPaused_ = true;
}

void LinkServer::resumeListener() {
  if (listener_.fd < 0 || !listenerPaused_) return;
  listenerPaused_ = false;
  loop_.setReadWatched(listener_.fd, true);
}

void LinkServer::onListener(uint32_t events, int error) {
  if (events & kSockClose) {
    // The listener alone failed; sessions go on and the next pass re-opens it.
    closeListener();
    return;
  }
  if (events & kSockRead) acceptPending();
}

int LinkServer::freePlace() const {
  for (int i = 0; i < kLinkSlotCount; ++i) {
    if (!consoles_[i].open()) return i;
  }
  return overflow_.open() ? -1 : kOverflowSlot;
}

void LinkServer::acceptPending() {
  while (listener_.fd >= 0) {
    const int slot = freePlace();
    if (slot < 0) {
      pauseListener();
      return;
    }
    sockaddr_in peer{};
    socklen_t len = sizeof peer;
    int fd = accept4(listener_.fd, reinterpret_cast<sockaddr*>(&peer), &len,
                     SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) {
      if (errno == EINTR || errno == ECONNABORTED) continue;
      // Out of descriptors: stop the level-triggered report; tick() retries.
      if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) {
        pauseListener();
      }
      return;
    }
    openConsole(slot, fd);
  }
}

void LinkServer::openConsole(int slot, int fd) {
  LinkSession& s = sessionOf(slot);
  const uint32_t now = clock_.tickMs();
  s.clear();
  s.fd = fd;
  s.index = slot == kOverflowSlot ? -1 : slot;
  s.state = slot == kOverflowSlot ? SessionState::kOverflow : SessionState::kConnected;
  s.local = LocalOf(fd);
  s.peer = RemoteOf(fd);
  s.openedTick = s.lastActivityTick = now;
  int one = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  if (!loop_.watchSocket(
          fd, [this, slot](int f, uint32_t ev, int err) { onConsole(slot, f, ev, err); })) {
    close(fd);
    s.clear();
    return;
  }
  if (slot == kOverflowSlot) return;
  logConsole(kTextConsoleConnected, s);
  if (services_.slotOpened) services_.slotOpened(slot);
}

void LinkServer::logConsole(int textIndex, const LinkSession& s) {
  if (!texts_) return;
  std::string text = texts_(textIndex);
  if (text.empty()) return;
  const uint32_t now = clock_.tickMs();
  rollConnectionMinute(now);
  if (!connectionLines_.allow(textIndex == kTextConsoleConnected)) return;
  log_.WriteEventLog(0, kLevelInformation, kSystemEventCode, FormatLogText(text, s.peer.text()));
}

void LinkServer::rollConnectionMinute(uint32_t now) {
  if (const int held = connectionLines_.roll(now); held > 0) {
    log_.WriteEventLog(0, kLevelInformation, kSystemEventCode,
                       std::to_string(held) + " more console connections");
  }
}

void LinkServer::closeConsole(int slot, bool logIt) {
  LinkSession& s = sessionOf(slot);
  if (!s.open()) return;
  if (logIt && slot != kOverflowSlot) logConsole(kTextConsoleDisconnected, s);
  closeSocket(s);
  if (slot != kOverflowSlot) {
    closeCallBack(slot);
    if (services_.slotClosed) services_.slotClosed(slot);
  }
  // A slot or the overflow session is free again.
  resumeListener();
}

// ---- console sessions: receive pump, frames, send pump ----

void LinkServer::onConsole(int slot, int fd, uint32_t events, int error) {
  LinkSession& s = sessionOf(slot);
  if (s.fd != fd) return;  // a notification for a socket this slot no longer holds
  if (events & kSockRead) {
    receive(slot);
    if (s.fd != fd) return;
  }
  if (events & kSockWrite) {
    if (flushReply(slot)) handleFrames(slot);
    if (s.fd != fd) return;
  }
  if (events & kSockClose) closeConsole(slot, true);
}

void LinkServer::receive(int slot) {
  LinkSession& s = sessionOf(slot);
  const size_t room = kLinkBufferSize - s.receivedCount;
  if (room == 0) {
    loop_.setReadWatched(s.fd, false);
    return;
  }
  ssize_t n;
  do {
    n = recv(s.fd, s.receiveBuffer.data() + s.receivedCount, room, 0);
  } while (n < 0 && errno == EINTR);
  if (n < 0 && WouldBlock(errno)) return;
  if (n <= 0) {
    // Closed or failed: only this console and its call-back go.
    closeConsole(slot, true);
    return;
  }
  const uint32_t now = clock_.tickMs();
  if (s.receivedCount == 0) s.receiveStartTick = now;
  s.receivedCount += static_cast<size_t>(n);
  handleFrames(slot);
}

void LinkServer::handleFrames(int slot) {
  LinkSession& s = sessionOf(slot);
  const int fd = s.fd;
  // One reply at a time: frames behind it wait in the buffer, answered in order.
  while (s.fd == fd && !s.sending() && !s.awaiting) {
    std::optional<size_t> total = LinkFrameSize(CBytes(s.receiveBuffer.data(), s.receivedCount));
    if (!total || s.receivedCount < *total) {
      s.phase = s.receivedCount > 0 ? kPhasePartial : kPhaseIdle;
      break;
    }
    s.phase = kPhaseComplete;
    size_t replySize = 0;
    if (*total > kLinkHeaderSize) {  // a frame of length 0 carries nothing to answer
      // Only a frame with content keeps the slot: empty frames are no activity.
      s.lastActivityTick = clock_.tickMs();
      LinkFrameView frame(CBytes(s.receiveBuffer.data(), *total));
      if (frame.kind() == kLinkKindRequest && frame.command() == kLinkCmdHello) s.helloSeen = true;
      LinkRequest request(CBytes(s.receiveBuffer.data(), *total), slot, s.peer, s.protocolVersion,
                          services_);
      LinkFrameBuilder reply(Bytes(s.sendBuffer.data(), s.sendBuffer.size()));
      replySize = DispatchLinkRequest(request, reply);
    }
    // Dispatch may have closed this session's call-back, never the session itself.
    std::memmove(s.receiveBuffer.data(), s.receiveBuffer.data() + *total, s.receivedCount - *total);
    s.receivedCount -= *total;
    s.receiveStartTick = clock_.tickMs();
    if (replySize == 0) continue;
    s.sendLength = replySize;
    s.sendPosition = 0;
    s.sendStartTick = clock_.tickMs();
    s.phase = kPhaseReplying;
    if (!flushReply(slot)) return;
  }
  if (s.fd == fd) loop_.setReadWatched(fd, s.receivedCount < kLinkBufferSize);
}

LinkReplyLater LinkServer::deferReply(int slot, CBytes frame) {
  if (slot < 0 || slot >= kLinkSlotCount) return {};
  LinkSession& s = consoles_[slot];
  s.awaiting = true;
  s.awaitSerial = ++deferSerial_;
  s.awaitStartTick = clock_.tickMs();
  s.awaitFrame.assign(frame.begin(), frame.end());
  std::weak_ptr<int> alive = alive_;
  return [this, alive, slot, serial = s.awaitSerial](LinkReplyFill fill) {
    return alive.lock() && completeDeferred(slot, serial, fill);
  };
}

// The deferred reply goes out in the request's place (a null fill answers
// the failure code), then the frames that waited behind it are handled.
bool LinkServer::completeDeferred(int slot, uint32_t serial, const LinkReplyFill& fill) {
  LinkSession& s = consoles_[slot];
  if (!s.awaiting || s.awaitSerial != serial || s.state != SessionState::kConnected) return false;
  s.awaiting = false;
  std::vector<uint8_t> frame = std::move(s.awaitFrame);
  s.awaitFrame.clear();
  LinkRequest request(CBytes(frame), slot, s.peer, s.protocolVersion, services_);
  LinkFrameBuilder reply(Bytes(s.sendBuffer.data(), s.sendBuffer.size()));
  const size_t size = FinishDeferredReply(request, reply, fill);
  if (size > 0) {
    s.sendLength = size;
    s.sendPosition = 0;
    s.sendStartTick = clock_.tickMs();
    s.phase = kPhaseReplying;
    if (!flushReply(slot)) return true;
  }
  handleFrames(slot);
  return true;
}

bool LinkServer::flushReply(int slot) {
  LinkSession& s = sessionOf(slot);
  while (s.sending()) {
    ssize_t n = send(s.fd, s.sendBuffer.data() + s.sendPosition, s.sendLength - s.sendPosition,
                     MSG_NOSIGNAL);
    if (n < 0) {
      if (errno == EINTR) continue;
      if (WouldBlock(errno)) {
        loop_.setSendPending(s.fd, true);
        return false;
      }
      closeConsole(slot, true);
      return false;
    }
    s.sendPosition += static_cast<size_t>(n);
  }
  loop_.setSendPending(s.fd, false);
  s.sendLength = s.sendPosition = 0;
  s.phase = s.receivedCount > 0 ? kPhasePartial : kPhaseIdle;
  if (slot == kOverflowSlot) {
    // It has said "server full"; free it for the next console that tries.
    closeConsole(kOverflowSlot, false);
    return false;
  }
  return true;
}

// ---- discovery ----

bool LinkServer::openDiscovery() {
  closeDiscovery();
  int fd = OpenBound(SOCK_DGRAM, options_.bindAddress, options_.udpPort);
  if (fd < 0) return false;
  if (!loop_.watchSocket(fd, [this](int, uint32_t ev, int err) { onDiscovery(ev, err); })) {
    close(fd);
    return false;
  }
  udp_.fd = fd;
  udp_.state = SessionState::kListening;
  udp_.local = LocalOf(fd);
  boundUdpPort_ = udp_.local.port;
  return true;
}

void LinkServer::closeDiscovery() {
  closeSocket(udp_);
  discoverAnswerPending_ = false;
}

void LinkServer::onDiscovery(uint32_t events, int error) {
  if (events & kSockClose) {
    closeDiscovery();  // re-opened by the next pass
    return;
  }
  if (events & kSockWrite) sendDiscoverAnswer();
  if (!(events & kSockRead)) return;
  for (int i = 0; i < kDatagramsPerEvent && udp_.fd >= 0 && !discoverAnswerPending_; ++i) {
    sockaddr_in from{};
    socklen_t len = sizeof from;
    ssize_t n = recvfrom(udp_.fd, udp_.receiveBuffer.data(), udp_.receiveBuffer.size(), 0,
                         reinterpret_cast<sockaddr*>(&from), &len);
    if (n < 0) {
      if (errno == EINTR) continue;
      if (WouldBlock(errno) || errno == ECONNREFUSED) return;
      closeDiscovery();
      return;
    }
    // Each datagram stands alone: a short or foreign one is dropped whole.
    CBytes datagram(udp_.receiveBuffer.data(), static_cast<size_t>(n));
    std::optional<size_t> total = LinkFrameSize(datagram);
    if (!total || datagram.size() < *total || *total <= kLinkOffCommand) continue;
    LinkFrameView frame(datagram);
    if (frame.kind() != kLinkKindRequest || frame.command() != kLinkCmdHello) continue;
    udp_.peer = PeerOf(from);
    std::memcpy(udp_.sendBuffer.data(), kDiscoverAnswer, sizeof kDiscoverAnswer);
    udp_.sendLength = sizeof kDiscoverAnswer;
    udp_.sendPosition = 0;
    discoverAnswerPending_ = true;
    sendDiscoverAnswer();
  }
}

void LinkServer::sendDiscoverAnswer() {
  if (!discoverAnswerPending_ || udp_.fd < 0) return;
  sockaddr_in to = MakeAddr(udp_.peer.address, udp_.peer.port);
  ssize_t n;
  do {
    n = sendto(udp_.fd, udp_.sendBuffer.data(), udp_.sendLength, 0,
               reinterpret_cast<sockaddr*>(&to), sizeof to);
  } while (n < 0 && errno == EINTR);
  if (n < 0 && WouldBlock(errno)) {
    loop_.setSendPending(udp_.fd, true);
    return;
  }
  // Sent, or the sender cannot be reached: either way this answer is done.
  loop_.setSendPending(udp_.fd, false);
  discoverAnswerPending_ = false;
  udp_.resetBuffers();
}

// ---- call-back sessions ----

bool LinkServer::openCallBack(int slot, uint16_t port) {
  if (slot < 0 || slot >= kLinkSlotCount || !consoles_[slot].open()) return false;
  closeCallBack(slot);
  if (port == 0) return false;  // the console has no listener yet
  LinkSession& c = callBacks_[slot];
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  c.peer = LinkPeer{consoles_[slot].peer.address, port};
  sockaddr_in to = MakeAddr(c.peer.address, port);
  int rc;
  do {
    rc = connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to);
  } while (rc != 0 && errno == EINTR);
  if (rc != 0 && errno != EINPROGRESS) {
    close(fd);
    c.clear();
    return false;
  }
  if (!loop_.watchSocket(
          fd, [this, slot](int f, uint32_t ev, int err) { onCallBack(slot, f, ev, err); })) {
    close(fd);
    c.clear();
    return false;
  }
  c.fd = fd;
  c.index = slot;
  c.openedTick = clock_.tickMs();
  if (rc == 0) {
    callBackConnected(slot);
  } else {
    c.state = SessionState::kConnecting;
    c.connectPasses = 0;
    loop_.expectConnect(fd);
  }
  return true;
}

void LinkServer::callBackConnected(int slot) {
  LinkSession& c = callBacks_[slot];
  c.state = SessionState::kConnected;
  c.phase = kPhaseIdle;
  c.local = LocalOf(c.fd);
  int one = 1;
  setsockopt(c.fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  // A console that connects back while the lock is held learns who holds it.
  if (services_.lock.active()) {
    queues_.push(kServiceClientSlot, kCommandQueueConsoles, kCmdCodeControlLock);
  }
}

void LinkServer::closeCallBack(int slot) { closeSocket(callBacks_[slot]); }

void LinkServer::onCallBack(int slot, int fd, uint32_t events, int error) {
  LinkSession& c = callBacks_[slot];
  if (c.fd != fd) return;
  if (events & kSockConnect) {
    if (error != 0) {
      closeCallBack(slot);
      return;
    }
    callBackConnected(slot);
  }
  if (events & kSockRead) {
    // The console's answers to pushes carry nothing the service uses.
    ssize_t n;
    do {
      n = recv(fd, c.receiveBuffer.data(), c.receiveBuffer.size(), 0);
    } while (n < 0 && errno == EINTR);
    if (n == 0 || (n < 0 && !WouldBlock(errno))) {
      closeCallBack(slot);
      return;
    }
  }
  if (events & kSockWrite) {
    if (flushPush(slot)) startNextPush(slot);
    if (c.fd != fd) return;
  }
  if (events & kSockClose) closeCallBack(slot);
}

void LinkServer::pushLock(int slot) {
  LinkSession& c = callBacks_[slot];
  c.lockPushPending = true;  // sent now when the buffer is free, else after the current push
  if (!c.sending()) startNextPush(slot);
}

void LinkServer::pushDevice(int slot, uint16_t nodeId) {
  LinkSession& c = callBacks_[slot];
  auto& q = c.pendingDevicePushes;
  if (std::find(q.begin(), q.end(), nodeId) == q.end() && q.size() < kMaxPendingDevicePushes) {
    q.push_back(nodeId);  // the state is read when the push is built: always the latest
  }
  if (!c.sending()) startNextPush(slot);
}

void LinkServer::startNextPush(int slot) {
  LinkSession& c = callBacks_[slot];
  const int fd = c.fd;
  while (c.fd == fd && c.state == SessionState::kConnected && !c.sending()) {
    LinkFrameBuilder out(Bytes(c.sendBuffer.data(), c.sendBuffer.size()));
    if (c.lockPushPending) {
      c.lockPushPending = false;
      out.begin(kLinkKindRequest, kLinkPushControlLock);
      uint8_t img[kControlLockSize];
      services_.lock.writeImage(img, 0);
      out.putBytes(img);
    } else if (!c.pendingDevicePushes.empty()) {
      uint16_t id = c.pendingDevicePushes.front();
      c.pendingDevicePushes.pop_front();
      if (tree_ == nullptr || !BuildDeviceStatePush(*tree_, id, out)) continue;
    } else {
      return;
    }
    size_t n = out.finish();
    if (n == 0) continue;
    c.sendLength = n;
    c.sendPosition = 0;
    c.sendStartTick = clock_.tickMs();
    c.phase = kPhasePushing;
    if (!flushPush(slot)) return;
  }
}

bool LinkServer::flushPush(int slot) {
  LinkSession& c = callBacks_[slot];
  while (c.sending()) {
    ssize_t n = send(c.fd, c.sendBuffer.data() + c.sendPosition, c.sendLength - c.sendPosition,
                     MSG_NOSIGNAL);
    if (n < 0) {
      if (errno == EINTR) continue;
      if (WouldBlock(errno)) {
        loop_.setSendPending(c.fd, true);
        return false;
      }
      closeCallBack(slot);
      return false;
    }
    c.sendPosition += static_cast<size_t>(n);
  }
  loop_.setSendPending(c.fd, false);
  // No answer is awaited: the console acknowledges nothing the service reads.
  c.sendLength = c.sendPosition = 0;
  c.phase = kPhaseIdle;
  return true;
}

void LinkServer::dispatchCommandQueue() {
  for (size_t i = 0; i < kDispatchPerTick; ++i) {
    std::optional<CommandQueueEntry> e = queues_.pop(kCommandQueueConsoles);
    if (!e) return;
    if (connectedCallBacks() == 0) continue;  // nobody to tell: the entry is lost
    if (e->code == kCmdCodeControlLock) {
      for (int slot = 0; slot < kLinkSlotCount; ++slot) {
        if (callBacks_[slot].state == SessionState::kConnected) pushLock(slot);
      }
    } else if (e->code == kCmdCodeDeviceAlarmState && e->payload.size() >= 2 && tree_ != nullptr) {
      const uint16_t id = u16At(e->payload, 0);
      // A node that gives no frame (missing, a group) is sent to nobody.
      std::vector<uint8_t> probe(64);
      LinkFrameBuilder check{Bytes(probe)};
      if (!BuildDeviceStatePush(*tree_, id, check)) continue;
      for (int slot = 0; slot < kLinkSlotCount; ++slot) {
        if (callBacks_[slot].state == SessionState::kConnected) pushDevice(slot, id);
      }
    }
  }
}

}  // namespace lark
