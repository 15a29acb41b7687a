// Tables libesedb refuses, read end to end: a "Msg" table of more leaf pages than
// libesedb walks (4 KiB pages) gives the same tree, listing and preview files as the
// same content written with 32 KiB pages; a derived content table with a column of
// its own lists and previews its items as a plain one does.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/paths.hpp"
#include "tests/support/analysis_fixture.hpp"
#include "tools/edbforge/damage/damage.hpp"

namespace edbx {
namespace {

using testing::Analysis;
using testing::TempDir;

// libesedb refuses to walk a table of more leaf pages than this.
constexpr std::size_t kLibesedbLeafLimit = 16384;

// What a person sees of a store: the folder tree, the rows of one folder and the
// files of some previews.
struct Seen {
  std::vector<std::string> tree;  // "depth name" per folder, in tree order
  std::vector<ItemRow> rows;
  std::vector<std::vector<std::pair<std::string, std::string>>> previews;  // file name and bytes
};

void Walk(const HeadlessDialog& dialog, TreeItem item, int depth, std::vector<std::string>& out) {
  const HeadlessDialog::TreeNode node = dialog.Node(item);
  out.push_back(std::to_string(depth) + " " + utf16_to_utf8(node.name));
  for (TreeItem child : node.children) Walk(dialog, child, depth + 1, out);
}

// Analyses `db` with its working files in `work` (the same folder for every store
// compared: the frameset page names it), lists `folder` and previews the rows at
// `preview_rows`.
Seen See(const fs::path& db, const TempDir& work, const std::vector<u16>& folder,
         const std::vector<std::size_t>& preview_rows) {
  fs::remove_all(work / "Vestra");
  Seen seen;
  Analysis a(work);
  EXPECT_EQ(a.Run(db), AnalysisOutcome::kSuccess);
  // Below the database's own item, which is named after its file.
  for (TreeItem root : a.dialog.TopLevelItems())
    for (TreeItem child : a.dialog.Node(root).children) Walk(a.dialog, child, 0, seen.tree);
  seen.rows = a.List(folder);
  for (std::size_t r : preview_rows) {
    if (r >= seen.rows.size()) break;
    fs::remove_all(work / "Vestra");
    EXPECT_FALSE(a.Preview(seen.rows[r]).empty()) << "row " << r;
    std::vector<std::pair<std::string, std::string>> files;
    for (const auto& f : fs::directory_iterator(work / "Vestra"))
      files.emplace_back(f.path().filename().string(), ReadWholeFile(f.path()).value_or(""));
    std::sort(files.begin(), files.end());
    seen.previews.push_back(std::move(files));
  }
  return seen;
}

TEST(RefusedTables, SmallPagesBeyondTheLibrarysLimitReadAsLargePagesDo) {
  // Rows of about 3 KiB (subject, body and headers kept in the record), one to a 4 KiB
  // leaf, a few more of them than libesedb walks.
  const std::string filler(480, 'x');
  const std::string json = R"({"mailboxes": [
    {"name": "Alice Example", "owner": "Alice Example", "id": "0100000000000a1f", "folders": [
      {"name": "Inbox", "id": "0100000000000b01", "items": [
        {"subject": "Small", "from": "Carol <carol@example.org>", "sent": "2010-01-04T10:00:00Z", "body": "tiny"}]},
      {"name": "Big", "id": "0100000000000b02", "items": [
        {"subject": "Mail )" + filler + R"(", "from": "Bob Example <bob@example.com>",
         "to": ["Alice Example <alice@example.com>"], "sent": "2010-01-05T14:03:59Z",
         "body": ")" + filler + R"(", "headers": "From: Bob Example <bob@example.com>\r\nTo: Alice Example <alice@example.com>\r\nX-Filler: )" +
                                 filler + R"(\r\n\r\n", "repeat": 16500}]}]}]})";
  TempDir dir;
  auto desc = edbforge::store::ParseDescription(json, dir.path());
  desc.options.page_size = 4096;
  edbforge::store::BuildStore(desc, dir / "small.edb");
  desc.options.page_size = 32768;
  edbforge::store::BuildStore(desc, dir / "large.edb");
  ASSERT_GT(edbforge::damage::LeafChain(dir / "small.edb", "Msg").size(), kLibesedbLeafLimit);

  TempDir work;
  const std::vector<std::size_t> previews = {0, 8250, 16499};
  const Seen small = See(dir / "small.edb", work, {u"Alice Example", u"Big"}, previews);
  const Seen large = See(dir / "large.edb", work, {u"Alice Example", u"Big"}, previews);
  EXPECT_EQ(small.tree, large.tree);
  ASSERT_EQ(large.rows.size(), 16500u);
  EXPECT_FALSE(large.rows.back()[8].empty());  // To, from the "Msg" row's headers
  ASSERT_EQ(small.rows.size(), large.rows.size());
  for (std::size_t r = 0; r < large.rows.size(); ++r) ASSERT_EQ(small.rows[r], large.rows[r]) << "row " << r;
  ASSERT_EQ(small.previews.size(), previews.size());
  EXPECT_TRUE(small.previews == large.previews);
}

TEST(RefusedTables, DerivedContentTablesWithColumnsOfTheirOwnListAndPreview) {
  const char* json = R"({"mailboxes": [
    {"name": "Alice Example", "owner": "Alice Example", "id": "0100000000000a1f", "folders": [
      {"name": "Inbox", "id": "0100000000000b01", "items": [
        {"key": "12a", "subject": "Report", "from": "Bob Example <bob@example.com>",
         "to": ["Alice Example <alice@example.com>"], "sent": "2010-01-05T14:03:59Z", "body": "first body",
         "attachments": [{"name": "a.txt", "text": "A", "id": "0100000000000c01"}]},
        {"key": "12b", "subject": "Second", "from": "Carol <carol@example.org>", "sent": "2010-01-06T09:00:00Z",
         "body": "second body"}]}]}]})";
  TempDir dir;
  auto desc = edbforge::store::ParseDescription(json, dir.path());
  edbforge::store::BuildStore(desc, dir / "plain.edb");
  desc.options.content_tables_with_own_column = true;
  edbforge::store::BuildStore(desc, dir / "own.edb");

  TempDir work;
  const Seen plain = See(dir / "plain.edb", work, {u"Alice Example", u"Inbox"}, {0, 1});
  const Seen own = See(dir / "own.edb", work, {u"Alice Example", u"Inbox"}, {0, 1});
  ASSERT_EQ(plain.rows.size(), 2u);
  EXPECT_EQ(own.rows, plain.rows);
  ASSERT_EQ(own.previews.size(), 2u);
  EXPECT_TRUE(own.previews == plain.previews);
}

}  // namespace
}  // namespace edbx
