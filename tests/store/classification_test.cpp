// Item kinds, excluded classes, the space squeezing of byte-shown UTF-16, and the
// transport-header line rules.

#include <gtest/gtest.h>

#include "common/paths.hpp"
#include "pipeline/session.hpp"
#include "store/item_lister.hpp"
#include "store/message_classes.hpp"

namespace edbx {
namespace {

TEST(ItemKind, HeaderAndListerTablesDifferWhereTheyShould) {
  struct Case {
    u16 cls;
    u16 header_kind;
    u16 lister_kind;
  };
  const Case cases[] = {
      {u"", u"mail", u"mail"},
      {u"IPM.Note", u"mail", u"mail"},
      {u"IPM.Schedule.Meeting.Request", u"mail", u"mail"},
      {u"REPORT.REPORT.IPM.Note.NDR.NDR", u"mail", u"mail"},
      {u"srvinfo.expiry", u"mail", u"srvinfo.expiry"},
      {u"IPM.Contact", u"contact", u"contact"},
      {u"IPF.DistList", u"distlist", u"distlist"},
      {u"IPM.Appointment", u"appointment", u"appointment"},
      {u"IPM.Activity", u"activity", u"activity"},
      {u"IPF.Journal", u"activity", u"activity"},
      {u"IPM.TaskRequest", u"task", u"task"},
      {u"IPM.Post.Rss", u"rss", u"rss"},
      {u"IPM.StickyNote", u"notes", u"notes"},
      {u"IPM.InkNotes", u"IPM.InkNotes", u"notes"},
      {u"IPM.Note.Custom", u"IPM.Note.Custom", u"IPM.Note.Custom"},
      {u"ipm.note", u"ipm.note", u"ipm.note"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(HeaderItemKind(c.cls), c.header_kind) << utf16_to_utf8(c.cls);
    EXPECT_EQ(ListerItemKind(c.cls), c.lister_kind) << utf16_to_utf8(c.cls);
  }
  for (const char16_t* excluded : {u"IPM.Configuration.WorkHours", u"IPF.Microsoft.FolderDesign.NamedView",
                                   u"REPORT.IPM.Note.NDR", u"IPM.Configuration", u"IPC.Microsoft"}) {
    EXPECT_TRUE(IsExcludedHeaderKind(excluded));
    EXPECT_TRUE(IsExcludedListerKind(excluded));
  }
  EXPECT_TRUE(IsExcludedHeaderKind(u"IPM.Configuration.ELC"));
  EXPECT_FALSE(IsExcludedListerKind(u"IPM.Configuration.ELC"));
  EXPECT_FALSE(IsExcludedListerKind(u"mail"));
}

TEST(SqueezeSpaces, JoinsByteShownText) {
  const std::pair<u16, u16> cases[] = {
      {u"J o h n   S m i t h", u"John  Smith"},
      {u"a b", u"ab"},
      {u"J o h n   S M T P   j @ x . c o m", u"John   SMTP   j@x.com"},
      {u"a < b >", u"a<b>"},
      {u"", u""},
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(SqueezeSpaces(in), out) << utf16_to_utf8(in);
}

TEST(HeaderLines, SetTheHeaderTexts) {
  HeaderTexts h;
  ApplyHeaderLine(u"Subject: Hello Subject: again", h);
  ApplyHeaderLine(u"To: \"Bob\" <bob@x.com>", h);
  ApplyHeaderLine(u"From: \"Alice\" <alice@x.com>", h);
  ApplyHeaderLine(u"Cc: <c@x.com>", h);
  ApplyHeaderLine(u"Bcc: d@x.com", h);
  EXPECT_EQ(h.subject, u"Hello again");
  EXPECT_EQ(h.to, u"Bob [bob@x.com]");
  EXPECT_EQ(h.from, u"Alice [alice@x.com]");
  EXPECT_EQ(h.cc, u"[c@x.com]");
  EXPECT_EQ(h.bcc, u"d@x.com");
  // Reply-To and Envelope-to never set To.
  HeaderTexts r;
  ApplyHeaderLine(u"Reply-To: z@x.com", r);
  ApplyHeaderLine(u"Envelope-to: y@x.com", r);
  EXPECT_EQ(r.to, u"");
}

TEST(HeaderFile, HugeFilesAndLinesWithoutEndStayBounded) {
  const fs::path dir = fs::temp_directory_path() / ("edbx-header-" + std::to_string(::getpid()));
  fs::create_directories(dir);
  // CR LF lines; the CR never reaches the texts.
  ASSERT_TRUE(WriteWholeFile(dir / "h.txt", "Received: x\r\nSubject: Hi\r\nTo: a <a@b.c>\r\n\r\n"));
  HeaderTexts h;
  ASSERT_TRUE(ReadHeaderFile((dir / "h.txt").string(), h));
  EXPECT_EQ(h.subject, u"Hi");
  EXPECT_EQ(h.to, u"a [a@b.c]");
  // 20 MB without a line end, then a Subject line: only the first 4 MB are read and
  // the long line is cut, so nothing past it is taken and memory stays small.
  std::string huge(20u << 20, 'x');
  huge += "\nSubject: late\n";
  ASSERT_TRUE(WriteWholeFile(dir / "huge.txt", huge));
  HeaderTexts g;
  ASSERT_TRUE(ReadHeaderFile((dir / "huge.txt").string(), g));
  EXPECT_EQ(g.subject, u"");
  // A long line that is not a header ends, and the next line is still read.
  ASSERT_TRUE(WriteWholeFile(dir / "long.txt", std::string(200000, 'y') + "\nSubject: after\n"));
  HeaderTexts l;
  ASSERT_TRUE(ReadHeaderFile((dir / "long.txt").string(), l));
  EXPECT_EQ(l.subject, u"after");
  EXPECT_FALSE(ReadHeaderFile((dir / "missing.txt").string(), l));
  fs::remove_all(dir);
}

}  // namespace
}  // namespace edbx
