#pragma once
// Writer of a whole ESE database file: tables, rows, long values, the catalog and
// its shadow copy, space trees and the two file headers.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "tools/edbforge/ese/schema.hpp"
#include "tools/edbforge/ese/tree_builder.hpp"

namespace edbforge::ese {

/// A refused description or value; the message names the table and column.
class DefinitionError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct WriterOptions {
  uint32_t page_size = 8192;
  uint32_t format_revision = 0x11;
  /// Long values above this size go to the table's long-value tree.
  uint32_t intrinsic_long_value_limit = 1024;
  /// Time written into the headers (seconds since 1970, UTC); fixed for reproducible files.
  int64_t timestamp = 1262700239;  // 2010-01-05 14:03:59
  std::string computer_name = "EDBFORGE";
};

using TableId = uint32_t;

class DatabaseWriter {
 public:
  DatabaseWriter(const std::filesystem::path& path, const WriterOptions& options);
  ~DatabaseWriter();
  DatabaseWriter(const DatabaseWriter&) = delete;
  DatabaseWriter& operator=(const DatabaseWriter&) = delete;

  /// Adds a table; a derived table's template must have been added before it.
  TableId add_table(const TableDef& def);
  /// Position of a column in rows of `table` (template columns first); throws when absent.
  uint32_t column_index(TableId table, std::string_view column_name) const;
  uint32_t column_count(TableId table) const;

  /// Appends a row; values are validated against the column definitions.
  void add_row(TableId table, const Row& row);

  /// Writes the remaining pages, the catalog and the headers, and closes the file.
  void finish();

  const FormatContext& format() const { return fmt_; }

 private:
  struct Column {
    const ColumnDef* def;
    uint16_t id;
    bool derived;
    Storage storage;
    uint32_t fixed_size;
    uint32_t record_offset;
  };
  struct Table {
    TableDef def;
    uint32_t objid = 0;
    const Table* base = nullptr;  // template
    std::vector<Column> columns;  // template columns first
    std::vector<uint32_t> fixed_order;  // column positions of fixed columns by id
    std::unique_ptr<TreeBuilder> data;
    std::unique_ptr<TreeBuilder> long_values;
    uint32_t lv_objid = 0;
    uint32_t next_key = 1;
    uint32_t next_lid = 1;
    uint64_t rows = 0;
  };

  std::string where(const Table& t, const Column* c) const;
  Table& table(TableId id);
  const Table& table(TableId id) const;
  void validate(const TableDef& def, const Table* base) const;
  std::string separate_long_value(Table& t, const Column& c, const std::string& data);
  TreeBuilder& long_value_tree(Table& t);
  void write_catalog();
  void write_database_tree();
  void write_headers();

  FormatContext fmt_;
  WriterOptions options_;
  std::unique_ptr<PagedFile> file_;
  std::vector<std::unique_ptr<Table>> tables_;
  uint32_t next_objid_ = kFirstUserObjid;
  bool finished_ = false;
};

}  // namespace edbforge::ese
