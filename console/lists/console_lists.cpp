// Sections: images, group list, device list, sorting, selection, call points.
#include "console/lists/console_lists.h"

#include <QHeaderView>
#include <QItemSelectionModel>
#include <QPainter>
#include <QSignalBlocker>
#include <algorithm>
#include <memory>
#include <numeric>

#include "console/lists/device_export.h"
#include "console/shell/console_context.h"
#include "console/shell/main_window.h"

namespace lark {

// ---- images ----

std::vector<QPixmap> ListImages() {
  std::vector<QPixmap> out;
  // Level colours as the map paints them: Serious red, Warning olive, Information green.
  for (QColor c : {QColor(0xff, 0, 0), QColor(0xa0, 0xa0, 0), QColor(0, 0xa0, 0)}) {
    QPixmap p(14, 14);
    p.fill(Qt::transparent);
    QPainter g(&p);
    g.setPen(Qt::black);
    g.setBrush(c);
    g.drawEllipse(1, 1, 11, 11);
    out.push_back(p);
  }
  for (bool up : {true, false}) {
    QPixmap p(14, 14);
    p.fill(Qt::transparent);
    QPainter g(&p);
    g.setPen(Qt::NoPen);
    g.setBrush(QColor(0x80, 0x80, 0x80));
    const QPolygon tri = up ? QPolygon({QPoint(7, 3), QPoint(12, 10), QPoint(2, 10)})
                            : QPolygon({QPoint(2, 4), QPoint(12, 4), QPoint(7, 11)});
    g.drawPolygon(tri);
    out.push_back(p);
  }
  return out;
}

namespace {

int LevelImage(const DeviceNode& n) {
  const int level = n.alarmLevel();
  return level <= kImageInformation ? level : kImageInformation;
}

void AddGroups(ReportListModel& m, DeviceNode& group) {
  m.insertRow(m.rowCount(), LevelImage(group), &group);
  m.setCell(m.rowCount() - 1, 1, group.title());
  for (const auto& c : group.children())
    if (c->isGroup()) AddGroups(m, *c);
}

void AddDevices(ReportListModel& m, const DeviceNode& group) {
  for (const auto& c : group.children()) {
    if (c->isGroup()) {
      AddDevices(m, *c);
      continue;
    }
    m.insertRow(m.rowCount(), LevelImage(*c), c.get());
    m.setCell(m.rowCount() - 1, 1, c->title());
  }
}

// The node of the tree at the address `p`, or null; `p` itself is never read.
DeviceNode* FindInTree(DeviceNode& node, const DeviceNode* p) {
  if (p == nullptr) return nullptr;
  if (&node == p) return &node;
  for (const auto& c : node.children())
    if (DeviceNode* found = FindInTree(*c, p)) return found;
  return nullptr;
}

int RowOf(const ReportListModel& m, const DeviceNode* node) {
  for (int r = 0; r < m.rowCount(); ++r)
    if (m.row(r).node == node) return r;
  return -1;
}

void SelectRow(ReportListView* v, int row) {
  v->selectionModel()->select(v->model()->index(row, 0),
                              QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

}  // namespace

ConsoleLists::ConsoleLists(ConsoleContext& ctx, ReportListView* groupList,
                           ReportListView* deviceList)
    : ctx_(ctx), groups_(groupList), devices_(deviceList) {
  for (ReportListView* v : {groups_, devices_}) {
    v->listModel()->setImages(ListImages());
    v->setFont(ctx_.fonts.value);
  }
  QObject::connect(groups_->selectionModel(), &QItemSelectionModel::selectionChanged,
                   [this](const QItemSelection& sel, const QItemSelection&) {
                     if (!sel.isEmpty()) OnGroupSelected(sel.indexes().front().row());
                   });
  QObject::connect(devices_->selectionModel(), &QItemSelectionModel::selectionChanged,
                   [this](const QItemSelection&, const QItemSelection&) { OnDeviceSelectionChanged(); });
  QObject::connect(devices_->horizontalHeader(), &QHeaderView::sectionClicked,
                   [this](int column) { OnHeaderClick(column); });
  devices_->onRightRelease = [this](QPoint global) {
    if (ctx_.mainWindow == nullptr) return;
    if (QMenu* menu = ctx_.mainWindow->menus().popup(kMenuListPopup)) menu->popup(global);
  };
}

// ---- group list ----

void ConsoleLists::CreateGroupList() {
  const MonitorSettings& s = ctx_.monitor.settings();
  InsertListColumns(groups_,
                    std::to_string(s.groupWidths[0]) + "\t" + std::to_string(s.groupWidths[1]),
                    "\t" + ctx_.texts.columns.group, 0);
  if (s.list.left > 35) SetGroupColumnWidth(s.list.left - 40);
  FillGroupList(nullptr);
}

void ConsoleLists::FillGroupList(DeviceNode* selected) {
  ReportListModel& m = *groups_->listModel();
  groups_->selectionModel()->clear();
  m.clear();
  AddGroups(m, ctx_.tree.root());
  generation_ = ctx_.tree.structureGeneration();
  const int row = selected != nullptr ? RowOf(m, selected) : 0;
  if (row >= 0) SelectRow(groups_, row);
}

void ConsoleLists::RefreshGroupCounts() {
  RefillIfTreeChanged();
  ReportListModel& m = *groups_->listModel();
  for (int r = 0; r < m.rowCount(); ++r) {
    const DeviceNode* g = m.row(r).node;
    if (g == nullptr) continue;
    m.setImage(r, LevelImage(*g));
    m.setCell(r, 1,
              CutText(g->title() + "(" + std::to_string(CountDevices(*g)) + ")", kListReadMax));
  }
}

void ConsoleLists::SetGroupColumnWidth(int width) { groups_->setColumnWidth(1, width); }

// ---- device list ----

const DeviceColumnMap& ConsoleLists::columnMap() const {
  return ctx_.monitor.settings().columnChoice;
}

void ConsoleLists::CreateDeviceList() {
  const MonitorSettings& s = ctx_.monitor.settings();
  for (int c = 0; c < kDeviceListColumns; ++c) {
    devices_->listModel()->insertColumn(c, std::string());
    devices_->setColumnWidth(c, s.deviceWidths[static_cast<size_t>(c)]);
  }
  RetitleDeviceColumns();
  ShowSortMarks();
  FillDeviceList(&ctx_.tree.root(), true);
}

void ConsoleLists::RetitleColumns() {
  groups_->listModel()->setColumnTitle(1, ctx_.texts.columns.group);
  RetitleDeviceColumns();
}

void ConsoleLists::RetitleDeviceColumns() {
  for (int c = 1; c < kDeviceListColumns; ++c) {
    const int id = columnMap()[static_cast<size_t>(c)];
    const auto& titles = ctx_.texts.columns.device;
    devices_->listModel()->setColumnTitle(c, id >= 0 && static_cast<size_t>(id) < titles.size()
                                                 ? titles[static_cast<size_t>(id)]
                                                 : "");
  }
}

void ConsoleLists::SaveColumnWidths() {
  MonitorSettings& s = ctx_.monitor.settings();
  for (int c = 0; c < kDeviceListColumns && c < devices_->listModel()->columnCount(); ++c)
    s.deviceWidths[static_cast<size_t>(c)] = devices_->columnWidth(c);
}

void ConsoleLists::FillDeviceList(DeviceNode* group, bool select) {
  ReportListModel& m = *devices_->listModel();
  devices_->selectionModel()->clear();
  m.clear();
  deviceGroup_ = group;
  if (group != nullptr && group->isGroup()) AddDevices(m, *group);
  SortDeviceList();
  if (select && m.rowCount() > 0) SelectRow(devices_, 0);
}

CellTexts ConsoleLists::CurrentCellTexts() const {
  CellTexts t;
  auto table = [&](StatusList list) {
    std::vector<std::string> out;
    for (size_t i = 0; i < ctx_.texts.status.size(list); ++i)
      out.push_back(ctx_.texts.status.text(list, i));
    return out;
  };
  t.upsStatus = table(StatusList::OutputSource);
  t.batteryCondition = table(StatusList::BatteryCondition);
  t.batteryLevel = table(StatusList::BatteryLevel);
  t.notKnown = ctx_.texts.language.summary[1];
  return t;
}

void ConsoleLists::RefreshDeviceRows(std::FILE* file) {
  RefillIfTreeChanged();
  ReportListModel& m = *devices_->listModel();
  CellTexts texts = CurrentCellTexts();
  const std::shared_ptr<const ActionTables> actions = ctx_.tables.actions();
  texts.actions = actions.get();
  bool resort = false;
  for (int r = 0; r < m.rowCount(); ++r) {
    const DeviceNode* node = m.row(r).node;
    if (node == nullptr) continue;
    const DeviceRowData d = ReadDeviceRow(*node);
    const int image = LevelImage(*node);
    if (m.row(r).image != image) {
      m.setImage(r, image);
      resort |= sort.state[0] != 0;
    }
    for (int c = 1; c < kDeviceListColumns; ++c) {
      std::string text = FormatDeviceCell(d, columnMap()[static_cast<size_t>(c)], texts);
      if (file != nullptr) {
        const std::string cell = ExportCellText(text);
        std::fwrite(cell.data(), 1, cell.size(), file);
        std::fputc('\t', file);
      }
      if (m.row(r).cells[static_cast<size_t>(c)] != text) {
        m.setCell(r, c, std::move(text));
        resort |= sort.state[static_cast<size_t>(c)] != 0;
      }
    }
    if (file != nullptr) std::fputs("\r\n", file);  // a text file of this system's kind
  }
  if (resort) SortDeviceList();
}

void ConsoleLists::RefillIfTreeChanged() {
  if (ctx_.tree.structureGeneration() == generation_) return;
  // Rows may point at freed nodes. The lists are rebuilt quietly (the map
  // already follows the tree it changed), keeping the chosen group, its
  // devices and the selected device where they still are in the tree; the
  // old pointers are only compared, never read.
  const DeviceNode* group = nullptr;
  if (const QModelIndexList sel = groups_->selectionModel()->selectedRows(); !sel.isEmpty())
    group = groups_->listModel()->row(sel.front().row()).node;
  const DeviceNode* device = GetSelectedDevice();
  const QSignalBlocker g(groups_->selectionModel()), d(devices_->selectionModel());
  FillGroupList(FindInTree(ctx_.tree.root(), group));
  DeviceNode* shown = FindInTree(ctx_.tree.root(), deviceGroup_);
  FillDeviceList(shown != nullptr ? shown : &ctx_.tree.root(), false);
  if (DeviceNode* still = FindInTree(ctx_.tree.root(), device)) SelectDeviceRow(still);
  groups_->viewport()->update();
  devices_->viewport()->update();
}

// ---- sorting ----

void ConsoleLists::SortRows(int column) {
  ReportListModel& m = *devices_->listModel();
  std::vector<DeviceRowData> data;
  data.reserve(static_cast<size_t>(m.rowCount()));
  for (const ReportRow& r : m.rows())
    data.push_back(r.node ? ReadDeviceRow(*r.node) : DeviceRowData());
  std::vector<int> order(data.size());
  std::iota(order.begin(), order.end(), 0);
  std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
    return CompareDeviceRows(data[static_cast<size_t>(a)], data[static_cast<size_t>(b)], column,
                             sort, columnMap()) < 0;
  });
  m.reorder(order);
}

void ConsoleLists::SortDeviceList() {
  const int column = sort.sortColumn();
  if (column >= 0) SortRows(column);
}

void ConsoleLists::OnHeaderClick(int column) {
  if (column < 0 || column >= kDeviceListColumns) return;
  sort.click(column);
  SortRows(column);
  ShowSortMarks();
}

void ConsoleLists::ShowSortMarks() {
  for (int c = 0; c < kDeviceListColumns; ++c) {
    const int s = sort.state[static_cast<size_t>(c)];
    devices_->listModel()->setHeaderImage(c, s == 1   ? kImageAscending
                                             : s == 2 ? kImageDescending
                                                      : -1);
  }
}

// ---- selection ----

DeviceNode* ConsoleLists::GetSelectedDevice() const {
  const QModelIndexList rows = devices_->selectionModel()->selectedRows();
  if (rows.isEmpty()) return nullptr;
  int first = rows.front().row();
  for (const QModelIndex& i : rows) first = std::min(first, i.row());
  return devices_->listModel()->row(first).node;
}

void ConsoleLists::SelectDeviceRow(DeviceNode* node) {
  if (node == nullptr) return;
  ReportListView* v = node->isGroup() ? groups_ : devices_;
  const int row = RowOf(*v->listModel(), node);
  if (row < 0 || v->selectionModel()->isRowSelected(row, {})) return;
  SelectRow(v, row);
}

void ConsoleLists::OnGroupSelected(int row) {
  DeviceNode* group = groups_->listModel()->row(row).node;
  if (group == nullptr) return;
  ConsoleCallPoints& cp = ctx_.points;
  CallPoint(cp.setMapGroup, group);
  if (group->childCount() > 0) CallPoint(cp.clearMapSelection);
  FillDeviceList(group, true);
  if (ctx_.mainWindow != nullptr) ctx_.mainWindow->repaint();
  CallPoint(cp.loadGroupPicture, group);
  CallPoint(cp.repaintMap);
}

void ConsoleLists::OnDeviceSelectionChanged() {
  DeviceNode* device = GetSelectedDevice();
  if (device == shownDevice_) return;
  // Any change, deselection included, makes the settings pages reload: a
  // refill that selects row 0 must not leave them on the previous device.
  shownDevice_ = device;
  if (ctx_.mainWindow != nullptr) ctx_.mainWindow->tabReloadFlag = 1;
  if (device == nullptr) {
    CallPoint(ctx_.points.refreshDetailTabs, 1);
    return;
  }
  ConsoleCallPoints& cp = ctx_.points;
  DeviceNode* parent = device->parent();
  if (parent != nullptr) {
    CallPoint(cp.setMapGroup, parent);
    CallPoint(cp.loadGroupPicture, parent);
    for (const auto& c : parent->children())
      if (c->id() == device->id()) {
        CallPoint(cp.selectMapNode, c.get());
        break;
      }
  }
  CallPoint(cp.refreshDetailTabs, 1);
  CallPoint(cp.repaintMap);
  CallPoint(cp.paintPropertyPane, device);
}

// ---- call points ----

void InstallConsoleLists(ConsoleContext& ctx) {
  auto holder = std::make_shared<std::unique_ptr<ConsoleLists>>();
  ConsoleCallPoints& cp = ctx.points;
  cp.createListView = [](QWidget* parent) -> QTableView* { return new ReportListView(parent); };
  auto with = [holder](auto f) {
    return [holder, f](auto&&... args) {
      if (*holder) f(**holder, std::forward<decltype(args)>(args)...);
    };
  };
  // The first call creates the lists; later ones (a new session, a loaded
  // configuration) refill them from the tree.
  cp.fillLists = [&ctx, holder] {
    if (*holder) {
      (*holder)->FillGroupList(nullptr);
      (*holder)->FillDeviceList(&ctx.tree.root(), true);
      return;
    }
    LarkviewWindow* w = ctx.mainWindow;
    if (w == nullptr) return;
    ReportListView* groups = AsReportList(w->groupList());
    ReportListView* devices = AsReportList(w->deviceList());
    if (groups == nullptr || devices == nullptr) return;
    *holder = std::make_unique<ConsoleLists>(ctx, groups, devices);
    (*holder)->CreateGroupList();
    (*holder)->CreateDeviceList();
  };
  cp.refreshLists = with([](ConsoleLists& l) {
    l.RefreshGroupCounts();
    l.RefreshDeviceRows(nullptr);
  });
  cp.readColumnWidths = with([](ConsoleLists& l) { l.SaveColumnWidths(); });
  cp.setGroupColumnWidth = with([](ConsoleLists& l, int width) { l.SetGroupColumnWidth(width); });
  cp.fillGroupList = with([](ConsoleLists& l, DeviceNode* g) { l.FillGroupList(g); });
  cp.fillDeviceList = with([](ConsoleLists& l, DeviceNode* g, bool s) { l.FillDeviceList(g, s); });
  cp.selectDeviceRow = with([](ConsoleLists& l, DeviceNode* n) { l.SelectDeviceRow(n); });
  cp.refreshDeviceRows = with([](ConsoleLists& l, std::FILE* f) { l.RefreshDeviceRows(f); });
  cp.retitleDeviceColumns = with([](ConsoleLists& l) { l.RetitleColumns(); });
  cp.exportDeviceList = [&ctx] { ExportDeviceListCommand(ctx); };
  cp.selectedDevice = [holder]() -> DeviceNode* {
    if (!*holder) return nullptr;
    (*holder)->RefillIfTreeChanged();  // never hand out a row of a freed node
    return (*holder)->GetSelectedDevice();
  };
}

}  // namespace lark
