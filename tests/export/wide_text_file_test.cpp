#include "export/wide_text_file.hpp"

#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "common/paths.hpp"

namespace edbx {
namespace {

using Lines = std::vector<u16>;

std::string Le(u16v text) { return utf16le_bytes(text); }
std::string Be(u16v text) {
  std::string out;
  for (char16_t c : text) {
    out.push_back(static_cast<char>(c >> 8));
    out.push_back(static_cast<char>(c & 0xFF));
  }
  return out;
}
const std::string kLeMark = "\xFF\xFE";
const std::string kBeMark = "\xFE\xFF";
const std::string kUtf8Mark = "\xEF\xBB\xBF";

class WideTextFile : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("edbx-wide-" + std::to_string(::getpid()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  fs::path File(const std::string& bytes) {
    const fs::path p = dir_ / "in.txt";
    EXPECT_TRUE(WriteWholeFile(p, bytes));
    return p;
  }
  std::string Bytes(const fs::path& p) { return ReadWholeFile(p).value_or("<missing>"); }

  fs::path dir_;
};

enum class Kind { kEx, kUtf16 };

TEST_F(WideTextFile, WritesTheMarkOnceAndEncodesByMode) {
  struct Case {
    const char* what;
    Kind kind;
    std::uint32_t flags;
    int code_page;
    std::string raw_first;  // written with Write before the texts
    std::vector<u16> texts;
    std::string expected;
  };
  const Case cases[] = {
      {"UTF-16 file, two writes", Kind::kUtf16, 0x1002, kCodePageAnsi, "", {u"ab", u"c"},
       kLeMark + Le(u"abc")},
      {"raw bytes first: no mark", Kind::kUtf16, 0x1002, kCodePageAnsi, "xy", {u"z"},
       "xy" + Le(u"z")},
      {"0x201001 writes UTF-16LE with a mark", Kind::kEx, 0x201001, kCodePageAnsi, "",
       {u"h\u00e9", u"\u4e2d"}, kLeMark + Le(u"h\u00e9\u4e2d")},
      {"0x1001 writes Windows-1252 without a mark", Kind::kEx, 0x1001, kCodePageAnsi, "",
       {u"h\u00e9\u20ac\u4e2d", u"e\u0301|\u0301"}, "h\xE9\x80#\xE9|#"},
      {"0x1001 at code page 65001 writes UTF-8 with a mark", Kind::kEx, 0x1001, kCodePageUtf8,
       "", {u"\u00e9", u"\u4e2d"}, kUtf8Mark + "\xC3\xA9\xE4\xB8\xAD"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const fs::path p = File("old content that create truncates");
    CStdioFileEx ex;
    CUTF16File utf16;
    if (c.kind == Kind::kEx) {
      ex.SetCodePage(c.code_page);
      ASSERT_TRUE(ex.Open(p, c.flags));
      if (!c.raw_first.empty()) {
        ASSERT_TRUE(ex.Write(c.raw_first));
      }
      for (const auto& t : c.texts) ASSERT_TRUE(ex.WriteString(t));
      ASSERT_TRUE(ex.Close());
    } else {
      ASSERT_TRUE(utf16.Open(p, c.flags));
      if (!c.raw_first.empty()) {
        ASSERT_TRUE(utf16.Write(c.raw_first));
      }
      for (const auto& t : c.texts) ASSERT_TRUE(utf16.WriteString(t));
      ASSERT_TRUE(utf16.Close());
    }
    EXPECT_EQ(Bytes(p), c.expected);
  }
}

struct ReadCase {
  const char* what;
  Kind kind;
  int code_page;
  std::string bytes;
  Lines lines;
  std::size_t max_chars = 0;
};

Lines ReadAll(CStdioFileEx& ex, CUTF16File& utf16, Kind kind, std::size_t max_chars) {
  Lines lines;
  u16 line;
  while (kind == Kind::kEx ? ex.ReadString(line, max_chars) : utf16.ReadString(line, max_chars)) {
    lines.push_back(line);
    if (lines.size() > 100) break;  // a reader that stops consuming
  }
  EXPECT_TRUE(line.empty());
  return lines;
}

TEST_F(WideTextFile, ReadsLinesOfEveryEncodingAndBreak) {
  const std::string a2046(2046, 'a');
  const std::string a4095(4095, 'a');
  const ReadCase cases[] = {
      // CR LF, CR and LF each end one line; only CR followed by LF is one break.
      {"UTF-16LE breaks", Kind::kUtf16, 0, kLeMark + Le(u"a\r\nb\rc\n\nd\r\re\n"),
       {u"a", u"b", u"c", u"", u"d", u"", u"e"}},
      {"UTF-16BE", Kind::kUtf16, 0, kBeMark + Be(u"x\u00e9\r\ny"), {u"x\u00e9", u"y"}},
      {"odd final byte", Kind::kUtf16, 0, kLeMark + Le(u"a") + "b", {u"a"}},
      {"one byte is not UTF-16", Kind::kUtf16, 0, "x", {u"x"}},
      {"empty file", Kind::kUtf16, 0, "", {}},
      {"UTF-16LE without a mark", Kind::kUtf16, 0, Le(u"hi\r\nyo"), {u"hi", u"yo"}},
      {"UTF-8 without a mark", Kind::kUtf16, 0, "caf\xC3\xA9\nx", {u"caf\u00e9", u"x"}},
      {"UTF-8 mark", Kind::kUtf16, 0, kUtf8Mark + "ab", {u"ab"}},
      {"Windows-1252", Kind::kUtf16, 0, "caf\xE9\r\n\x80", {u"caf\u00e9", u"\u20ac"}},
      {"CR LF across the block boundary", Kind::kUtf16, 0,
       kLeMark + Le(widen(a2046)) + Le(u"\r\nb"), {widen(a2046), u"b"}},
      {"8-bit CR LF across the block boundary", Kind::kUtf16, 0, a4095 + "\r\nb",
       {widen(a4095), u"b"}},
      // CStdioFileEx: LF ends a line, one CR before it (or at the end) is dropped.
      {"Unicode lines", Kind::kEx, kCodePageAnsi, kLeMark + Le(u"a\r\n\r\nb\rc\n"),
       {u"a", u"", u"b\rc"}},
      {"Unicode CR LF across the block boundary", Kind::kEx, kCodePageAnsi,
       kLeMark + Le(widen(a2046)) + Le(u"\r\nb"), {widen(a2046), u"b"}},
      {"ANSI lines", Kind::kEx, kCodePageAnsi, "caf\xE9\n\nx\r", {u"caf\u00e9", u"", u"x"}},
      {"UTF-8 with a mark", Kind::kEx, kCodePageUtf8, kUtf8Mark + "\xC3\xA9\r\nz",
       {u"\u00e9", u"z"}},
      // Changed: only a real EF BB BF is skipped, so the first characters survive.
      {"UTF-8 without a mark", Kind::kEx, kCodePageUtf8, "abc\ndef", {u"abc", u"def"}},
      // Long lines come back in pieces; a break right after a full piece is no
      // extra empty line, and no piece ends inside a character.
      {"long line", Kind::kUtf16, 0, kLeMark + Le(u16(10000, u'x') + u"\ny"),
       {u16(4096, u'x'), u16(4096, u'x'), u16(1808, u'x'), u"y"}, 4096},
      {"full piece then CR LF", Kind::kUtf16, 0, kLeMark + Le(u"abcd\r\nz"), {u"abcd", u"z"}, 4},
      {"surrogate pair kept whole", Kind::kUtf16, 0, kLeMark + Le(u"ab\U0001F600c"),
       {u"ab", u"\U0001F600c"}, 3},
      {"UTF-8 character kept whole", Kind::kUtf16, 0, "ab\xC3\xA9", {u"ab", u"\u00e9"}, 3},
      {"ANSI long line", Kind::kEx, kCodePageAnsi, "abcdefghij\r\nk", {u"abcd", u"efgh", u"ij",
       u"k"}, 4},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const fs::path p = File(c.bytes);
    CStdioFileEx ex;
    CUTF16File utf16;
    if (c.kind == Kind::kEx) {
      ex.SetCodePage(c.code_page);
      ASSERT_TRUE(ex.Open(p, kFileModeRead));
    } else {
      ASSERT_TRUE(utf16.Open(p, kFileModeRead));
    }
    EXPECT_EQ(ReadAll(ex, utf16, c.kind, c.max_chars), c.lines);
  }
}

TEST_F(WideTextFile, MarksAreRecognisedOnOpen) {
  struct Case {
    std::string bytes;
    bool utf16;
    bool big_endian;
    bool ex_unicode;
  };
  const Case cases[] = {
      {kLeMark + Le(u"a"), true, false, true},
      {kBeMark + Be(u"a"), true, true, false},
      {"\xFF", false, false, false},
      {"ab", false, false, false},
  };
  for (const auto& c : cases) {
    const fs::path p = File(c.bytes);
    CUTF16File utf16;
    ASSERT_TRUE(utf16.Open(p, kFileModeRead));
    EXPECT_EQ(utf16.IsUtf16(), c.utf16);
    EXPECT_EQ(utf16.IsBigEndian(), c.big_endian);
    EXPECT_EQ(utf16.GetPosition(), c.utf16 ? 2 : 0);
    CStdioFileEx ex;
    ASSERT_TRUE(ex.Open(p, kFileModeRead | kFileModeUnicode));
    EXPECT_EQ(ex.IsUnicodeText(), c.ex_unicode);
  }
}

TEST_F(WideTextFile, BufferReadingKeepsTheFirstBreakCharacter) {
  const fs::path p = File(kLeMark + Le(u"abcdef\r\nz\n\nq"));
  CUTF16File f;
  ASSERT_TRUE(f.Open(p, kFileModeRead));
  char16_t buf[5];
  Lines got;
  while (f.ReadString(buf, 5) != nullptr) got.emplace_back(buf);
  EXPECT_EQ(got, (Lines{u"abcd", u"ef\r", u"z\n", u"\n", u"q"}));
  EXPECT_EQ(f.ReadString(buf, 1), nullptr);
}

TEST_F(WideTextFile, WritesAfterReadingLandAtTheReadPosition) {
  const fs::path p = File(kLeMark + Le(u"a\nb\n"));
  for (const Kind kind : {Kind::kUtf16, Kind::kEx}) {
    ASSERT_TRUE(WriteWholeFile(p, kLeMark + Le(u"a\nb\n")));
    CStdioFileEx ex;
    CUTF16File utf16;
    u16 line;
    if (kind == Kind::kEx) {
      ASSERT_TRUE(ex.Open(p, kFileModeReadWrite | kFileModeUnicode));
      ASSERT_TRUE(ex.ReadString(line));
      EXPECT_EQ(ex.GetPosition(), 6);
      ASSERT_TRUE(ex.WriteString(u"X"));
      EXPECT_EQ(ex.GetLength(), 10);
      EXPECT_EQ(ex.Seek(0, SeekFrom::kBegin), 0);
      EXPECT_EQ(ReadAll(ex, utf16, kind, 0), (Lines{u"a", u"X"}));
      ASSERT_TRUE(ex.Close());
    } else {
      ASSERT_TRUE(utf16.Open(p, kFileModeReadWrite));
      ASSERT_TRUE(utf16.ReadString(line));
      EXPECT_EQ(utf16.GetPosition(), 6);
      ASSERT_TRUE(utf16.WriteString(u"X"));
      EXPECT_EQ(utf16.GetLength(), 10);
      // Reading again from the start skips the mark instead of returning it.
      EXPECT_EQ(utf16.Seek(0, SeekFrom::kBegin), 0);
      EXPECT_EQ(ReadAll(ex, utf16, kind, 0), (Lines{u"a", u"X"}));
      ASSERT_TRUE(utf16.Close());
    }
    EXPECT_EQ(line, u"a");
    EXPECT_EQ(Bytes(p), kLeMark + Le(u"a\nX\n"));
  }
}

TEST_F(WideTextFile, OpenRefusesWhatIsNoPlainFile) {
  const fs::path victim = File("keep");
  const fs::path link = dir_ / "link.txt";
  fs::create_symlink(victim, link);
  const std::vector<std::pair<fs::path, std::uint32_t>> cases = {
      {dir_ / "missing.txt", kFileModeRead},
      {link, kFileModeRead},
      {link, kFileModeCreate | kFileModeWrite},
      {dir_, kFileModeRead},
  };
  for (const auto& [path, flags] : cases) {
    CStdioFileEx ex;
    CUTF16File utf16;
    EXPECT_FALSE(ex.Open(path, flags)) << path;
    EXPECT_FALSE(utf16.Open(path, flags)) << path;
    EXPECT_FALSE(utf16.WriteString(u"x"));
    u16 line = u"stale";
    EXPECT_FALSE(utf16.ReadString(line));
    EXPECT_TRUE(line.empty());
  }
  EXPECT_EQ(Bytes(victim), "keep");
}

}  // namespace
}  // namespace edbx
