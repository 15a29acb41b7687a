#pragma once
// Collecting the keys of items and attachments: the older layout's "Msg" and
// attachment rows, the newer layout's message-header and body tables.

#include "common/text.hpp"

namespace edbx {

struct Session;
class EseTable;
class EseRecord;

/// One "Msg" row: its item key, row number and attachment key. -1 without a record.
int HandleMessageRow(Session& session, const EseRecord* record);
/// One attachment-table row: owner key, cleaned file name, row number. -1 without a record.
int HandleAttachmentRow(Session& session, const EseRecord* record);

/// One newer-layout message-header table. Returns 1, or -1 when its columns cannot be read.
int ExtractHeaders2010(Session& session, const EseTable& table, u16v table_name);
/// One newer-layout body table (item rows and attachment rows). Returns 1.
int ExtractBodies2010(Session& session, const EseTable& table, int table_index, u16v table_name);

}  // namespace edbx
