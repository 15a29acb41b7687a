#include "app/folder_tree.hpp"

#include <QHeaderView>
#include <QMouseEvent>
#include <QStyleOptionViewItem>

#include "app/artwork.hpp"

namespace edbx::gui {

namespace {
constexpr int kHandleRole = Qt::UserRole + 1;
}

CFolderTreeCtrl1::CFolderTreeCtrl1(QWidget* parent) : QTreeWidget(parent) {
  setObjectName(QStringLiteral("folderTree"));
  setHeaderHidden(true);
  setColumnCount(1);
  setRootIsDecorated(true);
  setUniformRowHeights(true);
  setIconSize(QSize(16, 16));
  setSelectionMode(QAbstractItemView::SingleSelection);
  setMouseTracking(true);  // hot tracking
  setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  header()->setSectionResizeMode(QHeaderView::ResizeToContents);
  header()->setStretchLastSection(false);
  connect(this, &QTreeWidget::currentItemChanged, this,
          [this](QTreeWidgetItem* current, QTreeWidgetItem*) { emit FolderSelected(HandleOf(current)); });
}

CFolderTreeCtrl1::Handle CFolderTreeCtrl1::InsertItem(const QString& name, Handle parent, int icon) {
  auto* item = new QTreeWidgetItem(QStringList{name});
  const Handle handle = next_handle_++;
  item->setData(0, kHandleRole, QVariant::fromValue<qulonglong>(handle));
  item->setIcon(0, QIcon(QPixmap::fromImage(DrawTreeIcon(icon))));
  // The check box is ours: no user-checkable flag, so the view never toggles it itself.
  item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
  item->setData(0, Qt::CheckStateRole, Qt::Unchecked);
  if (QTreeWidgetItem* p = ItemOf(parent))
    p->addChild(item);
  else
    addTopLevelItem(item);
  items_[handle] = item;
  return handle;
}

QTreeWidgetItem* CFolderTreeCtrl1::ItemOf(Handle handle) const {
  const auto it = items_.find(handle);
  return it == items_.end() ? nullptr : it->second;
}

CFolderTreeCtrl1::Handle CFolderTreeCtrl1::HandleOf(const QTreeWidgetItem* item) const {
  return item == nullptr ? 0 : item->data(0, kHandleRole).toULongLong();
}

void CFolderTreeCtrl1::ClearAll() {
  const QSignalBlocker block(this);
  clear();
  items_.clear();
}

bool CFolderTreeCtrl1::IsChecked(const QTreeWidgetItem* item) {
  return item->data(0, Qt::CheckStateRole).toInt() == Qt::Checked;
}

bool CFolderTreeCtrl1::IsBold(const QTreeWidgetItem* item) { return item->font(0).bold(); }

void CFolderTreeCtrl1::SetState(QTreeWidgetItem* item, bool checked) {
  item->setData(0, Qt::CheckStateRole, checked ? Qt::Checked : Qt::Unchecked);
  SetBold(item, checked);
}

void CFolderTreeCtrl1::SetBold(QTreeWidgetItem* item, bool bold) {
  QFont f = item->font(0);
  if (f.bold() == bold) return;
  f.setBold(bold);
  item->setFont(0, f);
}

void CFolderTreeCtrl1::ToggleCheck(QTreeWidgetItem* item) {
  if (item == nullptr) return;
  const bool check = !IsChecked(item);
  // The item and all its descendants, depth first.
  std::vector<QTreeWidgetItem*> stack{item};
  while (!stack.empty()) {
    QTreeWidgetItem* at = stack.back();
    stack.pop_back();
    SetState(at, check);
    for (int i = at->childCount() - 1; i >= 0; --i) stack.push_back(at->child(i));
  }
  // Ancestors are checked exactly when none of their direct children is unchecked...
  for (QTreeWidgetItem* up = item->parent(); up != nullptr; up = up->parent()) {
    bool all = true;
    for (int i = 0; i < up->childCount(); ++i) all = all && IsChecked(up->child(i));
    SetState(up, all);
  }
  // ...and bold when any direct child is bold.
  for (QTreeWidgetItem* up = item->parent(); up != nullptr; up = up->parent()) {
    bool any = false;
    for (int i = 0; i < up->childCount(); ++i) any = any || IsBold(up->child(i));
    SetBold(up, any);
  }
}

void CFolderTreeCtrl1::CollectChecked(QTreeWidgetItem* item, std::vector<Handle>& out) const {
  if (IsChecked(item)) out.push_back(HandleOf(item));
  for (int i = 0; i < item->childCount(); ++i) CollectChecked(item->child(i), out);
}

std::vector<CFolderTreeCtrl1::Handle> CFolderTreeCtrl1::CheckedItems() const {
  std::vector<Handle> out;
  for (int i = 0; i < topLevelItemCount(); ++i) CollectChecked(topLevelItem(i), out);
  return out;
}

QRect CFolderTreeCtrl1::CheckBoxRect(const QTreeWidgetItem* item) const {
  const QModelIndex index = indexFromItem(item);
  if (!index.isValid()) return {};
  QStyleOptionViewItem option;
  initViewItemOption(&option);
  option.rect = visualRect(index);
  option.features |= QStyleOptionViewItem::HasCheckIndicator | QStyleOptionViewItem::HasDecoration |
                     QStyleOptionViewItem::HasDisplay;
  option.decorationSize = iconSize();
  option.text = item->text(0);
  option.icon = item->icon(0);
  return style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &option, this);
}

void CFolderTreeCtrl1::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) {
    QTreeWidgetItem* item = itemAt(event->position().toPoint());
    if (item != nullptr && CheckBoxRect(item).contains(event->position().toPoint())) {
      ToggleCheck(item);
      event->accept();
      return;
    }
  }
  QTreeWidget::mousePressEvent(event);
}

}  // namespace edbx::gui
