#pragma once
// One table read with our own tree and record readers.
//
// The first call that needs the records makes one pass over the table's leaves and
// keeps, per leaf page, its page number and the number of the first record on it
// (8 bytes a leaf page); a record by number is then a binary search and one page read
// (usually from the cache). Pages that fail a check are skipped and named in
// Problems(); the records of every other page are served.

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ese/catalog.hpp"
#include "ese/long_value_tree.hpp"
#include "ese/record.hpp"
#include "ese/tree.hpp"

namespace edbx::ese_reader {

class Table;

/// One record, decoded when first asked for. Keeps its table alive.
class Record {
 public:
  int ValueCount() const { return static_cast<int>(layout().columns().size()); }
  const ColumnDef& Column(int entry) const { return layout().columns()[static_cast<std::size_t>(entry)]; }
  bool ValidEntry(int entry) const { return entry >= 0 && entry < ValueCount(); }

  /// The value's flags byte (0 when it has none). Entries must be valid.
  std::uint8_t Flags(int entry) const { return span(entry).flags; }
  /// The value as stored; empty when the record holds no data for the column.
  std::string_view Data(int entry) const;
  ValueSpan::State State(int entry) const { return span(entry).state; }

  /// Entries of a multi-valued value; nullopt with the reason when it is none or damaged.
  std::optional<std::vector<MultiValueEntry>> MultiValue(int entry, std::string* why = nullptr) const;
  /// Long-value id of a separated value (4 or 8 bytes stored); nullopt when it is none.
  std::optional<LongValueId> LongValueIdOf(int entry) const;
  /// Every chunk of a separated long value as stored, in order (via the table's
  /// long-value tree); nullopt with the reason.
  std::optional<std::vector<std::string>> LongValueSegments(int entry, std::string* why = nullptr) const;

  /// The raw record bytes.
  std::string_view bytes() const { return bytes_; }

 private:
  friend class Table;
  const RecordLayout& layout() const;
  const ValueSpan& span(int entry) const { return spans_[static_cast<std::size_t>(entry)]; }

  std::shared_ptr<const Table> table_;
  std::string bytes_;
  std::vector<ValueSpan> spans_;
};

class Table : public std::enable_shared_from_this<Table> {
 public:
  /// The reader of `table` as `catalog` describes it in `file`.
  static std::shared_ptr<Table> Open(std::shared_ptr<const PageFile> file, const Catalog& catalog, const TableDef& table);

  Table(const Table&) = delete;
  Table& operator=(const Table&) = delete;

  const TableDef& definition() const { return definition_; }
  /// Columns in entry order (template columns first).
  const std::vector<ColumnDef>& columns() const { return layout_.columns(); }
  const RecordLayout& layout() const { return layout_; }

  /// Number of records; the first call walks the table once. nullopt with the reason
  /// when the table's tree cannot be read at all.
  std::optional<std::uint32_t> RecordCount(std::string* why = nullptr) const;
  /// Record `number` (0-based, key order). nullopt with the reason.
  std::optional<Record> ReadRecord(std::uint32_t number, std::string* why = nullptr) const;

  /// What the walk found damaged, one text per page ("page N: reason"); each page once.
  std::vector<std::string> Problems() const;

  /// The table's long-value tree; null when it has none or it cannot be opened.
  std::shared_ptr<const LongValueTree> LongValues() const;

 private:
  Table(std::shared_ptr<const PageFile> file, TableDef definition, RecordLayout layout)
      : file_(std::move(file)), definition_(std::move(definition)), layout_(std::move(layout)),
        tree_(file_, definition_.tree(), TreeKind::kTable) {}
  bool Index(std::string* why) const;  // with mutex_ held
  void AddProblem(std::string text) const;  // with mutex_ held

  struct Leaf {
    std::uint32_t page = 0;
    std::uint32_t first = 0;  // number of the first record on the page
  };

  std::shared_ptr<const PageFile> file_;
  TableDef definition_;
  RecordLayout layout_;
  TreeReader tree_;

  mutable std::mutex mutex_;
  mutable bool indexed_ = false;
  mutable bool readable_ = false;
  mutable std::string unreadable_;
  mutable std::vector<Leaf> leaves_;
  mutable std::uint32_t count_ = 0;
  mutable std::vector<std::string> problems_;
  mutable bool long_values_opened_ = false;
  mutable std::shared_ptr<const LongValueTree> long_values_;
};

}  // namespace edbx::ese_reader
