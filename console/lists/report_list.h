// Report-style lists: a table model of rows (cell texts, an image, the node a
// row stands for) in a table view with a grid, single full-row selection and
// no editing; and the small helpers that build columns and rows from
// tab-separated text. The group list, the device list and the dialogs' lists
// are all of this kind.
#pragma once
#include <QAbstractTableModel>
#include <QPixmap>
#include <QTableView>
#include <functional>
#include <string>
#include <vector>

namespace lark {

class DeviceNode;

inline constexpr size_t kListReadMax = 255;   // characters a cell read returns
inline constexpr size_t kListWriteMax = 259;  // characters a field write keeps

struct ReportRow {
  std::vector<std::string> cells;  // one per column
  int image = -1;                  // index into the model's images, -1 none
  DeviceNode* node = nullptr;      // item data
};

class ReportListModel final : public QAbstractTableModel {
 public:
  explicit ReportListModel(QObject* parent = nullptr) : QAbstractTableModel(parent) {}

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation o, int role) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;

  // ---- columns ----
  void insertColumn(int at, const std::string& title);
  void setColumnTitle(int column, const std::string& title);
  const std::string& columnTitle(int column) const;
  // The image a column header shows at its title, -1 none.
  void setHeaderImage(int column, int image);
  int headerImage(int column) const;
  void setImages(std::vector<QPixmap> images) { images_ = std::move(images); }
  QPixmap image(int index) const;  // null outside the images

  // ---- rows ----
  void clear();
  // Every row and every column.
  void clearAll();
  // Inserts an empty row at `at` (clamped to 0..rows); returns its index.
  int insertRow(int at, int image, DeviceNode* node);
  const ReportRow& row(int r) const { return rows_[static_cast<size_t>(r)]; }
  const std::vector<ReportRow>& rows() const { return rows_; }
  bool validCell(int r, int c) const;
  // Each setter raises dataChanged only for what changed; false outside the table.
  bool setCell(int r, int c, std::string text);
  bool setImage(int r, int image);
  // Puts the rows in the order of `order` (a permutation of their indexes),
  // keeping the selection and every persistent index on its row.
  void reorder(const std::vector<int>& order);

 private:
  std::vector<std::string> titles_;
  std::vector<int> headerImages_;
  std::vector<ReportRow> rows_;
  std::vector<QPixmap> images_;
};

// The view: control id as a property, the model's images at 14 x 14. A
// right press does not select; its release reports the cursor position.
class ReportListView final : public QTableView {
 public:
  explicit ReportListView(QWidget* parent = nullptr);
  ReportListModel* listModel() const { return model_; }
  std::function<void(QPoint global)> onRightRelease;

 protected:
  void mousePressEvent(QMouseEvent* e) override;
  void mouseReleaseEvent(QMouseEvent* e) override;

 private:
  ReportListModel* model_;
};

// The main window's list panes, made by the lists' factory.
inline ReportListView* AsReportList(QTableView* view) {
  return dynamic_cast<ReportListView*>(view);
}

// ---- helpers over tab-separated text ----
// One left-aligned column per (width, title) pair from column `first` on,
// ending with the pair in which either text has no further tab.
void InsertListColumns(ReportListView* list, const std::string& widths, const std::string& titles,
                       int first);
// A row at `row` with image `image` (-1 none), field k in column k; the
// result of the last cell write.
bool InsertListRow(ReportListView* list, const std::string& text, int row, int image);
bool SetListRow(ReportListView* list, const std::string& text, int row);
// The cell's text cut to kListReadMax characters; false when there is no such cell.
bool GetListItemText(const ReportListView* list, int row, int column, std::string* out);
bool SetListItemText(ReportListView* list, int row, int column, const std::string& text);
// The row's image, 0 when the row cannot be read.
int GetListItemImage(const ReportListView* list, int row, int column);

}  // namespace lark
