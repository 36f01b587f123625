// The link's sockets: the main connection to the service, the call-back
// listener and connection, and the server search.
#include <arpa/inet.h>
#include <errno.h>
#include <ifaddrs.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "console/link/device_data.h"
#include "console/link/request_frame.h"
#include "console/link/service_link.h"
#include "linkserver/control_lock.h"

namespace lark {

namespace {

constexpr uint32_t kConnectTimeoutMs = 50000;
constexpr uint32_t kCallBackAnnounceMs = 30000;
constexpr uint32_t kPushTimeoutMs = 5000;
constexpr uint32_t kReplyQueueTimeoutMs = 4000;
constexpr uint32_t kPlainReplyTimeoutMs = 4500;
constexpr size_t kServerListMax = 5;
constexpr size_t kLockPushSize = 5 + kControlLockSize;
// Bytes (or datagrams) read per wake-up: past it the handler returns to the
// loop and the level-triggered notifier brings it back, so a peer sending
// faster than the console reads never holds the window.
constexpr size_t kReadBudgetBytes = 256 * 1024;
constexpr int kReadBudgetDatagrams = 64;
// The service answers each request once: replies beyond the requests sent
// (a few late duplicates allowed) come from a peer that is not one.
constexpr int32_t kStrayReplySlack = 8;
// Pushes come on changes of device state; many more than this in a second
// is a flood, not a fleet.
constexpr uint32_t kMaxPushesPerSecond = 10000;

// The console has no event log: link refusals go to stderr, one line each.
void LinkNotice(const std::string& text) {
  std::fprintf(stderr, "Larkview link: %s\n", text.c_str());
}

std::string AddressText(const sockaddr_in& a) {
  char buf[INET_ADDRSTRLEN] = {};
  inet_ntop(AF_INET, &a.sin_addr, buf, sizeof buf);
  return buf;
}

// This computer's own interface addresses.
std::vector<in_addr_t> OwnAddresses() {
  std::vector<in_addr_t> own;
  ifaddrs* list = nullptr;
  if (getifaddrs(&list) != 0) return own;
  for (ifaddrs* i = list; i != nullptr; i = i->ifa_next) {
    if (i->ifa_addr != nullptr && i->ifa_addr->sa_family == AF_INET)
      own.push_back(reinterpret_cast<sockaddr_in*>(i->ifa_addr)->sin_addr.s_addr);
  }
  freeifaddrs(list);
  return own;
}

// Whether a call-back comes from the service's computer: its address, or
// loopback for a service on loopback (one on 127.0.0.2 calls from 127.0.0.1).
bool SameHost(in_addr_t a, in_addr_t b) {
  auto loopback = [](in_addr_t x) { return (ntohl(x) >> 24) == 127; };
  return a == b || (loopback(a) && loopback(b));
}

void ReadAddresses(LinkRecord& rec) {
  socklen_t n = sizeof rec.local;
  getsockname(rec.fd, reinterpret_cast<sockaddr*>(&rec.local), &n);
  n = sizeof rec.peer;
  getpeername(rec.fd, reinterpret_cast<sockaddr*>(&rec.peer), &n);
}

}  // namespace

void ServiceLink::closeSocket(LinkRecord& rec, uint32_t transfer) {
  if (rec.fd >= 0) {
    reactor_.unwatchSocket(rec.fd);
    ::close(rec.fd);
  }
  rec.fd = -1;
  rec.connState = kConnClosed;
  rec.transfer = transfer;
  rec.send.clear();
  rec.sent = 0;
  rec.recv.clear();
}

void ServiceLink::closeAllSockets() {
  closeSocket(main_, kXferIdle);
  closeSocket(listener_, kXferIdle);
  closeSocket(callBack_, kXferIdle);
}

// ---- one-second steps ----

void ServiceLink::secondTick() {
  const uint32_t now = clock_.tickMs();
  if (!discoveryOpen_) discoveryOpen_ = openDiscoverySocket();
  // The first offer of the Connect To Server dialog: it connects at once
  // when it finds the link at 1 (auto-connect), so this tick does not.
  bool offered = false;
  if (state_.state == 0) {
    requestState(1, 0);
    if (dialogs_) {
      if (!autoConnect_) requestState(2, 0);
      if (!dialogs_->connectOpen()) dialogs_->openConnect(false);
      offered = true;
    }
  }
  // Reconnection after a lost link: the first attempt at the next tick,
  // then one at most every 180 s; in the console the Connect To Server
  // dialog makes it, and only while none runs.
  if (lost_ && main_.connState == kConnClosed && !autoConnect_ &&
      (reconnectAttempts_ == 0 || TickElapsed(now, reconnectTick_) >= kReconnectPeriodMs)) {
    if (!dialogs_) {
      reconnectTick_ = now;
      ++reconnectAttempts_;
      connectMain();
    } else if (!dialogs_->connectOpen()) {
      reconnectTick_ = now;
      ++reconnectAttempts_;
      dialogs_->openConnect(true);
    }
  } else if (autoConnect_ && main_.connState == kConnClosed && !offered) {
    connectMain();
  } else if (main_.connState == kConnConnecting && TickElapsed(now, connectTick_) > kConnectTimeoutMs) {
    resetServiceLink(2, autoConnect_);
  }
  if (main_.connState == kConnUp) {
    if (callBackWanted_ && listener_.connState != kConnListening) {
      if (openListener()) {
        callBack_.tick = now;
        callBack_.timeoutMs = kCallBackAnnounceMs;
      }
    } else if (state_.state == 6 && state_.sub == 1 && callBack_.connState != kConnUp &&
               TickElapsed(now, callBack_.tick) > callBack_.timeoutMs) {
      // The announcement went unanswered: announce again.
      uint8_t port[2];
      putBe16(port, 0, listener_.port);
      if (queuePlain(kLinkCmdCallBack, 0, port)) {
        callBack_.tick = now;
        callBack_.timeoutMs = kCallBackAnnounceMs;
      }
    }
  }
  // Transfers past their time-out. A frame cut off half-way leaves the
  // stream out of step, so a partial one resets the link.
  if (main_.connState == kConnUp && main_.transfer >= kXferSending && main_.transfer <= kXferPartial &&
      TickElapsed(now, main_.tick) > main_.timeoutMs) {
    if (main_.transfer == kXferWaiting && main_.recv.empty()) {
      main_.transfer = kXferIdle;
      main_.send.clear();
      main_.sent = 0;
    } else {
      failMain(true);
    }
  }
  if (callBack_.connState == kConnUp && callBack_.transfer == 2 &&
      TickElapsed(now, callBack_.tick) > callBack_.timeoutMs) {
    callBackFailed();
  }
}

// ---- main link ----

void ServiceLink::connectMain() {
  resetServiceLink(2, autoConnect_);
  if (attachStep_ >= 2) detachStatusSharedMemory();
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(options_.servicePort);
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0 || inet_pton(AF_INET, server_.c_str(), &to.sin_addr) != 1) {
    if (fd >= 0) ::close(fd);
    resetServiceLink(2, autoConnect_);
    return;
  }
  main_.fd = fd;
  const int rc = ::connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to);
  if (rc != 0 && errno != EINPROGRESS) {
    resetServiceLink(2, autoConnect_);
    return;
  }
  reactor_.watchSocket(fd, [this](int, uint32_t events, int error) { onMainSocket(events, error); });
  if (rc == 0) {
    onMainSocket(kSockConnect, 0);
  } else {
    reactor_.expectConnect(fd);
    main_.connState = kConnConnecting;
    connectTick_ = clock_.tickMs();
  }
}

