// Record values as text: the renderings on their own, then every type and flag path
// on values of fixture databases.

#include "store/value_text.hpp"

#include <gtest/gtest.h>

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

using Text = std::optional<u16>;
const Text kNull = std::nullopt;

std::string Bytes(std::initializer_list<int> values) {
  std::string out;
  for (int v : values) out.push_back(static_cast<char>(v));
  return out;
}

constexpr std::uint64_t kWorkedExample = 129071738390000000ull;  // 2010-01-05 14:03:59 UTC

TEST(ValueText, DateText) {
  const struct {
    std::uint64_t filetime;
    const char16_t* text;
  } cases[] = {
      {0, u"Jan,01 1601 00:00:00"},
      {kWorkedExample, u"Jan,05 2010 14:03:59"},
      {kWorkedExample + 9'999'999, u"Jan,05 2010 14:03:59"},  // fractions are dropped
      {125962560000000000ull, u"Feb,29 2000 00:00:00"},
      {2650467743990000000ull, u"Dec,31 9999 23:59:59"},
      // From the year 10000 on: "(0x" high " 0x" low ")", cut to 21 characters.
      {2650467744000000000ull, u"(0x24c85a5e 0xd1c0400"},
      {0xFFFFFFFFFFFFFFFFull, u"(0xffffffff 0xfffffff"},
  };
  for (const auto& c : cases) EXPECT_EQ(DateText(c.filetime), c.text) << c.filetime;
}

TEST(ValueText, IdentifierAndStoreIdentifierTexts) {
  const struct {
    std::string bytes;
    Text id;
    Text store17;
  } cases[] = {
      {Bytes({0, 0, 0, 0, 0, 0, 0x12, 0xab}), u"12ab", u"-12AB"},  // a zero word leaves nothing
      {Bytes({1, 0, 0, 0, 0, 0, 0x0a, 0x1f}), u"100000000000a1f", u"1-A1F"},
      {Bytes({0x20, 0x01, 0, 0, 0, 0, 0, 5}), u"2001000000000005", u"12-5"},  // word 0x0120
      {Bytes({0x00, 0x10, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff}), u"10ffffffffffff", u"1-FFFFFFFFFFFF"},
      {std::string(8, '\0'), u"0", u"-0"},
      {std::string(7, '\x01'), kNull, kNull},
      {std::string(9, '\x01'), kNull, kNull},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(utf16_to_utf8(HexBytes(c.bytes)));
    EXPECT_EQ(IdentifierText(c.bytes), c.id);
    EXPECT_EQ(StoreIdentifierText(c.bytes, 17), c.store17);
    EXPECT_EQ(StoreIdentifierText(c.bytes, 18), c.id);
    EXPECT_EQ(StoreIdentifierText(c.bytes, 16), c.id);
  }
}

TEST(ValueText, PrintableAndHexBytes) {
  const std::string bytes = Bytes({0x00, ' ', '!', '"', '#', '$', '%', '&', '\'', ',', '-', '9', '@', 'Z', '[', '\\', ']',
                                   '^', '_', '`', 'a', 'z', '{', '~', 0x7f, 0x80, 0xe9, 0xff});
  EXPECT_EQ(PrintableBytes(bytes), u"    #  &  -9@Z \\  _`az      ");
  EXPECT_EQ(PrintableBytes(bytes).size(), bytes.size());
  EXPECT_EQ(PrintableBytes(""), u"");
  EXPECT_EQ(HexBytes(Bytes({0x00, 0x0a, 0x7f, 0xff})), u"000a7fff");
  EXPECT_EQ(HexBytes(""), u"");
}

// ----- values of a fixture database -----

const std::string kLongBytes = RandomBytes(3 * 1024 * 1024 + 5, 3);
std::u16string HeaderText() {
  std::u16string text;
  for (int i = 0; i < 300; ++i) text += u"Subject: Caf\u00e9 \u20ac {x}~\r\n";
  return text;
}
// What survives of HeaderText() in the header file: bytes 0x01..0x7D of its UTF-16LE
// form. "é" (E9 00) vanishes, "€" (AC 20) leaves the space of its high byte, "~" goes.
std::string HeaderFileText() {
  std::string text;
  for (int i = 0; i < 300; ++i) text += "Subject: Caf   {x}\r\n";
  return text;
}

