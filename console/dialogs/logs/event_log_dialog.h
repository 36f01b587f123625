// The Event Log dialog (240, OpenDialogId 27): a source (the operation
// record with the database, "All", or one device), a range of days, the rows
// in list 1129, and Save As. With the database the rows are the answer of
// 11/2 or 11/4, paged in with 12/12; without it the service's Event.log is
// downloaded with 11/5 and read here.
#pragma once
#include <QDateEdit>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "console/dialogs/dialog_base.h"
#include "console/dialogs/logs/event_log_download.h"
#include "console/dialogs/logs/event_log_rows.h"
#include "console/dialogs/reply_timer.h"
#include "console/link/result_pages.h"

class QComboBox;

namespace lark {

class ReportListView;

inline constexpr int kEventLogResource = 240;
inline constexpr uint32_t kEventLogDialogId = 27;

class EventLogDialog : public DialogBase {
 public:
  // `preselect`: the node ID of the device to show first, or -1 for "All".
  EventLogDialog(ConsoleDialogs& env, int32_t preselect, QWidget* owner);

  // Save As's file name; empty: cancelled. Tests replace it.
  std::function<std::string()> chooseExportFile;

  void Query();   // 1127
  void SaveAs();  // 1015
  const std::vector<EventLogRow>& rows() const { return rows_; }
  const EventLogChoice& choice() const { return choice_; }

  // The reply branches of OpenDialogId 27.
  void OnEventLogReply(const ReplyView& reply);  // command 11
  void OnPageReply(const ReplyView& reply);      // command 12

  // The opening steps (Run calls them before the modal loop).
  void Init() override;
  void OnTimedOut() override { download_.Abandon(); }
  void OnAbandoned() override { download_.Abandon(); }

 private:
  void SendFirst();
  void SendNext(uint8_t command, uint8_t sub, CBytes payload);
  void Fill();
  void Failed() { ShowMessage("MSG1"); }

  int32_t preselect_;
  QComboBox* source_;
  QDateEdit* from_;
  QDateEdit* to_;
  ReportListView* list_;
  EventLogChoice choice_;  // of the last Query
  bool queried_ = false;
  std::vector<EventLogRow> rows_;
  ResultPages pages_;
  EventLogDownload download_;
};

// Opener 240 (Selected Event Log: the map's selected device first) and the
// reply branches of id 27.
void RegisterEventLogDialog(ConsoleDialogs& env);

}  // namespace lark