void ServiceLink::failMain(bool keepAutoConnect) {
  const bool wasUp = main_.connState == kConnUp;
  if (wasUp) {
    // Lost, whether by an error or by the service closing: the reconnect offers begin.
    lost_ = true;
    reconnectAttempts_ = 0;
    shmMode_ = false;
  }
  resetServiceLink(2, keepAutoConnect && autoConnect_);
}

void ServiceLink::onMainSocket(uint32_t events, int error) {
  if (events & kSockConnect) {
    if (error != 0) {
      resetServiceLink(2, false);
      return;
    }
    main_.connState = kConnUp;
    main_.transfer = kXferIdle;
    replyCredit_ = 0;
    ReadAddresses(main_);
    shmMode_ = main_.local.sin_addr.s_addr == main_.peer.sin_addr.s_addr;
    lost_ = false;
    reconnectAttempts_ = 0;
    // Without the connect dialog the link says hello itself.
    if (!dialogs_ && sendServiceRequest(500, kLinkCmdHello, 0, 10000, {})) requestState(2, 1);
    return;
  }
  if (events & kSockRead) {
    uint8_t buf[16384];
    for (size_t taken = 0; taken < kReadBudgetBytes;) {
      const size_t room = kLinkBufferSize - main_.recv.size();
      const ssize_t n = ::recv(main_.fd, buf, std::min(room, sizeof buf), 0);
      if (n > 0) {
        taken += static_cast<size_t>(n);
        receiveLinkAnswers(CBytes(buf, static_cast<size_t>(n)));
        if (main_.fd < 0) return;  // the frame reset the link
        continue;
      }
      if (n == 0) {
        failMain(false);
        return;
      }
      if (errno == EAGAIN || errno == EWOULDBLOCK || room == 0) break;
      if (errno == EINTR) continue;
      failMain(true);
      return;
    }
    sendLinkRequest();
    return;
  }
  if (events & kSockWrite) {
    sendLinkRequest();
    return;
  }
  if (events & kSockClose) failMain(false);
}

