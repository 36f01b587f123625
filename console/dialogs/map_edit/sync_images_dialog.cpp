#include "console/dialogs/map_edit/sync_images_dialog.h"

#include <QProgressBar>
#include <QVBoxLayout>
#include <array>
#include <cstdio>

#include "console/dialogs/console_dialogs.h"
#include "console/dialogs/dialog_text_table.h"
#include "console/dialogs/map_edit/image_list.h"
#include "console/link/service_link.h"
#include "console/shell/console_context.h"
#include "console/shell/dialog_texts.h"
#include "core/language_texts.h"
#include "linkserver/link_transfer.h"
#include "platform/paths.h"

namespace lark {

namespace {
constexpr uint32_t kRequestTimeoutMs = 10000;
constexpr uint8_t kSubList = 0, kSubPiece = 1;
constexpr size_t kPieceDataOffset = 7;  // after the echoed sub-command
constexpr const char* kSection = "Dialog-SyncImages";
}  // namespace

SyncImagesDialog::SyncImagesDialog(ConsoleDialogs& env, QWidget* owner)
    : DialogBase(env, kSyncImagesResource, kSyncImagesDialogId, owner) {
  auto* layout = new QVBoxLayout(this);
  auto* bar = new QProgressBar(this);
  SetControlId(bar, kProgressControl);
  bar->setRange(0, 100);
  bar->setValue(0);
  bar->setAccessibleName("Progress");
  layout->addWidget(bar);
}

SyncImagesDialog::~SyncImagesDialog() { DropPart(); }

std::string SyncImagesDialog::imagesDir() const {
  const std::string& install = env().ctx.installDir();
  return FindNoCase(install, "Images").value_or(JoinPath(install, "Images"));
}

void SyncImagesDialog::Init() {
  // The service's Images folder is this one's.
  if (env().link.sharedMemoryMode()) return EndNow(1);
  if (!Send(kLinkCmdSyncImages, kSubList, kRequestTimeoutMs, {})) EndNow(0);
}

bool SyncImagesDialog::RequestPiece(uint32_t offset) {
  const std::string& name = missing_[current_];
  std::array<uint8_t, kFileChunkHeaderSize> header{};
  PutChunkHeader(header, 0, FileChunkHeader{offset, kDownloadChunkSize, name});
  if (!Send(kLinkCmdSyncImages, kSubPiece, kRequestTimeoutMs, header)) return false;
  offset_ = offset;
  partOpen_ = true;
  const std::string text = env().ctx.languageProfile().getString(kSection, "MSG1", "", 1024);
  const std::string caption = FormatLanguageText(CutUtf8(text, kDialogMessageMax), name);
  setWindowTitle(QString::fromStdString(std::string(CutUtf8(caption, kDialogCaptionMax))));
  return true;
}

void SyncImagesDialog::OnList(const ReplyView& reply) {
  const CBytes list =
      reply.frame.size() > kPieceDataOffset ? reply.frame.subspan(kPieceDataOffset) : CBytes{};
  missing_ = MissingImages(ParseImageList(list), imagesDir());
  current_ = 0;
  if (missing_.empty()) {
    done(0);
    return;
  }
  if (!RequestPiece(0)) Fail();
}

void SyncImagesDialog::OnPiece(const ReplyView& reply) {
  if (!reply.success || current_ >= missing_.size()) return Fail();
  const CBytes piece =
      reply.frame.size() > kPieceDataOffset ? reply.frame.subspan(kPieceDataOffset) : CBytes{};
  // A piece that cannot be written ends the sync as a failure, not silently
  // with the dialog left open.
  switch (WriteDownloadChunk(imagesDir(), missing_[current_], offset_, piece, nullptr,
                             kPictureMaxBytes)) {
    case DownloadStep::kFailed:
      return Fail();
    case DownloadStep::kMore:
      if (!RequestPiece(offset_ + kDownloadChunkSize)) Fail();
      return;
    case DownloadStep::kComplete:
      break;
  }
  partOpen_ = false;
  ++current_;
  SetProgress(static_cast<int>(current_ * 100 / missing_.size()));
  if (current_ < missing_.size()) {
    if (!RequestPiece(0)) Fail();
    return;
  }
  ShowMessage("MSG3");
  CloseAfter(kFailurePauseMs, 1);
}

void SyncImagesDialog::Fail() {
  DropPart();
  ShowMessage("MSG2");
  CloseAfter(kFailurePauseMs, 0);
}

void SyncImagesDialog::OnTimedOut() { DropPart(); }

void SyncImagesDialog::DropPart() {
  if (!partOpen_ || current_ >= missing_.size()) return;
  partOpen_ = false;
  // Only a plain name was ever asked: the piece file is inside Images.
  if (SafeWireName(missing_[current_], 1))
    std::remove(DownloadPartPath(imagesDir(), missing_[current_]).c_str());
}

void RegisterSyncImagesDialog(ConsoleDialogs& env) {
  env.ctx.dialogs.Register(kSyncImagesResource, [&env](QWidget* owner, intptr_t) {
    SyncImagesDialog d(env, owner);
    return d.Run();
  });
  env.branches.Register(kLinkCmdSyncImages, kSyncImagesDialogId,
                        [](DialogBase& d, const ReplyView& r) {
                          auto* sync = dynamic_cast<SyncImagesDialog*>(&d);
                          if (!sync) return;
                          if (d.request().sub == kSubList)
                            sync->OnList(r);
                          else
                            sync->OnPiece(r);
                        });
}

}  // namespace lark
