// The main window's group list (id 4) and device list (id 1): how they are
// filled from the tree, refreshed every second, sorted, and how a chosen row
// moves the map and the detail tabs. The lists refer to nodes of the tree,
// so a change of the tree's structure refills them before a refresh reads
// a row.
#pragma once
#include <QObject>
#include <cstdint>
#include <cstdio>

#include "console/lists/device_sort.h"
#include "console/lists/report_list.h"

namespace lark {

class ConsoleContext;

// Images of both lists: the three alarm levels, then the two sort marks.
enum ListImage : int {
  kImageSerious = 0,
  kImageWarning = 1,
  kImageInformation = 2,
  kImageAscending = 3,
  kImageDescending = 4
};
std::vector<QPixmap> ListImages();

class ConsoleLists {
 public:
  ConsoleLists(ConsoleContext& ctx, ReportListView* groupList, ReportListView* deviceList);

  // ---- group list ----
  void CreateGroupList();
  // The root and every group below it, depth first; `selected` (none: the
  // root) gets the selection.
  void FillGroupList(DeviceNode* selected);
  void RefreshGroupCounts();
  void SetGroupColumnWidth(int width);

  // ---- device list ----
  void CreateDeviceList();
  // Every device below `group`, depth first, then sorted; row 0 selected
  // with `select`.
  void FillDeviceList(DeviceNode* group, bool select);
  // Rewrites changed images and cells; with a file, every row's cells as
  // tab-ended fields and a newline.
  void RefreshDeviceRows(std::FILE* file);
  void SortDeviceList();
  void OnHeaderClick(int column);
  void RetitleDeviceColumns();
  // The group list's title column and the device columns, in the texts now
  // loaded (after a language change or a new column choice).
  void RetitleColumns();
  void SaveColumnWidths();
  DeviceNode* GetSelectedDevice() const;
  // Selects the row of `node` in the group list (a group) or the device list.
  void SelectDeviceRow(DeviceNode* node);
  // Rebuilds both lists when the tree's structure changed since they were filled.
  void RefillIfTreeChanged();

  DeviceSortState sort;
  CellTexts CurrentCellTexts() const;

 private:
  void OnGroupSelected(int row);
  void OnDeviceSelectionChanged();
  void ShowSortMarks();
  void SortRows(int column);
  const DeviceColumnMap& columnMap() const;

  ConsoleContext& ctx_;
  ReportListView* groups_;
  ReportListView* devices_;
  DeviceNode* deviceGroup_ = nullptr;  // the group the device list was filled from
  uint64_t generation_ = 0;            // tree structure the rows were built on
  const DeviceNode* shownDevice_ = nullptr;  // selected at the last change; compared only
};

// Creates the lists on the main window's two list views and fills the
// list call points.
void InstallConsoleLists(ConsoleContext& ctx);

}  // namespace lark
