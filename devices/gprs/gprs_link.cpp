#include "devices/gprs/gprs_link.h"

#include <arpa/inet.h>
#include <errno.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <unordered_map>

#include "platform/text.h"

namespace lark {

namespace {

constexpr int kListenBacklog = 128;
constexpr uint32_t kMaxWaitMs = 0x7FFFFFFF;  // elapsed ticks compare within half the wrap
constexpr uint32_t kMissWalkMs = 1000;       // least time between walks for names the index lacks

std::string PeerText(const sockaddr_in& a) {
  char ip[INET_ADDRSTRLEN] = "?";
  inet_ntop(AF_INET, &a.sin_addr, ip, sizeof ip);
  return std::string(ip) + ":" + std::to_string(ntohs(a.sin_port));
}

uint32_t SecondsToMs(int64_t seconds) {
  return static_cast<uint32_t>(std::clamp<int64_t>(seconds * 1000, 0, kMaxWaitMs));
}

// Names come from the stations: no control character reaches a log line.
std::string LogSafe(std::string text) {
  for (char& c : text) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = ' ';
  }
  return text;
}

std::string Upper(std::string_view s) {
  std::string u(s);
  for (char& c : u) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
  return u;
}

// Every GPRS node by its upper-cased Location, the first in depth-first
// order keeping a name; `shared` collects the names found more than once.
void IndexGprsNodes(DeviceNode& node, std::unordered_map<std::string, DeviceNode*>& index,
                    std::vector<std::string>& shared) {
  if (node.nodeKind() == kNodeGprs) {
    std::string key = Upper(node.location());
    if (!key.empty() && !index.emplace(key, &node).second) shared.push_back(key);
  }
  for (const auto& child : node.children()) IndexGprsNodes(*child, index, shared);
}

}  // namespace

uint64_t RaiseOpenFileLimit() {
  rlimit r{};
  if (getrlimit(RLIMIT_NOFILE, &r) != 0) return 0;
  if (r.rlim_cur < r.rlim_max) {
    r.rlim_cur = r.rlim_max;
    setrlimit(RLIMIT_NOFILE, &r);
    getrlimit(RLIMIT_NOFILE, &r);
  }
  return r.rlim_cur;
}

GprsLink::GprsLink(EventLoop& loop, const Clock& clock, DeviceTree& tree, EventLogSink& events,
                   LogFn log, GprsLinkOptions options)
    : loop_(loop),
      clock_(clock),
      tree_(tree),
      events_(events),
      log_(std::move(log)),
      options_(options),
      stations_(kGprsStationCount),
      self_(std::make_shared<GprsLink*>(this)) {
  nameLines_.start(clock_.tickMs());
  unmatchedLines_.start(clock_.tickMs());
}

GprsLink::~GprsLink() { stop(); }

void GprsLink::setTimes(int32_t pollingSeconds, int32_t timeoutSeconds) {
  restMs_ = static_cast<int64_t>(SecondsToMs(pollingSeconds));
  answerTimeoutMs_ = SecondsToMs(timeoutSeconds);
}

void GprsLink::note(std::string text) const {
  if (log_) log_(LogSafe(std::move(text)));
}

void GprsLink::eventLine(uint32_t level, std::string text) {
  text = LogSafe(std::move(text));
  events_.WriteEventLog(0, level, kSystemEventCode, text);
  if (log_) log_(text);
}

void GprsLink::nameLine(std::string text) {
  const uint32_t now = clock_.tickMs();
  rollNameLines(now);
  if (nameLines_.allow()) eventLine(kLevelWarning, std::move(text));
}

void GprsLink::rollNameLines(uint32_t now) {
  if (const int held = nameLines_.roll(now); held > 0) {
    eventLine(kLevelWarning,
              std::to_string(held) + " more GPRS station names refused or taken over");
  }
  if (const int held = unmatchedLines_.roll(now); held > 0) {
    eventLine(kLevelWarning,
              std::to_string(held) + " more GPRS stations with no GPRS node of their Location");
  }
}

// ---- listener ----

