// Sections: the shared checks; file commands; object and settings dialogs;
// login; the UPS gates; the viewer start; the table that installs them.
#include "console/shell/menu_dispatch.h"

#include <cstdio>

#include "console/link/service_link.h"
#include "console/shell/console_context.h"
#include "console/shell/console_link.h"
#include "console/shell/main_window.h"
#include "console/shell/menu_commands.h"
#include "console/shell/show_configuration.h"
#include "platform/paths.h"
#include "platform/process.h"

namespace lark {

namespace {

constexpr uint32_t kUpsLogFlagAscii = 0x4000000;  // AsciiLiveData byte 256, bit 26
constexpr size_t kAsciiLogFlagOff = 256;
constexpr size_t kBinaryLogFlagOff = 1172;       // BinaryLiveData: 2 = the UPS keeps a log
constexpr size_t kAlarmStateRowsA = 5456;        // DeviceNode: two 200-byte per-row alarm states
constexpr size_t kAlarmStateRowsB = 5856;
constexpr size_t kAlarmStateRowsBytes = 200;

class MenuCommands {
 public:
  MenuCommands(ConsoleContext& ctx, LarkviewWindow& main, ConsoleLink& link) : ctx_(ctx), main_(main), link_(link) {}
  void Install();

 private:
  // ---- shared checks ----
  bool Refuse(int n, unsigned icon = MB_ICONERROR) {
    ctx_.ShowLangMessageBox(&main_, n, kMainTitle, icon);
    return false;
  }
  bool MapOpen() { return !(ctx_.monitor.settings().viewFlags & kViewMapClosed) || Refuse(6); }
  bool Unlocked() { return !(ctx_.monitor.settings().viewFlags & kViewLockObjects) || Refuse(7); }
  // The map is dirty: M_2 (New, Open) asks to save first.
  void SavePrompt() {
    if (!ctx_.mapDirty) return;
    if (ctx_.ShowLangMessageBox(&main_, 2, kMainTitle, MB_YESNO | MB_ICONQUESTION) != IDYES) return;
    ctx_.commands.saveAs = false;
    Open(151);
  }
  // Without accounts but with control password protection, the control
  // password first; refused: M_3.
  bool ControlGate() {
    if (ctx_.settings.accountsInUse || !ctx_.settings.service.controlPasswordEnabled) return true;
    const int r = Open(238);
    if (r == kDialogNotBuilt) return false;
    return r != 0 || Refuse(3);
  }
  int Open(int resource, QWidget* owner = nullptr, intptr_t param = 0) {
    return ctx_.dialogs.Open(resource, owner ? owner : &main_, param);
  }
  // A dialog that ended with a result to act on (not built: the command ends).
  bool Done(int result) { return result != 0 && result != kDialogNotBuilt; }
  void Log(uint16_t code, uint32_t first = 0, const std::string& text = "") {
    link_.link().postLogRequest(first, code, text);
  }
  DeviceNode* Group() { return ctx_.points.mapCurrentGroup ? ctx_.points.mapCurrentGroup() : nullptr; }
  bool HasChildren() {
    DeviceNode* g = Group();
    return g && g->childCount() > 0;
  }
  DeviceNode* Selected() { return ctx_.points.mapSelectedNode ? ctx_.points.mapSelectedNode() : nullptr; }
  std::string MapName() const { return link_.link().session().currentMap; }

  // ---- commands ----
  void Property();
  void PauseReaction();
  void Login();
  void Control();
  void DownloadUpsLog();
  void StartViewer();

