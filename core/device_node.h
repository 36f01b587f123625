// One node of the device tree: a group or a monitored device.
//
// The node is a 7616-byte little-endian image that is also a wire format (sent
// whole to the consoles and through the shared memory), with typed accessors
// at fixed offsets. Where the image holds 32-bit pointer slots (picture,
// parent, children, the eight live-data blocks, the PLC source texts) the real
// links are native members beside it and the slots stay 0, also in wireImage().
//
// Layout (offsets are format):
//   0 u16 SNMP poll position    2 u16 SNMP poll group      4 i16 id
//   6 char[35] title           41 char[67] location (66 characters + NUL)
// 108 u32 resolved address    112 char[31] IP             143 char[31] community
// 174 u16 SNMP port           176 char[16] COM            192 i16 UPSID (bus address)
// 194 u16 baud                196 i16 CommType            198 u16 link status
// 200 u8 NodeKind             201 u8 MibType              202 u8 UpsTypeCode
// 203 u8 second status byte   208 i32[4] icon rect        224 i32[4] group rect
// 240 ptr picture             244 i16 child count         248 ptr parent
// 252 ptr[300] children      1452 u8 AlarmLevel          1456 alarm state arrays
// 6656 ptr[8] live-data blocks                          6688 i32 link-lost latch
// 6692 i32 test countdown    6696 i32 Sync.DateTime      6700 u16 SaveInDatabase (0/1)
// 6702 week schedule[30] x 6 6882 dated schedule[30] x 8 7122 pending actions[4] x 8
// 7156..7611 by kind: PLC point table (CommType 4), GroupTotals (groups),
//            rating power u32 at 7184, event-suppression words at 7162
// 7484 ptr[32] PLC source texts                          7612 u32 sentMask
//
// Threads: the poll threads write a few fields (link status, UpsTypeCode, the
// GroupTotals of groups) while the loop thread reads them, so every typed
// accessor takes the node's own mutex; wireImage() copies under it. The
// native links (parent, children, blocks, picture, sources) change only in a
// structural edit (tree lock held exclusively, workers paused) and are read
// under the tree lock.
#pragma once
#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "common/bytes.h"
#include "core/live_data.h"

