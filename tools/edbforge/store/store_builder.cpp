#include "tools/edbforge/store/store_builder.hpp"

#include <functional>
#include <set>
#include <unordered_map>

#include "common/text.hpp"
#include "tools/edbforge/ese/database.hpp"
#include "tools/edbforge/rtf_compress.hpp"
#include "tools/edbforge/store/content.hpp"
#include "tools/edbforge/store/exchange_schema.hpp"

namespace edbforge::store {

using ese::DefinitionError;
using ese::Row;
using ese::Value;
namespace val = ese::val;

namespace {

constexpr uint64_t kReplicaOne = 0x0100000000000000ULL;  // replica word 1, little-endian

std::string Ascii(const std::u16string& s) { return edbx::utf16_to_utf8(s); }

std::string Cp1252(const std::u16string& s) { return edbx::utf16_to_cp1252(s); }

std::string Utf16Bytes(const std::u16string& s) { return val::Utf16(s).bytes; }

std::u16string Display(const Address& a) {
  if (a.name.empty()) return edbx::widen(a.address);
  return a.name + u" <" + edbx::widen(a.address) + u">";
}

std::u16string DisplayList(const std::vector<Address>& list, std::u16string_view sep) {
  std::u16string out;
  for (const auto& a : list) {
    if (!out.empty()) out += sep;
    out += Display(a);
  }
  return out;
}

std::u16string NameList(const std::vector<Address>& list) {
  std::u16string out;
  for (const auto& a : list) {
    if (!out.empty()) out += u"; ";
    out += a.name.empty() ? edbx::widen(a.address) : a.name;
  }
  return out;
}

bool IsMailClass(const std::u16string& cls) {
  return cls.empty() || edbx::starts_with(cls, u"IPM.Note") || edbx::starts_with(cls, u"IPM.Schedule") ||
         edbx::starts_with(cls, u"REPORT");
}

/// A table of the store with its column positions by name.
struct StoreTable {
  ese::TableId id = 0;
  std::unordered_map<std::string, uint32_t> columns;

  bool has(const std::string& name) const { return columns.count(name) != 0; }
};

/// Values of one row, set by column name; names the table lacks are ignored.
class RowValues {
 public:
  explicit RowValues(const StoreTable& t) : table_(t) {}
  RowValues& set(const std::string& column, Value v) {
    const auto it = table_.columns.find(column);
    if (it == table_.columns.end()) return *this;
    for (auto& [pos, existing] : row_.values)
      if (pos == it->second) {
        existing = std::move(v);
        return *this;
      }
    row_.set(it->second, std::move(v));
    return *this;
  }
  RowValues& text(const std::string& column, const std::u16string& s) { return set(column, val::Utf16(s)); }
  RowValues& id(const std::string& column, uint64_t v) { return set(column, val::Id8(v)); }
  RowValues& time(const std::string& column, uint64_t ft) { return set(column, val::Filetime(ft)); }
  RowValues& i32(const std::string& column, int32_t v) { return set(column, val::I32(v)); }
  RowValues& bit(const std::string& column, bool b) { return set(column, val::Bit(b)); }
  RowValues& bin(const std::string& column, std::string b) { return set(column, val::Bin(std::move(b))); }
  const Row& row() const { return row_; }

