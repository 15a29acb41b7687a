#pragma once
// Save mode's dispatcher and the gatherers of every kind: each item's body,
// attachments and MIME file go to the working folder, its record to the record
// folder, and the external saver is started and waited for, one item at a time.

#include <functional>
#include <optional>
#include <string>

#include "common/text.hpp"
#include "export/save_run.hpp"
#include "export/saver_launch.hpp"

namespace edbx {

struct Session;
class EseTable;

/// What one save run shares between its items.
struct SaveContext {
  SaverSetup saver;
  bool record_folder_usable = true;  ///< false: every item fails (no folder for the records)
  RecordFolderLock* lock = nullptr;
  /// The table the items' records are read from: "Msg" (older layout) or the folder's
  /// body table (newer layout).
  const EseTable* message_table = nullptr;
  u16 folder_path;  ///< "Mailbox\Folder\Sub"
  /// Whether an item of this kind word is to be saved (the chosen export options).
  std::function<bool(u16v kind)> wanted;
  /// Called after every handled item (progress).
  std::function<void()> item_done;
  SaveTotals totals;
};

enum class ItemOutcome { kSaved, kSkipped, kFailed };

struct GatherResult {
  ItemOutcome outcome = ItemOutcome::kSkipped;
  std::string problem;  ///< why it was not saved, when it failed
};

/// The kind word under which an item is counted: "mail" for every kind the mail gatherer
/// takes, otherwise the kind itself.
std::string CountedKind(u16v kind);
/// Whether a kind word belongs to an export option.
bool KindChosen(SaveKind option, u16v kind);

/// Handles every queued item in order and leaves the queue empty. Items of kinds not
/// chosen are dropped without being counted.
void SavePendingItems(Session& session, SaveContext& context);

GatherResult SaveMail(Session& session, SaveContext& context);
GatherResult SaveContact(Session& session, SaveContext& context);
GatherResult SaveAppointment(Session& session, SaveContext& context);
GatherResult SaveNote(Session& session, SaveContext& context);
GatherResult SaveTask(Session& session, SaveContext& context);
/// Prepares the journal item's body and attachments; hands nothing to the saver.
GatherResult PrepareJournalBody(Session& session, SaveContext& context);

}  // namespace edbx
