// Previews of every kind of item in both layouts, through the item-list click: the
// header and frameset pages byte for byte, the body files, the attachments.

#include <gtest/gtest.h>

#include <random>

#include "common/paths.hpp"
#include "preview/page_framework.hpp"
#include "tests/support/analysis_fixture.hpp"

namespace edbx {
namespace {

using edbforge::store::Layout;
using testing::Analysis;
using testing::TempDir;
using testing::WriteStore;

// One item of each kind. "12a" has attachments (two of one name, one naming a parent
// folder, one spanning several pages) and a subject that is markup; "12ab" has all
// three bodies; "12c" HTML and text.
const char* kStore = R"({"intrinsic_long_value_limit": 200, "mailboxes": [
 {"name": "Alice Example", "owner": "Alice Example", "id": "0100000000000a1f", "folders": [
  {"name": "Inbox", "class": "IPF.Note", "id": "0100000000000b01", "items": [
   {"key": "12a", "subject": "Report <b>&amp; \"more\"</b>", "from": "Bob Example <bob@example.com>",
    "to": ["Alice Example <alice@example.com>"], "cc": ["Carol <carol@example.org>"],
    "sent": "2010-01-05T14:03:59Z", "body": "Hi Alice,\r\nsee the report.",
    "headers": "Received: x\r\nFrom: \"Bob Example\" <bob@example.com>\r\nTo: \"Alice Example\" <alice@example.com>\r\nCc: Carol <carol@example.org>\r\nSubject: Report\r\n\r\n",
    "attachments": [{"name": "report.txt", "text": "the report", "id": "0100000000000c01"},
                    {"name": "report.txt", "text": "a second file of that name", "id": "0100000000000c02"},
                    {"name": "../../escape.txt", "text": "stays inside", "id": "0100000000000c03"},
                    {"name": "big.bin", "file": "big.bin", "id": "0100000000000c04"}]},
   {"key": "12ab", "subject": "Rich", "from": "Carol <carol@example.org>", "sent": "2010-01-06T09:00:00Z",
    "body": "plain text", "html": "<p>html body</p>",
    "rtf": "{\\rtf1\\ansi\\ansicpg1252 Gr\\'fc\\'dfe aus M\\'fcnchen\\par Ende.\\par }}}}}"},
   {"key": "12c", "subject": "Html", "from": "Carol <carol@example.org>", "sent": "2010-01-07T09:00:00Z",
    "body": "plain", "html": "<p>html</p>", "generate_headers": false}]},
  {"name": "Contacts", "class": "IPF.Contact", "id": "0100000000000b02", "items": [
   {"key": "20", "class": "IPM.Contact", "subject": "Dave Contact",
    "properties": {"S3001": "Dave Contact", "S3a06": "Dave", "S3a11": "Contact", "S81ba": "", "S800b": "dave3@example.com",
                   "S81b1": "dave@example.com", "T3a42": "1970-03-04T00:00:00Z", "MS80db": ["Friends", "Work"]}}]},
  {"name": "Calendar", "class": "IPF.Appointment", "id": "0100000000000b03", "items": [
   {"key": "30", "class": "IPM.Appointment", "subject": "Design review", "from": "Alice Example <alice@example.com>",
    "body": "Agenda",
    "properties": {"S810c": "Room 2", "T800d": "2010-01-14T14:00:00Z", "T814d": "2010-01-14T15:30:00Z",
                   "S8201": "W. Europe", "N67b4": {"utf16": "Bob  Example  <bob@example.com>"}}}]},
  {"name": "Tasks", "class": "IPF.Task", "id": "0100000000000b04", "items": [
   {"key": "40", "class": "IPM.Task", "subject": "Send report", "properties": {"T811f": "2010-01-08T09:00:00Z"}}]},
  {"name": "Journal", "class": "IPF.Journal", "id": "0100000000000b05", "items": [
   {"key": "50", "class": "IPM.Activity", "subject": "Phone call", "from": "Alice Example <alice@example.com>",
    "body": "Talked."}]},
  {"name": "Notes", "class": "IPF.StickyNote", "id": "0100000000000b06", "items": [
   {"key": "60", "class": "IPM.StickyNote", "subject": "Wi-Fi", "body": "password: x"}]}]}]})";