void ServiceLink::sendLinkRequest() {
  if (main_.transfer != kXferSending || main_.connState != kConnUp) return;
  while (main_.sent < main_.send.size()) {
    const ssize_t n = ::send(main_.fd, main_.send.data() + main_.sent, main_.send.size() - main_.sent, MSG_NOSIGNAL);
    if (n > 0) {
      main_.sent += static_cast<size_t>(n);
      continue;
    }
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      reactor_.setSendPending(main_.fd, true);
      return;
    }
    if (n < 0 && errno == EINTR) continue;
    failMain(true);
    return;
  }
  reactor_.setSendPending(main_.fd, false);
  main_.send.clear();
  main_.sent = 0;
  ++replyCredit_;
  main_.transfer = kXferWaiting;
  main_.tick = clock_.tickMs();
  const std::optional<LinkQueueEntry> head = queues_.peek(kRequestQueue);
  if (!head) main_.timeoutMs = kPlainReplyTimeoutMs;
  if (head) queues_.touchHead(kRequestQueue, main_.timeoutMs + 500);
}

void ServiceLink::receiveLinkAnswers(CBytes bytes) {
  std::vector<uint8_t>& buf = main_.recv;
  buf.insert(buf.end(), bytes.begin(), bytes.end());
  // Frames are taken at an offset and the buffer compacted once at the end:
  // erasing each from the front made a run of small frames quadratic.
  size_t at = 0;
  // Whole frames by their length, whatever the transfer state: a late
  // reply is consumed as a frame and never read as a header.
  while (buf.size() - at >= kLinkHeaderSize) {
    const CBytes rest(buf.data() + at, buf.size() - at);
    const size_t size = *LinkFrameSize(rest);
    if (size < kLinkHeaderSize + 2) {
      failMain(true);
      return;
    }
    if (rest.size() < size) {
      // A part that came unasked is timed too: left alone it would swallow the next reply.
      if (main_.transfer == kXferIdle) {
        main_.tick = clock_.tickMs();
        main_.timeoutMs = kPlainReplyTimeoutMs;
      }
      if (main_.transfer == kXferIdle || main_.transfer == kXferWaiting) main_.transfer = kXferPartial;
      break;
    }
    const CBytes frame = rest.first(size);
    at += size;
    if (main_.transfer == kXferPartial) main_.transfer = kXferWaiting;
    const LinkFrameView f(frame);
    if (f.kind() != kLinkKindReply || f.command() < kLinkFirstCommand || f.command() > kLinkLastCommand) {
      failMain(true);
      return;
    }
    if (main_.connState == kConnUp && --replyCredit_ < -kStrayReplySlack) {
      LinkNotice("the service sent more replies than requests; the link is reset");
      failMain(true);
      return;
    }
    const std::optional<LinkQueueEntry> head = queues_.peek(kRequestQueue);
    if (!head || head->state != kEntryInProgress || head->command != f.command()) continue;
    if (head->priority == 1) {
      // A dialog's reply counts only for the request that still waits.
      if (head->requestId == pending_.sequence) {
        pending_.reply.assign(frame.begin(), frame.end());
        pending_.replyFlag = 2;
        // Taken after this frame is done with: the taker may send the next request.
        reactor_.post([this, sequence = pending_.sequence] { pendingReplyIn(sequence); });
      }
    } else {
      queues_.put(0, kRequestQueue, kReplyQueue, kKindReply, f.command(), kReplyQueueTimeoutMs, 0,
                  std::vector<uint8_t>(frame.begin(), frame.end()));
    }
    queues_.dropHead(kRequestQueue);
    main_.transfer = kXferIdle;
  }
  buf.erase(buf.begin(), buf.begin() + static_cast<ptrdiff_t>(at));
}

