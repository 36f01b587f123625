#include "devices/snmp/snmp_device_table.h"

#include <arpa/inet.h>

#include <algorithm>

#include "core/live_data.h"
#include "devices/snmp/snmp_live_data.h"
#include "devices/snmp/snmp_poller.h"
#include "devices/snmp/snmp_response.h"
#include "platform/text.h"

namespace lark {

namespace {

using snmp_off::kNoResponseBit;

constexpr uint64_t kSensorSilentBits = 0x3;  // event bits 0 and 1 of a sensor

uint64_t AddressPortKey(uint32_t address, uint16_t port) {
  return (uint64_t{address} << 16) | port;
}

uint16_t PortOf(const DeviceNode& node) { return node.port() ? node.port() : kSnmpDefaultPort; }

// A dotted IPv4 text, or 0 (also for 0.0.0.0 and 255.255.255.255, which no
// agent answers from).
uint32_t ParseDotted(const std::string& text) {
  in_addr a{};
  if (inet_pton(AF_INET, text.c_str(), &a) != 1 || a.s_addr == INADDR_NONE) return 0;
  return a.s_addr;
}

// A node that stops answering: the no-response bit, a sensor's two value
// bits, the poll masks back to the defaults.
void MarkSilent(SnmpDeviceEntry& e, DeviceNode& node) {
  if (LiveDataBlock* blk = node.block(BlockKind::kSnmp)) {
    uint64_t bits = kNoResponseBit;
    if (node.mibType() == kMibSensor) {
      bits |= kSensorSilentBits;
      blk->putU32(snmp_off::kIlluminationTick, 0);
    }
    blk->setMaskBits(MaskWord::kCurrent, bits);
  }
  SnmpSetDefaultMasks(e);
}

// A node the table cannot take is polled by no one: it reads as not
// responding from the start, in both masks, so no alarm change is raised
// for each of thousands of such nodes; one line counts them.
void MarkNotMonitored(DeviceNode& node) {
  node.setMonitored(false);
  LiveDataBlock* blk = node.block(BlockKind::kSnmp);
  if (blk == nullptr) return;
  blk->setMaskBits(MaskWord::kCurrent, kNoResponseBit);
  blk->setMaskBits(MaskWord::kReported, kNoResponseBit);
}

}  // namespace

SnmpPollPace SnmpPaceOf(const SnmpPollSettings& s) {
  const int64_t polling = std::max<int64_t>(1, s.pollingMs);
  const int64_t timeout = std::max<int64_t>(0, s.timeoutSeconds);
  return SnmpPollPace{std::max<int64_t>(1, polling / kSnmpRoundMs),
                      std::max<int64_t>(1, timeout * 1000 / polling),
                      std::max<int64_t>(1, 300000 / polling)};
}

SnmpDeviceTable::SnmpDeviceTable(DeviceTree& tree, SnmpSocket& socket, SnmpResolver* resolver,
                                 const Clock& clock, SnmpTrafficMonitor& monitor,
                                 SnmpTableHooks hooks)
    : tree_(tree),
      socket_(socket),
      resolver_(resolver),
      clock_(clock),
      monitor_(monitor),
      hooks_(std::move(hooks)),
      datagram_(kSnmpDatagramMax) {}

SnmpDeviceTable::~SnmpDeviceTable() = default;

// ---- loop thread ----

void SnmpDeviceTable::ClearSnmpDeviceTable() {
  slots_.clear();
  byId_.clear();
  start_ = 0;
  indexDirty_.store(true);
}

int SnmpDeviceTable::FindSnmpDevice(int32_t nodeId) const {
  auto it = byId_.find(nodeId);
  return it == byId_.end() ? -1 : it->second;
}

std::vector<int32_t> SnmpDeviceTable::nodeIds() const {
  std::vector<int32_t> ids;
  ids.reserve(slots_.size());
  for (const Slot& s : slots_) ids.push_back(s.entry->nodeId);
  return ids;
}

bool SnmpDeviceTable::AddSnmpDevice(DeviceNode& node) {
  const int32_t id = node.id();
  if (byId_.count(id)) return false;
  const std::string host = node.ip();
  const int16_t upsId = node.upsId();
  // A node not given an address yet (a console's new node) is nobody's duplicate.
  const bool unset = host.empty() || host == "0.0.0.0";
  bool refused = count() >= kSnmpTableCapacity;
  for (size_t i = 0; i < slots_.size() && !unset && !refused; ++i) {
    refused = slots_[i].upsId == upsId && EqualNoCase(slots_[i].host, host);
  }
  if (refused) {
    MarkNotMonitored(node);
    return false;
  }
  node.setMonitored(true);
  Slot slot{std::make_unique<SnmpDeviceEntry>(), host, upsId};
  slot.entry->nodeId = id;
  byId_[id] = count();
  slots_.push_back(std::move(slot));
  ResolveNodeAddress(node);
  indexDirty_.store(true);
  return true;
}

void SnmpDeviceTable::RemoveSnmpDevice(int32_t nodeId) {
  int index = FindSnmpDevice(nodeId);
  if (index < 0) return;
  slots_.erase(slots_.begin() + index);
  byId_.clear();
  for (int i = 0; i < count(); ++i) byId_[slots_[static_cast<size_t>(i)].entry->nodeId] = i;
  if (start_ >= count()) start_ = 0;
  indexDirty_.store(true);
}

void SnmpDeviceTable::ResolveNodeAddress(DeviceNode& node) {
  const std::string host = node.ip();
  const uint32_t address = ParseDotted(host);
  node.setResolvedAddress(address);
  if (address == 0 && resolver_ && !host.empty() && host != "0.0.0.0") {
    resolver_->request(node.id(), host);
  }
  indexDirty_.store(true);
}

void SnmpDeviceTable::NodeAddressChanged(DeviceNode& node) {
  int index = FindSnmpDevice(node.id());
  if (index < 0) return;
  Slot& s = slots_[static_cast<size_t>(index)];
  s.host = node.ip();
  s.upsId = node.upsId();
  indexDirty_.store(true);
}

void SnmpDeviceTable::SnmpResetEntry(int index) {
  if (index < 0 || index >= count()) return;
  SnmpDeviceEntry& e = entry(index);
  if (e.socket == -1) return;
  e.socket = -1;
  e.unanswered = 0;
  e.ready = 0;
  e.state = kSnmpEntryIdle;
}

void SnmpDeviceTable::SnmpReinitEntry(int index, DeviceNode& node) {
  if (index < 0 || index >= count()) return;
  SnmpDeviceEntry& e = entry(index);
  if (node.nodeKind() != kNodeSnmp) return;
  LiveDataBlock* blk = node.block(BlockKind::kSnmp);
  if (!blk) return;
  blk->setMask(MaskWord::kReported, 0);
  if (ParseDotted(node.ip()) == 0) blk->setMaskBits(MaskWord::kCurrent, kNoResponseBit);
  node.resetAudioRepeat();
  e.state = kSnmpEntryIdle;
  e.socket = socket_.isOpen() ? socket_.handle() : 0;
  e.ready = socket_.isOpen() ? 1 : 0;
  SnmpSetDefaultMasks(index);
}

void SnmpDeviceTable::SnmpActivateEntry(int index, DeviceNode& node) {
  if (index < 0 || index >= count()) return;
  SnmpDeviceEntry& e = entry(index);
  if (!e.ready) return;
  e.state = kSnmpEntryActive;
  e.unanswered = 0;
  if (LiveDataBlock* blk = node.block(BlockKind::kSnmp)) {
    blk->clearMaskBits(MaskWord::kCurrent, kNoResponseBit);
  }
}

void SnmpDeviceTable::SnmpSetDefaultMasks(int index) {
  if (index >= 0 && index < count()) lark::SnmpSetDefaultMasks(entry(index));
}

void SnmpDeviceTable::setSettings(const SnmpPollSettings& s) {
  std::lock_guard<std::mutex> lock(settingsMu_);
  settings_ = s;
}

SnmpPollSettings SnmpDeviceTable::settings() const {
  std::lock_guard<std::mutex> lock(settingsMu_);
  return settings_;
}

// ---- poll thread ----

// One walk of the tree finds every entry's node; the address indexes follow.
// The first node of an id in depth-first order wins, as a lookup from the
// root would find it.
void SnmpDeviceTable::rebuildIndex() {
  std::unordered_map<int32_t, DeviceNode*> found;
  std::vector<DeviceNode*> stack{&tree_.root()};
  while (!stack.empty()) {
    DeviceNode* n = stack.back();
    stack.pop_back();
    if (n->nodeKind() == kNodeSnmp && !n->isGroup()) found.emplace(n->id(), n);
    const auto& children = n->children();
    for (auto it = children.rbegin(); it != children.rend(); ++it) stack.push_back(it->get());
  }
  nodes_.assign(slots_.size(), nullptr);
  byAddressPort_.clear();
  byAddress_.clear();
  for (int i = 0; i < count(); ++i) {
    auto it = found.find(entry(i).nodeId);
    if (it == found.end()) continue;
    DeviceNode* node = it->second;
    nodes_[static_cast<size_t>(i)] = node;
    const uint32_t address = node->resolvedAddress();
    if (address == 0) continue;
    byAddressPort_.emplace(AddressPortKey(address, PortOf(*node)), i);
    byAddress_.emplace(address, i);
  }
}

DeviceNode* SnmpDeviceTable::nodeAt(int index) const {
  return index >= 0 && static_cast<size_t>(index) < nodes_.size()
             ? nodes_[static_cast<size_t>(index)]
             : nullptr;
}

void SnmpDeviceTable::takeResolved() {
  if (!resolver_) return;
  std::vector<SnmpResolved> results = resolver_->takeResults();
  if (results.empty()) return;
  if (indexDirty_.exchange(false)) rebuildIndex();
  for (const SnmpResolved& r : results) {
    int index = FindSnmpDevice(r.nodeId);
    DeviceNode* node = nodeAt(index);
    // An answer for a text the node no longer has is stale.
    if (node && EqualNoCase(node->ip(), r.host)) node->setResolvedAddress(r.address);
  }
  indexDirty_.store(true);
}

bool SnmpDeviceTable::openSocket() {
  if (socket_.isOpen()) return true;
  if (socket_.open()) {
    socketFailureReported_ = false;
    return true;
  }
  if (!socketFailureReported_) {
    socketFailureReported_ = true;
    if (hooks_.socketFailed) hooks_.socketFailed();
  }
  return false;
}

void SnmpDeviceTable::round() {
  auto lock = tree_.readLock();
  std::lock_guard<std::mutex> exchangeLock(exchangeMu_);
  openSocket();
  takeResolved();
  if (indexDirty_.exchange(false)) rebuildIndex();

  const SnmpPollSettings s = settings();
  const SnmpPollPace pace = SnmpPaceOf(s);
  const int64_t n = count();
  ++roundsSinceExchange_;
  // Fewer devices than rounds in an interval: one device every
  // polling / n milliseconds, on a round boundary.
  const bool exchange =
      n >= pace.roundsPerInterval ||
      (n > 0 && roundsSinceExchange_ * kSnmpRoundMs >= std::max<int64_t>(1, s.pollingMs) / n);
  if (exchange) {
    roundsSinceExchange_ = 0;
    if (n > 0 && socket_.isOpen()) receivePhase(static_cast<int>(2 * n));
    if (socket_.isOpen()) sendPhase(pace);
  }

  if (resetPeriod_.exchange(false)) resolutionPeriod_ = 1;
  if (++roundsSinceResolution_ >= resolutionPeriod_) {
    roundsSinceResolution_ = 0;
    resolutionMoment();
    if (resolutionPeriod_ < kSnmpMaxResolutionPeriod) resolutionPeriod_ *= 10;
  }
}

// Names of entries not yet active that still have no address are asked
// again; new entries are taken up.
void SnmpDeviceTable::resolutionMoment() {
  for (int i = 0; i < count(); ++i) {
    SnmpDeviceEntry& e = entry(i);
    DeviceNode* node = nodeAt(i);
    if (!node) continue;
    if (e.state != kSnmpEntryActive && node->resolvedAddress() == 0 && resolver_) {
      const std::string host = node->ip();
      if (!host.empty() && host != "0.0.0.0" && ParseDotted(host) == 0)
        resolver_->request(e.nodeId, host);
    }
    if (e.state == kSnmpEntryIdle && e.socket == -1) {
      SnmpReinitEntry(i, *node);
      SnmpActivateEntry(i, *node);
    }
  }
}

void SnmpDeviceTable::socketBroken() {
  socket_.close();
  for (int i = 0; i < count(); ++i) {
    if (DeviceNode* node = nodeAt(i)) MarkSilent(entry(i), *node);
  }
}

void SnmpDeviceTable::receivePhase(int budget) {
  for (int i = 0; i < budget; ++i) {
    size_t length = 0;
    uint32_t address = 0;
    uint16_t port = 0;
    switch (socket_.receive(Bytes(datagram_.data(), datagram_.size()), &length, &address, &port)) {
      case SnmpReceive::kNone:
        return;
      case SnmpReceive::kSkip:
        continue;
      case SnmpReceive::kFatal:
        socketBroken();
        return;
      case SnmpReceive::kDatagram:
        if (length > 0) handleDatagram(CBytes(datagram_.data(), length), address, port);
        continue;
    }
  }
}

// Only a GetResponse from where the entry's request went, carrying the id
// of one of its recent requests and the community sent, is applied.
void SnmpDeviceTable::handleDatagram(CBytes datagram, uint32_t address, uint16_t port) {
  auto [first, last] = byAddressPort_.equal_range(AddressPortKey(address, port));
  if (first == last) return;
  if (SnmpDecodeMessage(codec_, datagram) != 0) return;
  const SnmpMessage& m = codec_.message;
  if (m.pdu != kPduGetResponse || m.requestId == 0) return;
  for (auto it = first; it != last; ++it) {
    const int index = it->second;
    SnmpDeviceEntry& e = entry(index);
    auto recent = std::find(e.recentPollIds.begin(), e.recentPollIds.end(), m.requestId);
    const bool isPoll = recent != e.recentPollIds.end();
    if (!isPoll && e.lastSetId != m.requestId) continue;
    DeviceNode* node = nodeAt(index);
    if (!node) return;
    const std::string community = node->community();
    if (std::string_view(reinterpret_cast<const char*>(m.community.data()), m.community.size()) !=
        community) {
      return;
    }
    // Each request is answered once: a replay is dropped.
    if (isPoll) {
      *recent = 0;
    } else {
      e.lastSetId = 0;
    }
    e.unanswered = 0;
    if (LiveDataBlock* blk = node->block(BlockKind::kSnmp)) {
      blk->clearMaskBits(MaskWord::kCurrent, kNoResponseBit);
    }
    SnmpResponseContext ctx;
    ctx.clock = &clock_;
    const SnmpPollSettings s = settings();
    ctx.snmpPollingMs = s.pollingMs;
    ctx.illuminationMin = s.illuminationMin;
    ctx.findPeer = [this](uint32_t peerAddress, int16_t upsId) {
      auto [pf, pl] = byAddress_.equal_range(peerAddress);
      for (auto p = pf; p != pl; ++p) {
        DeviceNode* peer = nodeAt(p->second);
        if (peer && peer->upsId() == upsId) return SnmpPeer{peer, &entry(p->second)};
      }
      return SnmpPeer{};
    };
    ctx.updateGroupTotals = hooks_.updateGroupTotals;
    ctx.eventLog = hooks_.eventLog;
    ctx.serviceLog = hooks_.serviceLog;
    ctx.traffic = trafficFor(*node);
    SnmpApplyResponse(ctx, codec_, e, *node);
    return;
  }
}

SnmpTrafficFn SnmpDeviceTable::trafficFor(const DeviceNode& node) {
  if (!monitor_.isOn()) return {};
  return [this, ip = node.ip()](std::string_view text, int direction) {
    monitor_.log(ip, text, direction);
  };
}

bool SnmpDeviceTable::sendSet(int32_t nodeId, SnmpCodec& codec, std::string_view community,
                              const SnmpRequest& request) {
  std::lock_guard<std::mutex> exchangeLock(exchangeMu_);
  const int index = FindSnmpDevice(nodeId);
  if (index < 0 || !socket_.isOpen()) return false;
  codec.message.community =
      CBytes(reinterpret_cast<const uint8_t*>(community.data()), community.size());
  codec.message.requestId = nextRequestId();
  CBytes bytes;
  if (SnmpEncodeMessage(codec, &bytes) != 0) return false;
  entry(index).lastSetId = codec.message.requestId;
  return socket_.send(bytes, request.address, request.port);
}

int32_t SnmpDeviceTable::nextRequestId() {
  lastRequestId_ = lastRequestId_ == INT32_MAX ? 1 : lastRequestId_ + 1;
  return lastRequestId_;
}

void SnmpDeviceTable::sendPhase(const SnmpPollPace& pace) {
  const int64_t n = count();
  if (n == 0) return;
  const int64_t k =
      n >= pace.roundsPerInterval ? (n + pace.roundsPerInterval - 1) / pace.roundsPerInterval : 1;
  if (start_ >= n) start_ = 0;
  for (int64_t i = 0; i < k; ++i) {
    const int index = static_cast<int>((start_ + i) % n);
    // Not taken up yet (or its node is gone): the others are still served.
    if (!entry(index).ready) continue;
    pollOne(index, pace);
  }
  start_ = static_cast<int>((start_ + k) % n);
}

void SnmpDeviceTable::pollOne(int index, const SnmpPollPace& pace) {
  DeviceNode* node = nodeAt(index);
  if (!node || node->linkStatus() == kLinkStopped) return;
  SnmpDeviceEntry& e = entry(index);
  LiveDataBlock* blk = node->block(BlockKind::kSnmp);
  if (++e.unanswered >= pace.timeoutPolls) {
    e.fiveMinuteCounter = 0;
    e.unanswered = 0;
    MarkSilent(e, *node);
    return;
  }
  if (++e.fiveMinuteCounter >= pace.refreshPolls) {
    e.fiveMinuteCounter = 0;
    if (node->mibType() == kMibMakerUps) {
      for (int g = 0; g < kSnmpMaskCount; ++g) {
        if (g != 2 && g != 8) e.pollMasks[static_cast<size_t>(g)] = SnmpFullMask(g);
      }
    }
  }
  SnmpRequest request;
  const SnmpTrafficFn traffic = trafficFor(*node);
  if (SnmpPollDevice(codec_, e, *node, clock_.tickMs(), traffic, &request) == SnmpBuild::kReady) {
    // Every request gets an id of its own, so an answer names the request.
    // Encoded again with it (the header's community text is ours to keep).
    const std::string community = node->community();
    codec_.message.community =
        CBytes(reinterpret_cast<const uint8_t*>(community.data()), community.size());
    codec_.message.requestId = nextRequestId();
    CBytes bytes;
    if (SnmpEncodeMessage(codec_, &bytes) == 0) {
      e.recentPollIds[e.nextPollSlot] = codec_.message.requestId;
      e.nextPollSlot = static_cast<uint8_t>((e.nextPollSlot + 1) % kSnmpRecentPolls);
      socket_.send(bytes, request.address, request.port);
    }
  }
  if (node->mibType() == kMibSensor && blk) countSensorPolls(e, *blk, pace);
}

// The response handler zeroes a counter's octet when its value arrives; the
// entry's wide count follows it down.
void SnmpDeviceTable::countSensorPolls(SnmpDeviceEntry& e, LiveDataBlock& blk,
                                       const SnmpPollPace& pace) {
  constexpr size_t kOffsets[2] = {snmp_off::kSensorPollCounter1, snmp_off::kSensorPollCounter2};
  for (size_t c = 0; c < 2; ++c) {
    uint32_t& count = e.sensorPolls[c];
    const uint8_t shown = blk.u8(kOffsets[c]);
    if (shown < std::min<uint32_t>(count, 255)) count = shown;
    if (++count > pace.timeoutPolls) {
      count = 0;
      blk.setMaskBits(MaskWord::kCurrent, uint64_t{1} << c);
    }
    blk.putU8(kOffsets[c], static_cast<uint8_t>(std::min<uint32_t>(count, 255)));
  }
}

}  // namespace lark
