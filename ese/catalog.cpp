#include "ese/catalog.hpp"

#include <map>
#include <utility>

#include "ese/bytes.hpp"

namespace edbx::ese_reader {

namespace {

constexpr TreeRoot kCatalogTree{2, 4};
constexpr TreeRoot kShadowTree{3, 24};

// Row types.
constexpr std::uint16_t kTableRow = 1;
constexpr std::uint16_t kColumnRow = 2;
constexpr std::uint16_t kLongValueRow = 4;
constexpr std::uint16_t kCallbackRow = 5;

// Entries of the built-in schema below.
enum Entry : std::size_t {
  kObjidTable, kType, kId, kColtypOrPgnoFDP, kSpaceUsage, kFlags, kPagesOrLocale, kRootFlag, kRecordOffset,
  kName, kTemplateTable, kDefaultValue, kEntries
};

std::vector<ColumnDef> CatalogColumns() {
  auto fixed = [](std::uint32_t id, std::uint32_t type, std::uint32_t size, const char* name) {
    ColumnDef c;
    c.id = id;
    c.type = type;
    c.size = size;
    c.name = name;
    return c;
  };
  return {fixed(1, column_type::kLong, 4, "ObjidTable"),
          fixed(2, column_type::kShort, 2, "Type"),
          fixed(3, column_type::kLong, 4, "Id"),
          fixed(4, column_type::kLong, 4, "ColtypOrPgnoFDP"),
          fixed(5, column_type::kLong, 4, "SpaceUsage"),
          fixed(6, column_type::kLong, 4, "Flags"),
          fixed(7, column_type::kLong, 4, "PagesOrLocale"),
          fixed(8, column_type::kBit, 1, "RootFlag"),
          fixed(9, column_type::kShort, 2, "RecordOffset"),
          fixed(128, column_type::kText, 255, "Name"),
          fixed(130, column_type::kText, 255, "TemplateTable"),
          fixed(131, column_type::kBinary, 255, "DefaultValue")};
}

// Catalog names are 8-bit text, sometimes stored with their terminator.
std::string Name(std::string_view stored) {
  while (!stored.empty() && stored.back() == '\0') stored.remove_suffix(1);
  return std::string(stored);
}

bool ReadTree(const std::shared_ptr<const PageFile>& file, TreeRoot root, std::vector<TableDef>& tables,
              std::vector<std::string>& problems) {
  const RecordLayout layout(CatalogColumns(), false, file->format());
  const TreeReader tree(file, root, TreeKind::kTable);
  std::map<std::uint32_t, std::size_t> by_objid;
  std::vector<ValueSpan> spans;
  const bool walked = tree.WalkLeaves(
      [&](const Page& page) {
        for (const Node& node : page.nodes()) {
          if (node.deleted()) continue;
          std::string why;
          if (!layout.Decode(node.data, spans, &why)) {
            problems.push_back("page " + std::to_string(page.number()) + ", tag " + std::to_string(node.tag) + ": " + why);
            continue;
          }
          auto data = [&](Entry e) { return layout.Data(node.data, spans[e], e); };
          auto u32 = [&](Entry e) -> std::uint32_t {
            const auto d = data(e);
            return d.size() == 4 ? Le32(d, 0) : 0;
          };
          const auto type_bytes = data(kType);
          if (type_bytes.size() != 2) continue;
          const std::uint16_t type = Le16(type_bytes, 0);
          const std::uint32_t objid = u32(kObjidTable);
          if (type == kTableRow) {
            TableDef table;
            table.name = Name(data(kName));
            table.objid = objid;
            table.root_page = u32(kColtypOrPgnoFDP);
            table.flags = u32(kFlags);
            table.template_name = Name(data(kTemplateTable));
            by_objid[objid] = tables.size();
            tables.push_back(std::move(table));
            continue;
          }
          const auto owner = by_objid.find(objid);
          if (owner == by_objid.end()) continue;  // a row of a table whose own row was lost
          TableDef& table = tables[owner->second];
          if (type == kColumnRow) {
            ColumnDef column;
            column.id = u32(kId);
            column.type = u32(kColtypOrPgnoFDP);
            column.size = u32(kSpaceUsage);
            column.flags = u32(kFlags);
            column.codepage = u32(kPagesOrLocale);
            const auto offset = data(kRecordOffset);
            column.record_offset = offset.size() == 2 ? Le16(offset, 0) : 0;
            column.name = Name(data(kName));
            column.default_value = std::string(data(kDefaultValue));
            table.columns.push_back(std::move(column));
          } else if (type == kLongValueRow) {
            table.long_values = TreeRoot{u32(kId), u32(kColtypOrPgnoFDP)};
          } else if (type == kCallbackRow) {
            table.callbacks.push_back(Name(data(kTemplateTable)));
          }
        }
        return true;
      },
      problems);
  return walked && !tables.empty();
}

}  // namespace

std::optional<Catalog> Catalog::Read(const std::shared_ptr<const PageFile>& file, std::vector<std::string>* problems,
                                     std::string* why) {
  Catalog catalog;
  std::vector<std::string> found;
  if (!ReadTree(file, kCatalogTree, catalog.tables_, found)) {
    std::vector<std::string> shadow_problems;
    std::vector<TableDef> shadow;
    if (ReadTree(file, kShadowTree, shadow, shadow_problems)) {
      found.push_back("the catalog was read from its shadow copy");
      found.insert(found.end(), shadow_problems.begin(), shadow_problems.end());
      catalog.tables_ = std::move(shadow);
    }
  }
  if (problems != nullptr) problems->insert(problems->end(), found.begin(), found.end());
  if (catalog.tables_.empty()) {
    if (why != nullptr) *why = found.empty() ? "the catalog lists no table" : "the catalog cannot be read: " + found.front();
    return std::nullopt;
  }
  return catalog;
}

const TableDef* Catalog::Find(std::string_view name) const {
  for (const TableDef& table : tables_)
    if (table.name == name) return &table;
  return nullptr;
}

bool Catalog::Derived(const TableDef& table) const {
  return !table.template_name.empty() && Find(table.template_name) != nullptr && Find(table.template_name) != &table;
}

std::vector<ColumnDef> Catalog::EntryColumns(const TableDef& table) const {
  std::vector<ColumnDef> columns;
  if (Derived(table)) {
    for (ColumnDef column : Find(table.template_name)->columns) {
      column.from_template = true;
      columns.push_back(std::move(column));
    }
  }
  columns.insert(columns.end(), table.columns.begin(), table.columns.end());
  return columns;
}

}  // namespace edbx::ese_reader
