#include "store/folder_extraction.hpp"

#include "pipeline/folder_classification.hpp"
#include "pipeline/session.hpp"
#include "store/table_walker.hpp"
#include "store/value_text.hpp"

namespace edbx {

int ExtractFolders2010(Session& session, const EseTable& table, u16v table_name) {
  ColumnMap& map = session.maps.folder;
  if (!map.Build(table, true)) return -1;
  const int c_id = map["Q6748"], c_parent = map["Q6749"], c_mailbox = map["Q6764"], c_name = map["S3001"],
            c_class = map["S3613"];
  const bool private_store = session.store_type == u"private";
  const ValueContext ctx = session.value_context();

  // The mailbox matched last carries over from row to row within the table.
  u16 carried_display;
  TreeItem carried_item = kNoTreeItem;
  VisitRecords(session, table, table_name, [&](int, const EseRecord* record) {
    u16 folder_id, parent_id, mailbox_id = u"public_folder", display_name, container_class;
    if (record) {
      folder_id = (private_store ? IdText(*record, c_id) : StoreIdText(*record, c_id, ctx)).value_or(u16());
      parent_id = IdText(*record, c_parent).value_or(u16());
      if (private_store) mailbox_id = IdText(*record, c_mailbox).value_or(u16());
      display_name = RecordValueText(*record, c_name, ctx).value_or(u16());
      container_class = RecordValueText(*record, c_class, ctx).value_or(u16());
    } else if (private_store) {
      mailbox_id.clear();
    }
    const u16 kind = ClassifyFolderKind(container_class);
    if (display_name == u"Restriction") return;
    for (const auto& mb : session.lists.mailboxes) {
      if (mb.mailbox_id != mailbox_id) continue;
      carried_display = mb.display_name;
      carried_item = mb.tree_item;
    }
    if (parent_id != u"0" && carried_item != kNoTreeItem) {
      const TreeItem item = InsertFolderItem(session, display_name, carried_item, kind);
      session.current_tree_item = item;
      session.lists.folder_items_2010.push_back({folder_id, parent_id, mailbox_id, display_name, kind, item});
    }
  });
  for (const auto& f : session.lists.folder_items_2010)
    session.lists.folders_2010.push({f.folder_id, f.parent_id, f.mailbox_id, carried_display, u16(table_name),
                                     f.display_name, f.kind, f.tree_item});
  session.lists.folder_items_2010.clear();
  session.dialog->SetProgressPos(0);
  return 1;
}

}  // namespace edbx