 private:
  const StoreTable& table_;
  Row row_;
};

Value PropertyToValue(const std::string& column, const PropertyValue& v) {
  const bool multi = column.size() > 2 && column[0] == 'M';
  const char letter = multi ? column[1] : column[0];
  auto bad = [&]() -> Value {
    throw DefinitionError("property '" + column + "': value does not suit the column type");
  };
  if (multi) {
    if (letter == 'S') {
      if (const auto* list = std::get_if<std::vector<std::u16string>>(&v)) {
        std::vector<std::string> out;
        for (const auto& s : *list) out.push_back(Utf16Bytes(s));
        if (out.empty()) return bad();
        return Value::MultiOf(std::move(out));
      }
      if (const auto* one = std::get_if<std::u16string>(&v)) return Value::MultiOf({Utf16Bytes(*one)});
    }
    if (letter == 'N') {
      if (const auto* list = std::get_if<std::vector<Blob>>(&v)) {
        std::vector<std::string> out;
        for (const auto& b : *list) out.push_back(b.bytes);
        if (out.empty()) return bad();
        return Value::MultiOf(std::move(out));
      }
    }
    return bad();
  }
  switch (letter) {
    case 'S':
      if (const auto* s = std::get_if<std::u16string>(&v)) return val::Utf16(*s);
      break;
    case 'T':
      if (const auto* t = std::get_if<uint64_t>(&v)) return val::Filetime(*t);
      break;
    case 'Q':
      if (const auto* q = std::get_if<uint64_t>(&v)) return val::Id8(*q);
      break;
    case 'L':
      if (const auto* l = std::get_if<int64_t>(&v)) return val::I32(static_cast<int32_t>(*l));
      break;
    case 'B':
      if (const auto* b = std::get_if<bool>(&v)) return val::Bit(*b);
      break;
    case 'D':
      if (const auto* d = std::get_if<double>(&v)) return val::F64(*d);
      if (const auto* l = std::get_if<int64_t>(&v)) return val::F64(static_cast<double>(*l));
      break;
    case 'N':
      if (const auto* b = std::get_if<Blob>(&v)) return val::Bin(b->bytes);
      if (const auto* s = std::get_if<std::u16string>(&v)) return val::Bin(Utf16Bytes(*s));
      break;
    default: break;
  }
  return bad();
}

}  // namespace

struct StoreBuilder::Impl {
  struct FolderRow {
    uint64_t id = 0;
    uint64_t parent = 0;
    std::optional<uint64_t> mailbox;
    std::u16string name;
    std::u16string container_class;
    std::u16string path;
    int32_t items = 0;
  };
  struct MailboxState {
    MailboxDesc desc;
    uint64_t id = 0;
    uint64_t root_folder = 0;
    std::string suffix;  // newer layout table names
    StoreTable folders, headers, bodies;
    std::vector<FolderRow> folder_rows;
  };
  struct FolderState {
    std::size_t mailbox = 0;
    std::size_t row = 0;  // index in the owning folder-row list
    uint64_t id = 0;
    std::u16string path;
    StoreTable content;        // older layout
    StoreTable public_bodies;  // newer public store
    int32_t next_article = 1;
  };

  StoreOptions opt;
  uint32_t revision;
  ese::DatabaseWriter db;
  std::optional<StoreTable> mailbox_table, folders_table, msg_table, attach_table, template_table, headers_table;
  std::vector<FolderRow> public_folder_rows;
  uint64_t public_root = 0;
  std::vector<MailboxState> mailboxes;
  std::vector<FolderState> folders;
  uint64_t next_folder = 0xa01, next_key = 0x100001, next_attachment = 0x200001, next_mailbox = 0x101;
  std::set<uint64_t> used_keys, used_folders, used_attachments;
  uint64_t item_count = 0;

  Impl(const std::filesystem::path& path, const StoreOptions& o)
      : opt(o), revision(o.effective_revision()), db(path, [&] {
          ese::WriterOptions w;
          w.page_size = o.page_size;
          w.format_revision = o.effective_revision();
          w.intrinsic_long_value_limit = o.intrinsic_long_value_limit;
          w.timestamp = o.timestamp;
          return w;
        }()) {
    if (opt.layout == Layout::Newer && revision <= 16)
      throw DefinitionError("the newer layout needs format revision 17 or later");
    if (opt.layout == Layout::None) return;
    if (!opt.public_store) mailbox_table = make_table("Mailbox", kMailboxColumns);
    if (opt.layout == Layout::Older) {
      folders_table = make_table("Folders", kFolderColumns);
      msg_table = make_table("Msg", kItemColumns);
      attach_table = make_table(Ascii(opt.attachment_table), kAttachmentColumns, {}, false,
                                opt.attachment_callback.empty() ? std::vector<std::string>{}
                                                                : std::vector<std::string>{opt.attachment_callback});
      template_table = make_table("MsgFolderTemplate", kContentColumns, {}, true);
    } else if (opt.public_store) {
      folders_table = make_table("Folders", kFolderColumns);
      headers_table = make_table("MsgHeader", kHeaderColumns);
    }
    if (opt.public_store) {
      public_root = allocate(next_folder, used_folders, std::nullopt, "folder");
      public_folder_rows.push_back({public_root, 0, std::nullopt, u"", u"", u"/", 0});
    }
  }