namespace lark {

inline constexpr size_t kDeviceNodeSize = 7616;
inline constexpr int kMaxChildren = 300;
inline constexpr int kPlcPointCount = 32;
inline constexpr int kAlarmRowCount = 200;
inline constexpr int kWeekScheduleCount = 30;
inline constexpr int kDateScheduleCount = 30;
inline constexpr int kPendingActionCount = 4;

// The node's kind (map key "upsGroupSNMP").
enum NodeKind : uint8_t {
  kNodeSerial = 0,  // local serial device
  kNodeGroup = 1,
  kNodeSnmp = 2,
  kNodeGprs = 3,
};

// Protocol of a local (serial) device.
enum CommType : int16_t {
  kCommAscii = 0,          // the maker's RS-232 ASCII protocol
  kCommThreePhase = 1,     // RS-485 three-phase binary protocol
  kCommModbusUps = 2,      // Modbus RTU, the maker's UPS
  kCommModbusTrv5200 = 3,  // Modbus RTU, TRV5200
  kCommPlc = 4,            // Modbus ASCII PLC
  kCommModbus9315 = 5,     // Modbus RTU, 9315 UPS
  kCommInverter = 6,
  kCommSensor = 7,
  kCommMeter = 8,
  kCommMeterSum = 9,
};

// MIB family of an SNMP device.
enum MibType : uint8_t {
  kMibUnknown = 0,
  kMibMakerUps = 5,  // shown "UPSv4"
  kMibInverter = 6,
  kMibSensor = 7,
  kMibRfc1628 = 8,
};

// Alarm level of a node or an action row; lower is more severe.
enum AlarmLevel : uint8_t { kAlarmSerious = 0, kAlarmWarning = 1, kAlarmNone = 2 };

// Link status word (offset 198).
enum LinkStatus : uint16_t {
  kLinkUnidentified = 0,
  kLinkIdentified = 1,
  kLinkReidentify = 2,
  kLinkStopped = 10,  // never polled
};

// Field offsets and widths of the image.
namespace node_off {
inline constexpr size_t kSnmpPollPosition = 0;  // u16
inline constexpr size_t kSnmpPollGroup = 2;     // u16
inline constexpr size_t kId = 4;                // i16
inline constexpr size_t kTitle = 6, kTitleSize = 35;
inline constexpr size_t kLocation = 41;
// The field used to run to 111 over the resolved address; the text stops at 66
// characters plus the terminator so 108 stays the address.
inline constexpr size_t kLocationSize = 67;
inline constexpr size_t kResolvedAddress = 108;  // u32
inline constexpr size_t kIp = 112, kIpSize = 31;
inline constexpr size_t kCommunity = 143, kCommunitySize = 31;
inline constexpr size_t kPort = 174;  // u16
inline constexpr size_t kCom = 176, kComSize = 16;
inline constexpr size_t kUpsId = 192;                    // i16
inline constexpr size_t kBaud = 194;                     // u16
inline constexpr size_t kCommType = 196;                 // i16
inline constexpr size_t kLinkStatus = 198;               // u16
inline constexpr size_t kNodeKind = 200;                 // u8
inline constexpr size_t kMibType = 201;                  // u8
inline constexpr size_t kUpsTypeCode = 202;              // u8, set by the protocol engines
inline constexpr size_t kStatus2 = 203;                  // u8
inline constexpr size_t kIconRect = 208;                 // i32[4]
inline constexpr size_t kGroupRect = 224;                // i32[4]
inline constexpr size_t kPicturePtr = 240;               // pointer slot
inline constexpr size_t kChildCount = 244;               // i16
inline constexpr size_t kParentPtr = 248;                // pointer slot
inline constexpr size_t kChildrenPtr = 252;              // pointer slots [300]
inline constexpr size_t kAlarmLevel = 1452;              // u8
inline constexpr size_t kAlarmDelayLeft = 1456;          // i32[200]
inline constexpr size_t kAlarmDelayTick = 2256;          // u32[200]
inline constexpr size_t kAlarmDelayLeftExt = 3056;       // i32[200]
inline constexpr size_t kAlarmDelayTickExt = 3856;       // u32[200]
inline constexpr size_t kAlarmDelayRunning = 4656;       // u8[200]
inline constexpr size_t kAlarmConfirmed = 4856;          // u8[200]
inline constexpr size_t kAlarmDelayRunningExt = 5056;    // u8[200]
inline constexpr size_t kAlarmConfirmedExt = 5256;       // u8[200]
inline constexpr size_t kAlarmReactionActive = 5456;     // u8[200]
inline constexpr size_t kAlarmSoundPlayed = 5656;        // u8[200]
inline constexpr size_t kAlarmReactionActiveExt = 5856;  // u8[200]
inline constexpr size_t kAlarmSoundPlayedExt = 6056;     // u8[200]
inline constexpr size_t kAlarmAudioRepeat = 6256;        // i16[200], -1 idle
inline constexpr size_t kBlockPtrs = 6656;               // pointer slots [8]
inline constexpr size_t kLinkLostLatch = 6688;           // i32
inline constexpr size_t kTestCountdown = 6692;           // i32, seconds
inline constexpr size_t kSyncDateTime = 6696;            // i32
inline constexpr size_t kSaveInDatabase = 6700;          // u16, 0 or 1
inline constexpr size_t kWeekSchedule = 6702, kWeekEntrySize = 6;
inline constexpr size_t kDateSchedule = 6882, kDateEntrySize = 8;
inline constexpr size_t kPendingActions = 7122, kPendingEntrySize = 8;
inline constexpr size_t kPlcPointNum = 7156;     // i16; also the sensor type
inline constexpr size_t kPlcXBypass = 7158;      // i16
inline constexpr size_t kPlcBypassUpsId = 7160;  // i16
inline constexpr size_t kPlcUpsId = 7162;        // i16[32]; event-suppression words
inline constexpr size_t kPlcXtpcTrip = 7226;     // i16[32]
inline constexpr size_t kPlcXucbTrip = 7290;     // i16[32]
inline constexpr size_t kPlcYtpcAlarm = 7354;    // i16[32]
inline constexpr size_t kPlcYupsAlarm = 7418;    // i16[32]
inline constexpr size_t kPlcSourcePtrs = 7484;   // pointer slots [32]
inline constexpr size_t kRatingPower = 7184;     // u32, devices
inline constexpr size_t kSentMask = 7612;        // u32
}  // namespace node_off

// The nine GroupTotals of a group (i32 each): inverter sums S0..S5, the copied
// sum S6, sensor averages A0 and A1. A serial or SNMP inverter keeps its own S6.
enum class GroupTotal : uint8_t { kS0, kS1, kS2, kS3, kS4, kS5, kS6, kA0, kA1 };
inline constexpr int kGroupTotalCount = 9;
size_t GroupTotalOffset(GroupTotal which);

// The per-action-row alarm state arrays.
enum class AlarmArray : uint8_t {
  kDelayLeft,          // i32 ms, main events
  kDelayTick,          // u32 tick stamp, main events
  kDelayLeftExt,       // i32 ms, extended events
  kDelayTickExt,       // u32 tick stamp, extended events
  kDelayRunning,       // u8
  kConfirmed,          // u8
  kDelayRunningExt,    // u8
  kConfirmedExt,       // u8
  kReactionActive,     // u8
  kSoundPlayed,        // u8
  kReactionActiveExt,  // u8
  kSoundPlayedExt,     // u8
  kAudioRepeat,        // i16 seconds, -1 idle
};

// A node's alarm-state arrays (image bytes 1456..6655) as one copy: the
// alarm scan reads them under one lock, works on the copy and puts it back
// under one, instead of locking the node for every element.
inline constexpr size_t kAlarmStatesOff = node_off::kAlarmDelayLeft;
inline constexpr size_t kAlarmStatesSize =
    node_off::kAlarmAudioRepeat + 2 * kAlarmRowCount - kAlarmStatesOff;
class AlarmStates {
 public:
  // Element `index` (0..199) of an array; 0 outside, writes outside do nothing.
  int64_t get(AlarmArray array, int index) const;
  void set(AlarmArray array, int index, int64_t value);
  bool changed() const { return changed_; }
  // Nothing for the main (or extended) rows to do while the event mask stays
  // as it is: no delay counting down, no reaction active, no sound played,
  // every repeat countdown idle. `states` is the arrays' bytes.
  static bool Idle(CBytes states, bool extended);