bool GprsLink::OpenGprsListener() {
  closeListener();
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  int one = 1;
  setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_ANY);
  a.sin_port = htons(options_.port);
  socklen_t len = sizeof a;
  if (bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || listen(fd, kListenBacklog) != 0 ||
      getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) != 0 ||
      !loop_.watchSocket(fd, [this](int, uint32_t ev, int err) { onListener(ev, err); })) {
    close(fd);
    return false;
  }
  listenFd_ = fd;
  boundPort_ = ntohs(a.sin_port);
  listenerPaused_ = false;
  acceptPending();
  return true;
}

void GprsLink::closeListener() {
  if (listenFd_ < 0) return;
  loop_.unwatchSocket(listenFd_);
  close(listenFd_);
  listenFd_ = -1;
  listenerPaused_ = false;
}

void GprsLink::pauseListener() {
  if (listenFd_ < 0 || listenerPaused_) return;
  // Level-triggered: a connection left pending would report every round.
  loop_.setReadWatched(listenFd_, false);
  listenerPaused_ = true;
}

void GprsLink::resumeListener() {
  if (listenFd_ < 0 || !listenerPaused_) return;
  listenerPaused_ = false;
  loop_.setReadWatched(listenFd_, true);
}

void GprsLink::onListener(uint32_t events, int error) {
  if (error != 0 || (events & kSockClose)) {
    // Only the listener is lost; the stations go on and the check re-opens it.
    note("GPRS listener failed: " + std::string(strerror(error != 0 ? error : EIO)));
    closeListener();
    return;
  }
  if (events & kSockRead) acceptPending();
}

void GprsLink::acceptPending() {
  while (listenFd_ >= 0) {
    auto freeSlot = std::find_if(stations_.begin(), stations_.end(),
                                 [](const GprsStation& s) { return !s.connected(); });
    GprsStation* givesWay = freeSlot == stations_.end() ? oldestNameless() : nullptr;
    if (freeSlot == stations_.end() && givesWay == nullptr) {
      if (!fullLogged_) {
        fullLogged_ = true;
        note("GPRS: all " + std::to_string(kGprsStationCount) +
             " station places are taken; new callers wait");
      }
      pauseListener();
      return;
    }
    sockaddr_in peer{};
    socklen_t len = sizeof peer;
    int fd = accept4(listenFd_, reinterpret_cast<sockaddr*>(&peer), &len,
                     SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) {
      if (errno == EINTR || errno == ECONNABORTED) continue;
      // Out of descriptors: stop the report until a slot frees or the next check.
      if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) {
        pauseListener();
      }
      return;
    }
    if (givesWay != nullptr) {
      freeSlot = stations_.begin() + (givesWay - stations_.data());
      closeStation(*givesWay, false);
    }
    const int slot = static_cast<int>(freeSlot - stations_.begin());
    GprsStation& st = *freeSlot;
    st = GprsStation{};
    st.number = slot;
    st.fd = fd;
    st.peer = PeerText(peer);
    st.serial = ++acceptSerial_;
    if (!loop_.watchSocket(fd, [this, slot](int f, uint32_t ev, int err) {
          onStation(slot, f, ev, err);
        })) {
      close(fd);
      st = GprsStation{};
    }
  }
}

// ---- stations ----

int GprsLink::connectedCount() const {
  return static_cast<int>(std::count_if(stations_.begin(), stations_.end(),
                                        [](const GprsStation& s) { return s.connected(); }));
}

int GprsLink::stationNamed(std::string_view name) const {
  for (const GprsStation& s : stations_) {
    if (s.connected() && !s.name.empty() && EqualNoCase(s.name, name)) return s.number;
  }
  return -1;
}

void GprsLink::closeStation(GprsStation& st, bool markLost) {
  if (!st.connected()) return;
  loop_.unwatchSocket(st.fd);
  close(st.fd);
  std::string name = st.name;
  st = GprsStation{};
  if (markLost && !name.empty()) markLinkLost(name);
  if (listenerPaused_) {
    resumeListener();
    acceptPending();
  }
}

void GprsLink::markLinkLost(const std::string& name) {
  auto lock = tree_.readLock();
  DeviceNode* node = findNode(name);
  LiveDataBlock* blk = node != nullptr ? node->block(BlockKind::kGprs) : nullptr;
  if (blk != nullptr) blk->setMaskBits(MaskWord::kCurrent, uint64_t{1} << kGprsLinkLostBit);
}

