// The body and attachment writers on fixture records: the files they write, the body
// kinds they set and what they return.

#include <gtest/gtest.h>

#include <random>

#include "content/body_extraction.hpp"
#include "pipeline/headless_dialog.hpp"
#include "pipeline/session.hpp"
#include "tests/store/store_fixture.hpp"
#include "tools/edbforge/rtf_compress.hpp"

namespace edbx {
namespace {

namespace ese = edbforge::ese;
namespace fs = std::filesystem;
using ese::ColumnDef;
using ese::ColumnType;
using ese::Row;
namespace val = ese::val;
using test::FreshDir;
using test::RandomBytes;
using test::ReadBytes;
using test::Separate;

std::string Utf16le(u16v text) { return utf16le_bytes(text); }

const u16 kLongText = [] {
  u16 t;
  for (int i = 0; i < 2000; ++i) t += u"Line " + decimal(i) + u" of the body \u00e9\u20ac\r\n";
  return t;
}();
const std::string kLongHtml = RandomBytes(40000, 7);
const std::string kLongRtf = RandomBytes(20000, 8);
const std::string kRtf1024 = RandomBytes(1024, 9);
const u16 kCompressedHtml = [] {
  u16 t;
  for (int i = 0; i < 40; ++i) t += u"<p>Gr\u00fc\u00dfe \u2013 line " + decimal(i) + u"</p>";
  return t;
}();
const char* kRtfSource = "{\\rtf1\\ansi\\ansicpg1252 Gr\\'fc\\'dfe aus M\\'fcnchen\\par Ende.\\par }}}}}";

// Row 0: short values in the record; row 1: long values kept apart; row 2: nothing;
// row 3: a damaged compressed-RTF stream.
struct Fixture {
  fs::path db_path;
  Fixture() {
    const fs::path dir = FreshDir("body-writers");
    db_path = dir / "bodies.edb";
    ese::WriterOptions options;
    options.format_revision = 17;
    options.intrinsic_long_value_limit = 2000;
    ese::DatabaseWriter w(db_path, options);
    ese::TableDef def;
    def.name = "Bodies";
    def.columns = {
        ColumnDef("Html", ColumnType::LongBinary),          ColumnDef("Rtf", ColumnType::LongBinary),
        ColumnDef("Text", ColumnType::LongText, 1200),      ColumnDef("CHtml", ColumnType::LongText, 1200).compress(),
        ColumnDef("Ansi", ColumnType::LongBinary),
    };
    const auto t = w.add_table(def);
    auto at = [&](const char* name) { return w.column_index(t, name); };
    w.add_row(t, Row()
                     .set(at("Html"), val::Bin("abcd"))
                     .set(at("Rtf"), val::Bin(kRtf1024))
                     .set(at("Text"), val::Utf16(u"line one\r\nline two"))
                     .set(at("CHtml"), val::Utf16(kCompressedHtml))
                     .set(at("Ansi"), val::Bin("<b>caf\xe9</b>\0tail")));
    w.add_row(t, Row()
                     .set(at("Html"), Separate(val::Bin(kLongHtml)))
                     .set(at("Rtf"), Separate(val::Bin(kLongRtf)))
                     .set(at("Text"), Separate(val::Utf16(kLongText)))
                     .set(at("Ansi"), val::Bin(edbforge::CompressRtf(kRtfSource))));
    w.add_row(t, Row());
    std::string damaged = edbforge::CompressRtf(kRtfSource);
    damaged[0] = '\xff';  // COMPSIZE beyond the stream
    damaged[1] = '\x7f';
    w.add_row(t, Row().set(at("Rtf"), val::Bin(damaged)));
    w.finish();
  }
};

class BodyWriters : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { fixture_ = new Fixture(); }
  static void TearDownTestSuite() { delete fixture_; }

  void SetUp() override {
    session_.working_folder = FreshDir("body-writers-work");
    db_ = test::OpenDatabase(fixture_->db_path);
    table_ = test::OpenTable(*db_, u"Bodies");
  }
  EseRecord Row(int n) const { return test::OpenRecord(*table_, n); }
  int Column(const char16_t* name) const { return test::ColumnEntry(*table_, name); }
  fs::path Work(const char* name) const { return session_.working_folder / name; }

