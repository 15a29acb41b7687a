// Listing folders in both layouts, and the user's control of running jobs.

#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <thread>

#include "common/paths.hpp"
#include "pipeline/texts.hpp"
#include "tests/support/analysis_fixture.hpp"

namespace edbx {
namespace {

using edbforge::store::Layout;
using testing::Analysis;
using testing::TempDir;
using testing::WriteStore;

// Keys "12a" and "12ab": one must never find the other's row or attachments.
const char* kItems = R"({"intrinsic_long_value_limit": 200, "mailboxes": [
  {"name": "Alice Example", "owner": "Alice Example", "id": "0100000000000a1f", "folders": [
    {"name": "Inbox", "id": "0100000000000b01", "items": [
      {"key": "12ab", "subject": "Second", "from": {"name": "Carol", "address": "carol@example.org"},
       "sent": "2010-01-06T09:00:00Z", "body": "second body", "generate_headers": false,
       "attachments": [{"name": "b.txt", "text": "B", "id": "0100000000000c02"}]},
      {"key": "12a", "subject": "Report", "prefix": "RE: ", "from": "Bob Example <bob@example.com>",
       "to": ["Alice Example <alice@example.com>"], "sent": "2010-01-05T14:03:59Z",
       "received": "2010-01-05T15:00:00Z", "body": "first body",
       "headers": "Received: x\r\nFrom: \"Bob Example\" <bob@example.com>\r\nTo: \"Alice Example\" <alice@example.com>\r\nCc: Carol <carol@example.org>\r\nReply-To: nobody@example.com\r\nSubject: RE: Report\r\n\r\n",
       "attachments": [{"name": "../a.txt", "text": "A", "id": "0100000000000c01"}]},
      {"class": "IPM.Configuration.WorkHours", "subject": "hidden"},
      {"class": "IPM.Contact", "subject": "Dave Contact", "key": "5"}]}]}]})";

TEST(Listing, OlderLayoutRowsMatchItemsExactly) {
  TempDir dir;
  Analysis a(dir);
  ASSERT_EQ(a.Run(WriteStore(dir, kItems)), AnalysisOutcome::kSuccess);
  const auto rows = a.List({u"Alice Example", u"Inbox"});
  ASSERT_EQ(rows.size(), 3u);  // the configuration item is not listed
  // Inserted at their article numbers 1, 2 and 4 in turn.
  EXPECT_EQ(rows[0], (ItemRow{u"12ab", u"mail", u"0", u"0100000000000c02", u"Carol<carol@example.org>", u"Second",
                              u"Jan,06 2010 09:00:00", u"true", u"", u"", u""}));
  EXPECT_EQ(rows[1], (ItemRow{u"12a", u"mail", u"1", u"0100000000000c01", u"Bob Example [bob@example.com]",
                              u"RE: Report", u"Jan,05 2010 14:03:59", u"true", u"Alice Example [alice@example.com]",
                              u"Carol [carol@example.org]", u""}));
  EXPECT_EQ(rows[2][0], u"5");
  EXPECT_EQ(rows[2][1], u"contact");
  EXPECT_EQ(rows[2][2], u"3");
  // Attachment names are made safe when collected.
  std::vector<u16> names;
  for (const auto& n : a.session.lists.attachments) names.push_back(n.file_name);
  EXPECT_EQ(names, (std::vector<u16>{u".._a.txt", u"b.txt"}));
  // Bodies of the listed items are kept for the preview.
  EXPECT_EQ(a.session.lists.listed_bodies.size(), 2u);
}

