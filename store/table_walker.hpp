#pragma once
// The generic table walker of the kept tables ("Mailbox", "Folders", "Msg", the
// attachment table) and the mailbox row handler.

#include <optional>

#include "common/text.hpp"
#include "pipeline/dialog_ops.hpp"
#include "pipeline/session.hpp"
#include "store/esedb.hpp"

namespace edbx {

/// The progress position of table walks: 0, 1, ..., 100, then 1, ..., 100 again.
class CyclingProgress {
 public:
  void Step(DialogOps& dialog) {
    dialog.SetProgressPos(pos_);
    pos_ = pos_ == 100 ? 1 : pos_ + 1;
  }

 private:
  int pos_ = 0;
};

/// Builds the column map the table name selects, then hands every record to the row
/// handler of its table. Returns 1.
int WalkTable(Session& session, const EseTable& table, u16v table_name);

/// One row of "Mailbox": a mailbox node and its tree item. -1 without a record.
int HandleMailboxRow(Session& session, const EseRecord* record);

/// Reads the number of records of a table, reporting a table that cannot be walked.
std::optional<int> CountRecords(Session& session, const EseTable& table, u16v table_name);

/// Hands every record of the table to `visit(row, record)` in row order (null for a
/// record the library cannot read), stepping the cycling progress bar and stopping
/// between records when the job is cancelled; the bar is reset at the end.
template <typename Visit>
void VisitRecords(Session& session, const EseTable& table, u16v table_name, Visit&& visit) {
  const auto count = CountRecords(session, table, table_name);
  CyclingProgress progress;
  for (int r = 0; count && r < *count; ++r) {
    if (!session.job.Checkpoint()) break;
    session.current_row = r;
    progress.Step(*session.dialog);
    ClearStoreError();
    const auto record = table.Record(r);
    visit(r, record ? &*record : nullptr);
  }
  session.ReportDamagedPages(table_name, table.Problems());
  session.dialog->SetProgressPos(0);
}

}  // namespace edbx