 private:
  friend class DeviceNode;
  std::array<uint8_t, kAlarmStatesSize> bytes_{};
  bool changed_ = false;
};

struct NodeRect {
  int32_t left = 0, top = 0, right = 0, bottom = 0;
  bool operator==(const NodeRect&) const = default;
};

struct ScheduleWeekEntry {
  int16_t weekday = 0;  // 1 Sunday .. 7 Saturday
  uint8_t hour = 0, minute = 0;
  uint8_t actionClass = 0;  // 0 unused, 1..4
  bool operator==(const ScheduleWeekEntry&) const = default;
};
struct ScheduleDateEntry {
  int16_t year = 0;
  uint8_t month = 0, day = 0, hour = 0, minute = 0;
  uint8_t actionClass = 0;  // 0 no action that date, 1..4
  bool operator==(const ScheduleDateEntry&) const = default;
};
struct PendingAction {
  int16_t year = 0;
  uint8_t month = 0, day = 0, hour = 0, minute = 0;
  bool operator==(const PendingAction&) const = default;
};

class DeviceNode {
 public:
  using Image = std::array<uint8_t, kDeviceNodeSize>;

  DeviceNode();  // zero-filled, no links, no blocks
  ~DeviceNode();
  DeviceNode(const DeviceNode&) = delete;
  DeviceNode& operator=(const DeviceNode&) = delete;

  // ---- wire image ----
  // The image with every pointer slot 0 (they are never written, this makes sure).
  Image wireImage() const;
  void wireImage(Bytes out) const;  // out.size() >= kDeviceNodeSize
  // Takes the fields of a received image (console mirror, tests): pointer slots
  // are dropped, text fields terminated, the child count left to the native
  // children. Native links are not touched.
  void loadWireImage(CBytes in);
  // Direct access to the bytes, for code that owns a node no other thread can
  // see yet (map loader building a node, tests). Pointer slots must stay 0.
  Bytes rawImage() { return Bytes(image_.data(), image_.size()); }
  CBytes rawImage() const { return CBytes(image_.data(), image_.size()); }

  // Generic locked accessors at a byte offset; out-of-range reads give -1
  // (signed) or 0 (unsigned) and writes do nothing.
  uint8_t u8(size_t off) const;
  uint16_t u16(size_t off) const;
  int16_t i16(size_t off) const;
  uint32_t u32(size_t off) const;
  int32_t i32(size_t off) const;
  void putU8(size_t off, uint8_t v);
  void putU16(size_t off, uint16_t v);
  void putI16(size_t off, int16_t v);
  void putU32(size_t off, uint32_t v);
  void putI32(size_t off, int32_t v);
  std::string text(size_t off, size_t size) const;
  void putText(size_t off, size_t size, std::string_view s);
  bool readBytes(size_t off, Bytes out) const;
  bool writeBytes(size_t off, CBytes in);  // refuses ranges that touch pointer slots