const ese::WriterOptions& ValuesOptions() {
  static const ese::WriterOptions options = [] {
    ese::WriterOptions o;
    o.format_revision = 17;
    o.intrinsic_long_value_limit = 60000;  // long values stay in the record unless asked
    return o;
  }();
  return options;
}

std::u16string Repeated(std::u16string_view piece, int n) {
  std::u16string out;
  for (int i = 0; i < n; ++i) out += piece;
  return out;
}

// Row 0 holds a value in every column, row 1 none, row 2 other values.
const fs::path& ValuesDatabase() {
  static const fs::path path = [] {
    const fs::path p = TestDir() / "values.edb";
    ese::DatabaseWriter w(p, ValuesOptions());
    TableDef def;
    def.name = "V";
    def.columns = {
        ColumnDef("Bit", ColumnType::Bit),
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
        ColumnDef("Guid", ColumnType::GUID),
        ColumnDef("Txt", ColumnType::Text, 1200),
        ColumnDef("Ansi", ColumnType::Text, 1252),
        ColumnDef("LTxt", ColumnType::LongText, 1200),
        ColumnDef("LBin", ColumnType::LongBinary),
        ColumnDef("CTxt", ColumnType::LongText, 1200).compress(),
        ColumnDef("CAnsi", ColumnType::LongText, 1252).compress(),
        ColumnDef("CBin", ColumnType::LongBinary).compress(),
        ColumnDef("MTxt", ColumnType::Text, 1200).multi(),
        ColumnDef("MBin", ColumnType::Binary).multi(),
        ColumnDef("LV", ColumnType::LongBinary),
        ColumnDef("S7d", ColumnType::LongText, 1200),
        ColumnDef("Id", ColumnType::Binary),
        ColumnDef("IdCur", ColumnType::Currency),
        ColumnDef("When", ColumnType::Binary),
        ColumnDef("Tagged", ColumnType::Binary).stored_as(ese::Storage::Tagged),
    };
    const auto t = w.add_table(def);
    auto at = [&](const char* name) { return w.column_index(t, name); };
    const std::u16string fox = Repeated(u"The quick brown fox jumps over the lazy dog. ", 40);
    w.add_row(t, Row()
                     .set(at("Bit"), val::Bit(true))
                     .set(at("U8"), val::U8(200))
                     .set(at("I16"), val::I16(-2))
                     .set(at("U16"), val::U16(65000))
                     .set(at("I32"), val::I32(-3))
                     .set(at("U32"), val::U32(4000000000u))
                     .set(at("Cur"), val::I64(-1))
                     .set(at("I64"), val::I64(-1))
                     .set(at("F32"), val::F32(1.5f))
                     .set(at("F64"), val::F64(-2.25))
                     .set(at("Date"), val::Filetime(kWorkedExample))
                     .set(at("Bin"), val::Bin("\x01" "AZaz#&\\ _-`"))
                     .set(at("Guid"), val::Bin("0123456789abcde\xff"))
                     .set(at("Txt"), val::Utf16(std::u16string(u"a\0b", 3)))
                     .set(at("Ansi"), val::Ansi("caf\xe9"))
                     .set(at("LTxt"), val::Utf16(u"large text"))
                     .set(at("LBin"), val::Bin(std::string("\0bin\xff", 5)))
                     .set(at("CTxt"), val::Utf16(u"Compressed subject line"))
                     .set(at("CAnsi"), val::Ansi("24 characters of ASCII!!"))
                     .set(at("CBin"), val::Bin("twenty-three characters"))
                     .set(at("MTxt"), ese::Value::MultiOf({val::Utf16(u"a").bytes, val::Utf16(u"b").bytes}))
                     .set(at("MBin"), ese::Value::MultiOf({"\x01" "A", "", "b"}))
                     .set(at("LV"), Separate(val::Bin(kLongBytes)))
                     .set(at("S7d"), Separate(val::Utf16(HeaderText())))
                     .set(at("Id"), val::Id8(0x12ab))
                     .set(at("IdCur"), val::I64(0x1234))
                     .set(at("When"), val::Filetime(kWorkedExample))
                     .set(at("Tagged"), val::Bin("MARKC")));
    w.add_row(t, Row());
    w.add_row(t, Row()
                     .set(at("Bit"), val::Bit(false))
                     .set(at("CTxt"), val::Utf16(fox))
                     .set(at("MTxt"), ese::Value::MultiOf({val::Utf16(std::u16string(u"x\0y", 3)).bytes, val::Utf16(u"z").bytes}))
                     .set(at("MBin"), ese::Value::MultiOf({"MARKA1", "MARKA2"}))
                     .set(at("Id"), val::Bin("1234567"))
                     .set(at("When"), val::Filetime(0xFFFFFFFFFFFFFFFFull))
                     .set(at("Tagged"), val::Bin("MARKD")));
    w.add_row(t, Row().set(at("MBin"), ese::Value::MultiOf({"MARKB1", "MARKB2"})).set(at("Tagged"), val::Bin("MARKE")));
    w.finish();
    // Flag combinations the writer does not produce. A multi-value's flags byte stands
    // before its two 16-bit offsets; a single value's right before it.
    PatchValueFlags(p, "MARKA1", 5, kValueVariableSize | kValueMultiValue | kValueFlag10, ValuesOptions());
    PatchValueFlags(p, "MARKB1", 5, kValueVariableSize | kValueMultiValue | kValueLongValue, ValuesOptions());
    PatchValueFlags(p, "MARKC", 1, kValueVariableSize | kValueFlag10, ValuesOptions());
    PatchValueFlags(p, "MARKD", 1, kValueVariableSize | kValueCompressed, ValuesOptions());
    PatchValueFlags(p, "MARKE", 1, kValueVariableSize | kValueCompressed | kValueMultiValue | kValueFlag10, ValuesOptions());
    return p;
  }();
  return path;
}

class ValuesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    db_ = OpenDatabase(ValuesDatabase());
    table_ = OpenTable(db_, u"V");
    for (int r = 0; r < 4; ++r) rows_.push_back(OpenRecord(table_, r));
    work_ = FreshDir("work-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
  }
  int Entry(const char16_t* name) {
    const int entry = ColumnEntry(table_, name);
    EXPECT_GE(entry, 0) << utf16_to_utf8(name);
    return entry;
  }
  ValueContext Context(std::uint32_t revision) {
    ValueContext context;
    context.format_revision = revision;
    context.working_folder = work_;
    context.header_column = Entry(u"S7d");
    context.header_file_flag = &header_flag_;
    return context;
  }

  EseDatabase db_;
  EseTable table_;
  std::vector<EseRecord> rows_;
  fs::path work_;
  bool header_flag_ = false;
};

TEST_F(ValuesTest, EveryTypeAndFlagPath) {
  const std::u16string fox = Repeated(u"The quick brown fox jumps over the lazy dog. ", 40);
  const struct {
    const char16_t* column;
    int row;
    Text value;      // RecordValueText
    Text exported;   // export_handle_export_binary_record_value
    Text text_only;  // RecordTextValue
  } cases[] = {
      // Plain values by type.
      {u"Bit", 0, u"true", u"true", kNull},
      {u"Bit", 2, u"false", u"false", kNull},
      {u"U8", 0, u"200", u"200", kNull},
      {u"I16", 0, u"-2", u"-2", kNull},
      {u"U16", 0, u"65000", u"65000", kNull},
      {u"I32", 0, u"-3", u"-3", kNull},
      {u"U32", 0, u"4000000000", u"4000000000", kNull},
      {u"Cur", 0, u"18446744073709551615", u"18446744073709551615", kNull},
      {u"I64", 0, u"-1", u"-1", kNull},
      {u"F32", 0, u"1.500000", u"1.500000", kNull},
      {u"F64", 0, u"-2.250000", u"-2.250000", kNull},
      {u"Date", 0, u"Jan,05 2010 14:03:59", u"Jan,05 2010 14:03:59", kNull},
      {u"Bin", 0, u" AZaz#&\\ _-`", u"01415a617a23265c205f2d60", kNull},
      {u"Guid", 0, u"0123456789abcde ", u"303132333435363738396162636465ff", kNull},
      {u"Txt", 0, u"ab", u"a", u"a"},
      {u"Ansi", 0, u"caf\u00e9", u"caf\u00e9", u"caf\u00e9"},
      {u"LTxt", 0, u"large text", u"large text", u"large text"},
      {u"LBin", 0, u" bin ", u" bin ", u" bin "},
      // No data: empty, not null and not "false".
      {u"Bit", 1, u"", u"", kNull},
      {u"I32", 1, u"", u"", kNull},
      {u"Date", 1, u"", u"", kNull},
      {u"Bin", 1, u"", u"", kNull},
      {u"Txt", 1, u"", u"", u""},
      {u"LBin", 1, u"", u"", u""},
      {u"MTxt", 1, u"", u"", u""},
      {u"LV", 1, u"", u"", u""},
      // Compressed values: 7-bit UTF-16, Xpress, 7-bit ASCII of an even size and binary
      // with a single bit in its last byte (the last two misread by libesedb).
      {u"CTxt", 0, u"Compressed subject line", u"Compressed subject line", u"Compressed subject line"},
      {u"CTxt", 2, fox, fox, fox},
      {u"CAnsi", 0, u"24 characters of ASCII!!", u"24 characters of ASCII!!", u"24 characters of ASCII!!"},
      {u"CBin", 0, u"twenty-three characters", u"twenty-three characters", kNull},
      // Compressed flag on another type: the stored bytes.
      {u"Tagged", 2, u"MARKD", u"MARKD", kNull},
      // Multi-values: one space per NUL, terminators included; entries without data skipped.
      {u"MTxt", 0, u"a b ", u"ab", kNull},
      {u"MTxt", 2, u"x y z ", u"xz", kNull},
      {u"MBin", 0, u" Ab", u" Ab", kNull},
      // Multi-values with 0x10 or 0x04, and 0x10 alone: the stored bytes.
      {u"MBin", 2, u"    MARKA1MARKA2", u"    MARKA1MARKA2", kNull},
      {u"MBin", 3, u"    MARKB1MARKB2", u"    MARKB1MARKB2", kNull},
      {u"Tagged", 0, u"MARKC", u"MARKC", kNull},
      {u"Tagged", 3, u"MARKE", u"MARKE", kNull},
      // Long values of the older layout other than the header column.
      {u"LV", 0, u"", u"", kNull},
  };
  const ValueContext context = Context(16);
  for (const auto& c : cases) {
    SCOPED_TRACE(utf16_to_utf8(c.column) + " row " + std::to_string(c.row));
    const EseRecord& record = rows_[static_cast<std::size_t>(c.row)];
    const int entry = Entry(c.column);
    EXPECT_EQ(RecordValueText(record, entry, context), c.value);
    EXPECT_EQ(export_handle_export_binary_record_value(record, entry), c.exported);
    EXPECT_EQ(RecordTextValue(record, entry), c.text_only);
  }
  EXPECT_TRUE(fs::is_empty(work_));
  EXPECT_FALSE(header_flag_);
  EXPECT_EQ(RecordValueText(rows_[0], 999, context), kNull);
  EXPECT_EQ(RecordValueText(EseRecord(), 0, context), kNull);
}

