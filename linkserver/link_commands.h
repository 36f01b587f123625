// The table of console link commands and the dispatcher that checks each
// request (kind, command, slot, minimum length, control-lock gate) before its
// handler runs with a view bounded to the frame and a reply builder.
#pragma once
#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "linkserver/link_frame.h"

namespace lark {

class Clock;
class ControlLock;
class DeviceTree;
class EventLog;
class LanguageTables;
class MapStore;
class SettingsStore;
class SnmpDeviceControl;
class UpsCommandSink;
struct ServiceSettings;
struct ReportPeriod;

inline constexpr int kLinkSlotCount = 10;  // console sessions 0..9
inline constexpr int kOverflowSlot = 10;   // the session that only says "server full"

// A console's IPv4 address and port in host order.
struct LinkPeer {
  uint32_t address = 0;
  uint16_t port = 0;
  std::string text() const;  // dotted address
};

// What a handler may ask of the link server about the sessions.
class LinkRequest;
class LinkFrameBuilder;
class LinkDatabase;

// Builds a reply that could not be built at once (the request as it came,
// the session's reply builder).
using LinkReplyFill = std::function<void(LinkRequest& request, LinkFrameBuilder& reply)>;
// Completes a deferred reply on the loop; false when it is too late (the
// session went or the answer timed out). Safe to call once.
using LinkReplyLater = std::function<bool(LinkReplyFill fill)>;

class LinkSessionHost {
 public:
  virtual ~LinkSessionHost() = default;
  // Opens (or re-opens) the call-back connection of `slot` to the console's
  // address at `port`; false when the connect failed at once.
  virtual bool openCallBack(int slot, uint16_t port) = 0;
  // True when any connected console reported a link version below `version`.
  virtual bool anyConsoleBelowVersion(uint16_t version) const = 0;
  // Holds the session's next replies until this one is given; empty when
  // the session cannot wait for one.
  virtual LinkReplyLater deferReply(int slot, CBytes frame) { return {}; }
};

// The logged-in user of a console slot; it belongs to the slot, not to the
// connection, and is cleared whenever the slot changes hands.
struct LinkSlotUser {
  std::string account;  // at most 32 characters
  uint8_t level = 0;
  bool storedSettings = false;  // its last 12/1 or 12/4 was taken: it may apply them (12/6)
};

// The serial traffic trace as a console switches it (the trace lives with
// the serial driver; the service implements this).
class LinkTrafficControl {
 public:
  virtual ~LinkTrafficControl() = default;
  virtual bool serialTraceOn() const = 0;
  virtual uint32_t serialPortFilter() const = 0;
  // Opens the trace for `minutes` (0: until stopped); false when its minute
  // timer cannot run.
  virtual bool startSerialTrace(uint32_t portFilter, int32_t minutes) = 0;
  virtual void stopSerialTrace() = 0;
};

// The subsystems request handlers work on. A handler whose subsystem is not
// wired (null) answers its command's failure code.
struct LinkServices {
  explicit LinkServices(ControlLock& controlLock) : lock(controlLock) {}

  ControlLock& lock;
  LinkSessionHost* host = nullptr;
  // A console slot was taken by a new connection or freed: per-slot state
  // kept by the handlers (account, level, sent bits) starts afresh.
  std::function<void(int slot)> slotOpened;
  std::function<void(int slot)> slotClosed;

  std::string installDir;
  std::string stateDir;  // the key store's folder (may hold the history folder)
  // Room a picture upload leaves on its disk for the event log and the history.
  uint64_t uploadDiskReserve = 64ull << 20;
  DeviceTree* tree = nullptr;
  MapStore* maps = nullptr;
  SettingsStore* settingsStore = nullptr;
  ServiceSettings* settings = nullptr;
  EventLog* eventLog = nullptr;
  LanguageTables* languages = nullptr;
  const Clock* clock = nullptr;
  // Setting texts and frames queued to single devices (built per protocol).
  UpsCommandSink* deviceCommands = nullptr;
  // The UPS command fan-out of the console's control dialog; null until built.
  UpsCommandSink* upsControl = nullptr;
  LinkTrafficControl* traffic = nullptr;
  SnmpDeviceControl* snmp = nullptr;  // the SNMP manager; null without one
  LinkDatabase* database = nullptr;

