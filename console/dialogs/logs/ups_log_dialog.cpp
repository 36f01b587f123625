#include "console/dialogs/logs/ups_log_dialog.h"

#include <QLabel>
#include <QProgressBar>
#include <QVBoxLayout>
#include <cstdio>

#include "console/dialogs/console_dialogs.h"
#include "console/link/service_link.h"
#include "console/shell/console_context.h"
#include "console/shell/dialog_texts.h"
#include "core/device_node.h"
#include "linkserver/link_frame.h"
#include "platform/paths.h"

namespace lark {

namespace {
constexpr uint32_t kRequestTimeoutMs = 10000;
constexpr uint16_t kLogDownloadStarted = 83;
constexpr size_t kBinaryLogPosition = 1176;  // the console's copy of the read-out position
}  // namespace

UpsLogDialog::UpsLogDialog(ConsoleDialogs& env, DeviceNode& node, QWidget* owner)
    : DialogBase(env, kUpsLogResource, kUpsLogDialogId, owner),
      node_(node),
      download_(node.commType(), node.id()) {
  auto* layout = new QVBoxLayout(this);
  auto* bar = new QProgressBar(this);
  SetControlId(bar, kProgressControl);
  bar->setAccessibleName("Progress");
  bar->setRange(0, 100);
  bar->setValue(0);
  auto* text = new QLabel("Downloading, please wait.", this);
  SetControlId(text, 1013);
  text->setAccessibleName("Downloading, please wait.");
  layout->addWidget(text);
  layout->addWidget(bar);
  resize(360, 90);
  openFile = [&ctx = env.ctx](const std::string& path) { ctx.spawn({"xdg-open", path}, {}); };
}

std::string UpsLogDialog::filePath() const {
  return JoinPath(JoinPath(env().ctx.installDir(), "Monitor"),
                  UpsLogFileName(node_.title(), node_.id()));
}

void UpsLogDialog::Init() { SendStep(); }

void UpsLogDialog::SendStep() {
  if (!Send(kLinkCmdEventLog, download_.sub(), kRequestTimeoutMs, download_.request()))
    return Fail("MSG1");
  ShowMessage("MSG2");
}

void UpsLogDialog::Fail(const char* key) {
  ShowMessage(key);
  CloseAfter(kFailurePauseMs, 0);
}

void UpsLogDialog::OnReply(const ReplyView& reply) {
  if (!reply.success) return Fail("MSG1");
  const UpsLogDownload::Reaction r = download_.OnReply(reply.frame);
  if (r.started) {
    char text[64];
    std::snprintf(text, sizeof text, ", id%d", node_.id());
    PostLog(0, kLogDownloadStarted, node_.title() + text);
  }
  if (r.percent >= 0) SetProgress(r.percent);
  switch (r.kind) {
    case UpsLogDownload::Reaction::kAskAgain:
      return SendStep();
    case UpsLogDownload::Reaction::kFailed:
      return Fail("MSG1");
    case UpsLogDownload::Reaction::kEntries:
      return WriteLog(reply.frame.subspan(kUpsLogEntriesReplyOff));
  }
}

void UpsLogDialog::WriteLog(CBytes entries) {
  const bool binary = node_.commType() == 1;
  UpsLogHeading heading{node_.title(), "", node_.upsId(), env().ctx.clock().now()};
  if (LiveDataBlock* block = node_.block(binary ? BlockKind::kBinary : BlockKind::kAscii)) {
    std::vector<uint8_t> image(block->size());
    block->readBytes(0, image);
    heading.model = UpsLogModel(image, node_.commType());
    if (binary) block->putU16(kBinaryLogPosition, 0);
  }
  const UpsLogLayout layout = UpsLogLayoutOf(node_.commType(), download_.status().form);
  const std::string text =
      UpsLogFileText(heading, layout, entries, download_.status().total, node_.upsTypeCode() == 6);
  const std::string path = filePath();
  if (!MakeDirs(JoinPath(env().ctx.installDir(), "Monitor")) || !WriteFileAtomic(path, text))
    return Fail("MSG3");
  if (openFile) openFile(path);
  done(1);
}

void RegisterUpsLogDialog(ConsoleDialogs& env) {
  // The menu command has checked that the map's selected device keeps a log.
  env.ctx.dialogs.Register(kUpsLogResource, [&env](QWidget* owner, intptr_t) {
    DeviceNode* node = env.ctx.points.mapSelectedNode ? env.ctx.points.mapSelectedNode() : nullptr;
    if (node == nullptr) return 0;
    UpsLogDialog d(env, *node, owner);
    return d.Run();
  });
  env.branches.Register(kLinkCmdEventLog, kUpsLogDialogId, [](DialogBase& d, const ReplyView& r) {
    if (auto* u = dynamic_cast<UpsLogDialog*>(&d)) u->OnReply(r);
  });
}

}  // namespace lark
