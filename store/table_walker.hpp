#pragma once
// The generic table walker of the kept tables ("Mailbox", "Folders", "Msg", the
// attachment table) and the mailbox row handler.

#include <optional>

#include "common/text.hpp"
#include "pipeline/dialog_ops.hpp"

namespace edbx {

struct Session;
class EseTable;
class EseRecord;

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

}  // namespace edbx
