#include "pipeline/recovery_driver.hpp"

#include <algorithm>
#include <array>
#include <map>

#include "common/paths.hpp"
#include "pipeline/folder_classification.hpp"
#include "pipeline/session.hpp"
#include "pipeline/table_catalog.hpp"
#include "pipeline/texts.hpp"
#include "store/attachment_table.hpp"

namespace edbx {

void ShowStatusPage(Session& session, u16v html) {
  std::lock_guard lock(session.page_mutex);
  session.page_text = u16(html);
  const auto r = session.page_names() % 32768u;  // a C-library-sized random number
  session.current_page_path = session.startup_directory / ("temp" + std::to_string(r) + ".html");
  std::string bytes;
  bytes.reserve(html.size());
  for (char16_t c : html) bytes.push_back(static_cast<char>(c & 0xff));
  WriteWholeFile(session.current_page_path, bytes);  // a failure is ignored, as the navigation's is
  session.dialog->Navigate(session.current_page_path);
}

void WriteBlankPage(Session& session) {
  std::lock_guard lock(session.page_mutex);
  if (session.current_page_path.empty()) return;
  WriteWholeFile(session.current_page_path, utf16le_bytes(texts::kPageBlank));
  session.dialog->Navigate(session.current_page_path);
}

namespace {

void Status(Session& s, u16v text) { s.dialog->SetStatusText(text); }

int FailureEnd(Session& s) {
  DialogOps& d = *s.dialog;
  Status(s, texts::kStatusFailure);
  d.MessageBox(texts::kFailureMessage, texts::kFailureCaption, kBoxIconInformation | kBoxSystemModal);
  d.EnableControl(Control::kBrowseButton, true);
  d.EnableControl(Control::kOpenMenu, true);
  s.outcome = AnalysisOutcome::kFailure;
  return 1;
}

void PushTableRef(PushList<TableRef2010>& list, const u16& name, const std::vector<u16>& parts, bool public_store) {
  TableRef2010 ref{name, {}, {}, {}};
  if (parts.size() == 3 && !public_store) {
    ref.part1 = parts[1];
    ref.part2 = parts[2];
    ref.joined = parts[1] + u"-" + parts[2];
  }
  list.push(std::move(ref));
}

void RunNewerLayout(Session& s) {
  Status(s, texts::kStatusNewerLayout);
  const bool public_store = s.store_type != u"private";
  for (const auto& entry : s.catalog) {
    const auto parts = split(entry.table_name, u'-');
    const u16& p0 = parts[0];
    if (p0 == u"Folders") PushTableRef(s.lists.folder_tables_2010, entry.table_name, parts, public_store);
    else if (p0 == u"MsgHeader") PushTableRef(s.lists.header_tables_2010, entry.table_name, parts, public_store);
    else if (p0 == u"Body") PushTableRef(s.lists.body_tables_2010, entry.table_name, parts, public_store);
    else if (p0 == u"MsgView" && parts.size() == 5)
      s.lists.view_tables_2010.push({entry.table_name, parts[1], parts[2], parts[1] + u"-" + parts[2], parts[3],
                                     parts[4], parts[3] + u"-" + parts[4]});
  }
  for (const auto& ref : s.lists.folder_tables_2010) {
    if (ref.table_name.empty() || s.job.Cancelled()) continue;
    Status(s, texts::kStatusFolders2010 + ref.table_name);
    ExtractFolderTables2010(s, ref.table_name);
  }
  for (const auto& ref : s.lists.header_tables_2010) {
    if (ref.table_name.empty() || s.job.Cancelled()) continue;
    Status(s, texts::kStatusHeaders2010 + ref.table_name);
    ExtractHeaderTables2010(s, ref.table_name);
  }
  for (const auto& ref : s.lists.body_tables_2010) {
    if (ref.table_name.empty() || s.job.Cancelled()) continue;
    Status(s, texts::kStatusBodies2010 + ref.table_name);
    ExtractBodyTables2010(s, ref.table_name);
  }
  Status(s, texts::kStatusCompleted);
}

void RunOlderLayout(Session& s) {
  Status(s, texts::kStatusStep4);
  ExtractTablesNamed(s, u"Folders");
  if (!s.job.Checkpoint()) return;
  BuildFolderTree(s);
  if (!s.job.Checkpoint()) return;
  Status(s, texts::kStatusStep5Mails);
  ExtractTablesNamed(s, u"Msg");
  if (!s.job.Checkpoint()) return;
  Status(s, texts::kStatusStep5Attachments);
  ExtractTablesNamed(s, s.attachment_table_name);
}

}  // namespace

void BuildFolderTree(Session& s) {
  constexpr int kMaxDepth = 26;
  for (const auto& mailbox : s.lists.mailboxes) {
    // 1. The path records of the mailbox's folders, cleaned.
    std::vector<u16> records;
    for (const auto& f : s.lists.folders) {
      if (!f.mailbox_id || *f.mailbox_id != mailbox.mailbox_id) continue;
      u16 r = f.path_record;
      replace_all(r, u"%", u"_");
      replace_all(r, u".", u"_");
      erase_chars(r, u",?()");
      records.push_back(std::move(r));
    }
    // 2. Case-insensitive stable sort.
    std::vector<std::pair<u16, u16>> keyed;
    keyed.reserve(records.size());
    for (auto& r : records) keyed.emplace_back(to_lower(r), std::move(r));
    std::stable_sort(keyed.begin(), keyed.end(), [](const auto& a, const auto& b) { return a.first < b.first; });

    // 3. Insert. Slots and tree paths start empty for every mailbox, and a folder goes
    // under the item whose path is its parent's; the level slot is only the fallback.
    std::array<TreeItem, kMaxDepth + 1> slots{};
    std::array<u16, kMaxDepth + 1> tree_paths{};
    slots[0] = mailbox.tree_item;
    struct Placed {
      TreeItem item;
      u16 tree_path;
    };
    std::map<u16, Placed> by_path;
    for (const auto& [lowered, record] : keyed) {
      const auto pieces = split(record, u'/');
      const int depth = static_cast<int>(pieces.size()) - 1;
      const u16& leaf = pieces.back();
      const auto leaf_pieces = split(leaf, u'+');
      u16 name = leaf, kind, folder_id, path_piece = leaf;
      int row = 0;
      if (leaf_pieces.size() == 4) {
        name = path_piece = leaf_pieces[0];
        kind = leaf_pieces[1];
        row = static_cast<int>(leading_integer(leaf_pieces[2]));
        folder_id = leaf_pieces[3];
        if (!folder_id.empty())
          for (const auto& f : s.lists.folders)
            if (f.folder_id && *f.folder_id == folder_id) name = replaced(f.display_name, u"/", u"");
      }
      Status(s, texts::kStatusStep4Folder + name + u")");
      if (depth < 1 || depth > kMaxDepth) continue;
      u16 parent_path;
      for (int i = 0; i < depth; ++i) parent_path += (i ? u"/" : u"") + pieces[static_cast<std::size_t>(i)];
      TreeItem parent = slots[static_cast<std::size_t>(depth - 1)];
      u16 parent_tree_path = tree_paths[static_cast<std::size_t>(depth - 1)];
      if (depth == 1) {
        parent = mailbox.tree_item;
        parent_tree_path.clear();
      } else if (const auto it = by_path.find(parent_path); it != by_path.end()) {
        parent = it->second.item;
        parent_tree_path = it->second.tree_path;
      }
      if (parent == kNoTreeItem) parent = mailbox.tree_item;
      const TreeItem item = InsertFolderItem(s, name, parent, kind);
      const u16 tree_path = parent_tree_path + u"\\" + name;
      slots[static_cast<std::size_t>(depth)] = item;
      tree_paths[static_cast<std::size_t>(depth)] = tree_path;
      by_path[parent_path + u"/" + path_piece] = {item, tree_path};
      TreeFolderNode node;
      node.mailbox_id = mailbox.mailbox_id;
      node.mailbox_display = mailbox.display_name;
      node.mailbox_owner = mailbox.owner_text;
      node.folder_id = folder_id;
      node.folder_name = name;
      node.kind = kind;
      node.tree_item = item;
      node.tree_path = tree_path;
      node.row_index = row;
      node.level = depth;
      s.lists.tree_folders.push_back(std::move(node));
    }
  }
}

int RunAnalysis(Session& s) {
  DialogOps& d = *s.dialog;
  // 1.
  s.store_type.clear();
  s.outcome = AnalysisOutcome::kNone;
  s.reported_tables.clear();
  s.damaged_tables.clear();
  d.EnableControl(Control::kBrowseButton, false);
  d.EnableControl(Control::kSaveButton, false);
  d.EnableControl(Control::kOpenMenu, false);
  d.EnableControl(Control::kSaveMenu, false);
  // 2. Discard the previous run: every list, then every table handle, then the database.
  s.catalog.clear();
  s.lists.FreeAll();
  s.CloseDatabase();
  s.attachment_table_name.clear();
  s.format_version = s.format_revision = 0;
  // 3.
  Status(s, texts::kStatusStep1);
  ShowStatusPage(s, texts::kPagePleaseWait);
  // 4-5. Open read-only; 7. the header.
  EseOpenFailure failure = EseOpenFailure::kNone;
  ClearStoreError();
  auto db = EseDatabase::Open(s.database_path, &failure);
  if (!db) {
    if (failure == EseOpenFailure::kInitialize) Status(s, texts::kStatusUnableToInitialize);
    d.ReportDiagnostic(utf8_to_utf16(s.database_path.string() + ": " + LastStoreError()));
    return FailureEnd(s);  // also a file without header information
  }
  s.db = std::move(*db);
  s.format_version = s.db->FormatVersion();
  s.format_revision = s.db->FormatRevision();
  // 6.
  s.attachment_table_name = FindAttachmentTableName(*s.db);
  // 8.
  const int scan = ScanCatalog(s);
  if (scan == -1) Status(s, texts::kStatusUnableToRecover);
  d.EnableControl(Control::kFolderTree, false);
  if (scan == 1) Status(s, texts::kStatusStep2);
  // 9.
  for (const auto& entry : s.catalog) {
    if (entry.table_name == u"Mailbox") s.store_type = u"private";
    if (entry.table_name == u"Msg" && s.format_revision > 16) s.format_revision = 15;
  }
  // 10.
  if (s.store_type != u"private") {
    s.store_type = u"public";
    MailboxNode pseudo;
    pseudo.mailbox_id = texts::kPublicMailboxId;
    pseudo.mailbox_key_2010 = u16(texts::kPublicMailboxId);
    pseudo.display_name = texts::kPublicFolder;
    pseudo.owner_text = texts::kPublicFolder;
    pseudo.tree_item = InsertFolderItem(s, texts::kPublicFolder, s.mailbox_root_item, u"");
    s.lists.mailboxes.push_back(std::move(pseudo));
  } else {
    Status(s, texts::kStatusStep3);
    ExtractTablesNamed(s, u"Mailbox");
  }
  // 11-13.
  if (s.job.Checkpoint()) {
    if (s.format_revision > 16) RunNewerLayout(s);
    else RunOlderLayout(s);
  }
  // 14. Success end; a catalog that could not be read whole ends with the failure
  // message, but what was read stays browsable.
  Status(s, texts::kStatusCompleted);
  if (scan == 1 || !s.catalog.empty()) d.EnableControl(Control::kFolderTree, true);
  ShowStatusPage(s, texts::kPageCompleted);
  d.EnableControl(Control::kBrowseButton, true);
  d.EnableControl(Control::kSaveButton, true);
  d.EnableControl(Control::kOpenMenu, true);
  d.EnableControl(Control::kSaveMenu, true);
  if (scan == -1) {
    d.MessageBox(texts::kFailureMessage, texts::kFailureCaption, kBoxIconInformation | kBoxSystemModal);
    s.outcome = AnalysisOutcome::kFailure;
  } else {
    d.MessageBox(texts::kSuccessMessage, texts::kSuccessCaption, kBoxIconInformation | kBoxSystemModal);
    s.outcome = AnalysisOutcome::kSuccess;
  }
  Status(s, u"");
  return 1;
}

}  // namespace edbx
