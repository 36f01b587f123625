// The device tree: the root group, the clipboard of the console's cut and
// paste, the id counter, the tree lock, and the operations on the tree.
//
// Threads: structural changes (create, cut, paste, delete, free) run on the
// loop thread only, inside a StructuralEdit: the workers are paused through
// the WorkerPauser, then the tree lock is taken exclusively. Walks on any
// thread hold the lock shared (ReadLock). Never open a StructuralEdit while
// the same thread holds a ReadLock, and let workers drop their ReadLock before
// they reach their pause point (pauseAll waits for that point). Live values inside nodes and blocks
// are guarded by their own locks (see device_node.h and live_data.h).
#pragma once
#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <shared_mutex>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "common/bytes.h"
#include "core/device_node.h"
#include "core/live_data.h"
#include "platform/clock.h"

namespace lark {

// Pauses and resumes the worker threads around structural tree changes. The
// service wires the poll, SNMP and history threads in; the default does nothing.
class WorkerPauser {
 public:
  virtual ~WorkerPauser() = default;
  virtual void pauseAll() {}
  virtual void resumeAll() {}
};

// The tables the workers walk that hold tree nodes. Called with the workers
// paused and the tree lock held exclusively; the defaults do nothing.
class TreeEndpoints {
 public:
  virtual ~TreeEndpoints() = default;
  // Adds an SNMP node to the SNMP device table under its IP text; false when
  // the table refuses it (full, bad address).
  virtual bool addSnmpDevice(DeviceNode& /*node*/) { return true; }
  // Removes the SNMP device table entries of the node's id.
  virtual void removeSnmpDevice(DeviceNode& /*node*/) {}
  // Takes a serial device out of its port slot before it is freed.
  virtual void detachSerialDevice(DeviceNode& /*node*/) {}
  // A GPRS station node is about to be freed: release what the station link keeps of it.
  virtual void releaseGprsStation(DeviceNode& /*node*/) {}
};

// A one-register Modbus write as queued for a device: function, register and
// value, both big-endian.
using ModbusPdu = std::array<uint8_t, 5>;
// Function 6 writing `value` to `reg`; none when the value is outside 0..65535
// (a device register never takes a value cut to fit).
inline std::optional<ModbusPdu> RegisterWritePdu(uint16_t reg, int64_t value) {
  if (value < 0 || value > 0xFFFF) return std::nullopt;
  return ModbusPdu{6, static_cast<uint8_t>(reg >> 8), static_cast<uint8_t>(reg & 0xFF),
                   static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value & 0xFF)};
}

// The UPS command fan-out as the tree uses it. The service wires the real
// fan-out in; tests use a recording fake.
class UpsCommandSink {
 public:
  virtual ~UpsCommandSink() = default;
  // A UPS command to one device, the direct children of a group, or every
  // device; each returns how many devices it reached.
  virtual int SendDeviceControl(DeviceNode& node, int32_t code, int32_t arg1, int32_t arg2) = 0;
  virtual int SendGroupControl(DeviceNode& group, int32_t code, int32_t arg1, int32_t arg2) = 0;
  virtual int SendAllControl(int32_t code, int32_t arg1, int32_t arg2) = 0;
  // Queues a command text of the ASCII protocol ("S020SDT...") to the node.
  virtual void QueueAsciiCommand(DeviceNode& node, std::string_view text) = 0;
  // Queues a control frame of the binary protocol (from the length byte on).
  virtual void QueueBinaryFrame(DeviceNode& node, CBytes frame) = 0;
  // Queues every text or none (a full queue refuses the whole request).
  virtual bool QueueAsciiCommands(DeviceNode& node, std::span<const std::string> texts) {
    for (const std::string& t : texts) QueueAsciiCommand(node, t);
    return true;
  }
  // Queues binary control frames, every one or none; false when they did not
  // all fit.
  virtual bool QueueBinaryFrames(DeviceNode& node, std::span<const std::string> frames) {
    for (const std::string& f : frames) QueueBinaryFrame(node, asBytes(f));
    return true;
  }
  // Queues Modbus writes to a Modbus RTU device, every one or none; false when
  // they did not go in.
  virtual bool QueueModbusCommands(DeviceNode& /*node*/, std::span<const ModbusPdu> /*pdus*/) {
    return false;
  }
  // Whether commands for devices of this protocol can be queued at all; a
  // request for one that cannot is refused rather than dropped.
  virtual bool CanQueueFor(int16_t commType) const { return true; }
};

