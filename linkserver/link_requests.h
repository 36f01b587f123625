// Handlers of the console's requests, one per command of the dispatch table
// (core/link_commands.cpp). Each parses its request from the frame view only
// (a field outside the frame answers the failure code), does the work on the
// loop thread and builds its reply. Shared parsing helpers are here too.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "linkserver/link_commands.h"

namespace lark {

class DeviceNode;

// ---- helpers shared by the handlers ----

// The NUL-terminated text of the field at `off` of `size` bytes, cut at the
// frame's end when the frame ends inside the field (a terminator is forced at
// the field's end either way).
std::string FrameText(const LinkFrameView& frame, size_t off, size_t size);
// The first `n` bytes of `text` up to its first control character.
std::string PrintableText(std::string_view text, size_t n);

// Success reply with the command's fixed part (the sub echo where the
// command has one; the lock record of the tree commands comes after the data
// and is added by the handler).
void BeginSuccessReply(LinkRequest& r, LinkFrameBuilder& reply);
void PutControlLock(LinkRequest& r, LinkFrameBuilder& reply);
// The node of `id` in the tree, or null (also without a tree).
DeviceNode* FindRequestNode(LinkRequest& r, int32_t id);
// Saves manager.ini (when wired); false when it could not be written.
bool SaveSettings(LinkRequest& r);

// ---- handlers (link_requests.cpp) ----
void HandleGetMapList(LinkRequest& request, LinkFrameBuilder& reply);
void HandleOpenMap(LinkRequest& request, LinkFrameBuilder& reply);
void HandleSaveMap(LinkRequest& request, LinkFrameBuilder& reply);
void HandleNewMap(LinkRequest& request, LinkFrameBuilder& reply);
void HandleSetAutoLoadMap(LinkRequest& request, LinkFrameBuilder& reply);

// ---- link_transfer.cpp ----
void HandleDownloadSettings(LinkRequest& request, LinkFrameBuilder& reply);
void HandleDownloadFile(LinkRequest& request, LinkFrameBuilder& reply);
void HandleSyncImages(LinkRequest& request, LinkFrameBuilder& reply);
void HandleUploadFile(LinkRequest& request, LinkFrameBuilder& reply);
// Command 11 sub 5: a chunk of a file under the data root (history folder).
void BuildDataRootChunk(LinkRequest& request, LinkFrameBuilder& reply);

// ---- link_requests_tree.cpp ----
void HandleAddNode(LinkRequest& request, LinkFrameBuilder& reply);
void HandleSetNodeProperties(LinkRequest& request, LinkFrameBuilder& reply);
void HandleSetGroupPicture(LinkRequest& request, LinkFrameBuilder& reply);
void HandleCutNode(LinkRequest& request, LinkFrameBuilder& reply);
void HandlePasteNode(LinkRequest& request, LinkFrameBuilder& reply);
void HandleRemoveNode(LinkRequest& request, LinkFrameBuilder& reply);
void HandleSetSchedule(LinkRequest& request, LinkFrameBuilder& reply);
void HandleMoveIcon(LinkRequest& request, LinkFrameBuilder& reply);

// ---- link_requests_devices.cpp ----
void HandleStopAllAlarms(LinkRequest& request, LinkFrameBuilder& reply);
void HandleControlDevice(LinkRequest& request, LinkFrameBuilder& reply);
void HandleDeviceSettings(LinkRequest& request, LinkFrameBuilder& reply);
void HandleEventLog(LinkRequest& request, LinkFrameBuilder& reply);

// ---- link_requests_database.cpp ----
void HandleUserDatabase(LinkRequest& request, LinkFrameBuilder& reply);
// Command 11 subs 2 and 4: operation and event log queries.
void HandleDatabaseQuery(LinkRequest& request, LinkFrameBuilder& reply);

// ---- link_replies_device.cpp ----
void HandleGetDeviceData(LinkRequest& request, LinkFrameBuilder& reply);

// ---- link_requests_settings.cpp ----
void HandleSetPolling(LinkRequest& request, LinkFrameBuilder& reply);
void HandleNotifySettings(LinkRequest& request, LinkFrameBuilder& reply);
void HandleEventTables(LinkRequest& request, LinkFrameBuilder& reply);
void HandleHistoryReport(LinkRequest& request, LinkFrameBuilder& reply);
void HandleControlPassword(LinkRequest& request, LinkFrameBuilder& reply);
void HandleTrafficMonitor(LinkRequest& request, LinkFrameBuilder& reply);
void HandleSetLanguage(LinkRequest& request, LinkFrameBuilder& reply);
void HandleTestSound(LinkRequest& request, LinkFrameBuilder& reply);

// ---- link_requests_report.cpp ----
void HandleReportRequest(LinkRequest& request, LinkFrameBuilder& reply);

// The device-setting text of the ASCII protocol with its three length
// digits ("Snnn") rewritten to the real length after them.
std::string WithAsciiLength(std::string text);

}  // namespace lark
