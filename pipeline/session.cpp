#include "pipeline/session.hpp"

namespace edbx {

const EseTable* Session::kept_message_table() const {
  if (kept_message_entry < 0 || static_cast<std::size_t>(kept_message_entry) >= catalog.size()) return nullptr;
  const auto& t = catalog[static_cast<std::size_t>(kept_message_entry)].table;
  return t ? &*t : nullptr;
}

const EseTable* Session::kept_attachment_table() const {
  if (kept_attachment_entry < 0 || static_cast<std::size_t>(kept_attachment_entry) >= catalog.size()) return nullptr;
  const auto& t = catalog[static_cast<std::size_t>(kept_attachment_entry)].table;
  return t ? &*t : nullptr;
}

ValueContext Session::value_context(int header_column) {
  ValueContext c;
  c.format_revision = format_revision;
  c.working_folder = working_folder;
  c.header_column = header_column;
  c.header_file_flag = &header_file_flag;
  return c;
}

void Session::CloseDatabase() {
  current_table.reset();
  body_table.reset();
  body_table_name.clear();
  for (auto& e : catalog) e.table.reset();
  kept_message_entry = -1;
  kept_attachment_entry = -1;
  db.reset();
}

void Session::ReportDamagedPages(u16v table_name, const std::vector<std::string>& problems) {
  if (problems.empty() || !damaged_tables.insert(u16(table_name)).second) return;
  dialog->SetStatusText(u"Status: Table " + u16(table_name) + u": damaged pages skipped (" +
                        utf8_to_utf16(problems.front()) + u")");
  u16 detail = u"table " + u16(table_name) + u": " + decimal(static_cast<std::int64_t>(problems.size())) +
               u" damaged pages skipped";
  for (const std::string& problem : problems) detail += u"\n" + utf8_to_utf16(problem);
  dialog->ReportDiagnostic(detail);
}

void Session::ReportUnreadableTable(u16v table_name, u16v reason) {
  if (!reported_tables.insert(u16(table_name)).second) return;
  dialog->SetStatusText(u"Status: Table " + u16(table_name) + u" skipped: " + u16(reason));
  u16 detail = u"table " + u16(table_name) + u": " + u16(reason);
  if (!LastStoreError().empty()) detail += u"\n" + utf8_to_utf16(LastStoreError());
  dialog->ReportDiagnostic(detail);
}

}  // namespace edbx