// A sink that drops everything (until the fan-out exists).
class NullUpsCommandSink final : public UpsCommandSink {
 public:
  int SendDeviceControl(DeviceNode&, int32_t, int32_t, int32_t) override { return 0; }
  int SendGroupControl(DeviceNode&, int32_t, int32_t, int32_t) override { return 0; }
  int SendAllControl(int32_t, int32_t, int32_t) override { return 0; }
  void QueueAsciiCommand(DeviceNode&, std::string_view) override {}
  void QueueBinaryFrame(DeviceNode&, CBytes) override {}
};

inline constexpr int32_t kUpsCommandCancelTest = 1614;

// The level byte of action row `row` of a family's alarm-action table. The
// family is the table's file word: "snmpv4", "regular", "regularplus",
// "3phase", "3phaseplus", "mge", "plc", "pw", "inverter", "sensor", "meter",
// "gprs". Rows outside the table should answer 2 (no alarm).
class ActionLevelSource {
 public:
  virtual ~ActionLevelSource() = default;
  virtual uint8_t ActionRowLevel(std::string_view family, int row) const = 0;
};

// Highest id a new node gets; ids are kept within the signed 16-bit field.
inline constexpr uint32_t kMaxNodeId = 32767;
// Deepest level a node may sit at (the root's children are at 1): the tree
// walks recurse, and the map loaders refuse anything deeper, so a tree built
// by the consoles must stay within it to load again.
inline constexpr int kMaxTreeDepth = 64;

class DeviceTree {
 public:
  DeviceTree();
  DeviceTree(WorkerPauser& pauser, TreeEndpoints& endpoints);
  ~DeviceTree();
  DeviceTree(const DeviceTree&) = delete;
  DeviceTree& operator=(const DeviceTree&) = delete;

  // Late wiring by the service (before any worker starts).
  void setWorkerPauser(WorkerPauser& pauser) { pauser_ = &pauser; }
  void setEndpoints(TreeEndpoints& endpoints) { endpoints_ = &endpoints; }
  WorkerPauser& pauser() { return *pauser_; }
  TreeEndpoints& endpoints() { return *endpoints_; }

  DeviceNode& root() { return *root_; }
  const DeviceNode& root() const { return *root_; }

  // The group new nodes go into (always a group of this tree).
  DeviceNode& currentParent() { return *currentParent_; }
  void setCurrentParent(DeviceNode& group) { currentParent_ = &group; }
  int currentChildIndex() const { return currentChildIndex_; }
  void setCurrentChildIndex(int index) { currentChildIndex_ = index; }

  // Id counter: the next id Tree_CreateNode tries (raised by the map loaders).
  uint32_t nextNodeId() const { return nextNodeId_; }
  void setNextNodeId(uint32_t id) { nextNodeId_ = id; }

  // The node of an id (compared as 16-bit unsigned) in the tree under the
  // root, through the id index; null for an id outside 0..65535 or not in
  // the tree (the clipboard is not). Where two nodes share an id, the one
  // indexed first is found.
  DeviceNode* findById(int32_t id) const;
  // The id index follows the tree: the Tree_* operations and the loaders
  // keep it. A subtree that enters or leaves the tree another way is
  // indexed or dropped here; rebuildIndex starts it over from the root.
  void indexSubtree(DeviceNode& node);
  void unindexSubtree(const DeviceNode& node);
  void unindexNode(const DeviceNode& node);  // the node alone, not its children
  void rebuildIndex();

