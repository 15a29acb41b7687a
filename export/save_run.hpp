#pragma once
// The save command shared by the desktop program and the command line: a save run
// over the chosen folders of an analysed session, one item at a time through the
// gatherers and the external saver, with the outcome counted per kind.

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "pipeline/dialog_ops.hpp"

namespace edbx {

struct Session;

/// The four export options: "Export Email Items", "Export Contact Items",
/// "Export Calendar Items" and "Export All Items".
enum class SaveKind { kMail, kContact, kCalendar, kAll };

struct SaveRequest {
  std::vector<SaveKind> kinds;          ///< empty = all
  std::vector<TreeItem> folders;        ///< tree items of the folders to save; empty = all folders
  std::filesystem::path output_root;    ///< where mailsaving writes (MAILSAVING_OUT)
  bool mbox = false;                    ///< mailsaving also appends each mail to its folder's mbox file
};

struct SaveCounts {
  int saved = 0, skipped = 0, failed = 0;
};

struct SaveTotals {
  /// By item kind word: "mail", "contact", "appointment", "task", "notes", "activity".
  std::map<std::string, SaveCounts> by_kind;
  bool stopped = false;  ///< the job was cancelled before every item was handled
  /// Why items failed, once per reason (saver missing, record folder not writable, ...).
  std::vector<std::string> problems;

  SaveCounts Sum() const;
};

/// Runs on the calling (worker) thread over an analysed session: progress through
/// session.dialog (status text "items done of items to do" per folder, progress bar),
/// stops between items when session.job is cancelled, pauses at its checkpoints.
SaveTotals RunSaveJob(Session& session, const SaveRequest& request);

/// "Saving Status: N item(s) saved, M skipped, F failed": the text shown at the end of a run.
std::u16string SaveSummaryText(const SaveTotals& totals);

}  // namespace edbx
