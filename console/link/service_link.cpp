// The session: state machine, its tick, the queue pumps, the replies of the
// session's own requests, the pending dialog request and the status polls.
// The sockets are in link_sockets.cpp, the configuration download in
// link_download.cpp, the shared-memory exchange in status_poll.cpp.
#include "console/link/service_link.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <optional>
#include <utility>

#include "console/link/device_data.h"
#include "console/link/request_payloads.h"
#include "console/link/request_frame.h"
#include "linkserver/control_lock.h"

namespace lark {

namespace {

constexpr uint32_t kPlainTimeoutMs = 4500;
constexpr uint16_t kPollQueueLimit = 90;  // no status poll with this many requests waiting
constexpr size_t kMapNameMax = 259;       // a 260-byte slot with its terminator
constexpr size_t kMapListMax = 20;
constexpr size_t kLogRecordSize = 264;
constexpr size_t kErrorRecordSize = 268;
constexpr size_t kLogTextMax = 255;

// Reply code of each command's success.
constexpr uint8_t kMapListOk = 3;
constexpr uint8_t kDeviceDataOk = 11;
constexpr uint8_t kCallBackRefused = 14;
constexpr uint8_t kUserDatabaseOk = 23;
constexpr uint8_t kEventTablesOk = 41;

}  // namespace

ServiceLink::ServiceLink(Reactor& reactor, const Clock& clock, DeviceTree& tree, LinkShell& shell,
                         std::string installDir, std::function<int()> random, LinkOptions options)
    : reactor_(reactor),
      clock_(clock),
      tree_(tree),
      shell_(shell),
      installDir_(std::move(installDir)),
      random_(std::move(random)),
      options_(std::move(options)),
      queues_(clock) {}

ServiceLink::~ServiceLink() {
  closeAllSockets();
  closeDiscovery();
  detachStatusSharedMemory();
  reactor_.killTimer(kTimerReply);
}

void ServiceLink::start() {
  queues_.clear();
  state_ = {};
  autoConnect_ = callBackWanted_ = shmMode_ = false;
  connectTick_ = 0;
  resetServiceLink(0, false);
  discoveryOpen_ = openDiscoverySocket();
}

void ServiceLink::close() {
  resetServiceLink(0, false);
  closeDiscovery();
  detachStatusSharedMemory();
  reactor_.killTimer(kTimerReply);
  resetPendingRequest();
  queues_.clear();
}

void ServiceLink::setServer(const std::string& address) {
  std::string lower = address;
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  server_ = lower == "localhost" ? "127.0.0.1" : address.substr(0, 15);
}

// ---- state machine ----

bool ServiceLink::requestState(uint8_t s, uint8_t sub) {
  const LinkTransition t = DecideLinkState(state_, s, sub);
  if (t.closeAll) closeAllSockets();
  if (t.clearUser) {
    session_.userLevel = 0;
    shell_.clearMapChanged();
  }
  if (t.closeCallBack) {
    closeSocket(listener_, kXferIdle);
    closeSocket(callBack_, kXferIdle);
  }
  if (t.reload) reloadAfterLink();
  setState(t.next);
  if (t.callBackWanted) callBackWanted_ = true;
  return t.accepted;
}

void ServiceLink::setState(LinkState next) {
  if (next == state_) return;
  state_ = next;
  shell_.linkStateChanged(next);
}

bool ServiceLink::resetServiceLink(uint8_t s, bool autoConnect) {
  closeAllSockets();
  // A dialog's request dies with the connection it was sent on.
  reactor_.killTimer(kTimerReply);
  downloadBusy_ = false;
  autoConnect_ = autoConnect;
  callBackWanted_ = false;
  connectTick_ = 0;
  requestState(s, 0);
  return true;
}

void ServiceLink::reloadAfterLink() {
  tree_.setCurrentParent(tree_.root());
  treeBusy_ = true;
  Tree_FreeAll(tree_);
  treeBusy_ = false;
  Tree_ResetRoot(tree_);
  pollOutstanding_ = false;
  shell_.refillViews();
}

// ---- queues ----

bool ServiceLink::queuePlain(uint8_t command, uint8_t sub, CBytes data) {
  const std::vector<uint8_t> frame = BuildRequestFrame(command, sub, data);
  if (frame.empty()) return false;
  return queues_.put(0, kReplyQueue, kRequestQueue, kKindRequest, command, kPlainTimeoutMs, 0, frame);
}

void ServiceLink::pump(uint8_t q) {
  for (int round = 0; round < 5; ++round) {
    const std::optional<LinkQueueEntry> head = queues_.peek(q);
    if (!head) return;
    if (head->state == kEntryInProgress) {
      if (TickElapsed(clock_.tickMs(), head->tick) > head->timeoutMs) {
        queues_.dropHead(q);
        continue;
      }
      return;  // an entry in progress holds its queue
    }
    if (q == kRequestQueue && head->kind == kKindRequest) {
      queues_.markHead(q, kEntryInProgress);
      if (main_.connState != kConnUp) {
        queues_.dropHead(q);
        continue;
      }
      main_.send = head->data;
      main_.sent = 0;
      main_.transfer = kXferSending;
      main_.tick = clock_.tickMs();
      main_.timeoutMs = head->timeoutMs;
      sendLinkRequest();
      return;
    }
    if (q == kSearchQueue && head->kind == kKindSearch) {
      queues_.markHead(q, kEntryInProgress);
      if (head->data.size() >= sizeof(sockaddr_in)) {
        std::memcpy(&searchTarget_, head->data.data(), sizeof(sockaddr_in));
        search_.send.assign(head->data.begin() + sizeof(sockaddr_in), head->data.end());
        search_.sent = 0;
        sendDiscoverFrame();
      }
      queues_.dropHead(q);
      continue;
    }
    if (q == kReplyQueue && head->kind == kKindReply) {
      queues_.markHead(q, kEntryInProgress);
      if (head->data.size() >= kLinkHeaderSize) applyReply(LinkFrameView(head->data));
      queues_.dropHead(q);
      continue;
    }
    queues_.dropHead(q);
  }
}

// ---- replies of the session's own requests ----

void ApplyMapList(LinkSessionData& session, CBytes text) {
  std::vector<std::string> fields;
  std::string field;
  bool ended = false;  // a zero ends a name, as the service and the requests read it
  for (uint8_t c : text) {
    if (c == ';') {
      fields.push_back(field.substr(0, kMapNameMax));
      field.clear();
      ended = false;
    } else if (c == 0) {
      ended = true;
    } else if (!ended) {
      field += static_cast<char>(c);
    }
  }  // text after the last ';' is not a field
  session.autoLoadMap = fields.size() > 0 ? fields[0] : "";
  session.currentMap = fields.size() > 1 ? fields[1] : "";
  session.currentMapBase = session.currentMap.substr(0, session.currentMap.find('.'));
  session.maps.clear();
  for (size_t i = 2; i < fields.size() && session.maps.size() < kMapListMax; ++i)
    if (!fields[i].empty()) session.maps.push_back(fields[i]);
}

void ServiceLink::applyReply(const LinkFrameView& f) {
  const uint8_t code = f.u8(kLinkOffCode);
  switch (f.command()) {
    case kLinkCmdGetMapList: {
      requestState(3, 2);
      requestState(code == kMapListOk ? 4 : 5, 0);
      if (code != kMapListOk) return;
      ApplyMapList(session_, f.tail(kLinkOffData));
      return;
    }
    case kLinkCmdGetDeviceData: {
      pollOutstanding_ = false;
      if (code != kDeviceDataOk || !f.has(kLinkOffData, 3)) return;
      const uint16_t id = f.be16(7).value_or(0);
      DeviceNode* node = Tree_FindNodeById(id, &tree_.root());
      if (node == nullptr) return;
      ApplyDeviceDataForm(tree_.root(), *node, f.u8(6), f.tail(9));
      return;
    }
    case kLinkCmdCallBack:
      if (code != kCallBackRefused) {
        requestState(6, 2);
        requestState(7, 0);
        keepAliveCounter_ = kKeepAliveTicks - 1;  // the version at the first tick
      } else {
        requestState(6, 0);
      }
      return;
    case kLinkCmdUserDatabase: {
      if (code != kUserDatabaseOk || f.u8(6) != 2) return;
      const CBytes rec = f.slice(7, kLoginRecordSize);
      if (!rec.empty()) applyUserRecord(GetLoginRecord(rec, 0));
      return;
    }
    case kLinkCmdEventTables: {
      if (code != kEventTablesOk) return;
      const uint8_t page = f.u8(6);
      // Only the page asked: any other (a page 0 again above all) would restart
      // or skip the paging, and a service answering so would page for ever.
      if (page != tablePageAsked_ || page > 20) return;
      tablePageAsked_ = kNoTablePage;
      if (page == 0) session_.actionTables = {};
      const CBytes table = f.slice(7, kActionTablePageBytes[page / 2]);
      session_.actionTables[page / 2].assign(table.begin(), table.end());
      if (page < 20) {
        if (queuePlain(kLinkCmdEventTables, static_cast<uint8_t>(page + 2), {}))
          tablePageAsked_ = static_cast<uint8_t>(page + 2);
      } else {
        shell_.actionTablesLoaded(ActionTablesFromPages(session_.actionTables));
      }
      return;
    }
    case kLinkCmdVersion:
      if (f.has(6, 2)) session_.serviceVersion = static_cast<uint16_t>(f.u8(6) * 256 + f.u8(7));
      return;
    default:
      return;
  }
}

bool ServiceLink::requestActionTables() {
  if (!queuePlain(kLinkCmdEventTables, 0, {})) return false;
  tablePageAsked_ = 0;
  return true;
}

void ServiceLink::applyUserRecord(const LoginRecord& rec) {
  session_.accessSwitch = rec.accessSwitch;
  session_.databaseState = rec.databaseState;
  session_.userName = rec.account;
  session_.userLevel = rec.level;
  shell_.setAccountsInUse(rec.accessSwitch != 0);
  shell_.updateMenuRights(rec.accessSwitch != 0 ? rec.level : 2);
}

LoginRecord ServiceLink::userRecord() const {
  LoginRecord r;
  r.accessSwitch = session_.accessSwitch;
  r.databaseState = session_.databaseState;
  r.account = session_.userName;
  r.level = session_.userLevel;
  return r;
}

// ---- the session tick ----

void ServiceLink::linkTick() {
  if (main_.connState == kConnUp) {
    switch (state_.state) {
      case 3:
        if (state_.sub == 0 && queuePlain(kLinkCmdGetMapList, 0, {})) setState({3, 1});
        break;
      case 4:
        // The auto-load step: the Auto-Load Configuration dialog downloads in
        // the console, the link itself without one.
        if (state_.sub == 0 && dialogs_) {
          // Opened once no other dialog waits for the reply of its request.
          if (!dialogs_->connectOpen() && !dialogs_->autoLoadOpen() && !dialogRequestOut())
            dialogs_->openAutoLoad();
        } else if (state_.sub == 0 && !downloadBusy_) {
          if (requestChunk(kLinkCmdDownloadSettings, 0)) requestState(4, 1);
        }
        break;
      case 6:
        if (state_.sub == 0 && listener_.connState == kConnListening) {
          uint8_t port[2];
          putBe16(port, 0, listener_.port);
          if (queuePlain(kLinkCmdCallBack, 0, port)) {
            setState({6, 1});
            callBack_.tick = clock_.tickMs();
            callBack_.timeoutMs = 30000;
          }
        }
        break;
      case 7: {
        if (!foreignChange_ && !treeBusy_ && !pollHold_ && queues_.count(kRequestQueue) < kPollQueueLimit) {
          if (shmMode_ && attachStep_ == 5) {
            pollServiceStatus();
          } else {
            if (++pollCounter_ >= 5) {
              pollServiceStatus();
              pollCounter_ = 0;
            }
            if (shmMode_ && attachStep_ < 5 && attachStep_ != 255 && ++shmRetryCounter_ >= 300) {
              shmRetryCounter_ = 0;
              attachStatusSharedMemory();
            }
          }
        }
        // The first tick of a connection's session tells the version at once:
        // until then the service takes this console for one that cannot
        // match its own lock, and its own save would look like another's.
        if (++keepAliveCounter_ >= kKeepAliveTicks) {
          keepAliveCounter_ = 0;
          queuePlain(kLinkCmdUserDatabase, 2, {});
          const uint8_t version[2] = {9, 7};
          queuePlain(kLinkCmdVersion, 0, version);
        }
        if (tableCounter_ == -1 || tableCounter_ >= 18000) {
          tableCounter_ = 0;
          requestActionTables();
        }
        ++tableCounter_;
        break;
      }
      default:
        break;
    }
  }
  exchangeStep();
}

// ---- status polls ----

uint32_t ServiceLink::statusPollInterval() const {
  if (shmMode_ && attachStep_ == 5) return 4500;
  const uint16_t n = queues_.count(kRequestQueue);
  if (n <= 10) return 3000;
  if (n <= 15) return 5000;
  if (n <= 20) return 6000;
  if (n <= 25) return 7000;
  return 11000;
}

void ServiceLink::pollServiceStatus() {
  const uint32_t interval = statusPollInterval();
  if (pollOutstanding_) {
    if (TickElapsed(clock_.tickMs(), pollTick_) < interval) return;
    pollOutstanding_ = false;
    if (attachStep_ == 5 && ++missCounter_ >= 3) {
      detachStatusSharedMemory();
      missCounter_ = 0;
      return;
    }
  }
  const uint16_t root = tree_.root().idU16();
  const uint8_t mode = !shmMode_ ? 5 : (attachStep_ != 5 ? 10 : 30);
  const uint8_t data[4] = {static_cast<uint8_t>(root >> 8), static_cast<uint8_t>(root & 0xFF), 0, mode};
  sendStatusRequest(data);
}

// ---- dialog requests ----

void ServiceLink::resetPendingRequest() { pending_ = PendingRequest{}; }

bool ServiceLink::dialogRequestOut() const {
  return pending_.state == 1 && TickElapsed(clock_.tickMs(), pending_.sendTick) <= pending_.timeoutMs;
}

bool ServiceLink::sendServiceRequest(uint32_t periodMs, uint8_t command, uint8_t sub, uint32_t timeoutMs,
                                     CBytes payload) {
  return sendPending(periodMs, command, sub, timeoutMs, payload, RequestPayloadFits(command, sub, payload));
}

bool ServiceLink::sendScheduleRequest(uint8_t sub, uint32_t timeoutMs, CBytes block) {
  return sendPending(0, kLinkCmdSetSchedule, sub, timeoutMs, block, sub != 0 && block.size() == kScheduleBlockBytes);
}

bool ServiceLink::sendSettingsRequest(uint8_t sub, uint32_t timeoutMs, CBytes block) {
  return sendPending(0, kLinkCmdDeviceSettings, sub, timeoutMs, block, block.size() == kDeviceSettingsBytes);
}

bool ServiceLink::sendPending(uint32_t periodMs, uint8_t command, uint8_t sub, uint32_t timeoutMs, CBytes payload,
                              bool fits) {
  resetPendingRequest();
  pending_.sequence = sequence_++;
  pending_.queue = kRequestQueue;
  pending_.command = command;
  pending_.sub = sub;
  pending_.timeoutMs = timeoutMs;
  pending_.sendTick = clock_.tickMs();
  pending_.state = 1;
  if (periodMs != 0 && !reactor_.setTimer(kTimerReply, periodMs, [this] { onReplyTimer(); })) {
    pending_.state = 3;
    return false;
  }
  const std::vector<uint8_t> frame = fits ? BuildRequestFrame(command, sub, payload) : std::vector<uint8_t>{};
  if (frame.empty() ||
      !queues_.put(1, 0, kRequestQueue, kKindRequest, command, timeoutMs, pending_.sequence, frame)) {
    if (periodMs != 0) reactor_.killTimer(kTimerReply);
    return false;
  }
  // The link's own steps (hello, configuration download) watch only this request.
  if (periodMs != 0) own_ = OwnRequest{pending_.sequence, command, pending_.sendTick, timeoutMs};
  // Sent now when the link is idle, not at the queue's next 100 ms turn: a
  // chunked transfer asks for its next piece as soon as it took the last.
  if (main_.connState == kConnUp) pump(kRequestQueue);
  return true;
}

bool ServiceLink::queueHello() {
  pending_.sequence = sequence_++;
  pending_.queue = kRequestQueue;
  pending_.command = kLinkCmdHello;
  pending_.replyFlag = 1;
  pending_.reply.clear();
  const std::vector<uint8_t> frame = BuildRequestFrame(kLinkCmdHello, 0, {});
  return !frame.empty() &&
         queues_.put(1, 0, kRequestQueue, kKindRequest, kLinkCmdHello, kPlainTimeoutMs, pending_.sequence, frame);
}

namespace {
void PutLogText(Bytes rec, size_t off, const std::string& text) {
  const size_t n = std::min(text.size(), kLogTextMax);
  std::memcpy(rec.data() + off, text.data(), n);
}
}  // namespace

bool ServiceLink::postLogRequest(uint32_t first, uint16_t code, const std::string& text) {
  std::array<uint8_t, kLogRecordSize> rec{};
  putU32(rec, 0, first);
  putU16(rec, 4, code);
  PutLogText(rec, 6, text);
  return queuePlain(kLinkCmdEventLog, 0, rec);
}

bool ServiceLink::postErrorRequest(uint32_t a, uint32_t b, uint32_t c, const std::string& text) {
  std::array<uint8_t, kErrorRecordSize> rec{};
  putU32(rec, 0, a);
  putU32(rec, 4, b);
  putU32(rec, 8, c);
  PutLogText(rec, 12, text);
  return queuePlain(kLinkCmdEventLog, 1, rec);
}

}  // namespace lark