  StoreTable make_table(const std::string& name, const std::vector<std::string>& columns,
                        const std::string& template_name = {}, bool is_template = false,
                        const std::vector<std::string>& callbacks = {}) {
    ese::TableDef def;
    def.name = name;
    def.is_template = is_template;
    def.template_name = template_name;
    def.callbacks = callbacks;
    for (const auto& c : columns) def.columns.push_back(ExchangeColumn(c));
    StoreTable t;
    t.id = db.add_table(def);
    auto index = [&](const std::vector<std::string>& names) {
      for (const auto& n : names) t.columns[n] = db.column_index(t.id, n);
    };
    if (!template_name.empty()) index(kContentColumns);
    index(columns);
    return t;
  }

  static uint64_t allocate(uint64_t& counter, std::set<uint64_t>& used, std::optional<uint64_t> wanted,
                           const char* what) {
    if (wanted) {
      if (!used.insert(*wanted).second)
        throw DefinitionError(std::string("duplicate ") + what + " id " + IdHex(*wanted));
      return *wanted;
    }
    uint64_t id;
    do {
      id = kReplicaOne | counter++;
    } while (used.count(id) != 0);
    used.insert(id);
    return id;
  }

  std::string content_table_name(uint64_t folder_id) const {
    // "1-" and the folder id text without its first digit and leading zeros, upper case.
    const std::string text = IdHex(folder_id);
    std::string digits = text.size() > 1 ? text.substr(1, 14) : std::string();
    std::size_t z = 0;
    while (z < digits.size() && digits[z] == '0') ++z;
    if (z < digits.size()) digits = digits.substr(z);
    for (auto& c : digits) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return "1-" + digits;
  }

  std::vector<FolderRow>& rows_of(std::size_t mailbox) {
    return opt.public_store ? public_folder_rows : mailboxes[mailbox].folder_rows;
  }

  MailboxRef add_mailbox(const MailboxDesc& m) {
    if (opt.layout == Layout::None) throw DefinitionError("a plain database has no mailboxes");
    if (opt.public_store) throw DefinitionError("a public store has no mailboxes");
    MailboxState s;
    s.desc = m;
    s.desc.folders.clear();
    s.id = m.id ? *m.id : (kReplicaOne | next_mailbox++);
    for (const auto& other : mailboxes)
      if (other.id == s.id) throw DefinitionError("duplicate mailbox id " + IdHex(s.id));
    RowValues r(*mailbox_table);
    r.id("Q6764", s.id).text("S3001", m.name).text("S6773", m.owner.empty() ? m.name : m.owner);
    r.time("T3007", 0x01ca8e1200000000ULL).i32("L6766", static_cast<int32_t>(mailboxes.size() + 1));
    db.add_row(mailbox_table->id, r.row());

    s.root_folder = allocate(next_folder, used_folders, std::nullopt, "folder");
    if (opt.layout == Layout::Newer) {
      s.suffix = StoreIdHex(s.id, 17);
      s.folders = make_table("Folders-" + s.suffix, kFolderColumns);
      s.headers = make_table("MsgHeader-" + s.suffix, kHeaderColumns);
      s.bodies = make_table("Body-" + s.suffix, kItemColumns);
      s.folder_rows.push_back({s.root_folder, 0, s.id, u"Root Container", u"", u"/", 0});
    } else {
      // The store root and the non-IPM subtree, as a real mailbox has them.
      s.folder_rows.push_back({s.root_folder, 0, s.id, u"", u"", u"/", 0});
      const uint64_t non_ipm = allocate(next_folder, used_folders, std::nullopt, "folder");
      s.folder_rows.push_back({non_ipm, s.root_folder, s.id, u"NON_IPM_SUBTREE", u"", u"/NON_IPM_SUBTREE", 0});
    }
    mailboxes.push_back(std::move(s));
    return mailboxes.size() - 1;
  }

