#include "store/message_extraction.hpp"

#include "common/paths.hpp"
#include "pipeline/session.hpp"
#include "store/message_classes.hpp"
#include "store/table_walker.hpp"
#include "store/value_text.hpp"

namespace edbx {

int HandleMessageRow(Session& session, const EseRecord* record) {
  if (record == nullptr) return -1;
  MessageKeyNode node;
  node.message_key = IdText(*record, session.maps.message_key["N67b0"]).value_or(u16());
  node.row_index = session.current_row;
  u16 attachment_key = export_handle_export_binary_record_value(*record, session.maps.item["N67b3"]).value_or(u16());
  if (!attachment_key.empty()) node.attachment_key = std::move(attachment_key);
  session.lists.message_keys.push(std::move(node));
  return 1;
}

int HandleAttachmentRow(Session& session, const EseRecord* record) {
  if (record == nullptr) return -1;
  const ColumnMap& map = session.maps.attachment;
  const ValueContext ctx = session.value_context();
  AttachmentNode node;
  node.owner_key = IdText(*record, map["Q3f88"]).value_or(u16());
  u16 name = RecordValueText(*record, map["S3001"], ctx).value_or(u16());
  if (name.empty()) name = RecordValueText(*record, map["S3704"], ctx).value_or(u16());
  node.file_name = CleanAttachmentName(name);
  node.row_index = session.current_row;
  session.lists.attachments.push(std::move(node));
  return 1;
}

int ExtractHeaders2010(Session& session, const EseTable& table, u16v table_name) {
  ColumnMap& map = session.maps.header;
  if (!map.Build(table, true)) return -1;
  const int c_key = map["N67b0"], c_folder = map["Q6748"], c_class = map["S1a"], c_sender = map["S42"],
            c_subject = map["Se1d"], c_prefix = map["S3d"], c_topic = map["S70"], c_attach = map["Be1b"],
            c_delivery = map["Te06"], c_created = map["T3007"], c_submit = map["T39"];
  const bool private_store = session.store_type == u"private";
  const ValueContext ctx = session.value_context();
  VisitRecords(session, table, table_name, [&](int, const EseRecord* record) {
    if (!record) return;  // every text would be empty: the row is not listed
    auto text = [&](int column) { return RecordValueText(*record, column, ctx).value_or(u16()); };
    HeaderNode2010 h;
    h.message_key = IdText(*record, c_key).value_or(u16());
    if (h.message_key == u"2a2a2a2a2a2a2a2a") return;
    h.folder_id = (private_store ? IdText(*record, c_folder) : StoreIdText(*record, c_folder, ctx)).value_or(u16());
    h.kind = HeaderItemKind(text(c_class));
    if (IsExcludedHeaderKind(h.kind)) return;
    h.sender = text(c_sender);
    h.subject = text(c_subject);
    h.subject_prefix = text(c_prefix);
    h.conversation_topic = text(c_topic);
    h.has_attachments = text(c_attach);
    if (!h.subject_prefix.empty()) h.subject = h.subject_prefix + h.subject;
    if (h.subject.empty()) h.subject = h.conversation_topic;
    for (int column : {c_delivery, c_created, c_submit}) {
      const auto date = FiletimeText(*record, column);
      if (date && !starts_with(*date, u"(0x")) {
        h.date = *date;
        break;
      }
    }
    if (h.conversation_topic.empty() && h.subject_prefix.empty() && h.subject.empty() && h.sender.empty()) return;
    h.table_name = u16(table_name);
    session.lists.headers_2010.push(std::move(h));
  });
  return 1;
}

int ExtractBodies2010(Session& session, const EseTable& table, int table_index, u16v table_name) {
  ColumnMap& map = session.maps.item;
  map.Build(table, false);
  const int c_key = map["N65f9"], c_method = map["L3705"], c_name = map["S3001"], c_long_name = map["S3707"],
            c_data = map["N3701"], c_attach_key = map["N67b3"];
  const ValueContext ctx = session.value_context();
  VisitRecords(session, table, table_name, [&](int r, const EseRecord* record) {
    if (!record) return;
    const u16 key = IdText(*record, c_key).value_or(u16());
    const u16 method = RecordValueText(*record, c_method, ctx).value_or(u16());
    if (method != u"0") {
      u16 name = RecordValueText(*record, c_name, ctx).value_or(u16());
      if (name.empty()) name = RecordValueText(*record, c_long_name, ctx).value_or(u16());
      if (!name.empty() && !key.empty())
        session.lists.attachments_2010.push({key, r, CleanAttachmentName(name), u16(table_name), table_index, c_data});
    } else if (!key.empty()) {
      session.lists.bodies_2010.push(
          {key, export_handle_export_binary_record_value(*record, c_attach_key).value_or(u16()), r, u16(table_name),
           table_index});
    }
  });
  return 1;
}

}  // namespace edbx