// ---- call-back listener and connection ----

bool ServiceLink::openListener() {
  closeSocket(listener_, kXferIdle);
  if (nextListenerPort_ < options_.callBackFirstPort || nextListenerPort_ > options_.callBackFirstPort + 4)
    nextListenerPort_ = options_.callBackFirstPort;
  const uint16_t port = nextListenerPort_;
  nextListenerPort_ = static_cast<uint16_t>(port + 1);
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  const int one = 1;
  setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(port);
  a.sin_addr.s_addr = htonl(INADDR_ANY);
  if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(fd, 5) != 0) {
    ::close(fd);
    return false;
  }
  listener_.fd = fd;
  listener_.port = port;
  listener_.connState = kConnListening;
  reactor_.watchSocket(fd, [this](int, uint32_t events, int error) { onListenerSocket(events, error); });
  return true;
}

void ServiceLink::onListenerSocket(uint32_t events, int error) {
  if ((events & kSockClose) || error != 0) {
    callBackFailed();
    return;
  }
  if (!(events & kSockRead)) return;
  sockaddr_in from{};
  socklen_t n = sizeof from;
  const int fd = ::accept4(listener_.fd, reinterpret_cast<sockaddr*>(&from), &n, SOCK_NONBLOCK | SOCK_CLOEXEC);
  if (fd < 0) return;
  // Only the service we are connected to may call back, and only once.
  if (callBack_.connState != kConnClosed || main_.connState != kConnUp ||
      !SameHost(from.sin_addr.s_addr, main_.peer.sin_addr.s_addr)) {
    ::close(fd);
    return;
  }
  callBack_.fd = fd;
  callBack_.connState = kConnUp;
  callBack_.transfer = kXferIdle;
  pushWindowTick_ = clock_.tickMs();
  pushesInWindow_ = 0;
  ReadAddresses(callBack_);
  reactor_.watchSocket(fd, [this](int, uint32_t ev, int err) { onCallBackSocket(ev, err); });
  reactor_.setReadWatched(listener_.fd, false);  // no second connection while this one is up
}

void ServiceLink::callBackFailed() {
  closeSocket(listener_, kXferIdle);
  closeSocket(callBack_, kXferIdle);
  requestState(6, 0);
}

void ServiceLink::onCallBackSocket(uint32_t events, int error) {
  if (events & kSockRead) {
    uint8_t buf[8192];
    for (size_t taken = 0; taken < kReadBudgetBytes;) {
      const ssize_t n = ::recv(callBack_.fd, buf, sizeof buf, 0);
      if (n > 0) {
        taken += static_cast<size_t>(n);
        receiveServerFrames(CBytes(buf, static_cast<size_t>(n)));
        if (callBack_.fd < 0) return;
        continue;
      }
      if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
      if (n < 0 && errno == EINTR) continue;
      callBackFailed();
      return;
    }
    continueServerSend();
    return;
  }
  if (events & kSockWrite) {
    continueServerSend();
    return;
  }
  if ((events & kSockClose) || error != 0) callBackFailed();
}

