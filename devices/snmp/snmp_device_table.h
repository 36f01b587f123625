// The SNMP device table: one entry per SNMP node of the tree, polled through
// one UDP socket in 100 ms rounds. A round receives the datagrams waiting,
// hands each accepted answer to SnmpApplyResponse, then sends the polls due,
// so that every device is asked once per "SNMP Polling" interval.
//
// Threads: round() runs on the SNMP poll thread (or a test), holding the
// tree lock shared. The table's entries change only on the loop thread with
// that thread paused (inside a StructuralEdit, or before it starts).
// setSettings, resetResolutionPeriod and the monitor are safe from any thread.
// sendSet runs on the loop thread while the poll thread runs; it and the
// round take turns on the socket under the exchange lock.
#pragma once
#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "core/device_tree.h"
#include "core/event_log_sink.h"
#include "devices/snmp/snmp_codec.h"
#include "devices/snmp/snmp_entry.h"
#include "devices/snmp/snmp_monitor.h"
#include "devices/snmp/snmp_objects.h"
#include "devices/snmp/snmp_poller.h"
#include "devices/snmp/snmp_resolver.h"
#include "devices/snmp/snmp_socket.h"
#include "platform/clock.h"

namespace lark {

inline constexpr int kSnmpTableCapacity = 1000;
inline constexpr int kSnmpRoundMs = 100;
inline constexpr int kSnmpMaxResolutionPeriod = 1000;  // rounds

// manager.ini [Polling] as the poll thread uses it.
struct SnmpPollSettings {
  int32_t pollingMs = 1000;      // "SNMP Polling"
  int32_t timeoutSeconds = 60;   // "SNMP Timeout"
  int32_t illuminationMin = 15;  // [Inverter] "Illumination.MinValue"
};

// What the settings mean in rounds and polls, never 0 and without overflow.
struct SnmpPollPace {
  int64_t roundsPerInterval;  // t = polling / 100, at least 1
  int64_t timeoutPolls;       // timeout x 1000 / polling, at least 1
  int64_t refreshPolls;       // five minutes of polls, at least 1
};
SnmpPollPace SnmpPaceOf(const SnmpPollSettings& s);

struct SnmpTableHooks {
  EventLogSink* eventLog = nullptr;                  // the unsupported-agent line
  std::function<void(std::string_view)> serviceLog;  // the same for the service log
  std::function<void(DeviceNode*)> updateGroupTotals;
  // The socket could not be opened; called once until it opens again.
  std::function<void()> socketFailed;
};

class SnmpDeviceTable {
 public:
  // `resolver` may be null: names then stay unresolved.
  SnmpDeviceTable(DeviceTree& tree, SnmpSocket& socket, SnmpResolver* resolver, const Clock& clock,
                  SnmpTrafficMonitor& monitor, SnmpTableHooks hooks = {});
  ~SnmpDeviceTable();
  SnmpDeviceTable(const SnmpDeviceTable&) = delete;
  SnmpDeviceTable& operator=(const SnmpDeviceTable&) = delete;

  // ---- loop thread, poll thread paused ----

  // Drops every entry (start-up, stop).
  void ClearSnmpDeviceTable();
  // Index of the node's entry, -1 none.
  int FindSnmpDevice(int32_t nodeId) const;
  // Registers the node under its IP text; false when it has an entry
  // already, another node with the same host (any case) and UPSID has one,
  // or the table is full. Its address is resolved (names later).
  bool AddSnmpDevice(DeviceNode& node);
  void RemoveSnmpDevice(int32_t nodeId);
  // Dotted text in place; a name goes to the resolver, the node keeps
  // 0.0.0.0 (and gets no request) until the answer comes.
  void ResolveNodeAddress(DeviceNode& node);
  // The node's host or UPSID changed: the table's copy follows.
  void NodeAddressChanged(DeviceNode& node);
  void SnmpResetEntry(int index);
  // Re-arming: the node's reported mask cleared, the no-response bit set for
  // a host that is not dotted, unknown audio values; ready with the socket.
  void SnmpReinitEntry(int index, DeviceNode& node);
  void SnmpActivateEntry(int index, DeviceNode& node);
  void SnmpSetDefaultMasks(int index);

