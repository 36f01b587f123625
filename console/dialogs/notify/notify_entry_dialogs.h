// The small dialogs of the notification sheet: the one-field edit of a list
// row (179 e-mail, 227 host, 115 phone) and the SMTP account (229), which
// saves itself with 20/1 and waits for the service's answer on timer 1032.
#pragma once
#include <functional>
#include <string>

#include "console/dialogs/dialog_base.h"
#include "core/settings.h"

class QLineEdit;

namespace lark {

inline constexpr int kEditEmailResource = 179;
inline constexpr int kEditHostResource = 227;
inline constexpr int kEditPhoneResource = 115;
inline constexpr int kSmtpResource = 229;

// Edit 15 (at most 63 characters) under label 1600, OK and Cancel. OK takes
// the text only when `refusal` gives 0; otherwise its [MessageBox] text is
// shown and the dialog stays open.
class ListEntryDialog : public DialogBase {
 public:
  using Refusal = std::function<int(const std::string&)>;
  ListEntryDialog(ConsoleDialogs& env, int resource, const std::string& text, Refusal refusal,
                  std::string caption, QWidget* owner);
  void Accept();
  const std::string& text() const { return text_; }
  QLineEdit* edit() const { return edit_; }

 private:
  QLineEdit* edit_;
  Refusal refusal_;
  std::string caption_;  // of the refusal's message box
  std::string text_;
};

// Edits 1025 server, 1026 sender, 1174 password. OK sends the account with
// the e-mail list of `working` (20/1); when the service has stored it,
// `working` takes it and `saved` runs, then the dialog closes after 1 s.
class SmtpDialog : public DialogBase {
 public:
  SmtpDialog(ConsoleDialogs& env, ServiceSettings& working, std::function<void()> saved,
             QWidget* owner);
  void Init() override;
  void Accept();
  void OnOwnTimer() override;

 private:
  ServiceSettings& working_;
  std::function<void()> saved_;
  QLineEdit* server_;
  QLineEdit* sender_;
  QLineEdit* password_;
  std::string sentServer_, sentSender_, sentPassword_;
};

}  // namespace lark