  FolderRef add_folder(MailboxRef mailbox, FolderRef parent, const FolderDesc& f) {
    if (opt.layout == Layout::None) throw DefinitionError("a plain database has no folders");
    if (!opt.public_store && mailbox >= mailboxes.size()) throw DefinitionError("folder of an unknown mailbox");
    if (parent != kNoParent && parent >= folders.size()) throw DefinitionError("folder with an unknown parent");
    const std::size_t mb = opt.public_store ? 0 : mailbox;
    FolderState st;
    st.mailbox = mb;
    st.id = allocate(next_folder, used_folders, f.id, "folder");
    const uint64_t parent_id =
        parent != kNoParent ? folders[parent].id : (opt.public_store ? public_root : mailboxes[mb].root_folder);
    std::u16string escaped = f.name;
    edbx::replace_all(escaped, u"/", u"%2F");
    st.path = f.path ? *f.path : (parent != kNoParent ? folders[parent].path : std::u16string()) + u"/" + escaped;
    auto& rows = rows_of(mb);
    st.row = rows.size();
    rows.push_back({st.id, parent_id, opt.public_store ? std::nullopt : std::optional<uint64_t>(mailboxes[mb].id),
                    f.name, f.container_class, st.path, 0});
    if (opt.layout == Layout::Older) {
      const std::string name = content_table_name(st.id);
      if (opt.content_tables_with_own_column) {
        ese::TableDef def;
        def.name = name;
        def.template_name = "MsgFolderTemplate";
        def.columns.push_back(ExchangeColumn("S8299"));
        st.content.id = db.add_table(def);
        for (const auto& c : kContentColumns) st.content.columns[c] = db.column_index(st.content.id, c);
      } else {
        st.content = make_table(name, {}, "MsgFolderTemplate");
      }
    } else if (opt.public_store) {
      st.public_bodies = make_table("Body-" + StoreIdHex(st.id, revision), kItemColumns);
    } else {
      // A view table per folder, as the store keeps for its folder views.
      StoreTable view = make_table("MsgView-" + mailboxes[mb].suffix + "-" + StoreIdHex(st.id, 17), kViewColumns);
      (void)view;
    }
    folders.push_back(std::move(st));
    return folders.size() - 1;
  }

