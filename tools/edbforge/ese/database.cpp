#include "tools/edbforge/ese/database.hpp"

#include <unistd.h>

#include <algorithm>
#include <ctime>
#include <map>
#include <set>

#include "tools/edbforge/ese/checksum.hpp"
#include "tools/edbforge/ese/compress.hpp"
#include "tools/edbforge/ese/record.hpp"

namespace edbforge::ese {

namespace {

constexpr std::size_t kNameMost = 64;  // longest table or column name ESE accepts

bool SupportedRevision(uint32_t r) { return r >= 9 && r <= 0x14; }

uint32_t MaxSizeOf(const ColumnDef& c) {
  if (const uint32_t f = FixedSizeOf(c.type); f != 0) return f;
  return IsLongType(c.type) ? 0 : 255;
}

Bytes NormalizedInt32(int32_t v) { return u32be(static_cast<uint32_t>(v) ^ 0x80000000u); }
Bytes NormalizedInt16(int16_t v) {
  Bytes b;
  put_u16be(b, static_cast<uint16_t>(static_cast<uint16_t>(v) ^ 0x8000u));
  return b;
}

/// The catalog key: ObjidTable, Type and Id, each normalized with a 0x7f prefix.
Bytes CatalogKey(uint32_t objid, uint16_t type, uint32_t id) {
  Bytes k;
  k.push_back('\x7f');
  k += NormalizedInt32(static_cast<int32_t>(objid));
  k.push_back('\x7f');
  k += NormalizedInt16(static_cast<int16_t>(type));
  k.push_back('\x7f');
  k += NormalizedInt32(static_cast<int32_t>(id));
  return k;
}

/// The catalog table's own definition for a format revision.
TableDef CatalogDefinition(uint32_t revision) {
  TableDef d;
  d.name = "MSysObjects";
  auto add = [&](const char* name, ColumnType type, Storage storage) {
    ColumnDef c;
    c.name = name;
    c.type = type;
    c.storage = storage;
    if (type == ColumnType::Text) c.codepage = 1252;
    d.columns.push_back(c);
  };
  add("ObjidTable", ColumnType::Long, Storage::Fixed);
  add("Type", ColumnType::Short, Storage::Fixed);
  add("Id", ColumnType::Long, Storage::Fixed);
  add("ColtypOrPgnoFDP", ColumnType::Long, Storage::Fixed);
  add("SpaceUsage", ColumnType::Long, Storage::Fixed);
  add("Flags", ColumnType::Long, Storage::Fixed);
  add("PagesOrLocale", ColumnType::Long, Storage::Fixed);
  add("RootFlag", ColumnType::Bit, Storage::Fixed);
  add("RecordOffset", ColumnType::Short, Storage::Fixed);
  add("LCMapFlags", ColumnType::Long, Storage::Fixed);
  if (revision >= 0x0c) add("KeyMost", ColumnType::UnsignedShort, Storage::Fixed);
  if (revision >= 0x14) add("LVChunkMax", ColumnType::Long, Storage::Fixed);
  add("Name", ColumnType::Text, Storage::Variable);
  add("Stats", ColumnType::Binary, Storage::Variable);
  add("TemplateTable", ColumnType::Text, Storage::Variable);
  add("DefaultValue", ColumnType::Binary, Storage::Variable);
  add("KeyFldIDs", ColumnType::Binary, Storage::Variable);
  add("VarSegMac", ColumnType::Binary, Storage::Variable);
  add("ConditionalColumns", ColumnType::Binary, Storage::Variable);
  add("TupleLimits", ColumnType::Binary, Storage::Variable);
  if (revision >= 0x0c) add("Version", ColumnType::Binary, Storage::Variable);
  if (revision >= 0x14) add("SortID", ColumnType::Binary, Storage::Variable);
  add("CallbackData", ColumnType::LongBinary, Storage::Tagged);
  add("CallbackDependencies", ColumnType::LongBinary, Storage::Tagged);
  if (revision >= 0x11) {
    add("SeparateLV", ColumnType::LongBinary, Storage::Tagged);
    add("SpaceHints", ColumnType::LongBinary, Storage::Tagged);
    add("SpaceDeferredLVHints", ColumnType::LongBinary, Storage::Tagged);
  }
  if (revision >= 0x14) add("LocaleName", ColumnType::LongBinary, Storage::Tagged);
  return d;
}

/// JET_LOGTIME: seconds, minutes, hours, day, month, years since 1900, two fillers.
Bytes LogTime(int64_t t) {
  const auto tt = static_cast<std::time_t>(t);
  std::tm tm{};
  gmtime_r(&tt, &tm);
  Bytes b;
  for (int v : {tm.tm_sec, tm.tm_min, tm.tm_hour, tm.tm_mday, tm.tm_mon + 1, tm.tm_year})
    put_u8(b, static_cast<uint32_t>(v));
  b.append(2, '\0');
  return b;
}

}  // namespace

DatabaseWriter::DatabaseWriter(const std::filesystem::path& path, const WriterOptions& options)
    : options_(options) {
  fmt_.page_size = options.page_size;
  fmt_.revision = options.format_revision;
  if (options.page_size != 4096 && options.page_size != 8192 && options.page_size != 16384 &&
      options.page_size != 32768)
    throw DefinitionError("unsupported page size " + std::to_string(options.page_size) +
                          " (4096, 8192, 16384 or 32768)");
  if (!SupportedRevision(options.format_revision))
    throw DefinitionError("unsupported format revision " + std::to_string(options.format_revision) +
                          " (9 to 20)");
  if (options.page_size > 8192 && options.format_revision < 0x11)
    throw DefinitionError("page size " + std::to_string(options.page_size) +
                          " needs format revision 17 or later");
  file_ = std::make_unique<PagedFile>(path, fmt_);
}

DatabaseWriter::~DatabaseWriter() = default;

DatabaseWriter::Table& DatabaseWriter::table(TableId id) {
  if (id >= tables_.size()) throw std::out_of_range("unknown table id");
  return *tables_[id];
}
const DatabaseWriter::Table& DatabaseWriter::table(TableId id) const {
  if (id >= tables_.size()) throw std::out_of_range("unknown table id");
  return *tables_[id];
}

std::string DatabaseWriter::where(const Table& t, const Column* c) const {
  std::string s = "table '" + t.def.name + "'";
  if (c != nullptr) s += ", column '" + c->def->name + "'";
  return s;
}

void DatabaseWriter::validate(const TableDef& def, const Table* base) const {
  const std::string at = "table '" + def.name + "'";
  if (def.name.empty()) throw DefinitionError("a table has no name");
  if (def.name.size() > kNameMost) throw DefinitionError(at + ": name longer than 64 characters");
  for (const auto& t : tables_)
    if (t->def.name == def.name) throw DefinitionError(at + ": defined twice");
  if (!def.template_name.empty() && base == nullptr)
    throw DefinitionError(at + ": template table '" + def.template_name + "' is not defined (define it first)");
  if (base != nullptr && !base->def.is_template)
    throw DefinitionError(at + ": table '" + def.template_name + "' is not a template table");
  if (base != nullptr && def.is_template)
    throw DefinitionError(at + ": a derived table cannot be a template");
  if (def.columns.empty() && base == nullptr) throw DefinitionError(at + ": has no columns");
  if (def.callbacks.size() > 1)
    throw DefinitionError(at + ": more than one callback (readers keep one per table)");
  for (const auto& cb : def.callbacks)
    if (cb.empty() || cb.size() > 255) throw DefinitionError(at + ": callback name empty or too long");

  std::set<std::string> names;
  if (base != nullptr)
    for (const auto& c : base->columns) names.insert(c.def->name);
  std::size_t fixed = 0, variable = 0, tagged = 0;
  for (const auto& c : def.columns) {
    const std::string cat = at + ", column '" + c.name + "'";
    if (c.name.empty()) throw DefinitionError(at + ": a column has no name");
    if (c.name.size() > kNameMost) throw DefinitionError(cat + ": name longer than 64 characters");
    if (!names.insert(c.name).second) throw DefinitionError(cat + ": defined twice");
    const auto type = static_cast<uint32_t>(c.type);
    if (type < 1 || type > 17 || type == 13) throw DefinitionError(cat + ": unknown column type");
    const Storage s = c.effective_storage();
    if (s == Storage::Fixed && IsVariableSizeType(c.type))
      throw DefinitionError(cat + ": type " + std::string(ColumnTypeName(c.type)) + " cannot be fixed");
    if (s == Storage::Variable && (FixedSizeOf(c.type) != 0 || IsLongType(c.type)))
      throw DefinitionError(cat + ": only Text and Binary columns can be variable");
    if (c.multi_valued && s != Storage::Tagged) throw DefinitionError(cat + ": multi-valued columns must be tagged");
    if (c.compressed && !IsLongType(c.type))
      throw DefinitionError(cat + ": only LongText and LongBinary columns can be compressed");
    const bool text = c.type == ColumnType::Text || c.type == ColumnType::LongText;
    if (text && c.codepage != 0 && c.codepage != 1200 && c.codepage != 1252)
      throw DefinitionError(cat + ": code page must be 1200 or 1252");
    if (!text && c.codepage != 0) throw DefinitionError(cat + ": a code page is only for text columns");
    (s == Storage::Fixed ? fixed : s == Storage::Variable ? variable : tagged)++;
  }
  if (fixed > 127) throw DefinitionError(at + ": more than 127 fixed columns");
  if (variable > 127) throw DefinitionError(at + ": more than 127 variable columns");
  if (tagged > 64993) throw DefinitionError(at + ": more than 64993 tagged columns");
}

TableId DatabaseWriter::add_table(const TableDef& def_in) {
  if (finished_) throw std::logic_error("table added after finish");
  const Table* base = nullptr;
  if (!def_in.template_name.empty())
    for (const auto& t : tables_)
      if (t->def.name == def_in.template_name) base = t.get();
  validate(def_in, base);

  auto t = std::make_unique<Table>();
  t->def = def_in;
  // Columns are kept in catalog order: fixed, variable, tagged, each in definition order.
  std::stable_sort(t->def.columns.begin(), t->def.columns.end(), [](const ColumnDef& a, const ColumnDef& b) {
    return static_cast<int>(a.effective_storage()) < static_cast<int>(b.effective_storage());
  });
  t->base = base;
  t->objid = next_objid_++;

  uint16_t next_fixed = 1, next_var = 128;
  uint32_t offset = 4;
  if (base != nullptr) {
    for (const auto& c : base->columns) {
      Column copy = c;
      copy.derived = true;
      t->columns.push_back(copy);
      if (c.storage == Storage::Fixed) {
        next_fixed = static_cast<uint16_t>(c.id + 1);
        offset = c.record_offset + c.fixed_size;
      } else if (c.storage == Storage::Variable) {
        next_var = static_cast<uint16_t>(c.id + 1);
      }
    }
  }
  uint16_t next_tagged = 256;
  if (next_fixed > 128 || next_var > 256)
    throw DefinitionError(where(*t, nullptr) + ": too many fixed or variable columns with its template");
  for (const auto& c : t->def.columns) {
    Column col{&c, 0, false, c.effective_storage(), FixedSizeOf(c.type), 0};
    if (col.storage == Storage::Fixed) {
      if (next_fixed > 127) throw DefinitionError(where(*t, &col) + ": more than 127 fixed columns");
      col.id = next_fixed++;
      col.record_offset = offset;
      offset += col.fixed_size;
    } else if (col.storage == Storage::Variable) {
      if (next_var > 255) throw DefinitionError(where(*t, &col) + ": more than 127 variable columns");
      col.id = next_var++;
    } else {
      col.id = next_tagged++;
    }
    t->columns.push_back(col);
  }
  for (uint32_t i = 0; i < t->columns.size(); ++i)
    if (t->columns[i].storage == Storage::Fixed) t->fixed_order.push_back(i);
  std::sort(t->fixed_order.begin(), t->fixed_order.end(),
            [&](uint32_t a, uint32_t b) { return t->columns[a].id < t->columns[b].id; });

  TreeOptions opts;
  opts.objid = t->objid;
  t->data = std::make_unique<TreeBuilder>(*file_, opts);
  tables_.push_back(std::move(t));
  return static_cast<TableId>(tables_.size() - 1);
}

uint32_t DatabaseWriter::column_index(TableId id, std::string_view name) const {
  const Table& t = table(id);
  for (uint32_t i = 0; i < t.columns.size(); ++i)
    if (t.columns[i].def->name == name) return i;
  throw DefinitionError(where(t, nullptr) + ": no column '" + std::string(name) + "'");
}

uint32_t DatabaseWriter::column_count(TableId id) const {
  return static_cast<uint32_t>(table(id).columns.size());
}

TreeBuilder& DatabaseWriter::long_value_tree(Table& t) {
  if (!t.long_values) {
    t.lv_objid = next_objid_++;
    TreeOptions opts;
    opts.objid = t.lv_objid;
    opts.parent_fdp_page = t.data->root_page();
    opts.kind_flags = kPageLongValue;
    t.long_values = std::make_unique<TreeBuilder>(*file_, opts);
  }
  return *t.long_values;
}

std::string DatabaseWriter::separate_long_value(Table& t, const Column& c, const std::string& data) {
  if (data.size() > 0x7fffffffu) throw DefinitionError(where(t, &c) + ": long value larger than 2 GiB");
  TreeBuilder& tree = long_value_tree(t);
  const uint32_t lid = t.next_lid++;
  if (lid >= 0x7fffffffu) throw DefinitionError(where(t, &c) + ": too many long values");
  Bytes root;
  put_u32le(root, 1);  // reference count
  put_u32le(root, static_cast<uint32_t>(data.size()));
  tree.add(u32be(lid), std::move(root));
  const bool utf16 = c.def->type == ColumnType::LongText && c.def->codepage == 1200;
  const std::size_t chunk = fmt_.long_value_chunk();
  for (std::size_t off = 0; off < data.size(); off += chunk) {
    std::string piece = data.substr(off, chunk);
    if (c.def->compressed)
      if (auto z = CompressValue(piece, utf16)) piece = std::move(*z);
    Bytes key = u32be(lid);
    put_u32be(key, static_cast<uint32_t>(off));
    tree.add(std::move(key), std::move(piece));
  }
  Bytes ref;
  put_u32le(ref, lid);
  return ref;
}

void DatabaseWriter::add_row(TableId id, const Row& row) {
  if (finished_) throw std::logic_error("row added after finish");
  Table& t = table(id);
  const std::string row_at = " (row " + std::to_string(t.rows) + ")";
  std::vector<const Value*> slots(t.columns.size(), nullptr);
  for (const auto& [index, value] : row.values) {
    if (index >= t.columns.size())
      throw DefinitionError(where(t, nullptr) + ": column position " + std::to_string(index) + " out of range" + row_at);
    const Column& c = t.columns[index];
    if (slots[index] != nullptr) throw DefinitionError(where(t, &c) + ": set twice in one row" + row_at);
    slots[index] = &value;
    const uint32_t max = MaxSizeOf(*c.def);
    auto check = [&](const std::string& b) {
      if (FixedSizeOf(c.def->type) != 0 && b.size() != max)
        throw DefinitionError(where(t, &c) + ": value of " + std::to_string(b.size()) + " bytes for a " +
                              std::string(ColumnTypeName(c.def->type)) + " column of " + std::to_string(max) +
                              " bytes" + row_at);
      if (max != 0 && b.size() > max)
        throw DefinitionError(where(t, &c) + ": value of " + std::to_string(b.size()) +
                              " bytes is too large for the column (at most " + std::to_string(max) + ")" + row_at);
    };
    if (value.kind == Value::Kind::Multi) {
      if (!c.def->multi_valued)
        throw DefinitionError(where(t, &c) + ": several values for a single-valued column" + row_at);
      if (value.values.empty()) throw DefinitionError(where(t, &c) + ": empty multi-value" + row_at);
      for (const auto& v : value.values) check(v);
    } else {
      check(value.bytes);
    }
  }

  // Fixed and variable columns.
  std::vector<FixedField> fixed;
  uint16_t last_fixed = 0;
  for (uint32_t pos : t.fixed_order)
    if (slots[pos] != nullptr) last_fixed = t.columns[pos].id;
  for (uint32_t pos : t.fixed_order) {
    const Column& c = t.columns[pos];
    if (c.id > last_fixed) break;
    fixed.push_back({c.id, c.fixed_size, slots[pos] != nullptr ? &slots[pos]->bytes : nullptr});
  }
  std::vector<VariableField> variable;
  for (uint32_t i = 0; i < t.columns.size(); ++i)
    if (t.columns[i].storage == Storage::Variable && slots[i] != nullptr)
      variable.push_back({t.columns[i].id, &slots[i]->bytes});
  std::sort(variable.begin(), variable.end(), [](const VariableField& a, const VariableField& b) { return a.id < b.id; });

  // Tagged columns: template columns first, then the table's own, each by id.
  struct Pending {
    uint32_t pos;
    TaggedField field;
    bool can_separate;
  };
  std::vector<Pending> tagged;
  for (uint32_t i = 0; i < t.columns.size(); ++i) {
    const Column& c = t.columns[i];
    if (c.storage != Storage::Tagged || slots[i] == nullptr) continue;
    const Value& v = *slots[i];
    Pending p{i, {c.id, c.derived, static_cast<uint8_t>(IsVariableSizeType(c.def->type) ? kValueVariableSize : 0), {}}, false};
    if (v.kind == Value::Kind::Multi && v.values.size() > 1) {
      try {
        p.field.payload = EncodeMultiValue(v.values);
      } catch (const std::length_error&) {
        throw DefinitionError(where(t, &c) + ": multi-value too large for a record" + row_at);
      }
      p.field.flags |= kValueMultiValue;
    } else {
      const std::string& data = v.kind == Value::Kind::Multi ? v.values.front() : v.bytes;
      if (IsLongType(c.def->type)) {
        const bool separate = v.placement == LongValuePlacement::Separate ||
                              (v.placement == LongValuePlacement::Auto && data.size() > options_.intrinsic_long_value_limit);
        if (separate) {
          p.field.payload = separate_long_value(t, c, data);
          p.field.flags |= kValueLongValue;
        } else {
          p.can_separate = v.placement == LongValuePlacement::Auto;
          p.field.payload = data;
          const bool utf16 = c.def->type == ColumnType::LongText && c.def->codepage == 1200;
          if (c.def->compressed)
            if (auto z = CompressValue(data, utf16)) {
              p.field.payload = std::move(*z);
              p.field.flags |= kValueCompressed;
            }
        }
      } else {
        p.field.payload = data;
      }
    }
    tagged.push_back(std::move(p));
  }
  std::stable_sort(tagged.begin(), tagged.end(), [](const Pending& a, const Pending& b) {
    if (a.field.derived != b.field.derived) return a.field.derived;
    return a.field.id < b.field.id;
  });

  const std::size_t max_record = t.data->max_data(4);
  while (true) {
    std::vector<TaggedField> fields;
    fields.reserve(tagged.size());
    for (const auto& p : tagged) fields.push_back(p.field);
    Bytes record;
    bool fits = true;
    try {
      record = EncodeRecord(fmt_, fixed, variable, fields);
      fits = record.size() <= max_record;
    } catch (const std::length_error&) {
      fits = false;
    }
    if (fits) {
      t.data->add(u32be(t.next_key++), std::move(record));
      ++t.rows;
      return;
    }
    // Too large for a page: move the largest value still kept in the record to the
    // long-value tree, as ESE does, and try again.
    Pending* largest = nullptr;
    for (auto& p : tagged)
      if (p.can_separate && (largest == nullptr || p.field.payload.size() > largest->field.payload.size())) largest = &p;
    if (largest == nullptr)
      throw DefinitionError(where(t, nullptr) + ": row of " + std::to_string(record.size()) +
                            " bytes does not fit a page" + row_at);
    const Column& c = t.columns[largest->pos];
    const Value& v = *slots[largest->pos];
    const std::string& data = v.kind == Value::Kind::Multi ? v.values.front() : v.bytes;
    largest->field.payload = separate_long_value(t, c, data);
    largest->field.flags = static_cast<uint8_t>((largest->field.flags & ~kValueCompressed) | kValueLongValue);
    largest->can_separate = false;
  }
}

void DatabaseWriter::write_catalog() {
  // The catalog table itself is described with the regular machinery.
  const TableDef catalog_def = CatalogDefinition(fmt_.revision);
  auto column_of = [&](const char* name) -> uint32_t {
    for (uint32_t i = 0; i < catalog_def.columns.size(); ++i)
      if (catalog_def.columns[i].name == name) return i;
    throw std::logic_error("catalog column missing");
  };
  // Positions in catalog_def order equal positions by id: fixed, variable, tagged.
  struct CatalogColumn {
    uint16_t id;
    uint32_t size;
    Storage storage;
  };
  std::vector<CatalogColumn> cat_cols;
  {
    uint16_t f = 1, v = 128, g = 256;
    for (const auto& c : catalog_def.columns) {
      const Storage s = c.effective_storage();
      cat_cols.push_back({s == Storage::Fixed ? f++ : s == Storage::Variable ? v++ : g++, FixedSizeOf(c.type), s});
    }
  }
  using Fields = std::map<uint32_t, std::string>;  // catalog column position -> stored bytes
  auto encode = [&](const Fields& fields) {
    std::vector<FixedField> fixed;
    std::vector<VariableField> variable;
    uint16_t last_fixed = 0;
    for (const auto& [pos, bytes] : fields)
      if (cat_cols[pos].storage == Storage::Fixed) last_fixed = std::max(last_fixed, cat_cols[pos].id);
    for (uint32_t pos = 0; pos < cat_cols.size(); ++pos) {
      const auto& cc = cat_cols[pos];
      const auto it = fields.find(pos);
      if (cc.storage == Storage::Fixed && cc.id <= last_fixed)
        fixed.push_back({cc.id, cc.size, it != fields.end() ? &it->second : nullptr});
      else if (cc.storage == Storage::Variable && it != fields.end())
        variable.push_back({cc.id, &it->second});
    }
    return EncodeRecord(fmt_, fixed, variable, {});
  };
  auto i32 = [](uint32_t v) { return val::U32(v).bytes; };
  auto i16 = [](uint16_t v) { return val::U16(v).bytes; };
  const uint32_t kObjid = column_of("ObjidTable"), kType = column_of("Type"), kId = column_of("Id"),
                 kPgno = column_of("ColtypOrPgnoFDP"), kSpace = column_of("SpaceUsage"),
                 kFlags = column_of("Flags"), kPages = column_of("PagesOrLocale"),
                 kRoot = column_of("RootFlag"), kOffset = column_of("RecordOffset"), kName = column_of("Name"),
                 kTemplate = column_of("TemplateTable");

  std::vector<std::pair<Bytes, Bytes>> rows;
  auto table_row = [&](uint32_t objid, uint32_t root, uint32_t flags, uint32_t pages, const std::string& name,
                       const std::string& template_name) {
    Fields f{{kObjid, i32(objid)}, {kType, i16(kCatalogTable)}, {kId, i32(objid)}, {kPgno, i32(root)},
             {kSpace, i32(80)},    {kFlags, i32(flags)},       {kPages, i32(pages)}, {kRoot, "\xff"},
             {kName, name}};
    if (!template_name.empty()) f[kTemplate] = template_name;
    rows.emplace_back(CatalogKey(objid, kCatalogTable, objid), encode(f));
  };
  auto column_row = [&](uint32_t objid, uint16_t id, const ColumnDef& c, uint32_t record_offset) {
    uint32_t flags = 0;
    if (c.not_null) flags |= kFieldNotNull;
    if (c.multi_valued) flags |= kFieldMultiValued;
    if (c.compressed) flags |= kFieldCompressed;
    uint32_t codepage = c.codepage;
    if ((c.type == ColumnType::Text || c.type == ColumnType::LongText) && codepage == 0) codepage = 1252;
    Fields f{{kObjid, i32(objid)}, {kType, i16(kCatalogColumn)}, {kId, i32(id)},
             {kPgno, i32(static_cast<uint32_t>(c.type))}, {kSpace, i32(MaxSizeOf(c))},
             {kFlags, i32(flags)}, {kPages, i32(codepage)}, {kName, c.name}};
    if (c.effective_storage() == Storage::Fixed) f[kOffset] = i16(static_cast<uint16_t>(record_offset));
    rows.emplace_back(CatalogKey(objid, kCatalogColumn, id), encode(f));
  };

  // The catalog and its shadow describe themselves.
  for (const auto& [objid, root, name] : {std::tuple<uint32_t, uint32_t, const char*>{kCatalogObjid, kCatalogRootPage, "MSysObjects"},
                                          {kShadowCatalogObjid, kShadowCatalogRootPage, "MSysObjectsShadow"}}) {
    table_row(objid, root, kTableSystem, kCatalogExtentPages, name, "");
    uint32_t offset = 4;
    for (std::size_t i = 0; i < catalog_def.columns.size(); ++i) {
      column_row(objid, cat_cols[i].id, catalog_def.columns[i], offset);
      if (cat_cols[i].storage == Storage::Fixed) offset += cat_cols[i].size;
    }
  }
  for (const auto& tp : tables_) {
    const Table& t = *tp;
    uint32_t flags = 0;
    if (t.def.is_template) flags = kTableTemplate | kTableFixedDdl;
    table_row(t.objid, t.data->root_page(), flags, t.def.initial_pages, t.def.name, t.def.template_name);
    for (const auto& c : t.columns)
      if (!c.derived) column_row(t.objid, c.id, *c.def, c.record_offset);
    if (t.long_values) {
      Fields f{{kObjid, i32(t.objid)}, {kType, i16(kCatalogLongValue)}, {kId, i32(t.lv_objid)},
               {kPgno, i32(t.long_values->root_page())}, {kSpace, i32(100)}, {kFlags, i32(0)},
               {kPages, i32(1)}, {kName, "LV"}};
      rows.emplace_back(CatalogKey(t.objid, kCatalogLongValue, t.lv_objid), encode(f));
    }
    uint32_t callback_id = 1;
    for (const auto& cb : t.def.callbacks) {
      Fields f{{kObjid, i32(t.objid)}, {kType, i16(kCatalogCallback)}, {kId, i32(callback_id)},
               {kPgno, i32(0)}, {kSpace, i32(0)}, {kFlags, i32(0)}, {kPages, i32(0)}, {kName, cb}};
      rows.emplace_back(CatalogKey(t.objid, kCatalogCallback, callback_id), encode(f));
      ++callback_id;
    }
  }
  std::sort(rows.begin(), rows.end());

  for (const auto& [objid, root] : {std::pair<uint32_t, uint32_t>{kCatalogObjid, kCatalogRootPage},
                                    {kShadowCatalogObjid, kShadowCatalogRootPage}}) {
    TreeOptions opts;
    opts.objid = objid;
    opts.first_extent_start = root;
    opts.first_extent_size = kCatalogExtentPages;
    opts.space_pages_after_root = true;
    TreeBuilder tree(*file_, opts);
    for (const auto& [key, record] : rows) {
      if (record.size() > tree.max_data(key.size()))
        throw DefinitionError("a catalog entry does not fit a page");
      tree.add(key, record);
    }
    tree.finish();
  }
}

void DatabaseWriter::write_database_tree() {
  const uint32_t last = file_->last_page();
  PageHeader h;
  h.objid = kDatabaseObjid;
  Bytes root;
  put_u32le(root, last);
  put_u32le(root, 0);
  put_u32le(root, 1);
  put_u32le(root, 2);
  h.page_number = kDatabaseRootPage;
  h.flags = fmt_.base_page_flags() | kPageRoot | kPageLeaf;
  file_->write_page(h, {{root, 0}});
  Bytes count;
  put_u32le(count, last);
  h.flags = fmt_.base_page_flags() | kPageRoot | kPageLeaf | kPageSpaceTree;
  h.page_number = 2;
  file_->write_page(h, {{Bytes(16, '\0'), 0}, MakeNode(u32be(last), count)});
  h.page_number = 3;
  h.flags |= 0x10000;
  file_->write_page(h, {{Bytes(16, '\0'), 0}});
}

void DatabaseWriter::write_headers() {
  std::vector<uint8_t> hdr(fmt_.page_size, 0);
  uint8_t* p = hdr.data();
  const Bytes now = LogTime(options_.timestamp);
  store_u32le(p + 4, 0x89abcdefu);
  store_u32le(p + 8, kFormatVersion);
  store_u32le(p + 12, 0);  // database file
  store_u64le(p + 16, file_->dbtime());
  // Database signature: a number, the creation time and the computer name.
  store_u32le(p + 24, static_cast<uint32_t>(options_.timestamp) ^ 0x5eed1234u);
  std::copy(now.begin(), now.end(), p + 28);
  const std::string& host = options_.computer_name;
  std::copy_n(host.begin(), std::min<std::size_t>(host.size(), 15), p + 36);
  store_u32le(p + 52, 3);  // clean shutdown
  std::copy(now.begin(), now.end(), p + 64);  // consistent time
  std::copy(now.begin(), now.end(), p + 72);  // attach time
  std::copy(now.begin(), now.end(), p + 88);  // detach time
  std::copy(p + 24, p + 52, p + 108);         // log signature
  store_u32le(p + 212, next_objid_ - 1);      // last object identifier
  store_u32le(p + 216, 6);
  store_u32le(p + 220, 1);
  store_u32le(p + 224, 7601);
  store_u32le(p + 232, fmt_.revision);
  store_u32le(p + 236, fmt_.page_size);
  store_u32le(p + 340, kFormatVersion);
  store_u32le(p + 344, fmt_.revision);
  store_u32le(p, Xor32(p + 4, 668 - 4, 0x89abcdefu));
  file_->write_at(0, hdr.data(), hdr.size());
  file_->write_at(fmt_.page_size, hdr.data(), hdr.size());
}

void DatabaseWriter::finish() {
  if (finished_) return;
  finished_ = true;
  for (auto& t : tables_) {
    t->data->finish();
    if (t->long_values) t->long_values->finish();
  }
  write_catalog();
  write_database_tree();
  write_headers();
  // Pages owned by trees but never written still belong to the file.
  const uint64_t size = (static_cast<uint64_t>(file_->last_page()) + 2) * fmt_.page_size;
  file_->truncate(size);
  file_->close();
}

}  // namespace edbforge::ese