// Each row's recipients come from its own transport headers, read in memory; the header
// file is left holding those of the last row that had any, as rewriting it per row did.
TEST(Listing, HeaderFileEndsWithTheLastRowsHeaders) {
  const char* items = R"({"intrinsic_long_value_limit": 100, "mailboxes": [
    {"name": "Alice Example", "owner": "Alice Example", "id": "0100000000000a1f", "folders": [
      {"name": "Inbox", "id": "0100000000000b01", "items": [
        {"key": "a1", "subject": "One", "from": "Bob <bob@example.com>", "sent": "2010-01-05T14:03:59Z",
         "headers": "From: Bob <bob@example.com>\r\nTo: First <first@example.com>\r\nCc: Carol <carol@example.org>\r\n\r\n"},
        {"key": "a2", "subject": "Two", "from": "Bob <bob@example.com>", "sent": "2010-01-05T14:04:00Z",
         "headers": "From: Bob <bob@example.com>\r\nTo: Second <second@example.com>\r\n\r\n"},
        {"key": "a3", "subject": "Three", "from": "Bob <bob@example.com>", "sent": "2010-01-05T14:05:00Z",
         "generate_headers": false}]}]}]})";
  TempDir dir;
  Analysis a(dir);
  ASSERT_EQ(a.Run(WriteStore(dir, items)), AnalysisOutcome::kSuccess);
  const auto rows = a.List({u"Alice Example", u"Inbox"});
  ASSERT_EQ(rows.size(), 3u);
  std::map<u16, std::pair<u16, u16>> to_cc;
  for (const auto& row : rows) to_cc[row[0]] = {row[8], row[9]};
  EXPECT_EQ(to_cc[u"a1"], std::make_pair(u16(u"First [first@example.com]"), u16(u"Carol [carol@example.org]")));
  EXPECT_EQ(to_cc[u"a2"], std::make_pair(u16(u"Second [second@example.com]"), u16()));
  EXPECT_EQ(to_cc[u"a3"].second, u"");  // nothing of a2's headers is carried over
  EXPECT_EQ(ReadWholeFile(dir / "Vestra" / "m_S7d.txt").value_or(""), "From: Bob <bob@example.com>\r\nTo: Second <second@example.com>\r\n\r\n");
}

TEST(Listing, NewerLayoutRowsComeFromTheHeaderList) {
  TempDir dir;
  Analysis a(dir);
  ASSERT_EQ(a.Run(WriteStore(dir, kItems, "newer.edb", Layout::Newer)), AnalysisOutcome::kSuccess);
  const auto rows = a.List({u"Alice Example", u"Inbox"});
  ASSERT_EQ(rows.size(), 3u);
  // Headers were pushed: the last one read comes first. The delivery time comes before
  // the submit time.
  EXPECT_EQ(rows[0][0], u"5");
  EXPECT_EQ(rows[2], (ItemRow{u"12ab", u"mail", u"3", u"Folders-1-A1F", u"Carol", u"Second", u"Jan,06 2010 09:00:00",
                              u"true", u"100000000000b01", u"Alice Example", u"Inbox"}));
  EXPECT_EQ(rows[1][4], u"Bob Example");
  EXPECT_EQ(rows[1][5], u"RE: Report");
  EXPECT_EQ(rows[1][6], u"Jan,05 2010 15:00:00");
  // The bodies and attachments belong to their own items.
  const BodyNode2010* body = a.session.lists.FindBody(u"12a", std::nullopt);
  ASSERT_NE(body, nullptr);
  EXPECT_EQ(body->attachment_key, u"0100000000000c01");
  EXPECT_EQ(a.session.lists.FindBody(u"12", std::nullopt), nullptr);
}

TEST(Listing, PublicStoresAreListedInBothLayouts) {
  const char* kPublic = R"({"public": true, "public_folders": [{"name": "Sales", "items": [
      {"subject": "Targets", "from": "Bob <bob@example.com>", "sent": "2010-01-07T09:00:00Z", "body": "Q1"}]}]})";
  for (const Layout layout : {Layout::Older, Layout::Newer}) {
    TempDir dir;
    Analysis a(dir);
    ASSERT_EQ(a.Run(WriteStore(dir, kPublic, "public.edb", layout)), AnalysisOutcome::kSuccess);
    const auto rows = a.List({u"Public Folder", u"Sales"});
    ASSERT_EQ(rows.size(), 1u) << (layout == Layout::Older ? "older" : "newer");
    EXPECT_EQ(rows[0][5], u"Targets");
  }
}

