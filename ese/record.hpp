#pragma once
// Decoding of records: the data of a table tree's leaf node.
//
//   u8  last fixed id (0 none), u8 last variable id (127 none), u16 end of the fixed area
//   fixed values in id order, then the null bitmap of the fixed columns (1 = NULL)
//   u16 end offsets of the variable values (bit 0x8000 = NULL), then their bytes
//   tagged area: 4-byte entries (u16 column id, u16 offset and flags), then the values
//
// Tagged offsets: on pages up to 8 KiB the low 13 bits are the offset, 0x2000 marks an
// explicit NULL, 0x4000 a value that starts with a flags byte and 0x8000 a column of the
// template table (in a derived table's records). On larger pages the low 15 bits are
// the offset, 0x8000 is the template bit and every value starts with its flags byte.
//
// A RecordLayout holds a table's columns in entry order (a template table's columns
// first, then the table's own) and decodes a record into one ValueSpan per entry.
// Values come back as stored: compressed data stays compressed, a separated long value
// is its id, a multi-value is its offset array and entries.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ese/page.hpp"

namespace edbx::ese_reader {

/// Column types as the catalog stores them.
namespace column_type {
inline constexpr std::uint32_t kBit = 1;
inline constexpr std::uint32_t kUnsignedByte = 2;
inline constexpr std::uint32_t kShort = 3;
inline constexpr std::uint32_t kLong = 4;
inline constexpr std::uint32_t kCurrency = 5;
inline constexpr std::uint32_t kSingle = 6;
inline constexpr std::uint32_t kDouble = 7;
inline constexpr std::uint32_t kDateTime = 8;
inline constexpr std::uint32_t kBinary = 9;
inline constexpr std::uint32_t kText = 10;
inline constexpr std::uint32_t kLongBinary = 11;
inline constexpr std::uint32_t kLongText = 12;
inline constexpr std::uint32_t kUnsignedLong = 14;
inline constexpr std::uint32_t kLongLong = 15;
inline constexpr std::uint32_t kGuid = 16;
inline constexpr std::uint32_t kUnsignedShort = 17;
}  // namespace column_type

/// Column flags as the catalog stores them.
namespace column_flag {
inline constexpr std::uint32_t kMultiValued = 0x8;
inline constexpr std::uint32_t kDefault = 0x10;
inline constexpr std::uint32_t kTemplateColumn = 0x100;
inline constexpr std::uint32_t kCompressed = 0x1000;
}  // namespace column_flag

/// The flags byte that starts a tagged value where the format has one.
namespace value_flag {
inline constexpr std::uint8_t kLongValueType = 0x01;
inline constexpr std::uint8_t kCompressed = 0x02;
inline constexpr std::uint8_t kSeparated = 0x04;  // the data is a long-value id
inline constexpr std::uint8_t kMultiValue = 0x08;
inline constexpr std::uint8_t kTwoValues = 0x10;  // with kMultiValue: size byte, value 1, value 2
inline constexpr std::uint8_t kNull = 0x20;
}  // namespace value_flag

/// One column's definition from the catalog.
struct ColumnDef {
  std::uint32_t id = 0;        // 1-127 fixed, 128-255 variable, 256 and up tagged
  std::uint32_t type = 0;      // column_type
  std::uint32_t flags = 0;     // column_flag
  std::uint32_t codepage = 0;  // 1200 UTF-16LE, others 8-bit, 0 for non-text
  std::uint32_t size = 0;      // fixed size, or the maximum size
  std::uint32_t record_offset = 0;
  std::string name;            // as stored (8-bit)
  std::string default_value;   // with column_flag::kDefault
  bool from_template = false;  // a column of the table's template

  bool fixed() const { return id >= 1 && id <= 127; }
  bool variable() const { return id >= 128 && id <= 255; }
  bool tagged() const { return id >= 256; }
};

/// Where one column's value lies in a record.
struct ValueSpan {
  enum State : std::uint8_t {
    kAbsent,   // not in the record, no default: no data
    kNull,     // marked NULL in the record: no data
    kStored,   // bytes [offset, offset + size) of the record
    kDefault,  // not in the record: the column's default value
  };
  std::uint32_t offset = 0;
  std::uint32_t size = 0;
  std::uint8_t flags = 0;  // the value's flags byte; 0 when it has none
  State state = kAbsent;
};

class RecordLayout {
 public:
  RecordLayout() = default;
  /// `columns` in entry order; `derived` for a table with a template.
  RecordLayout(std::vector<ColumnDef> columns, bool derived, PageFormat format);

  const std::vector<ColumnDef>& columns() const { return columns_; }

  /// Decodes `record` into `spans` (one per column entry). false with the reason when
  /// the record's structure does not fit its bytes.
  bool Decode(std::string_view record, std::vector<ValueSpan>& spans, std::string* why) const;

  /// The bytes a span stands for (empty for no data).
  std::string_view Data(std::string_view record, const ValueSpan& span, std::size_t entry) const;

 private:
  std::vector<ColumnDef> columns_;
  bool derived_ = false;
  PageFormat format_;
  std::vector<std::uint32_t> fixed_offsets_;  // per entry: offset of a fixed column's value
  std::vector<int> by_fixed_id_;              // fixed id -> entry, -1 none (index id - 1)
  std::vector<int> by_variable_id_;           // variable id -> entry (index id - 128)
  std::vector<int> by_tagged_id_;             // own (or only) tagged id -> entry (index id - 256)
  std::vector<int> by_template_tagged_id_;    // template tagged id -> entry
};

/// One entry of a multi-value as stored.
struct MultiValueEntry {
  std::string_view data;
  bool separated = false;  // the entry is a long-value id
};

/// The entries of a multi-value's stored bytes (after its flags byte): the offset form,
/// or with value_flag::kTwoValues the two-values form. nullopt when they do not fit.
std::optional<std::vector<MultiValueEntry>> SplitMultiValue(std::string_view stored, std::uint8_t flags,
                                                            std::string* why = nullptr);

/// Fixed size of a column type, 0 for the variable-size types.
std::uint32_t FixedSizeOf(std::uint32_t type);

}  // namespace edbx::ese_reader