  ConsoleContext& ctx_;
  LarkviewWindow& main_;
  ConsoleLink& link_;
};

// ---- file commands ----

// ---- object and settings dialogs ----

void MenuCommands::Property() {
  DeviceNode* n = Selected();
  if (!HasChildren() || !n) return;
  static constexpr int kByKind[] = {250, 249, 106, 167};
  const uint8_t kind = n->nodeKind();
  if (kind > 3) return;
  const int16_t commType = n->commType();
  const int r = Open(kByKind[kind]);
  // A block renewed without a change of CommType would zero the reported
  // masks and raise every standing alarm's popups, mails and SMS again.
  if (kind == kNodeSerial && Done(r) && n->commType() != commType) RenewCommTypeBlock(*n);
}

void MenuCommands::PauseReaction() {
  if (!Done(Open(159))) return;
  link_.link().postErrorRequest(0, 2, 1000, std::string(ctx_.texts.language.systemMessage(4)));
  static const std::vector<uint8_t> kZeros(kAlarmStateRowsBytes, 0);
  for (const ConsoleEndpoints::Entry& e : link_.endpoints().entries()) {
    DeviceNode* n = Tree_FindNodeById(ctx_.tree, e.id);
    if (!n) continue;
    for (size_t off : {kAlarmStateRowsA, kAlarmStateRowsB})
      for (size_t i = 0; i < kAlarmStateRowsBytes; ++i) n->putU8(off + i, 0);
  }
  Log(30);
}

// ---- login ----

void MenuCommands::Login() {
  int32_t& level = ctx_.settings.userLevel;
  if (ctx_.settings.loginLevel() != 0) {
    if (Open(160) != 1) return;
    CallPoint(ctx_.points.updateMenuRights, 0);
    level = 0;
    main_.tabReloadFlag = 1;
    main_.menus().setItemText(kMenuMain, IDM_LOGIN, ctx_.texts.view.login);
    Log(1);
    return;
  }
  const int r = Open(246);
  if (r == kDialogNotBuilt) return;
  if (r != 0) {
    CallPoint(ctx_.points.updateMenuRights, static_cast<int>(level));
    main_.tabReloadFlag = 1;
    main_.menus().setItemText(kMenuMain, IDM_LOGIN, ctx_.texts.view.logout);
    Log(0);
  } else {
    level = 0;
    Log(2);
  }
}

// ---- the UPS gates ----

void MenuCommands::Control() {
  DeviceNode* n = Selected();
  if (!HasChildren()) return;
  if (n && n->nodeKind() == kNodeSerial && n->commType() >= 3 && n->commType() <= 5) return;
  if (ControlGate()) Open(244);
}

void MenuCommands::DownloadUpsLog() {
  DeviceNode* n = Selected();
  if (!HasChildren() || !n) return;
  bool offers = false;
  if (n->nodeKind() == kNodeSerial && n->commType() == 1) {
    const LiveDataBlock* b = n->block(BlockKind::kBinary);
    offers = b && b->i32(kBinaryLogFlagOff) == 2;
  } else if (n->nodeKind() == kNodeSerial && n->commType() == 0) {
    const LiveDataBlock* b = n->block(BlockKind::kAscii);
    offers = b && (b->u32(kAsciiLogFlagOff) & kUpsLogFlagAscii) != 0;
  }
  if (offers)
    Open(195);
  else
    Refuse(54, MB_ICONINFORMATION);
}

// ---- the viewer ----

void MenuCommands::StartViewer() {
  DeviceNode* n = Selected();
  if (!n || n->isGroup()) return;
  const ViewerLaunch v = ViewerCommandLine(ctx_, *n, MapName(), link_.link().sharedMemoryMode());
  ctx_.spawn(v.argv, v.environment);
  Log(33);
}

// ---- the table ----

void MenuCommands::Install() {
  auto dialog = [this](int id, int resource) { main_.setCommand(id, [this, resource] { Open(resource); }); };
  auto logged = [this](int id, uint16_t code, int resource) {
    main_.setCommand(id, [this, code, resource] {
      Log(code);
      Open(resource);
    });
  };
  main_.setCommand(IDM_NEW, [this] {
    SavePrompt();
    if (!Done(Open(152))) return;
    ctx_.mapDirty = true;
    ShowCurrentConfiguration(ctx_, MapName());
  });
  dialog(IDM_ABOUT, 110);
  main_.setCommand(IDM_OPEN, [this] {
    SavePrompt();
    ctx_.mapDirty = false;
    Open(150);
  });
  // The Save dialog leaves the title ("Gridwarden Manager-<map>" after a new name).
  main_.setCommand(IDM_SAVE, [this] {
    ctx_.commands.saveAs = MapName().empty();
    if (Done(Open(151))) ctx_.mapDirty = false;
  });
  main_.setCommand(IDM_RENAME_AS, [this] {
    ctx_.commands.saveAs = true;
    if (Done(Open(151))) ctx_.mapDirty = false;
  });
  main_.setCommand(IDM_BACKGROUND, [this] {
    if (!MapOpen() || !Unlocked()) return;
    if (!Done(Open(108, main_.mapWindow()))) return;
    // A removed picture is let go as well.
    if (DeviceNode* g = Group()) CallPoint(ctx_.points.loadGroupPicture, g);
    CallPoint(ctx_.points.repaintMap);
  });
  main_.setCommand(IDM_PROPERTY, [this] { Property(); });
  dialog(IDM_CONNECTION, 109);
  main_.setCommand(IDM_ALL_EVENT_LOG, [this] {
    ctx_.commands.eventLogMode = 0;
    Open(240);
  });
  main_.setCommand(IDM_SELECTED_EVENT_LOG, [this] {
    if (!HasChildren()) return;
    ctx_.commands.eventLogMode = 1;
    Open(240);
  });
  main_.setCommand(IDM_PAUSE_REACTION, [this] { PauseReaction(); });
  main_.setCommand(IDM_NOTIFICATION, [this] {
    Log(21);
    CallPoint(ctx_.points.openNotificationSheet, &main_, static_cast<int>(main_.commandParam()));
  });
  dialog(IDM_ALARM_MANAGEMENT, 193);
  dialog(IDM_GENERATE_REPORT, 235);
  dialog(IDM_LIST_TAB_SELECTION, 239);
  dialog(IDM_HISTORY_MANAGEMENT, 241);
  dialog(IDM_CHANGE_PASSWORD, 247);
  main_.setCommand(IDM_HISTORICAL_PARAMETERS, [this] { StartViewer(); });
  main_.setCommand(IDM_CONTROL, [this] { Control(); });
  dialog(IDM_CONTROL_PASSWORD_SETUP, 237);
  dialog(IDM_ACCESS_MANAGEMENT, 141);
  main_.setCommand(IDM_LOGIN, [this] { Login(); });
  dialog(IDM_DATABASE, 245);
  dialog(IDM_SAVE_SERIAL_DATA, 165);
  dialog(IDM_LANGUAGE, 253);
  main_.setCommand(IDM_BATCH_CONFIGURATION, [this] {
    if (HasChildren() && ControlGate()) Open(254);
  });
  main_.setCommand(IDM_DOWNLOAD_UPS_LOG, [this] { DownloadUpsLog(); });
  main_.setCommand(IDM_SAVE_NETWORK_DATA, [this] {
    if (Done(Open(162))) main_.menus().setChecked(IDM_SAVE_NETWORK_DATA, ctx_.commands.networkSaving);
  });
  main_.setCommand(IDM_CONNECT_TO_SERVER, [this] {
    ctx_.commands.connectDialogOpen = true;
    Open(146);
    ctx_.commands.connectDialogOpen = false;
  });
  dialog(IDM_AUTO_LOAD, 164);
  logged(IDM_CONTACTORS, 101, 257);
  logged(IDM_NOTIFY_BY_SERVICE, 107, 258);
  logged(IDM_NOTIFY_BY_MONITOR, 112, 259);
  dialog(IDM_SYNC_IMAGES, 163);
  main_.setCommand(IDM_EXPORT_LIST, [this] { CallPoint(ctx_.points.exportDeviceList); });
  // Exit's save prompt: the Save dialog, then the operation log of the save.
  ctx_.points.saveMapDialog = [this] {
    ctx_.commands.saveAs = MapName().empty();
    const int r = Open(151);
    Log(48, 1, MapName());
    return Done(r);
  };
}

}  // namespace

void RenewCommTypeBlock(DeviceNode& node) {
  bool has = false;
  const BlockKind kind = PrimaryBlockKind(node, &has);
  if (!has) return;
  node.freeBlock(kind);
  node.ensureBlock(kind);
}

ViewerLaunch ViewerCommandLine(const ConsoleContext& ctx, const DeviceNode& node, const std::string& mapName,
                               bool sharedMemory) {
  ViewerLaunch v;
  const std::string installed = ctx.installDir() + "/Larkplot";
  v.argv.push_back(FileExists(installed) ? installed : std::string("Larkplot"));
  const ConsoleCallPoints& cp = ctx.points;
  const uint64_t mask = cp.nodeSupportMask ? cp.nodeSupportMask(node) : 0;
  const ServiceSettings& s = ctx.settings.service;
  // The history folders name the map without its extension.
  const std::string base = mapName.substr(0, mapName.find('.'));
  const auto num = [](int64_t n) { return std::to_string(n); };
  v.argv.push_back(cp.nodePath ? cp.nodePath(node) : node.title());
  v.argv.push_back(base + "\\" + num(node.id()));
  v.argv.push_back(ctx.installDir());
  v.argv.push_back(num(s.historyStorage));
  v.argv.push_back(s.historyDirectory);
  v.argv.push_back(num(static_cast<int32_t>(mask & 0xFFFFFFFFu)));
  v.argv.push_back(num(static_cast<int32_t>(mask >> 32)));
  v.argv.push_back(num(node.nodeKind()));
  v.argv.push_back(num(node.commType()));
  v.argv.push_back(num(node.mibType()));
  const bool inverterOrSensor = cp.isInverterOrSensor && cp.isInverterOrSensor(node);
  if (ctx.settings.accountsInUse && (!inverterOrSensor || !sharedMemory)) {
    v.argv.push_back(num(node.id()));
    v.argv.push_back(s.odbcSource);
    v.argv.push_back(s.odbcAccount);
    // Every local user can read a command line: the password goes by the environment.
    v.environment.push_back("LARK_DB_PASSWORD=" + s.odbcPassword);
  }
  return v;
}

void InstallMenuCommands(ConsoleContext& ctx, LarkviewWindow& main, ConsoleLink& link) {
  // Lives as long as the handlers that capture it: owned by the main window.
  auto* commands = new MenuCommands(ctx, main, link);
  QObject::connect(&main, &QObject::destroyed, [commands, &ctx] {
    ctx.points.saveMapDialog = nullptr;
    delete commands;
  });
  commands->Install();
}

}  // namespace lark