  // The subtree of the last cut, or null.
  DeviceNode* clipboard() const { return clipboard_.get(); }
  std::unique_ptr<DeviceNode> takeClipboard() { return std::move(clipboard_); }
  void setClipboard(std::unique_ptr<DeviceNode> node) { clipboard_ = std::move(node); }

  // Shared lock for walks on any thread.
  std::shared_lock<std::shared_mutex> readLock() const {
    return std::shared_lock<std::shared_mutex>(mu_);
  }
  std::shared_mutex& mutex() const { return mu_; }

  // Pauses the workers and takes the tree lock exclusively for a structural
  // change; nests on the loop thread (an inner edit does nothing more).
  class StructuralEdit {
   public:
    explicit StructuralEdit(DeviceTree& tree);
    ~StructuralEdit();
    StructuralEdit(const StructuralEdit&) = delete;
    StructuralEdit& operator=(const StructuralEdit&) = delete;

   private:
    DeviceTree& tree_;
    bool outer_;
  };
  bool inStructuralEdit() const { return editDepth_ > 0; }
  // Changes with every structural edit: what a walk found (node pointers
  // included) stays good while it is unchanged.
  uint64_t structureGeneration() const { return generation_.load(std::memory_order_acquire); }

  // ---- status rounds (loop thread only) ----
  // The non-group nodes under the root's groups, depth first, as the
  // structure is now (made again after a structural edit).
  const std::vector<DeviceNode*>& devices();
  // Where status channel `channel` (0..31) goes on in devices(): every
  // device before it has the channel's sent bit. 0 after a structural edit.
  size_t roundCursor(int channel);
  void setRoundCursor(int channel, size_t next);

 private:
  friend class StructuralEdit;
  mutable std::shared_mutex mu_;           // the tree lock
  WorkerPauser* pauser_;                   // never null
  TreeEndpoints* endpoints_;               // never null
  std::unique_ptr<DeviceNode> root_;       // RootGroup, never freed
  DeviceNode* currentParent_;              // loop thread only
  int currentChildIndex_ = 0;              // loop thread only
  uint32_t nextNodeId_ = 1;                // loop thread only
  std::unique_ptr<DeviceNode> clipboard_;  // loop thread only
  // id -> node of the tree; changed inside structural edits only, read under
  // the tree lock or on the loop thread.
  std::unordered_map<uint16_t, DeviceNode*> ids_;
  int editDepth_ = 0;                      // loop thread only
  std::atomic<uint64_t> generation_{0};    // bumped under the exclusive tree lock
  struct RoundCursor {
    uint64_t generation = UINT64_MAX;  // the structure it was set in
    size_t next = 0;
  };
  std::vector<DeviceNode*> devices_;              // loop thread only
  uint64_t devicesGeneration_ = UINT64_MAX;       // the structure devices_ shows
  std::array<RoundCursor, 32> rounds_{};          // by status channel; loop thread only
};

// ---- reset, create, find, count ----

// Root: id 0, group "Main", group rect 0, 0, 602, 422, no picture, no
// children, no blocks; CurrentParent = root.
void Tree_ResetRoot(DeviceTree& tree);
// Creates a node of `kind` as the last child of CurrentParent and returns it.
// Null when CurrentParent is not a group, has 300 children or sits at
// kMaxTreeDepth, when no node id
// is free (ids run 1..32767, a used id is never given again), or when an
// SNMP node is refused by the SNMP device table (nothing stays in the tree).
DeviceNode* Tree_CreateNode(DeviceTree& tree, uint8_t kind, std::string_view ipText);
// The node of `id` in the tree (the id index; see DeviceTree::findById).
DeviceNode* Tree_FindNodeById(const DeviceTree& tree, int32_t id);
// In a subtree: depth first, the start node first, then each child subtree
// in order. Ids compare as 16-bit unsigned; an id outside 0..65535 finds
// nothing.
DeviceNode* Tree_FindNodeById(int32_t id, DeviceNode* start);
const DeviceNode* Tree_FindNodeById(int32_t id, const DeviceNode* start);
DeviceNode* Tree_FindById(DeviceNode* start, int16_t id);
// Non-group nodes below the node (the node itself not counted).
int CountDevices(const DeviceNode& node);
// 1 for the node plus CountGroups of each child that is a group.
int CountGroups(const DeviceNode& node);

