#pragma once
// The table catalog: every table of the database in catalog order, the table key
// that finds an older-layout folder's item table, and the operations that hand
// tables by exact name to their extractors.

#include <optional>

#include "common/text.hpp"
#include "store/esedb.hpp"

namespace edbx {

struct Session;

/// "A-B" with a first piece of 1 to 3 characters and a second of at most 13 gives
/// A + "0" * (14 - |B|) + B; other two-piece names give A + B; other names give "".
u16 TableKey(u16v table_name);

/// Lists every table into the catalog, keeping "Msg", "Mailbox", "Folders" and the
/// attachment table open. 1 all listed, 0 no tables, -1 some table could not be read
/// (it is skipped, the rest are listed).
int ScanCatalog(Session& session);

/// The dispatch operations; each returns -1 without an open database, else 1.
int ExtractTablesNamed(Session& session, u16v name);
int ExtractFolderTables2010(Session& session, u16v name);
int ExtractHeaderTables2010(Session& session, u16v name);
int ExtractBodyTables2010(Session& session, u16v name);
int OpenTableNamed(Session& session, u16v name);
/// Opens the first catalog table with this name; nullopt when there is none or it cannot be opened.
std::optional<EseTable> OpenCatalogTable(Session& session, u16v name);
/// Lists the items of the older-layout folder whose id is given. An empty id lists nothing.
int ListFolderItems(Session& session, u16v folder_id);

}  // namespace edbx
