#include "pipeline/folder_classification.hpp"

#include <array>

#include "pipeline/session.hpp"
#include "store/value_text.hpp"

namespace edbx {

u16 ClassifyFolderKind(u16v c) {
  if (!starts_with(c, u"IPF.") && !starts_with(c, u"IPM.")) return u"Folder";
  if (c == u"IPF.Appointment" || c == u"IPM.Appointment") return u"calendar";
  if (c == u"IPF.Journal" || c == u"IPM.Journal") return u"journal";
  if (c == u"IPF.Contact" || c == u"IPM.Contact") return u"contact";
  if (c == u"IPF.Task" || c == u"IPM.Task" || c == u"IPF.TaskRequest" || c == u"IPM.TaskRequest") return u"task";
  if (c == u"IPF.StickyNote" || c == u"IPM.StickyNote") return u"note";
  return u16(c);
}

int FolderIcon(u16v name, u16v kind) {
  struct Rule {
    int icon;
    const char16_t* name;
    std::array<const char16_t*, 9> kinds;
  };
  static const Rule kRules[] = {
      {3, u"CALENDAR", {u"calendar", u"IPF.Appointment", u"IPM.Appointment", u"IPF_Appointment", u"IPM_Appointment"}},
      {4, u"CONTACTS", {u"contact", u"IPF.Contact", u"IPM.Contact", u"IPF_Contact", u"IPM_Contact"}},
      {5, u"DELETED ITEMS", {}},
      {6, u"DRAFTS", {}},
      {7, u"INBOX", {}},
      {8, u"JOURNAL",
       {u"journal", u"IPF.Journal", u"IPM.Journal", u"IPF_Journal", u"IPM_Journal", u"IPF_Activity", u"IPM_Activity",
        u"IPF.Activity", u"IPM.Activity"}},
      {9, u"JUNK E-MAILS", {}},
      {10, u"NOTES", {u"note", u"IPF.StickyNote", u"IPM.StickyNote", u"IPF_StickyNote", u"IPM_StickyNote"}},
      {11, u"OUTBOX", {}},
      {12, u"SENT ITEMS", {}},
      {13, u"TASKS", {u"task", u"IPF.Task", u"IPM.Task", u"IPF_Task", u"IPM_Task"}},
      {14, u"SYNC ISSUES", {}},
  };
  const u16 upper = to_upper(name);
  for (const auto& r : kRules) {
    if (upper == r.name) return r.icon;
    for (const char16_t* k : r.kinds)
      if (k != nullptr && kind == k) return r.icon;
  }
  return 0;
}

TreeItem InsertFolderItem(Session& session, u16v name, TreeItem parent, u16v kind) {
  DialogOps& dialog = *session.dialog;
  TreeItem item;
  if (parent == kTreeRoot) {
    item = dialog.InsertTreeItem(name, kTreeRoot, 0);
    session.mailbox_root_item = item;
  } else {
    item = dialog.InsertTreeItem(name, parent, FolderIcon(name, kind));
  }
  if (session.mailbox_root_item != kNoTreeItem) dialog.ExpandTreeItem(session.mailbox_root_item);
  return item;
}

u16 ContentTableName(const std::optional<u16>& folder_id) {
  if (!folder_id || folder_id->size() < 2) return u"1-";
  u16 digits = folder_id->substr(1, 14);
  std::size_t zeros = 0;
  while (zeros < digits.size() && digits[zeros] == u'0') ++zeros;
  if (zeros < digits.size()) digits.erase(0, zeros);
  return u"1-" + to_upper(digits);
}

int AddFolderRow(Session& session, const EseRecord* record, int n) {
  if (record == nullptr) return -1;
  const ColumnMap& map = session.maps.folder;
  const ValueContext ctx = session.value_context();
  auto text = [&](const char* column) { return RecordValueText(*record, map[column], ctx).value_or(u16()); };
  auto id = [&](const char* column) { return IdText(*record, map[column]).value_or(u16()); };

  std::optional<u16> folder_id = id("Q6748");
  if (folder_id->size() < 9) folder_id.reset();
  std::optional<u16> mailbox_id = id("Q6764");
  if (mailbox_id->empty()) mailbox_id.reset();
  u16 display_name = text("S3001");
  if (display_name.empty()) display_name = u"Unknown" + decimal(n);
  const u16 kind = ClassifyFolderKind(text("S3613"));
  u16 path = text("S6707");
  if (path.empty()) path = u"/Unknown" + decimal(n);
  replace_all(path, u"/NON_IPM_SUBTREE", u"");
  u16 folder_path;
  u16 path_record;
  if (path != u"/") {
    replace_all(path, u"%23", u"#");
    replace_all(path, u"%2B", u"-");
    folder_path = path;
    replace_all(path, u"+", u" ");
    path_record = path + u"+" + kind + u"+" + decimal(n) + u"+" + folder_id.value_or(u16());
  }
  std::optional<u16> parent_id = id("Q6749");
  if (parent_id->empty()) parent_id.reset();
  const u16 content_table = ContentTableName(folder_id);

  for (const auto& mb : session.lists.mailboxes) {
    if (mb.mailbox_id.size() < 3) continue;
    const bool public_box = mb.mailbox_id == u"public_folder";
    if (!(mailbox_id && mb.mailbox_id == *mailbox_id) && !public_box) continue;
    FolderNode node;
    node.folder_id = folder_id;
    node.parent_id = parent_id;
    node.mailbox_id = public_box ? std::optional<u16>(u"public_folder") : mailbox_id;
    node.folder_path = folder_path;
    node.display_name = display_name;
    node.content_table = content_table;
    node.kind = kind;
    node.mailbox_display = mb.display_name;
    node.path_record = path_record;
    node.row_index = n;
    session.lists.folders.push_back(std::move(node));
  }
  return 1;
}

}  // namespace edbx