void GprsLink::onStation(int slot, int fd, uint32_t events, int error) {
  GprsStation& st = stations_[static_cast<size_t>(slot)];
  if (st.fd != fd) return;  // an old registration of a reused slot
  if (error != 0 || (events & kSockClose)) {
    closeStation(st, true);
    return;
  }
  if (events & kSockRead) {
    const uint64_t serial = st.serial;
    receive(st);
    if (st.fd != fd || st.serial != serial) return;
  }
  if ((events & (kSockRead | kSockWrite)) &&
      (st.exchange == kGprsSending || st.exchange == kGprsSendIncomplete)) {
    if (!send(st)) closeStation(st, true);
  }
}

bool GprsLink::send(GprsStation& st) {
  if (st.letterSent) return true;
  ssize_t n = ::send(st.fd, &st.letter, 1, MSG_NOSIGNAL);
  if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) {
    st.exchange = kGprsSendIncomplete;
    loop_.setSendPending(st.fd, true);
    return true;
  }
  if (n != 1) return false;
  st.letterSent = true;
  loop_.setSendPending(st.fd, false);
  st.exchange = kGprsWaiting;
  st.tick = clock_.tickMs();
  st.timeoutMs = answerTimeoutMs_;
  return true;
}

void GprsLink::receive(GprsStation& st) {
  const int fd = st.fd;
  // A report may close this station, and a caller let in at once may get
  // its record and its descriptor number: the serial tells them apart.
  const uint64_t serial = st.serial;
  auto same = [&] { return st.fd == fd && st.serial == serial; };
  if (st.received >= st.rx.size()) st.received = 0;  // cannot hold a frame: the check drops it
  ssize_t n = recv(fd, st.rx.data() + st.received, st.rx.size() - st.received, 0);
  if (n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) {
    closeStation(st, true);
    return;
  }
  if (n < 0) return;
  // A letter still going out keeps its state and its send time-out; the
  // answer states follow the frame check only while nothing is being sent.
  const bool sending = st.exchange == kGprsSending || st.exchange == kGprsSendIncomplete;
  auto settle = [&](int state) {
    if (!sending) st.exchange = state;
  };
  if (st.received == 0 && !sending) {
    st.tick = clock_.tickMs();
    st.timeoutMs = answerTimeoutMs_;
  }
  st.received += static_cast<size_t>(n);
  while (same() && st.received > 0) {
    std::string_view buf(st.rx.data(), st.received);
    GprsFrameCheck c = CheckGprsFrame(buf);
    if (c.status == GprsFrameCheck::kNeedMore) {
      settle(kGprsAnswerIncomplete);
      return;
    }
    if (c.status == GprsFrameCheck::kBad) {
      // Discarded; a station that sends nothing else is ended like a silent one.
      st.received = 0;
      settle(kGprsIdle);
      missedAnswer(st);
      return;
    }
    settle(kGprsAnswerComplete);
    ++framesReceived_;
    handleReport(st, GprsReportOf(buf, c.length));
    if (!same()) return;
    std::memmove(st.rx.data(), st.rx.data() + c.length, st.received - c.length);
    st.received -= c.length;
    settle(kGprsIdle);
    if (!sending) st.tick = clock_.tickMs();
  }
}

bool GprsLink::adoptName(GprsStation& st, std::string_view loc) {
  std::string name(loc.substr(0, kGprsNameMax));
  if (name.empty()) return true;
  for (GprsStation& other : stations_) {
    if (&other == &st || !other.connected() || !EqualNoCase(other.name, name)) continue;
    if (other.missed == 0) {
      nameLine("GPRS station \"" + name + "\" from " + st.peer + " refused: the name is held by " +
               other.peer);
      closeStation(st, false);
      return false;
    }
    nameLine("GPRS station \"" + name + "\" at " + other.peer +
             " missed its answer and gives way to " + st.peer);
    closeStation(other, true);
  }
  st.name = name;
  int nodeId = -1;
  {
    auto lock = tree_.readLock();
    if (DeviceNode* node = findNode(name)) nodeId = node->id();
  }
  if (nodeId >= 0) {
    note("GPRS station \"" + name + "\" at " + st.peer + " identified: node " +
         std::to_string(nodeId));
    return true;
  }
  // Anyone may call in with a made-up name: one that no GPRS node has holds
  // no station's place, it waits among the nameless and gives way first.
  rollNameLines(clock_.tickMs());
  if (unmatchedLines_.allow()) {
    eventLine(kLevelWarning,
              "GPRS station \"" + name + "\" at " + st.peer + " has no GPRS node of that Location");
  }
  // It may give way itself, and a caller let in at once take its record.
  const uint64_t serial = st.serial;
  markNameless(st);
  return st.connected() && st.serial == serial;
}

