#pragma once
// The item list: one row of eleven texts per item of the selected folder, in the order
// the rows were inserted. A model holds the rows (a folder may list tens of thousands
// of items); only From, Subject, Date and Att are shown, the hidden columns carry what
// the preview reads back from a clicked row.

#include <QAbstractTableModel>
#include <QTableView>

#include <array>
#include <vector>

namespace edbx::gui {

class ItemListModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  static constexpr int kColumns = 11;
  using Row = std::array<QString, kColumns>;

  using QAbstractTableModel::QAbstractTableModel;

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

  void Clear();
  /// Inserts rows, each at its position (clamped to the end); runs of rows appended at
  /// the end are inserted as one block.
  void Insert(std::vector<std::pair<int, Row>> rows);
  const Row& RowAt(int row) const { return rows_.at(static_cast<std::size_t>(row)); }
  /// The row whose key (column 0) is `key`, or -1.
  int Find(const QString& key) const;

 private:
  std::vector<Row> rows_;
};

/// The list view: report style with grid lines, full-row selection, selection always
/// shown, no sorting; the column widths of the item list.
class ItemListView : public QTableView {
  Q_OBJECT

 public:
  explicit ItemListView(ItemListModel* model, QWidget* parent = nullptr);
  /// The row of the selection mark (the most recently selected row), or -1.
  int SelectionMark() const;

 signals:
  /// A click in the list (on a row or on its empty area).
  void Clicked();

 protected:
  void mouseReleaseEvent(QMouseEvent* event) override;
  void keyReleaseEvent(QKeyEvent* event) override;

 private:
  int mark_ = -1;
};

}  // namespace edbx::gui
