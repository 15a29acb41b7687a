// The analysis end to end on stores written by edbforge.

#include <gtest/gtest.h>

#include "common/paths.hpp"
#include "pipeline/texts.hpp"
#include "tests/support/analysis_fixture.hpp"
#include "tools/edbforge/ese/database.hpp"

namespace edbx {
namespace {

using testing::Analysis;
using testing::TempDir;
using testing::WriteStore;
using edbforge::store::Layout;

const char* kStore = R"({
  "mailboxes": [
    {"name": "Alice Example", "owner": "Alice Example", "id": "0100000000000a1f", "folders": [
      {"name": "Inbox", "id": "0100000000000b01", "items": [
        {"subject": "Report", "from": "Bob Example <bob@example.com>", "to": ["alice@example.com"],
         "sent": "2010-01-05T14:03:59Z", "body": "Hi", "attachments": [{"name": "a.txt", "text": "hello"}]}],
       "folders": [{"name": "Projects", "id": "0100000000000b02"}]},
      {"name": "Calendar", "class": "IPF.Appointment", "id": "0100000000000b03"}]},
    {"name": "Smith, John", "owner": "John Smith", "id": "0100000000000a20", "folders": [
      {"name": "Contacts", "class": "IPF.Contact", "id": "0100000000000b04"}]}]})";

std::vector<u16> Expected(std::initializer_list<u16> texts) { return texts; }

TEST(Analysis, OlderPrivateStoreRunsEveryStepAndBuildsTheTree) {
  TempDir dir;
  Analysis a(dir);
  ASSERT_EQ(a.Run(WriteStore(dir, kStore)), AnalysisOutcome::kSuccess);
  const u16 folder_step = texts::kStatusStep4Folder;
  EXPECT_EQ(a.dialog.StatusTexts(),
            Expected({texts::kStatusStep1, texts::kStatusStep2, texts::kStatusStep3, texts::kStatusStep4,
                      folder_step + u")", folder_step + u"NON_IPM_SUBTREE)", folder_step + u"Calendar)",
                      folder_step + u"Inbox)", folder_step + u"Projects)", folder_step + u")",
                      folder_step + u"NON_IPM_SUBTREE)", folder_step + u"Contacts)", texts::kStatusStep5Mails,
                      texts::kStatusStep5Attachments, texts::kStatusCompleted, u""}));
  EXPECT_EQ(a.session.store_type, u"private");
  EXPECT_EQ(a.session.format_revision, 12u);
  EXPECT_EQ(a.session.attachment_table_name, u"Attachment");
  // Names, icons and nesting; a comma in a mailbox name is shown as "_".
  EXPECT_EQ(a.dialog.Node(a.Find({u"Alice Example", u"Inbox"})).icon, 7);
  EXPECT_EQ(a.dialog.Node(a.Find({u"Alice Example", u"Calendar"})).icon, 3);
  EXPECT_NE(a.Find({u"Alice Example", u"Inbox", u"Projects"}), kNoTreeItem);
  EXPECT_NE(a.Find({u"Smith_ John", u"Contacts"}), kNoTreeItem);
  EXPECT_EQ(a.Find({u"Smith_ John", u"Inbox"}), kNoTreeItem);
  // The item keys and attachments were collected.
  ASSERT_EQ(a.session.lists.message_keys.size(), 1u);
  ASSERT_EQ(a.session.lists.attachments.size(), 1u);
  EXPECT_EQ(a.session.lists.attachments.begin()->file_name, u"a.txt");
  // The end message and the controls.
  const auto events = a.dialog.Events();
  const auto box = std::find_if(events.begin(), events.end(),
                                [](const auto& e) { return e.kind == HeadlessDialog::Event::Kind::kMessageBox; });
  ASSERT_NE(box, events.end());
  EXPECT_EQ(box->text, texts::kSuccessMessage);
  EXPECT_EQ(box->caption, texts::kSuccessCaption);
  EXPECT_TRUE(a.dialog.Enabled(Control::kFolderTree));
  EXPECT_TRUE(a.dialog.Enabled(Control::kSaveButton));
}