void GprsLink::markNameless(GprsStation& st) {
  if (!st.connected() || st.nameless) return;
  st.nameless = true;
  const auto count = std::count_if(stations_.begin(), stations_.end(), [](const GprsStation& s) {
    return s.connected() && s.nameless;
  });
  if (count > kGprsNamelessMax) closeStation(*oldestNameless(), false);
  if (listenerPaused_) {
    resumeListener();
    acceptPending();
  }
}

GprsStation* GprsLink::oldestNameless() {
  GprsStation* oldest = nullptr;
  for (GprsStation& s : stations_) {
    if (s.connected() && s.nameless && (oldest == nullptr || s.serial < oldest->serial)) {
      oldest = &s;
    }
  }
  return oldest;
}

void GprsLink::rebuildNodeIndex() {
  nodeIndex_.clear();
  std::vector<std::string> shared;
  IndexGprsNodes(tree_.root(), nodeIndex_, shared);
  indexGeneration_ = tree_.structureGeneration();
  for (const std::string& key : shared) {
    if (!sharedLocationsLogged_.insert(key).second) continue;
    eventLine(kLevelWarning, "GPRS nodes share the Location \"" + nodeIndex_[key]->location() +
                                 "\"; only the first receives the station's data");
  }
}

DeviceNode* GprsLink::findNode(std::string_view name) {
  // The index holds node pointers only while no structural edit has run;
  // a Location edited since is caught by comparing it again, and a name it
  // lacks is looked for again at most once a second.
  const std::string key = Upper(name);
  for (int pass = 0; pass < 2; ++pass) {
    if (pass == 1) {
      const uint32_t now = clock_.tickMs();
      if (TickElapsed(now, lastMissWalkTick_) < kMissWalkMs) break;
      lastMissWalkTick_ = now;
      rebuildNodeIndex();
    } else if (indexGeneration_ != tree_.structureGeneration()) {
      rebuildNodeIndex();
    }
    auto it = nodeIndex_.find(key);
    if (it != nodeIndex_.end() && it->second->nodeKind() == kNodeGprs &&
        EqualNoCase(it->second->location(), name)) {
      return it->second;
    }
  }
  return nullptr;
}

void GprsLink::handleReport(GprsStation& st, std::string_view report) {
  std::vector<GprsItem> items = ParseGprsReport(report);
  st.missed = 0;
  if (st.name.empty()) {
    // An unnamed station is heard only for its name.
    for (const GprsItem& item : items) {
      if (item.tag != kLoc) break;
      if (!item.fields.empty() && !adoptName(st, item.fields[0])) return;
      if (!st.name.empty()) break;
    }
    if (st.name.empty()) markNameless(st);
    return;
  }
  auto lock = tree_.readLock();
  DeviceNode* node = findNode(st.name);
  for (const GprsItem& item : items) {
    if (item.tag != kLoc || item.fields.empty()) continue;
    std::string_view loc = item.fields[0].substr(0, kGprsNameMax);
    if (!EqualNoCase(loc, st.name) && !st.otherNameLogged) {
      st.otherNameLogged = true;
      note("GPRS station \"" + st.name + "\" at " + st.peer + " now reports LOC \"" +
           std::string(loc) + "\"; it keeps its first name");
    }
  }
  LiveDataBlock* blk = node != nullptr ? node->block(BlockKind::kGprs) : nullptr;
  if (blk == nullptr) return;
  uint8_t state = node->upsTypeCode();
  const uint8_t before = state;
  const WallTime now = clock_.now();
  blk->withImage([&](Bytes b) {
    PutGprsReportTime(b, now);
    for (const GprsItem& item : items) ApplyGprsItem(item, b, state);
    putU64(b, gprs_off::kCurrentMask,
           u64At(b, gprs_off::kCurrentMask) & ~(uint64_t{1} << kGprsLinkLostBit));
  });
  if (state != before) node->setUpsTypeCode(state);
}