  void add_item(FolderRef folder, const ItemDesc& item) {
    if (folder >= folders.size()) throw DefinitionError("item in an unknown folder");
    FolderState& f = folders[folder];
    ++rows_of(f.mailbox)[f.row].items;
    const uint64_t key = allocate(next_key, used_keys, item.key, "item key");
    ++item_count;

    std::vector<uint64_t> attachment_ids;
    for (const auto& a : item.attachments) attachment_ids.push_back(allocate(next_attachment, used_attachments, a.id, "attachment"));
    std::string attachment_key;
    for (uint64_t id : attachment_ids) attachment_key += val::Id8(id).bytes;

    const std::u16string topic = item.conversation_topic.value_or(item.subject);
    const bool has_attachments = item.has_attachments.value_or(!item.attachments.empty());
    std::optional<std::u16string> headers = item.transport_headers;
    if (!headers && item.generate_headers && item.from && IsMailClass(item.message_class))
      headers = MakeTransportHeaders(item, key);
    std::optional<std::string> html_bytes;
    if (item.html)
      html_bytes = item.html_encoding == HtmlEncoding::Utf8 ? edbx::utf16_to_utf8(*item.html) : Cp1252(*item.html);
    std::size_t size = 64 + item.subject.size() * 2;
    if (item.body) size += item.body->size() * 2;
    if (html_bytes) size += html_bytes->size();
    for (const auto& a : item.attachments) size += a.data.size();

    // Fields shared by the item tables of both layouts.
    auto common = [&](RowValues& r) {
      r.text("S1a", item.message_class).text("Se1d", item.subject).text("S70", topic);
      if (!item.subject_prefix.empty()) r.text("S3d", item.subject_prefix);
      if (!item.to.empty()) r.text("Se04", NameList(item.to));
      r.bit("Be1b", has_attachments);
      if (item.from) r.text("S42", item.from->name);
      if (item.received) r.time("Te06", *item.received);
      if (item.created) r.time("T3007", *item.created);
      if (item.sent) r.time("T39", *item.sent);
      r.i32("L0e08", static_cast<int32_t>(std::min<std::size_t>(size, 0x7fffffff)));
    };
    auto bodies = [&](RowValues& r) {
      if (item.body) r.text("S1000", *item.body);
      if (html_bytes) r.bin("N1013", *html_bytes);
      if (item.rtf) r.bin("N1009", CompressRtf(*item.rtf));
      if (headers) r.text("S7d", *headers);
      if (!item.to.empty() || !item.cc.empty()) {
        std::vector<Address> all = item.to;
        all.insert(all.end(), item.cc.begin(), item.cc.end());
        r.bin("N67b4", Utf16Bytes(DisplayList(all, u"; ")));
      }
      if (item.from) r.bin("N67b5", Utf16Bytes(Display(*item.from)));
      if (!attachment_key.empty()) r.bin("N67b3", attachment_key);
    };
    auto properties = [&](RowValues& r) {
      for (const auto& p : item.properties) r.set(p.column, PropertyToValue(p.column, p.value));
    };

    if (opt.layout == Layout::Older) {
      RowValues msg(*msg_table);
      msg.id("N67b0", key);
      common(msg);
      bodies(msg);
      properties(msg);
      db.add_row(msg_table->id, msg.row());

      RowValues content(f.content);
      content.id("N67b0", key);
      common(content);
      if (item.from) {
        content.text("S4031", edbx::widen(item.from->address));
        content.bin("N67bd", Ascii(item.from->name) + " SMTP " + item.from->address);
      }
      if (!item.to.empty()) {
        std::string to;
        for (const auto& a : item.to) to += (to.empty() ? "" : ",") + Ascii(a.name) + " SMTP " + a.address;
        content.bin("N67be", to);
      }
      if (item.body) content.text("S1000", *item.body);
      content.i32("Le23", item.article_number.value_or(f.next_article));
      ++f.next_article;
      properties(content);
      db.add_row(f.content.id, content.row());

      for (std::size_t i = 0; i < item.attachments.size(); ++i) {
        const auto& a = item.attachments[i];
        RowValues r(*attach_table);
        r.id("Q3f88", attachment_ids[i]).id("Q674b", attachment_ids[i] ^ 0x0000000100000000ULL);
        r.text("S3001", a.name).text("S3707", a.long_name.value_or(a.name));
        r.text("S3704", a.short_name.value_or(ShortFileName(a.name)));
        r.bin("N3701", a.data).i32("L3705", a.method).i32("L0e20", static_cast<int32_t>(a.data.size()));
        db.add_row(attach_table->id, r.row());
      }
      return;
    }

    const StoreTable& header_table = opt.public_store ? *headers_table : mailboxes[f.mailbox].headers;
    const StoreTable& body_table = opt.public_store ? f.public_bodies : mailboxes[f.mailbox].bodies;
    RowValues header(header_table);
    header.id("N67b0", key).id("Q6748", f.id);
    common(header);
    properties(header);
    db.add_row(header_table.id, header.row());

    RowValues body(body_table);
    body.id("N65f9", key).i32("L3705", 0);
    common(body);
    bodies(body);
    if (item.from) body.text("S4025", edbx::widen(item.from->address));
    properties(body);
    db.add_row(body_table.id, body.row());
    for (std::size_t i = 0; i < item.attachments.size(); ++i) {
      const auto& a = item.attachments[i];
      RowValues r(body_table);
      r.id("N65f9", attachment_ids[i]).i32("L3705", a.method);
      r.text("S3001", a.name).text("S3707", a.long_name.value_or(a.name)).bin("N3701", a.data);
      db.add_row(body_table.id, r.row());
    }
  }

