// Stores whose "Msg" table has damaged leaf pages: the analysis ends cleanly, the
// table's reader names the damaged pages, the folder lists every item, the items whose "Msg" rows sit on
// intact pages keep everything read from those rows, and their previews are written.
//
// The damages are made by `edbforge damage` on a store it wrote: a page zeroed (as a
// page never written reads), one byte changed under a valid-looking checksum, a
// next-leaf link pointing back to the previous leaf (a cycle), one pointing into
// another table's tree (both resealed, so only the link is wrong), and the file cut
// at a leaf.

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>

#include "common/paths.hpp"
#include "tests/support/analysis_fixture.hpp"
#include "tools/edbforge/damage/damage.hpp"

namespace edbx {
namespace {

using edbforge::damage::Damage;
using edbforge::damage::Kind;
using testing::Analysis;
using testing::TempDir;
using testing::WriteStore;

// 4 KiB pages and bodies of some hundred characters: a few "Msg" rows a leaf, some
// dozens of leaves.
const char* kStore = R"({"page_size": 4096, "mailboxes": [
  {"name": "Alice Example", "owner": "Alice Example", "id": "0100000000000a1f", "folders": [
    {"name": "Inbox", "id": "0100000000000b01", "items": [
      {"subject": "Mail", "from": "Bob Example <bob@example.com>", "to": ["Alice Example <alice@example.com>"],
       "sent": "2010-01-05T14:03:59Z",
       "body": "A body long enough to fill a good part of a small page, so that the table has many leaves. A body long enough to fill a good part of a small page, so that the table has many leaves. A body long enough to fill a good part of a small page.",
       "repeat": 160}]}]}]})";

// Rows by key without the "Msg" row number: the numbers of rows after a skipped page
// move up, everything else read from an intact row stays.
std::map<u16, ItemRow> ByKey(const std::vector<ItemRow>& rows) {
  std::map<u16, ItemRow> out;
  for (ItemRow row : rows) {
    row[2].clear();
    out.emplace(row[0], row);
  }
  return out;
}

bool Mentions(const std::vector<u16>& texts, const std::string& what) {
  const u16 w = widen(what);
  return std::any_of(texts.begin(), texts.end(), [&](const u16& t) { return t.find(w) != u16::npos; });
}

TEST(DamagedStore, IntactPagesAreListedAndPreviewedAndDamagedOnesNamed) {
  TempDir dir;
  const fs::path good = WriteStore(dir, kStore, "good.edb");
  const auto leaves = edbforge::damage::LeafChain(good, "Msg");
  ASSERT_GE(leaves.size(), 20u) << "the fixture needs a longer leaf chain";
  const std::size_t last = leaves.size() - 1;

  Analysis reference(dir);
  ASSERT_EQ(reference.Run(good), AnalysisOutcome::kSuccess);
  const auto expected = ByKey(reference.List({u"Alice Example", u"Inbox"}));
  ASSERT_EQ(expected.size(), 160u);

  struct Case {
    const char* name;
    std::vector<Damage> damages;
    bool content_intact = true;  // a cut file loses the pages of other tables written after the leaf too
  };
  const Case cases[] = {
      {"zeroed page", {{Kind::kZero, 4}}},
      {"broken checksum", {{Kind::kChecksum, 5}}},
      {"link back to the previous leaf", {{Kind::kLinkBack, 6}}},
      {"link into another tree", {{Kind::kLinkForeign, 7}}},
      {"file cut at the last leaf", {{Kind::kTruncate, static_cast<std::uint32_t>(last)}}, false},
      {"all of them", {{Kind::kZero, 2}, {Kind::kChecksum, 8}, {Kind::kLinkBack, 11}, {Kind::kLinkForeign, 14}}},
  };
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path db = dir / ("damaged-" + std::to_string(n++) + ".edb");
    const auto done = edbforge::damage::DamageTable(good, db, "Msg", c.damages);

    TempDir work;
    Analysis a(work);
    ASSERT_EQ(a.Run(db), AnalysisOutcome::kSuccess);
    // The table's reader names every damaged page it met. A bad leaf link is
    // harmless: leaves are reached through their parents, the links are not followed.
    const EseTable* msg = a.session.kept_message_table();
    ASSERT_NE(msg, nullptr);
    const auto problems = msg->Problems();
    bool links_only = true;
    for (const auto& d : done) {
      if (d.kind == Kind::kLinkBack || d.kind == Kind::kLinkForeign) continue;
      links_only = false;
      const std::string page = "page " + std::to_string(d.page);
      EXPECT_TRUE(std::any_of(problems.begin(), problems.end(),
                              [&](const std::string& p) { return p.find(page) != std::string::npos; }))
          << page;
    }
    // The table is read around its damage, not given up.
    EXPECT_FALSE(Mentions(a.dialog.StatusTexts(), "Table Msg skipped"));

    const auto listed = a.List({u"Alice Example", u"Inbox"});
    const auto rows = ByKey(listed);
    if (c.content_intact) {
      EXPECT_EQ(rows.size(), expected.size());
    } else {
      EXPECT_GT(rows.size(), 0u);
    }
    std::size_t with_msg_row = 0;
    const ItemRow* intact = nullptr;
    for (const auto& row : listed) {
      if (row[2].empty()) continue;  // its "Msg" row was on a damaged page
      ++with_msg_row;
      auto want = expected.find(row[0]);
      ASSERT_NE(want, expected.end());
      ItemRow got = row;
      got[2].clear();
      EXPECT_EQ(got, want->second);
      intact = &row;
    }
    // At most a few rows share a damaged leaf; every other "Msg" row is found.
    if (links_only) {
      EXPECT_EQ(with_msg_row, expected.size());
    } else if (c.content_intact) {
      EXPECT_GE(with_msg_row, expected.size() - c.damages.size() * 20);
    }

    // An item of an intact page previews as in the undamaged store.
    ASSERT_NE(intact, nullptr);
    EXPECT_FALSE(a.Preview(*intact).empty());
    const auto body = ReadWholeFile(work / "Vestra" / "textbody.txt");
    ASSERT_TRUE(body.has_value());
    const u16 text = u"A body long enough";  // the body file is UTF-16LE
    EXPECT_NE(body->find(std::string(reinterpret_cast<const char*>(text.data()), 2 * text.size())), std::string::npos);
  }
}

}  // namespace
}  // namespace edbx