std::string BigAttachment() {
  std::mt19937 rng(42);
  std::string s(300000, '\0');
  for (char& c : s) c = static_cast<char>(rng() & 0xff);
  return s;
}

std::string Bytes(const fs::path& path) { return ReadWholeFile(path).value_or("<missing>"); }
std::string Utf16(u16v text) { return utf16le_bytes(text); }
std::string Marked(u16v text) { return "\xff\xfe" + utf16le_bytes(text); }

/// One layout's store, analysed, with a click on any item.
struct Previewer {
  explicit Previewer(Layout layout) : a(dir) {
    WriteWholeFile(dir / "big.bin", BigAttachment());
    const auto outcome = a.Run(WriteStore(dir, kStore, "store.edb", layout));
    EXPECT_EQ(outcome, AnalysisOutcome::kSuccess);
  }
  ItemRow Row(const char16_t* folder, const char16_t* key) {
    for (const ItemRow& row : a.List({u"Alice Example", folder}))
      if (row[0] == key) return row;
    ADD_FAILURE() << "no row";
    return {};
  }
  fs::path Show(const char16_t* folder, const char16_t* key) { return a.Preview(Row(folder, key)); }
  /// Empties the working folder (the analysis made it; the listing writes into it).
  void ClearWork() {
    fs::remove_all(a.session.working_folder);
    fs::create_directories(a.session.working_folder);
  }
  fs::path Work(const char* name) const { return a.session.working_folder / name; }
  u16 HeaderRows() const {
    const std::string page = Bytes(Work("header.html"));
    EXPECT_EQ(page.substr(0, 2), "\xff\xfe");
    const u16 text = utf16le_from_bytes(page.substr(2));
    const u16 start = u"cellpadding='0'>", end = u"</table></body></html>";
    const auto from = text.find(start);
    if (from == u16::npos || text.size() < end.size() || text.compare(text.size() - end.size(), end.size(), end) != 0)
      return u"<not a header page>";
    EXPECT_EQ(HeaderPage(u""), text.substr(0, from + start.size()) + end);
    return text.substr(from + start.size(), text.size() - end.size() - from - start.size());
  }

  TempDir dir;
  Analysis a;
};


struct KindCase {
  Layout layout;
  const char16_t* folder;
  const char16_t* key;
  const char16_t* rows;      // null: no header page
  const char16_t* frameset;  // the frameset's layout attribute
  const char* body;          // the body file
  std::string body_bytes;
};

