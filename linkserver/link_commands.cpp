#include "linkserver/link_commands.h"

#include <algorithm>

#include "linkserver/control_lock.h"
#include "core/device_tree.h"
#include "linkserver/link_replies.h"
#include "linkserver/link_requests.h"
#include "linkserver/link_transfer.h"

namespace lark {

namespace {

constexpr uint8_t G = kLinkFlagGate;

// Minimum lengths are whole frame sizes; commands whose least size depends on
// the sub-command check it in their handler.
constexpr LinkCommandRow kRows[] = {
    {kLinkCmdHello, "Hello", 0, kLinkFlagOverflow, HandleHello},
    {kLinkCmdGetMapList, "GetMapList", 0, 0, HandleGetMapList},
    {kLinkCmdOpenMap, "OpenMap", 0, G, HandleOpenMap},
    {kLinkCmdDownloadSettings, "DownloadSettings", 8, 0, HandleDownloadSettings},
    {kLinkCmdDownloadFile, "DownloadFile", 40, 0, HandleDownloadFile},
    {kLinkCmdGetDeviceData, "GetDeviceData", 8, 0, HandleGetDeviceData},
    {kLinkCmdCallBack, "CallBack", 7, 0, HandleCallBack},
    {kLinkCmdSaveMap, "SaveMap", 0, G, HandleSaveMap},
    {kLinkCmdNewMap, "NewMap", 261, G, HandleNewMap},
    {kLinkCmdSetAutoLoadMap, "SetAutoLoadMap", 0, 0, HandleSetAutoLoadMap},
    {kLinkCmdEventLog, "EventLog", 0, 0, HandleEventLog},
    {kLinkCmdUserDatabase, "UserDatabase", 0, 0, HandleUserDatabase},
    {kLinkCmdAddNode, "AddNode", 8, G, HandleAddNode},
    {kLinkCmdSetNodeProperties, "SetNodeProperties", 0, G, HandleSetNodeProperties},
    {kLinkCmdSetGroupPicture, "SetGroupPicture", 0, G, HandleSetGroupPicture},
    {kLinkCmdCutNode, "CutNode", 0, G, HandleCutNode},
    {kLinkCmdPasteNode, "PasteNode", 0, G, HandlePasteNode},
    {kLinkCmdRemoveNode, "RemoveNode", 0, G, HandleRemoveNode},
    {kLinkCmdSetPolling, "SetPolling", 8074, 0, HandleSetPolling},
    {kLinkCmdNotifySettings, "NotifySettings", 0, 0, HandleNotifySettings},
    {kLinkCmdEventTables, "EventTables", 0, 0, HandleEventTables},
    {kLinkCmdHistoryReport, "HistoryReport", 0, 0, HandleHistoryReport},
    {kLinkCmdStopAllAlarms, "StopAllAlarms", 0, 0, HandleStopAllAlarms},
    {kLinkCmdControlPassword, "ControlPassword", 0, 0, HandleControlPassword},
    {kLinkCmdTrafficMonitor, "TrafficMonitor", 0, 0, HandleTrafficMonitor},
    {kLinkCmdControlDevice, "ControlDevice", 49, 0, HandleControlDevice},
    {kLinkCmdSetLanguage, "SetLanguage", 0, 0, HandleSetLanguage},
    {kLinkCmdDeviceSettings, "DeviceSettings", 157, 0, HandleDeviceSettings},
    {kLinkCmdSetSchedule, "SetSchedule", 478, 0, HandleSetSchedule},
    {kLinkCmdMoveIcon, "MoveIcon", 26, 0, HandleMoveIcon},
    {kLinkCmdSyncImages, "SyncImages", 6, 0, HandleSyncImages},
    {kLinkCmdUploadFile, "UploadFile", 269, 0, HandleUploadFile},
    {kLinkCmdVersion, "Version", 7, 0, HandleVersion},
    {kLinkCmdTestSound, "TestSound", 0, 0, HandleTestSound},
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

}  // namespace

bool LinkReplyEchoesSub(uint8_t c) {
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

size_t LinkReplyRoom(const LinkFrameBuilder& reply) {
  constexpr size_t kLargestFrame = 0xFFFF + kLinkHeaderSize;
  if (reply.size() >= kLargestFrame) return 0;
  return std::min(reply.room(), kLargestFrame - reply.size());
}

void ResetLinkSlot(LinkServices& services, int slot) {
  if (slot < 0 || slot > kOverflowSlot) return;
  services.users[static_cast<size_t>(slot)] = LinkSlotUser{};
  services.resultPages[static_cast<size_t>(slot)].clear();
  DropSlotUpload(services, slot);
  if (services.tree == nullptr) return;
  auto lock = services.tree->readLock();
  ClearSentBits(*services.tree, LongChannelOf(slot) + 1);
  ClearSentBits(*services.tree, ShortChannelOf(slot) + 1);
}

LinkReplyLater LinkRequest::replyLater() {
  if (services.host == nullptr || overflow()) return {};
  LinkReplyLater later = services.host->deferReply(slot, frame.bytes());
  deferred_ = static_cast<bool>(later);
  return later;
}

size_t FinishDeferredReply(LinkRequest& r, LinkFrameBuilder& reply, const LinkReplyFill& fill) {
  reply.reset();
  if (fill) fill(r, reply);
  if (!reply.started() || reply.overflowed() || reply.command() != r.command() ||
      reply.size() > 0xFFFF + kLinkHeaderSize) {
    BuildLinkFailureReply(r, reply);
  }
  return reply.finish();
}

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
  if (LinkReplyEchoesSub(c)) reply.putU8(r.sub());
  if (c == kLinkCmdVersion) {
    reply.putU8(kServiceLinkVersionMajor);
    reply.putU8(kServiceLinkVersionMinor);
  }
  if (IsTreeCommand(c)) PutControlLock(r, reply);
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
    if (r.deferred()) {
      reply.reset();
      return 0;
    }
    // A handler that built nothing, or more than a frame holds, answers failure.
    if (!reply.started() || reply.overflowed() || reply.command() != row->command ||
        reply.size() > 0xFFFF + kLinkHeaderSize) {
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

}  // namespace lark
