#include "console/dialogs/session/config_download.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <array>
#include <cstdio>

#include "console/dialogs/session/config_reload.h"
#include "console/dialogs/console_dialogs.h"
#include "console/link/service_link.h"
#include "console/shell/console_context.h"
#include "console/shell/dialog_texts.h"
#include "linkserver/link_transfer.h"

namespace lark {

namespace {
constexpr uint32_t kChunkTimeoutMs = 10000;
constexpr const char* kSection = "Dialog-AutoLoadConfig";
constexpr size_t kChunkDataOffset = 7;  // after the echoed sub-command
}  // namespace

bool ConfigDownloadDialog::RequestChunk(uint8_t command, uint32_t offset) {
  std::array<uint8_t, kFileChunkHeaderSize> header{};
  PutChunkHeader(header, 0, FileChunkHeader{offset, kDownloadChunkSize, env().link.session().currentMap});
  if (!Send(command, 0, kChunkTimeoutMs, header)) return false;
  offset_ = offset;
  command_ = command;
  return true;
}

void ConfigDownloadDialog::OnAbandoned() {
  const std::string name =
      command_ == kLinkCmdDownloadSettings ? "manager.ini" : env().link.session().currentMap;
  if (SafeWireName(name, 1))
    std::remove(DownloadPartPath(env().ctx.installDir() + "/Monitor", name).c_str());
  env().link.requestState(4, 3);
}

void ConfigDownloadDialog::Fail(const char* key) {
  env().link.requestState(4, 3);
  ShowMessage(kSection, key);
  EnableControls({1, 2}, true);
}

void ConfigDownloadDialog::OnChunk(const ReplyView& reply) {
  const bool settings = reply.command == kLinkCmdDownloadSettings;
  const char* failKey = settings ? "MSG2" : "MSG4";
  if (!reply.success) return Fail(failKey);
  const CBytes chunk = reply.frame.size() > kChunkDataOffset ? reply.frame.subspan(kChunkDataOffset) : CBytes{};
  ServiceLink& link = env().link;
  // A piece that cannot be written stops the chain with its message; the
  // old copy stays.
  const DownloadStep step = WriteDownloadChunk(env().ctx.installDir() + "/Monitor",
                                               settings ? "manager.ini" : link.session().currentMap,
                                               offset_, chunk, nullptr);
  switch (step) {
    case DownloadStep::kFailed:
      return Fail(failKey);
    case DownloadStep::kMore:
      if (!RequestChunk(reply.command, offset_ + kDownloadChunkSize)) Fail(failKey);
      return;
    case DownloadStep::kComplete:
      break;
  }
  if (settings) {
    if (RequestChunk(kLinkCmdDownloadFile, 0))
      ShowMessage(kSection, "MSG3");
    else
      Fail("MSG4");
    return;
  }
  ShowMessage(kSection, "MSG5");
  MapLoaded();
}

AutoLoadConfigDialog::AutoLoadConfigDialog(ConsoleDialogs& env, QWidget* owner)
    : ConfigDownloadDialog(env, kAutoLoadConfigResource, kAutoLoadConfigDialogId, owner) {
  auto* box = new QGroupBox("Running Config", this);
  SetControlId(box, 1600);
  system_ = new QLabel(box);
  SetControlId(system_, 1285);
  map_ = new QLabel(box);
  SetControlId(map_, 1286);
  auto* systemLabel = new QLabel("System:", box);
  SetControlId(systemLabel, 1243);
  systemLabel->setBuddy(system_);
  system_->setAccessibleName("System");
  auto* mapLabel = new QLabel("UPS:", box);
  SetControlId(mapLabel, 1244);
  mapLabel->setBuddy(map_);
  map_->setAccessibleName("UPS");
  auto* bg = new QGridLayout(box);
  bg->addWidget(systemLabel, 0, 0);
  bg->addWidget(system_, 0, 1);
  bg->addWidget(mapLabel, 1, 0);
  bg->addWidget(map_, 1, 1);
  auto* reload = new QPushButton("Reload", this);
  SetControlId(reload, 1);
  reload->setAccessibleName("Reload");
  auto* cancel = new QPushButton("Cancel", this);
  SetControlId(cancel, 2);
  cancel->setAccessibleName("Cancel");
  auto* grid = new QGridLayout(this);
  grid->addWidget(box, 0, 0, 1, 2);
  grid->addWidget(reload, 1, 0);
  grid->addWidget(cancel, 1, 1);
  connect(reload, &QPushButton::clicked, this, [this] { Reload(); });
  connect(cancel, &QPushButton::clicked, this, [this] { OnCancel(); });
}

void AutoLoadConfigDialog::Init() {
  system_->setText("manager.ini");
  map_->setText(QString::fromStdString(env().link.session().currentMap));
  Reload();
}

void AutoLoadConfigDialog::Reload() {
  ServiceLink& link = env().link;
  if (!RequestChunk(kLinkCmdDownloadSettings, 0)) {
    link.requestState(4, 0);
    ShowMessage("MSG2");
    return;
  }
  link.requestState(4, 1);
  ShowMessage("MSG1");
  EnableControls({1, 2}, false);
}

void AutoLoadConfigDialog::MapLoaded() {
  ReloadConfiguration(env().ctx, env().link);
  done(1);
}

void RegisterConfigDownload(ConsoleDialogs& env) {
  env.ctx.dialogs.Register(kAutoLoadConfigResource, [&env](QWidget* owner, intptr_t) {
    AutoLoadConfigDialog d(env, owner);
    return d.Run();
  });
  for (uint8_t command : {kLinkCmdDownloadSettings, kLinkCmdDownloadFile})
    env.branches.Register(command, std::nullopt, [](DialogBase& d, const ReplyView& r) {
      if (auto* download = dynamic_cast<ConfigDownloadDialog*>(&d)) download->OnChunk(r);
    });
  env.ctx.points.reloadConsoleTables = [&env] { ReloadConsoleTables(env.ctx, env.link); };
}

}  // namespace lark
