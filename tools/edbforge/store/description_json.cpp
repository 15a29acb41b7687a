#include "tools/edbforge/store/description_json.hpp"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "common/text.hpp"
#include "tools/edbforge/ese/database.hpp"
#include "tools/edbforge/store/content.hpp"

namespace edbforge::store {

using ese::DefinitionError;
using nlohmann::json;

namespace {

class Parser {
 public:
  explicit Parser(std::filesystem::path base) : base_(std::move(base)) {}

  [[noreturn]] void fail(const std::string& at, const std::string& what) const {
    throw DefinitionError(at + ": " + what);
  }

  void only_keys(const json& j, const std::string& at, std::initializer_list<const char*> keys) const {
    if (!j.is_object()) fail(at, "expected an object");
    for (const auto& [k, v] : j.items()) {
      bool known = false;
      for (const char* key : keys) known = known || k == key;
      if (!known) fail(at, "unknown key '" + k + "'");
    }
  }

  std::string str(const json& j, const std::string& at) const {
    if (!j.is_string()) fail(at, "expected a string");
    return j.get<std::string>();
  }
  std::u16string text(const json& j, const std::string& at) const { return edbx::utf8_to_utf16(str(j, at)); }

  uint64_t hex_id(const json& j, const std::string& at) const {
    const std::string s = str(j, at);
    if (s.empty() || s.size() > 16 || s.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
      fail(at, "expected an identifier of 1 to 16 hex digits");
    return std::stoull(s, nullptr, 16);
  }

  uint64_t time(const json& j, const std::string& at) const {
    if (j.is_number_unsigned()) return j.get<uint64_t>();
    uint64_t ft = 0;
    if (!ParseIsoTime(str(j, at), ft)) fail(at, "expected an ISO 8601 UTC time such as 2010-01-05T14:03:59Z");
    return ft;
  }

  Address address(const json& j, const std::string& at) const {
    Address a;
    if (j.is_string()) {
      // "Name <address>" or a bare address.
      const std::string s = j.get<std::string>();
      const auto lt = s.rfind('<');
      if (lt != std::string::npos && s.back() == '>') {
        std::string name = s.substr(0, lt);
        while (!name.empty() && name.back() == ' ') name.pop_back();
        a.name = edbx::utf8_to_utf16(name);
        a.address = s.substr(lt + 1, s.size() - lt - 2);
      } else {
        a.address = s;
      }
    } else {
      only_keys(j, at, {"name", "address"});
      if (j.contains("name")) a.name = text(j["name"], at + ".name");
      if (j.contains("address")) a.address = str(j["address"], at + ".address");
    }
    for (char c : a.address)
      if (static_cast<unsigned char>(c) > 0x7e || static_cast<unsigned char>(c) < 0x21)
        fail(at, "an address must be printable ASCII");
    return a;
  }

  std::vector<Address> addresses(const json& j, const std::string& at) const {
    std::vector<Address> out;
    if (!j.is_array()) fail(at, "expected an array of addresses");
    for (std::size_t i = 0; i < j.size(); ++i) out.push_back(address(j[i], at + "[" + std::to_string(i) + "]"));
    return out;
  }

  static std::string FromBase64(const std::string& in, bool& ok) {
    std::string out;
    uint32_t acc = 0;
    int bits = 0;
    ok = true;
    for (char c : in) {
      int v;
      if (c >= 'A' && c <= 'Z') v = c - 'A';
      else if (c >= 'a' && c <= 'z') v = c - 'a' + 26;
      else if (c >= '0' && c <= '9') v = c - '0' + 52;
      else if (c == '+') v = 62;
      else if (c == '/') v = 63;
      else if (c == '=' || c == '\n' || c == '\r' || c == ' ') continue;
      else {
        ok = false;
        return {};
      }
      acc = (acc << 6) | static_cast<uint32_t>(v);
      bits += 6;
      if (bits >= 8) {
        bits -= 8;
        out.push_back(static_cast<char>((acc >> bits) & 0xff));
      }
    }
    return out;
  }

  /// Binary data: {"hex": ...}, {"base64": ...}, {"utf16": ...} or {"text": ...} (UTF-8 bytes).
  Blob blob(const json& j, const std::string& at) const {
    if (j.is_string()) return Blob{j.get<std::string>()};
    only_keys(j, at, {"hex", "base64", "utf16", "text"});
    if (j.size() != 1) fail(at, "expected exactly one of hex, base64, utf16, text");
    if (j.contains("text")) return Blob{str(j["text"], at + ".text")};
    if (j.contains("utf16")) {
      std::string b;
      for (char16_t c : text(j["utf16"], at + ".utf16")) {
        b.push_back(static_cast<char>(c & 0xff));
        b.push_back(static_cast<char>(c >> 8));
      }
      return Blob{b};
    }
    if (j.contains("base64")) {
      bool ok = true;
      std::string b = FromBase64(str(j["base64"], at + ".base64"), ok);
      if (!ok) fail(at + ".base64", "not base64");
      return Blob{b};
    }
    const std::string h = str(j["hex"], at + ".hex");
    if (h.size() % 2 != 0 || h.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
      fail(at + ".hex", "expected an even number of hex digits");
    std::string b;
    for (std::size_t i = 0; i < h.size(); i += 2) b.push_back(static_cast<char>(std::stoi(h.substr(i, 2), nullptr, 16)));
    return Blob{b};
  }

  Property property(const std::string& column, const json& j, const std::string& at) const {
    const bool multi = column.size() > 2 && column[0] == 'M';
    const char letter = multi ? column[1] : (column.empty() ? '?' : column[0]);
    Property p{column, {}};
    if (multi) {
      if (!j.is_array() || j.empty()) fail(at, "expected a non-empty array for a multi-valued column");
      if (letter == 'S') {
        std::vector<std::u16string> v;
        for (std::size_t i = 0; i < j.size(); ++i) v.push_back(text(j[i], at + "[" + std::to_string(i) + "]"));
        p.value = v;
      } else if (letter == 'N') {
        std::vector<Blob> v;
        for (std::size_t i = 0; i < j.size(); ++i) v.push_back(blob(j[i], at + "[" + std::to_string(i) + "]"));
        p.value = v;
      } else {
        fail(at, "multi-valued columns are MS or MN");
      }
      return p;
    }
    switch (letter) {
      case 'S': p.value = text(j, at); break;
      case 'T': p.value = time(j, at); break;
      case 'Q': p.value = hex_id(j, at); break;
      case 'L':
        if (!j.is_number_integer()) fail(at, "expected an integer");
        p.value = j.get<int64_t>();
        break;
      case 'B':
        if (!j.is_boolean()) fail(at, "expected true or false");
        p.value = j.get<bool>();
        break;
      case 'D':
        if (!j.is_number()) fail(at, "expected a number");
        p.value = j.get<double>();
        break;
      case 'N': p.value = blob(j, at); break;
      default: fail(at, "unknown column type letter in '" + column + "'");
    }
    return p;
  }

  AttachmentDesc attachment(const json& j, const std::string& at) const {
    only_keys(j, at, {"name", "long_name", "short_name", "method", "id", "text", "base64", "hex", "file", "generate"});
    AttachmentDesc a;
    if (!j.contains("name")) fail(at, "an attachment needs a name");
    a.name = text(j["name"], at + ".name");
    if (j.contains("long_name")) a.long_name = text(j["long_name"], at + ".long_name");
    if (j.contains("short_name")) a.short_name = text(j["short_name"], at + ".short_name");
    if (j.contains("method")) a.method = j["method"].get<int32_t>();
    if (j.contains("id")) a.id = hex_id(j["id"], at + ".id");
    int sources = 0;
    if (j.contains("text")) {
      a.data = str(j["text"], at + ".text");
      ++sources;
    }
    if (j.contains("base64") || j.contains("hex")) {
      json only = json::object();
      if (j.contains("base64")) only["base64"] = j["base64"];
      if (j.contains("hex")) only["hex"] = j["hex"];
      a.data = blob(only, at).bytes;
      ++sources;
    }
    if (j.contains("file")) {
      const auto path = base_ / str(j["file"], at + ".file");
      std::ifstream in(path, std::ios::binary);
      if (!in) fail(at + ".file", "cannot read " + path.string());
      std::ostringstream ss;
      ss << in.rdbuf();
      a.data = ss.str();
      ++sources;
    }
    if (j.contains("generate")) {
      const json& g = j["generate"];
      only_keys(g, at + ".generate", {"kind", "size", "title", "width", "height", "seed"});
      const std::string kind = g.contains("kind") ? str(g["kind"], at + ".generate.kind") : "text";
      const std::size_t size = g.value("size", std::size_t{4096});
      const std::string title = g.contains("title") ? str(g["title"], at + ".generate.title") : edbx::utf16_to_utf8(a.name);
      const uint32_t seed = g.value("seed", 1u);
      if (kind == "pdf") a.data = MakePdf(title, size);
      else if (kind == "png") a.data = MakePng(g.value("width", 64u), g.value("height", 48u), seed);
      else if (kind == "text") a.data = MakeText(title, size, seed);
      else fail(at + ".generate.kind", "expected pdf, png or text");
      ++sources;
    }
    if (sources > 1) fail(at, "give the data once (text, base64, hex, file or generate)");
    return a;
  }

  ItemDesc item(const json& j, const std::string& at) const {
    only_keys(j, at, {"class", "key", "subject", "prefix", "topic", "from", "to", "cc", "bcc", "sent", "received",
                      "created", "body", "html", "html_encoding", "rtf", "headers", "generate_headers",
                      "has_attachments", "article", "attachments", "properties", "repeat"});
    ItemDesc it;
    if (j.contains("class")) it.message_class = text(j["class"], at + ".class");
    if (j.contains("key")) it.key = hex_id(j["key"], at + ".key");
    if (j.contains("subject")) it.subject = text(j["subject"], at + ".subject");
    if (j.contains("prefix")) it.subject_prefix = text(j["prefix"], at + ".prefix");
    if (j.contains("topic")) it.conversation_topic = text(j["topic"], at + ".topic");
    if (j.contains("from")) it.from = address(j["from"], at + ".from");
    if (j.contains("to")) it.to = addresses(j["to"], at + ".to");
    if (j.contains("cc")) it.cc = addresses(j["cc"], at + ".cc");
    if (j.contains("bcc")) it.bcc = addresses(j["bcc"], at + ".bcc");
    if (j.contains("sent")) it.sent = time(j["sent"], at + ".sent");
    if (j.contains("received")) it.received = time(j["received"], at + ".received");
    if (j.contains("created")) it.created = time(j["created"], at + ".created");
    if (j.contains("body")) it.body = text(j["body"], at + ".body");
    if (j.contains("html")) it.html = text(j["html"], at + ".html");
    if (j.contains("html_encoding")) {
      const std::string e = str(j["html_encoding"], at + ".html_encoding");
      if (e == "utf-8") it.html_encoding = HtmlEncoding::Utf8;
      else if (e == "windows-1252") it.html_encoding = HtmlEncoding::Windows1252;
      else fail(at + ".html_encoding", "expected utf-8 or windows-1252");
    }
    if (j.contains("rtf")) it.rtf = edbx::utf16_to_cp1252(text(j["rtf"], at + ".rtf"));
    if (j.contains("headers")) it.transport_headers = text(j["headers"], at + ".headers");
    if (j.contains("generate_headers")) it.generate_headers = j["generate_headers"].get<bool>();
    if (j.contains("has_attachments")) it.has_attachments = j["has_attachments"].get<bool>();
    if (j.contains("article")) it.article_number = j["article"].get<int32_t>();
    if (j.contains("attachments")) {
      const json& a = j["attachments"];
      if (!a.is_array()) fail(at + ".attachments", "expected an array");
      for (std::size_t i = 0; i < a.size(); ++i)
        it.attachments.push_back(attachment(a[i], at + ".attachments[" + std::to_string(i) + "]"));
    }
    if (j.contains("properties")) {
      const json& p = j["properties"];
      if (!p.is_object()) fail(at + ".properties", "expected an object of column names");
      for (const auto& [k, v] : p.items()) it.properties.push_back(property(k, v, at + ".properties." + k));
    }
    return it;
  }

  FolderDesc folder(const json& j, const std::string& at) const {
    only_keys(j, at, {"name", "class", "id", "path", "items", "folders"});
    FolderDesc f;
    if (j.contains("name")) f.name = text(j["name"], at + ".name");
    if (j.contains("class")) f.container_class = text(j["class"], at + ".class");
    if (j.contains("id")) f.id = hex_id(j["id"], at + ".id");
    if (j.contains("path")) f.path = text(j["path"], at + ".path");
    if (j.contains("items")) {
      const json& items = j["items"];
      if (!items.is_array()) fail(at + ".items", "expected an array");
      for (std::size_t i = 0; i < items.size(); ++i) {
        const std::string iat = at + ".items[" + std::to_string(i) + "]";
        ItemDesc it = item(items[i], iat);
        const int repeat = items[i].value("repeat", 1);
        if (repeat < 1 || repeat > 100000) fail(iat + ".repeat", "expected 1 to 100000");
        if (repeat > 1 && it.key) fail(iat, "a repeated item cannot have a fixed key");
        for (int r = 0; r < repeat; ++r) {
          ItemDesc copy = it;
          if (repeat > 1) {
            copy.subject += u" #" + edbx::decimal(r + 1);
            const uint64_t hour = 36000000000ULL * static_cast<uint64_t>(r);
            for (auto* t : {&copy.sent, &copy.received, &copy.created})
              if (*t) **t += hour;
          }
          f.items.push_back(std::move(copy));
        }
      }
    }
    if (j.contains("folders")) {
      const json& sub = j["folders"];
      if (!sub.is_array()) fail(at + ".folders", "expected an array");
      for (std::size_t i = 0; i < sub.size(); ++i) f.folders.push_back(folder(sub[i], at + ".folders[" + std::to_string(i) + "]"));
    }
    return f;
  }

  StoreDesc store(const json& j) const {
    only_keys(j, "description", {"layout", "public", "format_revision", "page_size", "attachment_table",
                                 "attachment_callback", "content_tables_with_own_column", "intrinsic_long_value_limit",
                                 "mailboxes", "public_folders", "tables", "comment"});
    StoreDesc d;
    const std::string layout = j.contains("layout") ? str(j["layout"], "layout") : "older";
    if (layout == "older") d.options.layout = Layout::Older;
    else if (layout == "newer") d.options.layout = Layout::Newer;
    else if (layout == "none") d.options.layout = Layout::None;
    else fail("layout", "expected older, newer or none");
    d.options.public_store = j.value("public", false);
    d.options.format_revision = j.value("format_revision", 0u);
    d.options.page_size = j.value("page_size", 8192u);
    if (j.contains("attachment_table")) d.options.attachment_table = text(j["attachment_table"], "attachment_table");
    if (j.contains("attachment_callback")) d.options.attachment_callback = str(j["attachment_callback"], "attachment_callback");
    d.options.content_tables_with_own_column = j.value("content_tables_with_own_column", false);
    d.options.intrinsic_long_value_limit = j.value("intrinsic_long_value_limit", 1024u);
    if (j.contains("mailboxes")) {
      const json& ms = j["mailboxes"];
      if (!ms.is_array()) fail("mailboxes", "expected an array");
      for (std::size_t i = 0; i < ms.size(); ++i) {
        const std::string at = "mailboxes[" + std::to_string(i) + "]";
        only_keys(ms[i], at, {"name", "owner", "id", "folders"});
        MailboxDesc m;
        if (ms[i].contains("name")) m.name = text(ms[i]["name"], at + ".name");
        if (ms[i].contains("owner")) m.owner = text(ms[i]["owner"], at + ".owner");
        if (ms[i].contains("id")) m.id = hex_id(ms[i]["id"], at + ".id");
        if (ms[i].contains("folders"))
          for (std::size_t k = 0; k < ms[i]["folders"].size(); ++k)
            m.folders.push_back(folder(ms[i]["folders"][k], at + ".folders[" + std::to_string(k) + "]"));
        d.mailboxes.push_back(std::move(m));
      }
    }
    if (j.contains("public_folders")) {
      const json& pf = j["public_folders"];
      if (!pf.is_array()) fail("public_folders", "expected an array");
      for (std::size_t i = 0; i < pf.size(); ++i)
        d.public_folders.push_back(folder(pf[i], "public_folders[" + std::to_string(i) + "]"));
    }
    if (j.contains("tables")) {
      const json& ts = j["tables"];
      if (!ts.is_array()) fail("tables", "expected an array");
      for (std::size_t i = 0; i < ts.size(); ++i) d.tables.push_back(plain_table(ts[i], "tables[" + std::to_string(i) + "]", d.tables));
    }
    return d;
  }

  /// A plain table: {"name", "template", "template_name", "callbacks", "columns": [...], "rows": [...]}.
  PlainTable plain_table(const json& j, const std::string& at, const std::vector<PlainTable>& earlier) const {
    only_keys(j, at, {"name", "template", "template_name", "callbacks", "columns", "rows"});
    PlainTable t;
    if (j.contains("name")) t.def.name = edbx::utf16_to_cp1252(text(j["name"], at + ".name"));
    const std::string tat = "table '" + t.def.name + "'";
    t.def.is_template = j.value("template", false);
    if (j.contains("template_name")) t.def.template_name = edbx::utf16_to_cp1252(text(j["template_name"], at + ".template_name"));
    if (j.contains("callbacks"))
      for (const auto& cb : j["callbacks"]) t.def.callbacks.push_back(str(cb, at + ".callbacks"));
    if (j.contains("columns")) {
      if (!j["columns"].is_array()) fail(at + ".columns", "expected an array");
      for (const auto& c : j["columns"]) {
        only_keys(c, at + ".columns", {"name", "type", "storage", "multi", "compressed", "codepage", "not_null"});
        ese::ColumnDef col;
        if (c.contains("name")) col.name = edbx::utf16_to_cp1252(text(c["name"], at + ".columns.name"));
        const std::string cat = tat + ", column '" + col.name + "'";
        const std::string type = c.contains("type") ? str(c["type"], cat) : "";
        if (!ese::ParseColumnType(type, col.type)) fail(cat, "unknown column type '" + type + "'");
        if (c.contains("storage")) {
          const std::string st = str(c["storage"], cat);
          if (st == "fixed") col.storage = ese::Storage::Fixed;
          else if (st == "variable") col.storage = ese::Storage::Variable;
          else if (st == "tagged") col.storage = ese::Storage::Tagged;
          else fail(cat, "storage must be fixed, variable or tagged");
        }
        col.multi_valued = c.value("multi", false);
        col.compressed = c.value("compressed", false);
        col.not_null = c.value("not_null", false);
        col.codepage = c.value("codepage", (col.type == ese::ColumnType::Text || col.type == ese::ColumnType::LongText) ? 1200u : 0u);
        t.def.columns.push_back(col);
      }
    }
    // Rows name their columns; positions follow the catalog order of the writer:
    // the template's columns, then fixed, variable and tagged columns of the table.
    std::vector<ese::ColumnDef> order;
    if (!t.def.template_name.empty()) {
      const PlainTable* base = nullptr;
      for (const auto& e : earlier)
        if (e.def.name == t.def.template_name) base = &e;
      if (base == nullptr) fail(at, "template table '" + t.def.template_name + "' must be described before");
      order = CatalogOrder(base->def.columns);
    }
    for (const auto& c : CatalogOrder(t.def.columns)) order.push_back(c);
    if (j.contains("rows")) {
      if (!j["rows"].is_array()) fail(at + ".rows", "expected an array");
      std::size_t n = 0;
      for (const auto& r : j["rows"]) {
        const std::string rat = at + ".rows[" + std::to_string(n++) + "]";
        if (!r.is_object()) fail(rat, "expected an object of column values");
        ese::Row row;
        for (const auto& [name, v] : r.items()) {
          const std::string cp = edbx::utf16_to_cp1252(edbx::utf8_to_utf16(name));
          std::size_t pos = order.size();
          for (std::size_t k = 0; k < order.size(); ++k)
            if (order[k].name == cp) pos = k;
          if (pos == order.size()) fail(tat, "no column '" + name + "' (" + rat + ")");
          row.set(static_cast<uint32_t>(pos), column_value(order[pos], v, tat + ", column '" + name + "'"));
        }
        t.rows.push_back(std::move(row));
      }
    }
    return t;
  }

  static std::vector<ese::ColumnDef> CatalogOrder(std::vector<ese::ColumnDef> cols) {
    std::stable_sort(cols.begin(), cols.end(), [](const ese::ColumnDef& a, const ese::ColumnDef& b) {
      return static_cast<int>(a.effective_storage()) < static_cast<int>(b.effective_storage());
    });
    return cols;
  }

  ese::Value column_value(const ese::ColumnDef& c, const json& v, const std::string& at) const {
    namespace val = ese::val;
    if (c.multi_valued && v.is_array()) {
      std::vector<std::string> values;
      for (const auto& e : v) values.push_back(column_value(c, e, at).bytes);
      if (values.empty()) fail(at, "an empty multi-value");
      return ese::Value::MultiOf(std::move(values));
    }
    auto integer = [&]() -> int64_t {
      if (!v.is_number_integer()) fail(at, "expected an integer");
      return v.get<int64_t>();
    };
    auto in_range = [&](int64_t x, int64_t lo, int64_t hi) {
      if (x < lo || x > hi) fail(at, "value " + std::to_string(x) + " out of range");
      return x;
    };
    switch (c.type) {
      case ese::ColumnType::Bit:
        if (!v.is_boolean()) fail(at, "expected true or false");
        return val::Bit(v.get<bool>());
      case ese::ColumnType::UnsignedByte: return val::U8(static_cast<uint8_t>(in_range(integer(), 0, 255)));
      case ese::ColumnType::Short: return val::I16(static_cast<int16_t>(in_range(integer(), -32768, 32767)));
      case ese::ColumnType::UnsignedShort: return val::U16(static_cast<uint16_t>(in_range(integer(), 0, 65535)));
      case ese::ColumnType::Long: return val::I32(static_cast<int32_t>(in_range(integer(), INT32_MIN, INT32_MAX)));
      case ese::ColumnType::UnsignedLong: return val::U32(static_cast<uint32_t>(in_range(integer(), 0, UINT32_MAX)));
      case ese::ColumnType::Currency:
      case ese::ColumnType::LongLong: return val::I64(integer());
      case ese::ColumnType::IEEESingle:
        if (!v.is_number()) fail(at, "expected a number");
        return val::F32(v.get<float>());
      case ese::ColumnType::IEEEDouble:
        if (!v.is_number()) fail(at, "expected a number");
        return val::F64(v.get<double>());
      case ese::ColumnType::DateTime: return val::Filetime(time(v, at));
      case ese::ColumnType::GUID: {
        const Blob b = blob(json{{"hex", str(v, at)}}, at);
        if (b.bytes.size() != 16) fail(at, "a GUID has 32 hex digits");
        return val::Bin(b.bytes);
      }
      case ese::ColumnType::Text:
      case ese::ColumnType::LongText:
        return c.codepage == 1252 ? val::Ansi(edbx::utf16_to_cp1252(text(v, at))) : val::Utf16(text(v, at));
      case ese::ColumnType::Binary:
      case ese::ColumnType::LongBinary: return val::Bin(blob(v, at).bytes);
    }
    fail(at, "unsupported column type");
  }

 private:
  std::filesystem::path base_;
};

}  // namespace

StoreDesc ParseDescription(const std::string& json_text, const std::filesystem::path& base_dir) {
  json j;
  try {
    j = json::parse(json_text);
  } catch (const json::parse_error& e) {
    throw DefinitionError(std::string("not valid JSON: ") + e.what());
  }
  try {
    return Parser(base_dir).store(j);
  } catch (const json::exception& e) {
    throw DefinitionError(std::string("bad description: ") + e.what());
  }
}

StoreDesc LoadDescription(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) throw DefinitionError("cannot read " + file.string());
  std::ostringstream ss;
  ss << in.rdbuf();
  return ParseDescription(ss.str(), file.parent_path());
}

}  // namespace edbforge::store
