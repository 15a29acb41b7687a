#include "preview/preview_worker.hpp"

#include <system_error>

#include "pipeline/session.hpp"
#include "pipeline/table_catalog.hpp"
#include "preview/page_framework.hpp"
#include "preview/renderers.hpp"
#include "store/esedb.hpp"

namespace edbx {

void ShowPreview(Session& s, const ItemRow& row) {
  // Nothing of the previous item may show in this one.
  s.item.Reset();
  s.item.row = row;
  DialogOps& d = *s.dialog;
  d.EnableControl(Control::kFolderTree, false);
  d.EnableControl(Control::kItemList, false);
  if (!s.item.key().empty()) {
    std::error_code ec;
    std::filesystem::create_directories(s.working_folder, ec);
    if (s.newer_layout()) DispatchNewerPreview(s);
    else DispatchOlderPreview(s);
  }
  d.EnableControl(Control::kFolderTree, true);
  d.EnableControl(Control::kItemList, true);
}

int DispatchNewerPreview(Session& s) {
  CurrentItem& item = s.item;
  item.attachment_key.clear();
  item.row[8].clear();
  item.row[9].clear();
  item.row[10].clear();
  item.record_number = -1;

  // The body table of the item's folder, kept open until another folder is listed.
  const u16 body_name = replaced(item.row[3], u"Folders", u"Body");
  if (!s.body_table || s.body_table_name != body_name) {
    s.body_table.reset();
    s.body_table_name.clear();
    if (auto table = OpenCatalogTable(s, body_name)) {
      s.body_table = std::move(table);
      s.body_table_name = body_name;
    }
  }
  if (item.key().empty()) return 1;

  // Only a body row of this very table and key belongs to the item; without one the
  // page shows no body rather than some other item's.
  if (s.body_table)
    if (const BodyNode2010* node = s.lists.FindBody(item.key(), u16v(s.body_table_name))) {
      item.record_number = node->row_index;
      item.attachment_key = node->attachment_key;
    }
  CollectAttachments(s);

  std::optional<EseRecord> record;
  if (s.body_table) {
    s.maps.item.Build(*s.body_table, false);
    if (item.record_number >= 0) record = s.body_table->Record(item.record_number);
  }
  const EseRecord* r = record ? &*record : nullptr;
  const u16& kind = item.kind();
  if (kind == u"contact") ShowContactPage(s, r);
  else if (kind == u"appointment") ShowAppointmentPage(s, r);
  else if (kind == u"task") ShowTaskPage(s, r);
  else if (kind == u"notes") ShowNotePage(s, r);
  else ShowMailPage(s, r);  // "mail", "activity" and every other kind
  return 1;
}

int DispatchOlderPreview(Session& s) {
  CurrentItem& item = s.item;
  item.attachment_key = item.row[3];
  const u16& number = item.row[2];
  // A row whose "Msg" row was not found has no number: it is not read from row 0.
  const bool has_number = !number.empty() && number[0] >= u'0' && number[0] <= u'9';
  item.record_number = has_number ? static_cast<int>(leading_integer(number)) : -1;
  if (item.key().empty()) return 1;
  CollectAttachments(s);

  const EseTable* msg = s.kept_message_table();
  if (msg == nullptr || item.record_number < 0) return 1;
  s.maps.item.Build(*msg, false);
  const auto record = msg->Record(item.record_number);
  if (!record) return 1;
  const u16& kind = item.kind();
  if (kind == u"contact") ShowContactPage(s, &*record);
  else if (kind == u"appointment") ShowAppointmentPage(s, &*record);
  else if (kind == u"activity") ShowJournalPage(s, &*record);
  else if (kind == u"task") ShowTaskPage(s, &*record);
  else if (kind == u"notes") ShowNotePage(s, &*record);
  else ShowMailPage(s, &*record);  // "mail" and every other kind
  return 1;
}

}  // namespace edbx
