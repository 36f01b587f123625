#include "core/link_commands.h"

#include "core/control_lock.h"

namespace lark {

namespace {

constexpr uint8_t G = kLinkFlagGate;

// Minimum lengths are whole frame sizes; commands whose least size depends on
// the sub-command check it in their handler.
constexpr LinkCommandRow kRows[] = {
    {kLinkCmdHello, "Hello", 0, kLinkFlagOverflow, HandleHello},
    {kLinkCmdGetMapList, "GetMapList", 0, 0, HandleNotBuilt},
    {kLinkCmdOpenMap, "OpenMap", 0, G, HandleNotBuilt},
    {kLinkCmdDownloadSettings, "DownloadSettings", 8, 0, HandleNotBuilt},
    {kLinkCmdDownloadFile, "DownloadFile", 40, 0, HandleNotBuilt},
    {kLinkCmdGetDeviceData, "GetDeviceData", 8, 0, HandleNotBuilt},
    {kLinkCmdCallBack, "CallBack", 7, 0, HandleCallBack},
    {kLinkCmdSaveMap, "SaveMap", 0, G, HandleNotBuiltMapSave},
    {kLinkCmdNewMap, "NewMap", 261, G, HandleNotBuilt},
    {kLinkCmdSetAutoLoadMap, "SetAutoLoadMap", 0, 0, HandleNotBuilt},
    {kLinkCmdEventLog, "EventLog", 0, 0, HandleNotBuilt},
    {kLinkCmdUserDatabase, "UserDatabase", 0, 0, HandleNotBuilt},
    {kLinkCmdAddNode, "AddNode", 8, G, HandleNotBuiltTreeEdit},
    {kLinkCmdSetNodeProperties, "SetNodeProperties", 0, G, HandleNotBuiltTreeEdit},
    {kLinkCmdSetGroupPicture, "SetGroupPicture", 0, G, HandleNotBuiltTreeEdit},
    {kLinkCmdCutNode, "CutNode", 0, G, HandleNotBuiltTreeEdit},
    {kLinkCmdPasteNode, "PasteNode", 0, G, HandleNotBuiltTreeEdit},
    {kLinkCmdRemoveNode, "RemoveNode", 0, G, HandleNotBuiltTreeEdit},
    {kLinkCmdSetPolling, "SetPolling", 8074, 0, HandleNotBuilt},
    {kLinkCmdNotifySettings, "NotifySettings", 0, 0, HandleNotBuilt},
    {kLinkCmdEventTables, "EventTables", 0, 0, HandleNotBuilt},
    {kLinkCmdHistoryReport, "HistoryReport", 0, 0, HandleNotBuilt},
    {kLinkCmdStopAllAlarms, "StopAllAlarms", 0, 0, HandleNotBuilt},
    {kLinkCmdControlPassword, "ControlPassword", 0, 0, HandleNotBuilt},
    {kLinkCmdTrafficMonitor, "TrafficMonitor", 0, 0, HandleNotBuilt},
    {kLinkCmdControlDevice, "ControlDevice", 49, 0, HandleNotBuilt},
    {kLinkCmdSetLanguage, "SetLanguage", 0, 0, HandleNotBuilt},
    {kLinkCmdDeviceSettings, "DeviceSettings", 157, 0, HandleNotBuilt},
    {kLinkCmdSetSchedule, "SetSchedule", 478, 0, HandleNotBuilt},
    {kLinkCmdMoveIcon, "MoveIcon", 26, 0, HandleNotBuilt},
    {kLinkCmdSyncImages, "SyncImages", 6, 0, HandleNotBuilt},
    {kLinkCmdUploadFile, "UploadFile", 269, 0, HandleNotBuilt},
    {kLinkCmdVersion, "Version", 7, 0, HandleVersion},
    {kLinkCmdTestSound, "TestSound", 0, 0, HandleNotBuilt},
};
static_assert(std::size(kRows) == kLinkLastCommand);

constexpr bool RowsInOrder() {
  for (size_t i = 0; i < std::size(kRows); ++i) {
    if (kRows[i].command != i + 1) return false;
  }
  return true;
}
static_assert(RowsInOrder());

bool IsMapCommand(uint8_t c) {
  return c == kLinkCmdOpenMap || c == kLinkCmdSaveMap || c == kLinkCmdNewMap;
}
bool IsTreeCommand(uint8_t c) { return c >= kLinkCmdAddNode && c <= kLinkCmdRemoveNode; }

// Reads of node properties (subs 3 and 5) neither ask nor take the lock.
bool GateApplies(const LinkRequest& r) {
  if (r.command() == kLinkCmdSetNodeProperties) return r.sub() != 3 && r.sub() != 5;
  return true;
}

bool RepliesWithSub(uint8_t c) {
  switch (c) {
    case 4:
    case 5:
    case 6:
    case 8:
    case 11:
    case 12:
    case 13:
    case 14:
    case 19:
    case 20:
    case 21:
    case 22:
    case 24:
    case 25:
    case 27:
    case 28:
    case 29:
    case 31:
      return true;
    default:
      return false;
  }
}

void PutLockRecord(LinkRequest& r, LinkFrameBuilder& reply) {
  uint8_t img[kControlLockSize];
  r.services.lock.writeImage(img, 0);
  reply.putBytes(img);
}

}  // namespace

std::string LinkPeer::text() const {
  return std::to_string(address >> 24) + "." + std::to_string((address >> 16) & 0xFF) + "." +
         std::to_string((address >> 8) & 0xFF) + "." + std::to_string(address & 0xFF);
}

void LinkRequest::takeLock(uint32_t kind) {
  services.lock.set(peer.text(), peer.port, true, kind);
  lockTaken_ = true;
}

const LinkCommandRow* FindLinkCommand(uint8_t command) {
  if (command < kLinkFirstCommand || command > kLinkLastCommand) return nullptr;
  return &kRows[command - 1];
}

void BuildLinkFailureReply(LinkRequest& r, LinkFrameBuilder& reply) {
  const uint8_t c = r.command();
  reply.beginReply(c, LinkFailureCode(c));
  if (RepliesWithSub(c)) reply.putU8(r.sub());
  if (c == kLinkCmdVersion) {
    reply.putU8(kServiceLinkVersionMajor);
    reply.putU8(kServiceLinkVersionMinor);
  }
  if (IsTreeCommand(c)) PutLockRecord(r, reply);
}

size_t DispatchLinkRequest(LinkRequest& r, LinkFrameBuilder& reply) {
  reply.reset();
  if (r.frame.size() <= kLinkOffCommand || r.frame.kind() != kLinkKindRequest) return 0;
  const LinkCommandRow* row = FindLinkCommand(r.command());
  if (row == nullptr) return 0;
  if (r.overflow() && !(row->flags & kLinkFlagOverflow)) return 0;

  const bool gated = (row->flags & kLinkFlagGate) && GateApplies(r);
  if (r.frame.size() < row->minLength ||
      (gated && !r.services.lock.check(r.peer.text(), r.peer.port, row->command))) {
    BuildLinkFailureReply(r, reply);
  } else {
    row->handler(r, reply);
    // A handler that built nothing, or more than a frame holds, answers failure.
    if (!reply.started() || reply.overflowed() || reply.command() != row->command) {
      BuildLinkFailureReply(r, reply);
    }
  }

  if (r.lockTaken()) {
    if (IsMapCommand(row->command)) {
      if (row->command == kLinkCmdSaveMap && r.services.host != nullptr &&
          r.services.host->anyConsoleBelowVersion(kLinkVersionWithLockPort)) {
        r.services.lock.clearHolderPort();
      }
      r.services.lock.set(r.peer.text(), r.peer.port, false, 0);
    } else {
      r.services.lock.set(r.peer.text(), r.peer.port, true, 0);
    }
  }
  return reply.finish();
}

void HandleNotBuilt(LinkRequest& r, LinkFrameBuilder& reply) { BuildLinkFailureReply(r, reply); }

void HandleNotBuiltTreeEdit(LinkRequest& r, LinkFrameBuilder& reply) {
  // The lock is taken before the work, whatever its outcome.
  if (GateApplies(r)) r.takeLock(r.command());
  BuildLinkFailureReply(r, reply);
}

void HandleNotBuiltMapSave(LinkRequest& r, LinkFrameBuilder& reply) {
  r.takeLock(r.command());
  BuildLinkFailureReply(r, reply);
}

}  // namespace lark