  // After another map became current (open, new, save under a new name) or
  // the history folder changed: the event log follows the map folder.
  std::function<void()> mapChanged;
  // Polling values changed: the pollers take the new periods.
  std::function<void()> pollingChanged;
  // The language or an alarm-action table changed: the alarm scan's copy
  // of the tables is replaced.
  std::function<void()> actionTablesChanged;
  // The recipient items were replaced: outgoing message slots re-bind.
  std::function<void()> recipientsChanged;
  // Plays the test sound through the tray's audio slots.
  std::function<void()> testSound;
  // The UPS event-log read-out buffer (at least 4600 bytes) for the
  // console's device-log download; empty when none is kept.
  std::function<std::vector<uint8_t>()> upsEventLog;
  // Starts a period report (command 22 sub 2); false while one is running.
  std::function<bool(const ReportPeriod&)> startReport;

  std::array<LinkSlotUser, kLinkSlotCount + 1> users;  // by slot, kOverflowSlot last
  // The last query result of each slot, read in pages.
  std::array<std::string, kLinkSlotCount + 1> resultPages;
  // The part file of each slot's unfinished picture upload ("" for none).
  std::array<std::string, kLinkSlotCount + 1> uploadParts;
};

// Per-slot state back to a new console's: user cleared, an unfinished
// upload's part file removed, the slot's two
// status channels (sentMask bits 2i + 2, 2i + 3) cleared in every node.
void ResetLinkSlot(LinkServices& services, int slot);

// One complete request frame from one session.
class LinkRequest {
 public:
  LinkRequest(CBytes frame, int slot, const LinkPeer& peer, uint16_t& protocolVersion,
              LinkServices& services)
      : frame(frame),
        slot(slot),
        peer(peer),
        protocolVersion(protocolVersion),
        services(services) {}

  const LinkFrameView frame;
  const int slot;  // 0..9, or kOverflowSlot
  const LinkPeer peer;
  uint16_t& protocolVersion;  // the session's link version (0 until told)
  LinkServices& services;

  uint8_t command() const { return frame.command(); }
  // Byte 5: the sub-command of most requests (0 when absent).
  uint8_t sub() const { return frame.u8(kLinkOffCode); }
  bool overflow() const { return slot == kOverflowSlot; }

  // Takes the control lock for a command in flight; the dispatcher ends it
  // after the reply: map commands free the lock, tree commands keep it idle.
  void takeLock(uint32_t kind);
  bool lockTaken() const { return lockTaken_; }

  // The reply comes later (database work): the dispatcher sends nothing now
  // and the session answers nothing else until it does. Empty when this
  // session cannot wait; the handler then answers failure itself.
  LinkReplyLater replyLater();
  bool deferred() const { return deferred_; }

 private:
  bool lockTaken_ = false;
  bool deferred_ = false;
};

using LinkHandler = void (*)(LinkRequest& request, LinkFrameBuilder& reply);

enum LinkCommandFlag : uint8_t {
  kLinkFlagOverflow = 1,  // served by the overflow session too
  kLinkFlagGate = 2,      // asks the control lock (kind = command number)
};

struct LinkCommandRow {
  uint8_t command;
  const char* name;
  uint16_t minLength;  // least whole frame size; shorter gets the failure code
  uint8_t flags;
  LinkHandler handler;
};

// Row of a command 1..34, or nullptr.
const LinkCommandRow* FindLinkCommand(uint8_t command);

// Handles one complete frame. Returns the reply size in `reply`'s buffer, or
// 0 when the frame gets no reply (not a request, unknown command, or a
// command the overflow session does not serve).
size_t DispatchLinkRequest(LinkRequest& request, LinkFrameBuilder& reply);

// Builds a deferred reply into `reply` with the dispatcher's checks; its size.
size_t FinishDeferredReply(LinkRequest& request, LinkFrameBuilder& reply,
                           const LinkReplyFill& fill);

// The failure reply of a command, laid out as its success reply's fixed part
// (sub echo, control-lock record) so the console reads it the same way.
void BuildLinkFailureReply(LinkRequest& request, LinkFrameBuilder& reply);

// Whether the command's replies echo the request's sub at byte 6.
bool LinkReplyEchoesSub(uint8_t command);
// Bytes a reply may still take: the buffer's room, within the largest frame.
size_t LinkReplyRoom(const LinkFrameBuilder& reply);

// Handlers the link server answers itself.
void HandleHello(LinkRequest& request, LinkFrameBuilder& reply);
void HandleCallBack(LinkRequest& request, LinkFrameBuilder& reply);
void HandleVersion(LinkRequest& request, LinkFrameBuilder& reply);

// The service's own link version, sent in the version reply.
inline constexpr uint8_t kServiceLinkVersionMajor = 9;
inline constexpr uint8_t kServiceLinkVersionMinor = 7;

}  // namespace lark