  // The fields a walk over many nodes reads, under one lock.
  struct Head {
    uint16_t id = 0;
    int16_t commType = 0;
    uint8_t nodeKind = 0;
    uint8_t mibType = 0;
    uint8_t upsTypeCode = 0;
    uint8_t alarmLevel = 0;
    uint32_t sentMask = 0;
    bool isGroup() const { return nodeKind == kNodeGroup; }
  };
  Head head() const;

  // ---- identity and addressing ----
  uint16_t snmpPollPosition() const { return u16(node_off::kSnmpPollPosition); }
  void setSnmpPollPosition(uint16_t v) { putU16(node_off::kSnmpPollPosition, v); }
  uint16_t snmpPollGroup() const { return u16(node_off::kSnmpPollGroup); }
  void setSnmpPollGroup(uint16_t v) { putU16(node_off::kSnmpPollGroup, v); }
  int16_t id() const { return i16(node_off::kId); }
  uint16_t idU16() const { return u16(node_off::kId); }
  void setId(int16_t v) { putI16(node_off::kId, v); }
  std::string title() const { return text(node_off::kTitle, node_off::kTitleSize); }
  void setTitle(std::string_view s) { putText(node_off::kTitle, node_off::kTitleSize, s); }
  std::string location() const { return text(node_off::kLocation, node_off::kLocationSize); }
  void setLocation(std::string_view s) { putText(node_off::kLocation, node_off::kLocationSize, s); }
  uint32_t resolvedAddress() const { return u32(node_off::kResolvedAddress); }
  void setResolvedAddress(uint32_t v) { putU32(node_off::kResolvedAddress, v); }
  std::string ip() const { return text(node_off::kIp, node_off::kIpSize); }
  void setIp(std::string_view s) { putText(node_off::kIp, node_off::kIpSize, s); }
  std::string community() const { return text(node_off::kCommunity, node_off::kCommunitySize); }
  void setCommunity(std::string_view s) {
    putText(node_off::kCommunity, node_off::kCommunitySize, s);
  }
  uint16_t port() const { return u16(node_off::kPort); }
  void setPort(uint16_t v) { putU16(node_off::kPort, v); }
  std::string com() const { return text(node_off::kCom, node_off::kComSize); }
  void setCom(std::string_view s) { putText(node_off::kCom, node_off::kComSize, s); }
  int16_t upsId() const { return i16(node_off::kUpsId); }
  void setUpsId(int16_t v) { putI16(node_off::kUpsId, v); }
  uint16_t baud() const { return u16(node_off::kBaud); }
  void setBaud(uint16_t v) { putU16(node_off::kBaud, v); }
  int16_t commType() const { return i16(node_off::kCommType); }
  void setCommType(int16_t v) { putI16(node_off::kCommType, v); }
  uint16_t linkStatus() const { return u16(node_off::kLinkStatus); }
  void setLinkStatus(uint16_t v) { putU16(node_off::kLinkStatus, v); }
  uint8_t nodeKind() const { return u8(node_off::kNodeKind); }
  void setNodeKind(uint8_t v) { putU8(node_off::kNodeKind, v); }
  uint8_t mibType() const { return u8(node_off::kMibType); }
  void setMibType(uint8_t v) { putU8(node_off::kMibType, v); }
  uint8_t upsTypeCode() const { return u8(node_off::kUpsTypeCode); }
  void setUpsTypeCode(uint8_t v) { putU8(node_off::kUpsTypeCode, v); }
  uint8_t status2() const { return u8(node_off::kStatus2); }
  void setStatus2(uint8_t v) { putU8(node_off::kStatus2, v); }
  bool isGroup() const { return nodeKind() == kNodeGroup; }

  // ---- map placement ----
  NodeRect iconRect() const { return rectAt(node_off::kIconRect); }
  void setIconRect(const NodeRect& r) { putRect(node_off::kIconRect, r); }
  NodeRect groupRect() const { return rectAt(node_off::kGroupRect); }
  void setGroupRect(const NodeRect& r) { putRect(node_off::kGroupRect, r); }
  // Background picture name of a group; empty = none.
  const std::string& picture() const { return picture_; }
  void setPicture(std::string_view name) { picture_ = std::string(name); }