  static Fixture* fixture_;
  HeadlessDialog dialog_;
  Session session_{dialog_};
  std::optional<EseDatabase> db_;
  std::optional<EseTable> table_;
};
Fixture* BodyWriters::fixture_ = nullptr;

TEST_F(BodyWriters, NewerHtmlWriter) {
  // 1 to 4 stored bytes leave the file empty.
  EXPECT_EQ(WriteHtmlBodyFile(session_, Row(0), Column(u"Html")), FromPath(Work("blank.html")));
  EXPECT_EQ(ReadBytes(Work("blank.html")), "");
  // Compressed large text: the whole UTF-16 string, both bytes of every unit.
  EXPECT_TRUE(WriteHtmlBodyFile(session_, Row(0), Column(u"CHtml")));
  EXPECT_EQ(ReadBytes(Work("blank.html")), Utf16le(kCompressedHtml));
  // A long value, segment by segment.
  EXPECT_TRUE(WriteHtmlBodyFile(session_, Row(1), Column(u"Html")));
  EXPECT_EQ(ReadBytes(Work("blank.html")), kLongHtml);
  // No data: nothing written.
  fs::remove(Work("blank.html"));
  EXPECT_EQ(WriteHtmlBodyFile(session_, Row(2), Column(u"Html")), std::nullopt);
  EXPECT_FALSE(fs::exists(Work("blank.html")));
}

TEST_F(BodyWriters, NewerTextWriter) {
  EXPECT_TRUE(WriteTextBodyFile(session_, Row(0), Column(u"Text")));
  EXPECT_EQ(ReadBytes(Work("blank.txt")), "\xff\xfe" + Utf16le(u"line one\r\nline two"));
  EXPECT_TRUE(WriteTextBodyFile(session_, Row(1), Column(u"Text")));
  EXPECT_EQ(ReadBytes(Work("blank.txt")), Utf16le(kLongText));
  EXPECT_EQ(WriteTextBodyFile(session_, Row(2), Column(u"Text")), std::nullopt);
}

TEST_F(BodyWriters, NewerRtfWriterReturnsTheStoredSize) {
  EXPECT_EQ(WriteRtfBodyFile(session_, Row(0), Column(u"Rtf")), u16(u"1024"));
  EXPECT_EQ(session_.item.body_kind, kBodyRtf);
  EXPECT_EQ(ReadBytes(Work("rtfbody.txt")), kRtf1024);
  EXPECT_EQ(WriteRtfBodyFile(session_, Row(1), Column(u"Rtf")), u16());  // from segments
  EXPECT_EQ(ReadBytes(Work("rtfbody.txt")), kLongRtf);
  session_.item.body_kind = kBodyNone;
  EXPECT_EQ(WriteRtfBodyFile(session_, Row(2), Column(u"Rtf")), std::nullopt);
  EXPECT_EQ(session_.item.body_kind, kBodyNone);
}

TEST_F(BodyWriters, OlderWritersSetKindAndFile) {
  ExtractTextBody(session_, Row(0), Column(u"Text"));
  EXPECT_EQ(session_.item.body_kind, kOlderBodyText);
  EXPECT_EQ(session_.item.body_file, Work("textbody.txt"));
  EXPECT_EQ(ReadBytes(Work("textbody.txt")), Utf16le(u"line one\r\nline two"));  // as stored, no mark

  // An 8-bit HTML value up to its first NUL, from Windows-1252 to UTF-8.
  ExtractHtmlBody(session_, Row(0), Column(u"Ansi"));
  EXPECT_EQ(session_.item.body_kind, kOlderBodyHtml);
  EXPECT_EQ(session_.item.body_text, u"<b>caf\u00e9</b>");
  EXPECT_EQ(ReadBytes(Work("htmlbody.html")), "<b>caf\xc3\xa9</b>");

  // A compressed RTF body becomes its text in UTF-8.
  ExtractRtfBody(session_, Row(1), Column(u"Ansi"));
  EXPECT_EQ(session_.item.body_kind, kBodyRtf);
  EXPECT_EQ(session_.item.body_file, Work("rtfbody.txt"));
  EXPECT_EQ(ReadBytes(Work("rtfbody.txt")), "Gr\xc3\xbc\xc3\x9f" "e aus M\xc3\xbcnchen\r\nEnde.");
  EXPECT_EQ(ReadBytes(Work("temp.rtf")).substr(0, 6), "{\\rtf1");

  // A column without data changes nothing.
  session_.item.body_kind = kBodyNone;
  ExtractTextBody(session_, Row(2), Column(u"Text"));
  ExtractHtmlBody(session_, Row(2), Column(u"Html"));
  ExtractRtfBody(session_, Row(2), Column(u"Rtf"));
  EXPECT_EQ(session_.item.body_kind, kBodyNone);
}

TEST_F(BodyWriters, DamagedRtfKeepsTheStoredBytes) {
  ExtractRtfBody(session_, Row(3), Column(u"Rtf"));
  EXPECT_EQ(session_.item.body_kind, kBodyRtf);
  EXPECT_EQ(ReadBytes(Work("rtfbody.txt")).size(), edbforge::CompressRtf(kRtfSource).size());
  EXPECT_EQ(session_.item.body_text, u"");
}

TEST_F(BodyWriters, AttachmentDataExactBytes) {
  WriteAttachmentData(Row(1), Column(u"Html"), Work("a.bin"));
  EXPECT_EQ(ReadBytes(Work("a.bin")), kLongHtml);
  WriteAttachmentData(Row(0), Column(u"Rtf"), Work("b.bin"));
  EXPECT_EQ(ReadBytes(Work("b.bin")), kRtf1024);
  WriteAttachmentData(Row(2), Column(u"Rtf"), Work("c.bin"));
  EXPECT_FALSE(fs::exists(Work("c.bin")));
}

TEST(DecodeSegment, StoredSegmentsPassUnchanged) {
  // A full page of stored bytes whose first byte looks like a 7-bit lead byte is kept.
  std::string segment = RandomBytes(8000, 3);
  segment[0] = '\x10';
  EXPECT_EQ(DecodeSegment(segment), segment);
  segment[0] = '\x18';  // an Xpress lead byte with an impossible stream: kept as stored
  EXPECT_EQ(DecodeSegment(segment), segment);
  EXPECT_EQ(DecodeSegment(""), "");
}

}  // namespace
}  // namespace edbx
