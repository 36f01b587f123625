#include "console/lists/report_list.h"

#include <QHeaderView>
#include <QIcon>
#include <QMouseEvent>
#include <QPainter>
#include <algorithm>

#include "console/lists/device_cells.h"

namespace lark {

// ---- model ----

int ReportListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int ReportListModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(titles_.size());
}

bool ReportListModel::validCell(int r, int c) const {
  return r >= 0 && r < rowCount() && c >= 0 && c < columnCount();
}

QVariant ReportListModel::data(const QModelIndex& index, int role) const {
  if (!validCell(index.row(), index.column())) return {};
  const ReportRow& row = rows_[static_cast<size_t>(index.row())];
  if (role == Qt::DisplayRole)
    return QString::fromStdString(row.cells[static_cast<size_t>(index.column())]);
  if (role == Qt::DecorationRole && index.column() == 0 && row.image >= 0 &&
      static_cast<size_t>(row.image) < images_.size())
    return QIcon(images_[static_cast<size_t>(row.image)]);
  return {};
}

QVariant ReportListModel::headerData(int section, Qt::Orientation o, int role) const {
  if (o != Qt::Horizontal || section < 0 || section >= columnCount()) return {};
  if (role == Qt::DisplayRole) return QString::fromStdString(titles_[static_cast<size_t>(section)]);
  if (role == Qt::TextAlignmentRole) return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
  return {};  // the header's image is painted at the right of the title by the view
}

QPixmap ReportListModel::image(int index) const {
  return index >= 0 && static_cast<size_t>(index) < images_.size()
             ? images_[static_cast<size_t>(index)]
             : QPixmap();
}

Qt::ItemFlags ReportListModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  return Qt::ItemIsEnabled | Qt::ItemIsSelectable;  // never editable
}

void ReportListModel::insertColumn(int at, const std::string& title) {
  at = std::clamp(at, 0, columnCount());
  beginInsertColumns({}, at, at);
  titles_.insert(titles_.begin() + at, CutText(title, kListWriteMax));
  headerImages_.insert(headerImages_.begin() + at, -1);
  for (ReportRow& r : rows_) r.cells.insert(r.cells.begin() + at, std::string());
  endInsertColumns();
}

void ReportListModel::setColumnTitle(int column, const std::string& title) {
  if (column < 0 || column >= columnCount() || titles_[static_cast<size_t>(column)] == title)
    return;
  titles_[static_cast<size_t>(column)] = title;
  emit headerDataChanged(Qt::Horizontal, column, column);
}

const std::string& ReportListModel::columnTitle(int column) const {
  static const std::string none;
  return column >= 0 && column < columnCount() ? titles_[static_cast<size_t>(column)] : none;
}

void ReportListModel::setHeaderImage(int column, int image) {
  if (column < 0 || column >= columnCount() || headerImages_[static_cast<size_t>(column)] == image)
    return;
  headerImages_[static_cast<size_t>(column)] = image;
  emit headerDataChanged(Qt::Horizontal, column, column);
}

int ReportListModel::headerImage(int column) const {
  return column >= 0 && column < columnCount() ? headerImages_[static_cast<size_t>(column)] : -1;
}

void ReportListModel::clear() {
  if (rows_.empty()) return;
  beginResetModel();
  rows_.clear();
  endResetModel();
}

void ReportListModel::clearAll() {
  beginResetModel();
  rows_.clear();
  titles_.clear();
  headerImages_.clear();
  endResetModel();
}

int ReportListModel::insertRow(int at, int image, DeviceNode* node) {
  at = std::clamp(at, 0, rowCount());
  beginInsertRows({}, at, at);
  rows_.insert(rows_.begin() + at,
               ReportRow{std::vector<std::string>(titles_.size()), image, node});
  endInsertRows();
  return at;
}

bool ReportListModel::setCell(int r, int c, std::string text) {
  if (!validCell(r, c)) return false;
  std::string& cell = rows_[static_cast<size_t>(r)].cells[static_cast<size_t>(c)];
  if (cell != text) {
    cell = std::move(text);
    const QModelIndex i = index(r, c);
    emit dataChanged(i, i, {Qt::DisplayRole});
  }
  return true;
}

bool ReportListModel::setImage(int r, int image) {
  if (r < 0 || r >= rowCount()) return false;
  int& cur = rows_[static_cast<size_t>(r)].image;
  if (cur != image) {
    cur = image;
    const QModelIndex i = index(r, 0);
    emit dataChanged(i, i, {Qt::DecorationRole});
  }
  return true;
}

