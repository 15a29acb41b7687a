#include "export/save_records.hpp"

#include <gtest/gtest.h>
#include <unistd.h>

#include "common/paths.hpp"

namespace edbx {
namespace {

TEST(SaveRecords, LinesKeyValueAndLineEndWithLineBreaksFlattened) {
  const std::vector<RecordLine> lines = {{u"SUBJECT:", u"Hi\r\nPATH:/etc/shadow"}, {u"TO:", u""}, {u"X:", u"a\nb"}};
  EXPECT_EQ(RecordText(lines, u"\r\n"), u"SUBJECT:Hi  PATH:/etc/shadow\r\nTO:\r\nX:a b\r\n");
  EXPECT_EQ(RecordText(lines, u"\n"), u"SUBJECT:Hi  PATH:/etc/shadow\nTO:\nX:a b\n");
  // FF FE, then UTF-16LE, no terminating NUL.
  EXPECT_EQ(RecordFileBytes(u"A\u00e9"), std::string("\xFF\xFE" "A\0\xE9\0", 6));
}

TEST(SaveRecords, ValueRules) {
  EXPECT_EQ(CleanSubject(u"a-b?"), u"a b ");
  EXPECT_EQ(CleanSubject(u"x\u2014y \u2013 z"), u"x y \u2013 z");  // the em dash only
  EXPECT_EQ(RewriteTo(u"A [a@x], B [b@y]"), u"A<a@x>,B<b@y>,");
  EXPECT_EQ(RewriteTo(u""), u"");
  EXPECT_EQ(NumberMonths(u"Nov,05 2010 14:03:59"), u"11,05 2010 14:03:59");
  EXPECT_EQ(NumberMonths(u"Jan,01 2010"), u"1,01 2010");
  EXPECT_EQ(BodyKindWord(0), u"txt");
  EXPECT_EQ(BodyKindWord(1), u"txt");
  EXPECT_EQ(BodyKindWord(2), u"html");
  EXPECT_EQ(BodyKindWord(3), u"rtf");
}

TEST(SaveRecords, ExistingAttachmentPaths) {
  const fs::path dir = fs::temp_directory_path() / ("edbx-atta-" + std::to_string(::getpid()));
  fs::create_directories(dir);
  for (const char* name : {"a.txt", "b.txt", "\xD0\xBE\xD1\x82\xD1\x87\xD1\x91\xD1\x82.pdf"}) WriteWholeFile(dir / name, "x");
  const std::string d = dir.string();
  struct Case {
    const char16_t* names;
    std::string paths;
  } cases[] = {
      {u"a.txt;b.txt;", d + "/a.txt;" + d + "/b.txt;"},
      {u"a.txt;b.txt", d + "/a.txt;"},                  // the text after the last ";" is no name
      {u"a.txt;missing.txt;;", d + "/a.txt;"},         // missing files and empty names are left out
      {u"\u043e\u0442\u0447\u0451\u0442.pdf;", d + "/\xD0\xBE\xD1\x82\xD1\x87\xD1\x91\xD1\x82.pdf;"},  // kept whole
      {u"../a.txt;/etc/passwd;", ""},                  // never outside the folder
  };
  for (const auto& c : cases) EXPECT_EQ(utf16_to_utf8(ExistingAttachmentPaths(dir, c.names)), c.paths);
  fs::remove_all(dir);
}

TEST(SaveRecords, NoteBody) {
  EXPECT_EQ(NoteBodyValue({u"l1", u"l2, x", u"l3"}), u"l1<newlinebreak>l2\\cama x<newlinebreak>l3<newlinebreak>");
  EXPECT_EQ(NoteBodyValue({u16(70000, u'a')}), u"");
  // Many short lines: cut after the last line that keeps the total below 65,000.
  const std::vector<u16> lines(1000, u16(100, u'b'));  // 100,000 characters
  const u16 body = NoteBodyValue(lines);
  EXPECT_EQ(body.size(), 649u * (100 + 14));
}

TEST(SaveRecords, ContactCard) {
  EXPECT_EQ(ContactCardText(std::vector<u16>(50)), [] {
    u16 s;
    for (int i = 0; i < 50; ++i) s += u"<br>";
    return s;
  }());
  EXPECT_EQ(ContactCardText({u"a\r\nb", u"Smith, Jones", u"<br<br>>"}), u"a\r<newlinebreak>b<br>Smithcama Jones<br><br><br>");
}

TEST(SaveRecords, BodyFilesOfEveryWriterReadAsText) {
  const std::string utf8 = "Gr\xC3\xBC\xC3\x9F" "e\r\nzwei";
  const std::vector<u16> expected = {u"Gr\u00fc\u00dfe", u"zwei"};
  EXPECT_EQ(BodyFileLines(utf8), expected);                                // no mark: valid UTF-8
  EXPECT_EQ(BodyFileLines(utf8, BodyEncoding::kUtf8), expected);
  EXPECT_EQ(BodyFileLines("\xEF\xBB\xBF" + utf8, BodyEncoding::kUtf16), expected);  // a mark decides
  EXPECT_EQ(BodyFileLines(utf16le_bytes(u"Gr\u00fc\u00dfe\nzwei")), expected);       // NULs: UTF-16LE
  EXPECT_EQ(BodyFileLines("\xFF\xFE" + utf16le_bytes(u"Gr\u00fc\u00dfe\rzwei")), expected);
  EXPECT_EQ(BodyFileLines(utf16le_bytes(u"\u4f1a\u8b70"), BodyEncoding::kUtf16), std::vector<u16>{u"\u4f1a\u8b70"});
}

}  // namespace
}  // namespace edbx