TEST_F(ValuesTest, IdentifierAndDateColumns) {
  const struct {
    const char16_t* column;
    int row;
    Text id;
    Text store17;
    Text date;
  } cases[] = {
      {u"Id", 0, u"12ab", u"-12AB", u"(0xab120000 0x0000000"},
      {u"IdCur", 0, u"3412000000000000", u"1234-0", u"Jan,01 1601 00:00:00"},
      {u"When", 0, u"803147ed0f8eca01", u"318-47ED0F8ECA01", u"Jan,05 2010 14:03:59"},
      {u"When", 2, u"ffffffffffffffff", u"ffff-FFFFFFFFFFFF", u"(0xffffffff 0xfffffff"},
      {u"Id", 2, kNull, kNull, kNull},                             // 7 bytes
      {u"Id", 1, kNull, kNull, kNull},                             // no data
      {u"Txt", 0, kNull, kNull, kNull},                            // not binary or currency
      {u"MBin", 0, u"       Ab", u"       Ab", u"       Ab"},      // flags above 1
  };
  ValueContext rev17 = Context(17);
  ValueContext rev18 = Context(18);
  for (const auto& c : cases) {
    SCOPED_TRACE(utf16_to_utf8(c.column) + " row " + std::to_string(c.row));
    const EseRecord& record = rows_[static_cast<std::size_t>(c.row)];
    const int entry = Entry(c.column);
    EXPECT_EQ(IdText(record, entry), c.id);
    EXPECT_EQ(StoreIdText(record, entry, rev17), c.store17);
    EXPECT_EQ(StoreIdText(record, entry, rev18), c.id);
    EXPECT_EQ(FiletimeText(record, entry), c.date);
  }
}

