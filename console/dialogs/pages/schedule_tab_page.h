// The Schedule page (dialog 256 on detail-tab slot 3): the device's weekly
// and dated rows kept as data and shown in two lists, the next time of each
// action class, and the month calendar marking the days with actions. Add,
// Modify and Delete change the kept rows; Update sends one table (29/1),
// and the Apply buttons have the service copy the device's schedule to its
// group or to every device. The console's copy changes only once the
// service has taken it (reply 57).
//
// The device is the detail tabs' selected one at the last reload; edits not
// yet sent survive the minute's reload of the same device.
#pragma once
#include <optional>

#include "console/dialogs/pages/schedule_block.h"
#include "console/dialogs/pages/tab_page.h"

class QListWidget;

namespace lark {

class CalendarWidget;

inline constexpr int kScheduleTabResource = 256;

class ScheduleTabPage : public TabPage {
 public:
  ScheduleTabPage(ConsoleDialogs& env, QWidget* page);

  const ScheduleTables& rows() const { return rows_; }
  CalendarWidget* calendar() const { return calendar_; }

  void ChangeMonth(int step);         // 1084 (-1), 1085 (+1)
  void AddWeekly(bool modify);        // 1083, 1086
  void DeleteWeekly();                // 1087
  void AddDated(bool modify);         // 1089, 1090
  void DeleteDated();                 // 1091
  void Update(ScheduleTable table);   // 1088, 1092
  void Apply(ScheduleScope scope);    // 1047, 1048

 protected:
  void Reload(DeviceNode* device) override;
  bool ReloadsWithoutDevice() const override { return true; }
  void OnReplyCode(std::optional<uint8_t> code) override;

 private:
  ScheduleNames Names() const;
  std::string CommonText(int n) const;
  void FillCombos();
  void ShowMonth();
  void ShowLists();
  void WeeklySelected(int row);
  void DatedSelected(int row);
  void SendBlock(ScheduleScope scope, ScheduleTable table);
  void Error(const char* text, const char* caption);

  CalendarWidget* calendar_;
  QListWidget* weekList_;
  QListWidget* dateList_;
  ScheduleTables rows_;
  int16_t rowsId_ = -1;                          // the device `rows_` came from
  bool weekDirty_ = false, datedDirty_ = false;  // edits not yet sent
  struct Submitted {
    int16_t id;
    ScheduleScope scope;
    ScheduleTable table;
    ScheduleTables rows;
  };
  std::optional<Submitted> submitted_;
};

QWidget* CreateScheduleTab(ConsoleDialogs& env, QWidget* page);

}  // namespace lark
