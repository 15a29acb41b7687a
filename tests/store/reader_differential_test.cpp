// Our table reader against libesedb, record for record and value for value: flags,
// stored bytes, multi-value entries and long-value bytes, on every kind of store the
// writer makes and on every table of the real files written by Windows' engine.
//
// Where the two differ, the file's bytes decide, and only the differences in which
// libesedb is known to misread the file are accepted; each is a named case below,
// recognised by what our reader found in the record, and counted so a test can say
// which it met. Anything else is a failure.

#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "ese/database.hpp"
#include "tests/edbforge/esedb_read.hpp"
#include "tests/store/store_fixture.hpp"
#include "tools/edbforge/store/description_json.hpp"
#include "tools/edbforge/store/store_builder.hpp"

namespace edbx::test {
namespace {

using ese_reader::ValueSpan;

enum class Misread {
  // A fixed column marked NULL in the record's null bitmap: libesedb does not read the
  // bitmap and returns the column's filler bytes (the engine's record format keeps a
  // fixed column's bytes whatever its null bit says; ese-format.md section 6).
  kFixedNullAsFiller,
  // A tagged column absent from the record whose definition has a default value: the
  // engine returns the default (its record retrieval falls back to the column's
  // default), libesedb returns nothing.
  kTaggedDefault,
  // A multi-value in the two-values form (header flag 0x10; TAGFLD_HEADER in the
  // engine's tagfld.hxx): libesedb splits it as if it had an offset array.
  kTwoValuesForm,
  // A separated long value whose chunks are compressed: the engine keys each chunk by
  // its uncompressed offset, libesedb adds the stored sizes and finds the first only.
  kCompressedChunks,
};

const char* MisreadName(Misread m) {
  switch (m) {
    case Misread::kFixedNullAsFiller: return "fixed NULL read as filler";
    case Misread::kTaggedDefault: return "tagged default";
    case Misread::kTwoValuesForm: return "two-values form";
    case Misread::kCompressedChunks: return "compressed long-value chunks";
  }
  return "?";
}

std::string Joined(const std::vector<std::string>& parts) {
  std::string out;
  for (const auto& p : parts) out += p;
  return out;
}

struct Comparison {
  std::size_t tables = 0, records = 0, values = 0, long_values = 0, multi_values = 0;
  std::map<Misread, std::size_t> misreads;
};

// Compares one value of one record. Adds a failure naming table, record and column
// for every difference that is not a known misread.
void CompareValue(const edbforge::testing::Record& lib, const ese_reader::Record& ours, int entry, bool compressed_lv,
                  Comparison& result) {
  const auto& column = ours.Column(entry);
  SCOPED_TRACE("column " + column.name);
  ++result.values;
  const std::string lib_raw = lib.raw(entry);
  const std::string ours_raw(ours.Data(entry));
  const auto state = ours.State(entry);
  if (state == ValueSpan::kNull && column.fixed()) {
    if (!lib_raw.empty()) ++result.misreads[Misread::kFixedNullAsFiller];
    return;
  }
  if (state == ValueSpan::kDefault && column.tagged()) {
    if (lib_raw != ours_raw) ++result.misreads[Misread::kTaggedDefault];
    return;
  }
  const std::uint8_t flags = ours.Flags(entry);
  if (column.tagged() && !ours_raw.empty()) {
    EXPECT_EQ(lib.flags(entry), flags);
  }
  if ((flags & 0x08) != 0) {
    ++result.multi_values;
    const auto entries = ours.MultiValue(entry);
    ASSERT_TRUE(entries.has_value());
    std::vector<std::string> ours_entries;
    for (const auto& e : *entries) ours_entries.emplace_back(e.data);
    if ((flags & 0x10) != 0) {
      std::vector<std::string> lib_entries;
      try {
        lib_entries = lib.multi(entry);
      } catch (const std::exception&) {
        lib_entries.clear();  // libesedb refuses the flags outright
      }
      if (lib_entries != ours_entries) ++result.misreads[Misread::kTwoValuesForm];
      return;
    }
    EXPECT_EQ(lib.multi(entry), ours_entries);
    return;
  }
  EXPECT_EQ(lib_raw, ours_raw);
  if ((flags & 0x04) != 0) {
    ++result.long_values;
    std::string why;
    const auto segments = ours.LongValueSegments(entry, &why);
    ASSERT_TRUE(segments.has_value()) << why;
    const std::string ours_lv = Joined(*segments);
    const std::string lib_lv = lib.long_value(entry);
    if (compressed_lv && lib_lv != ours_lv && ours_lv.substr(0, lib_lv.size()) == lib_lv) {
      ++result.misreads[Misread::kCompressedChunks];
      return;
    }
    EXPECT_EQ(lib_lv, ours_lv);
  }
}

// Every table libesedb reads, every record, every value. Tables libesedb refuses are
// checked by our reader alone: it must count and read every record.
Comparison CompareFile(const fs::path& path, const std::vector<std::string>& skip_tables = {}) {
  Comparison result;
  std::string why;
  const auto db = ese_reader::Database::Open(path, &why);
  EXPECT_TRUE(db) << why;
  if (!db) return result;
  edbforge::testing::File lib(path.string());
  for (int t = 0; t < lib.tables(); ++t) {
    edbforge::testing::Table lib_table = lib.table(t);
    const std::string name = lib_table.name();
    if (std::find(skip_tables.begin(), skip_tables.end(), name) != skip_tables.end()) continue;
    SCOPED_TRACE("table " + name);
    const auto ours = db->OpenTable(name);
    EXPECT_TRUE(ours);
    if (!ours) continue;
    const auto lib_columns = lib_table.columns();
    EXPECT_EQ(lib_columns.size(), ours->columns().size());
    if (lib_columns.size() != ours->columns().size()) continue;
    bool compressed_lv = false;
    for (std::size_t c = 0; c < lib_columns.size(); ++c) {
      EXPECT_EQ(lib_columns[c].name, ours->columns()[c].name);
      EXPECT_EQ(lib_columns[c].type, ours->columns()[c].type);
      if ((ours->columns()[c].flags & 0x1000) != 0) compressed_lv = true;  // a compressed column
    }
    const auto count = ours->RecordCount(&why);
    EXPECT_TRUE(count) << why;
    if (!count) continue;
    int lib_count = -1;
    try {
      lib_count = lib_table.records();
    } catch (const std::exception&) {
      lib_count = -1;  // libesedb refuses the table: ours alone, below
    }
    ++result.tables;
    for (std::uint32_t r = 0; r < *count; ++r) {
      SCOPED_TRACE("record " + std::to_string(r));
      const auto record = ours->ReadRecord(r, &why);
      EXPECT_TRUE(record) << why;
      if (!record) break;
      if (lib_count < 0) continue;
      std::optional<edbforge::testing::Record> lib_record;
      try {
        lib_record.emplace(lib_table.record(static_cast<int>(r)));
      } catch (const std::exception& e) {
        // libesedb refuses the records of a derived table with columns of its own (it
        // looks them up among the template's); any other refusal is a failure.
        EXPECT_TRUE(r == 0 && !ours->definition().template_name.empty()) << e.what();
        lib_count = -1;
        continue;
      }
      ++result.records;
      for (int e = 0; e < record->ValueCount(); ++e) CompareValue(*lib_record, *record, e, compressed_lv, result);
    }
    if (lib_count >= 0) {
      EXPECT_EQ(static_cast<std::uint32_t>(lib_count), *count);
    }
    EXPECT_TRUE(ours->Problems().empty()) << ours->Problems().front();
  }
  return result;
}

std::string Summary(const Comparison& c) {
  std::string s = std::to_string(c.tables) + " tables, " + std::to_string(c.records) + " records, " +
                  std::to_string(c.values) + " values, " + std::to_string(c.long_values) + " long values, " +
                  std::to_string(c.multi_values) + " multi-values";
  for (const auto& [m, n] : c.misreads) s += "; " + std::string(MisreadName(m)) + ": " + std::to_string(n);
  return s;
}

// Items with every kind of value the stores hold: long bodies (separated long values),
// multi-valued categories, binary and date properties, attachments.
const char* kItems = R"({"mailboxes": [
  {"name": "Alice Example", "owner": "Alice Example", "id": "0100000000000a1f", "folders": [
    {"name": "Inbox", "class": "IPF.Note", "id": "0100000000000b01", "items": [
      {"key": "12a", "subject": "Report", "prefix": "RE: ", "from": "Bob Example <bob@example.com>",
       "to": ["Alice Example <alice@example.com>"], "cc": ["Carol <carol@example.org>"],
       "sent": "2010-01-05T14:03:59Z", "body": "short body",
       "properties": {"MS80db": ["Work", "Private"], "L813a": 5, "B0e1f": true}},
      {"subject": "Long", "from": "Bob Example <bob@example.com>", "sent": "2010-01-06T14:03:59Z",
       "html": "<p>html body</p>", "rtf": "{\\rtf1 rich}",
       "attachments": [{"name": "a.bin", "generate": {"kind": "pdf", "size": 30000}}, {"name": "b.txt", "text": "B"}],
       "repeat": 30}]},
    {"name": "Contacts", "class": "IPF.Contact", "id": "0100000000000b02", "items": [
      {"class": "IPM.Contact", "subject": "Dave Contact", "properties": {"S3a06": "Dave"}}]}]}]})";

