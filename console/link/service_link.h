// The console's link to one service: the main TCP connection (8900), the
// call-back listener (8950..8954) and the connection the service opens to
// it, the UDP server search (9000), the link queues and their pumps, the
// session state machine and its tick, the pending dialog request, and the
// status polls over TCP or the status shared memory.
//
// Everything runs on the thread of the Reactor; the shell calls in through
// the timers and sockets it arms and is called back through LinkShell.
#pragma once
#include <netinet/in.h>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "common/bytes.h"
#include "common/status_client.h"
#include "console/link/link_queue.h"
#include "console/link/link_state.h"
#include "console/link/reactor.h"
#include "core/action_tables.h"
#include "core/device_tree.h"
#include "linkserver/link_frame.h"
#include "linkserver/user_records.h"
#include "platform/clock.h"

namespace lark {

// What the link needs of the console around it.
class LinkShell {
 public:
  virtual ~LinkShell() = default;
  // The group list and the root group's device list, row 0 selected.
  virtual void refillViews() {}
  virtual void updateMenuRights(int /*level*/) {}
  // Whether the service keeps user accounts (its database is in use).
  virtual void setAccountsInUse(bool /*on*/) {}
  // language.ini message `n` in the self-closing message box.
  virtual void showTimedMessage(int /*n*/, int /*seconds*/) {}
  virtual void cancelTimedMessage() {}
  // The console's map is marked unchanged (a new session starts).
  virtual void clearMapChanged() {}
  virtual void linkStateChanged(LinkState /*now*/) {}
  // Settings and map files are in Monitor/: reload the tables from them and
  // open the map (`mapPath`, empty without one) as the console's tree.
  virtual void configurationLoaded(const std::string& /*mapPath*/) {}
  // The service's alarm-action tables, every page of one download (pages
  // that came short are left out), handed over once the last has arrived.
  virtual void actionTablesLoaded(std::vector<std::pair<ActionFamily, ActionTable>> /*tables*/) {}
};

// The dialogs that take the session's steps over in the console: Connect To
// Server (the connection and its hello) and Auto-Load Configuration (the
// download). Without them the link takes those steps by itself.
class SessionDialogs {
 public:
  virtual ~SessionDialogs() = default;
  virtual bool connectOpen() const = 0;
  virtual bool autoLoadOpen() const = 0;
  // Opens from a queued call; `reconnect`: offered after a lost link.
  virtual void openConnect(bool reconnect) = 0;
  virtual void openAutoLoad() = 0;
};

// The configuration download: manager.ini and the current map come in
// pieces of this size; a shorter piece is the last.
inline constexpr uint32_t kDownloadChunkSize = 32768;
enum class DownloadStep { kFailed, kMore, kComplete };
// The most a configuration download (manager.ini, a map) may grow to: the
// service sets no bound on a map, and a peer that never sends a short piece
// must not fill the disk.
inline constexpr uint64_t kDownloadMaxBytes = 64ull << 20;
// One piece of `name` (a plain file name, else refused) at `offset` into
// "<folder>/<name>.part", which replaces the copy after the last piece
// (`path` then names the copy); the folder is made when missing. A failure,
// a piece past `maxSize` included, removes the .part and leaves the old copy.
DownloadStep WriteDownloadChunk(const std::string& folder, const std::string& name, uint32_t offset,
                                CBytes chunk, std::string* path,
                                uint64_t maxSize = kDownloadMaxBytes);
// The name of the piece file WriteDownloadChunk writes for `name`.
std::string DownloadPartPath(const std::string& folder, const std::string& name);

struct LinkOptions {
  uint16_t servicePort = 8900;
  uint16_t callBackFirstPort = 8950;
  uint16_t discoveryPort = 9000;
  std::string statusClientObject = kStatusClientObject;
  std::string statusServerObject = kStatusServerObject;
};

// Timer ids the link arms on its reactor; the shell arms the others.
inline constexpr uint32_t kTimerReply = 1036;  // IDT_REPLY: the pending request's reply

// One socket and its transfer.
struct LinkRecord {
  int fd = -1;
  sockaddr_in peer{};
  sockaddr_in local{};
  uint32_t connState = 0;  // 0 closed, 1 listening, 2 connect under way, 3 connected
  std::vector<uint8_t> send;
  size_t sent = 0;
  std::vector<uint8_t> recv;  // bytes received and not yet consumed
  uint32_t transfer = 0;
  uint32_t tick = 0;
  uint32_t timeoutMs = 0;
  uint16_t port = 0;  // the call-back listener's port
};
enum LinkConnState : uint32_t { kConnClosed = 0, kConnListening = 1, kConnConnecting = 2, kConnUp = 3 };
// Main link transfer states; the call-back connection uses 1 idle, 2 push partly in, 4 answering.
enum MainTransfer : uint32_t { kXferIdle = 1, kXferSending = 2, kXferWaiting = 3, kXferPartial = 4 };

// The one request a dialog has out.
struct PendingRequest {
  uint32_t sequence = 0;
  uint8_t queue = 0;
  uint8_t command = 0;
  uint8_t sub = 0;
  uint16_t state = 0;      // 0 idle or over, 1 waiting, 3 could not be sent
  uint16_t replyFlag = 1;  // 2: a reply is in and not taken
  uint32_t timeoutMs = 0;
  uint32_t sendTick = 0;
  std::vector<uint8_t> reply;  // the whole reply frame
};

// The session's copy of what the service told it.
struct LinkSessionData {
  std::string autoLoadMap;
  std::string currentMap;
  std::string currentMapBase;  // up to the first '.'
  std::vector<std::string> maps;  // at most 20
  // The user status of the last LoginRecord applied.
  uint8_t accessSwitch = 0;
  uint8_t databaseState = 0;  // 2: connected
  uint8_t userLevel = 0;
  std::string userName;
  uint16_t serviceVersion = 0;
  // The alarm-action pages of the last download, as sent (page p answers
  // sub 2p); empty where a page came short. The dialogs edit copies of them.
  std::array<std::vector<uint8_t>, 11> actionTables;
};

// The map list reply's text ("auto;current;name;...;", at most 20 names,
// empty names skipped, each name cut at a zero byte and to its 259-byte
// slot, text after the last ';' ignored) into `session`.
void ApplyMapList(LinkSessionData& session, CBytes text);

class ServiceLink {
 public:
  ServiceLink(Reactor& reactor, const Clock& clock, DeviceTree& tree, LinkShell& shell, std::string installDir,
              std::function<int()> random, LinkOptions options = {});
  ~ServiceLink();
  ServiceLink(const ServiceLink&) = delete;
  ServiceLink& operator=(const ServiceLink&) = delete;

