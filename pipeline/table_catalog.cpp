#include "pipeline/table_catalog.hpp"

#include "pipeline/recovery_driver.hpp"
#include "pipeline/session.hpp"
#include "pipeline/texts.hpp"
#include "store/folder_extraction.hpp"
#include "store/message_classes.hpp"
#include "store/message_extraction.hpp"
#include "store/item_lister.hpp"
#include "store/table_walker.hpp"

namespace edbx {

u16 TableKey(u16v name) {
  const auto pieces = split(name, u'-');
  if (pieces.size() != 2) return u16();
  const u16& a = pieces[0];
  const u16& b = pieces[1];
  u16 zeros;
  if (a.size() >= 1 && a.size() <= 3 && b.size() <= 13) zeros.assign(14 - b.size(), u'0');
  return a + zeros + b;
}

int ScanCatalog(Session& session) {
  if (!session.db) return 0;
  const auto count = session.db->TableCount();
  if (!count || *count == 0) return 0;
  int result = 1;
  for (int i = 0; i < *count; ++i) {
    ClearStoreError();
    auto table = session.db->Table(i);
    std::optional<u16> name;
    if (table) name = table->Name();
    if (!table || !name) {
      // One damaged table definition must not hide the tables after it.
      result = -1;
      session.dialog->ReportDiagnostic(u"table " + decimal(i) + u" of the catalog cannot be read: " +
                                       utf8_to_utf16(LastStoreError()));
      continue;
    }
    TableEntry entry;
    entry.table_index = i;
    entry.table_name = *name;
    entry.table_key = TableKey(*name);
    entry.name_size = static_cast<int>(name->size() + 1);
    const bool keep = *name == u"Msg" || *name == u"Mailbox" || *name == u"Folders" ||
                      (!session.attachment_table_name.empty() && *name == session.attachment_table_name);
    if (keep) entry.table = std::move(*table);
    session.catalog.push_back(std::move(entry));
    const int index = static_cast<int>(session.catalog.size() - 1);
    if (*name == u"Msg") session.kept_message_entry = index;
    if (!session.attachment_table_name.empty() && *name == session.attachment_table_name)
      session.kept_attachment_entry = index;
  }
  return result;
}

namespace {
/// Opens catalog entry `entry` anew (tables not kept open are freed after use).
std::optional<EseTable> OpenEntry(Session& session, const TableEntry& entry) {
  ClearStoreError();
  auto table = session.db->Table(entry.table_index);
  if (!table) session.ReportUnreadableTable(entry.table_name, u"the table cannot be opened");
  return table;
}
}  // namespace

int ExtractTablesNamed(Session& session, u16v name) {
  if (!session.db) return -1;
  for (const auto& entry : session.catalog) {
    if (entry.table_name != name) continue;
    if (entry.table) {
      WalkTable(session, *entry.table, entry.table_name);
    } else if (auto table = OpenEntry(session, entry)) {
      WalkTable(session, *table, entry.table_name);
    }
  }
  return 1;
}

int ExtractFolderTables2010(Session& session, u16v name) {
  if (!session.db) return -1;
  for (const auto& entry : session.catalog)
    if (entry.table_name == name)
      if (auto table = OpenEntry(session, entry)) ExtractFolders2010(session, *table, entry.table_name);
  return 1;
}

int ExtractHeaderTables2010(Session& session, u16v name) {
  if (!session.db) return -1;
  for (const auto& entry : session.catalog)
    if (entry.table_name == name)
      if (auto table = OpenEntry(session, entry)) ExtractHeaders2010(session, *table, entry.table_name);
  return 1;
}

int ExtractBodyTables2010(Session& session, u16v name) {
  if (!session.db) return -1;
  for (const auto& entry : session.catalog) {
    if (entry.table_name != name) continue;
    try {
      if (auto table = OpenEntry(session, entry))
        ExtractBodies2010(session, *table, entry.table_index, entry.table_name);
    } catch (const std::exception&) {
      // An exception ends the loop; the remaining tables of the name are skipped.
      break;
    }
  }
  return 1;
}

int OpenTableNamed(Session& session, u16v name) {
  if (!session.db) return -1;
  for (const auto& entry : session.catalog) {
    if (entry.table_name != name) continue;
    session.current_table.reset();
    session.current_table = OpenEntry(session, entry);
    break;
  }
  return 1;
}

std::optional<EseTable> OpenCatalogTable(Session& session, u16v name) {
  if (!session.db) return std::nullopt;
  for (const auto& entry : session.catalog)
    if (entry.table_name == name) return OpenEntry(session, entry);
  return std::nullopt;
}

int ListFolderItems(Session& session, u16v folder_id) {
  if (!session.db) return -1;
  WriteBlankPage(session);
  if (folder_id.empty()) return 1;  // an empty id would match every table without a key
  const u16 key = to_upper(folder_id);
  for (const auto& entry : session.catalog) {
    if (entry.table_key.empty() || entry.table_key != key) continue;
    if (auto table = OpenEntry(session, entry)) ListContentTable(session, *table, entry.table_name);
  }
  return 1;
}

}  // namespace edbx