// Public folders with the same kinds of values.
const char* kPublic = R"({"public_folders": [
  {"name": "Sales", "class": "IPF.Note", "id": "0100000000000b11", "items": [
    {"class": "IPM.Post", "subject": "Offer", "from": "Bob Example <bob@example.com>", "sent": "2010-01-05T14:03:59Z",
     "body": "short body", "properties": {"MS80db": ["Work", "Private"]}},
    {"class": "IPM.Post", "subject": "Long", "from": "Bob Example <bob@example.com>", "sent": "2010-01-06T14:03:59Z",
     "html": "<p>html body</p>", "attachments": [{"name": "a.bin", "generate": {"kind": "pdf", "size": 30000}}],
     "repeat": 20}]}]})";

// Plain tables of every column type and storage, compressed and multi-valued columns.
const char* kTables = R"({"layout": "none", "tables": [
  {"name": "Types", "columns": [
    {"name": "Id", "type": "Long", "storage": "fixed"}, {"name": "Bit", "type": "Bit", "storage": "fixed"},
    {"name": "Byte", "type": "UnsignedByte", "storage": "fixed"}, {"name": "Short", "type": "Short"},
    {"name": "Money", "type": "Currency"}, {"name": "Single", "type": "IEEESingle"},
    {"name": "Double", "type": "IEEEDouble"}, {"name": "When", "type": "DateTime"},
    {"name": "Bin", "type": "Binary"}, {"name": "Text", "type": "Text", "codepage": 1200},
    {"name": "Ansi", "type": "Text", "codepage": 1252}, {"name": "Guid", "type": "GUID"},
    {"name": "Notes", "type": "LongText", "compressed": true}, {"name": "Blob", "type": "LongBinary"},
    {"name": "Tags", "type": "Text", "multi": true}],
   "rows": [
    {"Id": 1, "Bit": true, "Byte": 7, "Short": -3, "Money": 12345, "Single": 1.5, "Double": 2.25,
     "When": "2010-01-05T14:03:59Z", "Bin": {"hex": "00ff10"}, "Text": "Alice", "Ansi": "Bob",
     "Notes": "short 7-bit text", "Tags": ["a", "bb", "ccc"]},
    {"Id": 2, "Notes": "Xpress compressed text, long enough to be worth compressing: aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa",
     "Blob": {"base64": "AAECAwQFBgcICQoLDA0ODxAREhMUFRYXGBkaGxwdHh8="}},
    {"Id": 3}]}]})";