  // Start-up: queues cleared, state 0, flags cleared, the search socket opened.
  void start();
  // Exit: every socket closed, the shared memory let go, the queues freed.
  void close();

  // Timer 1025 (every second): connecting, the call-back listener and
  // announcement, transfer time-outs, the search socket's retry.
  void secondTick();
  // Timers 1028 (queue 2), 1029 (queue 3), 1031 (queue 5).
  void pump(uint8_t queue);
  // Timer 1033 (every 100 ms): the session tick while the main link is up,
  // then the shared-memory answer step.
  void linkTick();

  // The server to connect to ("LocalHost" is 127.0.0.1) and whether the
  // second timer connects by itself.
  void setServer(const std::string& address);
  void setAutoConnect(bool on) { autoConnect_ = on; }
  bool autoConnect() const { return autoConnect_; }
  const std::string& server() const { return server_; }
  // Null gives the steps back to the link.
  void setSessionDialogs(SessionDialogs* dialogs) { dialogs_ = dialogs; }
  // The reconnection offers made since the link was lost.
  uint32_t reconnectAttempts() const { return reconnectAttempts_; }
  bool reconnecting() const { return lost_; }
  // The connect dialog's hello: the next sequence number into the pending
  // request, queued right behind the head with that number as request id.
  bool queueHello();
  bool requestState(uint8_t s, uint8_t sub);
  bool resetServiceLink(uint8_t s, bool autoConnect);
  LinkState state() const { return state_; }