const KindCase kKindCases[] = {
    {Layout::Older, u"Inbox", u"12a",
     u"  <tr>   <td height='20'><b>From :</b>Bob Example [bob@example.com]</td>"
     u"   <td height='20'><b>Date:</b >Jan,05 2010 14:03:59</td> </tr>"
     u"  <tr>   <td height='20'><b>Subject: </b> Report &lt;b&gt;&amp;amp; &quot;more&quot;&lt;/b&gt;</td>"
     u"    <td height='20'><b>To:</b> Alice Example [alice@example.com]</td> </tr>"
     u"<tr>   <td height='20' colspan='2'><b>Cc: </b><span color='red'>Carol [carol@example.org]</span></td> </tr>"
     u"<tr>   <td height='20' colspan='2'><b>Attachment: </b><span color='red'>"
     u"big.bin;.._.._escape.txt;report (2).txt;report.txt;</span></td> </tr>",
     u"rows='28%,*'", "textbody.txt", Utf16(u"Hi Alice,\r\nsee the report.")},
    {Layout::Newer, u"Inbox", u"12a",
     u"  <tr>   <td height='20'><b>From :</b>Bob Example&lt;bob@example.com,&gt;[bob@example.com,]</td>"
     u"   <td height='20'><b>Date:</b >Jan,05 2010 14:03:59</td> </tr>"
     u"  <tr>   <td height='20'><b>Subject: </b> Report &lt;b&gt;&amp;amp; &quot;more&quot;&lt;/b&gt;</td>"
     u"    <td height='20'><b>To:</b> alice@example.com,carol@example.org,</td> </tr>"
     u"<tr>   <td height='20' colspan='2'><b>Attachment: </b><span color='red'>"
     u"big.bin;.._.._escape.txt;report (2).txt;report.txt;</span></td> </tr>",
     u"rows='28%,*'", "blank.txt", Marked(u"Hi Alice,\r\nsee the report.")},
    // Bodies: the older layout takes the text first, the newer the RTF text first.
    {Layout::Older, u"Inbox", u"12ab", nullptr, u"rows='28%,*'", "textbody.txt", Utf16(u"plain text")},
    {Layout::Newer, u"Inbox", u"12ab", nullptr, u"rows='28%,*'", "rtfbody.txt",
     "Gr\xc3\xbc\xc3\x9f" "e aus M\xc3\xbcnchen\r\nEnde."},
    {Layout::Newer, u"Inbox", u"12c", nullptr, u"rows='28%,*'", "blank.html", "<p>html</p>"},
    {Layout::Older, u"Contacts", u"20",
     u"  <tr>   <td height='20'><b>Full Name:</b>Dave Contact</td> </tr>"
     u"  <tr>   <td height='20'><b>First Name:</b >Dave</td> </tr>"
     u"  <tr>    <td height='20'><b>Last Name:</b> Contact</td> </tr>"
     u"  <tr>    <td height='20'><b>File As 2:</b> Dave Contact</td> </tr>"
     u"  <tr>    <td height='20'><b>E-Mail Addrees 1:</b> dave@example.com</td> </tr>"
     u"  <tr>    <td height='20'><b>E-Mail Addrees 2:</b> dave@example.com</td> </tr>"
     u"  <tr>    <td height='20'><b>Categories:</b> Friends Work </td> </tr>"
     u"  <tr>    <td height='20'><b>Birth Day:</b> Mar,04 1970 00:00:00</td> </tr>",
     u"cols='*,*'", "blank.html", ""},
    {Layout::Newer, u"Contacts", u"20",
     u"  <tr>   <td height='20'><b>Full Name:</b>Dave Contact</td> </tr>"
     u"  <tr>   <td height='20'><b>First Name:</b >Dave</td> </tr>"
     u"  <tr>    <td height='20'><b>Last Name:</b> Contact</td> </tr>"
     u"  <tr>    <td height='20'><b>File As 2:</b> Dave Contact</td> </tr>"
     u"  <tr>    <td height='20'><b>E-Mail Addrees 2:</b> dave@example.com</td> </tr>"
     u"  <tr>    <td height='20'><b>E-Mail Addrees 3:</b> dave3@example.com</td> </tr>"
     u"  <tr>    <td height='20'><b>Categories:</b> Friends Work </td> </tr>"
     u"  <tr>    <td height='20'><b>Birth Day:</b> Mar,04 1970 00:00:00</td> </tr>",
     u"cols='*,*'", "blank.txt", ""},
    {Layout::Older, u"Calendar", u"30",
     u"  <tr>   <td height='20'><b>From :</b>Alice Example</td> </tr>"
     u"  <tr>   <td height='20'><b>Subject: </b> Design review</td> </tr>"
     u"  <tr>   <td height='20'><b>Location : </b> Room 2</td> </tr>"
     u"  <tr>   <td height='20'><b>Start Date : </b> Jan,14 2010 14:00:00</td> </tr>"
     u"  <tr>   <td height='20'><b>End Date : </b> Jan,14 2010 15:30:00</td> </tr>"
     u"  <tr>   <td height='20'><b>Time Zone: </b> W. Europe</td> </tr>",
     u"cols='*,*'", "textbody.txt", Utf16(u"Agenda")},
    {Layout::Newer, u"Calendar", u"30",
     u"  <tr>   <td height='20'><b>From :</b>Alice Example</td> </tr>"
     u"  <tr>   <td height='20'><b>Subject: </b> Design review</td> </tr>"
     u"  <tr>   <td height='20'><b>Location : </b> Room 2</td> </tr>"
     u"  <tr>   <td height='20'><b>Start Date : </b> Jan,14 2010 14:00:00</td> </tr>"
     u"  <tr>   <td height='20'><b>End Date : </b> Jan,14 2010 15:30:00</td> </tr>"
     u"  <tr>   <td height='20'><b>Time Zone: </b> W. Europe</td> </tr>"
     u"  <tr>   <td height='20'><b>To: </b> bob@example.com,</td> </tr>",
     u"cols='*,*'", "blank.txt", Utf16(u"Agenda")},
    {Layout::Older, u"Tasks", u"40",
     u"  <tr>   <td height='20'><b>From :</b></td>   <td height='20'><b>Subject: </b> Send report</td>"
     u"   <td height='20'><b>Categories : </b> </td>   <td height='20'><b>Start Date : </b> </td>"
     u"   <td height='20'><b>Due Date : </b> </td>"
     u"   <td height='20'><b>Reminder Date : </b> Jan,08 2010 09:00:00</td> </tr>",
     u"cols='*,*'", "blank.txt", ""},
    {Layout::Newer, u"Tasks", u"40",
     u"  <tr>   <td height='20'><b>From :</b></td>   <td height='20'><b>Subject: </b> Send report</td>"
     u"   <td height='20'><b>Categories : </b> </td>   <td height='20'><b>Start Date : </b> </td>"
     u"   <td height='20'><b>Due Date : </b> </td>"
     u"   <td height='20'><b>Reminder Date : </b> Jan,08 2010 09:00:00</td> </tr>",
     u"cols='*,*'", "blank.txt", Utf16(u"......")},
    {Layout::Older, u"Journal", u"50",
     u"  <tr>   <td height='20'><b>From :</b>Alice Example</td> </tr>"
     u"  <tr>   <td height='20'><b>Subject: </b> Phone call</td> </tr>",
     u"rows='20%,*'", "textbody.txt", Utf16(u"Talked.")},
    // The newer layout shows a journal item as mail.
    {Layout::Newer, u"Journal", u"50",
     u"  <tr>   <td height='20'><b>From :</b>Alice Example&lt;alice@example.com,&gt;</td>"
     u"   <td height='20'><b>Date:</b ></td> </tr>"
     u"  <tr>   <td height='20'><b>Subject: </b> Phone call</td>    <td height='20'><b>To:</b> </td> </tr>",
     u"rows='28%,*'", "blank.txt", Marked(u"Talked.")},
    {Layout::Older, u"Notes", u"60",
     u"  <tr>   <td height='20'><b>From :</b></td> </tr>"
     u"  <tr>   <td height='20'><b>Subject: </b> Wi-Fi</td> </tr>",
     u"rows='30%,*'", "textbody.txt", Utf16(u"password: x")},
    {Layout::Newer, u"Notes", u"60", nullptr, nullptr, "blank.txt", Utf16(u"password: x")},
};

