#include "console/shell/console_link.h"

#include <random>

#include "console/link/link_driver.h"
#include "console/shell/main_window.h"
#include "console/shell/menu_rights.h"
#include "console/shell/show_configuration.h"
#include "console/shell/timed_message.h"

namespace lark {

ConsoleLink::ConsoleLink(ConsoleContext& ctx) : ctx_(ctx) {
  ctx.tree.setEndpoints(endpoints_);
  auto rng = std::make_shared<std::mt19937>(static_cast<uint32_t>(ctx.clock().tickMs()));
  link_ = std::make_unique<ServiceLink>(reactor_, ctx.clock(), ctx.tree, *this, ctx.installDir(),
                                        [rng] { return static_cast<int>((*rng)() % 32768); });
}

ConsoleLink::~ConsoleLink() {
  link_.reset();
  Tree_FreeAll(ctx_.tree);  // its nodes leave the endpoint table before the table goes
}

void ConsoleLink::Wire() {
  ConsoleCallPoints& cp = ctx_.points;
  cp.initLinkQueues = [this] {
    link_->start();
    started_ = true;
  };
  cp.setAutoConnect = [this](bool on) {
    const std::string& server = ctx_.monitor.settings().serverAddress;
    if (!server.empty()) link_->setServer(server);
    link_->setAutoConnect(on && !server.empty());
  };
  cp.updateMenuRights = [this](int level) {
    rightsLevel_ = level;
    if (ctx_.mainWindow)
      UpdateMenuRights(ctx_.mainWindow->menus(), level, link_->state().state, ctx_.settings.accountsInUse);
  };
  cp.linkSecondSteps = [this] { link_->secondTick(); };
  cp.pumpLinkQueue = [this](int q) { link_->pump(static_cast<uint8_t>(q)); };
  cp.linkTick = [this] { link_->linkTick(); };
  cp.postProgramEnd = [this](const std::string& text) { link_->postErrorRequest(0, 2, 1000, text); };
  cp.closeLink = [this] {
    if (started_) link_->close();
  };
}

void ConsoleLink::refillViews() { CallPoint(ctx_.points.fillLists); }

void ConsoleLink::updateMenuRights(int level) {
  ctx_.settings.userLevel = level;
  CallPoint(ctx_.points.updateMenuRights, level);
}

void ConsoleLink::linkStateChanged(LinkState now) {
  if (ctx_.mainWindow)
    UpdateMenuRights(ctx_.mainWindow->menus(), rightsLevel_, now.state, ctx_.settings.accountsInUse);
}

void ConsoleLink::openConnect(bool reconnect) {
  ctx_.commands.connectDialogOpen = true;
  ctx_.dialogs.OpenLater(kConnectToServerDialog, ctx_.mainWindow, reconnect ? 1 : 0,
                         [&ctx = ctx_](int) { ctx.commands.connectDialogOpen = false; });
}

void ConsoleLink::openAutoLoad() {
  ctx_.commands.autoLoadDialogOpen = true;
  ctx_.dialogs.OpenLater(kAutoLoadConfigDialog, ctx_.mainWindow, 0,
                         [&ctx = ctx_](int) { ctx.commands.autoLoadDialogOpen = false; });
}

void ConsoleLink::showTimedMessage(int n, int seconds) {
  if (ctx_.mainWindow == nullptr) return;
  ctx_.mainWindow->timedMessage().ShowLangMessageDialog(ctx_.languageProfile(), n, kMainTitle, seconds);
}

void ConsoleLink::configurationLoaded(const std::string& mapPath) {
  if (ctx_.points.reloadConsoleTables) {
    // The same reload as the Auto-Load Configuration dialog's.
    ctx_.points.reloadConsoleTables();
    ShowCurrentConfiguration(ctx_, link_->session().currentMap);
    return;
  }
  const std::string copy = ctx_.installDir() + "/Monitor/manager.ini";
  LoadManagerSettings(ctx_.settings, copy, ctx_.installDir());
  // With the service's database the console's accounts are in use: the
  // event logs query the database and the rights wait for a login.
  LoadDatabaseSettings(ctx_.settings, copy, ctx_.installDir(),
                       [this](int32_t level) { updateMenuRights(level); });
  LoadContactors(ctx_.settings, copy);
  LoadRecipientItems(ctx_.settings, copy);
  LoadNotificationLists(ctx_.settings, copy);
  // The console's map opens it; without one the service's reader fills the tree.
  if (!mapPath.empty()) {
    if (ctx_.points.openMapFile) {
      ctx_.points.openMapFile(mapPath);
    } else {
      LoadDownloadedMap(ctx_.tree, mapPath);
    }
  }
  CallPoint(ctx_.points.fillLists);
  CallPoint(ctx_.points.rebuildDetailTabs);
}

void ConsoleLink::actionTablesLoaded(std::vector<std::pair<ActionFamily, ActionTable>> tables) {
  ctx_.tables.applyActionTables(std::move(tables));
}

}  // namespace lark