  void add_plain_table(const PlainTable& t) {
    const ese::TableId id = db.add_table(t.def);
    for (const auto& row : t.rows) db.add_row(id, row);
  }

  void write_folder_rows(const StoreTable& table, const std::vector<FolderRow>& rows) {
    for (const auto& fr : rows) {
      RowValues r(table);
      r.id("Q6748", fr.id).id("Q6749", fr.parent);
      if (fr.mailbox) r.id("Q6764", *fr.mailbox);
      if (!fr.name.empty()) r.text("S3001", fr.name);
      if (!fr.container_class.empty()) r.text("S3613", fr.container_class);
      r.i32("L3602", fr.items).i32("L3603", 0);
      if (opt.layout == Layout::Older) r.text("S6707", fr.path);
      db.add_row(table.id, r.row());
    }
  }

  void finish() {
    if (opt.layout == Layout::None) {
      // nothing but the plain tables
    } else if (opt.public_store) {
      write_folder_rows(*folders_table, public_folder_rows);
    } else if (opt.layout == Layout::Older) {
      for (const auto& m : mailboxes) write_folder_rows(*folders_table, m.folder_rows);
    } else {
      for (const auto& m : mailboxes) write_folder_rows(m.folders, m.folder_rows);
    }
    db.finish();
  }
};

StoreBuilder::StoreBuilder(const std::filesystem::path& path, const StoreOptions& options)
    : impl_(std::make_unique<Impl>(path, options)) {}
StoreBuilder::~StoreBuilder() = default;
StoreBuilder::MailboxRef StoreBuilder::add_mailbox(const MailboxDesc& m) { return impl_->add_mailbox(m); }
StoreBuilder::FolderRef StoreBuilder::add_folder(MailboxRef m, FolderRef parent, const FolderDesc& f) {
  return impl_->add_folder(m, parent, f);
}
void StoreBuilder::add_item(FolderRef folder, const ItemDesc& item) { impl_->add_item(folder, item); }
void StoreBuilder::add_plain_table(const PlainTable& t) { impl_->add_plain_table(t); }
void StoreBuilder::finish() { impl_->finish(); }
uint64_t StoreBuilder::items() const { return impl_->item_count; }

void BuildStore(const StoreDesc& desc, const std::filesystem::path& path) {
  StoreBuilder b(path, desc.options);
  std::function<void(StoreBuilder::MailboxRef, StoreBuilder::FolderRef, const FolderDesc&)> add =
      [&](StoreBuilder::MailboxRef m, StoreBuilder::FolderRef parent, const FolderDesc& f) {
        const auto ref = b.add_folder(m, parent, f);
        for (const auto& item : f.items) b.add_item(ref, item);
        for (const auto& sub : f.folders) add(m, ref, sub);
      };
  if (desc.options.public_store) {
    if (!desc.mailboxes.empty()) throw DefinitionError("a public store has no mailboxes");
    for (const auto& f : desc.public_folders) add(0, StoreBuilder::kNoParent, f);
  } else {
    if (!desc.public_folders.empty()) throw DefinitionError("public folders belong to a public store");
    for (const auto& m : desc.mailboxes) {
      const auto ref = b.add_mailbox(m);
      for (const auto& f : m.folders) add(ref, StoreBuilder::kNoParent, f);
    }
  }
  for (const auto& t : desc.tables) b.add_plain_table(t);
  b.finish();
}

}  // namespace edbforge::store
