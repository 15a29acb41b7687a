#pragma once
// Table definitions and row values given to the database writer.

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "tools/edbforge/ese/format.hpp"

namespace edbforge::ese {

enum class Storage : uint8_t { Fixed, Variable, Tagged };

/// How a long value is stored; Auto keeps small values in the record.
enum class LongValuePlacement : uint8_t { Auto, InRecord, Separate };

struct ColumnDef {
  std::string name;  // code page 1252 bytes
  ColumnType type = ColumnType::Long;
  /// Fixed-size types default to Fixed, Text and Binary to Variable, long types to Tagged.
  std::optional<Storage> storage;
  bool multi_valued = false;
  bool compressed = false;
  uint32_t codepage = 0;  // text: 1200 (UTF-16) or 1252; 0 for other types
  bool not_null = false;

  ColumnDef() = default;
  ColumnDef(std::string column_name, ColumnType column_type, uint32_t column_codepage = 0)
      : name(std::move(column_name)), type(column_type), codepage(column_codepage) {}
  ColumnDef& stored_as(Storage s) {
    storage = s;
    return *this;
  }
  ColumnDef& multi() {
    multi_valued = true;
    return *this;
  }
  ColumnDef& compress() {
    compressed = true;
    return *this;
  }

  Storage effective_storage() const;
};

struct TableDef {
  std::string name;  // code page 1252 bytes
  std::vector<ColumnDef> columns;
  bool is_template = false;
  /// Name of the template table this table derives from; its columns come first.
  std::string template_name;
  /// Callback names declared on the table ("JCB.DLL!EcJcbAttachCallback").
  std::vector<std::string> callbacks;
  /// Initial pages recorded in the catalog.
  uint32_t initial_pages = 1;
};

/// One column value in the column's stored form (little-endian numbers, UTF-16LE
/// or code page 1252 text, raw binary).
struct Value {
  enum class Kind : uint8_t { Bytes, Multi };
  Kind kind = Kind::Bytes;
  std::string bytes;
  std::vector<std::string> values;  // Multi
  LongValuePlacement placement = LongValuePlacement::Auto;

  static Value Raw(std::string b) {
    Value v;
    v.bytes = std::move(b);
    return v;
  }
  static Value MultiOf(std::vector<std::string> vs) {
    Value v;
    v.kind = Kind::Multi;
    v.values = std::move(vs);
    return v;
  }
};

/// A row: values by column position (template columns first for derived tables).
struct Row {
  std::vector<std::pair<uint32_t, Value>> values;
  Row& set(uint32_t column, Value v) {
    values.emplace_back(column, std::move(v));
    return *this;
  }
};

/// Helpers producing the stored form of common values.
namespace val {
Value Bit(bool b);
Value U8(uint8_t v);
Value I16(int16_t v);
Value U16(uint16_t v);
Value I32(int32_t v);
Value U32(uint32_t v);
Value I64(int64_t v);  // Currency and LongLong
Value F32(float v);
Value F64(double v);
Value Filetime(uint64_t v);  // DateTime columns and 8-byte binary columns alike
Value Bin(std::string bytes);
Value Utf16(const std::u16string& text);  // UTF-16LE without terminator
Value Ansi(std::string cp1252);           // code page 1252 bytes
Value Id8(uint64_t big_endian_value);     // 8 bytes, most significant first
}  // namespace val

}  // namespace edbforge::ese
