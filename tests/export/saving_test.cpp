// Save runs over small stores with a stub saver that keeps what it was handed: the
// launch parameter and the record files of every item, in order.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <fstream>

#include "common/paths.hpp"
#include "export/save_records.hpp"
#include "export/save_run.hpp"
#include "export/savers.hpp"
#include "tests/support/analysis_fixture.hpp"

namespace edbx {
namespace {

using testing::Analysis;
using testing::TempDir;
using testing::WriteStore;
using edbforge::store::Layout;

// One item of every kind the dispatcher tells apart. The mail has a Cc in its transport
// headers and two attachments; the note has three lines and a comma.
const char* kStore = R"({"intrinsic_long_value_limit": 200, "mailboxes": [
  {"name": "Alice Example", "owner": "Alice Example", "folders": [
    {"name": "Inbox", "items": [
      {"key": "12a", "subject": "Re-view: done?", "from": {"name": "Bob Example", "address": "bob@example.com"},
       "to": [{"name": "Alice Example", "address": "alice@example.com"}], "sent": "2010-01-05T14:03:59Z",
       "body": "first body",
       "headers": "Received: from mail.example.com by mx.example.com with ESMTP id 0123456789; Tue, 5 Jan 2010 14:03:59 +0000\r\nFrom: \"Bob Example\" <bob@example.com>\r\nTo: \"Alice Example\" <alice@example.com>\r\nCc: Carol <carol@example.org>\r\nSubject: Re-view: done?\r\n\r\n",
       "attachments": [{"name": "a.txt", "text": "AAA", "id": "0100000000000c01"},
                       {"name": "b.txt", "text": "BB", "id": "0100000000000c02"}]},
      {"key": "12b", "subject": "Plain", "from": {"name": "Carol", "address": "carol@example.org"},
       "sent": "2010-01-06T09:00:00Z", "body": "second body"},
      {"key": "20", "class": "IPM.DistList", "subject": "Team", "from": {"name": "Bob Example", "address": "bob@example.com"}}]},
    {"name": "Contacts", "class": "IPF.Contact", "items": [
      {"key": "30", "class": "IPM.Contact", "subject": "Jones, Carol",
       "properties": {"S3001": "Carol Jones", "S3a06": "Carol", "S3a11": "Jones", "S3a16": "Jones, Partners",
                      "S3a29": "1 Main St\r\nSuite 2", "S3003": "carol@example.org"}}]},
    {"name": "Calendar", "class": "IPF.Appointment", "items": [
      {"key": "40", "class": "IPM.Appointment", "subject": "Dentist", "body": "Check-up.",
       "properties": {"S810c": "Dr. Schmidt", "T818f": "2010-01-19T08:30:00Z", "T814d": "2010-01-19T09:00:00Z",
                      "S8201": "(GMT+01:00) Berlin"}}]},
    {"name": "Tasks", "class": "IPF.Task", "items": [
      {"key": "50", "class": "IPM.Task", "subject": "File taxes", "sent": "2010-11-05T10:00:00Z",
       "from": {"name": "Alice Example", "address": "alice@example.com"},
       "properties": {"S8122": "Alice Example", "T8198": "2010-11-30T00:00:00Z"}}]},
    {"name": "Notes", "class": "IPF.StickyNote", "items": [
      {"key": "60", "class": "IPM.StickyNote", "subject": "Shopping", "sent": "2010-11-05T10:00:00Z",
       "from": {"name": "Alice Example", "address": "alice@example.com"}, "body": "milk, eggs\r\nbread\r\ncoffee"}]},
    {"name": "Journal", "class": "IPF.Journal", "items": [
      {"key": "70", "class": "IPM.Activity", "subject": "Phone call", "from": {"name": "Bob Example", "address": "bob@example.com"}}]}]}]})";

/// A saver that appends its parameter to OUT/calls and copies the record files (and the
/// eml file the record names) to OUT/<n>/; exits with the status in OUT/exit, if any.
void WriteStubSaver(const fs::path& program_folder) {
  const fs::path saver = program_folder / "mailsaving";
  std::ofstream(saver) << R"sh(#!/bin/sh
out="$MAILSAVING_OUT"; mkdir -p "$out"
echo "$1" >> "$out/calls"
n=$(wc -l < "$out/calls")
mkdir -p "$out/$n"
for f in mailsaving.txt conatctsaving.txt mailsaving.values.json; do
  [ -f "$MAILSAVING_RECORDS/$f" ] && cp "$MAILSAVING_RECORDS/$f" "$out/$n/$f"
done
[ -f "$out/sleep" ] && sleep "$(cat "$out/sleep")"
[ -f "$out/exit" ] && exit "$(cat "$out/exit")"
exit 0
)sh";
  ::chmod(saver.c_str(), 0755);
}

