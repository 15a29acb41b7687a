#include "store/esedb.hpp"

#include <libesedb.h>

#include <algorithm>
#include <atomic>
#include <bit>
#include <cstring>
#include <limits>
#include <map>
#include <mutex>
#include <system_error>
#include <utility>
#include <vector>

#include "ese/database.hpp"
#include "store/decompress.hpp"
#include "store/long_value_tree.hpp"

namespace edbx {

namespace {

constexpr std::size_t kMaxValueBytes = std::size_t{1} << 20;
constexpr std::size_t kMaxNameUnits = 0x10000;
constexpr std::uint64_t kMaxWholeLongValue = std::uint64_t{1} << 30;

// Never destroyed: handles held by objects with static storage may still be freed
// while the program exits.
std::recursive_mutex& StoreMutex() {
  static auto* mutex = new std::recursive_mutex;
  return *mutex;
}

std::unique_lock<std::recursive_mutex> LockStore() { return std::unique_lock<std::recursive_mutex>(StoreMutex()); }

thread_local std::string t_last_error;

// Whether our own reader serves every table it can read, or only those libesedb
// refuses. See docs/decisions.md for the measurements behind the default.
std::atomic<RecordReader> g_record_reader{RecordReader::kOwnFirst};

// The error argument of one library call; freed whatever happens to it.
class LibError {
 public:
  LibError() = default;
  LibError(const LibError&) = delete;
  LibError& operator=(const LibError&) = delete;
  ~LibError() {
    if (error_ != nullptr) libesedb_error_free(&error_);
  }
  libesedb_error_t** out() { return &error_; }

  // The library's error backtrace, empty when it gave none.
  std::string Backtrace() {
    std::string text;
    if (error_ == nullptr) return text;
    char buffer[4096] = {};
    if (libesedb_error_backtrace_sprint(error_, buffer, sizeof buffer) > 0)
      text.assign(buffer, ::strnlen(buffer, sizeof buffer));
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    return text;
  }

 private:
  libesedb_error_t* error_ = nullptr;
};

void Fail(std::string what) { t_last_error = std::move(what); }

void Fail(std::string what, LibError& error) {
  const std::string trace = error.Backtrace();
  if (!trace.empty()) {
    what += '\n';
    what += trace;
  }
  t_last_error = std::move(what);
}

u16 TrimTrailingNuls(u16 text) {
  while (!text.empty() && text.back() == u'\0') text.pop_back();
  return text;
}

// libesedb's text getters end a text at its first NUL character. The stored bytes hold
// the whole text: the decoding of them (UTF-16LE, else Windows-1252) that continues
// what the library returned with a NUL is the whole text. When neither does, the
// library's text stands.
u16 WholeText(const u16& library, std::string_view stored) {
  auto whole = [&](u16 candidate) -> std::optional<u16> {
    candidate = TrimTrailingNuls(std::move(candidate));
    if (candidate == library) return candidate;
    if (candidate.size() > library.size() && candidate.compare(0, library.size(), library) == 0 &&
        candidate[library.size()] == u'\0')
      return candidate;
    return std::nullopt;
  };
  if (stored.size() % 2 == 0)
    if (auto text = whole(utf16le_from_bytes(stored))) return *text;
  if (auto text = whole(cp1252_to_utf16(stored))) return *text;
  return library;
}

// Text of a compressed value. The 7-bit forms say themselves whether they packed UTF-16
// or 8-bit ASCII text. Xpress data is in the column's encoding, which the public
// interface does not give: an odd size cannot be UTF-16; for an even size the
// library's own reading (`library`, when it could read the value) decides as in
// WholeText, and UTF-16 is assumed without it.
std::optional<u16> CompressedText(std::string_view stored, const std::optional<u16>& library) {
  const auto data = DecompressValue(stored);
  if (!data) return std::nullopt;
  switch (CompressionOf(stored)) {
    case EseCompression::kSevenBitUtf16: return utf16le_from_bytes(*data);
    case EseCompression::kSevenBitAscii: return cp1252_to_utf16(*data);
    case EseCompression::kXpress:
      if (data->size() % 2 != 0) return cp1252_to_utf16(*data);
      if (library) return WholeText(*library, *data);
      return TrimTrailingNuls(utf16le_from_bytes(*data));
    case EseCompression::kUnknown: break;
  }
  return std::nullopt;
}

// Entry boundaries of a stored multi-value: 16-bit little-endian offsets (the high bit
// is a flag), one per entry, the first of which also gives the size of the offset
// array. libesedb reads this layout without checking it against the data, so it is
// checked here first. nullopt when the offsets do not fit the data.
std::optional<std::vector<std::size_t>> MultiValueBounds(std::string_view stored) {
  auto offset = [&](std::size_t i) {
    return static_cast<std::size_t>((static_cast<unsigned char>(stored[2 * i]) |
                                     (static_cast<unsigned>(static_cast<unsigned char>(stored[2 * i + 1])) << 8)) &
                                    0x7FFFu);
  };
  if (stored.size() < 2) return std::nullopt;
  const std::size_t count = offset(0) / 2;
  if (count == 0 || 2 * count > stored.size()) return std::nullopt;
  std::vector<std::size_t> bounds;
  bounds.reserve(count + 1);
  for (std::size_t i = 0; i < count; ++i) {
    const std::size_t at = offset(i);
    if (at > stored.size() || (!bounds.empty() && at < bounds.back())) return std::nullopt;
    bounds.push_back(at);
  }
  bounds.push_back(stored.size());
  return bounds;
}

std::string FlagsText(std::uint8_t flags) {
  static constexpr char kDigits[] = "0123456789abcdef";
  return std::string("0x") + kDigits[flags >> 4] + kDigits[flags & 0x0F];
}

bool IsText(std::uint32_t type) { return type == ese_type::kText || type == ese_type::kLargeText; }
bool IsBinary(std::uint32_t type) { return type == ese_type::kBinary || type == ese_type::kLargeBinary; }

}  // namespace

const std::string& LastStoreError() { return t_last_error; }
void SetRecordReader(RecordReader reader) { g_record_reader.store(reader); }
RecordReader CurrentRecordReader() { return g_record_reader.load(); }
void ClearStoreError() { t_last_error.clear(); }

namespace detail {

struct EseFileState {
  libesedb_file_t* file = nullptr;
  bool open = false;
  std::string path;
  std::uint64_t file_size = 0;
  std::uint32_t version = 0;
  std::uint32_t revision = 0;
  std::uint32_t page_size = 0;
  // Long-value trees of the tables by table name, read from the catalog on first use;
  // nullopt when the catalog could not be read.
  bool long_value_trees_read = false;
  std::optional<std::map<u16, LongValueTreeRoot>> long_value_trees;
  // Our own reader of the file (pages, catalog, records), opened on first use; null
  // when the file or its catalog cannot be read that way.
  bool own_opened = false;
  std::shared_ptr<ese_reader::Database> own;

