#include "console/dialogs/map_edit/background_dialog.h"

#include <QGridLayout>
#include <QLineEdit>
#include <QPushButton>
#include <algorithm>
#include <limits>

#include "console/dialogs/console_dialogs.h"
#include "console/dialogs/dialog_controls.h"
#include "console/dialogs/dialog_text_table.h"
#include "console/link/request_payloads.h"
#include "console/link/service_link.h"
#include "console/map/map_view.h"
#include "console/shell/console_context.h"
#include "linkserver/link_transfer.h"
#include "platform/paths.h"

namespace lark {

namespace {
constexpr uint32_t kRequestTimeoutMs = 5000;
constexpr uint16_t kLogOpened = 6, kLogChanged = 7, kLogCancelled = 8;
constexpr int kBrowseButton = 1004;
}  // namespace

std::string PictureText(std::string_view typed) {
  typed = typed.substr(0, typed.find('\0'));
  const size_t first = typed.find_first_not_of(" \t\r\n");
  return first == std::string_view::npos ? std::string() : std::string(typed.substr(first));
}

std::string UploadName(std::string_view path) {
  const size_t cut = path.find_last_of("/\\");
  return std::string(cut == std::string_view::npos ? path : path.substr(cut + 1));
}

BackgroundDialog::BackgroundDialog(ConsoleDialogs& env, QWidget* owner)
    : DialogBase(env, kBackgroundResource, kBackgroundDialogId, owner) {
  auto* grid = new QGridLayout(this);
  path_ = AddLabelledEdit(grid, 0, kBackgroundResource, 1600, 1002, 0, false);
  auto* browse = MakeButton(this, kBrowseButton, EnglishText(kBackgroundResource, kBrowseButton));
  auto* ok = MakeButton(this, 1, EnglishText(kBackgroundResource, 1));
  auto* cancel = MakeButton(this, 2, EnglishText(kBackgroundResource, 2));
  ok->setDefault(true);
  grid->addWidget(browse, 0, 2);
  grid->addWidget(ok, 1, 1);
  grid->addWidget(cancel, 1, 2);
  connect(browse, &QPushButton::clicked, this, [this] { Browse(); });
  connect(ok, &QPushButton::clicked, this, [this] { Ok(); });
  connect(cancel, &QPushButton::clicked, this, [this] { OnCancel(); });
}

void BackgroundDialog::Init() {
  ConsoleContext& ctx = env().ctx;
  DeviceNode* group = ctx.points.mapCurrentGroup ? ctx.points.mapCurrentGroup() : nullptr;
  if (!group) group = &ctx.tree.root();
  groupId_ = group->id();
  path_->setText(QString::fromStdString(group->picture()));
  PostLog(0, kLogOpened, "");
}

void BackgroundDialog::Browse() {
  ConsoleContext& ctx = env().ctx;
  const std::string images =
      FindNoCase(ctx.installDir(), "Images").value_or(JoinPath(ctx.installDir(), "Images"));
  const std::string chosen = ctx.openFileDialog(this, kPictureFilter, images);
  if (!chosen.empty()) path_->setText(QString::fromStdString(chosen));
}

void BackgroundDialog::Ok() {
  const std::string text = PictureText(path_->text().toStdString());
  // The service keeps no more; a longer path would reach it cut.
  if (text.size() > kPictureTextMax) {
    env().ctx.ShowLangMessageBox(this, kPictureTooLongBox, kMainTitle, MB_ICONERROR);
    return;
  }
  std::vector<uint8_t> rest(kNodeImageBytes + text.size() + 1, 0);
  std::copy(text.begin(), text.end(), rest.begin() + kNodeImageBytes);
  if (!Send(kLinkCmdSetGroupPicture, 0, kRequestTimeoutMs,
            IdPayload(static_cast<uint16_t>(groupId_), rest))) {
    ShowMessage("MSG1");
    return;
  }
  sent_ = text;
  EnableControls({1, 2, kBrowseButton}, false);
}

void BackgroundDialog::OnPictureSet(const ReplyView& reply) {
  if (!reply.success) {
    Stop("MSG1");
    if (const std::optional<std::string> notice = LockNotice(reply.frame))
      setWindowTitle(QString::fromStdString(*notice));
    return;
  }
  ConsoleContext& ctx = env().ctx;
  if (DeviceNode* group = Tree_FindNodeById(ctx.tree, groupId_)) group->setPicture(sent_);
  path_->setText(QString::fromStdString(sent_));
  ctx.mapDirty = true;
  PostLog(1, kLogChanged, sent_);
  // On the service's own computer the two share the Images folder; no
  // picture, nothing to send.
  if (env().link.sharedMemoryMode() || sent_.empty()) {
    done(1);
    return;
  }
  const std::optional<std::string> file = FindPictureFile(sent_, ctx.installDir());
  file_ = file.value_or("");
  if (!file || !SendPiece(false)) return Stop("MSG2");
  ShowMessage("MSG3");
}

bool BackgroundDialog::SendPiece(bool next) {
  const std::string name = UploadName(sent_);
  if (name.size() > kWireNameMax) return false;
  piece_.assign(kFileChunkHeaderSize + kUploadChunkMax, 0);
  const uint64_t offset = next ? reader_.offset() : 0;
  uint32_t length = kUploadChunkMax;
  if (offset > std::numeric_limits<uint32_t>::max() ||
      !reader_.ReadUploadChunk(file_, next, length,
                               Bytes(piece_.data() + kFileChunkHeaderSize, kUploadChunkMax))) {
    return false;
  }
  piece_.resize(kFileChunkHeaderSize + length);
  PutChunkHeader(piece_, 0, FileChunkHeader{static_cast<uint32_t>(offset), length, name});
  if (!Send(kLinkCmdUploadFile, 0, kRequestTimeoutMs, piece_)) return false;
  pieceLength_ = length;
  return true;
}

void BackgroundDialog::OnPieceStored(const ReplyView& reply) {
  if (!reply.success) return Stop("MSG1");
  // A shorter piece was the last; a file of whole pieces ends with an empty one.
  if (pieceLength_ < kUploadChunkMax) {
    ShowMessage("MSG4");
    CloseAfter(kFailurePauseMs, 1);
    return;
  }
  if (!SendPiece(true)) Stop("MSG2");
}

void BackgroundDialog::Stop(const char* key) {
  ShowMessage(key);
  EnableControls({1, 2, kBrowseButton}, true);
}

void BackgroundDialog::OnCancel() {
  PostLog(0, kLogCancelled, "");
  done(0);
}

void RegisterBackgroundDialog(ConsoleDialogs& env) {
  env.ctx.dialogs.Register(kBackgroundResource, [&env](QWidget* owner, intptr_t) {
    BackgroundDialog d(env, owner);
    return d.Run();
  });
  env.branches.Register(kLinkCmdSetGroupPicture, kBackgroundDialogId,
                        [](DialogBase& d, const ReplyView& r) {
                          if (auto* b = dynamic_cast<BackgroundDialog*>(&d)) b->OnPictureSet(r);
                        });
  env.branches.Register(kLinkCmdUploadFile, kBackgroundDialogId,
                        [](DialogBase& d, const ReplyView& r) {
                          if (auto* b = dynamic_cast<BackgroundDialog*>(&d)) b->OnPieceStored(r);
                        });
}

}  // namespace lark
