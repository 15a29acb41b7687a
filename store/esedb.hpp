#pragma once
// Read-only access to ESE databases through libesedb.
//
// Results follow two shapes. Reads that either succeed or fail return std::optional
// (nullopt on failure). Value getters that can also find the entry empty keep
// libesedb's convention and return 1 (value read), 0 (the entry holds no data) or -1
// (failure), with the value in an out-parameter.
//
// Every failure leaves a description in LastStoreError(): a line naming what was
// being read, followed by libesedb's error backtrace when the library gave one.
//
// Lifetimes. libesedb requires every table to be freed before its file is closed, every
// record before its table, and every multi-value before its record (a multi-value
// refers to the record's value). Each wrapper therefore holds shared ownership of its
// parent: a table keeps the open file alive, a record its table, a long value or a
// multi-value its record. The file is closed and freed only when the database object
// and everything read through it are gone, so no order of destruction can free a
// handle too early, whatever the callers keep.
//
// Threads. libesedb objects are not safe for concurrent use. Every call into the
// library, destruction included, takes one process-wide lock, so calls from different
// threads never overlap.
//
// Sizes. Every size the library reports from the file is checked before anything is
// allocated: a value of a record is at most 1 MiB (a record fits in one page of at
// most 32 KiB, and a decompressed value stays below 80 KiB), a long-value segment at
// most 1 MiB, a whole long value at most the file's size and 1 GiB. Larger sizes are
// refused as damaged data.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/text.hpp"

namespace edbx {

/// Column types in libesedb's numbering.
namespace ese_type {
inline constexpr std::uint32_t kNull = 0;
inline constexpr std::uint32_t kBoolean = 1;
inline constexpr std::uint32_t kUnsigned8 = 2;
inline constexpr std::uint32_t kSigned16 = 3;
inline constexpr std::uint32_t kSigned32 = 4;
inline constexpr std::uint32_t kCurrency = 5;
inline constexpr std::uint32_t kFloat32 = 6;
inline constexpr std::uint32_t kFloat64 = 7;
inline constexpr std::uint32_t kDateTime = 8;
inline constexpr std::uint32_t kBinary = 9;
inline constexpr std::uint32_t kText = 10;
inline constexpr std::uint32_t kLargeBinary = 11;
inline constexpr std::uint32_t kLargeText = 12;
inline constexpr std::uint32_t kSuperLarge = 13;
inline constexpr std::uint32_t kUnsigned32 = 14;
inline constexpr std::uint32_t kSigned64 = 15;
inline constexpr std::uint32_t kGuid = 16;
inline constexpr std::uint32_t kUnsigned16 = 17;
}  // namespace ese_type

/// Value data flags returned with each value.
inline constexpr std::uint8_t kValueVariableSize = 0x01;
inline constexpr std::uint8_t kValueCompressed = 0x02;
inline constexpr std::uint8_t kValueLongValue = 0x04;
inline constexpr std::uint8_t kValueMultiValue = 0x08;
/// Not named by libesedb; with kValueMultiValue it marks a multi-value that the library
/// cannot walk.
inline constexpr std::uint8_t kValueFlag10 = 0x10;

/// Which reader serves a table's records. libesedb always opens the file and lists
/// the tables; our own reader (ese/) serves the records of every table libesedb cannot
/// count or read, and with kOwnFirst of every table it can read at all. Process-wide;
/// set it before tables are opened (tests and benchmarks compare the two).
enum class RecordReader { kOwnFirst, kLibraryFirst };
void SetRecordReader(RecordReader reader);
RecordReader CurrentRecordReader();

/// Description of the last failed store operation on the calling thread. It is kept
/// per thread so that a worker reads its own failure; a later success leaves it as it
/// is, ClearStoreError() empties it.
const std::string& LastStoreError();
void ClearStoreError();

namespace detail {
struct EseFileState;
struct EseTableState;
struct EseRecordState;
struct EseLongValueState;
struct EseMultiValueState;
}  // namespace detail

/// One column of a table, read whole (the library's column handle is already freed).
struct EseColumn {
  u16 name;
  std::uint32_t identifier = 0;
  std::uint32_t type = 0;
};

/// A long value: data kept apart from its record, in segments of at most a page.
/// Segments are returned as stored (a compressed segment stays compressed).
///
/// The segments are found through the table's long-value tree reader
/// (store/long_value_tree.hpp), which reads only the pages on the way to the value and
/// the value's own; libesedb, which reads the rest of the tree for every long value
/// and finds only the first of compressed chunks, reads the value when that reader
/// cannot. Either way the segments are read from the file one at a time when asked for.
class EseLongValue {
 public:
  EseLongValue() = default;
  EseLongValue(EseLongValue&&) noexcept = default;
  EseLongValue& operator=(EseLongValue&&) noexcept = default;
  EseLongValue(const EseLongValue&) = delete;
  EseLongValue& operator=(const EseLongValue&) = delete;
  ~EseLongValue() = default;

  explicit operator bool() const { return state_ != nullptr; }

  std::optional<int> SegmentCount() const;
  std::optional<std::string> Segment(int index) const;
  /// Total size of the segments.
  std::optional<std::uint64_t> Size() const;
  /// All segments joined; refused above the size limit (read by segments instead).
  std::optional<std::string> Data() const;

 private:
  friend class EseRecord;
  std::shared_ptr<detail::EseLongValueState> state_;
};

/// A multi-value: the entries of one column of one record. All entries share the
/// column's type.
class EseMultiValue {
 public:
  EseMultiValue() = default;
  EseMultiValue(EseMultiValue&&) noexcept = default;
  EseMultiValue& operator=(EseMultiValue&&) noexcept = default;
  EseMultiValue(const EseMultiValue&) = delete;
  EseMultiValue& operator=(const EseMultiValue&) = delete;
  ~EseMultiValue() = default;

