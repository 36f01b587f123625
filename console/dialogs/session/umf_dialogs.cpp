#include "console/dialogs/session/umf_dialogs.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <algorithm>
#include <cstdio>

#include "console/dialogs/console_dialogs.h"
#include "console/link/request_payloads.h"
#include "console/link/service_link.h"
#include "console/shell/console_context.h"
#include "console/shell/dialog_texts.h"
#include "console/shell/main_window.h"
#include "console/shell/show_configuration.h"

namespace lark {

namespace {
constexpr uint32_t kMapListTimeoutMs = 5000;
constexpr uint32_t kOpenTimeoutMs = 30000;
constexpr uint32_t kSaveTimeoutMs = 60000;
constexpr uint32_t kNewTimeoutMs = 10000;
constexpr uint32_t kAutoLoadTimeoutMs = 5000;
constexpr size_t kMapListMax = 20;
constexpr int kTypedNameChars = 255;
constexpr const char* kDownloadSection = "Dialog-AutoLoadConfig";
constexpr uint16_t kLogOpenOpened = 92, kLogOpenOpen = 93, kLogOpenClosed = 94;
constexpr uint16_t kLogAutoOpened = 50, kLogAutoOk = 51, kLogAutoClosed = 52;
constexpr uint16_t kLogSaveOpened = 95, kLogSaveOk = 96, kLogSaveClosed = 97;
constexpr uint16_t kLogRenameOpened = 98, kLogRenameOk = 99, kLogRenameClosed = 100;
constexpr uint16_t kLogNewOpened = 89, kLogNewOk = 90, kLogNewClosed = 91;

QPushButton* Button(QWidget* parent, int id, const char* text) {
  auto* b = new QPushButton(text, parent);
  SetControlId(b, id);
  b->setAccessibleName(QString(text).remove('&'));
  return b;
}

// "Current Setting" with "UMF List:" and combo 1290.
QComboBox* MapListBox(QWidget* dialog, QGridLayout* grid) {
  auto* box = new QGroupBox("Current Setting", dialog);
  SetControlId(box, 1600);
  auto* list = new QComboBox(box);
  SetControlId(list, 1290);
  list->setAccessibleName("UMF List");
  auto* label = new QLabel("UMF List:", box);
  SetControlId(label, 1243);
  label->setBuddy(list);
  auto* g = new QGridLayout(box);
  g->addWidget(label, 0, 0);
  g->addWidget(list, 0, 1);
  grid->addWidget(box, 0, 0, 1, 2);
  return list;
}

void OkCancel(DialogBase* d, QGridLayout* grid, int row, const char* okText) {
  grid->addWidget(Button(d, 1, okText), row, 0);
  grid->addWidget(Button(d, 2, "Cancel"), row, 1);
}

std::string BaseName(const std::string& name) { return name.substr(0, name.find('.')); }

void RetitleMain(ConsoleContext& ctx, const std::string& name) {
  if (ctx.mainWindow) ctx.mainWindow->setWindowTitle(QString::fromStdString(MainTitleFor(name)));
}
}  // namespace

// ---- Open UMF ----

OpenUmfDialog::OpenUmfDialog(ConsoleDialogs& env, QWidget* owner)
    : ConfigDownloadDialog(env, kOpenUmfResource, kOpenUmfDialogId, owner) {
  auto* grid = new QGridLayout(this);
  list_ = MapListBox(this, grid);
  OkCancel(this, grid, 1, "Open");
  connect(static_cast<QPushButton*>(Control(1)), &QPushButton::clicked, this, [this] { Open(); });
  connect(static_cast<QPushButton*>(Control(2)), &QPushButton::clicked, this, [this] { OnCancel(); });
}

void OpenUmfDialog::Init() {
  PostLog(0, kLogOpenOpened, "");
  if (Send(kLinkCmdGetMapList, 0, kMapListTimeoutMs, {})) {
    ShowMessage("MSG4");
    EnableControls({1, 2}, false);
  } else {
    ShowMessage("MSG3");
    EnableControls({1}, false);
  }
}

void OpenUmfDialog::OnMapList(const ReplyView& reply) {
  if (reply.code != 3) return;
  LinkSessionData& s = env().link.session();
  ApplyMapList(s, reply.frame.size() > kLinkOffData ? reply.frame.subspan(kLinkOffData) : CBytes{});
  list_->clear();
  for (const std::string& name : s.maps) list_->insertItem(0, QString::fromStdString(name));
  if (list_->count() > 0) list_->setCurrentIndex(0);
  EnableControls({1, 2}, true);
  ShowMessage("MSG5");
}

void OpenUmfDialog::Open() {
  if (list_->currentIndex() < 0) return;
  const std::string name = list_->currentText().toStdString();
  ServiceLink& link = env().link;
  PostLog(0, kLogOpenOpen, BaseName(name));
  link.requestState(4, 0);
  link.session().currentMap = name;
  link.session().currentMapBase = BaseName(name);
  std::vector<uint8_t> payload(name.begin(), name.end());
  payload.push_back(0);
  if (!Send(kLinkCmdOpenMap, 0, kOpenTimeoutMs, payload)) {
    link.requestState(4, 3);
    ShowMessage("MSG1");
    return;
  }
  link.requestState(4, 1);
  ShowMessage("MSG2");
  EnableControls({1, 2}, false);
}

void OpenUmfDialog::OnOpened(const ReplyView& reply) {
  if (!reply.success) {
    env().link.requestState(4, 3);
    ShowMessage("MSG1");
    EnableControls({1, 2}, true);
    return;
  }
  if (RequestChunk(kLinkCmdDownloadFile, 0))
    ShowMessage(kDownloadSection, "MSG3");
  else
    Fail("MSG4");
}

void OpenUmfDialog::MapLoaded() {
  ServiceLink& link = env().link;
  link.setPollHold(true);  // the map loader rebuilds the tree
  ShowCurrentConfiguration(env().ctx, link.session().currentMap);
  link.setPollHold(false);
  link.requestState(4, 2);
  link.requestState(6, 0);
  done(1);
}

void OpenUmfDialog::OnCancel() {
  done(0);
  PostLog(0, kLogOpenClosed, "");
  // A failed open parks the session: it starts again from the map list.
  if (env().link.state() == LinkState{4, 3}) env().link.requestState(3, 0);
}

// ---- Save and New ----

MapNameDialog::MapNameDialog(ConsoleDialogs& env, int resource, uint32_t openDialogId, QWidget* owner)
    : DialogBase(env, resource, openDialogId, owner) {
  auto* grid = new QGridLayout(this);
  auto* box = new QGroupBox("File Name", this);
  SetControlId(box, 1600);
  edit_ = new QLineEdit(box);
  SetControlId(edit_, 1002);
  edit_->setMaxLength(kTypedNameChars);
  edit_->setAccessibleName("File Name");
  auto* g = new QGridLayout(box);
  g->addWidget(edit_, 0, 0);
  grid->addWidget(box, 0, 0, 1, 2);
  OkCancel(this, grid, 1, "OK");
  static_cast<QPushButton*>(Control(1))->setDefault(true);
  connect(static_cast<QPushButton*>(Control(1)), &QPushButton::clicked, this, [this] { Ok(); });
  connect(static_cast<QPushButton*>(Control(2)), &QPushButton::clicked, this, [this] { OnCancel(); });
}

SaveUmfDialog::SaveUmfDialog(ConsoleDialogs& env, QWidget* owner)
    : MapNameDialog(env, kSaveUmfResource, kSaveUmfDialogId, owner) {}

void SaveUmfDialog::Init() {
  const std::string& current = env().link.session().currentMap;
  renameAs_ = env().ctx.commands.saveAs || current.empty();
  PostLog(0, renameAs_ ? kLogRenameOpened : kLogSaveOpened, "");
  if (!renameAs_) {
    edit()->setText(QString::fromStdString(current));
    edit()->setEnabled(false);
  }
}

void SaveUmfDialog::Ok() {
  const std::string typed = edit()->text().toStdString();
  if (typed.empty()) return;
  const std::optional<std::string> name = MapFileName(typed);
  if (!name) {
    ShowMessage("MSG1");
    return;
  }
  PostLog(0, renameAs_ ? kLogRenameOk : kLogSaveOk, renameAs_ ? *name : "");
  if (!Send(kLinkCmdSaveMap, renameAs_ ? 1 : 0, kSaveTimeoutMs, MapNameBuffer(*name))) {
    ShowMessage("MSG1");
    return;
  }
  sent_ = *name;
  ShowMessage("MSG2");
  EnableControls({1, 2}, false);
}

void SaveUmfDialog::OnSaved(const ReplyView& reply) {
  if (!reply.success) {
    ShowMessage("MSG1");
    EnableControls({1, 2}, true);
    return;
  }
  ShowMessage("MSG3");
  if (reply.frame.size() > 6 && reply.frame[6] == 1) {
    LinkSessionData& s = env().link.session();
    std::replace(s.maps.begin(), s.maps.end(), s.currentMap, sent_);
    s.currentMap = sent_;
    s.currentMapBase = BaseName(sent_);
    RetitleMain(env().ctx, sent_);
  }
  done(1);
}

void SaveUmfDialog::OnCancel() {
  done(0);
  PostLog(0, renameAs_ ? kLogRenameClosed : kLogSaveClosed, "");
}

NewUmfDialog::NewUmfDialog(ConsoleDialogs& env, QWidget* owner)
    : MapNameDialog(env, kNewUmfResource, kNewUmfDialogId, owner) {}

void NewUmfDialog::Init() { PostLog(0, kLogNewOpened, ""); }

void NewUmfDialog::Ok() {
  const std::string typed = edit()->text().toStdString();
  if (typed.empty()) return;
  const std::optional<std::string> name = MapFileName(typed);
  if (!name) {
    ShowMessage("MSG2");
    return;
  }
  PostLog(0, kLogNewOk, *name);
  if (!Send(kLinkCmdNewMap, 0, kNewTimeoutMs, MapNameBuffer(*name))) {
    ShowMessage("MSG2");
    return;
  }
  sent_ = *name;
  ShowMessage("MSG3");
  EnableControls({1, 2}, false);
}

void NewUmfDialog::OnCreated(const ReplyView& reply) {
  if (!reply.success) {
    ShowMessage("MSG2");
    EnableControls({1, 2}, true);
    return;
  }
  ShowMessage("MSG4");
  LinkSessionData& s = env().link.session();
  if (s.maps.size() < kMapListMax) s.maps.push_back(sent_);
  s.currentMap = sent_;
  s.currentMapBase = BaseName(sent_);
  RetitleMain(env().ctx, sent_);
  // The new map is empty: an old copy of that name must not show as it.
  std::remove((env().ctx.installDir() + "/Monitor/" + sent_).c_str());
  done(1);
}

void NewUmfDialog::OnCancel() {
  done(0);
  PostLog(0, kLogNewClosed, "");
}

// ---- Auto-Load UMF ----

AutoLoadUmfDialog::AutoLoadUmfDialog(ConsoleDialogs& env, QWidget* owner)
    : DialogBase(env, kAutoLoadUmfResource, kAutoLoadUmfDialogId, owner) {
  auto* grid = new QGridLayout(this);
  list_ = MapListBox(this, grid);
  startup_ = new QLabel(this);
  SetControlId(startup_, 1292);
  startup_->setAccessibleName("Startup UMF");
  auto* label = new QLabel("Startup UMF:", this);
  SetControlId(label, 1244);
  label->setBuddy(startup_);
  grid->addWidget(label, 1, 0);
  grid->addWidget(startup_, 1, 1);
  OkCancel(this, grid, 2, "OK");
  connect(static_cast<QPushButton*>(Control(1)), &QPushButton::clicked, this, [this] { Ok(); });
  connect(static_cast<QPushButton*>(Control(2)), &QPushButton::clicked, this, [this] { OnCancel(); });
}

void AutoLoadUmfDialog::Init() {
  PostLog(0, kLogAutoOpened, "");
  const LinkSessionData& s = env().link.session();
  list_->addItem(QString());  // no map loaded at start
  for (const std::string& name : s.maps) list_->addItem(QString::fromStdString(name));
  list_->setCurrentIndex(0);
  if (!s.autoLoadMap.empty()) startup_->setText(QString::fromStdString(s.autoLoadMap));
}

void AutoLoadUmfDialog::Ok() {
  if (list_->currentIndex() < 0) return;
  const std::string name = list_->currentText().toStdString();
  // A listed name too long for the request's buffer is not cut into another.
  if (name.size() >= kMapNameBufferBytes) {
    ShowMessage("MSG1");
    return;
  }
  startup_->setText(QString::fromStdString(name));
  PostLog(1, kLogAutoOk, name);
  if (!Send(kLinkCmdSetAutoLoadMap, 0, kAutoLoadTimeoutMs, MapNameBuffer(name))) {
    ShowMessage("MSG1");
    return;
  }
  ShowMessage("MSG2");
  EnableControls({1, 2}, false);
}

void AutoLoadUmfDialog::OnSet(const ReplyView& reply) {
  if (reply.success) {
    env().link.session().autoLoadMap = startup_->text().toStdString();
    ShowMessage("MSG3");
  }
  EnableControls({1, 2}, true);
}

void AutoLoadUmfDialog::OnCancel() {
  done(0);
  PostLog(0, kLogAutoClosed, "");
}

// ---- registration ----

namespace {
template <typename D>
void Opener(ConsoleDialogs& env, int resource) {
  env.ctx.dialogs.Register(resource, [&env](QWidget* owner, intptr_t) {
    D d(env, owner);
    return d.Run();
  });
}

template <typename D, void (D::*Step)(const ReplyView&)>
void Branch(ConsoleDialogs& env, uint8_t command, uint32_t openDialogId) {
  env.branches.Register(command, openDialogId, [](DialogBase& d, const ReplyView& r) {
    if (auto* dialog = dynamic_cast<D*>(&d)) (dialog->*Step)(r);
  });
}
}  // namespace

void RegisterUmfDialogs(ConsoleDialogs& env) {
  Opener<OpenUmfDialog>(env, kOpenUmfResource);
  Opener<SaveUmfDialog>(env, kSaveUmfResource);
  Opener<NewUmfDialog>(env, kNewUmfResource);
  Opener<AutoLoadUmfDialog>(env, kAutoLoadUmfResource);
  Branch<OpenUmfDialog, &OpenUmfDialog::OnMapList>(env, kLinkCmdGetMapList, kOpenUmfDialogId);
  Branch<OpenUmfDialog, &OpenUmfDialog::OnOpened>(env, kLinkCmdOpenMap, kOpenUmfDialogId);
  Branch<SaveUmfDialog, &SaveUmfDialog::OnSaved>(env, kLinkCmdSaveMap, kSaveUmfDialogId);
  Branch<NewUmfDialog, &NewUmfDialog::OnCreated>(env, kLinkCmdNewMap, kNewUmfDialogId);
  Branch<AutoLoadUmfDialog, &AutoLoadUmfDialog::OnSet>(env, kLinkCmdSetAutoLoadMap, kAutoLoadUmfDialogId);
}

}  // namespace lark
