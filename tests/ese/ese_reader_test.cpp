// Our own reader of ESE files: what the ESE writer wrote comes back value for value in
// every page format, damaged pages are skipped and named while the rest is read, a
// derived table with columns of its own reads through EseTable, and every real file
// of the corpus reads whole, including the forms libesedb misreads.

#include <gtest/gtest.h>
#include <libesedb.h>

#include <map>
#include <set>

#include "ese/bytes.hpp"
#include "ese/database.hpp"
#include "store/esedb.hpp"
#include "tests/store/store_fixture.hpp"

namespace edbx {
namespace {

namespace er = edbx::ese_reader;
namespace forge = edbforge::ese;
using test::CorpusDatabase;
using test::ReadBytes;
using test::TestDir;
using test::WriteBytes;
namespace fs = std::filesystem;

struct Format {
  std::uint32_t page_size;
  std::uint32_t revision;
};
// Small pages of an older and a current revision; large pages (80-byte header, flags
// byte on every tagged value, node flags in the node bytes).
const Format kFormats[] = {{4096, 12}, {8192, 0x14}, {32768, 0x11}};

std::string Name(const Format& f) { return std::to_string(f.page_size) + "/" + std::to_string(f.revision); }

constexpr int kRows = 700;

std::string TextOf(int row) { return "text " + std::to_string(row) + std::string(static_cast<std::size_t>(row % 37), 'x'); }
std::string BlobOf(int row) { return std::string(static_cast<std::size_t>(1500 + row % 5 * 700), static_cast<char>('a' + row % 26)); }

// A table of every storage class: fixed (one left NULL on odd rows), variable, tagged,
// multi-valued, and long values kept in the record or in the long-value tree.
fs::path WriteTable(const Format& f, const std::string& file) {
  const fs::path path = TestDir() / file;
  forge::WriterOptions o;
  o.page_size = f.page_size;
  o.format_revision = f.revision;
  forge::DatabaseWriter w(path, o);
  forge::TableDef t;
  t.name = "T";
  t.columns = {forge::ColumnDef("Num", forge::ColumnType::Long), forge::ColumnDef("Maybe", forge::ColumnType::Long),
               forge::ColumnDef("Name", forge::ColumnType::Text), forge::ColumnDef("Body", forge::ColumnType::LongBinary),
               forge::ColumnDef("Tags", forge::ColumnType::LongText).multi()};
  const auto id = w.add_table(t);
  for (int r = 0; r < kRows; ++r) {
    forge::Row row;
    row.set(0, forge::val::I32(r)).set(2, forge::val::Ansi(TextOf(r))).set(3, forge::val::Bin(BlobOf(r)));
    if (r % 2 == 0) row.set(1, forge::val::I32(-r));
    if (r % 3 == 0) row.set(4, forge::Value::MultiOf({"a" + std::to_string(r), "", "bb"}));
    w.add_row(id, row);
  }
  w.finish();
  return path;
}

int Entry(const er::Table& table, std::string_view name) {
  for (std::size_t e = 0; e < table.columns().size(); ++e)
    if (table.columns()[e].name == name) return static_cast<int>(e);
  return -1;
}

std::string Joined(const std::vector<std::string>& parts) {
  std::string all;
  for (const auto& p : parts) all += p;
  return all;
}

TEST(EseReader, ReadsWhatTheWriterWroteInEveryPageFormat) {
  for (const Format& f : kFormats) {
    SCOPED_TRACE(Name(f));
    const fs::path path = WriteTable(f, "formats-" + std::to_string(f.page_size) + ".edb");
    std::string why;
    const auto db = er::Database::Open(path, &why);
    ASSERT_TRUE(db) << why;
    EXPECT_EQ(db->header().page_size, f.page_size);
    EXPECT_EQ(db->header().revision, f.revision);
    const auto table = db->OpenTable("T");
    ASSERT_TRUE(table);
    ASSERT_TRUE(table->definition().long_values);
    ASSERT_EQ(table->RecordCount(&why), std::optional<std::uint32_t>(kRows)) << why;
    const int num = Entry(*table, "Num"), maybe = Entry(*table, "Maybe"), name = Entry(*table, "Name"),
              body = Entry(*table, "Body"), tags = Entry(*table, "Tags");
    for (int r = 0; r < kRows; ++r) {
      SCOPED_TRACE(r);
      const auto record = table->ReadRecord(static_cast<std::uint32_t>(r), &why);
      ASSERT_TRUE(record) << why;
      EXPECT_EQ(er::Le32(record->Data(num), 0), static_cast<std::uint32_t>(r));
      if (r % 2 == 0) EXPECT_EQ(er::Le32(record->Data(maybe), 0), static_cast<std::uint32_t>(-r));
      else EXPECT_NE(record->State(maybe), er::ValueSpan::kStored);  // NULL or cut off, never filler bytes
      EXPECT_EQ(record->Data(name), TextOf(r));
      if (record->LongValueIdOf(body)) {
        const auto segments = record->LongValueSegments(body, &why);
        ASSERT_TRUE(segments) << why;
        EXPECT_EQ(Joined(*segments), BlobOf(r));
      } else {
        EXPECT_EQ(record->Data(body), BlobOf(r));
      }
      const auto entries = record->MultiValue(tags);
      ASSERT_EQ(entries.has_value(), r % 3 == 0);
      if (entries) {
        ASSERT_EQ(entries->size(), 3u);
        EXPECT_EQ((*entries)[0].data, "a" + std::to_string(r));
        EXPECT_EQ((*entries)[1].data, "");
        EXPECT_EQ((*entries)[2].data, "bb");
      }
    }
    EXPECT_FALSE(table->ReadRecord(kRows));
    EXPECT_TRUE(table->Problems().empty());
  }
}

TEST(EseReader, DerivedTableWithColumnsOfItsOwnReadsThroughEseTable) {
  // Template columns come first; the derived table's own tagged ids restart at 256 and
  // the template's carry the derived bit in the tagged offset.
  for (const Format& f : kFormats) {
    SCOPED_TRACE(Name(f));
    const fs::path path = TestDir() / "derived.edb";
    {
      forge::WriterOptions o;
      o.page_size = f.page_size;
      o.format_revision = f.revision;
      forge::DatabaseWriter w(path, o);
      forge::TableDef tpl;
      tpl.name = "Tpl";
      tpl.is_template = true;
      tpl.columns = {forge::ColumnDef("Key", forge::ColumnType::Long), forge::ColumnDef("Subject", forge::ColumnType::LongText, 1200)};
      w.add_table(tpl);
      forge::TableDef derived;
      derived.name = "D";
      derived.template_name = "Tpl";
      derived.columns = {forge::ColumnDef("Own", forge::ColumnType::LongText, 1200)};
      const auto d = w.add_table(derived);
      for (int r = 0; r < 5; ++r)
        w.add_row(d, forge::Row()
                         .set(0, forge::val::I32(r))
                         .set(1, forge::val::Utf16(u"subject " + utf8_to_utf16(std::to_string(r))))
                         .set(2, forge::val::Utf16(u"own " + utf8_to_utf16(std::to_string(r)))));
      w.finish();
    }
    const auto db = EseDatabase::Open(path);
    ASSERT_TRUE(db) << LastStoreError();
    EseTable table;
    ASSERT_EQ(db->TableNamed(u"D", table), 1);
    ASSERT_EQ(table.ColumnCount(), 3);
    EXPECT_EQ(table.Column(0)->name, u"Key");
    EXPECT_EQ(table.Column(2)->name, u"Own");
    ASSERT_EQ(table.RecordCount(), 5) << LastStoreError();
    for (int r = 0; r < 5; ++r) {
      const auto record = table.Record(r);
      ASSERT_TRUE(record) << LastStoreError();
      std::uint32_t key = 0;
      u16 subject, own;
      EXPECT_EQ(record->Get32Bit(0, key), 1);
      EXPECT_EQ(key, static_cast<std::uint32_t>(r));
      EXPECT_EQ(record->GetUtf16String(1, subject), 1) << LastStoreError();
      EXPECT_EQ(subject, u"subject " + utf8_to_utf16(std::to_string(r)));
      EXPECT_EQ(record->GetUtf16String(2, own), 1) << LastStoreError();
      EXPECT_EQ(own, u"own " + utf8_to_utf16(std::to_string(r)));
    }
  }
}

// ----- damage -----

void Patch(const fs::path& path, std::uint32_t page_size, std::uint32_t page, std::size_t at, std::string_view bytes) {
  std::string file = ReadBytes(path);
  file.replace((std::size_t{page} + 1) * page_size + at, bytes.size(), bytes);
  WriteBytes(path, file);
}

TEST(EseReader, DamagedPagesAreSkippedAndNamedWhileTheRestIsRead) {
  const Format f{4096, 0x14};
  const fs::path original = WriteTable(f, "damage-original.edb");
  // The leaves of the table and their record counts, from the intact file.
  std::vector<std::pair<std::uint32_t, std::uint32_t>> leaves;
  {
    const auto db = er::Database::Open(original);
    ASSERT_TRUE(db);
    const er::TreeReader tree(db->file(), db->catalog().Find("T")->tree(), er::TreeKind::kTable);
    std::vector<std::string> problems;
    tree.WalkLeaves(
        [&](const er::Page& page) {
          std::uint32_t live = 0;
          for (const auto& node : page.nodes()) live += node.deleted() ? 0 : 1;
          leaves.emplace_back(page.number(), live);
          return true;
        },
        problems);
    ASSERT_GE(leaves.size(), 6u);
  }
  const auto [victim, lost] = leaves[leaves.size() / 2];
  struct Case {
    const char* name;
    std::size_t at;
    std::string bytes;
    std::uint32_t page;  // where the damage is
    const char* why;
    std::uint32_t lost;  // records that cannot come back
  };
  const std::vector<Case> cases = {
      {"zeroed page", 0, std::string(f.page_size, '\0'), victim, "all zero", lost},
      {"broken checksum", 100, "\x5a\xa5", victim, "checksum mismatch", lost},
      {"truncated in the middle", 0, std::string(f.page_size / 2, '\0'), victim, "checksum mismatch", lost},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path copy = TestDir() / "damaged.edb";
    fs::copy_file(original, copy, fs::copy_options::overwrite_existing);
    Patch(copy, f.page_size, c.page, c.at, c.bytes);
    const auto db = er::Database::Open(copy);
    ASSERT_TRUE(db);
    const auto table = db->OpenTable("T");
    ASSERT_EQ(table->RecordCount(), std::optional<std::uint32_t>(kRows - c.lost));
    const auto problems = table->Problems();
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_EQ(problems[0].rfind("page " + std::to_string(c.page) + ": ", 0), 0u) << problems[0];
    EXPECT_NE(problems[0].find(c.why), std::string::npos) << problems[0];
    // Every other record is served, in order.
    std::set<std::uint32_t> numbers;
    for (std::uint32_t r = 0; r < kRows - c.lost; ++r) {
      const auto record = table->ReadRecord(r);
      ASSERT_TRUE(record);
      numbers.insert(er::Le32(record->Data(0), 0));
    }
    EXPECT_EQ(numbers.size(), kRows - c.lost);
  }
}

TEST(EseReader, CrossLinkedBranchEntriesLoseNoLeaf) {
  const Format f{4096, 0x14};
  const fs::path original = TestDir() / "damage-original.edb";
  if (!fs::exists(original)) WriteTable(f, "damage-original.edb");
  const auto db0 = er::Database::Open(original);
  ASSERT_TRUE(db0);
  const er::TableDef* def = db0->catalog().Find("T");
  // The root is a branch page; its child entries are the leaves (or their parents).
  const auto root = db0->file()->ReadPage(def->root_page);
  ASSERT_TRUE(root);
  ASSERT_FALSE(root->leaf());
  ASSERT_GE(root->nodes().size(), 3u);
  const er::Node& second = root->nodes()[1];
  const std::size_t child_at = root->OffsetOf(second.data);
  struct Case {
    const char* name;
    std::uint32_t value;
    const char* why;
  };
  const Case cases[] = {
      {"child of another tree", 4, "belongs to object 2"},
      {"child beyond the file", 1u << 30, "outside the file"},
      {"child that is the root", def->root_page, "not a leaf where a leaf belongs"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path copy = TestDir() / "crosslinked.edb";
    std::string bytes = ReadBytes(original);
    const std::size_t page_at = (std::size_t{def->root_page} + 1) * f.page_size;
    bytes.replace(page_at + child_at, 4, std::string(reinterpret_cast<const char*>(&c.value), 4));
    // Reseal the root's checksum so that only the link is wrong.
    std::string page = bytes.substr(page_at, f.page_size);
    forge::FormatContext fmt;
    fmt.page_size = f.page_size;
    fmt.revision = f.revision;
    std::vector<std::uint8_t> raw(page.begin(), page.end());
    forge::SealPage(fmt, def->root_page, raw);
    bytes.replace(page_at, f.page_size, std::string(raw.begin(), raw.end()));
    WriteBytes(copy, bytes);
    const auto db = er::Database::Open(copy);
    const auto table = db->OpenTable("T");
    // The lost child is found again on the leaf chain, so nothing is missing.
    ASSERT_EQ(table->RecordCount(), std::optional<std::uint32_t>(kRows));
    const auto problems = table->Problems();
    ASSERT_FALSE(problems.empty());
    EXPECT_NE(problems[0].find(c.why), std::string::npos) << problems[0];
  }
}

// ----- real files -----

TEST(EseReader, EveryRealFileReadsWhole) {
  struct Case {
    const char* file;
    const char* table;
    std::uint32_t records;
    std::size_t columns;
  };
  // The 64,994-column table and the revision-0x12c file (reserved-tag bits in the tag
  // count) are ones libesedb cannot read.
  const Case cases[] = {
      {"esent-basic.edb", "basic", 2, 13},
      {"esent-64994-columns.edb", "large", 16, 64994},
      {"bits-qmgr-win11-rev300.db", "Jobs", 1, 2},
      {"srum-win10-19041.dat", "{5C8CF1C7-7257-4F13-B223-970EF5939312}", 4038, 44},
      {"filehistory-catalog-win81.edb", "namespace", 1373, 11},
      {"ual-dirty-current.mdb", "CLIENTS", 39, 374},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    const auto path = CorpusDatabase(c.file);
    if (!path) GTEST_SKIP() << "corpus not available";
    std::string why;
    const auto db = er::Database::Open(*path, &why);
    ASSERT_TRUE(db) << why;
    EXPECT_TRUE(db->catalog_problems().empty());
    for (const er::TableDef& def : db->catalog().tables()) {
      SCOPED_TRACE(def.name);
      const auto table = db->OpenTable(def.name);
      const auto count = table->RecordCount(&why);
      ASSERT_TRUE(count) << why;
      for (std::uint32_t r = 0; r < *count; ++r) ASSERT_TRUE(table->ReadRecord(r, &why)) << r << ": " << why;
      EXPECT_TRUE(table->Problems().empty()) << table->Problems().front();
    }
    const auto table = db->OpenTable(c.table);
    ASSERT_TRUE(table);
    EXPECT_EQ(table->RecordCount(), std::optional<std::uint32_t>(c.records));
    EXPECT_EQ(table->columns().size(), c.columns);
  }
}

TEST(EseReader, RealFilesReadWhereLibesedbMisreads) {
  // esent-multivalue.edb: multi-valued Bit, UnsignedLong and UnsignedShort columns of
  // two values stored in the two-values form (flags 0x18: size byte, value 1, value 2).
  const auto multi = CorpusDatabase("esent-multivalue.edb");
  const auto defaults = CorpusDatabase("esent-default.edb");
  if (!multi || !defaults) GTEST_SKIP() << "corpus not available";
  {
    const auto db = er::Database::Open(*multi);
    ASSERT_TRUE(db);
    const auto table = db->OpenTable("multi");
    const auto record = table->ReadRecord(0);
    ASSERT_TRUE(record);
    const int bit = Entry(*table, "Bit"), ulong = Entry(*table, "UnsignedLong");
    EXPECT_EQ(record->Flags(bit), 0x18);
    const auto bits = record->MultiValue(bit);
    ASSERT_TRUE(bits);
    ASSERT_EQ(bits->size(), 2u);
    EXPECT_EQ((*bits)[0].data, std::string("\x00", 1));
    EXPECT_EQ((*bits)[1].data, "\xff");
    const auto longs = record->MultiValue(ulong);
    ASSERT_TRUE(longs);
    ASSERT_EQ(longs->size(), 2u);
    EXPECT_EQ((*longs)[0].data, std::string(4, '\0'));
    EXPECT_EQ((*longs)[1].data, std::string(4, '\xff'));
  }
  {
    // Tagged defaults are not stored in the record: an absent column reads as the
    // catalog's default value (libesedb returns it empty).
    const auto db = er::Database::Open(*defaults);
    ASSERT_TRUE(db);
    const auto table = db->OpenTable("default");
    const auto record = table->ReadRecord(0);
    ASSERT_TRUE(record);
    const int blob = Entry(*table, "LongBinary");
    EXPECT_EQ(record->State(blob), er::ValueSpan::kDefault);
    EXPECT_EQ(record->Data(blob).substr(0, 12), "Long default");
    // Catalog rows: RootFlag is marked NULL in column rows (the bytes are filler).
    const auto catalog = db->OpenTable("MSysObjects");
    bool saw_null = false;
    for (std::uint32_t r = 0; r < *catalog->RecordCount(); ++r) {
      const auto row = catalog->ReadRecord(r);
      ASSERT_TRUE(row);
      if (er::Le16(row->Data(Entry(*catalog, "Type")), 0) == 2) {
        EXPECT_NE(row->State(Entry(*catalog, "RootFlag")), er::ValueSpan::kStored);
        saw_null = true;
      }
    }
    EXPECT_TRUE(saw_null);
  }
}

}  // namespace
}  // namespace edbx