TEST(Preview, EveryKindInBothLayouts) {
  for (Layout layout : {Layout::Older, Layout::Newer}) {
    Previewer p(layout);
    for (const KindCase& c : kKindCases) {
      if (c.layout != layout) continue;
      SCOPED_TRACE(utf16_to_utf8(u16(c.folder) + u" " + c.key + (layout == Layout::Newer ? u" newer" : u" older")));
      p.ClearWork();
      const fs::path shown = p.Show(c.folder, c.key);
      EXPECT_EQ(Bytes(p.Work(c.body)), c.body_bytes);
      EXPECT_EQ(p.a.session.item.body_file, p.Work(c.body));
      if (c.frameset == nullptr) {
        // A newer-layout note: the body alone.
        EXPECT_EQ(shown, p.Work(c.body));
        EXPECT_FALSE(fs::exists(p.Work("header.html")));
        continue;
      }
      EXPECT_EQ(shown, p.Work("strEmlPath.html"));
      if (c.rows != nullptr) {
        EXPECT_EQ(p.HeaderRows(), c.rows);
      }
      EXPECT_EQ(Bytes(p.Work("strEmlPath.html")),
                Marked(u"<html><head></head><frameset " + u16(c.frameset) +
                       u" border='0'><frame src='header.html'  scrolling='auto' frameborder='1'><frame src='" +
                       FileUrl(p.Work(c.body)) + u"'></frameset></html>"));
    }
  }
}