  EseFileState() = default;
  EseFileState(const EseFileState&) = delete;
  EseFileState& operator=(const EseFileState&) = delete;
  ~EseFileState() {
    const auto lock = LockStore();
    if (file == nullptr) return;
    if (open) libesedb_file_close(file, nullptr);
    libesedb_file_free(&file, nullptr);
  }
};

struct EseTableState {
  std::shared_ptr<EseFileState> file;
  libesedb_table_t* table = nullptr;
  int entry = -1;
  // The reader of the table's long-value tree, opened on first use; null when the
  // table has none or it cannot be read directly.
  bool long_value_tree_opened = false;
  std::shared_ptr<const ese_reader::LongValueTree> long_value_tree;
  // Which reader serves the records: decided on first use; a table libesedb cannot
  // count or read moves to our own reader (same entry numbers, same record order).
  enum class Backend { kUndecided, kLibrary, kOwn } backend = Backend::kUndecided;
  bool own_opened = false;
  std::shared_ptr<ese_reader::Table> own;  // our reader of the table, null when unavailable

  EseTableState() = default;
  EseTableState(const EseTableState&) = delete;
  EseTableState& operator=(const EseTableState&) = delete;
  ~EseTableState() {
    const auto lock = LockStore();
    if (table != nullptr) libesedb_table_free(&table, nullptr);
  }
  std::string Where() const { return "table " + std::to_string(entry) + ": "; }
};

struct EseRecordState {
  std::shared_ptr<EseTableState> table;
  libesedb_record_t* record = nullptr;
  int entry = -1;
  // libesedb splits a multi-value into entries each time it is asked for it, appending
  // them to the record's value again; each multi-value is therefore taken once and kept
  // here, to be freed before the record it points into.
  std::map<int, libesedb_multi_value_t*> multi_values;
  // Set when our own reader serves the record (record stays null then).
  std::optional<ese_reader::Record> own;

  EseRecordState() = default;
  EseRecordState(const EseRecordState&) = delete;
  EseRecordState& operator=(const EseRecordState&) = delete;
  ~EseRecordState() {
    const auto lock = LockStore();
    for (auto& [value_entry, handle] : multi_values) libesedb_multi_value_free(&handle, nullptr);
    if (record != nullptr) libesedb_record_free(&record, nullptr);
  }
  std::string Where(int value) const {
    return "table " + std::to_string(table->entry) + ", record " + std::to_string(entry) + ", value " +
           std::to_string(value) + ": ";
  }
};

struct EseLongValueState {
  std::shared_ptr<EseRecordState> record;
  libesedb_long_value_t* value = nullptr;  // read by the library
  int entry = -1;
  // Read through the table's long-value tree instead: the value's chunks, each read
  // from the file when asked for.
  std::shared_ptr<const ese_reader::LongValueTree> tree;
  std::vector<LongValueChunk> chunks;

  EseLongValueState() = default;
  EseLongValueState(const EseLongValueState&) = delete;
  EseLongValueState& operator=(const EseLongValueState&) = delete;
  ~EseLongValueState() {
    const auto lock = LockStore();
    if (value != nullptr) libesedb_long_value_free(&value, nullptr);
  }
  std::string Where() const { return record->Where(entry) + "long value: "; }
};

struct EseMultiValueState {
  std::shared_ptr<EseRecordState> record;
  libesedb_multi_value_t* value = nullptr;  // owned by the record state
  int entry = -1;
  std::uint8_t flags = 0;
  std::string stored;
  std::vector<std::size_t> bounds;  // entry i is stored[bounds[i], bounds[i + 1])
  // Set when our own reader read the value (value stays null then).
  bool own = false;
  std::uint32_t type = 0;
  std::uint32_t codepage = 0;

  std::string Where(int index) const {
    return record->Where(entry) + "multi-value entry " + std::to_string(index) + ": ";
  }
};

}  // namespace detail

namespace {

constexpr const char* kNoObject = "no object: the wrapper is empty or was moved from";

std::nullopt_t NoObject() {
  Fail(kNoObject);
  return std::nullopt;
}

int NoObjectRc() {
  Fail(kNoObject);
  return -1;
}

// Runs a record getter of libesedb's 1 / 0 / -1 convention.
template <typename Call>
int RecordCall(const std::shared_ptr<detail::EseRecordState>& state, int entry, const char* what, Call&& call) {
  if (!state) {
    Fail(kNoObject);
    return -1;
  }
  const auto lock = LockStore();
  LibError error;
  const int rc = call(state->record, error.out());
  if (rc != 0 && rc != 1) {
    Fail(state->Where(entry) + what, error);
    return -1;
  }
  return rc;
}

// Restores the calling thread's error text when it ends: what fails on the way to a
// value that is then read another way is no failure of the caller's.
class KeepStoreError {
 public:
  KeepStoreError() : saved_(t_last_error) {}
  KeepStoreError(const KeepStoreError&) = delete;
  KeepStoreError& operator=(const KeepStoreError&) = delete;
  ~KeepStoreError() { t_last_error = std::move(saved_); }