  // ---- alarm state ----
  uint8_t alarmLevel() const { return u8(node_off::kAlarmLevel); }
  void setAlarmLevel(uint8_t v) { putU8(node_off::kAlarmLevel, v); }
  // Element `index` (0..199) of an alarm-state array; 0 outside.
  int64_t alarmState(AlarmArray array, int index) const;
  void setAlarmState(AlarmArray array, int index, int64_t value);
  // The arrays under one lock each way; AlarmStates::Idle on them in place.
  void readAlarmStates(AlarmStates& out) const;
  void writeAlarmStates(const AlarmStates& in);
  bool alarmsIdle(bool extended) const;
  // Bits 0..63 of the event-suppression words, read at once.
  uint64_t eventSuppressionMask() const;
  // Clears both reaction-active arrays (the console's "stop all alarms").
  void clearReactionActive();
  // Sets all 200 audio-repeat countdowns to -1 (idle), as at creation.
  void resetAudioRepeat();

  // ---- per-device values ----
  int32_t linkLostLatch() const { return i32(node_off::kLinkLostLatch); }
  void setLinkLostLatch(int32_t v) { putI32(node_off::kLinkLostLatch, v); }
  int32_t testCountdown() const { return i32(node_off::kTestCountdown); }
  void setTestCountdown(int32_t v) { putI32(node_off::kTestCountdown, v); }
  int32_t syncDateTime() const { return i32(node_off::kSyncDateTime); }
  void setSyncDateTime(int32_t v) { putI32(node_off::kSyncDateTime, v); }
  // Stored as 0 or 1 whatever the caller gives.
  bool saveInDatabase() const { return u16(node_off::kSaveInDatabase) != 0; }
  void setSaveInDatabase(bool v) { putU16(node_off::kSaveInDatabase, v ? 1 : 0); }
  // False for a device no poller serves (the SNMP device table refused it):
  // it reads as not responding and history skips it. Native, never saved.
  bool monitored() const { return monitored_.load(std::memory_order_relaxed); }
  void setMonitored(bool v) { monitored_.store(v, std::memory_order_relaxed); }

  // ---- schedules (indexes outside the tables read as empty, write nothing) ----
  ScheduleWeekEntry weekEntry(int index) const;
  void setWeekEntry(int index, const ScheduleWeekEntry& e);
  ScheduleDateEntry dateEntry(int index) const;
  void setDateEntry(int index, const ScheduleDateEntry& e);
  PendingAction pendingAction(int index) const;  // index 0..3 = classes 1..4
  void setPendingAction(int index, const PendingAction& a);

  // ---- PLC point table (CommType 4) and the other users of 7156..7611 ----
  int16_t plcPointNum() const { return i16(node_off::kPlcPointNum); }
  void setPlcPointNum(int16_t v) { putI16(node_off::kPlcPointNum, v); }
  int16_t sensorType() const { return plcPointNum(); }
  void setSensorType(int16_t v) { setPlcPointNum(v); }
  int16_t plcXBypass() const { return i16(node_off::kPlcXBypass); }
  void setPlcXBypass(int16_t v) { putI16(node_off::kPlcXBypass, v); }
  int16_t plcBypassUpsId() const { return i16(node_off::kPlcBypassUpsId); }
  void setPlcBypassUpsId(int16_t v) { putI16(node_off::kPlcBypassUpsId, v); }
  // The five i16[32] tables; index outside 0..31 reads 0 and writes nothing.
  int16_t plcUpsId(int i) const { return plcWord(node_off::kPlcUpsId, i); }
  void setPlcUpsId(int i, int16_t v) { putPlcWord(node_off::kPlcUpsId, i, v); }
  int16_t plcXtpcTrip(int i) const { return plcWord(node_off::kPlcXtpcTrip, i); }
  void setPlcXtpcTrip(int i, int16_t v) { putPlcWord(node_off::kPlcXtpcTrip, i, v); }
  int16_t plcXucbTrip(int i) const { return plcWord(node_off::kPlcXucbTrip, i); }
  void setPlcXucbTrip(int i, int16_t v) { putPlcWord(node_off::kPlcXucbTrip, i, v); }
  int16_t plcYtpcAlarm(int i) const { return plcWord(node_off::kPlcYtpcAlarm, i); }
  void setPlcYtpcAlarm(int i, int16_t v) { putPlcWord(node_off::kPlcYtpcAlarm, i, v); }
  int16_t plcYupsAlarm(int i) const { return plcWord(node_off::kPlcYupsAlarm, i); }
  void setPlcYupsAlarm(int i, int16_t v) { putPlcWord(node_off::kPlcYupsAlarm, i, v); }
  // PLC source texts (native; the image keeps null slots). Empty = none.
  std::string plcSource(int i) const;
  void setPlcSource(int i, std::string_view s);
  // A device's rating power.
  uint32_t ratingPower() const { return u32(node_off::kRatingPower); }
  void setRatingPower(uint32_t v) { putU32(node_off::kRatingPower, v); }
  // GroupTotals (groups; S6 also on inverters).
  int32_t groupTotal(GroupTotal which) const { return i32(GroupTotalOffset(which)); }
  void setGroupTotal(GroupTotal which, int32_t v) { putI32(GroupTotalOffset(which), v); }
  // Event-suppression bits in the PLC.UPSID words: bit (i mod 16) of word i/16.
  // Meaningful for CommType 3 and MibType 5 nodes (see Tree_IsEventSuppressed).
  bool eventSuppressionBit(int event) const;
  void setEventSuppressionBit(int event, bool on);