TEST(Preview, AttachmentsWrittenWithTheirBytesInsideTheWorkingFolder) {
  for (Layout layout : {Layout::Older, Layout::Newer}) {
    SCOPED_TRACE(layout == Layout::Newer ? "newer" : "older");
    Previewer p(layout);
    p.Show(u"Inbox", u"12a");
    EXPECT_EQ(Bytes(p.Work("report.txt")), "the report");
    EXPECT_EQ(Bytes(p.Work("report (2).txt")), "a second file of that name");
    EXPECT_EQ(Bytes(p.Work(".._.._escape.txt")), "stays inside");
    EXPECT_EQ(Bytes(p.Work("big.bin")), BigAttachment());
    EXPECT_FALSE(fs::exists(p.dir / "escape.txt"));
    EXPECT_FALSE(fs::exists(p.dir.path().parent_path() / "escape.txt"));
  }
}

TEST(Preview, EachItemStartsFromNothing) {
  Previewer p(Layout::Older);
  p.Show(u"Inbox", u"12a");
  const std::string first = Bytes(p.Work("header.html"));
  // The same item again gives the same page.
  p.Show(u"Inbox", u"12a");
  EXPECT_EQ(Bytes(p.Work("header.html")), first);
  // A task marked as having attachments shows an empty list, not the mail's names.
  ItemRow task = p.Row(u"Tasks", u"40");
  task[7] = u"true";
  task[3] = u"0100000000000c01";
  p.a.Preview(task);
  EXPECT_NE(p.HeaderRows().find(u"<b>Attachment: </b><span color='red'></span>"), u16::npos);
  // An empty key shows nothing and writes nothing.
  fs::remove_all(p.a.session.working_folder);
  ItemRow empty = task;
  empty[0].clear();
  EXPECT_EQ(p.a.Preview(empty), fs::path());
  EXPECT_FALSE(fs::exists(p.a.session.working_folder));
}

TEST(Preview, OlderFallbackBodyFromTheListing) {
  Previewer p(Layout::Older);
  const ItemRow task = p.Row(u"Tasks", u"40");
  // The task has no body of its own: the listing's bodies with its key are shown.
  p.a.session.lists.listed_bodies.push({u"40", u"first\r\n"});
  p.a.session.lists.listed_bodies.push({u"4", u"not this"});
  p.a.session.lists.listed_bodies.push({u"40", u"second"});
  p.a.Preview(task);
  EXPECT_EQ(Bytes(p.Work("blank.txt")), Utf16(u"secondfirst\r\n"));
}

TEST(Preview, NewerItemWithoutItsBodyRowShowsNoOtherBody) {
  Previewer p(Layout::Newer);
  // "12" is a prefix of "12a" and "12ab": it must match neither.
  ItemRow row = p.Row(u"Inbox", u"12a");
  row[0] = u"12";
  EXPECT_EQ(p.a.Preview(row), p.Work("strEmlPath.html"));
  EXPECT_EQ(p.a.session.item.body_kind, kBodyNone);
  EXPECT_EQ(Bytes(p.Work("blank.txt")), "");
  EXPECT_EQ(p.a.session.item.attachment_names, u"");
  // A folder whose body table does not exist.
  row = p.Row(u"Inbox", u"12a");
  row[3] = u"Folders-9-999";
  EXPECT_EQ(p.a.Preview(row), p.Work("strEmlPath.html"));
  EXPECT_EQ(Bytes(p.Work("blank.txt")), "");
}

TEST(Preview, OlderRowWithoutRecordShowsNothing) {
  Previewer p(Layout::Older);
  ItemRow row = p.Row(u"Inbox", u"12a");
  row[2].clear();  // the lister found no "Msg" row for it
  EXPECT_EQ(p.a.Preview(row), fs::path());
  row[2] = u"999";
  EXPECT_EQ(p.a.Preview(row), fs::path());
}

}  // namespace
}  // namespace edbx