// ---- cut, paste, delete, free ----

// Moves child `index` of CurrentParent to the clipboard (freeing an earlier
// clipboard subtree) and takes its SNMP devices out of the SNMP table. A
// negative or unknown index does nothing; returns whether a child was cut.
bool Tree_CutChild(DeviceTree& tree, int index);
// Puts the clipboard subtree back as the last child of `group` and makes its
// SNMP devices polled again. Refused (false) with an empty clipboard, when
// `group` is not a group, when it already has 300 children, or when the
// subtree would reach below kMaxTreeDepth.
bool Tree_PasteClipboard(DeviceTree& tree, DeviceNode& group);
// Frees child `index` of CurrentParent with its subtree. A negative or unknown
// index does nothing; returns whether a child was deleted.
bool Tree_DeleteChild(DeviceTree& tree, int index);
// Releases the node's endpoints, picture and blocks and frees its children
// (recursively). The node itself stays with its owner.
void Tree_FreeSubtree(DeviceTree& tree, DeviceNode& node);
// Frees the whole tree and the clipboard, then Tree_ResetRoot.
void Tree_FreeAll(DeviceTree& tree);
// CurrentParent = root, then Tree_FreeAll (the workers are paused by it).
void Tree_ClearAll(DeviceTree& tree);

// ---- endpoints and ids ----

// SNMP devices of the subtree (kind 0 and 2 nodes asked) leave the SNMP table.
void Tree_RemoveEndpoints(DeviceTree& tree, DeviceNode& node);
// SNMP devices of the subtree enter the SNMP table again.
void Tree_AddEndpoints(DeviceTree& tree, DeviceNode& node);
// Raises `highest` to the highest id (as 16-bit unsigned) of the subtree.
void Tree_FindMaxId(const DeviceNode& node, uint32_t& highest);
// NextNodeId = highest id of the tree and of the clipboard + 1.
void Tree_ComputeNextFreeId(DeviceTree& tree);

// ---- queries ----

// Bit n set = history parameter n of the node's family has a live value.
uint64_t Tree_SupportedParamMask(const DeviceNode& node);
// History parameter of an SNMP value slot, -1 for none.
int SnmpSlotParameter(int slot);
// History parameter of a value slot of the general (ASCII, Modbus, GPRS,
// binary) layout, -1 for none.
int GeneralSlotParameter(int slot);
// 1 for serial CommType 6..9 and SNMP MibType 6 and 7.
int Tree_IsInverterSensorOrMeter(const DeviceNode& node);
// Event `event` is suppressed for a CommType 3 serial node or a MibType 5 SNMP
// node whose suppression bit is set; never for other nodes.
bool Tree_IsEventSuppressed(const DeviceNode& node, int event);

// ---- periodic work ----

// Every 2 s on the root: counts test countdowns down by 2 (sending cancel test
// when one runs out) and recomputes the AlarmLevel of every node; returns the
// node's level. Event-mask updates are atomic against the pollers.
uint8_t Tree_RunCountdowns(DeviceNode& node, const ActionLevelSource& levels,
                           UpsCommandSink& commands);
// At every full hour on the root: queues the clock to devices with Sync.DateTime.
void Tree_PushDateTime(DeviceNode& node, const WallTime& now, UpsCommandSink& commands);
// At day change: clears the day counters of inverters and sensors.
void Tree_ResetDailyValues(DeviceNode& node);

// The ASCII clock command and the binary clock frame the hourly push queues.
std::string ClockCommandText(const WallTime& now);
std::array<uint8_t, 8> ClockCommandFrame(const WallTime& now);

}  // namespace lark