  // ---- status channels of the shared memory and the console sessions ----
  uint32_t sentMask() const { return u32(node_off::kSentMask); }
  void setSentMask(uint32_t v) { putU32(node_off::kSentMask, v); }
  void setSentBits(uint32_t bits);
  void clearSentBits(uint32_t bits);

  // ---- native links (structural edits only; read under the tree lock) ----
  DeviceNode* parent() const { return parent_; }
  int childCount() const { return static_cast<int>(children_.size()); }
  DeviceNode* child(int index) const;  // null outside 0..count-1
  const std::vector<std::unique_ptr<DeviceNode>>& children() const { return children_; }
  // Appends (or inserts at `index`) a child, sets its parent and the image's
  // child count. Refuses (returns null, keeps `node`'s ownership with the caller
  // untouched) at kMaxChildren children.
  DeviceNode* addChild(std::unique_ptr<DeviceNode>& node);
  DeviceNode* insertChild(int index, std::unique_ptr<DeviceNode>& node);
  // Takes a child out (the following ones move down); null for a bad index.
  std::unique_ptr<DeviceNode> detachChild(int index);
  // Index of `node` among the children, -1 when it is none of them.
  int indexOfChild(const DeviceNode* node) const;

  // ---- live-data blocks ----
  LiveDataBlock* block(BlockKind kind) const { return blocks_[static_cast<size_t>(kind)].get(); }
  // Allocates the block with its initial values when missing; returns it.
  LiveDataBlock& ensureBlock(BlockKind kind);
  void freeBlock(BlockKind kind);
  void freeAllBlocks();
  bool hasAnyBlock() const;

 private:
  NodeRect rectAt(size_t off) const;
  void putRect(size_t off, const NodeRect& r);
  int16_t plcWord(size_t base, int i) const;
  void putPlcWord(size_t base, int i, int16_t v);
  void syncChildCount();

  mutable std::mutex mu_;  // guards image_
  alignas(8) Image image_{};
  DeviceNode* parent_ = nullptr;                                        // structural edits only
  std::vector<std::unique_ptr<DeviceNode>> children_;                   // owned, at most 300
  std::array<std::unique_ptr<LiveDataBlock>, kBlockKindCount> blocks_;  // by BlockKind
  std::string picture_;                                                 // group picture name
  std::array<std::string, kPlcPointCount> plcSources_;                  // PLC.Source texts
  std::atomic<bool> monitored_{true};  // loop thread writes; any thread reads
};

// True when `off..off+len` touches one of the image's pointer slots.
bool TouchesPointerSlot(size_t off, size_t len);

// The block that carries the node's values and event masks by kind and
// CommType (SNMP, GPRS, ASCII for 0 and 4, binary, Modbus for 2, 3, 5, 6,
// sensor, meter, meter sum); null for groups or when it is not allocated.
BlockKind PrimaryBlockKind(const DeviceNode& node, bool* hasBlock = nullptr);
BlockKind PrimaryBlockKindOf(uint8_t nodeKind, int16_t commType, bool* hasBlock = nullptr);
LiveDataBlock* PrimaryBlock(const DeviceNode& node);
// Gives a node the blocks of its kind with their initial values: a serial
// device all six serial blocks, an SNMP device the SNMP block, a GPRS station
// the GPRS block; a group none (any it had are freed).
void AllocateNodeBlocks(DeviceNode& node);
// After a CommType change: keeps only the block of the node's CommType
// (allocating it when missing; a meter sum gets its zeroed block).
void KeepOnlyCommTypeBlock(DeviceNode& node);

}  // namespace lark
