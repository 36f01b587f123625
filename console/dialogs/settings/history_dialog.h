// Historical Data Management (241, OpenDialogId 13): how often the service
// records history, how many months it keeps and where (22/1 with the
// history fields of a zeroed settings image). A confirmed change goes into
// the console's copy as it was sent, folder included.
#pragma once
#include <QLineEdit>

#include "console/dialogs/dialog_base.h"
#include "console/dialogs/reply_timer.h"
#include "linkserver/link_records.h"

namespace lark {

inline constexpr int kHistoryResource = 241;
inline constexpr uint32_t kHistoryDialogId = 13;

// The typed values, or the [MessageBox] number of the first refusal: a
// period below 1 s, anything not a whole number, or beyond 31 bits.
struct HistoryFields {
  int refusal = 0;
  HistoryImage image;
};
HistoryFields CheckHistory(const std::string& period, const std::string& storage, const std::string& directory);

class HistoryDialog : public DialogBase {
 public:
  HistoryDialog(ConsoleDialogs& env, QWidget* owner);

  void Init() override;
  void Ok();
  void OnReply(const ReplyView& reply);

 protected:
  void OnCancel() override;

 private:
  QLineEdit* period_;
  QLineEdit* storage_;
  QLineEdit* directory_;
  HistoryImage sent_;
};

void RegisterHistoryDialog(ConsoleDialogs& env);

}  // namespace lark
