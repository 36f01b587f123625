// The Database dialog (245, OpenDialogId 31): the service's database use,
// its ODBC source, account and password (12/1, then 12/6 to apply them),
// Establish Tables (12/9) and Clear Historical Tables (12/10); and the
// Database Backup Plan (248, OpenDialogId 33) it opens, which sets months,
// delete flag and backup folder of the three kinds of records (12/1).
//
// Both send a DatabaseSettingsRecord built on the service's own record,
// asked with 12/0 as the Database dialog opens: the backup folders the
// service resolved stay its own, not the console's. The console's settings
// take the values that were sent once the service confirms them.
#pragma once
#include <cstdint>
#include <string>

#include "console/dialogs/dialog_base.h"
#include "console/dialogs/reply_timer.h"
#include "linkserver/user_records.h"

class QCheckBox;
class QLabel;
class QLineEdit;

namespace lark {

struct ConsoleSettings;

inline constexpr int kDatabaseResource = 245;
inline constexpr int kBackupPlanResource = 248;
inline constexpr uint32_t kDatabaseDialogId = 31;
inline constexpr uint32_t kBackupPlanDialogId = 33;
inline constexpr int kDatabaseSecondTimerId = 1025;

// The plans of `r` into the console's settings.
void TakeBackupPlans(ConsoleSettings& s, const DatabaseSettingsRecord& r);

// A backup plan row as typed: months 1..255, a folder of at most 254 bytes
// (room for the separator added), no tab or line break. The folder keeps a
// final "\" or "/" and any other non-empty one gets "\".
struct BackupRowInput {
  std::string months;
  bool deleteBackedUp = false;
  std::string folder;
};
enum class BackupRowProblem { kNone, kMonths, kFolderLength, kLineBreak };
BackupRowProblem CheckBackupRow(const BackupRowInput& in, BackupPlan* out);

class DatabaseDialog : public DialogBase {
 public:
  DatabaseDialog(ConsoleDialogs& env, QWidget* owner);
  ~DatabaseDialog() override;
  void Init() override;

  void OkAndConnect();     // 1
  void EstablishTables();  // 1016
  void ClearHistory();     // 1017
  void BackupPlan();       // 1018
  void SecondTick();       // timer 1025: the state line and the button rules
  void OnReply(const ReplyView& reply);

  const DatabaseSettingsRecord& copy() const { return copy_; }

 private:
  void Sent(bool sent, const char* sentKey, const char* failKey);
  void Applied();
  int Box(int n, unsigned flags);

  QCheckBox* enable_;
  QLineEdit* source_;
  QLineEdit* account_;
  QLineEdit* password_;
  QLabel* state_;
  DatabaseSettingsRecord copy_;  // the service's record, once it answered 12/0
  DatabaseSettingsRecord sent_;  // the record of the 12/1 out
};

class BackupPlanDialog : public DialogBase {
 public:
  // `copy`: the Database dialog's record, which a confirmed plan updates.
  BackupPlanDialog(ConsoleDialogs& env, DatabaseSettingsRecord& copy, QWidget* owner);
  void Init() override;
  void Ok();
  void OnReply(const ReplyView& reply);

 protected:
  void OnCancel() override;

 private:
  DatabaseSettingsRecord& copy_;
  DatabaseSettingsRecord sent_;
  QLineEdit* months_[kBackupPlanCount];
  QCheckBox* delete_[kBackupPlanCount];
  QLineEdit* folder_[kBackupPlanCount];
};

void RegisterDatabaseDialogs(ConsoleDialogs& env);

}  // namespace lark