std::vector<std::string> Lines(const fs::path& file) {
  std::vector<std::string> lines;
  std::ifstream in(file);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::vector<std::string> Sorted(std::vector<std::string> v) {
  std::sort(v.begin(), v.end());
  return v;
}

std::string Bytes(const fs::path& file) { return ReadWholeFile(file).value_or(std::string()); }
/// A record as UTF-8 text, its mark checked.
std::string RecordOf(const fs::path& file) {
  const std::string bytes = Bytes(file);
  EXPECT_EQ(bytes.substr(0, 2), "\xFF\xFE") << file;
  return utf16_to_utf8(utf16le_from_bytes(bytes.substr(2)));
}

struct SaveFixture {
  explicit SaveFixture(Layout layout = Layout::Older) : analysis(dir) {
    fs::create_directories(dir / "program");
    analysis.session.program_folder = dir / "program";
    WriteStubSaver(dir / "program");
    EXPECT_EQ(analysis.Run(WriteStore(dir, kStore, "store.edb", layout)), AnalysisOutcome::kSuccess);
  }
  SaveTotals Save(std::vector<SaveKind> kinds = {}) {
    SaveRequest request;
    request.kinds = std::move(kinds);
    request.output_root = dir / "out";
    return RunSaveJob(analysis.session, request);
  }
  std::string Wd() const { return (dir / "Vestra").string(); }
  /// The calls and, by parameter, the first call's folder.
  std::vector<std::string> Calls() const { return Lines(dir / "out" / "calls"); }
  fs::path CallFolder(const std::string& parameter) const {
    const auto calls = Calls();
    for (std::size_t i = 0; i < calls.size(); ++i)
      if (calls[i] == parameter) return dir / "out" / std::to_string(i + 1);
    return {};
  }

  TempDir dir;
  Analysis analysis;
};

TEST(Saving, EveryKindIsHandedOverWithItsRecordByteForByte) {
  SaveFixture f;
  const SaveTotals totals = f.Save();
  EXPECT_EQ(Sorted(f.Calls()), (std::vector<std::string>{"appointment", "contact", "mailimport", "mailimport",
                                                         "mailimport", "notes", "task"}));
  const std::string wd = f.Wd();
  // Mail: its own Cc and attachments, the cleaned subject, the rewritten To.
  EXPECT_EQ(RecordOf(f.CallFolder("mailimport") / "mailsaving.txt"),
            "exFolderPath:Alice Example\\Inbox\r\nFolderPath:Alice Example\\Inbox\r\n"
            "ATTA:" + wd + "/b.txt;" + wd + "/a.txt;\r\nSUBJECT:Re view: done \r\n"
            "TO:Alice Example<alice@example.com>,\r\nCC:Carol [carol@example.org]\r\nBCC:\r\nTYPE:txt\r\n"
            "DATE:Jan,05 2010 14:03:59\r\nPATH:" + wd + "/12a.eml\r\nBPATH:" + wd + "/textbody.txt\r\n");
  // The subject as stored reaches the saver through the side file.
  EXPECT_NE(Bytes(f.CallFolder("mailimport") / "mailsaving.values.json").find("\"SUBJECT\":\"Re-view: done?\""),
            std::string::npos);
  // Contact: the card of 50 fields with its escapes, then the short record.
  const std::string card = RecordOf(f.CallFolder("contact") / "conatctsaving.txt");
  std::string expected_card = "Carol Jones<br>Carol<br><br>Jones<br>Jonescama Partners<br><br>Jonescama Carol<br>"
                              "<br><br>carol@example.org<br>";
  for (int i = 11; i <= 30; ++i) expected_card += "<br>";
  expected_card += "1 Main St\r<newlinebreak>Suite 2<br>";
  for (int i = 32; i <= 50; ++i) expected_card += "<br>";
  EXPECT_EQ(card, expected_card);
  EXPECT_EQ(RecordOf(f.CallFolder("contact") / "mailsaving.txt"),
            "xxFolderPath:Alice Example\\Contacts\r\nFolderPath:Alice Example\\Contacts\r\nBody:" + wd +
                "/blank.txt\r\nTYPE:txt\r\n");
  EXPECT_EQ(RecordOf(f.CallFolder("appointment") / "mailsaving.txt"),
            "exFolderPath:Alice Example\\Calendar\r\nFolderPath:Alice Example\\Calendar\r\nSUBJECT:Dentist\r\n"
            "LOCATION:Dr. Schmidt\r\nSTARTDATE:Jan,19 2010 08:30:00\r\nENDDATE:Jan,19 2010 09:00:00\r\n"
            "ATTACHMENT:\r\nTYPE:txt\r\ntimezone:(GMT+01:00) Berlin\r\nBody:" + wd + "/textbody.txt\r\n");
  // Task: LF line ends, the month-numbered date standing in for the missing start.
  EXPECT_EQ(RecordOf(f.CallFolder("task") / "mailsaving.txt"),
            "FolderPath:Alice Example\\Tasks\nSUBJECT:File taxes\nFROM:Alice Example\n"
            "STARTDATE:11,05 2010 10:00:00\nDUEDATE:Nov,30 2010 00:00:00\nOWNER:Alice Example\nTYPE:txt\nBody:" +
                wd + "/blank.txt\n");
  EXPECT_EQ(RecordOf(f.CallFolder("notes") / "mailsaving.txt"),
            "exFolderPath:Alice Example\\Notes\r\nFolderPath:Alice Example\\Notes\r\nSUBJECT:Shopping\r\n"
            "FROM:Alice Example\r\nDATE:11,05 2010 10:00:00\r\nTYPE:txt\r\n"
            "Body:milk\\cama eggs<newlinebreak>bread<newlinebreak>coffee<newlinebreak>\r\n");
  // The journal item is prepared but handed to nobody: counted as skipped.
  EXPECT_EQ(totals.by_kind.at("mail").saved, 3);
  EXPECT_EQ(totals.by_kind.at("activity").skipped, 1);
  EXPECT_EQ(totals.Sum().failed, 0);
  EXPECT_FALSE(totals.stopped);
}

TEST(Saving, NewerLayoutGivesTheSameRecords) {
  SaveFixture older(Layout::Older), newer(Layout::Newer);
  older.Save();
  newer.Save();
  // Every record of a run, the working folder written as WD, in a stable order.
  auto records = [](const SaveFixture& f) {
    std::vector<std::string> all;
    for (std::size_t n = 1; n <= f.Calls().size(); ++n) {
      std::string r = RecordOf(f.dir / "out" / std::to_string(n) / "mailsaving.txt");
      for (std::size_t at; (at = r.find(f.Wd())) != std::string::npos;) r.replace(at, f.Wd().size(), "WD");
      all.push_back(r);
    }
    return Sorted(all);
  };
  EXPECT_EQ(records(newer), records(older));
}

TEST(Saving, ChosenKindsOnly) {
  SaveFixture f;
  const SaveTotals totals = f.Save({SaveKind::kContact, SaveKind::kCalendar});
  EXPECT_EQ(Sorted(f.Calls()), (std::vector<std::string>{"appointment", "contact", "notes", "task"}));
  EXPECT_EQ(totals.by_kind.count("mail"), 0u);
}

TEST(Saving, EachItemCarriesItsOwnValuesNotThePreviewedOnes) {
  SaveFixture f;
  // A preview of the mail with Cc and attachments leaves them in the current item.
  const auto rows = f.analysis.List({u"Alice Example", u"Inbox"});
  ASSERT_FALSE(rows.empty());
  for (const auto& row : rows)
    if (row[0] == u"12a") f.analysis.Preview(row);
  f.Save({SaveKind::kMail});
  const std::string second = RecordOf(f.dir / "out" / "2" / "mailsaving.txt");
  EXPECT_NE(second.find("SUBJECT:Plain\r\n"), std::string::npos);
  EXPECT_NE(second.find("ATTA:\r\n"), std::string::npos);
  EXPECT_NE(second.find("CC:\r\n"), std::string::npos);
}

TEST(Saving, FailingMissingAndHungSaversAreCountedAndTheRunGoesOn) {
  {
    SaveFixture f;
    fs::create_directories(f.dir / "out");
    WriteWholeFile(f.dir / "out" / "exit", "3");
    const SaveTotals totals = f.Save();
    EXPECT_EQ(f.Calls().size(), 7u);  // every item was still tried
    EXPECT_EQ(totals.Sum().failed, 7);  // the journal item is skipped, never handed over
    EXPECT_EQ(totals.Sum().saved, 0);
    ASSERT_FALSE(totals.problems.empty());
    EXPECT_NE(totals.problems[0].find("exit status 3"), std::string::npos);
  }
  {
    SaveFixture f;
    fs::remove(f.dir / "program" / "mailsaving");
    const SaveTotals totals = f.Save();
    EXPECT_EQ(totals.Sum().failed, 7);
    ASSERT_FALSE(totals.problems.empty());
    EXPECT_NE(totals.problems[0].find("cannot be started"), std::string::npos);
    // The record of the last item stays as written.
    EXPECT_TRUE(fs::exists(f.dir / "program" / kRecordFileName));
  }
}

TEST(Saving, HungSaverIsStoppedAfterTheLimit) {
  TempDir dir;
  WriteStubSaver(dir.path());
  fs::create_directories(dir / "out");
  WriteWholeFile(dir / "out" / "sleep", "30");
  SaverSetup setup;
  setup.saver = dir / "mailsaving";
  setup.record_folder = dir.path();
  setup.output_root = dir / "out";
  setup.limit = std::chrono::milliseconds(300);
  const auto start = std::chrono::steady_clock::now();
  const SaverResult result = RunSaver(setup, "mailimport", nullptr);
  EXPECT_EQ(result.outcome, SaverOutcome::kTimedOut);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
}

TEST(Saving, KindRulesOfTheDispatcher) {
  // Exact, case-sensitive words: "Mail" and unknown words take the mail path.
  struct Case {
    const char16_t* kind;
    std::string counted;
    bool mail_option;
  } cases[] = {{u"mail", "mail", true},        {u"Mail", "mail", true},          {u"distlist", "mail", true},
               {u"rss", "mail", true},         {u"contact", "contact", false},   {u"appointment", "appointment", false},
               {u"activity", "activity", false}, {u"notes", "notes", false},     {u"task", "task", false}};
  for (const auto& c : cases) {
    EXPECT_EQ(CountedKind(c.kind), c.counted) << utf16_to_utf8(c.kind);
    EXPECT_EQ(KindChosen(SaveKind::kMail, c.kind), c.mail_option) << utf16_to_utf8(c.kind);
    EXPECT_TRUE(KindChosen(SaveKind::kAll, c.kind));
  }
  // Queued by hand: "Mail" is launched as "mailimport", "activity" is not launched.
  SaveFixture f;
  const EseTable* msg = f.analysis.session.kept_message_table();
  ASSERT_NE(msg, nullptr);
  SaveContext c;
  c.saver.saver = f.dir / "program" / "mailsaving";
  c.saver.record_folder = f.dir / "program";
  c.saver.output_root = f.dir / "out";
  c.message_table = msg;
  c.folder_path = u"X";
  f.analysis.session.maps.item.Build(*msg, false);
  for (const char16_t* kind : {u"Mail", u"activity", u"distlist"}) {
    SaveQueueNode node;
    node.item_key = u"k";
    node.kind = kind;
    node.subject = u"s";
    node.record_number = 0;
    f.analysis.session.lists.save_queue.push_back(node);
  }
  SavePendingItems(f.analysis.session, c);
  EXPECT_TRUE(f.analysis.session.lists.save_queue.empty());
  EXPECT_EQ(f.Calls(), (std::vector<std::string>{"mailimport", "mailimport"}));
}

TEST(Saving, WorkingFolderIsClearedOnlyWhereItIsSafe) {
  TempDir dir;
  const fs::path vestra = dir / "Vestra", other = dir / "Other", kept = dir / "kept.txt";
  fs::create_directories(vestra / "sub");
  fs::create_directories(other);
  WriteWholeFile(vestra / "a.txt", "a");
  WriteWholeFile(vestra / "sub" / "b.txt", "b");
  WriteWholeFile(other / "c.txt", "c");
  WriteWholeFile(kept, "k");
  fs::create_symlink(kept, vestra / "link");
  fs::create_directory_symlink(other, dir / "Linked");
  ClearWorkingFolder(vestra);
  EXPECT_FALSE(fs::exists(vestra / "a.txt"));
  EXPECT_FALSE(fs::exists(fs::symlink_status(vestra / "link")));
  EXPECT_TRUE(fs::exists(kept));                  // a link is removed, never followed
  EXPECT_TRUE(fs::exists(vestra / "sub" / "b.txt"));  // no descent
  for (const fs::path& unsafe : {other, dir / "Linked", fs::path("Vestra"), fs::path()}) ClearWorkingFolder(unsafe);
  EXPECT_TRUE(fs::exists(other / "c.txt"));
}

TEST(Saving, RecordFolderFallsBackToAPrivateFolder) {
  TempDir dir;
  EXPECT_EQ(RecordFolderFor(dir.path()), dir.path());
  const auto fallback = RecordFolderFor(dir / "missing");
  ASSERT_TRUE(fallback);
  struct stat st {};
  ASSERT_EQ(::lstat(fallback->c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
}

}  // namespace
}  // namespace edbx