 private:
  std::string saved_;
};

std::optional<u16> TableName(const detail::EseTableState& table) {
  const auto lock = LockStore();
  LibError error;
  std::size_t size = 0;
  if (libesedb_table_get_utf16_name_size(table.table, &size, error.out()) != 1) {
    Fail(table.Where() + "unable to read the name size", error);
    return std::nullopt;
  }
  if (size == 0 || size > kMaxNameUnits) {
    Fail(table.Where() + "name size " + std::to_string(size) + " out of range");
    return std::nullopt;
  }
  u16 name(size, u'\0');
  if (libesedb_table_get_utf16_name(table.table, reinterpret_cast<std::uint16_t*>(name.data()), size, error.out()) != 1) {
    Fail(table.Where() + "unable to read the name", error);
    return std::nullopt;
  }
  name.resize(size - 1);
  return name;
}


// Our own reader of the database, opened once per file; null when it cannot read the
// file or its catalog. The caller holds the store lock.
ese_reader::Database* OwnDatabase(detail::EseFileState& file) {
  if (!file.own_opened) {
    file.own_opened = true;
    file.own = ese_reader::Database::Open(file.path);
  }
  return file.own.get();
}

// Our reader of the table; null when our catalog does not have it. The caller holds
// the store lock.
ese_reader::Table* OwnTable(detail::EseTableState& table) {
  if (!table.own_opened) {
    table.own_opened = true;
    if (auto* db = OwnDatabase(*table.file)) {
      const KeepStoreError keep;
      if (const auto name = TableName(table)) table.own = db->OpenTable(utf16_to_cp1252(*name));
    }
  }
  return table.own.get();
}

// Whether our reader serves the table's records, deciding on first use. The caller
// holds the store lock.
bool UsesOwn(detail::EseTableState& table) {
  using Backend = detail::EseTableState::Backend;
  if (table.backend == Backend::kUndecided) {
    table.backend = Backend::kLibrary;
    if (g_record_reader.load() == RecordReader::kOwnFirst)
      if (auto* own = OwnTable(table); own != nullptr && own->RecordCount()) table.backend = Backend::kOwn;
  }
  return table.backend == Backend::kOwn;
}

// Hands a table libesedb cannot count or read to our reader, which numbers the records
// the same way (key order); `library_count` is what libesedb counted, if it could.
// false when our reader cannot read the table either. The caller holds the store lock.
bool MoveToOwn(detail::EseTableState& table, std::optional<int> library_count) {
  auto* own = OwnTable(table);
  const auto count = own != nullptr ? own->RecordCount() : std::nullopt;
  if (!count || (library_count && *library_count != static_cast<std::int64_t>(*count))) return false;
  table.backend = detail::EseTableState::Backend::kOwn;
  return true;
}

// The reader of a table's long-value tree, from our own catalog; null when the table
// has none or it cannot be opened. The caller holds the store lock.
std::shared_ptr<const ese_reader::LongValueTree> OpenLongValueTree(detail::EseTableState& table) {
  auto* own = OwnTable(table);
  return own != nullptr ? own->LongValues() : nullptr;
}

// ----- records read by our own reader -----

// The column entry of an own record, checked.
const ese_reader::ColumnDef* OwnColumn(const detail::EseRecordState& state, int entry) {
  if (!state.own->ValidEntry(entry)) {
    Fail(state.Where(entry) + "no such value");
    return nullptr;
  }
  return &state.own->Column(entry);
}

// A fixed-size value of one of the `types`, as little-endian bytes of `size`: 1 read,
// 0 no data, -1 failure. A multi-value gives its first entry.
int OwnFixedValue(const detail::EseRecordState& state, int entry, const char* what,
                  std::initializer_list<std::uint32_t> types, std::size_t size, std::uint64_t& value) {
  const auto* column = OwnColumn(state, entry);
  if (column == nullptr) return -1;
  if (std::find(types.begin(), types.end(), column->type) == types.end()) {
    Fail(state.Where(entry) + "unable to read the " + what + " value: column type " + std::to_string(column->type));
    return -1;
  }
  std::string_view data = state.own->Data(entry);
  if (data.empty()) return 0;
  if ((state.own->Flags(entry) & kValueMultiValue) != 0) {
    const auto entries = state.own->MultiValue(entry);
    if (!entries || entries->empty()) {
      Fail(state.Where(entry) + "unable to read the " + what + " value: damaged multi-value");
      return -1;
    }
    data = entries->front().data;
  }
  if (data.size() != size) {
    Fail(state.Where(entry) + "unable to read the " + what + " value: " + std::to_string(data.size()) +
         " bytes, expected " + std::to_string(size));
    return -1;
  }
  value = 0;
  for (std::size_t k = size; k-- > 0;) value = (value << 8) | static_cast<unsigned char>(data[k]);
  return 1;
}

// Text of stored (uncompressed) bytes in a column's code page: UTF-16LE for code page
// 1200 when the size is even (the engine also keeps 8-bit text in such columns), the
// ANSI code page otherwise; trailing NUL characters dropped.
u16 OwnText(std::string_view stored, std::uint32_t codepage) {
  if (codepage == 1200 && stored.size() % 2 == 0) return TrimTrailingNuls(utf16le_from_bytes(stored));
  return TrimTrailingNuls(cp1252_to_utf16(stored));
}

// Text of a compressed value: the 7-bit forms say what they packed, Xpress data is in
// the column's code page.
std::optional<u16> OwnCompressedText(std::string_view stored, std::uint32_t codepage) {
  const auto data = DecompressValue(stored);
  if (!data) return std::nullopt;
  switch (CompressionOf(stored)) {
    case EseCompression::kSevenBitUtf16: return utf16le_from_bytes(*data);
    case EseCompression::kSevenBitAscii: return cp1252_to_utf16(*data);
    case EseCompression::kXpress: return OwnText(*data, codepage);
    case EseCompression::kUnknown: break;
  }
  return std::nullopt;
}

}  // namespace

// ----- long values -----

std::optional<int> EseLongValue::SegmentCount() const {
  if (!state_) return NoObject();
  const auto lock = LockStore();
  if (state_->tree) return static_cast<int>(state_->chunks.size());  // at most INT_MAX when read
  LibError error;
  int count = 0;
  if (libesedb_long_value_get_number_of_data_segments(state_->value, &count, error.out()) != 1 || count < 0) {
    Fail(state_->Where() + "unable to read the number of segments", error);
    return std::nullopt;
  }
  return count;
}

std::optional<std::string> EseLongValue::Segment(int index) const {
  if (!state_) return NoObject();
  const auto lock = LockStore();
  const std::string where = state_->Where() + "segment " + std::to_string(index) + ": ";
  if (state_->tree) {
    if (index < 0 || static_cast<std::size_t>(index) >= state_->chunks.size()) {
      Fail(where + "no such segment");
      return std::nullopt;
    }
    std::string why;
    auto data = state_->tree->ChunkData(state_->chunks[static_cast<std::size_t>(index)], &why);
    if (!data) Fail(where + "unable to read the segment: " + why);
    return data;
  }
  LibError error;
  std::size_t size = 0;
  if (libesedb_long_value_get_data_segment_size(state_->value, index, &size, error.out()) != 1) {
    Fail(where + "unable to read the segment size", error);
    return std::nullopt;
  }
  if (size > kMaxValueBytes) {
    Fail(where + "segment size " + std::to_string(size) + " exceeds the limit");
    return std::nullopt;
  }
  std::string data(size, '\0');
  if (size != 0 &&
      libesedb_long_value_get_data_segment(state_->value, index, reinterpret_cast<std::uint8_t*>(data.data()), size,
                                           error.out()) != 1) {
    Fail(where + "unable to read the segment", error);
    return std::nullopt;
  }
  return data;
}

std::optional<std::uint64_t> EseLongValue::Size() const {
  if (!state_) return NoObject();
  const auto lock = LockStore();
  if (state_->tree) {
    std::uint64_t size = 0;
    for (const LongValueChunk& chunk : state_->chunks) size += chunk.size;
    return size;
  }
  LibError error;
  size64_t size = 0;
  if (libesedb_long_value_get_data_size(state_->value, &size, error.out()) != 1) {
    Fail(state_->Where() + "unable to read the size", error);
    return std::nullopt;
  }
  return static_cast<std::uint64_t>(size);
}

std::optional<std::string> EseLongValue::Data() const {
  if (!state_) return NoObject();
  const auto lock = LockStore();
  const auto size = Size();
  const auto count = SegmentCount();
  if (!size || !count) return std::nullopt;
  const std::uint64_t limit = std::min(kMaxWholeLongValue, state_->record->table->file->file_size);
  if (*size > limit) {
    Fail(state_->Where() + "size " + std::to_string(*size) + " exceeds the limit of " + std::to_string(limit));
    return std::nullopt;
  }
  std::string data;
  data.reserve(static_cast<std::size_t>(*size));
  for (int i = 0; i < *count; ++i) {
    auto segment = Segment(i);
    if (!segment) return std::nullopt;
    if (segment->size() > *size - data.size()) {
      Fail(state_->Where() + "segments exceed the announced size " + std::to_string(*size));
      return std::nullopt;
    }
    data += *segment;
  }
  return data;
}

// ----- multi-values -----

std::optional<int> EseMultiValue::Count() const {
  if (!state_) return NoObject();
  return static_cast<int>(state_->bounds.size() - 1);
}

std::optional<std::uint32_t> EseMultiValue::Type() const {
  if (!state_) return NoObject();
  if (state_->own) return state_->type;
  const auto lock = LockStore();
  LibError error;
  std::uint32_t type = 0;
  if (libesedb_multi_value_get_column_type(state_->value, &type, error.out()) != 1) {
    Fail(state_->record->Where(state_->entry) + "unable to read the multi-value type", error);
    return std::nullopt;
  }
  return type;
}

std::optional<std::string> EseMultiValue::Data(int index) const {
  if (!state_) return NoObject();
  if (index < 0 || static_cast<std::size_t>(index) + 1 >= state_->bounds.size()) {
    Fail(state_->Where(index) + "no such entry");
    return std::nullopt;
  }
  const auto i = static_cast<std::size_t>(index);
  return state_->stored.substr(state_->bounds[i], state_->bounds[i + 1] - state_->bounds[i]);
}

std::optional<u16> EseMultiValue::Utf16String(int index) const {
  if (!state_) return NoObject();
  const auto lock = LockStore();
  const auto type = Type();
  if (!type) return std::nullopt;
  if (!IsText(*type)) {
    Fail(state_->Where(index) + "not a text column (type " + std::to_string(*type) + ")");
    return std::nullopt;
  }
  const auto stored = Data(index);
  if (!stored) return std::nullopt;
  if (stored->empty()) return u16();
  if (state_->own) {
    // Only the first entry of a compressed multi-value is compressed.
    if ((state_->flags & kValueCompressed) != 0 && index == 0) {
      auto text = OwnCompressedText(*stored, state_->codepage);
      if (!text) Fail(state_->Where(index) + "unable to decompress the entry");
      return text;
    }
    return OwnText(*stored, state_->codepage);
  }

  LibError error;
  auto library = [&]() -> std::optional<u16> {
    std::size_t size = 0;
    if (libesedb_multi_value_get_value_utf16_string_size(state_->value, index, &size, error.out()) != 1) return std::nullopt;
    if (size == 0 || size > kMaxValueBytes) return std::nullopt;
    u16 text(size, u'\0');
    if (libesedb_multi_value_get_value_utf16_string(state_->value, index, reinterpret_cast<std::uint16_t*>(text.data()),
                                                    size, error.out()) != 1)
      return std::nullopt;
    text.resize(size - 1);
    return text;
  };
  // libesedb decompresses only the first entry of a compressed multi-value.
  if ((state_->flags & kValueCompressed) != 0 && index == 0) {
    const bool xpress = CompressionOf(*stored) == EseCompression::kXpress;
    auto text = CompressedText(*stored, xpress ? library() : std::nullopt);
    if (!text) Fail(state_->Where(index) + "unable to decompress the entry");
    return text;
  }
  const auto text = library();
  if (!text) {
    Fail(state_->Where(index) + "unable to read the text", error);
    return std::nullopt;
  }
  return WholeText(*text, *stored);
}

// ----- records -----

std::optional<int> EseRecord::ValueCount() const {
  if (state_ && state_->own) return state_->own->ValueCount();
  int count = 0;
  if (RecordCall(state_, -1, "unable to read the number of values",
                 [&](libesedb_record_t* r, libesedb_error_t** e) { return libesedb_record_get_number_of_values(r, &count, e); }) != 1)
    return std::nullopt;
  return count;
}

std::optional<std::uint32_t> EseRecord::ColumnType(int entry) const {
  if (state_ && state_->own) {
    const auto* column = OwnColumn(*state_, entry);
    if (column == nullptr) return std::nullopt;
    return column->type;
  }
  std::uint32_t type = 0;
  if (RecordCall(state_, entry, "unable to read the column type", [&](libesedb_record_t* r, libesedb_error_t** e) {
        return libesedb_record_get_column_type(r, entry, &type, e);
      }) != 1)
    return std::nullopt;
  return type;
}

std::optional<std::uint32_t> EseRecord::ColumnIdentifier(int entry) const {
  if (state_ && state_->own) {
    const auto* column = OwnColumn(*state_, entry);
    if (column == nullptr) return std::nullopt;
    return column->id;
  }
  std::uint32_t id = 0;
  if (RecordCall(state_, entry, "unable to read the column identifier", [&](libesedb_record_t* r, libesedb_error_t** e) {
        return libesedb_record_get_column_identifier(r, entry, &id, e);
      }) != 1)
    return std::nullopt;
  return id;
}

std::optional<u16> EseRecord::ColumnName(int entry) const {
  if (state_ && state_->own) {
    const auto* column = OwnColumn(*state_, entry);
    if (column == nullptr) return std::nullopt;
    return cp1252_to_utf16(column->name);
  }
  std::size_t size = 0;
  if (RecordCall(state_, entry, "unable to read the column name size", [&](libesedb_record_t* r, libesedb_error_t** e) {
        return libesedb_record_get_utf16_column_name_size(r, entry, &size, e);
      }) != 1)
    return std::nullopt;
  if (size == 0 || size > kMaxNameUnits) {
    Fail(state_->Where(entry) + "column name size " + std::to_string(size) + " out of range");
    return std::nullopt;
  }
  u16 name(size, u'\0');
  if (RecordCall(state_, entry, "unable to read the column name", [&](libesedb_record_t* r, libesedb_error_t** e) {
        return libesedb_record_get_utf16_column_name(r, entry, reinterpret_cast<std::uint16_t*>(name.data()), size, e);
      }) != 1)
    return std::nullopt;
  name.resize(size - 1);
  return name;
}

std::optional<std::uint8_t> EseRecord::ValueFlags(int entry) const {
  if (state_ && state_->own) {
    if (OwnColumn(*state_, entry) == nullptr) return std::nullopt;
    return state_->own->Flags(entry);
  }
  std::uint8_t flags = 0;
  if (RecordCall(state_, entry, "unable to read the value flags", [&](libesedb_record_t* r, libesedb_error_t** e) {
        return libesedb_record_get_value_data_flags(r, entry, &flags, e);
      }) != 1)
    return std::nullopt;
  return flags;
}

std::optional<std::string> EseRecord::ValueData(int entry) const {
  if (state_ && state_->own) {
    if (OwnColumn(*state_, entry) == nullptr) return std::nullopt;
    return std::string(state_->own->Data(entry));
  }
  std::size_t size = 0;
  if (RecordCall(state_, entry, "unable to read the value size", [&](libesedb_record_t* r, libesedb_error_t** e) {
        return libesedb_record_get_value_data_size(r, entry, &size, e);
      }) != 1)
    return std::nullopt;
  if (size > kMaxValueBytes) {
    Fail(state_->Where(entry) + "value size " + std::to_string(size) + " exceeds the limit");
    return std::nullopt;
  }
  std::string data(size, '\0');
  if (size != 0 && RecordCall(state_, entry, "unable to read the value", [&](libesedb_record_t* r, libesedb_error_t** e) {
                     return libesedb_record_get_value_data(r, entry, reinterpret_cast<std::uint8_t*>(data.data()), size, e);
                   }) != 1)
    return std::nullopt;
  return data;
}

int EseRecord::GetBoolean(int entry, bool& value) const {
  if (state_ && state_->own) {
    std::uint64_t raw = 0;
    const int rc = OwnFixedValue(*state_, entry, "boolean", {ese_type::kBoolean}, 1, raw);
    if (rc == 1) value = raw != 0;
    return rc;
  }
  std::uint8_t raw = 0;
  const int rc = RecordCall(state_, entry, "unable to read the boolean value", [&](libesedb_record_t* r, libesedb_error_t** e) {
    return libesedb_record_get_value_boolean(r, entry, &raw, e);
  });
  if (rc == 1) value = raw != 0;
  return rc;
}

int EseRecord::Get8Bit(int entry, std::uint8_t& value) const {
  if (state_ && state_->own) {
    std::uint64_t raw = 0;
    const int rc = OwnFixedValue(*state_, entry, "8-bit", {ese_type::kUnsigned8}, 1, raw);
    if (rc == 1) value = static_cast<std::uint8_t>(raw);
    return rc;
  }
  return RecordCall(state_, entry, "unable to read the 8-bit value", [&](libesedb_record_t* r, libesedb_error_t** e) {
    return libesedb_record_get_value_8bit(r, entry, &value, e);
  });
}

int EseRecord::Get16Bit(int entry, std::uint16_t& value) const {
  if (state_ && state_->own) {
    std::uint64_t raw = 0;
    const int rc = OwnFixedValue(*state_, entry, "16-bit", {ese_type::kSigned16, ese_type::kUnsigned16}, 2, raw);
    if (rc == 1) value = static_cast<std::uint16_t>(raw);
    return rc;
  }
  return RecordCall(state_, entry, "unable to read the 16-bit value", [&](libesedb_record_t* r, libesedb_error_t** e) {
    return libesedb_record_get_value_16bit(r, entry, &value, e);
  });
}

int EseRecord::Get32Bit(int entry, std::uint32_t& value) const {
  if (state_ && state_->own) {
    std::uint64_t raw = 0;
    const int rc = OwnFixedValue(*state_, entry, "32-bit", {ese_type::kSigned32, ese_type::kUnsigned32}, 4, raw);
    if (rc == 1) value = static_cast<std::uint32_t>(raw);
    return rc;
  }
  return RecordCall(state_, entry, "unable to read the 32-bit value", [&](libesedb_record_t* r, libesedb_error_t** e) {
    return libesedb_record_get_value_32bit(r, entry, &value, e);
  });
}

int EseRecord::Get64Bit(int entry, std::uint64_t& value) const {
  if (state_ && state_->own) {
    std::uint64_t raw = 0;
    const int rc = OwnFixedValue(*state_, entry, "64-bit", {ese_type::kCurrency, ese_type::kDateTime, ese_type::kSigned64}, 8, raw);
    if (rc == 1) value = raw;
    return rc;
  }
  return RecordCall(state_, entry, "unable to read the 64-bit value", [&](libesedb_record_t* r, libesedb_error_t** e) {
    return libesedb_record_get_value_64bit(r, entry, &value, e);
  });
}

int EseRecord::GetFiletime(int entry, std::uint64_t& value) const {
  if (state_ && state_->own) {
    std::uint64_t raw = 0;
    const int rc = OwnFixedValue(*state_, entry, "filetime", {ese_type::kDateTime}, 8, raw);
    if (rc == 1) value = raw;
    return rc;
  }
  return RecordCall(state_, entry, "unable to read the filetime value", [&](libesedb_record_t* r, libesedb_error_t** e) {
    return libesedb_record_get_value_filetime(r, entry, &value, e);
  });
}

int EseRecord::GetFloat32(int entry, float& value) const {
  if (state_ && state_->own) {
    std::uint64_t raw = 0;
    const int rc = OwnFixedValue(*state_, entry, "32-bit float", {ese_type::kFloat32}, 4, raw);
    if (rc == 1) value = std::bit_cast<float>(static_cast<std::uint32_t>(raw));
    return rc;
  }
  float library = 0;
  const int rc = RecordCall(state_, entry, "unable to read the 32-bit float value", [&](libesedb_record_t* r, libesedb_error_t** e) {
    return libesedb_record_get_value_floating_point_32bit(r, entry, &library, e);
  });
  if (rc != 1) return rc;
  // libesedb hands a 4-byte float through its 64-bit conversion and returns a wrong
  // number (0 for most values); the stored bytes are the IEEE single itself.
  const auto stored = ValueData(entry);
  if (!stored) return -1;
  if (stored->size() != 4) {
    Fail(state_->Where(entry) + "32-bit float value of " + std::to_string(stored->size()) + " bytes");
    return -1;
  }
  std::uint32_t bits = 0;
  for (int k = 3; k >= 0; --k) bits = (bits << 8) | static_cast<unsigned char>((*stored)[static_cast<std::size_t>(k)]);
  value = std::bit_cast<float>(bits);
  return 1;
}

int EseRecord::GetFloat64(int entry, double& value) const {
  if (state_ && state_->own) {
    std::uint64_t raw = 0;
    const int rc = OwnFixedValue(*state_, entry, "64-bit float", {ese_type::kFloat64}, 8, raw);
    if (rc == 1) value = std::bit_cast<double>(raw);
    return rc;
  }
  return RecordCall(state_, entry, "unable to read the 64-bit float value", [&](libesedb_record_t* r, libesedb_error_t** e) {
    return libesedb_record_get_value_floating_point_64bit(r, entry, &value, e);
  });
}

int EseRecord::GetUtf16String(int entry, u16& value) const {
  if (!state_) return NoObjectRc();
  const auto lock = LockStore();
  const auto type = ColumnType(entry);
  if (!type) return -1;
  if (!IsText(*type)) {
    Fail(state_->Where(entry) + "not a text column (type " + std::to_string(*type) + ")");
    return -1;
  }
  const auto flags = ValueFlags(entry);
  if (!flags) return -1;
  if (state_->own) {
    // As libesedb: a multi-value is no text, a separated value's stored id is read as
    // its text.
    if ((*flags & kValueMultiValue) != 0) {
      Fail(state_->Where(entry) + "a multi-value is no single text");
      return -1;
    }
    const std::string_view stored = state_->own->Data(entry);
    if (stored.empty()) return 0;
    const std::uint32_t codepage = state_->own->Column(entry).codepage;
    if ((*flags & kValueCompressed) != 0 && (*flags & kValueLongValue) == 0) {
      auto text = OwnCompressedText(stored, codepage);
      if (!text) {
        Fail(state_->Where(entry) + "unable to decompress the value");
        return -1;
      }
      value = std::move(*text);
      return 1;
    }
    value = OwnText(stored, codepage);
    return 1;
  }

  LibError error;
  std::size_t size = 0;
  auto library = [&](u16& text) {
    const int rc = libesedb_record_get_value_utf16_string_size(state_->record, entry, &size, error.out());
    if (rc != 1) return rc == 0 ? 0 : -1;
    // A size counts the terminator: 0 is no text at all.
    if (size == 0 || size > kMaxValueBytes) return -1;
    text.assign(size, u'\0');
    if (libesedb_record_get_value_utf16_string(state_->record, entry, reinterpret_cast<std::uint16_t*>(text.data()), size,
                                               error.out()) != 1)
      return -1;
    text.resize(size - 1);
    return 1;
  };
  auto library_failed = [&]() {
    Fail(state_->Where(entry) + "unable to read the text (size " + std::to_string(size) + ")", error);
    return -1;
  };

  if ((*flags & (kValueLongValue | kValueMultiValue)) != 0) {
    const int rc = library(value);
    return rc == -1 ? library_failed() : rc;
  }
  const auto stored = ValueData(entry);
  if (!stored) return -1;
  if (stored->empty()) {
    u16 text;
    const int rc = library(text);
    if (rc == -1) return library_failed();
    if (rc == 1) value = std::move(text);
    return rc;
  }
  if ((*flags & kValueCompressed) != 0) {
    std::optional<u16> oracle;
    if (CompressionOf(*stored) == EseCompression::kXpress) {
      u16 text;
      if (library(text) == 1) oracle = std::move(text);
    }
    auto text = CompressedText(*stored, oracle);
    if (!text) {
      Fail(state_->Where(entry) + "unable to decompress the value");
      return -1;
    }
    value = std::move(*text);
    return 1;
  }
  u16 text;
  const int rc = library(text);
  if (rc == -1) return library_failed();
  if (rc == 1) value = WholeText(text, *stored);
  return rc;
}

int EseRecord::GetBinaryData(int entry, std::string& value) const {
  if (!state_) return NoObjectRc();
  const auto lock = LockStore();
  const auto type = ColumnType(entry);
  if (!type) return -1;
  if (!IsBinary(*type)) {
    Fail(state_->Where(entry) + "not a binary column (type " + std::to_string(*type) + ")");
    return -1;
  }
  const auto flags = ValueFlags(entry);
  if (!flags) return -1;
  if ((*flags & kValueCompressed) != 0 && (*flags & (kValueLongValue | kValueMultiValue)) == 0) {
    const auto stored = ValueData(entry);
    if (!stored) return -1;
    if (stored->empty()) return 0;
    auto data = DecompressValue(*stored);
    if (!data) {
      Fail(state_->Where(entry) + "unable to decompress the value");
      return -1;
    }
    value = std::move(*data);
    return 1;
  }
  if (state_->own) {
    const std::string_view stored = state_->own->Data(entry);
    if (stored.empty()) return 0;
    value.assign(stored);
    return 1;
  }
  std::size_t size = 0;
  const int rc = RecordCall(state_, entry, "unable to read the binary data size", [&](libesedb_record_t* r, libesedb_error_t** e) {
    return libesedb_record_get_value_binary_data_size(r, entry, &size, e);
  });
  if (rc != 1) return rc;
  if (size > kMaxValueBytes) {
    Fail(state_->Where(entry) + "binary data size " + std::to_string(size) + " exceeds the limit");
    return -1;
  }
  std::string data(size, '\0');
  if (size != 0 &&
      RecordCall(state_, entry, "unable to read the binary data", [&](libesedb_record_t* r, libesedb_error_t** e) {
        return libesedb_record_get_value_binary_data(r, entry, reinterpret_cast<std::uint8_t*>(data.data()), size, e);
      }) != 1)
    return -1;
  value = std::move(data);
  return 1;
}

int EseRecord::GetLongValue(int entry, EseLongValue& value) const {
  // libesedb refuses an entry without data as having the wrong flags.
  const auto stored = ValueData(entry);
  if (!stored) return -1;
  if (stored->empty()) return 0;
  std::string saved_why;
  {
    const auto lock = LockStore();
    const KeepStoreError keep;
    const auto flags = ValueFlags(entry);
    // The record holds the value's LID, 4 or 8 bytes little-endian.
    if (flags && (*flags & kValueLongValue) != 0 && (*flags & kValueMultiValue) == 0 &&
        (stored->size() == 4 || stored->size() == 8)) {
      detail::EseTableState& table = *state_->table;
      if (!table.long_value_tree_opened) {
        table.long_value_tree_opened = true;
        table.long_value_tree = OpenLongValueTree(table);
      }
      ese_reader::LongValueId lid{0, stored->size() == 8};
      for (std::size_t k = stored->size(); k-- > 0;) lid.value = (lid.value << 8) | static_cast<unsigned char>((*stored)[k]);
      std::string why;
      auto chunks = table.long_value_tree ? table.long_value_tree->Chunks(lid, &why) : std::nullopt;
      if (chunks && chunks->size() <= static_cast<std::size_t>(std::numeric_limits<int>::max())) {
        auto state = std::make_shared<detail::EseLongValueState>();
        state->record = state_;
        state->entry = entry;
        state->tree = table.long_value_tree;
        state->chunks = std::move(*chunks);
        value.state_ = std::move(state);
        return 1;
      }
      if (state_->own) saved_why = table.long_value_tree ? why : "the table's long-value tree cannot be read";
    }
  }
  if (state_->own && state_->record == nullptr) {
    // A record of our own reader: the library's record of the same number (the same
    // key order) reads the value by its keys, if the library can read the table.
    const auto lock = LockStore();
    LibError error;
    if (libesedb_table_get_record(state_->table->table, state_->entry, &state_->record, error.out()) != 1) {
      state_->record = nullptr;
      Fail(state_->Where(entry) + "unable to read the long value" + (saved_why.empty() ? "" : ": " + saved_why));
      return -1;
    }
  }
  // Otherwise the library reads it.
  libesedb_long_value_t* handle = nullptr;
  const int rc = RecordCall(state_, entry, "unable to read the long value", [&](libesedb_record_t* r, libesedb_error_t** e) {
    return libesedb_record_get_long_value(r, entry, &handle, e);
  });
  if (rc != 1) return rc;
  const auto lock = LockStore();
  auto state = std::make_shared<detail::EseLongValueState>();
  state->record = state_;
  state->value = handle;
  state->entry = entry;
  value.state_ = std::move(state);
  return 1;
}

int EseRecord::GetMultiValue(int entry, EseMultiValue& value) const {
  if (!state_) return NoObjectRc();
  const auto lock = LockStore();
  const auto flags = ValueFlags(entry);
  auto stored = ValueData(entry);
  if (!flags || !stored) return -1;
  if (stored->empty()) return 0;  // refused by libesedb as having the wrong flags
  if (state_->own) {
    // Our reader also reads the two-values form; entries that are long-value ids are
    // refused as the library refuses them.
    std::string why;
    const auto entries = (*flags & kValueLongValue) == 0 ? state_->own->MultiValue(entry, &why) : std::nullopt;
    if (!entries) {
      if ((*flags & (kValueMultiValue | kValueLongValue)) == kValueMultiValue)
        Fail(state_->Where(entry) + "damaged multi-value: " + why);
      else
        Fail(state_->Where(entry) + "not a readable multi-value (flags " + FlagsText(*flags) + ")");
      return -1;
    }
    auto state = std::make_shared<detail::EseMultiValueState>();
    state->record = state_;
    state->entry = entry;
    state->flags = *flags;
    state->own = true;
    state->type = state_->own->Column(entry).type;
    state->codepage = state_->own->Column(entry).codepage;
    const std::string_view data = state_->own->Data(entry);
    for (const ese_reader::MultiValueEntry& e : *entries)
      state->bounds.push_back(static_cast<std::size_t>(e.data.data() - data.data()));
    state->bounds.push_back(data.size());
    state->stored = std::move(*stored);
    value.state_ = std::move(state);
    return 1;
  }
  if ((*flags & kValueMultiValue) == 0 || (*flags & (kValueLongValue | kValueFlag10)) != 0) {
    Fail(state_->Where(entry) + "not a readable multi-value (flags " + FlagsText(*flags) + ")");
    return -1;
  }
  auto bounds = MultiValueBounds(*stored);
  if (!bounds) {
    Fail(state_->Where(entry) + "damaged multi-value: its offsets do not fit its " + std::to_string(stored->size()) +
         " bytes");
    return -1;
  }
  libesedb_multi_value_t*& handle = state_->multi_values[entry];
  if (handle == nullptr) {
    LibError error;
    if (libesedb_record_get_multi_value(state_->record, entry, &handle, error.out()) != 1) {
      state_->multi_values.erase(entry);
      Fail(state_->Where(entry) + "unable to read the multi-value", error);
      return -1;
    }
  }
  auto state = std::make_shared<detail::EseMultiValueState>();
  state->record = state_;
  state->value = handle;
  state->entry = entry;
  state->flags = *flags;
  state->stored = std::move(*stored);
  state->bounds = std::move(*bounds);
  value.state_ = std::move(state);
  return 1;
}

// ----- tables -----

std::optional<u16> EseTable::Name() const {
  if (!state_) return NoObject();
  return TableName(*state_);
}

std::optional<int> EseTable::ColumnCount() const {
  if (!state_) return NoObject();
  const auto lock = LockStore();
  if (UsesOwn(*state_)) return static_cast<int>(state_->own->columns().size());
  LibError error;
  int count = 0;
  if (libesedb_table_get_number_of_columns(state_->table, &count, 0, error.out()) != 1 || count < 0) {
    Fail(state_->Where() + "unable to read the number of columns", error);
    return std::nullopt;
  }
  return count;
}

std::optional<EseColumn> EseTable::Column(int entry) const {
  if (!state_) return NoObject();
  const auto lock = LockStore();
  const std::string where = state_->Where() + "column " + std::to_string(entry) + ": ";
  if (UsesOwn(*state_)) {
    const auto& columns = state_->own->columns();
    if (entry < 0 || static_cast<std::size_t>(entry) >= columns.size()) {
      Fail(where + "no such column");
      return std::nullopt;
    }
    const ese_reader::ColumnDef& def = columns[static_cast<std::size_t>(entry)];
    return EseColumn{cp1252_to_utf16(def.name), def.id, def.type};
  }
  LibError error;
  libesedb_column_t* handle = nullptr;
  if (libesedb_table_get_column(state_->table, entry, &handle, 0, error.out()) != 1) {
    Fail(where + "unable to read the column", error);
    return std::nullopt;
  }
  struct Free {
    libesedb_column_t*& handle;
    ~Free() { libesedb_column_free(&handle, nullptr); }
  } free_column{handle};

  EseColumn column;
  std::size_t size = 0;
  if (libesedb_column_get_identifier(handle, &column.identifier, error.out()) != 1 ||
      libesedb_column_get_type(handle, &column.type, error.out()) != 1 ||
      libesedb_column_get_utf16_name_size(handle, &size, error.out()) != 1) {
    Fail(where + "unable to read the column definition", error);
    return std::nullopt;
  }
  if (size == 0 || size > kMaxNameUnits) {
    Fail(where + "name size " + std::to_string(size) + " out of range");
    return std::nullopt;
  }
  column.name.assign(size, u'\0');
  if (libesedb_column_get_utf16_name(handle, reinterpret_cast<std::uint16_t*>(column.name.data()), size, error.out()) != 1) {
    Fail(where + "unable to read the name", error);
    return std::nullopt;
  }
  column.name.resize(size - 1);
  return column;
}

std::optional<int> EseTable::RecordCount() const {
  if (!state_) return NoObject();
  const auto lock = LockStore();
  std::string why;
  if (UsesOwn(*state_)) {
    const auto count = state_->own->RecordCount(&why);
    if (!count) {
      Fail(state_->Where() + "unable to read the number of records: " + why);
      return std::nullopt;
    }
    return static_cast<int>(*count);
  }
  LibError error;
  int count = 0;
  if (libesedb_table_get_number_of_records(state_->table, &count, error.out()) != 1 || count < 0) {
    // Too many leaf pages for the library, or pages it cannot read: our reader takes
    // the table over.
    if (MoveToOwn(*state_, std::nullopt)) return static_cast<int>(*state_->own->RecordCount());
    Fail(state_->Where() + "unable to read the number of records", error);
    return std::nullopt;
  }
  return count;
}

std::optional<EseRecord> EseTable::Record(int entry) const {
  if (!state_) return NoObject();
  const auto lock = LockStore();
  auto own_record = [&]() -> std::optional<EseRecord> {
    std::string why;
    auto own = entry >= 0 ? state_->own->ReadRecord(static_cast<std::uint32_t>(entry), &why) : std::nullopt;
    if (!own) {
      Fail(state_->Where() + "unable to read record " + std::to_string(entry) + (why.empty() ? "" : ": " + why));
      return std::nullopt;
    }
    auto state = std::make_shared<detail::EseRecordState>();
    state->table = state_;
    state->entry = entry;
    state->own = std::move(*own);
    EseRecord record;
    record.state_ = std::move(state);
    return record;
  };
  if (UsesOwn(*state_)) return own_record();
  LibError error;
  libesedb_record_t* handle = nullptr;
  if (libesedb_table_get_record(state_->table, entry, &handle, error.out()) != 1) {
    // Records the library cannot decode (a derived table with columns of its own):
    // our reader takes the table over when it numbers the records as the library does.
    int count = -1;
    LibError count_error;
    if (libesedb_table_get_number_of_records(state_->table, &count, count_error.out()) == 1 &&
        MoveToOwn(*state_, count))
      return own_record();
    Fail(state_->Where() + "unable to read record " + std::to_string(entry), error);
    return std::nullopt;
  }
  auto state = std::make_shared<detail::EseRecordState>();
  state->table = state_;
  state->record = handle;
  state->entry = entry;
  EseRecord record;
  record.state_ = std::move(state);
  return record;
}

std::vector<std::string> EseTable::Problems() const {
  if (!state_) return {};
  const auto lock = LockStore();
  if (state_->backend != detail::EseTableState::Backend::kOwn || !state_->own) return {};
  return state_->own->Problems();
}

// ----- database -----

std::optional<EseDatabase> EseDatabase::Open(const std::filesystem::path& path, EseOpenFailure* failure) {
  auto fail = [&](EseOpenFailure why) -> std::optional<EseDatabase> {
    if (failure != nullptr) *failure = why;
    return std::nullopt;
  };
  if (failure != nullptr) *failure = EseOpenFailure::kNone;
  const std::string where = "database '" + path.string() + "': ";
  // The library would wait for ever on a FIFO and fail obscurely on a directory.
  std::error_code ec;
  const auto status = std::filesystem::status(path, ec);
  if (ec || !std::filesystem::is_regular_file(status)) {
    Fail(where + (ec ? "unable to open: " + ec.message() : std::string("not a regular file")));
    return fail(EseOpenFailure::kOpen);
  }
  const std::uintmax_t file_size = std::filesystem::file_size(path, ec);
  if (ec) {
    Fail(where + "unable to read the file size: " + ec.message());
    return fail(EseOpenFailure::kOpen);
  }

  const auto lock = LockStore();
  auto state = std::make_shared<detail::EseFileState>();
  state->path = path.string();
  state->file_size = file_size;
  LibError error;
  if (libesedb_file_initialize(&state->file, error.out()) != 1) {
    state->file = nullptr;
    Fail(where + "unable to initialize the database object", error);
    return fail(EseOpenFailure::kInitialize);
  }
  if (libesedb_file_open(state->file, path.c_str(), libesedb_get_access_flags_read(), error.out()) != 1) {
    Fail(where + "unable to open", error);
    return fail(EseOpenFailure::kOpen);
  }
  state->open = true;
  if (libesedb_file_get_format_version(state->file, &state->version, &state->revision, error.out()) != 1 ||
      libesedb_file_get_page_size(state->file, &state->page_size, error.out()) != 1) {
    Fail(where + "unable to read the file header", error);
    return fail(EseOpenFailure::kHeader);
  }
  EseDatabase database;
  database.state_ = std::move(state);
  return database;
}

std::uint32_t EseDatabase::FormatVersion() const { return state_ ? state_->version : 0; }
std::uint32_t EseDatabase::FormatRevision() const { return state_ ? state_->revision : 0; }
std::uint32_t EseDatabase::PageSize() const { return state_ ? state_->page_size : 0; }

std::optional<int> EseDatabase::TableCount() const {
  if (!state_) return NoObject();
  const auto lock = LockStore();
  LibError error;
  int count = 0;
  if (libesedb_file_get_number_of_tables(state_->file, &count, error.out()) != 1 || count < 0) {
    Fail("database '" + state_->path + "': unable to read the number of tables", error);
    return std::nullopt;
  }
  return count;
}

std::optional<EseTable> EseDatabase::Table(int entry) const {
  if (!state_) return NoObject();
  const auto lock = LockStore();
  LibError error;
  libesedb_table_t* handle = nullptr;
  if (libesedb_file_get_table(state_->file, entry, &handle, error.out()) != 1) {
    Fail("table " + std::to_string(entry) + ": unable to open", error);
    return std::nullopt;
  }
  auto state = std::make_shared<detail::EseTableState>();
  state->file = state_;
  state->table = handle;
  state->entry = entry;
  EseTable table;
  table.state_ = std::move(state);
  return table;
}

int EseDatabase::TableNamed(u16v name, EseTable& table) const {
  const auto lock = LockStore();
  const auto count = TableCount();
  if (!count) return -1;
  bool failed = false;
  for (int i = 0; i < *count; ++i) {
    auto candidate = Table(i);
    const auto candidate_name = candidate ? candidate->Name() : std::nullopt;
    if (!candidate_name) {
      failed = true;  // an unreadable table does not hide the ones after it
      continue;
    }
    if (*candidate_name == name) {
      table = std::move(*candidate);
      return 1;
    }
  }
  return failed ? -1 : 0;
}

}  // namespace edbx
