// SNMP Device Batch Configuration (254, OpenDialogId 20): copies a network
// card's configure.ini or snmp.ini to the install's Ftp folder over FTP,
// lets the operator edit and save it, and puts it onto another card. The
// system's FTP client does the transfers, one at a time, fed its script
// through a pipe (the password never touches the disk); timer 1025 watches
// it, and the outcome is decided when it ends (a get by the cards' "[End]"
// marker, a put by the server's transfer reply in the client's log) or
// after 25 s, when it is stopped. The client runs without our terminal, may
// write no file past the largest configuration, and is stopped when its log
// passes kMaxFtpLogBytes; a get that fails leaves no file behind. The FTP
// login (255) asks for the account before each transfer and remembers it
// while the console runs. The box 1610 is the control-password switch of
// UPS Control.
#pragma once
#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "console/dialogs/map_edit/batch_config_files.h"
#include "console/dialogs/dialog_base.h"
#include "platform/process.h"

class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;

namespace lark {

class ProtectionSwitch;

inline constexpr int kBatchConfigResource = 254;
inline constexpr int kFtpLoginResource = 255;
inline constexpr uint32_t kBatchConfigDialogId = 20;
inline constexpr int kBatchTimerId = 1025;
inline constexpr int kBatchTimerPeriodMs = 1000;
inline constexpr uint32_t kFtpTransferLimitMs = 25000;
// A transfer's whole log is a few dozen lines; past this the card's control
// channel is talking without end and the transfer is given up.
inline constexpr uint64_t kMaxFtpLogBytes = 256 * 1024;
inline constexpr int kSourceList = 1253, kDestList = 1262;
inline constexpr int kGetSystem = 1254, kGetSnmp = 1255, kPutSystem = 1258, kPutSnmp = 1260;
inline constexpr int kSaveSystem = 1257, kSaveSnmp = 1261;
inline constexpr int kSystemPath = 1263, kSnmpPath = 1264, kSystemText = 1265, kSnmpText = 1266;
inline constexpr int kFtpAccountEdit = 1266, kFtpPasswordEdit = 1267;

// The FTP login: account and password, at most 8 characters each, checked
// before they are kept.
class FtpLoginDialog : public DialogBase {
 public:
  FtpLoginDialog(ConsoleDialogs& env, QWidget* owner);
  void Accept();

 protected:
  void OnCancel() override;

 private:
  QLineEdit* account_ = nullptr;
  QLineEdit* password_ = nullptr;
};

class BatchConfigDialog : public DialogBase {
 public:
  BatchConfigDialog(ConsoleDialogs& env, QWidget* owner);
  ~BatchConfigDialog() override;

  void Init() override;
  // Buttons 1254, 1255 (from the source list), 1258, 1260 (to the destination).
  void Transfer(int button);
  // Buttons 1257, 1261.
  void Save(ConfigFile file);
  // Timer 1025: the running transfer's end or time-out.
  void Tick();
  void OnTimedOut() override;
  bool transferring() const { return active_.has_value(); }
  const ChildProcess& child() const { return child_; }

 protected:
  void OnCancel() override;

 private:
  struct Active {
    bool put;
    ConfigFile file;
    uint32_t startTick;
  };
  std::string FtpFolder() const;
  std::string LogPath() const;  // the client's output, ftp.log
  std::string LocalPath(ConfigFile file) const;
  void FillLists();
  // Shows a local copy that holds "[End]"; false when it does not.
  bool ShowDownload(ConfigFile file);
  void ClearDownload(ConfigFile file);
  void Finish(bool stopped);
  void EnableTransfers(bool on);

  QListWidget* lists_[2] = {};      // source, destination
  std::array<QLabel*, 2> paths_{};  // by ConfigFile
  std::array<QPlainTextEdit*, 2> texts_{};
  ProtectionSwitch* protection_ = nullptr;
  ChildProcess child_;
  std::optional<Active> active_;
};

// Openers 254 and 255 and the reply to 24 of OpenDialogId 20.
void RegisterBatchConfigDialog(ConsoleDialogs& env);

}  // namespace lark
