#include "console/map/map_module.h"

#include "console/link/link_queue.h"
#include "console/link/request_frame.h"
#include "console/link/service_link.h"
#include "console/shell/console_context.h"
#include "console/shell/main_window.h"
#include "console/map/map_levels.h"
#include "console/map/map_window.h"
#include "console/shell/menu_commands.h"
#include "core/tree_action_levels.h"
#include "linkserver/link_frame.h"

namespace lark {

ConsoleMap::ConsoleMap(ConsoleContext& ctx)
    : ctx_(ctx), previous_(ctx.tree.endpoints()), endpoints_(previous_), view_(ctx) {
  ctx_.tree.setEndpoints(endpoints_);
  names_ = MapNamesOf("");
}

ConsoleMap::~ConsoleMap() {
  // The tree outlives the map: its nodes must not reach the registry after.
  Tree_ClearAll(ctx_.tree);
  ctx_.tree.setEndpoints(previous_);
}

void ConsoleMap::ConnectLink(ServiceLink& link) {
  view_.sendMoveIcon = [&link](std::array<uint8_t, 20> payload) {
    // Fire and forget: no reply is awaited, a lost move leaves the icon as dragged.
    const std::vector<uint8_t> frame = BuildRequestFrame(kLinkCmdMoveIcon, 1, payload);
    link.queues().put(0, kReplyQueue, kRequestQueue, kKindRequest, kLinkCmdMoveIcon, 4500, 0, frame);
  };
  postLog = [&link](uint32_t first, uint16_t code, const std::string& text) {
    link.postLogRequest(first, code, text);
  };
}

void ConsoleMap::UpdateLevels() {
  const std::shared_ptr<const ActionTables> tables = ctx_.tables.actions();
  if (!tables) return;
  const ActionTablesLevelSource levels(*tables);
  UpdateAlarmLevel(ctx_.tree.root(), levels);
}

void ConsoleMap::Open(const std::string& path) {
  const std::shared_ptr<const ActionTables> tables = ctx_.tables.actions();
  static const ActionTables kNoTables;
  const ActionTablesLevelSource levels(tables ? *tables : kNoTables);
  names_ = OpenConsoleMap(ctx_.tree, path, levels);
  // The alarm state of the old tree went with it.
  CallPoint(ctx_.points.resetSoundCounters);
  CallPoint(ctx_.points.clearMailSlots);
  view_.Reset();
  if (ctx_.monitor.settings().fitPicture) view_.fitPending = true;
  CallPoint(ctx_.points.findNextScheduledActions);
  if (ctx_.mainWindow && !path.empty()) ctx_.mainWindow->setWindowTitle(QString::fromStdString(names_.title));
  view_.Paint();
  if (window_) window_->update();
}

void ConsoleMap::ConnectCommands(LarkviewWindow& main) {
  // Navigation needs the map window open.
  const auto open = [this] {
    if (!(ctx_.monitor.settings().viewFlags & kViewMapClosed)) return true;
    ctx_.ShowLangMessageBox(ctx_.mainWindow, 6, kMainTitle, MB_ICONERROR);
    return false;
  };
  const auto next = [this, open](int step) {
    if (!open()) return;
    const int n = view_.currentGroup().childCount();
    if (n == 0) return;
    const int from = view_.selected() < 0 ? (step > 0 ? -1 : 0) : view_.selected();
    view_.SelectNode(((from + step) % n + n) % n, true);
  };
  main.setCommand(IDM_MOVE_UP, [this, open] {
    if (open()) view_.LeaveGroup();
  });
  main.setCommand(IDM_MOVE_DOWN, [this, open] {
    if (!open()) return;
    if (DeviceNode* n = view_.selectedNode(); n && n->isGroup()) view_.EnterGroup();
  });
  main.setCommand(IDM_NEXT_OBJECT, [next] { next(1); });
  main.setCommand(IDM_PREVIOUS_OBJECT, [next] { next(-1); });
  ConnectEditCommands(main);
}

std::unique_ptr<ConsoleMap> InstallConsoleMap(ConsoleContext& ctx) {
  auto map = std::make_unique<ConsoleMap>(ctx);
  ConsoleMap* m = map.get();
  ConsoleCallPoints& cp = ctx.points;
  cp.createMapWindow = [m, &ctx](LarkviewWindow& main) -> QWidget* {
    m->window_ = new MapWindow(ctx, m->view_, &main);
    m->ConnectCommands(main);
    return m->window_;
  };
  cp.openConsoleMap = [m] { m->Open(""); };
  cp.mapTimer = [m] {
    if (m->window_) m->window_->OnTimer();
  };
  cp.enterSelectedGroup = [m] {
    if (DeviceNode* n = m->view_.selectedNode(); n && n->isGroup()) m->view_.EnterGroup();
  };
  cp.updateAlarmLevels = [m] { m->UpdateLevels(); };
  cp.openMapFile = [m](const std::string& path) { m->Open(path); };
  cp.mapCurrentGroup = [m] { return &m->view_.currentGroup(); };
  cp.mapSelectedNode = [m] { return m->view_.selectedNode(); };
  cp.nodePath = [](const DeviceNode& n) { return NodePath(n); };
  cp.nodeSupportMask = [](const DeviceNode& n) { return NodeSupportMask(n); };
  cp.isInverterOrSensor = [](const DeviceNode& n) { return IsInverterOrSensor(n) != 0; };
  // What the list selections do to the map, and what the map asks of the lists.
  MapView& view = m->view_;
  cp.setMapGroup = [&view](DeviceNode* g) {
    if (g && g->isGroup() && !view.leadsLists()) view.setCurrentGroup(*g);
  };
  cp.clearMapSelection = [&view] {
    if (!view.leadsLists()) view.clearSelection();
  };
  cp.loadGroupPicture = [&view](DeviceNode* g) {
    if (g && !view.leadsLists()) view.loadGroupPicture(*g);
  };
  cp.selectMapNode = [&view](DeviceNode* n) {
    for (int i = 0; n && !view.leadsLists() && i < view.currentGroup().childCount(); ++i) {
      if (view.currentGroup().child(i) == n) view.SelectNode(i, false);
    }
  };
  cp.repaintMap = [m] {
    m->view_.Paint();
    if (m->window_) m->window_->update();
  };
  view.selectDeviceRow = [&ctx](DeviceNode& n) { CallPoint(ctx.points.selectDeviceRow, &n); };
  view.fillDeviceList = [&ctx](DeviceNode& g) { CallPoint(ctx.points.fillDeviceList, &g, false); };
  return map;
}

}  // namespace lark
