#include "store/item_lister.hpp"

#include <algorithm>

#include "common/paths.hpp"
#include "export/address_parsing.hpp"
#include "pipeline/session.hpp"
#include "store/message_classes.hpp"
#include "store/value_text.hpp"

namespace edbx {

u16 SqueezeSpaces(u16v text) {
  u16 out(text);
  auto drop_space_before = [&](char16_t c) {
    const char16_t pattern[] = {u' ', c, 0};
    const char16_t single[] = {c, 0};
    replace_all(out, pattern, single);
  };
  for (char16_t c = u'a'; c <= u'z'; ++c) drop_space_before(c);
  for (char16_t c = u'A'; c <= u'Z'; ++c) drop_space_before(c);
  for (char16_t c = u'0'; c <= u'9'; ++c) drop_space_before(c);
  for (char16_t c : u16v(u"@._-<>")) drop_space_before(c);
  replace_all(out, u"SMTP", u" SMTP ");
  return out;
}

namespace {

u16 Unquoted(u16 s) {
  erase_chars(s, u"\"");
  return s;
}

}  // namespace

void ApplyHeaderLine(u16 line, HeaderTexts& h) {
  replace_all(line, u"Envelope-to:", u"Envelope:");
  replace_all(line, u"Reply-To:", u"Reply:");
  if (starts_with(line, u"Subject: ")) {
    h.subject = replaced(line, u"Subject: ", u"");
  } else if (starts_with(line, u"To: ")) {
    h.to = Unquoted(square_brackets(replaced(line, u"To: ", u"")));
  } else if (starts_with(line, u"From: ")) {
    h.from = Unquoted(replaced(square_brackets(line), u"From: ", u""));
  } else if (starts_with(line, u"Cc: ")) {
    h.cc = Unquoted(replaced(square_brackets(line), u"Cc: ", u""));
  } else if (starts_with(line, u"Bcc: ")) {
    h.bcc = Unquoted(replaced(square_brackets(line), u"Bcc: ", u""));
  }
}

bool ReadHeaderFile(const std::string& path, HeaderTexts& header, std::size_t max_bytes, std::size_t max_line) {
  FileHandle f(OpenForRead(path));
  if (!f) return false;
  u16 line;
  bool skipping = false;  // the rest of an over-long line
  char buf[65536];
  std::size_t total = 0;
  auto finish = [&] {
    if (!line.empty() && line.back() == u'\r') line.pop_back();
    ApplyHeaderLine(std::move(line), header);
    line.clear();
  };
  while (total < max_bytes) {
    const std::size_t n = std::fread(buf, 1, std::min(sizeof buf, max_bytes - total), f.get());
    if (n == 0) break;
    total += n;
    for (std::size_t i = 0; i < n; ++i) {
      const auto c = static_cast<unsigned char>(buf[i]);
      if (c == '\n') {
        if (!skipping) finish();
        skipping = false;
        line.clear();
      } else if (!skipping) {
        line.push_back(c);
        if (line.size() >= max_line) {
          finish();
          skipping = true;
        }
      }
    }
  }
  if (!line.empty() && !skipping) finish();
  return true;
}

namespace {

struct ContentColumns {
  int key, sender, sender_address, n67bd, n67b9, n67ba, n67be, cls, subject, prefix, attach, article, body, submit,
      delivery, created;
};

void HandleContentRow(Session& s, const EseRecord& record, const ContentColumns& c) {
  const ValueContext ctx = s.value_context();
  auto text = [&](int column) { return RecordValueText(record, column, ctx).value_or(u16()); };
  // Every row starts from clean header texts, so an unreadable "Msg" row never shows
  // the previous row's recipients.
  s.header.Clear();
  const u16 key = IdText(record, c.key).value_or(u16());
  const u16 sender = text(c.sender), sender_address = text(c.sender_address);
  const u16 n67bd = text(c.n67bd), n67b9 = text(c.n67b9), n67ba = text(c.n67ba);
  (void)text(c.n67be);
  const u16 message_class = text(c.cls), subject = text(c.subject), prefix = text(c.prefix);
  const u16 has_attachments = text(c.attach), article = text(c.article);
  const u16 body = text(c.body);
  if (!s.save_mode && !body.empty()) s.lists.listed_bodies.push({key, body});

  std::optional<u16> date;
  for (int column : {c.submit, c.delivery, c.created}) {
    date = FiletimeText(record, column);
    if (date && !starts_with(*date, u"(0x")) break;
  }
  if (date && starts_with(*date, u"(0x")) date.reset();

  const u16 kind = ListerItemKind(message_class);
  if (IsExcludedListerKind(kind)) return;

  // From, first pass.
  u16 from;
  if (!sender.empty() || !sender_address.empty()) {
    from = sender;
    if (LooksLikeAddressList(sender_address)) from += u"<" + sender_address + u">";
  }
  for (const u16* candidate : {&n67bd, &n67b9, &n67ba})
    if (from.empty() && LooksLikeAddressList(*candidate)) from = FormatSmtpAddressList(*candidate + u",");

  // The item's "Msg" row, by exact key.
  u16 msg_row, attachment_key;
  if (const MessageKeyNode* m = key.empty() ? nullptr : s.lists.FindMessageKey(key)) {
    msg_row = decimal(m->row_index);
    attachment_key = m->attachment_key.value_or(u16());
    const EseTable* msg_table = s.kept_message_table();
    if (auto msg = msg_table ? msg_table->Record(m->row_index) : std::nullopt) {
      const int header_column = s.maps.item["S7d"];
      s.header_file_flag = false;
      (void)RecordValueText(*msg, header_column, s.value_context(header_column));
      if (s.header_file_flag) ReadHeaderFile((s.working_folder / "m_S7d.txt").string(), s.header);
      const u16 recipients = RecordValueText(*msg, s.maps.item["N67b4"], ctx).value_or(u16());
      if (s.header.to.empty() && !recipients.empty()) {
        u16 x = NormalizeAddressText(recipients);
        if (x.empty()) x = NormalizeAddressText(SqueezeSpaces(recipients));
        x = square_brackets(std::move(x));
        for (const char16_t* tld : {u".com", u".net", u".org"}) replace_all(x, u16(tld) + u",", tld);
        for (const char16_t* tld : {u".com", u".net", u".org"}) replace_all(x, u16(tld) + u",,", tld);
        replace_all(x, u",@", u"@");
        replace_all(x, u",]", u"]");
        s.header.to = std::move(x);
      }
      if (from.empty()) from = Unquoted(s.header.from);
      if (from.empty()) {
        const u16 n = RecordValueText(*msg, s.maps.item["N67b5"], ctx).value_or(u16());
        const u16 normalized = NormalizeAddressText(n);
        from = normalized.empty() ? n : normalized;
        if (const auto gt = from.find(u'>'); gt != u16::npos && gt > 0) from = from.substr(0, gt);
      }
    }
  }
  if (from.empty()) from = square_brackets(n67bd);
  if (!from.empty()) {
    for (const auto& mb : s.lists.mailboxes)
      if (!mb.owner_text.empty() && contains(from, mb.owner_text)) s.header.from = mb.owner_text;
    if (!s.header.from.empty()) from = s.header.from;
    from = Unquoted(trim_blank(from));
    s.header.from = from;
  }
  s.header.subject = prefix + subject;
  s.header.msg_row = msg_row;
  s.header.attachment_key = attachment_key;
  const int position = static_cast<int>(leading_integer(article));

  if (subject.empty() && from.empty()) return;
  if (s.save_mode) {
    SaveQueueNode node;
    node.item_key = key;
    node.kind = kind;
    node.sender = replaced(from, u"[", u"<");
    node.subject = s.header.subject;
    node.date = date.value_or(u16());
    node.extra = has_attachments;
    node.record_number = msg_row.empty() ? -1 : static_cast<int>(leading_integer(msg_row));
    node.to = s.header.to;
    node.cc = s.header.cc;
    node.bcc = s.header.bcc;
    node.attachment_key = attachment_key;
    node.fallback_body = body;
    s.lists.save_queue.push_back(std::move(node));
    if (s.save_dispatch) s.save_dispatch();
    return;
  }
  ItemRow row{key, kind, msg_row, attachment_key, from, s.header.subject, date.value_or(u16()), has_attachments,
              s.header.to, s.header.cc, s.header.bcc};
  s.dialog->InsertItemRow(position, row);
  s.dialog->FocusItemList();
}

}  // namespace

int ListContentTable(Session& s, const EseTable& table, u16v table_name) {
  s.current_row = 0;
  ColumnMap& map = s.maps.folder_content;
  if (!map.Build(table, true)) return 1;
  const ContentColumns c{map["N67b0"], map["S42"],   map["S4031"], map["N67bd"], map["N67b9"], map["N67ba"],
                         map["N67be"], map["S1a"],   map["Se1d"],  map["S3d"],   map["Be1b"],  map["Le23"],
                         map["S1000"], map["T39"],   map["Te06"],  map["T3007"]};
  ClearStoreError();
  const auto count = table.RecordCount();
  if (!count) {
    s.ReportUnreadableTable(table_name, u"its records cannot be read");
    return 1;
  }
  s.dialog->SetProgressRange(0, std::min(*count, 50000));
  bool reported = false;
  try {
    for (int o = 0; o < *count; ++o) {
      if (!s.job.Checkpoint()) break;
      s.current_row = o;
      s.dialog->SetProgressPos(o);
      ClearStoreError();
      const auto record = table.Record(o);
      if (!record) {
        if (!reported) s.ReportUnreadableTable(table_name, u"its records cannot be read");
        reported = true;
        continue;
      }
      HandleContentRow(s, *record, c);
    }
  } catch (const std::exception&) {
    // An exception ends the listing; the rows listed so far stay.
  }
  s.dialog->SetProgressPos(0);
  return 1;
}

}  // namespace edbx
