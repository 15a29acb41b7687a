#include "app/item_list.hpp"

#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>

namespace edbx::gui {

namespace {

struct Column {
  const char* header;
  int width;  // 0: hidden
};
constexpr std::array<Column, ItemListModel::kColumns> kColumnSpec = {{
    {"", 0},
    {"Type", 0},
    {"S.No", 0},
    {" ", 0},
    {"From", 300},
    {"Subject", 300},
    {"Date", 135},
    {"Att", 50},
    {"To", 0},
    {"Cc", 0},
    {"Bcc", 0},
}};

}  // namespace

int ItemListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int ItemListModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : kColumns; }

QVariant ItemListModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rowCount()) return {};
  if (role == Qt::DisplayRole || role == Qt::ToolTipRole)
    return rows_[static_cast<std::size_t>(index.row())][static_cast<std::size_t>(index.column())];
  if (role == Qt::TextAlignmentRole) return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
  return {};
}

QVariant ItemListModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || section < 0 || section >= kColumns) return {};
  if (role == Qt::DisplayRole) return QString::fromLatin1(kColumnSpec[static_cast<std::size_t>(section)].header);
  if (role == Qt::TextAlignmentRole) return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
  return {};
}

void ItemListModel::Clear() {
  if (rows_.empty()) return;
  beginResetModel();
  rows_.clear();
  endResetModel();
}

void ItemListModel::Insert(std::vector<std::pair<int, Row>> rows) {
  std::size_t i = 0;
  while (i < rows.size()) {
    // A run of rows that all go to the end.
    std::size_t j = i;
    std::size_t end = rows_.size();
    while (j < rows.size() && (rows[j].first < 0 || static_cast<std::size_t>(rows[j].first) >= end)) ++j, ++end;
    if (j > i) {
      beginInsertRows({}, static_cast<int>(rows_.size()), static_cast<int>(end) - 1);
      for (std::size_t k = i; k < j; ++k) rows_.push_back(std::move(rows[k].second));
      endInsertRows();
      i = j;
      continue;
    }
    const int at = rows[i].first;
    beginInsertRows({}, at, at);
    rows_.insert(rows_.begin() + at, std::move(rows[i].second));
    endInsertRows();
    ++i;
  }
}

int ItemListModel::Find(const QString& key) const {
  for (std::size_t i = 0; i < rows_.size(); ++i)
    if (rows_[i][0] == key) return static_cast<int>(i);
  return -1;
}

ItemListView::ItemListView(ItemListModel* model, QWidget* parent) : QTableView(parent) {
  setObjectName(QStringLiteral("itemList"));
  setModel(model);
  setShowGrid(true);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setSortingEnabled(false);
  setWordWrap(false);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
  verticalHeader()->hide();
  // Fixed row heights: the view never measures 50,000 rows.
  verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
  horizontalHeader()->setSectionsClickable(false);
  horizontalHeader()->setHighlightSections(false);
  horizontalHeader()->setStretchLastSection(false);
  horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  for (int c = 0; c < ItemListModel::kColumns; ++c) {
    const int width = kColumnSpec[static_cast<std::size_t>(c)].width;
    setColumnHidden(c, width == 0);
    if (width > 0) setColumnWidth(c, width);
  }
  connect(selectionModel(), &QItemSelectionModel::currentRowChanged, this,
          [this](const QModelIndex& current, const QModelIndex&) {
            if (current.isValid()) mark_ = current.row();
          });
  connect(model, &QAbstractItemModel::modelReset, this, [this] { mark_ = -1; });
}

int ItemListView::SelectionMark() const {
  return mark_ >= 0 && mark_ < model()->rowCount() ? mark_ : -1;
}

void ItemListView::mouseReleaseEvent(QMouseEvent* event) {
  QTableView::mouseReleaseEvent(event);
  if (event->button() == Qt::LeftButton) emit Clicked();
}

void ItemListView::keyReleaseEvent(QKeyEvent* event) {
  QTableView::keyReleaseEvent(event);
  // Enter on the current row opens it as a click does.
  if (!event->isAutoRepeat() && (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter))
    emit Clicked();
}

}  // namespace edbx::gui