void ServiceLink::continueServerSend() {
  // The console answers a push with nothing: the step completes at once.
  if (callBack_.transfer == 4) callBack_.transfer = kXferIdle;
}

void ServiceLink::receiveServerFrames(CBytes bytes) {
  std::vector<uint8_t>& buf = callBack_.recv;
  const uint32_t now = clock_.tickMs();
  if (buf.empty() && callBack_.transfer == kXferIdle) {
    callBack_.tick = now;
    callBack_.timeoutMs = kPushTimeoutMs;
  }
  if (buf.size() + bytes.size() > kLinkBufferSize) {
    callBackFailed();
    return;
  }
  buf.insert(buf.end(), bytes.begin(), bytes.end());
  size_t at = 0;  // frames taken at an offset, the buffer compacted once
  while (buf.size() - at >= kLinkHeaderSize) {
    const CBytes rest(buf.data() + at, buf.size() - at);
    const size_t size = *LinkFrameSize(rest);
    if (size < kLinkHeaderSize + 1) {
      callBackFailed();
      return;
    }
    if (rest.size() < size) {
      callBack_.transfer = 2;
      break;
    }
    const LinkFrameView f(rest.first(size));
    at += size;
    callBack_.transfer = kXferIdle;
    if (TickElapsed(now, pushWindowTick_) >= 1000) {
      pushWindowTick_ = now;
      pushesInWindow_ = 0;
    }
    if (++pushesInWindow_ > kMaxPushesPerSecond) {
      LinkNotice("the service pushed more than " + std::to_string(kMaxPushesPerSecond) +
                 " frames in a second; the call-back connection is closed");
      callBackFailed();
      return;
    }
    if (f.kind() != kLinkKindRequest) continue;
    if (f.command() == kLinkPushDeviceState) {
      if (!f.has(5, 3)) continue;
      DeviceNode* node = Tree_FindNodeById(f.be16(6).value_or(0), &tree_.root());
      if (node != nullptr) ApplyStatusPush(*node, f.u8(5), f.tail(8));
    } else if (f.command() == kLinkPushControlLock) {
      if (f.size() < kLockPushSize) continue;
      applyControlLockPush(f);
    }
  }
  buf.erase(buf.begin(), buf.begin() + static_cast<ptrdiff_t>(at));
}

void ServiceLink::applyControlLockPush(const LinkFrameView& f) {
  const CBytes lock = f.slice(5, kControlLockSize);
  const bool active = u32At(lock, kLockOffActive) == 1;
  const std::string holder(reinterpret_cast<const char*>(lock.data() + kLockOffAddress),
                           strnlen(reinterpret_cast<const char*>(lock.data() + kLockOffAddress), kLockAddressSize));
  const bool us = holder == AddressText(main_.local) && u16At(lock, kLockOffPort) == ntohs(main_.local.sin_port);
  // Messages wait for a queued call: a modal box must not run inside the frame handler.
  if (active) {
    if (!us && !foreignChange_) {
      foreignChange_ = true;
      reactor_.post([this] { shell_.showTimedMessage(56, 60); });
    }
    return;
  }
  if (us) {
    uint32_t highest = 0;
    Tree_FindMaxId(tree_.root(), highest);
    tree_.setNextNodeId(highest + 1);
    return;
  }
  const int r = random_ ? random_() : 0;
  const int seconds = 60 + (r * 120) / 32767;
  foreignChange_ = false;
  // The session restarts after the message, once this frame is handled.
  reactor_.post([this, seconds] {
    shell_.cancelTimedMessage();
    shell_.showTimedMessage(57, seconds);
    requestState(3, 0);
    closeSocket(callBack_, kXferIdle);
    if (listener_.fd >= 0) reactor_.setReadWatched(listener_.fd, true);
  });
}

