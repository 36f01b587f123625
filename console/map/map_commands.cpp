// The main window's edit commands on the map: add a node of each kind, cut,
// paste, delete, delete all, and the lock that refuses them. Each changes the console's copy of the tree
// through the MapView, refills the lists, marks the map dirty and reports
// the operation to the service's log.
#include <cstdio>

#include "console/shell/console_context.h"
#include "console/shell/main_window.h"
#include "console/map/map_module.h"
#include "console/map/map_window.h"
#include "console/shell/menu_commands.h"

namespace lark {

namespace {

// The confirmation a dialog's title stands for until the object dialogs exist.
const char* DialogTitle(int resource) {
  switch (resource) {
    case 153: return "Add Object";
    case 154: return "Cut Object";
    case 155: return "Paste Object";
    case 156: return "Remove Object";
    case 157: return "Remove All Object";
    default: return nullptr;
  }
}

std::string NodeLogText(const DeviceNode& node) {
  char buf[320];
  std::snprintf(buf, sizeof buf, "(Title:%s, id:%d)", node.title().c_str(), static_cast<int>(node.id()));
  return buf;
}

}  // namespace

bool ConsoleMap::MapUsable() {
  const uint32_t flags = ctx_.monitor.settings().viewFlags;
  if (flags & kViewMapClosed) {
    ctx_.ShowLangMessageBox(ctx_.mainWindow, 6, kMainTitle, MB_ICONERROR);
    return false;
  }
  if (flags & kViewLockObjects) {
    ctx_.ShowLangMessageBox(ctx_.mainWindow, 7, kMainTitle, MB_ICONERROR);
    return false;
  }
  return true;
}

int ConsoleMap::RunDialog(int resource) {
  if (dialog) {
    const int r = dialog(resource, window_);
    if (r != kDialogNotBuilt) return r;
  }
  const int built = ctx_.dialogs.Open(resource, window_);
  if (built != kDialogNotBuilt) return built;
  const char* title = DialogTitle(resource);
  if (!title || !ctx_.messageBox) return 1;
  return ctx_.messageBox(window_, title, std::string(title) + "?", MB_YESNO | MB_ICONQUESTION) == IDYES ? 1 : 0;
}

void ConsoleMap::NodeLog(uint16_t code, const std::string& text) {
  if (postLog) postLog(1, code, text);
}

void ConsoleMap::RefillLists() {
  const MapView::LeadLists lead(view_);
  DeviceNode* group = &view_.currentGroup();
  CallPoint(ctx_.points.fillGroupList, group);
  CallPoint(ctx_.points.selectDeviceRow, group);
  CallPoint(ctx_.points.fillDeviceList, group, false);
}

void ConsoleMap::AddSequence(uint8_t kind, int propertyDialog, uint16_t logCode) {
  if (!MapUsable()) return;
  ctx_.commands.kindToAdd = kind;
  if (RunDialog(153) == 0) return;
  DeviceNode* node = view_.AddNode(kind, "0.0.0.0");
  if (!node) return;
  ctx_.mapDirty = true;
  ctx_.commands.newNode = kind != kNodeGroup;
  const int result = RunDialog(propertyDialog);
  ctx_.commands.newNode = false;
  if (result != 0) {
    // The service made its node without a place (left and top 0, over the
    // first icon once the map is saved and read again): it takes the
    // console's, as after a drag.
    if (view_.sendMoveIcon) view_.sendMoveIcon(MoveIconPayload(static_cast<int16_t>(node->id()), node->iconRect()));
    if (kind == kNodeGroup) {
      CallPoint(ctx_.points.fillGroupList, &view_.currentGroup());
    } else {
      CallPoint(ctx_.points.fillDeviceList, &view_.currentGroup(), false);
      view_.SelectNode(view_.currentGroup().childCount() - 1, true);
    }
    NodeLog(logCode, NodeLogText(*node));
    view_.Paint();
    if (window_) window_->update();
    return;
  }
  // A cancelled property dialog takes the new node's endpoint away and asks
  // for its removal; the operator may still keep it.
  if (kind == kNodeSnmp) ctx_.tree.endpoints().removeSnmpDevice(*node);
  if (kind == kNodeSerial) ctx_.tree.endpoints().detachSerialDevice(*node);
  if (ctx_.mainWindow) ctx_.mainWindow->SendCommand(IDM_DELETE);
}

void ConsoleMap::ConnectEditCommands(LarkviewWindow& main) {
  const auto repaint = [this, &main] {
    ctx_.mapDirty = true;
    main.update();
    view_.Paint();
    if (window_) window_->update();
  };
  main.setCommand(IDM_LOCK_OBJECT, [this, &main] {
    uint32_t& flags = ctx_.monitor.settings().viewFlags;
    flags ^= kViewLockObjects;
    const bool locked = flags & kViewLockObjects;
    main.menus().setChecked(IDM_LOCK_OBJECT, locked);
    NodeLog(locked ? 42 : 41, "");
    ctx_.monitor.SaveConsoleSettings(ctx_.texts.columns);
  });
  main.setCommand(IDM_ADD_GROUP, [this] { AddSequence(kNodeGroup, 249, 13); });
  main.setCommand(IDM_ADD_LOCAL, [this] { AddSequence(kNodeSerial, 250, 14); });
  main.setCommand(IDM_ADD_SNMP, [this] { AddSequence(kNodeSnmp, 106, 15); });
  main.setCommand(IDM_ADD_GPRS, [this] { AddSequence(kNodeGprs, 167, 14); });
  main.setCommand(IDM_DELETE, [this, repaint] {
    if (view_.currentGroup().childCount() == 0 || !MapUsable()) return;
    if (const DeviceNode* n = view_.selectedNode()) NodeLog(11, NodeLogText(*n));
    if (RunDialog(156) == 0) return;
    view_.DeleteNode(view_.selected());
    RefillLists();
    repaint();
  });
  main.setCommand(IDM_DELETE_ALL, [this, repaint] {
    if (!MapUsable()) return;
    if (ctx_.ShowLangMessageBox(ctx_.mainWindow, 8, kMainTitle, MB_YESNO | MB_ICONEXCLAMATION) != IDYES) return;
    if (RunDialog(157) == 0) return;
    while (view_.currentGroup().childCount() > 0) view_.DeleteNode(0);
    RefillLists();
    NodeLog(12, "");
    repaint();
  });
  main.setCommand(IDM_CUT, [this, repaint] {
    if (view_.currentGroup().childCount() == 0 || !MapUsable()) return;
    const DeviceNode* n = view_.selectedNode();
    const std::string text = n ? NodeLogText(*n) : std::string();
    if (RunDialog(154) == 0) return;
    view_.CutNode(view_.selected());
    RefillLists();
    NodeLog(9, text);
    repaint();
  });
  main.setCommand(IDM_PASTE, [this, repaint] {
    if (!MapUsable()) return;
    if (view_.currentGroup().childCount() >= kMaxChildren) {
      ctx_.ShowLangMessageBox(ctx_.mainWindow, 45, "", MB_ICONERROR);
      return;
    }
    if (!ctx_.tree.clipboard()) {
      ctx_.ShowLangMessageBox(ctx_.mainWindow, 47, "", MB_ICONINFORMATION);
      return;
    }
    if (RunDialog(155) == 0 || !view_.PasteNode()) return;
    RefillLists();
    NodeLog(10, "");
    repaint();
  });
}

}  // namespace lark
