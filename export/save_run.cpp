#include "export/save_run.hpp"

#include <map>
#include <system_error>

#include "common/paths.hpp"
#include "export/savers.hpp"
#include "pipeline/session.hpp"
#include "pipeline/table_catalog.hpp"

namespace edbx {

namespace fs = std::filesystem;

SaveCounts SaveTotals::Sum() const {
  SaveCounts sum;
  for (const auto& [kind, c] : by_kind) {
    sum.saved += c.saved;
    sum.skipped += c.skipped;
    sum.failed += c.failed;
  }
  return sum;
}

std::u16string SaveSummaryText(const SaveTotals& totals) {
  const SaveCounts sum = totals.Sum();
  u16 text = u"Saving Status: " + decimal(sum.saved) + u" item(s) saved, " + decimal(sum.skipped) + u" skipped, " +
             decimal(sum.failed) + u" failed";
  if (totals.stopped) text += u" (stopped)";
  return text;
}

namespace {

/// One folder of the run: its tree item, its path text and how its items are found.
struct FolderToSave {
  TreeItem item = kNoTreeItem;
  u16 path;
  u16 folder_id;
  const FolderRef2010* newer = nullptr;
};

bool Chosen(const SaveRequest& request, TreeItem item) {
  if (request.folders.empty()) return true;
  for (TreeItem f : request.folders)
    if (f == item) return true;
  return false;
}

std::vector<FolderToSave> FoldersToSave(const Session& s, const SaveRequest& request) {
  std::vector<FolderToSave> folders;
  if (s.newer_layout()) {
    // Folder paths from the parent links within the folder's own table.
    std::map<std::pair<u16, u16>, const FolderRef2010*> by_id;
    for (const auto& f : s.lists.folders_2010) by_id.emplace(std::pair{f.table_name, f.folder_id}, &f);
    for (const auto& f : s.lists.folders_2010) {
      if (f.tree_item == kNoTreeItem || !Chosen(request, f.tree_item)) continue;
      u16 path = f.display_name;
      const FolderRef2010* at = &f;
      for (int depth = 0; depth < 64; ++depth) {
        const auto parent = by_id.find({at->table_name, at->parent_id});
        if (parent == by_id.end() || parent->second == at || at->parent_id.empty()) break;
        at = parent->second;
        path = at->display_name + u"\\" + path;
      }
      if (!f.mailbox_display.empty()) path = f.mailbox_display + u"\\" + path;
      folders.push_back({f.tree_item, path, f.folder_id, &f});
    }
    return folders;
  }
  for (const auto& node : s.lists.tree_folders) {
    if (node.tree_item == kNoTreeItem || !Chosen(request, node.tree_item)) continue;
    u16 path = node.tree_path;
    if (!starts_with(path, u"\\")) path = u"\\" + path;
    path = node.mailbox_display.empty() ? path.substr(1) : node.mailbox_display + path;
    folders.push_back({node.tree_item, path, node.folder_id, nullptr});
  }
  return folders;
}

/// Rows of the folder's content tables (older layout): the items to do, at most.
int OlderRowCount(Session& s, u16v folder_id) {
  if (folder_id.empty()) return 0;
  const u16 key = to_upper(folder_id);
  int rows = 0;
  for (const auto& entry : s.catalog) {
    if (entry.table_key.empty() || entry.table_key != key) continue;
    if (auto table = OpenCatalogTable(s, entry.table_name))
      if (const auto count = table->RecordCount()) rows += *count;
  }
  return rows;
}

/// Queues and saves the items of a newer-layout folder from its header nodes and body table.
void SaveNewerFolder(Session& s, SaveContext& c, const FolderRef2010& folder) {
  const u16 body_name = replaced(folder.table_name, u"Folders", u"Body");
  s.body_table.reset();
  s.body_table_name.clear();
  if (auto table = OpenCatalogTable(s, body_name)) {
    s.body_table = std::move(table);
    s.body_table_name = body_name;
    s.maps.item.Build(*s.body_table, false);
  }
  c.message_table = s.body_table ? &*s.body_table : nullptr;
  int number = 0;
  for (const auto& h : s.lists.headers_2010) {
    if (h.folder_id != folder.folder_id) continue;
    if (folder.table_name != replaced(h.table_name, u"MsgHeader", u"Folders")) continue;
    if (!s.job.Checkpoint()) return;
    s.current_row = number++;
    SaveQueueNode node;
    node.item_key = h.message_key;
    node.kind = h.kind;
    node.sender = h.sender;
    node.subject = h.subject;
    node.date = h.date.value_or(u16());
    node.extra = h.has_attachments;
    if (s.body_table)
      if (const BodyNode2010* body = s.lists.FindBody(h.message_key, u16v(s.body_table_name))) {
        node.record_number = body->row_index;
        node.attachment_key = body->attachment_key;
      }
    s.lists.save_queue.push_back(std::move(node));
    SavePendingItems(s, c);
  }
}

int NewerItemCount(const Session& s, const FolderRef2010& folder) {
  int n = 0;
  for (const auto& h : s.lists.headers_2010)
    if (h.folder_id == folder.folder_id && folder.table_name == replaced(h.table_name, u"MsgHeader", u"Folders")) ++n;
  return n;
}

}  // namespace

SaveTotals RunSaveJob(Session& s, const SaveRequest& request) {
  DialogOps& d = *s.dialog;
  SaveContext c;
  c.saver.saver = s.program_folder / kSaverName;
  std::error_code ec;
  c.saver.output_root = fs::absolute(request.output_root.empty() ? fs::path("recovered") : request.output_root, ec);
  c.saver.mbox = request.mbox;
  const auto record_folder = RecordFolderFor(s.program_folder);
  std::optional<RecordFolderLock> lock;
  if (record_folder) {
    c.saver.record_folder = *record_folder;
    lock.emplace(*record_folder);
    c.lock = &*lock;
  } else {
    c.record_folder_usable = false;
  }
  std::vector<SaveKind> kinds = request.kinds;
  if (kinds.empty()) kinds.push_back(SaveKind::kAll);
  c.wanted = [kinds](u16v kind) {
    for (SaveKind k : kinds)
      if (KindChosen(k, kind)) return true;
    return false;
  };
  fs::create_directories(s.working_folder, ec);

  struct SaveMode {
    Session& s;
    ~SaveMode() {
      s.save_mode = false;
      s.save_dispatch = nullptr;
      s.lists.save_queue.clear();
      s.body_table.reset();
      s.body_table_name.clear();
      s.item.Reset();
    }
  } save_mode{s};
  s.save_mode = true;
  s.lists.save_queue.clear();
  s.save_dispatch = [&s, &c] { SavePendingItems(s, c); };

  const auto folders = FoldersToSave(s, request);
  for (const FolderToSave& folder : folders) {
    if (s.job.Cancelled()) break;
    c.folder_path = folder.path;
    const int todo = folder.newer ? NewerItemCount(s, *folder.newer) : OlderRowCount(s, folder.folder_id);
    int done = 0;
    d.SetProgressRange(0, std::max(todo, 1));
    auto progress = [&] {
      d.SetStatusText(u"Saving " + folder.path + u": " + decimal(done) + u" of " + decimal(todo) + u" items");
    };
    c.item_done = [&] {
      ++done;
      progress();
      if (folder.newer) d.SetProgressPos(done);
    };
    progress();
    if (folder.newer) {
      SaveNewerFolder(s, c, *folder.newer);
    } else if (const EseTable* msg = s.kept_message_table()) {
      c.message_table = msg;
      s.maps.item.Build(*msg, false);
      ListFolderItems(s, folder.folder_id);
    } else {
      c.message_table = nullptr;
      ListFolderItems(s, folder.folder_id);
    }
    d.SetProgressPos(0);
  }
  // Without a record folder every item fails with that reason (reported by the dispatcher).
  c.totals.stopped = s.job.Cancelled();
  d.SetStatusText(SaveSummaryText(c.totals));
  return c.totals;
}

}  // namespace edbx
