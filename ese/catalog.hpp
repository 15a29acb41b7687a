#pragma once
// The catalog: the table MSysObjects, read with the same tree and record readers as
// every other table, with its schema built in (it describes itself, but its own column
// rows do not give their record offsets).
//
// Its primary key is (ObjidTable, Type, Id), so each table's rows come together: the
// table row (Type 1), its columns (2) by id, its indexes (3), its long-value tree (4)
// and callbacks (5). When the catalog's tree cannot be read at all, its shadow copy
// MSysObjectsShadow is read instead.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ese/file.hpp"
#include "ese/record.hpp"
#include "ese/tree.hpp"

namespace edbx::ese_reader {

namespace table_flag {
inline constexpr std::uint32_t kTemplate = 0x20000000;
inline constexpr std::uint32_t kDerived = 0x10000000;
}  // namespace table_flag

/// One table as the catalog describes it.
struct TableDef {
  std::string name;           // as stored (8-bit)
  std::uint32_t objid = 0;
  std::uint32_t root_page = 0;
  std::uint32_t flags = 0;    // table_flag
  std::string template_name;  // the template of a derived table
  std::vector<ColumnDef> columns;  // the table's own columns, by id
  std::optional<TreeRoot> long_values;
  std::vector<std::string> callbacks;  // callback names ("dll!function")

  TreeRoot tree() const { return {objid, root_page}; }
};

class Catalog {
 public:
  /// Reads the catalog of `file`. Rows or pages that cannot be read add a text to
  /// `problems` and are left out. nullopt (with the reason) when no table at all could
  /// be read.
  static std::optional<Catalog> Read(const std::shared_ptr<const PageFile>& file, std::vector<std::string>* problems,
                                     std::string* why = nullptr);

  /// Tables in catalog order (by object id).
  const std::vector<TableDef>& tables() const { return tables_; }
  /// The table named `name` exactly; nullptr when none.
  const TableDef* Find(std::string_view name) const;
  /// The columns of `table` in entry order: its template's first (marked
  /// from_template), then its own.
  std::vector<ColumnDef> EntryColumns(const TableDef& table) const;
  /// Whether `table` has a template whose columns its records hold.
  bool Derived(const TableDef& table) const;

 private:
  std::vector<TableDef> tables_;
};

}  // namespace edbx::ese_reader