bool GprsLink::nextLetter(GprsStation& st) {
  DeviceNode* node = nullptr;
  auto lock = tree_.readLock();
  if (!st.name.empty()) node = findNode(st.name);
  if (node == nullptr) {
    st.letter = 'L';
    if (st.name.empty()) ++st.unnamedLetters;
    return true;
  }
  st.nameless = false;  // its node has come since: a station like any other
  const uint16_t status = node->linkStatus();
  if (status == kLinkStopped) return false;  // the operator stopped this device
  if (status == kLinkIdentified) {
    st.letter = kGprsStatusLetters[st.letterIndex % 6];
    ++st.letterIndex;
    ++st.letterCount;
    if (st.letterIndex >= 6) {
      st.letterIndex = 0;
      if (st.letterCount >= kGprsStatusLettersPerIdent) {
        st.letterCount = 0;
        node->setLinkStatus(kLinkReidentify);
      }
      st.countdownMs = restMs_;
    }
  } else {
    st.letter = kGprsIdentLetters[st.letterIndex % 5];
    ++st.letterIndex;
    if (st.letterIndex >= 5) {
      st.letterIndex = 0;
      st.letterCount = 0;
      node->setLinkStatus(kLinkIdentified);
    }
  }
  return true;
}

// ---- the round and the check ----

void GprsLink::PollRound() {
  const uint32_t now = clock_.tickMs();
  for (GprsStation& st : stations_) {
    if (st.countdownMs >= 1) {
      st.countdownMs -= options_.roundMs;
      continue;
    }
    if (!st.connected() || st.exchange != kGprsIdle) continue;
    // One identification cycle of letters without a name is all a caller gets.
    if (st.name.empty() && st.unnamedLetters >= static_cast<int>(sizeof kGprsIdentLetters - 1)) {
      closeStation(st, false);
      continue;
    }
    if (!nextLetter(st)) continue;
    st.letterSent = false;
    st.tick = now;
    st.timeoutMs = kGprsRoundMs;
    st.exchange = kGprsSending;
    if (!send(st)) closeStation(st, true);
  }
}

void GprsLink::CheckGprsTimeouts() {
  if (listenFd_ < 0) {
    OpenGprsListener();
    return;
  }
  if (listenerPaused_) {
    resumeListener();
    acceptPending();
  }
  if (!listenerPaused_) fullLogged_ = false;  // places were free since the last check
  const uint32_t now = clock_.tickMs();
  rollNameLines(now);
  for (GprsStation& st : stations_) {
    if (!st.connected() || TickElapsed(now, st.tick) <= st.timeoutMs) continue;
    if (st.exchange == kGprsSending || st.exchange == kGprsSendIncomplete) {
      closeStation(st, true);
    } else if (st.exchange == kGprsWaiting || st.exchange == kGprsAnswerIncomplete) {
      st.received = 0;
      st.exchange = kGprsIdle;
      const int fd = st.fd;
      const uint64_t serial = st.serial;
      missedAnswer(st);
      if (st.fd == fd && st.serial == serial && st.name.empty()) markNameless(st);
    }
  }
}

void GprsLink::missedAnswer(GprsStation& st) {
  if (++st.missed < kGprsMissedLimit) return;
  note("GPRS station " + (st.name.empty() ? std::string("(unnamed)") : "\"" + st.name + "\"") +
       " at " + st.peer + ": no good answer " + std::to_string(kGprsMissedLimit) +
       " times in a row; closed");
  closeStation(st, true);
}

// ---- the thread ----

void GprsLink::startThread() {
  if (thread_.joinable()) return;
  {
    std::lock_guard<std::mutex> g(threadMu_);
    threadStop_ = false;
  }
  std::weak_ptr<GprsLink*> self = self_;
  thread_ = std::thread([this, self] {
    std::unique_lock<std::mutex> g(threadMu_);
    for (;;) {
      if (threadCv_.wait_for(g, std::chrono::milliseconds(options_.roundMs),
                             [this] { return threadStop_; })) {
        return;
      }
      loop_.post([self] {
        if (auto link = self.lock()) (*link)->PollRound();
      });
    }
  });
}

void GprsLink::stop() {
  {
    std::lock_guard<std::mutex> g(threadMu_);
    threadStop_ = true;
  }
  threadCv_.notify_all();
  if (thread_.joinable()) thread_.join();
  closeListener();
  for (GprsStation& st : stations_) closeStation(st, false);
}

}  // namespace lark