fs::path Write(const std::string& json, const fs::path& path, edbforge::store::Layout layout, bool public_store,
               std::uint32_t page_size, std::uint32_t revision, bool derived_own_column = false) {
  auto desc = edbforge::store::ParseDescription(json, path.parent_path());
  if (json.find("\"layout\": \"none\"") == std::string::npos) desc.options.layout = layout;
  desc.options.public_store = public_store;
  desc.options.page_size = page_size;
  desc.options.format_revision = revision;
  desc.options.content_tables_with_own_column = derived_own_column;
  edbforge::store::BuildStore(desc, path);
  return path;
}

TEST(ReaderDifferential, EveryStoreVariantReadsAsLibesedbReadsIt) {
  using edbforge::store::Layout;
  struct Variant {
    const char* name;
    const char* json;
    Layout layout;
    bool public_store;
    std::uint32_t page_size, revision;
  };
  const Variant variants[] = {
      {"older, 4 KiB, revision 9", kItems, Layout::Older, false, 4096, 9},
      {"older, 8 KiB, revision 0x0b", kItems, Layout::Older, false, 8192, 0x0b},
      {"older, 8 KiB, revision 0x0c", kItems, Layout::Older, false, 8192, 0x0c},
      {"older, 32 KiB, revision 0x11", kItems, Layout::Older, false, 32768, 0x11},
      {"newer, 8 KiB, revision 0x11", kItems, Layout::Newer, false, 8192, 0x11},
      {"newer, 32 KiB, revision 0x14", kItems, Layout::Newer, false, 32768, 0x14},
      {"public older, 4 KiB", kPublic, Layout::Older, true, 4096, 0x0c},
      {"public newer, 32 KiB", kPublic, Layout::Newer, true, 32768, 0x11},
      {"plain tables, 4 KiB, revision 9", kTables, Layout::Older, false, 4096, 9},
      {"plain tables, 8 KiB, revision 0x12", kTables, Layout::Older, false, 8192, 0x12},
      {"plain tables, 32 KiB, revision 0x14", kTables, Layout::Older, false, 32768, 0x14},
  };
  const fs::path dir = FreshDir("differential");
  int n = 0;
  for (const Variant& v : variants) {
    SCOPED_TRACE(v.name);
    const fs::path path =
        Write(v.json, dir / ("v" + std::to_string(n++) + ".edb"), v.layout, v.public_store, v.page_size, v.revision);
    Comparison c = CompareFile(path);
    EXPECT_GT(c.records, 0u) << Summary(c);
    // The writer marks absent fixed columns NULL; it writes no defaults and never the
    // two-values form, and compresses no long-value chunks unless a column asks for it.
    c.misreads.erase(Misread::kFixedNullAsFiller);
    EXPECT_TRUE(c.misreads.empty()) << Summary(c);
  }
}

