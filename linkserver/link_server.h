// The console link server: the TCP listener (8900) with ten console sessions
// and the overflow session, the UDP discovery socket (9000), and the outgoing
// call-back connections that carry pushes to the consoles. Everything runs on
// the EventLoop's thread; the service calls tick() every second and
// dispatchCommandQueue() every 100 ms.
#pragma once
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "core/minute_line_limit.h"
#include "linkserver/link_commands.h"
#include "linkserver/link_session.h"

namespace lark {

class Clock;
class CommandQueues;
class DeviceTree;
class EventLogSink;
class EventLoop;

struct LinkServerOptions {
  uint16_t tcpPort = 8900;  // 0: any free port (see tcpPort())
  uint16_t udpPort = 9000;
  uint32_t bindAddress = 0;           // host order; 0 = any
  uint32_t transferTimeoutMs = 3000;  // a frame or reply not through by then closes the session
  uint32_t pushTimeoutMs = 5000;      // a push not sent by then closes the call-back
  uint32_t idleTimeoutMs = 5 * 60 * 1000;  // console silent this long is closed
  uint32_t helloTimeoutMs = 10000;         // a connection without a Hello by then is closed
  // Console connect and close lines written per minute; the rest are counted
  // into one line, so a flood cannot push real events out of Event.log.
  int connectionLinesPerMinute = 20;
  uint32_t overflowLifetimeMs = 3000;      // the overflow session is closed after this
  uint32_t callBackConnectPasses = 10;     // one-second passes a call-back may spend connecting
  uint32_t deferredReplyMs = 4000;  // a database answer not back by then answers failure
};

// Text of the service's event-log message S_n ("" silences the line).
using SystemTextSource = std::function<std::string(int index)>;
inline constexpr int kTextConsoleConnected = 7;
inline constexpr int kTextConsoleDisconnected = 8;

// Replaces the first "%s" of an event-log text with `value`; "%%" gives "%".
// Other '%' sequences stay as they are (the texts come from language files).
std::string FormatLogText(const std::string& text, const std::string& value);

// Builds the device alarm-state push of one node (kind 1, command 1) from the
// tree; false when the node is missing or is not pushed (groups, meter sums).
bool BuildDeviceStatePush(const DeviceTree& tree, uint16_t nodeId, LinkFrameBuilder& out);

class LinkServer final : public LinkSessionHost {
 public:
  LinkServer(EventLoop& loop, const Clock& clock, EventLogSink& log, CommandQueues& queues,
             LinkServices& services, LinkServerOptions options = {});
  ~LinkServer() override;  // closes every socket; the loop must still exist
  LinkServer(const LinkServer&) = delete;
  LinkServer& operator=(const LinkServer&) = delete;

  void setSystemTexts(SystemTextSource texts) { texts_ = std::move(texts); }
  // The tree the device alarm-state pushes read; without it they are dropped.
  void setDeviceTree(const DeviceTree* tree) { tree_ = tree; }

  // Closes every session and opens the listener and the discovery socket.
  // Returns whether the discovery socket is up (the listener's state is in listening()).
  bool start();
  // Monitoring stopped: every session, the listener and the discovery socket closed.
  void stop();
  // The one-second pass: transfer time-outs, idle consoles, the overflow
  // session's lifetime, call-back connects that take too long, and re-opening
  // a closed listener or discovery socket.
  void tick();
  // Drains up to five entries of command queue 1 into pushes on the
  // connected call-back sessions.
  void dispatchCommandQueue();

  // LinkSessionHost
  bool openCallBack(int slot, uint16_t port) override;
  bool anyConsoleBelowVersion(uint16_t version) const override;
  LinkReplyLater deferReply(int slot, CBytes frame) override;

  // State, for the service's status and for tests.
  bool listening() const { return listener_.fd >= 0; }
  bool listenerPaused() const { return listenerPaused_; }
  bool discoveryOpen() const { return udp_.fd >= 0; }
  uint16_t tcpPort() const { return boundTcpPort_; }
  uint16_t udpPort() const { return boundUdpPort_; }
  int connectedConsoles() const;
  int connectedCallBacks() const;
  bool overflowBusy() const { return overflow_.open(); }
  const LinkSession& console(int slot) const { return consoles_[slot]; }
  const LinkSession& callBack(int slot) const { return callBacks_[slot]; }

 private:
  // Listener and discovery.
  bool openListener();
  void closeListener();
  void pauseListener();
  void resumeListener();
  void onListener(uint32_t events, int error);
  void acceptPending();
  // First free console slot, else kOverflowSlot when the overflow session is
  // free, else -1.
  int freePlace() const;
  bool openDiscovery();
  void closeDiscovery();
  void onDiscovery(uint32_t events, int error);
  void sendDiscoverAnswer();

  // Console sessions (slot 0..9) and the overflow session (kOverflowSlot).
  LinkSession& sessionOf(int slot) { return slot == kOverflowSlot ? overflow_ : consoles_[slot]; }
  void openConsole(int slot, int fd);
  void onConsole(int slot, int fd, uint32_t events, int error);
  void receive(int slot);
  void handleFrames(int slot);
  bool flushReply(int slot);  // true when the reply is out and the session still open
  bool completeDeferred(int slot, uint32_t serial, const LinkReplyFill& fill);
  void closeConsole(int slot, bool logIt);
  void logConsole(int textIndex, const LinkSession& s);
  // Ends the connection-line minute when it is over, writing the count of
  // lines left out ("N more console connections").
  void rollConnectionMinute(uint32_t now);

  // Call-back sessions.
  void onCallBack(int slot, int fd, uint32_t events, int error);
  void callBackConnected(int slot);
  void closeCallBack(int slot);
  void pushLock(int slot);
  void pushDevice(int slot, uint16_t nodeId);
  void startNextPush(int slot);
  bool flushPush(int slot);

  void closeAllSessions();
  void closeSocket(LinkSession& s);

  EventLoop& loop_;
  const Clock& clock_;
  EventLogSink& log_;
  CommandQueues& queues_;
  LinkServices& services_;
  const LinkServerOptions options_;
  SystemTextSource texts_;
  const DeviceTree* tree_ = nullptr;

  std::array<LinkSession, kLinkSlotCount> consoles_;
  std::array<LinkSession, kLinkSlotCount> callBacks_;
  LinkSession overflow_;
  LinkSession listener_;
  LinkSession udp_;
  bool listenerPaused_ = false;  // read reporting off: every slot and the overflow taken
  uint16_t boundTcpPort_ = 0;
  uint16_t boundUdpPort_ = 0;
  bool discoverAnswerPending_ = false;
  MinuteLineLimit connectionLines_;  // loop thread only
  uint32_t deferSerial_ = 0;  // numbers deferred replies, so a late answer finds nothing
  std::shared_ptr<int> alive_ = std::make_shared<int>(0);  // deferred answers check it
};

}  // namespace lark