TEST(Analysis, NewerPrivateStoreListsPerMailboxTablesLastFoundFirst) {
  TempDir dir;
  Analysis a(dir);
  ASSERT_EQ(a.Run(WriteStore(dir, kStore, "newer.edb", Layout::Newer)), AnalysisOutcome::kSuccess);
  const u16 folders = texts::kStatusFolders2010, headers = texts::kStatusHeaders2010, bodies = texts::kStatusBodies2010;
  EXPECT_EQ(a.dialog.StatusTexts(),
            Expected({texts::kStatusStep1, texts::kStatusStep2, texts::kStatusStep3, texts::kStatusNewerLayout,
                      folders + u"Folders-1-A20", folders + u"Folders-1-A1F", headers + u"MsgHeader-1-A20",
                      headers + u"MsgHeader-1-A1F", bodies + u"Body-1-A20", bodies + u"Body-1-A1F",
                      texts::kStatusCompleted, texts::kStatusCompleted, u""}));
  EXPECT_EQ(a.session.format_revision, 17u);
  // Folders hang flat under their mailbox.
  EXPECT_NE(a.Find({u"Alice Example", u"Projects"}), kNoTreeItem);
  EXPECT_EQ(a.dialog.Node(a.Find({u"Alice Example", u"Calendar"})).icon, 3);
  ASSERT_EQ(a.session.lists.mailboxes.size(), 2u);
  EXPECT_EQ(a.session.lists.mailboxes[0].mailbox_key_2010, u16(u"1-A1F"));
  EXPECT_EQ(a.session.lists.headers_2010.size(), 1u);
  EXPECT_EQ(a.session.lists.bodies_2010.size(), 1u);
  EXPECT_EQ(a.session.lists.attachments_2010.size(), 1u);
}

TEST(Analysis, PublicStoresHangUnderPublicFolder) {
  const char* kPublic = R"({"public": true, "public_folders": [
    {"name": "Sales", "folders": [{"name": "Leads", "class": "IPF.Contact"}]}, {"name": "Support"}]})";
  for (const Layout layout : {Layout::Older, Layout::Newer}) {
    TempDir dir;
    Analysis a(dir);
    ASSERT_EQ(a.Run(WriteStore(dir, kPublic, "public.edb", layout)), AnalysisOutcome::kSuccess);
    EXPECT_EQ(a.session.store_type, u"public");
    ASSERT_EQ(a.session.lists.mailboxes.size(), 1u);
    EXPECT_EQ(a.session.lists.mailboxes[0].mailbox_id, u"public_folder");
    EXPECT_NE(a.Find({u"Public Folder", u"Support"}), kNoTreeItem);
    if (layout == Layout::Older) {
      EXPECT_NE(a.Find({u"Public Folder", u"Sales", u"Leads"}), kNoTreeItem);
    } else {
      EXPECT_NE(a.Find({u"Public Folder", u"Leads"}), kNoTreeItem);  // flat
    }
  }
}

TEST(Analysis, OlderFolderTreeEdgeCases) {
  // A folder deeper than 26 levels, a folder without a name, names with "," and "+",
  // a lower-case container class, a sibling whose name extends another's with "-".
  std::string deep = R"({"name": "L1", "folders": [)";
  std::string close = "]}";
  for (int i = 2; i <= 27; ++i) {
    deep += R"({"name": "L)" + std::to_string(i) + R"(", "folders": [)";
    close += "]}";
  }
  const std::string json = R"({"mailboxes": [{"name": "Alice", "folders": [
      {"name": "Inbox", "folders": [{"name": "Sub"}]},
      {"name": "Inbox-Old"},
      {"name": "", "class": "IPF.Note", "path": "/NoName"},
      {"name": "A, B + C", "class": "ipf.appointment"},
      )" + deep + close.substr(0, close.size() - 2) + "]}]}]}";
  TempDir dir;
  Analysis a(dir);
  ASSERT_EQ(a.Run(WriteStore(dir, json)), AnalysisOutcome::kSuccess);
  // "Sub" stays under "Inbox" although "Inbox-Old" sorts between them.
  EXPECT_NE(a.Find({u"Alice", u"Inbox", u"Sub"}), kNoTreeItem);
  EXPECT_TRUE(a.dialog.Node(a.Find({u"Alice", u"Inbox-Old"})).children.empty());
  // The unnamed folder is "Unknown" and its row number; the lower-case class gives "Folder".
  const auto& alice = a.dialog.Node(a.Find({u"Alice"}));
  bool unknown = false;
  for (TreeItem c : alice.children) unknown |= starts_with(a.dialog.Node(c).name, u"Unknown");
  EXPECT_TRUE(unknown);
  const TreeItem abc = a.Find({u"Alice", u"A, B + C"});
  ASSERT_NE(abc, kNoTreeItem);
  EXPECT_EQ(a.dialog.Node(abc).icon, 0);
  // Levels 1 to 26 are inserted, level 27 is not.
  std::vector<u16> path{u"Alice"};
  for (int i = 1; i <= 26; ++i) path.push_back(u"L" + decimal(i));
  EXPECT_NE(a.Find(path), kNoTreeItem);
  path.push_back(u"L27");
  EXPECT_EQ(a.Find(path), kNoTreeItem);
}