// libesedb cannot read the records of a derived table with columns of its own; ours
// reads them, template columns first, and agrees with libesedb on every other table.
TEST(ReaderDifferential, DerivedTablesWithColumnsOfTheirOwnRead) {
  const fs::path dir = FreshDir("differential-derived");
  const fs::path path = Write(kItems, dir / "derived.edb", edbforge::store::Layout::Older, false, 8192, 0x0c, true);
  const Comparison c = CompareFile(path);
  EXPECT_GT(c.records, 0u) << Summary(c);
  std::string why;
  const auto db = ese_reader::Database::Open(path, &why);
  ASSERT_TRUE(db) << why;
  std::size_t derived = 0;
  for (const auto& t : db->catalog().tables()) {
    if (t.template_name.empty()) continue;
    SCOPED_TRACE(t.name);
    ++derived;
    const auto table = db->OpenTable(t.name);
    ASSERT_TRUE(table);
    const auto& columns = table->columns();
    ASSERT_FALSE(columns.empty());
    EXPECT_TRUE(columns.front().from_template);
    EXPECT_FALSE(columns.back().from_template);  // its own columns come after the template's
    const auto count = table->RecordCount(&why);
    ASSERT_TRUE(count) << why;
    for (std::uint32_t r = 0; r < *count; ++r) ASSERT_TRUE(table->ReadRecord(r, &why)) << why;
  }
  EXPECT_GT(derived, 0u);
}

TEST(ReaderDifferential, RealFilesReadAsLibesedbReadsThemButWhereItMisreads) {
  // Every file libesedb opens. Tables of SRUM files that libesedb walks for minutes are
  // left to the other files' coverage of the same forms.
  const char* names[] = {"esent-basic.edb", "esent-binary.edb", "esent-compressed-1.edb", "esent-compressed-2.edb",
                         "esent-default.edb", "esent-index.edb", "esent-multivalue.edb", "esent-multivalue-2.edb",
                         "esent-text.edb", "filehistory-catalog-win81.edb", "srum-win10-1809.dat",
                         "srum-win10-19041.dat", "ual-dirty-current.mdb", "ual-server2019-current.mdb"};
  for (const char* name : names) {
    SCOPED_TRACE(name);
    const auto path = CorpusDatabase(name);
    if (!path) GTEST_SKIP() << "corpus not available";
    const Comparison c = CompareFile(*path);
    EXPECT_GT(c.tables, 0u);
    std::printf("%s: %s\n", name, Summary(c).c_str());
  }
}

// The two real files libesedb cannot read at all read with ours: every table counted
// and every record read.
TEST(ReaderDifferential, FilesLibesedbRefusesRead) {
  for (const char* name : {"esent-64994-columns.edb", "bits-qmgr-win11-rev300.db"}) {
    SCOPED_TRACE(name);
    const auto path = CorpusDatabase(name);
    if (!path) GTEST_SKIP() << "corpus not available";
    std::string why;
    const auto db = ese_reader::Database::Open(*path, &why);
    ASSERT_TRUE(db) << why;
    std::size_t records = 0;
    for (const auto& t : db->catalog().tables()) {
      SCOPED_TRACE(t.name);
      const auto table = db->OpenTable(t.name);
      ASSERT_TRUE(table);
      const auto count = table->RecordCount(&why);
      ASSERT_TRUE(count) << why;
      for (std::uint32_t r = 0; r < *count; ++r, ++records) ASSERT_TRUE(table->ReadRecord(r, &why)) << why;
      EXPECT_TRUE(table->Problems().empty()) << table->Problems().front();
    }
    EXPECT_GT(records, 0u);
  }
}

}  // namespace
}  // namespace edbx::test
