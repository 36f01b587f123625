// The console's link on Qt's loop: the Qt reactor, the ServiceLink, and the
// shell it calls back (view refills, menu rights, the timed message, the
// configuration reload). Wire() fills the link's call points of the context.
#pragma once
#include <memory>

#include "console/link/device_endpoints.h"
#include "console/link/service_link.h"
#include "console/shell/console_context.h"
#include "console/shell/qt_reactor.h"

namespace lark {

class ConsoleLink final : public LinkShell, public SessionDialogs {
 public:
  explicit ConsoleLink(ConsoleContext& ctx);
  ~ConsoleLink() override;

  // Start-up, timers, socket messages and shutdown reach the link through these.
  void Wire();
  ServiceLink& link() { return *link_; }
  const ConsoleEndpoints& endpoints() const { return endpoints_; }

  void refillViews() override;
  void updateMenuRights(int level) override;
  void setAccountsInUse(bool on) override { ctx_.settings.accountsInUse = on; }
  void showTimedMessage(int n, int seconds) override;
  void clearMapChanged() override { ctx_.mapDirty = false; }
  void configurationLoaded(const std::string& mapPath) override;
  // The service's tables become the console's: map levels, lists and the
  // console's own alarm reactions read that one snapshot.
  void actionTablesLoaded(std::vector<std::pair<ActionFamily, ActionTable>> tables) override;
  // The rights follow the link: a lost session greys what needs it.
  void linkStateChanged(LinkState now) override;

  // Hands the connection and the download to the dialogs 146 and 149 of
  // the registry; their openers must be registered.
  void UseSessionDialogs() { link_->setSessionDialogs(this); }
  bool connectOpen() const override { return ctx_.commands.connectDialogOpen; }
  bool autoLoadOpen() const override { return ctx_.commands.autoLoadDialogOpen; }
  void openConnect(bool reconnect) override;
  void openAutoLoad() override;

 private:
  ConsoleContext& ctx_;
  ConsoleEndpoints endpoints_;  // the tree's endpoint table while the link lives
  QtReactor reactor_;
  std::unique_ptr<ServiceLink> link_;
  bool started_ = false;
  int rightsLevel_ = 2;  // the level of the last rights update
};

}  // namespace lark
