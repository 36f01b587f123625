#include "console/dialogs/map_edit/object_dialogs.h"

#include <QTimer>
#include <optional>
#include <vector>

#include "console/dialogs/console_dialogs.h"
#include "console/dialogs/settings/stop_all_dialog.h"
#include "console/link/request_payloads.h"
#include "console/map/map_module.h"
#include "console/shell/console_context.h"
#include "console/shell/dialog_registry.h"
#include "core/device_node.h"
#include "linkserver/link_frame.h"

namespace lark {

namespace {

constexpr uint32_t kRequestTimeoutMs = 10000;

// The node a request names: the current group, or its selected child.
enum class Names { kGroup, kSelected };

struct ObjectRow {
  int resource;
  uint32_t openDialogId;
  uint8_t command;
  uint8_t sub;  // Add: the kind to add instead
  Names names;
};

constexpr ObjectRow kRows[] = {
    {153, 5, kLinkCmdAddNode, 0, Names::kGroup},
    {154, 7, kLinkCmdCutNode, 0, Names::kSelected},
    {155, 8, kLinkCmdPasteNode, 0, Names::kGroup},
    {156, 9, kLinkCmdRemoveNode, 0, Names::kSelected},
    {157, 10, kLinkCmdRemoveNode, 1, Names::kGroup},
};

const ObjectRow* FindRow(int resource) {
  for (const ObjectRow& r : kRows)
    if (r.resource == resource) return &r;
  return nullptr;
}

}  // namespace

ObjectDialog::ObjectDialog(ConsoleDialogs& env, int resource, QWidget* owner)
    : DialogBase(env, resource, FindRow(resource) ? FindRow(resource)->openDialogId : 0, owner) {
  AddWaitBar(*this);
}

void ObjectDialog::Init() {
  ConsoleContext& ctx = env().ctx;
  ctx.openDialog.progress = 0;
  const ObjectRow* row = FindRow(resource());
  const std::function<DeviceNode*()>& point =
      row && row->names == Names::kGroup ? ctx.points.mapCurrentGroup : ctx.points.mapSelectedNode;
  const DeviceNode* named = point ? point() : nullptr;
  // Identifiers travel as 16 bits, high byte first.
  if (!row || !named || named->id() < 0) return EndNow(0);
  const uint8_t sub = row->command == kLinkCmdAddNode ? ctx.commands.kindToAdd : row->sub;
  if (!Send(row->command, sub, kRequestTimeoutMs, IdPayload(static_cast<uint16_t>(named->id())))) EndNow(0);
}

void ObjectDialog::OnReply(const ReplyView& reply) {
  SetProgress(100);
  if (reply.success) {
    ShowMessage("MSG1");
    CloseAfter(kFailurePauseMs, 1);
    return;
  }
  ShowMessage("MSG2");
  if (!LockHeldElsewhere(reply.frame)) {
    CloseAfter(kFailurePauseMs, 0);
    return;
  }
  // The failure stands for its pause, then the holder for the lock's.
  CloseAfter(kFailurePauseMs + kLockRefusalPauseMs, 0);
  std::vector<uint8_t> frame(reply.frame.begin(), reply.frame.end());
  QTimer::singleShot(kFailurePauseMs, this, [this, frame = std::move(frame)] { ShowLockRefusal(frame); });
}

void InstallObjectDialogs(ConsoleDialogs& env, ConsoleMap& map) {
  map.dialog = [&env](int resource, QWidget* owner) {
    if (!FindRow(resource)) return kDialogNotBuilt;
    ObjectDialog d(env, resource, owner);
    return d.Run();
  };
  for (const ObjectRow& r : kRows) {
    env.branches.Register(r.command, r.openDialogId, [](DialogBase& d, const ReplyView& reply) {
      if (auto* o = dynamic_cast<ObjectDialog*>(&d)) o->OnReply(reply);
    });
  }
}

}  // namespace lark
