#include "console/dialogs/session/connect_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "console/dialogs/console_dialogs.h"
#include "console/link/service_link.h"
#include "console/shell/console_context.h"
#include "console/shell/dialog_texts.h"

namespace lark {

namespace {
constexpr int kTickMs = 500;
constexpr uint32_t kConnectTimeoutMs = 5000;
constexpr uint32_t kSearchTimeoutMs = 3000;
constexpr uint32_t kAcceptedPauseMs = 1000;  // a slow hello closes one tick after its reply
constexpr uint32_t kReconnectGiveUps = 3;    // attempts that close by themselves
constexpr int kAddressChars = 15;
constexpr size_t kListedServers = 5;
constexpr uint16_t kLogOpened = 84, kLogOk = 85, kLogSearch = 86, kLogConnect = 87, kLogCancel = 88;

QLabel* Label(QWidget* parent, int id, const char* text, QWidget* buddy) {
  auto* l = new QLabel(text, parent);
  SetControlId(l, id);
  l->setBuddy(buddy);
  buddy->setAccessibleName(QString(text).remove(':'));
  return l;
}

QPushButton* Button(QWidget* parent, int id, const char* text) {
  auto* b = new QPushButton(text, parent);
  SetControlId(b, id);
  b->setAccessibleName(text);
  b->setAutoDefault(false);
  return b;
}
}  // namespace

ConnectDialog::ConnectDialog(ConsoleDialogs& env, QWidget* owner, bool reconnect)
    : DialogBase(env, kConnectResource, std::nullopt, owner), reconnect_(reconnect) {
  auto* server = new QGroupBox(" Server IP ", this);
  SetControlId(server, 1600);
  servers_ = new QComboBox(server);
  SetControlId(servers_, 1277);
  typed_ = new QLineEdit(server);
  SetControlId(typed_, 1279);
  typed_->setMaxLength(kAddressChars);
  auto* search = Button(server, 1278, "Auto-Search");
  auto* connectButton = Button(server, 1288, "Connect");
  connectButton->setDefault(true);
  auto* sg = new QGridLayout(server);
  sg->addWidget(Label(server, 1243, "IP List:", servers_), 0, 0);
  sg->addWidget(servers_, 0, 1);
  sg->addWidget(search, 0, 2);
  sg->addWidget(Label(server, 1244, "IP:", typed_), 1, 0);
  sg->addWidget(typed_, 1, 1);
  sg->addWidget(connectButton, 1, 2);

  auto* autoBox = new QGroupBox(" Auto Connection ", this);
  SetControlId(autoBox, 1246);
  enable_ = new QCheckBox("Enable", autoBox);
  SetControlId(enable_, 1245);
  enable_->setAccessibleName("Enable");
  saved_ = new QLineEdit(autoBox);
  SetControlId(saved_, 1302);
  saved_->setMaxLength(kAddressChars);
  saved_->setAccessibleName("Server IP");
  auto* ag = new QGridLayout(autoBox);
  ag->addWidget(enable_, 0, 0);
  ag->addWidget(saved_, 0, 1);

  auto* ok = Button(this, 1, "OK");
  auto* cancel = Button(this, 2, "Cancel");
  auto* grid = new QGridLayout(this);
  grid->addWidget(server, 0, 0, 1, 2);
  grid->addWidget(autoBox, 1, 0, 1, 2);
  grid->addWidget(ok, 2, 0);
  grid->addWidget(cancel, 2, 1);
  connect(search, &QPushButton::clicked, this, [this] { AutoSearch(); });
  connect(connectButton, &QPushButton::clicked, this, [this] { Connect(); });
  connect(ok, &QPushButton::clicked, this, [this] { Ok(); });
  connect(cancel, &QPushButton::clicked, this, [this] { OnCancel(); });
}

bool ConnectDialog::StartTimer() {
  return env().ctx.timers.Set(this, kReplyWaitTimerId, kTickMs, [this] { Tick(); });
}

void ConnectDialog::Buttons(bool on) { EnableControls({1278, 1288, 1, 2}, on); }

void ConnectDialog::Failed(const char* key) {
  KillReplyTimer();
  ShowMessage(key);
  state_ = 3;
  Buttons(true);
}

bool ConnectDialog::Search() {
  ServiceLink& link = env().link;
  link.clearServers();
  if (!link.startSearch()) return false;
  ShowMessage("MSG3");
  step_ = Step::kSearch;
  state_ = 1;
  return true;
}

void ConnectDialog::StartConnect(uint32_t timeoutMs) {
  // The link connects on its next second and keeps trying until the step ends.
  env().link.resetServiceLink(2, true);
  step_ = Step::kConnect;
  state_ = 0;
  sendTick_ = env().ctx.clock().tickMs();
  timeoutMs_ = timeoutMs;
  ShowMessage("MSG4");
  Buttons(false);
}

void ConnectDialog::Init() {
  PostLog(0, kLogOpened, "");
  const MonitorSettings& s = env().ctx.monitor.settings();
  enable_->setChecked(s.autoConnect);
  saved_->setText(QString::fromStdString(s.serverAddress == "127.0.0.1" ? "LocalHost" : s.serverAddress));
  ServiceLink& link = env().link;
  link.resetPendingRequest();
  if (!StartTimer()) {
    ShowMessage(link.state().state == 1 ? "MSG2" : "MSG1");
    state_ = 3;
    return;
  }
  if (link.state().state != 1 && !reconnect_) {
    if (!Search()) {
      Failed("MSG1");
      return;
    }
    sendTick_ = env().ctx.clock().tickMs();
    timeoutMs_ = kConnectTimeoutMs;
    Buttons(false);
    return;
  }
  // A reconnection keeps the lost link's server.
  if (!reconnect_ && !s.serverAddress.empty()) link.setServer(s.serverAddress);
  StartConnect(kConnectTimeoutMs);
}

void ConnectDialog::AutoSearch() {
  PostLog(0, kLogSearch, "");
  if (!StartTimer()) {
    ShowMessage("MSG1");
    return;
  }
  if (!Search()) {
    Failed("MSG1");
    return;
  }
  Buttons(false);
  sendTick_ = env().ctx.clock().tickMs();
  timeoutMs_ = kSearchTimeoutMs;
}

void ConnectDialog::Connect() {
  PostLog(0, kLogConnect, "");
  ServiceLink& link = env().link;
  link.resetPendingRequest();
  std::string text = typed_->text().trimmed().toStdString();
  if (text.empty() && servers_->currentIndex() >= 0) text = servers_->currentText().toStdString();
  // Only an address the link can connect to: a dotted IPv4 one or localhost.
  const std::optional<std::string> address = ServerAddressFromText(text);
  if (!address) {
    ShowMessage("MSG11");
    return;
  }
  if (!StartTimer()) {
    ShowMessage("MSG6");
    return;
  }
  link.setServer(*address);
  StartConnect(kConnectTimeoutMs);
}

void ConnectDialog::Ok() {
  PostLog(0, kLogOk, "");
  const std::string text = saved_->text().trimmed().toStdString();
  const std::optional<std::string> address = ServerAddressFromText(text);
  const bool enable = enable_->isChecked();
  if ((enable && text.empty()) || (!text.empty() && !address)) {
    ShowMessage("MSG12");
    return;
  }
  MonitorIni& ini = env().ctx.monitor;
  ini.settings().autoConnect = enable;
  ini.settings().serverAddress = address.value_or("");
  ini.SaveStartupConfig();
  if (ini.Save() && enable) ShowMessage("MSG13");
}

void ConnectDialog::OnCancel() {
  // A connection not yet accepted is given up, so the link does not go on
  // connecting by itself without ever saying hello.
  if (step_ == Step::kConnect && state_ != 2) env().link.resetServiceLink(2, false);
  KillReplyTimer();
  done(0);
  PostLog(0, kLogCancel, "");
}

void ConnectDialog::Tick() {
  ServiceLink& link = env().link;
  const uint32_t now = env().ctx.clock().tickMs();
  if (TickElapsed(now, sendTick_) > timeoutMs_) {
    KillReplyTimer();
    Buttons(true);
    const Step was = step_;
    step_ = Step::kNone;
    if (was == Step::kSearch) {
      state_ = 2;
      servers_->clear();
      const std::vector<std::string>& found = link.servers();
      for (size_t i = 0; i < found.size() && i < kListedServers; ++i)
        servers_->addItem(QString::fromStdString(found[i]));
      if (servers_->count() > 0) servers_->setCurrentIndex(0);
      ShowMessage("MSG5");
    } else if (was == Step::kConnect) {
      if (state_ == 2) {
        done(1);
        return;
      }
      ShowMessage("MSG6");
      state_ = 3;
      link.resetServiceLink(2, false);
      if (reconnect_ && link.reconnectAttempts() < kReconnectGiveUps) done(0);
    }
    return;
  }
  if (step_ != Step::kConnect) return;
  const uint32_t conn = link.mainLink().connState;
  if (conn == kConnConnecting) {
    ShowMessage("MSG7");
  } else if (conn == kConnUp && state_ == 0) {
    if (!link.queueHello()) {
      step_ = Step::kNone;
      Failed("MSG6");
      return;
    }
    helloSequence_ = link.pending().sequence;
    state_ = 1;
    link.requestState(2, 1);
    ShowMessage("MSG8");
  } else if (state_ == 1) {
    // A full service answers and closes at once: its refusal counts even
    // when the connection is already gone.
    PendingRequest& p = link.pending();
    if (p.replyFlag != 2 || p.sequence != helloSequence_) return;
    p.replyFlag = 1;
    const uint8_t code = p.reply.size() > kLinkOffCode ? p.reply[kLinkOffCode] : 0;
    if (code == kLinkHelloAccepted) {
      if (conn != kConnUp) return;  // the time-out tells
      link.requestState(2, 2);
      link.requestState(3, 0);
      state_ = 2;
      ShowMessage("MSG9");
      if (TickElapsed(now, sendTick_) > kAcceptedPauseMs) timeoutMs_ = kAcceptedPauseMs;
    } else {
      step_ = Step::kNone;
      link.resetServiceLink(2, false);
      Failed("MSG10");
    }
  }
}

void RegisterConnectDialog(ConsoleDialogs& env) {
  env.ctx.dialogs.Register(kConnectResource, [&env](QWidget* owner, intptr_t reconnect) {
    ConnectDialog d(env, owner, reconnect != 0);
    return d.Run();
  });
}

}  // namespace lark