TEST(Listing, RootAndMailboxItemsListNothing) {
  TempDir dir;
  Analysis a(dir);
  ASSERT_EQ(a.Run(WriteStore(dir, kItems)), AnalysisOutcome::kSuccess);
  EXPECT_TRUE(a.List({u"Alice Example"}).empty());
  EXPECT_TRUE(a.List({}).empty());
}

std::string BigStore(int items) {
  std::string j = R"({"mailboxes": [{"name": "Alice", "folders": [{"name": "Big", "items": [)";
  j += R"({"subject": "Bulk", "from": "Bob <bob@example.com>", "body": "text", "repeat": )" + std::to_string(items) + "}";
  j += R"(]}, {"name": "Small", "items": [{"subject": "Only", "from": "Carol <carol@example.org>"}]}]}]})";
  return j;
}

TEST(RunControl, PausedAnalysisMakesNoProgressAndFinishesAfterResume) {
  TempDir dir;
  const auto db = WriteStore(dir, BigStore(4000));
  Analysis a(dir);
  a.session.database_path = db;
  ASSERT_TRUE(a.control->StartAnalysis());
  a.control->ToggleStopResume();  // answered Yes
  EXPECT_EQ(a.dialog.StopButtonCaption(), texts::kStopCaptionResume);
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  const std::size_t before = a.dialog.ProgressPositions().size();
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_EQ(a.dialog.ProgressPositions().size(), before);
  EXPECT_TRUE(a.control->Busy());
  a.control->ToggleStopResume();
  EXPECT_EQ(a.dialog.StopButtonCaption(), texts::kStopCaptionStop);
  a.control->Wait();
  EXPECT_EQ(a.session.outcome, AnalysisOutcome::kSuccess);
  EXPECT_EQ(a.session.lists.message_keys.size(), 4001u);
  // The questions and pages, exactly.
  std::vector<u16> questions;
  for (const auto& e : a.dialog.Events())
    if (e.kind == HeadlessDialog::Event::Kind::kMessageBox) questions.push_back(e.text + u"|" + e.caption);
  ASSERT_GE(questions.size(), 2u);
  EXPECT_EQ(questions[0], u16(texts::kStopQuestion) + u"|" + texts::kStopCaption);
  EXPECT_EQ(questions[1], u16(texts::kResumeQuestion) + u"|" + texts::kResumeCaption);
}

TEST(RunControl, StopDoesNothingWithoutAJobOrWhenAnsweredNo) {
  TempDir dir;
  Analysis a(dir);
  a.control->ToggleStopResume();
  EXPECT_EQ(a.dialog.StopButtonCaption(), texts::kStopCaptionStop);
  EXPECT_TRUE(a.dialog.Events().empty());
  const auto db = WriteStore(dir, BigStore(3000));
  a.dialog.SetQuestionAnswer(kAnswerNo);
  a.session.database_path = db;
  ASSERT_TRUE(a.control->StartAnalysis());
  a.control->ToggleStopResume();
  EXPECT_EQ(a.dialog.StopButtonCaption(), texts::kStopCaptionStop);
  EXPECT_FALSE(a.session.job.Paused());
  a.control->Wait();
  EXPECT_EQ(a.session.outcome, AnalysisOutcome::kSuccess);
}

TEST(RunControl, TheNewerSelectionWinsOverARunningListing) {
  TempDir dir;
  Analysis a(dir);
  ASSERT_EQ(a.Run(WriteStore(dir, BigStore(5000))), AnalysisOutcome::kSuccess);
  a.control->OnFolderSelected(a.Find({u"Alice", u"Big"}));
  a.control->OnFolderSelected(a.Find({u"Alice", u"Small"}));
  a.control->Wait();
  const auto rows = a.dialog.Rows();
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0][5], u"Only");
}

}  // namespace
}  // namespace edbx
