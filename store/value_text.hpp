#pragma once
// Record values as text. Every value that the system shows, compares or stores goes
// through these renderings, so dates, identifiers, numbers and bytes look the same
// wherever they appear.
//
// Results: nullopt means the value cannot be read (library failure, unsupported form,
// wrong column type); an empty text means the record holds no data for the column.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "common/text.hpp"
#include "store/esedb.hpp"

namespace edbx {

/// What the renderings need from the running analysis.
struct ValueContext {
  /// Format revision of the database as the analysis keeps it: above 16 selects the
  /// newer store layout (long values go to "ccc.txt"); exactly 17 selects the
  /// word-and-number form of StoreIdText.
  std::uint32_t format_revision = 0;
  /// Where "ccc.txt" and "m_S7d.txt" are written.
  std::filesystem::path working_folder;
  /// Value entry of the transport-headers column of the item map; -1 when absent.
  int header_column = -1;
  /// Set to true when "m_S7d.txt" was written completely; left alone otherwise.
  bool* header_file_flag = nullptr;
  /// When set, the header column's long value is kept here instead of being written to
  /// "m_S7d.txt" (same bytes, same flag and result), so a caller reading many headers
  /// does not write and read back a file for each.
  struct HeaderCapture* header_capture = nullptr;
};

/// The transport headers of one record, kept in memory (see ValueContext).
struct HeaderCapture {
  /// The bytes 0x01..0x7D of the value, at most `limit` of them.
  std::string bytes;
  std::size_t limit = 4u << 20;
  /// True once a long value was found and reading it began: where "m_S7d.txt" would
  /// have been rewritten.
  bool reached = false;
};

/// Text of any value, by column type and value flags:
/// - plain values (flags 0 or 1) by type: "true"/"false", decimal integers (currency
///   printed unsigned), "%f" floats, date text for type 8, text with every NUL removed,
///   printable bytes for binary and every other type;
/// - compressed single values: printable bytes of the decompressed binary (type 11), the
///   decompressed text up to its first NUL (type 12), printable bytes of the stored
///   data (other types);
/// - multi-values: the entries joined, a text entry with each NUL and its end turned into
///   one space, another entry as printable bytes; entries without data are skipped;
/// - long values: in the newer layout written byte for byte to "ccc.txt" (empty text);
///   in the older layout, the header column is written to "m_S7d.txt" keeping only the
///   bytes 0x01..0x7D, and gives "true" with the header-file flag set; any other long
///   value, or a long value that cannot be read or written, gives the empty text;
/// - any other combination of flags: printable bytes of the stored data.
std::optional<u16> RecordValueText(const EseRecord& record, int entry, const ValueContext& context);

/// Text of a text-like value only: plain text as stored (up to its first NUL), plain
/// large binary as printable bytes, compressed large text decompressed; empty without
/// data; nullopt for every other kind of value.
std::optional<u16> RecordTextValue(const EseRecord& record, int entry);

/// Identifier text of an 8-byte binary (type 9) or currency (type 5) value: the bytes
/// read big-endian, in lower-case hex without leading zeros. Values with flags above 1
/// give their printable bytes; other sizes and types give nullopt.
std::optional<u16> IdText(const EseRecord& record, int entry);

/// As IdText, but in the store-identifier form of the context's format revision.
std::optional<u16> StoreIdText(const EseRecord& record, int entry, const ValueContext& context);

/// Date text of an 8-byte binary (type 9) or currency (type 5) value holding a
/// little-endian FILETIME; the same rules as IdText otherwise.
std::optional<u16> FiletimeText(const EseRecord& record, int entry);

/// One character per byte: space, "#", "&", backslash, "-" to "Z" and "_" to "z" stay,
/// every other byte becomes a space.
u16 PrintableBytes(std::string_view bytes);

/// Two lower-case hex digits per byte, no separators.
u16 HexBytes(std::string_view bytes);

/// Text of the column that RecordValueText would give, with these differences: plain
/// text is returned as stored (up to its first NUL); plain values of types without a
/// rendering of their own (binary type 9 included) give hex bytes; a long value is read
/// and discarded (empty text, no file); multi-value text entries are appended as
/// stored (up to their first NUL).
std::optional<u16> export_handle_export_binary_record_value(const EseRecord& record, int entry);

/// "Mon,DD YYYY HH:MM:SS" (English month abbreviation, UTC) of a FILETIME. A date after
/// the year 9999 gives "(0x" + high 32 bits + " 0x" + low 32 bits in 8 lower-case hex
/// digits each, cut to its first 21 characters.
u16 DateText(std::uint64_t filetime);

/// Identifier text of 8 bytes (see IdText); nullopt unless exactly 8 bytes are given.
std::optional<u16> IdentifierText(std::string_view bytes);

/// Store-identifier text of 8 bytes. With format revision exactly 17: the 16-bit
/// little-endian word of bytes 0-1 in lower-case hex without leading zeros and with
/// its trailing zero digits removed (a zero word leaves nothing), "-", and the 48-bit
/// big-endian number of bytes 2-7 in upper-case hex without leading zeros. Otherwise
/// the identifier text. nullopt unless exactly 8 bytes are given.
std::optional<u16> StoreIdentifierText(std::string_view bytes, std::uint32_t format_revision);

}  // namespace edbx
