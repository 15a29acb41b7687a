#include "store/table_walker.hpp"

#include "pipeline/folder_classification.hpp"
#include "pipeline/session.hpp"
#include "store/message_extraction.hpp"
#include "store/value_text.hpp"

namespace edbx {

std::optional<int> CountRecords(Session& session, const EseTable& table, u16v table_name) {
  ClearStoreError();
  auto count = table.RecordCount();
  if (!count) {
    const std::string& error = LastStoreError();
    const bool limit = error.find("leaf pages value exceeds maximum") != std::string::npos;
    session.ReportUnreadableTable(table_name, limit ? u"too many pages for the database library"
                                                    : u"its records cannot be read");
  }
  return count;
}

int WalkTable(Session& session, const EseTable& table, u16v name) {
  enum class Kind { kOther, kMailbox, kFolders, kMessages, kAttachments };
  Kind kind = Kind::kOther;
  if (!session.attachment_table_name.empty() && name == session.attachment_table_name) kind = Kind::kAttachments;
  else if (name == u"Msg") kind = Kind::kMessages;
  else if (name == u"Mailbox") kind = Kind::kMailbox;
  else if (name == u"Folders") kind = Kind::kFolders;

  if (const auto columns = table.ColumnCount(); columns && *columns > 0) {
    switch (kind) {
      case Kind::kMailbox: session.maps.mailbox.Build(table, false); break;
      case Kind::kFolders: session.maps.folder.Build(table, false); break;
      case Kind::kAttachments: session.maps.attachment.Build(table, false); break;
      case Kind::kMessages:
        session.maps.item.Build(table, false);
        session.maps.message_key.Build(table, false);
        break;
      case Kind::kOther: break;
    }
  }
  bool reported = false;
  VisitRecords(session, table, name, [&](int r, const EseRecord* record) {
    if (!record && !reported) {
      // A table whose records the library refuses (a derived table with columns of its
      // own): report it once, then go on with what can be read.
      session.ReportUnreadableTable(name, u"its records cannot be read");
      reported = true;
    }
    switch (kind) {
      case Kind::kAttachments: HandleAttachmentRow(session, record); break;
      case Kind::kMessages: HandleMessageRow(session, record); break;
      case Kind::kMailbox: HandleMailboxRow(session, record); break;
      case Kind::kFolders: AddFolderRow(session, record, r); break;
      case Kind::kOther: break;
    }
  });
  return 1;
}

int HandleMailboxRow(Session& session, const EseRecord* record) {
  if (record == nullptr) return -1;
  const ColumnMap& map = session.maps.mailbox;
  const ValueContext ctx = session.value_context();
  MailboxNode node;
  node.mailbox_id = IdText(*record, map["Q6764"]).value_or(u16());
  if (session.newer_layout()) node.mailbox_key_2010 = StoreIdText(*record, map["Q6764"], ctx).value_or(u16());
  node.owner_text = RecordValueText(*record, map["S6773"], ctx).value_or(u16());
  node.display_name = replaced(RecordValueText(*record, map["S3001"], ctx).value_or(u16()), u",", u"_");
  node.tree_item = InsertFolderItem(session, node.display_name, session.mailbox_root_item, u"");
  session.current_tree_item = node.tree_item;
  session.lists.mailboxes.push_back(std::move(node));
  return 1;
}

}  // namespace edbx
