#pragma once
// The newer layout's per-mailbox folder tables: one tree item per folder, placed
// flat under its mailbox, and the folder list the listing reads.

#include "common/text.hpp"

namespace edbx {

struct Session;
class EseTable;

/// Reads one folder table. Returns 1, or -1 when its columns cannot be read.
int ExtractFolders2010(Session& session, const EseTable& table, u16v table_name);

}  // namespace edbx
