#pragma once
// The folder tree: one root item for the database, the stores, mailboxes and folders
// under it, each with its icon and a check box. Checking an item checks everything
// below it; an ancestor is checked when none of its children is unchecked; an item is
// bold when it is checked or has a checked item below it.

#include <QTreeWidget>

#include <cstdint>
#include <unordered_map>
#include <vector>

namespace edbx::gui {

class CFolderTreeCtrl1 : public QTreeWidget {
  Q_OBJECT

 public:
  explicit CFolderTreeCtrl1(QWidget* parent = nullptr);

  /// Handles the pipeline keeps for tree items (0 is no item).
  using Handle = std::uint64_t;

  /// Inserts `name` as the last child of `parent` (0 or an unknown handle: at the top)
  /// with the image-list icon `icon`; returns its handle.
  Handle InsertItem(const QString& name, Handle parent, int icon);
  QTreeWidgetItem* ItemOf(Handle handle) const;
  Handle HandleOf(const QTreeWidgetItem* item) const;
  /// Removes every item; their handles are no longer valid.
  void ClearAll();

  static bool IsChecked(const QTreeWidgetItem* item);
  static bool IsBold(const QTreeWidgetItem* item);
  /// A click on the item's check box: toggles it and propagates the check and bold states.
  void ToggleCheck(QTreeWidgetItem* item);
  /// The checked items, in tree order.
  std::vector<Handle> CheckedItems() const;
  /// The check box of `item` in viewport coordinates (empty when it is not shown).
  QRect CheckBoxRect(const QTreeWidgetItem* item) const;

 signals:
  /// The current item changed (0 when none).
  void FolderSelected(edbx::gui::CFolderTreeCtrl1::Handle handle);

 protected:
  void mousePressEvent(QMouseEvent* event) override;

 private:
  static void SetState(QTreeWidgetItem* item, bool checked);
  static void SetBold(QTreeWidgetItem* item, bool bold);
  void CollectChecked(QTreeWidgetItem* item, std::vector<Handle>& out) const;

  std::unordered_map<Handle, QTreeWidgetItem*> items_;
  Handle next_handle_ = 1;
};

}  // namespace edbx::gui