TEST_F(ValuesTest, NewerLayoutLongValuesGoToTheWorkingFile) {
  WriteBytes(work_ / "ccc.txt", std::string(4 * 1024 * 1024, 'x'));  // replaced, not appended to
  EXPECT_EQ(RecordValueText(rows_[0], Entry(u"LV"), Context(18)), u"");
  EXPECT_EQ(ReadBytes(work_ / "ccc.txt"), kLongBytes);
  // The header column is not special in this layout.
  EXPECT_EQ(RecordValueText(rows_[0], Entry(u"S7d"), Context(17)), u"");
  EXPECT_EQ(ReadBytes(work_ / "ccc.txt"), val::Utf16(HeaderText()).bytes);
  EXPECT_FALSE(fs::exists(work_ / "m_S7d.txt"));
  EXPECT_FALSE(header_flag_);
}

TEST_F(ValuesTest, OlderLayoutHeaderColumnGoesToTheHeaderFile) {
  EXPECT_EQ(RecordValueText(rows_[0], Entry(u"S7d"), Context(16)), u"true");
  EXPECT_TRUE(header_flag_);
  EXPECT_EQ(ReadBytes(work_ / "m_S7d.txt"), HeaderFileText());
  EXPECT_FALSE(fs::exists(work_ / "ccc.txt"));

  // The exported rendering reads long values without writing anything.
  fs::remove(work_ / "m_S7d.txt");
  header_flag_ = false;
  EXPECT_EQ(export_handle_export_binary_record_value(rows_[0], Entry(u"S7d")), u"");
  EXPECT_EQ(export_handle_export_binary_record_value(rows_[0], Entry(u"LV")), u"");
  EXPECT_TRUE(fs::is_empty(work_));

  // A header file that cannot be written leaves the flag alone.
  ValueContext nowhere = Context(16);
  nowhere.working_folder = work_ / "missing";
  EXPECT_EQ(RecordValueText(rows_[0], Entry(u"S7d"), nowhere), u"");
  EXPECT_FALSE(header_flag_);
  // Nor does it follow a planted link.
  fs::create_symlink(work_ / "elsewhere.txt", work_ / "m_S7d.txt");
  EXPECT_EQ(RecordValueText(rows_[0], Entry(u"S7d"), Context(16)), u"");
  EXPECT_FALSE(header_flag_);
  EXPECT_FALSE(fs::exists(work_ / "elsewhere.txt"));
}

}  // namespace
}  // namespace edbx