void ReportListModel::reorder(const std::vector<int>& order) {
  if (order.size() != rows_.size()) return;
  emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
  std::vector<int> newRow(order.size());
  std::vector<ReportRow> sorted;
  sorted.reserve(rows_.size());
  for (size_t i = 0; i < order.size(); ++i) {
    newRow[static_cast<size_t>(order[i])] = static_cast<int>(i);
    sorted.push_back(std::move(rows_[static_cast<size_t>(order[i])]));
  }
  rows_ = std::move(sorted);
  const QModelIndexList from = persistentIndexList();
  QModelIndexList to;
  to.reserve(from.size());
  for (const QModelIndex& i : from)
    to.append(index(newRow[static_cast<size_t>(i.row())], i.column()));
  changePersistentIndexList(from, to);
  emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

// ---- view ----

namespace {

// A header that shows a column's image just right of its title.
class ReportListHeader final : public QHeaderView {
 public:
  ReportListHeader(ReportListModel* model, QWidget* parent)
      : QHeaderView(Qt::Horizontal, parent), model_(model) {}

 protected:
  void paintSection(QPainter* painter, const QRect& rect, int section) const override {
    painter->save();
    QHeaderView::paintSection(painter, rect, section);
    painter->restore();
    const QPixmap mark = model_->image(model_->headerImage(section));
    if (mark.isNull()) return;
    const int text =
        fontMetrics().horizontalAdvance(QString::fromStdString(model_->columnTitle(section)));
    const int x = std::min(rect.left() + 8 + text + 4, rect.right() - mark.width() - 2);
    painter->drawPixmap(std::max(rect.left() + 2, x),
                        rect.top() + (rect.height() - mark.height()) / 2, mark);
  }

 private:
  ReportListModel* model_;
};

}  // namespace

ReportListView::ReportListView(QWidget* parent)
    : QTableView(parent), model_(new ReportListModel(this)) {
  setHorizontalHeader(new ReportListHeader(model_, this));
  setModel(model_);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setShowGrid(true);
  setWordWrap(false);
  setIconSize(QSize(14, 14));
  setSortingEnabled(false);  // the lists order their own rows
  verticalHeader()->hide();
  verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 3);
  horizontalHeader()->setSectionsClickable(true);
  horizontalHeader()->setHighlightSections(false);
  horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  horizontalHeader()->setStretchLastSection(false);
  QPalette pal = palette();
  pal.setColor(QPalette::Base, Qt::white);
  pal.setColor(QPalette::Inactive, QPalette::Highlight,
               pal.color(QPalette::Active, QPalette::Highlight));
  pal.setColor(QPalette::Inactive, QPalette::HighlightedText,
               pal.color(QPalette::Active, QPalette::HighlightedText));
  setPalette(pal);  // the selection stays shown without focus
}

void ReportListView::mousePressEvent(QMouseEvent* e) {
  if (e->button() == Qt::RightButton) {
    e->accept();  // the menu acts on the selection as it stands
    return;
  }
  QTableView::mousePressEvent(e);
}

void ReportListView::mouseReleaseEvent(QMouseEvent* e) {
  if (e->button() == Qt::RightButton) {
    e->accept();
    if (onRightRelease) onRightRelease(e->globalPosition().toPoint());
    return;
  }
  QTableView::mouseReleaseEvent(e);
}

// ---- helpers ----

namespace {

// Splits at single tabs; the last field runs to the end.
std::vector<std::string> Fields(const std::string& text) {
  std::vector<std::string> out;
  size_t start = 0;
  for (;;) {
    const size_t tab = text.find('\t', start);
    if (tab == std::string::npos) {
      out.push_back(text.substr(start));
      return out;
    }
    out.push_back(text.substr(start, tab - start));
    start = tab + 1;
  }
}

bool SetFields(ReportListView* list, const std::vector<std::string>& fields, int row) {
  bool ok = false;
  for (size_t k = 0; k < fields.size(); ++k)
    ok = SetListItemText(list, row, static_cast<int>(k), fields[k]);
  return ok;
}

}  // namespace

void InsertListColumns(ReportListView* list, const std::string& widths, const std::string& titles,
                       int first) {
  if (list == nullptr) return;
  const std::vector<std::string> w = Fields(widths), t = Fields(titles);
  const size_t pairs = std::min(w.size(), t.size());
  for (size_t k = 0; k < pairs; ++k) {
    const int column = first + static_cast<int>(k);
    list->listModel()->insertColumn(column, t[k]);
    list->setColumnWidth(column, std::atoi(w[k].c_str()));
  }
}

bool InsertListRow(ReportListView* list, const std::string& text, int row, int image) {
  if (list == nullptr) return false;
  const int at = list->listModel()->insertRow(row, image < 0 ? -1 : image, nullptr);
  return SetFields(list, Fields(text), at);
}

bool SetListRow(ReportListView* list, const std::string& text, int row) {
  if (list == nullptr) return false;
  return SetFields(list, Fields(text), row);
}

bool GetListItemText(const ReportListView* list, int row, int column, std::string* out) {
  if (list == nullptr || !list->listModel()->validCell(row, column)) return false;
  *out = CutText(list->listModel()->row(row).cells[static_cast<size_t>(column)], kListReadMax);
  return true;
}

bool SetListItemText(ReportListView* list, int row, int column, const std::string& text) {
  if (list == nullptr) return false;
  return list->listModel()->setCell(row, column, CutText(text, kListWriteMax));
}

int GetListItemImage(const ReportListView* list, int row, int /*column*/) {
  if (list == nullptr || row < 0 || row >= list->listModel()->rowCount()) return 0;
  return list->listModel()->row(row).image;
}

}  // namespace lark
