// Store access through libesedb, on databases written by the ESE writer.

#include "store/esedb.hpp"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <functional>
#include <random>

#include "tests/store/store_fixture.hpp"

namespace edbx {
namespace {

using namespace edbx::test;
using ese::ColumnDef;
using ese::ColumnType;
using ese::Row;
using ese::TableDef;
namespace val = ese::val;

const std::string kBlob = RandomBytes(100000, 11);

// Template and derived tables, and a table with every kind of value in row 0 and no
// value at all in row 1.
const fs::path& StoreDatabase() {
  static const fs::path path = [] {
    const fs::path p = TestDir() / "store.edb";
    ese::WriterOptions options;
    options.format_revision = 17;
    ese::DatabaseWriter w(p, options);
    TableDef tmpl;
    tmpl.name = "Tmpl";
    tmpl.is_template = true;
    tmpl.columns = {ColumnDef("A", ColumnType::Long), ColumnDef("B", ColumnType::LongText, 1200),
                    ColumnDef("C", ColumnType::LongBinary)};
    w.add_table(tmpl);
    TableDef derived;
    derived.name = "1-A1F";
    derived.template_name = "Tmpl";
    const auto d = w.add_table(derived);
    w.add_row(d, Row().set(0, val::I32(7)).set(1, val::Utf16(u"first")).set(2, val::Bin("xy")));
    TableDef own;
    own.name = "1-B2C";
    own.template_name = "Tmpl";
    own.columns = {ColumnDef("Own", ColumnType::LongText, 1200)};
    w.add_table(own);

    TableDef plain;
    plain.name = "Plain";
    plain.columns = {ColumnDef("Bit", ColumnType::Bit),
                     ColumnDef("U8", ColumnType::UnsignedByte),
                     ColumnDef("I16", ColumnType::Short),
                     ColumnDef("U16", ColumnType::UnsignedShort),
                     ColumnDef("I32", ColumnType::Long),
                     ColumnDef("U32", ColumnType::UnsignedLong),
                     ColumnDef("Cur", ColumnType::Currency),
                     ColumnDef("I64", ColumnType::LongLong),
                     ColumnDef("F32", ColumnType::IEEESingle),
                     ColumnDef("F64", ColumnType::IEEEDouble),
                     ColumnDef("Date", ColumnType::DateTime),
                     ColumnDef("Bin", ColumnType::Binary),
                     ColumnDef("Txt", ColumnType::Text, 1200),
                     ColumnDef("Ansi", ColumnType::Text, 1252),
                     ColumnDef("Big", ColumnType::LongText, 1200),
                     ColumnDef("Blob", ColumnType::LongBinary),
                     ColumnDef("Multi", ColumnType::Text, 1200).multi()};
    const auto t = w.add_table(plain);
    auto at = [&](const char* name) { return w.column_index(t, name); };
    w.add_row(t, Row()
                     .set(at("Bit"), val::Bit(true))
                     .set(at("U8"), val::U8(200))
                     .set(at("I16"), val::I16(-2))
                     .set(at("U16"), val::U16(65000))
                     .set(at("I32"), val::I32(-3))
                     .set(at("U32"), val::U32(4000000000u))
                     .set(at("Cur"), val::I64(-1))
                     .set(at("I64"), val::I64(-4))
                     .set(at("F32"), val::F32(1.5f))
                     .set(at("F64"), val::F64(-2.25))
                     .set(at("Date"), val::Filetime(129070106390000000ull))
                     .set(at("Bin"), val::Bin("\x01\x02"))
                     .set(at("Txt"), val::Utf16(std::u16string(u"a\0b", 3)))
                     .set(at("Ansi"), val::Ansi(std::string("p\0q", 3)))
                     .set(at("Big"), val::Utf16(u"large text"))
                     .set(at("Blob"), val::Bin(kBlob))
                     .set(at("Multi"), ese::Value::MultiOf({val::Utf16(std::u16string(u"x\0y", 3)).bytes,
                                                            val::Utf16(u"z").bytes})));
    w.add_row(t, Row());
    w.add_row(t, Row().set(at("Multi"), ese::Value::MultiOf({val::Utf16(u"MARKM1").bytes, val::Utf16(u"MARKM2").bytes})));
    w.finish();
    // Row 2: a multi-value whose first offset claims far more entries than it holds.
    PatchNear(p, val::Utf16(u"MARKM1").bytes, -4, "\xfe\x7f", options);
    return p;
  }();
  return path;
}

TEST(EseDatabase, TemplateColumnsAreNumberedFirst) {
  const EseDatabase db = OpenDatabase(StoreDatabase());
  EXPECT_EQ(db.FormatVersion(), 0x620u);
  EXPECT_EQ(db.FormatRevision(), 17u);
  EXPECT_EQ(db.PageSize(), 8192u);

  const EseTable own = OpenTable(db, u"1-B2C");
  ASSERT_EQ(own.ColumnCount(), 4);
  std::vector<u16> names;
  for (int i = 0; i < 4; ++i) names.push_back(own.Column(i).value().name);
  EXPECT_EQ(names, (std::vector<u16>{u"A", u"B", u"C", u"Own"}));
  EXPECT_EQ(own.Column(3)->type, ese_type::kLargeText);

  // Values of a derived table are read by the template's column numbers.
  const EseTable derived = OpenTable(db, u"1-A1F");
  const EseRecord record = OpenRecord(derived, 0);
  std::uint32_t a = 0;
  u16 b;
  std::string c;
  EXPECT_EQ(record.Get32Bit(0, a), 1);
  EXPECT_EQ(a, 7u);
  EXPECT_EQ(record.GetUtf16String(1, b), 1);
  EXPECT_EQ(b, u"first");
  EXPECT_EQ(record.GetBinaryData(2, c), 1);
  EXPECT_EQ(c, "xy");
  EXPECT_EQ(record.ColumnName(1), u16(u"B"));

  EseTable none;
  EXPECT_EQ(db.TableNamed(u"1-a1f", none), 0);  // names compare exactly
  EXPECT_FALSE(none);
}

TEST(EseDatabase, EntriesWithoutDataReportNoValueNotFailure) {
  const EseDatabase db = OpenDatabase(StoreDatabase());
  const EseTable table = OpenTable(db, u"Plain");
  const EseRecord empty = OpenRecord(table, 1);
  using Getter = std::function<int(int)>;
  const std::vector<std::pair<const char16_t*, Getter>> cases = {
      {u"Bit", [&](int e) { bool v; return empty.GetBoolean(e, v); }},
      {u"U8", [&](int e) { std::uint8_t v; return empty.Get8Bit(e, v); }},
      {u"I16", [&](int e) { std::uint16_t v; return empty.Get16Bit(e, v); }},
      {u"U16", [&](int e) { std::uint16_t v; return empty.Get16Bit(e, v); }},
      {u"I32", [&](int e) { std::uint32_t v; return empty.Get32Bit(e, v); }},
      {u"U32", [&](int e) { std::uint32_t v; return empty.Get32Bit(e, v); }},
      {u"Cur", [&](int e) { std::uint64_t v; return empty.Get64Bit(e, v); }},
      {u"I64", [&](int e) { std::uint64_t v; return empty.Get64Bit(e, v); }},
      {u"F32", [&](int e) { float v; return empty.GetFloat32(e, v); }},
      {u"F64", [&](int e) { double v; return empty.GetFloat64(e, v); }},
      {u"Date", [&](int e) { std::uint64_t v; return empty.GetFiletime(e, v); }},
      {u"Bin", [&](int e) { std::string v; return empty.GetBinaryData(e, v); }},
      {u"Txt", [&](int e) { u16 v; return empty.GetUtf16String(e, v); }},
      {u"Big", [&](int e) { u16 v; return empty.GetUtf16String(e, v); }},
      {u"Blob", [&](int e) { EseLongValue v; return empty.GetLongValue(e, v); }},
      {u"Multi", [&](int e) { EseMultiValue v; return empty.GetMultiValue(e, v); }},
  };
  for (const auto& [name, get] : cases) {
    SCOPED_TRACE(utf16_to_utf8(name));
    const int entry = ColumnEntry(table, name);
    ASSERT_GE(entry, 0);
    EXPECT_EQ(get(entry), 0);
    EXPECT_EQ(empty.ValueData(entry), std::string());
  }
}

TEST(EseDatabase, TextsKeepWhatFollowsAnEmbeddedNul) {
  // libesedb's own getters end these texts at the NUL.
  const EseDatabase db = OpenDatabase(StoreDatabase());
  const EseTable table = OpenTable(db, u"Plain");
  const EseRecord record = OpenRecord(table, 0);
  u16 text;
  ASSERT_EQ(record.GetUtf16String(ColumnEntry(table, u"Txt"), text), 1);
  EXPECT_EQ(text, u16(u"a\0b", 3));
  ASSERT_EQ(record.GetUtf16String(ColumnEntry(table, u"Ansi"), text), 1);
  EXPECT_EQ(text, u16(u"p\0q", 3));
  ASSERT_EQ(record.GetUtf16String(ColumnEntry(table, u"Big"), text), 1);
  EXPECT_EQ(text, u"large text");

  EseMultiValue multi;
  ASSERT_EQ(record.GetMultiValue(ColumnEntry(table, u"Multi"), multi), 1);
  ASSERT_EQ(multi.Count(), 2);
  EXPECT_EQ(multi.Type(), ese_type::kText);
  EXPECT_EQ(multi.Utf16String(0), u16(u"x\0y", 3));
  EXPECT_EQ(multi.Utf16String(1), u16(u"z"));
  EXPECT_EQ(multi.Data(1), val::Utf16(u"z").bytes);
  EXPECT_FALSE(multi.Data(2));
}

TEST(EseDatabase, MultiValuesReadAgainKeepTheirEntriesAndDamagedOnesAreRefused) {
  const EseDatabase db = OpenDatabase(StoreDatabase());
  const EseTable table = OpenTable(db, u"Plain");
  const int entry = ColumnEntry(table, u"Multi");
  const EseRecord record = OpenRecord(table, 0);
  for (int pass = 0; pass < 3; ++pass) {
    EseMultiValue multi;
    ASSERT_EQ(record.GetMultiValue(entry, multi), 1);
    EXPECT_EQ(multi.Count(), 2);
    EXPECT_EQ(multi.Utf16String(1), u16(u"z"));
  }
  const EseRecord damaged = OpenRecord(table, 2);
  EseMultiValue multi;
  EXPECT_EQ(damaged.GetMultiValue(entry, multi), -1);
  EXPECT_NE(LastStoreError().find("damaged multi-value"), std::string::npos) << LastStoreError();
  EXPECT_EQ(record.GetMultiValue(ColumnEntry(table, u"Txt"), multi), -1);  // not a multi-value
}

TEST(EseDatabase, LongValuesReadBySegmentsAndWhole) {
  const EseDatabase db = OpenDatabase(StoreDatabase());
  const EseTable table = OpenTable(db, u"Plain");
  const EseRecord record = OpenRecord(table, 0);
  const int entry = ColumnEntry(table, u"Blob");
  ASSERT_EQ(record.ValueFlags(entry).value() & kValueLongValue, kValueLongValue);
  EseLongValue value;
  ASSERT_EQ(record.GetLongValue(entry, value), 1);
  const auto count = value.SegmentCount();
  ASSERT_TRUE(count);
  EXPECT_GT(*count, 1);
  std::string joined;
  for (int i = 0; i < *count; ++i) joined += value.Segment(i).value();
  EXPECT_EQ(joined, kBlob);
  EXPECT_EQ(value.Size(), kBlob.size());
  EXPECT_EQ(value.Data(), kBlob);
  EXPECT_FALSE(value.Segment(*count));
  EXPECT_NE(LastStoreError().find("segment " + std::to_string(*count)), std::string::npos) << LastStoreError();
}

TEST(EseDatabase, ObjectsReadThroughTheDatabaseOutliveIt) {
  auto db = std::make_optional(OpenDatabase(StoreDatabase()));
  auto table = std::make_optional(OpenTable(*db, u"Plain"));
  const int blob = ColumnEntry(*table, u"Blob");
  const int multi_entry = ColumnEntry(*table, u"Multi");
  auto record = std::make_optional(OpenRecord(*table, 0));
  EseLongValue value;
  EseMultiValue multi;
  ASSERT_EQ(record->GetLongValue(blob, value), 1);
  ASSERT_EQ(record->GetMultiValue(multi_entry, multi), 1);
  db.reset();
  table.reset();
  record.reset();
  EXPECT_EQ(value.Data(), kBlob);
  EXPECT_EQ(multi.Utf16String(1), u16(u"z"));
}

TEST(EseDatabase, FailuresKeepTheirErrorText) {
  // The library's own error text, so the library serves the records here.
  SetRecordReader(RecordReader::kLibraryFirst);
  struct Restore {
    ~Restore() { SetRecordReader(RecordReader::kOwnFirst); }
  } restore;
  const EseDatabase db = OpenDatabase(StoreDatabase());
  const EseTable table = OpenTable(db, u"Plain");
  const EseRecord record = OpenRecord(table, 0);
  const int entry = ColumnEntry(table, u"Txt");
  ClearStoreError();
  bool flag = false;
  EXPECT_EQ(record.GetBoolean(entry, flag), -1);
  const std::string& error = LastStoreError();
  EXPECT_EQ(error.rfind("table 5, record 0, value " + std::to_string(entry) + ": unable to read the boolean value\n", 0), 0u)
      << error;
  EXPECT_NE(error.find("libesedb_record_get_value_boolean"), std::string::npos) << error;

  std::string bytes;
  EXPECT_EQ(record.GetBinaryData(entry, bytes), -1);
  EXPECT_NE(LastStoreError().find("not a binary column (type 10)"), std::string::npos);
  EXPECT_FALSE(table.Record(5));
  EXPECT_FALSE(EseRecord().ValueFlags(0));
}

TEST(EseDatabase, OpeningReadOnlyLeavesTheFileUntouched) {
  const fs::path copy = TestDir() / "readonly.edb";
  fs::copy_file(StoreDatabase(), copy, fs::copy_options::overwrite_existing);
  fs::permissions(copy, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  const std::string before = ReadBytes(copy);
  const auto mtime = fs::last_write_time(copy);
  {
    const EseDatabase db = OpenDatabase(copy);
    for (int t = 0; t < db.TableCount().value(); ++t) {
      const auto table = db.Table(t);
      ASSERT_TRUE(table) << LastStoreError();
      const int columns = table->ColumnCount().value();
      for (int r = 0; r < table->RecordCount().value(); ++r) {
        const auto record = table->Record(r);
        if (!record) continue;  // the derived table with its own column is unreadable
        for (int c = 0; c < columns; ++c) (void)record->ValueData(c);
      }
    }
  }
  EXPECT_EQ(ReadBytes(copy), before);
  EXPECT_EQ(fs::last_write_time(copy), mtime);
}

TEST(EseDatabase, UnreadableFilesFailCleanlyWithAnErrorText) {
  const fs::path dir = FreshDir("bad-files");
  const std::string good = ReadBytes(StoreDatabase());
  WriteBytes(dir / "text.edb", std::string(20000, 'x'));
  WriteBytes(dir / "empty.edb", "");
  WriteBytes(dir / "header-only.edb", good.substr(0, 2 * 8192));
  WriteBytes(dir / "truncated.edb", good.substr(0, 4 * 8192 + 100));
  fs::create_directories(dir / "folder.edb");
  const struct {
    const char* name;
    const char* text;
  } cases[] = {
      {"text.edb", "unable to open"},      {"empty.edb", "unable to open"},
      {"header-only.edb", "unable to open"}, {"truncated.edb", "unable to open"},
      {"missing.edb", "unable to open: "}, {"folder.edb", "not a regular file"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ClearStoreError();
    EseOpenFailure failure = EseOpenFailure::kNone;
    const fs::path path = dir / c.name;
    EXPECT_FALSE(EseDatabase::Open(path, &failure));
    EXPECT_EQ(failure, EseOpenFailure::kOpen);
    EXPECT_EQ(LastStoreError().rfind("database '" + path.string() + "': " + c.text, 0), 0u) << LastStoreError();
  }
}

}  // namespace
}  // namespace edbx
