#include "console/dialogs/map_edit/batch_config_dialog.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <cstdio>

#include "console/dialogs/console_dialogs.h"
#include "console/dialogs/dialog_text_table.h"
#include "console/dialogs/settings/protection_switch.h"
#include "console/link/device_endpoints.h"
#include "console/shell/console_context.h"
#include "console/shell/dialog_texts.h"
#include "core/device_tree.h"
#include "core/live_data.h"
#include "devices/snmp/snmp_live_data.h"
#include "linkserver/link_frame.h"
#include "platform/paths.h"

namespace lark {

namespace {

constexpr uint16_t kLogOpened = 72, kLogLoginGiven = 39, kLogLoginCancelled = 40;
constexpr int kTransferFailed = 50, kSaved = 51, kDownloaded = 52;
constexpr int kSaveFailed = 118;  // [MessageBox] M_118
constexpr size_t kFtpFieldMax = 8;

QString English(int resource, int id) { return QString::fromStdString(EnglishText(resource, id)); }

size_t Index(ConfigFile f) { return static_cast<size_t>(f); }

// The whole file when it is there and not above `limit` bytes.
std::optional<std::string> ReadBounded(const std::string& path, size_t limit) {
  const int fd = OpenRegularFile(path, O_RDONLY);
  if (fd < 0) return std::nullopt;
  std::string data(limit + 1, '\0');
  size_t got = 0;
  for (;;) {
    const ssize_t n = read(fd, data.data() + got, data.size() - got);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    got += static_cast<size_t>(n);
    if (got == data.size()) break;
  }
  close(fd);
  if (got > limit) return std::nullopt;
  data.resize(got);
  return data;
}

// Bytes in the file; 0 when it is not there.
uint64_t FileSize(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 ? static_cast<uint64_t>(st.st_size) : 0;
}

}  // namespace

// ---- the FTP login ----

FtpLoginDialog::FtpLoginDialog(ConsoleDialogs& env, QWidget* owner)
    : DialogBase(env, kFtpLoginResource, std::nullopt, owner) {
  auto* grid = new QGridLayout(this);
  auto* group = new QLabel("SNMP Device Administrator", this);
  SetControlId(group, 1244);
  grid->addWidget(group, 0, 0, 1, 2);
  auto field = [&](int labelId, int editId, const std::string& value, const char* name, int row) {
    auto* e = new QLineEdit(QString::fromStdString(value), this);
    SetControlId(e, editId);
    e->setMaxLength(static_cast<int>(kFtpFieldMax));
    e->setAccessibleName(name);
    auto* l = new QLabel(English(kFtpLoginResource, labelId), this);
    SetControlId(l, labelId);
    l->setBuddy(e);
    grid->addWidget(l, row, 0);
    grid->addWidget(e, row, 1);
    return e;
  };
  account_ = field(1600, kFtpAccountEdit, env.ctx.commands.ftpAccount, "Account", 1);
  password_ = field(1243, kFtpPasswordEdit, env.ctx.commands.ftpPassword, "Password", 2);
  password_->setEchoMode(QLineEdit::Password);
  int column = 0;
  for (int id : {1, 2}) {
    auto* b = new QPushButton(English(kFtpLoginResource, id), this);
    SetControlId(b, id);
    b->setAccessibleName(id == 1 ? "OK" : "Cancel");
    b->setDefault(id == 1);
    connect(b, &QPushButton::clicked, this, [this, id] { id == 1 ? Accept() : OnCancel(); });
    grid->addWidget(b, 3, column++);
  }
}

void FtpLoginDialog::Accept() {
  const std::string account = account_->text().toStdString();
  const std::string password = password_->text().toStdString();
  if (int refusal = CheckFtpLogin(account, password)) {
    env().ctx.ShowLangMessageBox(this, refusal, kMainTitle, MB_ICONERROR);
    return;
  }
  env().ctx.commands.ftpAccount = account;
  env().ctx.commands.ftpPassword = password;
  PostLog(1, kLogLoginGiven, "");
  done(1);
}

void FtpLoginDialog::OnCancel() {
  PostLog(0, kLogLoginCancelled, "");
  done(0);
}

// ---- the batch configuration ----

BatchConfigDialog::BatchConfigDialog(ConsoleDialogs& env, QWidget* owner)
    : DialogBase(env, kBatchConfigResource, kBatchConfigDialogId, owner) {
  auto text = [](int id) { return English(kBatchConfigResource, id); };
  auto* grid = new QGridLayout(this);
  auto button = [&](int id, auto&& act) {
    auto* b = new QPushButton(text(id), this);
    SetControlId(b, id);
    b->setAccessibleName(text(id).remove('&'));
    connect(b, &QPushButton::clicked, this, act);
    return b;
  };
  // A list under its label, the label its buddy.
  auto list = [&](int labelId, int listId, int column) {
    auto* l = new QListWidget(this);
    SetControlId(l, listId);
    l->setAccessibleName(text(labelId).remove(':'));
    auto* label = new QLabel(text(labelId), this);
    SetControlId(label, labelId);
    label->setBuddy(l);
    grid->addWidget(label, 0, column);
    grid->addWidget(l, 1, column);
    return l;
  };
  lists_[0] = list(1600, kSourceList, 0);
  lists_[1] = list(1243, kDestList, 1);
  grid->addWidget(button(kGetSystem, [this] { Transfer(kGetSystem); }), 2, 0);
  grid->addWidget(button(kPutSystem, [this] { Transfer(kPutSystem); }), 2, 1);
  grid->addWidget(button(kGetSnmp, [this] { Transfer(kGetSnmp); }), 3, 0);
  grid->addWidget(button(kPutSnmp, [this] { Transfer(kPutSnmp); }), 3, 1);
  // Per file: the local copy's path, its text (the path label its buddy), Save.
  const int pathIds[] = {kSystemPath, kSnmpPath}, textIds[] = {kSystemText, kSnmpText},
            saveIds[] = {kSaveSystem, kSaveSnmp};
  const char* names[] = {"System configuration file", "SNMP configuration file"};
  for (ConfigFile f : {ConfigFile::kSystem, ConfigFile::kSnmp}) {
    const size_t i = Index(f);
    auto* edit = new QPlainTextEdit(this);
    SetControlId(edit, textIds[i]);
    edit->setAccessibleName(names[i]);
    edit->setLineWrapMode(QPlainTextEdit::NoWrap);
    auto* path = new QLabel(this);
    SetControlId(path, pathIds[i]);
    path->setBuddy(edit);
    paths_[i] = path;
    texts_[i] = edit;
    grid->addWidget(path, 4, static_cast<int>(i));
    grid->addWidget(edit, 5, static_cast<int>(i));
    auto* save = button(saveIds[i], [this, f] { Save(f); });
    save->setAccessibleName(QString("Save ") + names[i]);
    grid->addWidget(save, 6, static_cast<int>(i));
  }
  protection_ = new ProtectionSwitch(*this);
  grid->addWidget(protection_, 7, 0);
  auto* note = new QLabel(text(1244), this);
  SetControlId(note, 1244);
  note->setWordWrap(true);
  grid->addWidget(note, 8, 0, 1, 2);
  auto* close = button(2, [this] { OnCancel(); });
  close->setText("Close");
  close->setAccessibleName("Close");
  grid->addWidget(close, 9, 1);
}

BatchConfigDialog::~BatchConfigDialog() { env().ctx.timers.Kill(this, kBatchTimerId); }

std::string BatchConfigDialog::FtpFolder() const { return env().ctx.installDir() + "/Ftp"; }

std::string BatchConfigDialog::LogPath() const { return FtpFolder() + "/ftp.log"; }

std::string BatchConfigDialog::LocalPath(ConfigFile file) const {
  return FtpFolder() + "/" + ConfigFileName(file);
}

void BatchConfigDialog::Init() {
  protection_->Revert();
  PostLog(0, kLogOpened, "");
  FillLists();
  // Copies from an earlier download are shown as they stand, without a message.
  for (ConfigFile f : {ConfigFile::kSystem, ConfigFile::kSnmp}) ShowDownload(f);
  env().ctx.timers.Set(this, kBatchTimerId, kBatchTimerPeriodMs, [this] { Tick(); });
}

void BatchConfigDialog::FillLists() {
  if (!env().endpoints) return;
  for (const ConsoleEndpoints::Entry& e : env().endpoints->entries()) {
    DeviceNode* node = Tree_FindNodeById(env().ctx.tree, e.id);
    const LiveDataBlock* block =
        node && node->nodeKind() == kNodeSnmp ? node->block(BlockKind::kSnmp) : nullptr;
    uint8_t firmware[snmp_off::kFirmwareSize] = {};
    if (!block || !block->readBytes(snmp_off::kFirmware, Bytes(firmware, sizeof firmware)) ||
        !FirmwareOffersFtp(CBytes(firmware, sizeof firmware)))
      continue;
    char entry[128];
    std::snprintf(entry, sizeof entry, "%s(%d)", node->title().c_str(), node->id());
    for (QListWidget* l : lists_) {
      // The node's id rides with its entry: titles may hold "(" themselves.
      auto* item = new QListWidgetItem(QString::fromStdString(entry), l);
      item->setData(Qt::UserRole, node->id());
    }
  }
  for (QListWidget* l : lists_)
    if (l->count() > 0) l->setCurrentRow(0);
}

bool BatchConfigDialog::ShowDownload(ConfigFile file) {
  const std::string path = LocalPath(file);
  const std::optional<std::string> text = ReadBounded(path, kMaxConfigFileBytes);
  if (!text || !DownloadComplete(*text)) return false;
  paths_[Index(file)]->setText(QString::fromStdString(path));
  texts_[Index(file)]->setPlainText(QString::fromStdString(EditTextOf(*text)));
  return true;
}

void BatchConfigDialog::ClearDownload(ConfigFile file) {
  paths_[Index(file)]->clear();
  texts_[Index(file)]->clear();
}

void BatchConfigDialog::EnableTransfers(bool on) {
  EnableControls({kSourceList, kDestList, kGetSystem, kPutSystem, kGetSnmp, kPutSnmp}, on);
}

void BatchConfigDialog::Transfer(int button) {
  if (active_) return;
  const bool put = button == kPutSystem || button == kPutSnmp;
  const ConfigFile file =
      button == kGetSystem || button == kPutSystem ? ConfigFile::kSystem : ConfigFile::kSnmp;
  const QListWidgetItem* item = lists_[put ? 1 : 0]->currentItem();
  DeviceNode* node =
      item ? Tree_FindNodeById(env().ctx.tree, item->data(Qt::UserRole).toInt()) : nullptr;
  if (!node) return;
  if (env().ctx.dialogs.Open(kFtpLoginResource, this) != 1) return;
  const FtpTransfer t{put,
                      file,
                      node->ip(),
                      env().ctx.commands.ftpAccount,
                      env().ctx.commands.ftpPassword,
                      env().ctx.installDir()};
  if (int refusal = CheckFtpTransfer(t)) {
    env().ctx.ShowLangMessageBox(this, refusal, kMainTitle, MB_ICONERROR);
    return;
  }
  MakeDirs(FtpFolder());
  if (!put) {
    ClearDownload(file);
    std::remove(LocalPath(file).c_str());
  }
  // The client takes its commands from the pipe and reads no .netrc (-n);
  // its replies (-v) go to the log, in the C locale's wording. No file it
  // writes may pass the largest configuration: one byte more ends it.
  ChildProcess::Options run{{"ftp", "-n", "-v"}, {"LC_ALL=C"}, FtpScript(t), LogPath()};
  run.maxFileBytes = kMaxConfigFileBytes + 1;
  if (!child_.start(run)) {
    env().ctx.ShowLangMessageBox(this, kTransferFailed, kMainTitle, MB_ICONERROR);
    return;
  }
  active_ = Active{put, file, env().ctx.clock().tickMs()};
  EnableTransfers(false);
}

void BatchConfigDialog::Tick() {
  if (!active_) return;
  if (!child_.running()) {
    Finish(false);
  } else if (TickElapsed(env().ctx.clock().tickMs(), active_->startTick) > kFtpTransferLimitMs ||
             FileSize(LogPath()) > kMaxFtpLogBytes) {
    // Too slow, or a control channel that talks without end.
    child_.terminate();
    Finish(true);
  }
}

void BatchConfigDialog::Finish(bool stopped) {
  const Active a = *active_;
  active_.reset();
  EnableTransfers(true);
  if (FileSize(LogPath()) > kMaxFtpLogBytes) {
    if (const int fd = OpenRegularFile(LogPath(), O_WRONLY); fd >= 0) {
      (void)!ftruncate(fd, kMaxFtpLogBytes);
      ::close(fd);
    }
  }
  bool ok;
  if (a.put) {
    ok = !stopped && PutConfirmed(ReadBounded(LogPath(), kMaxFtpLogBytes).value_or(""));
  } else {
    ok = !stopped && ShowDownload(a.file);
    // A refused, cut or half-done download is not left as if it were a card's file.
    if (!ok) std::remove(LocalPath(a.file).c_str());
  }
  if (!ok)
    env().ctx.ShowLangMessageBox(this, kTransferFailed, kMainTitle, MB_ICONERROR);
  else if (!a.put)
    env().ctx.ShowLangMessageBox(this, kDownloaded, kMainTitle, MB_ICONINFORMATION);
}

void BatchConfigDialog::Save(ConfigFile file) {
  const std::string text = FileTextOf(texts_[Index(file)]->toPlainText().toStdString());
  MakeDirs(FtpFolder());
  const bool saved = WriteFileAtomic(LocalPath(file), text);
  env().ctx.ShowLangMessageBox(this, saved ? kSaved : kSaveFailed, kMainTitle,
                               saved ? MB_ICONINFORMATION : MB_ICONERROR);
}

void BatchConfigDialog::OnTimedOut() {
  if (request().command == kLinkCmdControlPassword) protection_->Revert();
}

void BatchConfigDialog::OnCancel() {
  env().ctx.timers.Kill(this, kBatchTimerId);
  child_.terminate();
  if (active_ && !active_->put) std::remove(LocalPath(active_->file).c_str());
  active_.reset();
  done(1);
}

void RegisterBatchConfigDialog(ConsoleDialogs& env) {
  env.ctx.dialogs.Register(kBatchConfigResource, [&env](QWidget* owner, intptr_t) {
    BatchConfigDialog d(env, owner);
    return d.Run();
  });
  env.ctx.dialogs.Register(kFtpLoginResource, [&env](QWidget* owner, intptr_t) {
    FtpLoginDialog d(env, owner);
    return d.Run();
  });
  RegisterProtectionSwitch(env, kBatchConfigDialogId);
}

}  // namespace lark
