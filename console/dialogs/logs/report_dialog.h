// The Generate Report dialog (235, OpenDialogId 19): two calendars, and
// Generate asks the service (22/2) to write the period's report into its
// Report folder. A start after the end is refused before anything is sent.
#pragma once
#include "console/dialogs/dialog_base.h"
#include "console/dialogs/reply_timer.h"
#include "console/dialogs/logs/report_request.h"

class QCalendarWidget;

namespace lark {

inline constexpr int kReportResource = 235;
inline constexpr uint32_t kReportDialogId = 19;

class ReportDialog : public DialogBase {
 public:
  ReportDialog(ConsoleDialogs& env, QWidget* owner);

  // The opening steps: the dates from the clock, operation record 53.
  void Init() override;
  void Generate();  // 1015
  void Exit();      // 1011: operation record 55, result 0
  // The command 22 branch of every dialog but Historical Data Management.
  void OnReply(const ReplyView& reply);
  ReportPeriod period() const;

 protected:
  void OnCancel() override { Exit(); }

 private:
  QCalendarWidget* start_;
  QCalendarWidget* end_;
};

// Opener 235 and the command 22 branch for ids other than 13.
void RegisterReportDialog(ConsoleDialogs& env);

}  // namespace lark