// ---- server search ----

bool ServiceLink::openDiscoverySocket() {
  closeDiscovery();
  const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  const int one = 1;
  if (setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &one, sizeof one) != 0 ||
      !reactor_.watchSocket(fd, [this](int, uint32_t ev, int err) { onDiscoverySocket(ev, err); })) {
    ::close(fd);
    return false;
  }
  search_.fd = fd;
  search_.connState = kConnUp;
  return true;
}

void ServiceLink::closeDiscovery() {
  closeSocket(search_, 0);
  discoveryOpen_ = false;
}

bool ServiceLink::startSearch(const std::string& target) {
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(options_.discoveryPort);
  if (inet_pton(AF_INET, target.c_str(), &to.sin_addr) != 1) return false;
  ownAddresses_.reset();  // read again at this search's first answer
  std::vector<uint8_t> rec(sizeof to);
  std::memcpy(rec.data(), &to, sizeof to);
  const std::vector<uint8_t> frame = BuildDiscoverFrame(1);
  rec.insert(rec.end(), frame.begin(), frame.end());
  return queues_.put(0, 0, kSearchQueue, kKindSearch, 1, 4500, 0, rec);
}

void ServiceLink::sendDiscoverFrame() {
  if (search_.fd < 0) return;
  while (search_.sent < search_.send.size()) {
    const ssize_t n = ::sendto(search_.fd, search_.send.data() + search_.sent, search_.send.size() - search_.sent,
                               0, reinterpret_cast<sockaddr*>(&searchTarget_), sizeof searchTarget_);
    if (n >= 0) {
      search_.sent = search_.send.size();  // a datagram goes whole
      break;
    }
    if (errno == EAGAIN || errno == EWOULDBLOCK) {
      reactor_.setSendPending(search_.fd, true);
      return;
    }
    closeDiscovery();
    return;
  }
  reactor_.setSendPending(search_.fd, false);
  search_.send.clear();
  search_.sent = 0;
}

void ServiceLink::onDiscoverySocket(uint32_t events, int error) {
  if ((events & kSockClose) || error != 0) {
    closeDiscovery();
    return;
  }
  if (events & kSockRead) {
    for (int taken = 0; taken < kReadBudgetDatagrams; ++taken) {
      uint8_t buf[512];
      sockaddr_in from{};
      socklen_t n = sizeof from;
      const ssize_t got = ::recvfrom(search_.fd, buf, sizeof buf, 0, reinterpret_cast<sockaddr*>(&from), &n);
      if (got < 0) break;
      receiveDiscoverAnswer(CBytes(buf, static_cast<size_t>(got)), from);
    }
  }
  sendDiscoverFrame();
}

void ServiceLink::receiveDiscoverAnswer(CBytes d, const sockaddr_in& from) {
  // Each datagram stands alone: a stray length never waits for more.
  const std::optional<size_t> size = LinkFrameSize(d);
  if (!size || d.size() < kLinkHeaderSize + 1 || *size > d.size()) return;
  if (d[kLinkOffKind] != kLinkKindReply || d[kLinkOffCommand] != 1) return;
  // The duplicate check first, on the address: a flood from one host costs a short compare.
  const in_addr_t a = from.sin_addr.s_addr;
  if (servers_.size() >= kServerListMax ||
      std::find(serverAddresses_.begin(), serverAddresses_.end(), a) != serverAddresses_.end())
    return;
  if (!ownAddresses_) ownAddresses_ = OwnAddresses();  // once a search, not once an answer
  const bool own =
      std::find(ownAddresses_->begin(), ownAddresses_->end(), a) != ownAddresses_->end();
  const std::string text = own ? "LocalHost" : AddressText(from);
  // Two own addresses both read "LocalHost": listed once.
  if (std::find(servers_.begin(), servers_.end(), text) != servers_.end()) return;
  serverAddresses_.push_back(a);
  servers_.push_back(text);
}

}  // namespace lark