  // Server search: queues the request to `target` (default the broadcast).
  bool startSearch(const std::string& target = "255.255.255.255");
  const std::vector<std::string>& servers() const { return servers_; }
  void clearServers() {
    servers_.clear();
    serverAddresses_.clear();
  }

  // Dialog requests: one at a time. `periodMs` 0 arms no reply timer.
  // Refused (nothing queued) when the payload does not fit the request's row.
  bool sendServiceRequest(uint32_t periodMs, uint8_t command, uint8_t sub, uint32_t timeoutMs, CBytes payload);
  // Command 29 with a non-zero sub-command and the 472-byte schedule block;
  // command 28 with the 152-byte settings block. The caller watches the reply.
  bool sendScheduleRequest(uint8_t sub, uint32_t timeoutMs, CBytes block);
  bool sendSettingsRequest(uint8_t sub, uint32_t timeoutMs, CBytes block);
  void resetPendingRequest();
  PendingRequest& pending() { return pending_; }
  // Called, from a posted call, when the pending dialog request's reply is
  // in: the dialog takes it at once, not at its next reply tick (a chunked
  // transfer would otherwise move one piece per tick). The reply timer stays
  // the time-out and progress clock.
  void setPendingReplyListener(std::function<void()> listener) {
    replyListener_ = std::move(listener);
  }
  // A dialog's request waits for its reply (or for its dialog to take it)
  // within its time-out: a request of the session's own dialogs would take
  // the pending record from it.
  bool dialogRequestOut() const;
  // The operation log (sub 0, code and text) and the error log (sub 1).
  bool postLogRequest(uint32_t first, uint16_t code, const std::string& text);
  bool postErrorRequest(uint32_t a, uint32_t b, uint32_t c, const std::string& text);

  LinkSessionData& session() { return session_; }
  // The one way the user status changes (the 12/2 answer, a login answer, a
  // logout with level 0): the session's copy, the access switch to the
  // shell, then the rights of the level (full rights without accounts).
  // Callers that restart the session do so after it, so the download that
  // follows sees the new level.
  void applyUserRecord(const LoginRecord& rec);
  // The session's user status as a record.
  LoginRecord userRecord() const;
  LinkQueues& queues() { return queues_; }
  const LinkRecord& mainLink() const { return main_; }
  const LinkRecord& callBackListener() const { return listener_; }
  const LinkRecord& callBackLink() const { return callBack_; }
  const LinkRecord& searchLink() const { return search_; }
  bool sharedMemoryMode() const { return shmMode_; }
  int attachStep() const { return attachStep_; }
  bool foreignChangePending() const { return foreignChange_; }
  bool pollOutstanding() const { return pollOutstanding_; }
  void setTreeBusy(bool busy) { treeBusy_ = busy; }
  // Holds the status polls while the console's tree is rebuilt (map load).
  void setPollHold(bool hold) { pollHold_ = hold; }

  // How long an outstanding status poll may wait.
  uint32_t statusPollInterval() const;

  // Handlers, public for the tests that feed bytes without sockets.
  void receiveLinkAnswers(CBytes bytes);
  void receiveServerFrames(CBytes bytes);
  void receiveDiscoverAnswer(CBytes datagram, const sockaddr_in& from);
  // A reply taken off queue 2.
  void applyReply(const LinkFrameView& frame);
  // The alarm-action tables from page 0 (the session asks every 30 minutes);
  // each page's answer asks the next, and only the page asked is taken.
  bool requestActionTables();

