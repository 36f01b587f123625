// The Access Management dialog (141, OpenDialogId 32): the accounts the
// service keeps, asked with 12/13 and paged in with 12/12, and Add (12/14),
// Modify Password (12/15) and Delete (12/16) of one account. The supervisor
// (level 1) is never listed, and an account the last answer lists at level 1
// is refused before anything is sent: typing its name would otherwise
// delete it or change it into an operator.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "console/dialogs/accounts/account_list.h"
#include "console/dialogs/dialog_base.h"
#include "console/dialogs/reply_timer.h"
#include "console/link/result_pages.h"
#include "linkserver/user_records.h"

class QComboBox;
class QLineEdit;

namespace lark {

class ReportListView;

inline constexpr int kAccessManagementResource = 141;
inline constexpr uint32_t kAccessManagementDialogId = 32;
inline constexpr const char* kAccountBoxCaption = "Account Mngt";

class AccessManagementDialog : public DialogBase {
 public:
  AccessManagementDialog(ConsoleDialogs& env, QWidget* owner);

  void Add() { Write(14); }              // 102
  void ModifyPassword() { Write(15); }   // 103
  void Delete();                         // 1109
  void ChooseRow(int row);               // a row of 1122 selected
  void OnReply(const ReplyView& reply);
  // The opening steps: the type list, the columns, and the list asked.
  void Init() override;

  const std::vector<AccountListRow>& accounts() const { return accounts_; }

 private:
  void Write(uint8_t sub);
  void AskList();
  void Fill();
  void SendOrFail(uint8_t sub, CBytes payload, uint32_t timeoutMs, const char* sentKey);
  void FailWrite(uint8_t sub);
  // Refusals of the typed texts: empty account, a supervisor, a tab or line break.
  bool Refused(const std::string& account, const std::vector<std::string>& texts);
  int Box(int n, unsigned flags);

  ReportListView* list_;
  QLineEdit* account_;
  QLineEdit* realName_;
  QLineEdit* password_;
  QComboBox* type_;
  QLineEdit* remark_;
  ResultPages pages_;
  std::vector<AccountListRow> accounts_;  // of the last whole answer
  AccountRecord sent_;                    // the record of the write out
};

void RegisterAccessManagementDialog(ConsoleDialogs& env);

}  // namespace lark
