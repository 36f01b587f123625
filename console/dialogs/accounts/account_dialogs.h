// The dialogs of passwords and logins: Password Setup (237, OpenDialogId 21)
// changes the service's control password with 24/2; Password Change (247,
// 28) changes the logged-in account's password with 12/11; Login (246 with
// the account, 238 the control-password gate; 29) logs in with 12/7 or,
// without accounts, compares with the control password; Logout (160, 30)
// sends 12/8 as it opens.
//
// A login or logout that the service confirms changes the user status
// through the link before the session restarts, so the configuration
// download that follows runs with the new level.
#pragma once
#include <cstdint>
#include <string>

#include "console/dialogs/dialog_base.h"
#include "console/dialogs/reply_timer.h"

class QLineEdit;

namespace lark {

inline constexpr int kPasswordSetupResource = 237;
inline constexpr int kPasswordChangeResource = 247;
inline constexpr int kLoginResource = 246;
inline constexpr int kControlGateResource = 238;
inline constexpr int kLogoutResource = 160;
inline constexpr uint32_t kPasswordSetupDialogId = 21;
inline constexpr uint32_t kPasswordChangeDialogId = 28;
inline constexpr uint32_t kLoginDialogId = 29;
inline constexpr uint32_t kLogoutDialogId = 30;

inline constexpr size_t kTypedPasswordMax = 16;  // bytes of every password typed here
inline constexpr size_t kAccountNameMax = 31;   // bytes of an account name

// The stored form of an account password: encoded with its terminating zero,
// as the service stores the supervisor's.
std::string EncodeAccountPassword(const std::string& plain);
// The text of an edit, cut to `max` bytes between characters.
std::string EditText(const QLineEdit* edit, size_t max);

class PasswordSetupDialog : public DialogBase {
 public:
  PasswordSetupDialog(ConsoleDialogs& env, QWidget* owner);
  void Ok();
  void OnReply(const ReplyView& reply);

 protected:
  void Init() override;
  void OnCancel() override;

 private:
  QLineEdit* old_;
  QLineEdit* new_;
  QLineEdit* again_;
  std::string sent_;  // the password of the request out
};

class PasswordChangeDialog : public DialogBase {
 public:
  PasswordChangeDialog(ConsoleDialogs& env, QWidget* owner);
  void Ok();
  void OnReply(const ReplyView& reply);

 protected:
  void Init() override;
  void OnCancel() override;

 private:
  QLineEdit* new_;
  QLineEdit* again_;
};

class LoginDialog : public DialogBase {
 public:
  // `resource`: 246 (account and password) or 238 (the control password).
  LoginDialog(ConsoleDialogs& env, int resource, QWidget* owner);
  void Ok();
  void OnReply(const ReplyView& reply);

 protected:
  void Init() override;

 private:
  QLineEdit* account_ = nullptr;  // 246 only
  QLineEdit* password_;
};

class LogoutDialog : public DialogBase {
 public:
  LogoutDialog(ConsoleDialogs& env, QWidget* owner);
  void OnReply(const ReplyView& reply);
  // The opening steps: 12/8 goes out (Run calls them).
  void Init() override;
};

// Openers 237, 247, 246, 238, 160 and the reply branches of ids 21, 28-30.
void RegisterAccountDialogs(ConsoleDialogs& env);

}  // namespace lark