 private:
  void setState(LinkState next);
  void closeSocket(LinkRecord& rec, uint32_t transfer);
  void closeAllSockets();
  void reloadAfterLink();
  void connectMain();
  void onMainSocket(uint32_t events, int error);
  void sendLinkRequest();
  void failMain(bool keepAutoConnect);
  bool openListener();
  void onListenerSocket(uint32_t events, int error);
  void onCallBackSocket(uint32_t events, int error);
  void callBackFailed();
  void continueServerSend();
  bool openDiscoverySocket();
  void onDiscoverySocket(uint32_t events, int error);
  void sendDiscoverFrame();
  void closeDiscovery();
  void applyControlLockPush(const LinkFrameView& frame);
  void pollServiceStatus();
  bool queuePlain(uint8_t command, uint8_t sub, CBytes data);
  void attachStatusSharedMemory();
  void detachStatusSharedMemory();
  void sendStatusRequest(CBytes data);
  void exchangeStep();
  bool sendPending(uint32_t periodMs, uint8_t command, uint8_t sub, uint32_t timeoutMs, CBytes payload, bool fits);
  void onReplyTimer();
  void pendingReplyIn(uint32_t sequence);
  void onDownloadChunk(const LinkFrameView& reply, bool settings);
  bool requestChunk(uint8_t command, uint32_t offset);
  void configurationDone(const std::string& mapPath);
  void applyStatusAnswer();

  Reactor& reactor_;
  const Clock& clock_;
  DeviceTree& tree_;
  LinkShell& shell_;
  SessionDialogs* dialogs_ = nullptr;  // not owned; null: headless steps
  std::function<void()> replyListener_;  // the dialogs' reply taker; may be empty
  std::string installDir_;
  std::function<int()> random_;
  LinkOptions options_;
  LinkQueues queues_;
  LinkState state_;
  LinkRecord main_, listener_, callBack_, search_;
  sockaddr_in searchTarget_{};
  std::vector<std::string> servers_;
  std::vector<in_addr_t> serverAddresses_;  // of servers_, in order: the duplicate check
  std::optional<std::vector<in_addr_t>> ownAddresses_;  // this computer's, read once a search
  PendingRequest pending_;
  uint32_t sequence_ = 1;
  // Requests sent on this connection less replies received; loop thread only.
  int32_t replyCredit_ = 0;
  uint32_t pushWindowTick_ = 0;  // ms tick the current one-second push count began
  uint32_t pushesInWindow_ = 0;  // call-back frames taken since pushWindowTick_
  // The request the link's own reply timer watches; a dialog's request that
  // replaces it leaves it to its time-out.
  struct OwnRequest {
    uint32_t sequence = 0;
    uint8_t command = 0;
    uint32_t sendTick = 0;
    uint32_t timeoutMs = 0;
  } own_;
  LinkSessionData session_;

  // Link flags.
  bool discoveryOpen_ = false;
  bool autoConnect_ = false;
  uint32_t connectTick_ = 0;
  bool callBackWanted_ = false;
  bool shmMode_ = false;
  std::string server_ = "127.0.0.1";
  uint16_t nextListenerPort_ = 0;
  bool foreignChange_ = false;
  bool treeBusy_ = false;
  bool pollHold_ = false;
  bool lost_ = false;  // the link was up and went down: reconnect offers run
  uint32_t reconnectTick_ = 0;
  uint32_t reconnectAttempts_ = 0;
  static constexpr uint32_t kReconnectPeriodMs = 180000;

  // Tick counters.
  uint32_t pollCounter_ = 0;
  uint32_t shmRetryCounter_ = 300;
  static constexpr uint32_t kKeepAliveTicks = 50;  // the user poll and the version
  uint32_t keepAliveCounter_ = kKeepAliveTicks - 1;
  int32_t tableCounter_ = -1;
  static constexpr uint8_t kNoTablePage = 0xFF;
  uint8_t tablePageAsked_ = kNoTablePage;  // the action-table page whose answer is awaited

  // Status polls and the shared memory.
  bool pollOutstanding_ = false;
  uint32_t pollTick_ = 0;
  uint32_t missCounter_ = 0;
  int attachStep_ = 0;
  std::unique_ptr<StatusClient> status_;

  // Configuration download.
  uint32_t chunkOffset_ = 0;
  uint8_t downloading_ = 0;  // 4 settings, 5 map, 0 none
  bool downloadBusy_ = false;
};

}  // namespace lark