TEST(Analysis, MsgTableAtRevision17TakesTheOlderLayoutAsRevision15) {
  TempDir dir;
  auto desc = edbforge::store::ParseDescription(kStore, dir.path());
  desc.options.format_revision = 17;
  desc.options.page_size = 32768;
  edbforge::store::BuildStore(desc, dir / "rev17.edb");
  Analysis a(dir);
  ASSERT_EQ(a.Run(dir / "rev17.edb"), AnalysisOutcome::kSuccess);
  EXPECT_EQ(a.session.format_revision, 15u);
  EXPECT_NE(a.Find({u"Alice Example", u"Inbox", u"Projects"}), kNoTreeItem);
}

TEST(Analysis, FilesThatAreNotStoresEndWithTheFailureMessage) {
  TempDir dir;
  const auto good = WriteStore(dir, kStore);
  std::string bytes = ReadWholeFile(good).value();
  struct Case {
    const char* name;
    std::string data;
  };
  const Case cases[] = {
      {"text.edb", "this is not a database\n"},
      {"empty.edb", ""},
      {"truncated.edb", bytes.substr(0, bytes.size() / 3)},
      {"header-only.edb", bytes.substr(0, 8192 * 2)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(WriteWholeFile(dir / c.name, c.data));
    Analysis a(dir);
    const AnalysisOutcome outcome = a.Run(dir / c.name);
    // Truncated files may still open; what cannot be read contributes nothing. No crash,
    // no hang, and an end message in every case.
    EXPECT_NE(outcome, AnalysisOutcome::kNone);
    if (std::string(c.name) != "truncated.edb") {
      EXPECT_EQ(outcome, AnalysisOutcome::kFailure);
      EXPECT_EQ(a.dialog.StatusTexts().back(), texts::kStatusFailure);
      EXPECT_FALSE(a.dialog.Enabled(Control::kSaveButton));
      EXPECT_TRUE(a.dialog.Enabled(Control::kBrowseButton));
    }
  }
}

TEST(Analysis, TablesBeyondTheLibrarysPageLimitAreReadByOurReader) {
  // libesedb refuses to count the records of a table of more than 16,384 leaf pages;
  // our own reader serves such a table, so it is walked and not reported as skipped.
  TempDir dir;
  edbforge::ese::WriterOptions o;
  o.page_size = 4096;
  o.format_revision = 12;
  {
    edbforge::ese::DatabaseWriter w(dir / "limit.edb", o);
    edbforge::ese::TableDef mailbox;
    mailbox.name = "Mailbox";
    mailbox.columns = {edbforge::ese::ColumnDef("Q6764", edbforge::ese::ColumnType::Currency)};
    w.add_table(mailbox);
    edbforge::ese::TableDef msg;
    msg.name = "Msg";
    msg.columns = {edbforge::ese::ColumnDef("Pad", edbforge::ese::ColumnType::LongBinary)};
    const auto t = w.add_table(msg);
    auto pad = edbforge::ese::val::Bin(std::string(3000, 'p'));
    pad.placement = edbforge::ese::LongValuePlacement::InRecord;
    for (int i = 0; i < 16400; ++i) w.add_row(t, edbforge::ese::Row().set(0, pad));
    w.finish();
  }
  {
    // With the library asked first, its refusal hands the table to our reader.
    const auto db = EseDatabase::Open(dir / "limit.edb");
    ASSERT_TRUE(db);
    SetRecordReader(RecordReader::kLibraryFirst);
    EseTable msg;
    ASSERT_EQ(db->TableNamed(u"Msg", msg), 1);
    EXPECT_EQ(msg.RecordCount(), 16400);
    SetRecordReader(RecordReader::kOwnFirst);
    EXPECT_TRUE(msg.Problems().empty());
  }
  Analysis a(dir);
  ASSERT_EQ(a.Run(dir / "limit.edb"), AnalysisOutcome::kSuccess);
  for (const auto& e : a.dialog.Events()) {
    EXPECT_FALSE(contains(e.text, u"Table Msg skipped")) << utf16_to_utf8(e.text);
    EXPECT_FALSE(contains(e.text, u"leaf pages")) << utf16_to_utf8(e.text);
  }
}

TEST(Analysis, MailboxRowsDriveTheProgressBarInCycles) {
  std::string json = R"({"mailboxes": [)";
  for (int i = 0; i < 250; ++i) json += std::string(i ? "," : "") + R"({"name": "M)" + std::to_string(i) + R"("})";
  json += "]}";
  TempDir dir;
  Analysis a(dir);
  ASSERT_EQ(a.Run(WriteStore(dir, json)), AnalysisOutcome::kSuccess);
  const auto p = a.dialog.ProgressPositions();
  // The Mailbox walk comes first: 0..100, 1..100, 1..49, then 0.
  std::vector<int> expected;
  for (int i = 0; i <= 100; ++i) expected.push_back(i);
  for (int i = 1; i <= 100; ++i) expected.push_back(i);
  for (int i = 1; i <= 49; ++i) expected.push_back(i);
  expected.push_back(0);
  ASSERT_GE(p.size(), expected.size());
  EXPECT_EQ(std::vector<int>(p.begin(), p.begin() + static_cast<long>(expected.size())), expected);
}

TEST(Analysis, StatusPagesAreWrittenAsAsciiAndNeverThroughALink) {
  TempDir dir;
  const auto db = WriteStore(dir, kStore);
  Analysis a(dir);
  // A link planted under every name the pages could take must not be followed.
  const fs::path victim = dir / "victim";
  ASSERT_TRUE(WriteWholeFile(victim, "keep"));
  for (int r = 0; r < 32768; r += 1) fs::create_symlink(victim, dir / ("temp" + std::to_string(r) + ".html"));
  ASSERT_EQ(a.Run(db), AnalysisOutcome::kSuccess);
  EXPECT_EQ(ReadWholeFile(victim).value(), "keep");
  // Without links the page holds exactly the ASCII text.
  TempDir clean;
  Analysis b(clean);
  ASSERT_EQ(b.Run(db), AnalysisOutcome::kSuccess);
  EXPECT_EQ(ReadWholeFile(b.session.current_page_path).value(), utf16_to_utf8(texts::kPageCompleted));
  EXPECT_EQ(b.dialog.Navigations().back(), b.session.current_page_path);
}

TEST(Analysis, ASecondRunHoldsOnlyTheSecondDatabase) {
  TempDir dir;
  const auto first = WriteStore(dir, kStore, "first.edb");
  const auto second = WriteStore(dir, R"({"mailboxes": [{"name": "Zed", "folders": [{"name": "Inbox"}]}]})", "second.edb");
  Analysis a(dir);
  ASSERT_EQ(a.Run(first), AnalysisOutcome::kSuccess);
  ASSERT_EQ(a.Run(second), AnalysisOutcome::kSuccess);
  ASSERT_EQ(a.session.lists.mailboxes.size(), 1u);
  EXPECT_EQ(a.session.lists.mailboxes[0].display_name, u"Zed");
  EXPECT_TRUE(a.session.lists.message_keys.empty());
  for (const auto& f : a.session.lists.tree_folders) EXPECT_EQ(f.mailbox_display, u"Zed");
}

}  // namespace
}  // namespace edbx
