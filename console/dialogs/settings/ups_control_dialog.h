// The UPS Control dialog (244, OpenDialogId 22): one of eleven commands to
// the map's selected UPS, to the UPSs of its layer or to all of them (26 with
// the UpsControlRecord), and the control-password protection switch (1610).
// Only Cancel closes it.
#pragma once
#include <optional>
#include <string>

#include "console/dialogs/dialog_base.h"
#include "console/dialogs/reply_timer.h"
#include "linkserver/link_records.h"

class QComboBox;
class QLineEdit;

namespace lark {

class ProtectionSwitch;

inline constexpr int kUpsControlResource = 244;
inline constexpr uint32_t kUpsControlDialogId = 22;
inline constexpr int kUpsCmdFirst = 1611, kUpsCmdLast = 1621;
inline constexpr int kSendSelected = 1046, kSendLayer = 1047, kSendAll = 1048;

// What a send puts in the record and the operation log, from the dialog's
// fields; a refusal names its [MessageBox] text and nothing is sent.
struct UpsControlFields {
  int command = kUpsCmdFirst;   // the checked radio button
  std::string testMinutes;      // 1622
  std::string buzzerSeconds;    // 1623
  std::string offMinutes;       // 1624
  std::string offRestartMinutes;  // 1625
  std::string restartMinutes;   // 1626
  int epoChoice = 0;            // 1274
};
struct UpsControlFill {
  int refusal = 0;   // [MessageBox] number, or 0
  std::string text;  // the command's operation-log text
};
// Sets the fields the command uses in `rec` (the others keep earlier sends').
UpsControlFill FillUpsControl(const UpsControlFields& f, UpsControlRecord& rec);

class UpsControlDialog : public DialogBase {
 public:
  UpsControlDialog(ConsoleDialogs& env, QWidget* owner);

  void Init() override;
  // Buttons 1046, 1047, 1048.
  void SendCommand(int button);
  void OnReply(const ReplyView& reply);
  void OnTimedOut() override;
  const UpsControlRecord& record() const { return record_; }

 protected:
  void OnCancel() override { done(1); }

 private:
  UpsControlFields Fields() const;

  UpsControlRecord record_;
  std::string commandText_;
  int lastButton_ = kSendSelected;
  QLineEdit* edits_[5] = {};
  QComboBox* epo_ = nullptr;
  ProtectionSwitch* protection_ = nullptr;
};

// Opener 244 and the replies to 26 and 24 of OpenDialogId 22.
void RegisterUpsControlDialog(ConsoleDialogs& env);

}  // namespace lark
