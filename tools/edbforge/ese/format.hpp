#pragma once
// On-disk constants of the ESE database format and the per-file format context.

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace edbforge::ese {

enum class ColumnType : uint32_t {
  Bit = 1,
  UnsignedByte = 2,
  Short = 3,
  Long = 4,
  Currency = 5,
  IEEESingle = 6,
  IEEEDouble = 7,
  DateTime = 8,
  Binary = 9,
  Text = 10,
  LongBinary = 11,
  LongText = 12,
  UnsignedLong = 14,
  LongLong = 15,
  GUID = 16,
  UnsignedShort = 17,
};

/// Size of a fixed-size column type; 0 for variable-size types.
constexpr uint32_t FixedSizeOf(ColumnType t) {
  switch (t) {
    case ColumnType::Bit:
    case ColumnType::UnsignedByte: return 1;
    case ColumnType::Short:
    case ColumnType::UnsignedShort: return 2;
    case ColumnType::Long:
    case ColumnType::UnsignedLong:
    case ColumnType::IEEESingle: return 4;
    case ColumnType::Currency:
    case ColumnType::IEEEDouble:
    case ColumnType::DateTime:
    case ColumnType::LongLong: return 8;
    case ColumnType::GUID: return 16;
    default: return 0;
  }
}
constexpr bool IsLongType(ColumnType t) {
  return t == ColumnType::LongBinary || t == ColumnType::LongText;
}
constexpr bool IsVariableSizeType(ColumnType t) { return FixedSizeOf(t) == 0; }

/// Parses a type name as written in store descriptions ("Long", "LongText", ...).
bool ParseColumnType(std::string_view name, ColumnType& out);
std::string_view ColumnTypeName(ColumnType t);

// Page flags.
inline constexpr uint32_t kPageRoot = 0x0001;
inline constexpr uint32_t kPageLeaf = 0x0002;
inline constexpr uint32_t kPageParentOfLeaf = 0x0004;
inline constexpr uint32_t kPageSpaceTree = 0x0020;
inline constexpr uint32_t kPageIndex = 0x0040;
inline constexpr uint32_t kPageLongValue = 0x0080;
inline constexpr uint32_t kPageNewRecordFormat = 0x0800;
inline constexpr uint32_t kPageNewChecksum = 0x2000;
inline constexpr uint32_t kPageFlushType = 0x8000;

// Page tag flags.
inline constexpr uint8_t kTagCommonKey = 0x04;

// Catalog object types.
inline constexpr uint16_t kCatalogTable = 1;
inline constexpr uint16_t kCatalogColumn = 2;
inline constexpr uint16_t kCatalogIndex = 3;
inline constexpr uint16_t kCatalogLongValue = 4;
inline constexpr uint16_t kCatalogCallback = 5;

// Tagged value flags (the byte in front of a tagged value).
inline constexpr uint8_t kValueVariableSize = 0x01;
inline constexpr uint8_t kValueCompressed = 0x02;
inline constexpr uint8_t kValueLongValue = 0x04;
inline constexpr uint8_t kValueMultiValue = 0x08;

// Column flags as kept in the catalog.
inline constexpr uint32_t kFieldNotNull = 0x0001;
inline constexpr uint32_t kFieldMultiValued = 0x0008;
inline constexpr uint32_t kFieldTemplateColumn = 0x0100;
inline constexpr uint32_t kFieldCompressed = 0x1000;

// Table flags as kept in the catalog.
inline constexpr uint32_t kTableFixedDdl = 0x0001;
inline constexpr uint32_t kTableTemplate = 0x0002;
inline constexpr uint32_t kTableSystem = 0xC0000000u;

inline constexpr uint32_t kFormatVersion = 0x620;

// Fixed places of the database, the catalog and its shadow copy.
inline constexpr uint32_t kDatabaseRootPage = 1;
inline constexpr uint32_t kCatalogRootPage = 4;
inline constexpr uint32_t kShadowCatalogRootPage = 24;
inline constexpr uint32_t kCatalogExtentPages = 20;
inline constexpr uint32_t kFirstFreePage = kShadowCatalogRootPage + kCatalogExtentPages;
inline constexpr uint32_t kDatabaseObjid = 1;
inline constexpr uint32_t kCatalogObjid = 2;
inline constexpr uint32_t kShadowCatalogObjid = 3;
inline constexpr uint32_t kFirstUserObjid = 4;

/// What the page size and format revision of a file decide.
struct FormatContext {
  uint32_t page_size = 8192;
  uint32_t revision = 0x11;

  /// 16 and 32 KiB pages of format revision 0x11 and later have the extended header,
  /// 15-bit tag offsets and tag flags kept in the node bytes.
  bool large_pages() const { return revision >= 0x11 && page_size >= 16384; }
  bool ecc_checksums() const { return revision >= 0x0b; }
  /// Format revision 0x11 and later keep a flags byte in front of every tagged value.
  bool tagged_flags_always() const { return revision >= 0x11; }
  std::size_t header_size() const { return large_pages() ? 80 : 40; }
  uint32_t base_page_flags() const {
    uint32_t f = kPageNewRecordFormat;
    if (ecc_checksums()) f |= kPageNewChecksum;
    if (revision >= 0x11) f |= kPageFlushType;
    return f;
  }
  /// Largest chunk of a separated long value kept in one node.
  uint32_t long_value_chunk() const {
    return page_size - 82 - (large_pages() ? 40u : 0u);
  }
};

}  // namespace edbforge::ese