  explicit operator bool() const { return state_ != nullptr; }

  std::optional<int> Count() const;
  /// Column type of every entry.
  std::optional<std::uint32_t> Type() const;
  /// Stored bytes of entry `index`; empty when the entry holds no data.
  std::optional<std::string> Data(int index) const;
  /// Text of entry `index` (text columns only): every stored character, embedded NUL
  /// characters included, without the terminator.
  std::optional<u16> Utf16String(int index) const;

 private:
  friend class EseRecord;
  std::shared_ptr<detail::EseMultiValueState> state_;
};

/// One record of a table. Value entry numbers are the table's column entry numbers.
class EseRecord {
 public:
  EseRecord() = default;
  EseRecord(EseRecord&&) noexcept = default;
  EseRecord& operator=(EseRecord&&) noexcept = default;
  EseRecord(const EseRecord&) = delete;
  EseRecord& operator=(const EseRecord&) = delete;
  ~EseRecord() = default;

  explicit operator bool() const { return state_ != nullptr; }

  std::optional<int> ValueCount() const;
  std::optional<std::uint32_t> ColumnType(int entry) const;
  std::optional<std::uint32_t> ColumnIdentifier(int entry) const;
  std::optional<u16> ColumnName(int entry) const;
  std::optional<std::uint8_t> ValueFlags(int entry) const;
  /// The value's bytes as stored in the record: still compressed when compressed, the
  /// reference when a long value. Empty when the entry holds no data.
  std::optional<std::string> ValueData(int entry) const;

  // Typed getters: 1 value read, 0 no data, -1 failure (also for a column of another type).
  int GetBoolean(int entry, bool& value) const;                // type 1
  int Get8Bit(int entry, std::uint8_t& value) const;           // type 2
  int Get16Bit(int entry, std::uint16_t& value) const;         // types 3, 17
  int Get32Bit(int entry, std::uint32_t& value) const;         // types 4, 14
  int Get64Bit(int entry, std::uint64_t& value) const;         // types 5, 8, 15
  int GetFiletime(int entry, std::uint64_t& value) const;      // type 8
  int GetFloat32(int entry, float& value) const;               // type 6, from the stored bytes
  int GetFloat64(int entry, double& value) const;              // type 7
  /// Types 10 and 12: every stored character, embedded NUL characters included, without
  /// the terminator. libesedb's own getter ends the text at its first NUL; the rest is
  /// recovered from the stored bytes. A compressed value is decompressed here.
  int GetUtf16String(int entry, u16& value) const;
  /// Types 9 and 11: the bytes, decompressed here when the value is compressed.
  int GetBinaryData(int entry, std::string& value) const;
  int GetLongValue(int entry, EseLongValue& value) const;
  int GetMultiValue(int entry, EseMultiValue& value) const;

 private:
  friend class EseTable;
  std::shared_ptr<detail::EseRecordState> state_;
};

/// One table of the database.
class EseTable {
 public:
  EseTable() = default;
  EseTable(EseTable&&) noexcept = default;
  EseTable& operator=(EseTable&&) noexcept = default;
  EseTable(const EseTable&) = delete;
  EseTable& operator=(const EseTable&) = delete;
  ~EseTable() = default;

  explicit operator bool() const { return state_ != nullptr; }

  std::optional<u16> Name() const;
  /// Number of columns, the template table's included.
  std::optional<int> ColumnCount() const;
  /// Column by entry number: the template table's columns come first.
  std::optional<EseColumn> Column(int entry) const;
  std::optional<int> RecordCount() const;
  std::optional<EseRecord> Record(int entry) const;
  /// Damage our own reader found in the table ("page N: reason"), each page once; its records are skipped, those of every other page are served. Empty while
  /// libesedb serves the table.
  std::vector<std::string> Problems() const;

 private:
  friend class EseDatabase;
  std::shared_ptr<detail::EseTableState> state_;
};

/// Why EseDatabase::Open failed.
enum class EseOpenFailure {
  kNone,
  kInitialize,  // the library could not create its file object
  kOpen,        // the file could not be opened or is not an ESE database
  kHeader,      // the format version could not be read
};

/// An ESE database opened read-only.
class EseDatabase {
 public:
  EseDatabase() = default;
  EseDatabase(EseDatabase&&) noexcept = default;
  EseDatabase& operator=(EseDatabase&&) noexcept = default;
  EseDatabase(const EseDatabase&) = delete;
  EseDatabase& operator=(const EseDatabase&) = delete;
  ~EseDatabase() = default;

  /// Opens the file at `path` (UTF-8 on this platform) for reading only.
  static std::optional<EseDatabase> Open(const std::filesystem::path& path, EseOpenFailure* failure = nullptr);

  explicit operator bool() const { return state_ != nullptr; }

  /// Format version and revision of the file header, read when the file was opened.
  std::uint32_t FormatVersion() const;
  std::uint32_t FormatRevision() const;
  std::uint32_t PageSize() const;

  std::optional<int> TableCount() const;
  /// Table by entry number (catalog order).
  std::optional<EseTable> Table(int entry) const;
  /// The first table whose name equals `name` exactly: 1 found, 0 none, -1 failure.
  int TableNamed(u16v name, EseTable& table) const;

 private:
  friend class EseRecord;  // reads the catalog to find a table's long-value tree
  std::shared_ptr<detail::EseFileState> state_;
};

}  // namespace edbx