  int count() const { return static_cast<int>(slots_.size()); }
  const SnmpDeviceEntry& entry(int index) const {
    return *slots_[static_cast<size_t>(index)].entry;
  }
  SnmpDeviceEntry& entry(int index) { return *slots_[static_cast<size_t>(index)].entry; }
  // The node ids of the table, in order (the loop thread may read them while
  // the poll thread runs: only the loop thread changes them).
  std::vector<int32_t> nodeIds() const;

  // ---- any thread ----
  void setSettings(const SnmpPollSettings& s);
  SnmpPollSettings settings() const;
  // The next re-resolution moment comes at the next round, then 10, 100...
  void resetResolutionPeriod() { resetPeriod_.store(true); }
  SnmpTrafficMonitor& monitor() { return monitor_; }

  // Opens the socket when closed; a failure is reported once until it opens.
  // The loop thread calls it before the poll thread starts, then the thread.
  bool openSocket();

  // ---- loop thread (beside the poll thread) ----

  // Sends the message built in `codec` (a SetRequest of SnmpBuildSet) to
  // `request`'s destination under a fresh request id, recorded as the last
  // SetRequest of the node's entry so that its answer is applied; its header
  // names `community`. False when the node has no entry, the socket is
  // closed or the message is not handed to the network. Serialised with the
  // round by the exchange lock.
  bool sendSet(int32_t nodeId, SnmpCodec& codec, std::string_view community,
               const SnmpRequest& request);
  // The node's traffic for the network monitor; empty while it is off.
  SnmpTrafficFn trafficFor(const DeviceNode& node);

  // ---- poll thread ----

  // One 100 ms round: socket opened when closed, resolved names taken, the
  // exchange when due, the re-resolution moment when due.
  void round();
  // The socket breaks: closed, every device marked silent (reopened next round).
  void socketBroken();

 private:
  struct Slot {
    std::unique_ptr<SnmpDeviceEntry> entry;
    std::string host;  // the node's IP text when it was added or edited
    int16_t upsId = 0;
  };

  void rebuildIndex();
  DeviceNode* nodeAt(int index) const;
  void takeResolved();
  void receivePhase(int budget);
  void handleDatagram(CBytes datagram, uint32_t address, uint16_t port);
  void sendPhase(const SnmpPollPace& pace);
  void pollOne(int index, const SnmpPollPace& pace);
  void countSensorPolls(SnmpDeviceEntry& e, LiveDataBlock& blk, const SnmpPollPace& pace);
  void resolutionMoment();
  int32_t nextRequestId();

  DeviceTree& tree_;
  SnmpSocket& socket_;
  SnmpResolver* resolver_;
  const Clock& clock_;
  SnmpTrafficMonitor& monitor_;
  SnmpTableHooks hooks_;

  std::vector<Slot> slots_;                // dense, in insertion order
  std::unordered_map<int32_t, int> byId_;  // node id -> slot, kept with slots_
  mutable std::mutex settingsMu_;
  SnmpPollSettings settings_;
  std::atomic<bool> resetPeriod_{false};
  std::atomic<bool> indexDirty_{true};

  // Held by a round and by sendSet: the socket, the request counter and
  // the entries' request ids.
  std::mutex exchangeMu_;

  // Poll thread only.
  std::vector<DeviceNode*> nodes_;  // by slot; null when the node is not in the tree
  std::unordered_multimap<uint64_t, int> byAddressPort_;
  std::unordered_multimap<uint32_t, int> byAddress_;
  SnmpCodec codec_;
  std::vector<uint8_t> datagram_;
  int start_ = 0;
  int64_t roundsSinceExchange_ = 0;
  int64_t roundsSinceResolution_ = 0;
  int64_t resolutionPeriod_ = 1;
  int32_t lastRequestId_ = 0;
  bool socketFailureReported_ = false;
};

}  // namespace lark
