#pragma once
// The state of one program session: what the analysis found, the open database,
// the column maps, the paths and the texts shared by listing, preview and saving.
// Held in one object so that tests can make a fresh one; one worker at a time works
// on it (run control sees to that).

#include <cstdint>
#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <random>
#include <set>
#include <vector>

#include "common/text.hpp"
#include "pipeline/dialog_ops.hpp"
#include "pipeline/job_control.hpp"
#include "pipeline/recovery_lists.hpp"
#include "store/column_maps.hpp"
#include "store/esedb.hpp"
#include "store/value_text.hpp"

namespace edbx {

/// One table of the database, in catalog order.
struct TableEntry {
  int table_index = 0;
  u16 table_name;
  /// Open for the tables kept across the run ("Msg", "Mailbox", "Folders" and the
  /// attachment table); empty for the others.
  std::optional<EseTable> table;
  u16 table_key;
  int name_size = 0;  // UTF-16 units including the terminating NUL
};

/// The header texts of the item lister, shared with the previews and savers.
struct HeaderTexts {
  u16 from, subject, to, cc, bcc;
  u16 msg_row;         // the matched "Msg" row number
  u16 attachment_key;  // the matched attachment key
  void Clear() { *this = HeaderTexts{}; }
};

enum class AnalysisOutcome { kNone, kSuccess, kFailure };

/// Body kinds of the body file a preview shows.
inline constexpr int kBodyNone = 0;

/// The item being previewed or saved: the clicked row and what was found for it.
struct CurrentItem {
  ItemRow row{};  // key, kind, record, table or attachment key, From, Subject, Date, Att, To, Cc, Bcc
  u16 attachment_key;    // found for the item
  u16 attachment_names;  // each name followed by ";"
  int record_number = -1;
  std::filesystem::path body_file;
  int body_kind = kBodyNone;
  u16 body_text;
  std::optional<u16> fallback_body;  // save mode

  const u16& key() const { return row[0]; }
  const u16& kind() const { return row[1]; }
  /// Every field starts empty for each item, so nothing of the previous one shows.
  void Reset() { *this = CurrentItem{}; }
};

struct Session {
  explicit Session(DialogOps& dialog_ops) : dialog(&dialog_ops) {}

  DialogOps* dialog;
  JobControl job;

  // Paths.
  std::filesystem::path database_path;
  std::filesystem::path working_folder;     // "<chosen>/Vestra"
  std::filesystem::path startup_directory;  // status pages
  std::filesystem::path program_folder;
  // The status page: written by the worker and by the stop/resume button on the UI thread.
  std::mutex page_mutex;
  std::filesystem::path current_page_path;  // the page the preview pane shows
  u16 page_text;

  // The open store.
  std::optional<EseDatabase> db;
  u16 store_type;  // "", "private" or "public"
  uint32_t format_version = 0;
  uint32_t format_revision = 0;
  u16 attachment_table_name;
  std::vector<TableEntry> catalog;
  int kept_message_entry = -1;     // catalog entry of "Msg"
  int kept_attachment_entry = -1;  // catalog entry of the attachment table
  std::optional<EseTable> current_table;  // opened by OpenTableNamed
  std::optional<EseTable> body_table;     // newer layout: the previewed folder's body table
  u16 body_table_name;
  CurrentItem item;

  RecoveryLists lists;
  ColumnMaps maps;

  // Shared row-reading state.
  TreeItem mailbox_root_item = kNoTreeItem;
  TreeItem current_tree_item = kNoTreeItem;
  int current_row = 0;
  bool header_file_flag = false;
  HeaderTexts header;
  bool save_mode = false;
  /// Save mode: called by the item lister after it queued an item (the save dispatcher).
  std::function<void()> save_dispatch;

  AnalysisOutcome outcome = AnalysisOutcome::kNone;
  /// Tables already reported as unreadable in this run.
  std::set<u16> reported_tables;
  std::mt19937 page_names{std::random_device{}()};

  bool newer_layout() const { return format_revision > 16; }
  const EseTable* kept_message_table() const;
  const EseTable* kept_attachment_table() const;

  /// Context for record value text: revision, working folder and the header column.
  ValueContext value_context(int header_column = -1);

  /// Frees the current table and every kept table handle, then the database.
  void CloseDatabase();

  /// Tells the user once per run that a table cannot be read: the status text names the
  /// table and the reason, the diagnostic carries the library's error text.
  void ReportUnreadableTable(u16v table_name, u16v reason);
};

}  // namespace edbx
