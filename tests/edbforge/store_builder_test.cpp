// Exchange-shaped stores written by the store builder, read back through libesedb.

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "tests/edbforge/esedb_read.hpp"
#include "tools/edbforge/ese/database.hpp"
#include "tools/edbforge/store/description_json.hpp"
#include "tools/edbforge/store/exchange_schema.hpp"
#include "tools/edbforge/store/store_builder.hpp"

namespace edbforge::store {
namespace {

namespace fs = std::filesystem;
using testing::File;

fs::path TempPath(const std::string& name) {
  const fs::path dir = fs::temp_directory_path() / ("edbforge-store-test-" + std::to_string(::getpid()));
  fs::create_directories(dir);
  return dir / name;
}

std::vector<std::string> TableNames(const File& f) {
  std::vector<std::string> names;
  for (int i = 0; i < f.tables(); ++i) names.push_back(f.table(i).name());
  return names;
}

int Column(const testing::Table& t, const std::string& name) {
  const auto cols = t.columns();
  for (std::size_t i = 0; i < cols.size(); ++i)
    if (cols[i].name == name) return static_cast<int>(i);
  throw std::runtime_error("no column " + name);
}

const char* kMiniStore = R"({
  "mailboxes": [{"name": "Alice Example", "id": "0100000000000a1f", "folders": [
    {"name": "Inbox", "id": "0100000000000b01", "items": [
      {"key": "12a", "subject": "Report", "from": "Bob Example <bob@example.com>", "to": ["alice@example.com"],
       "sent": "2010-01-05T14:03:59Z", "body": "Hi",
       "attachments": [{"name": "a.txt", "text": "hello", "id": "0100000000000c01"},
                       {"name": "b.txt", "text": "world", "id": "0100000000000c02"}]},
      {"key": "12ab", "class": "IPM.Configuration.WorkHours", "subject": "config"}],
     "folders": [{"name": "Sub, one + two", "class": "ipf.note"}]}]}]})";

TEST(StoreBuilder, OlderLayoutTablesRowsAndKeys) {
  const fs::path path = TempPath("older.edb");
  BuildStore(ParseDescription(kMiniStore, "."), path);
  File f(path.string());
  EXPECT_EQ(f.revision(), 12u);
  EXPECT_EQ(TableNames(f), (std::vector<std::string>{"MSysObjects", "MSysObjectsShadow", "Mailbox", "Folders", "Msg",
                                                     "Attachment", "MsgFolderTemplate", "1-B01", "1-A03"}));
  auto msg = f.table("Msg");
  ASSERT_EQ(msg.records(), 2);
  EXPECT_EQ(msg.record(0).raw(Column(msg, "N67b0")), ese::val::Id8(0x12a).bytes);
  // The attachment key lists the attachments' ids.
  EXPECT_EQ(msg.record(0).raw(Column(msg, "N67b3")),
            ese::val::Id8(0x0100000000000c01).bytes + ese::val::Id8(0x0100000000000c02).bytes);
  auto attach = f.table("Attachment");
  ASSERT_EQ(attach.records(), 2);
  EXPECT_EQ(attach.record(1).raw(Column(attach, "Q3f88")), ese::val::Id8(0x0100000000000c02).bytes);
  EXPECT_EQ(attach.record(1).raw(Column(attach, "N3701")), "world");
  auto content = f.table("1-B01");
  ASSERT_EQ(content.records(), 2);
  EXPECT_EQ(content.record(1).raw(Column(content, "S1a")), ese::val::Utf16(u"IPM.Configuration.WorkHours").bytes);
  auto folders = f.table("Folders");
  // Store root, non-IPM subtree, Inbox, subfolder; paths carry the hierarchy.
  ASSERT_EQ(folders.records(), 4);
  EXPECT_EQ(folders.record(3).raw(Column(folders, "S6707")), ese::val::Utf16(u"/Inbox/Sub, one + two").bytes);
  EXPECT_EQ(folders.record(3).raw(Column(folders, "S3613")), ese::val::Utf16(u"ipf.note").bytes);
  EXPECT_EQ(folders.record(2).raw(Column(folders, "Q6764")), ese::val::Id8(0x0100000000000a1f).bytes);
}

TEST(StoreBuilder, NewerLayoutHasPerMailboxTables) {
  const fs::path path = TempPath("newer.edb");
  auto desc = ParseDescription(kMiniStore, ".");
  desc.options.layout = Layout::Newer;
  BuildStore(desc, path);
  File f(path.string());
  EXPECT_EQ(f.revision(), 17u);
  EXPECT_EQ(TableNames(f), (std::vector<std::string>{"MSysObjects", "MSysObjectsShadow", "Mailbox", "Folders-1-A1F",
                                                     "MsgHeader-1-A1F", "Body-1-A1F", "MsgView-1-A1F-1-B01",
                                                     "MsgView-1-A1F-1-A02"}));
  auto body = f.table("Body-1-A1F");
  // Two item rows and two attachment rows; attachment rows carry a non-zero method.
  ASSERT_EQ(body.records(), 4);
  EXPECT_EQ(body.record(1).raw(Column(body, "N65f9")), ese::val::Id8(0x0100000000000c01).bytes);
  EXPECT_EQ(body.record(1).raw(Column(body, "L3705")), ese::val::I32(1).bytes);
  EXPECT_EQ(body.record(0).raw(Column(body, "L3705")), ese::val::I32(0).bytes);
  auto headers = f.table("MsgHeader-1-A1F");
  EXPECT_EQ(headers.record(0).raw(Column(headers, "Q6748")), ese::val::Id8(0x0100000000000b01).bytes);
}

TEST(StoreBuilder, PublicStoresHaveNoMailboxTable) {
  const char* kPublic = R"({"public": true, "public_folders": [{"name": "Sales", "id": "0100000000000d01",
      "items": [{"subject": "Targets", "from": "bob@example.com", "body": "Q1"}]}]})";
  for (const Layout layout : {Layout::Older, Layout::Newer}) {
    const fs::path path = TempPath(layout == Layout::Older ? "public-older.edb" : "public-newer.edb");
    auto desc = ParseDescription(kPublic, ".");
    desc.options.layout = layout;
    BuildStore(desc, path);
    File f(path.string());
    const auto names = TableNames(f);
    EXPECT_EQ(std::count(names.begin(), names.end(), "Mailbox"), 0);
    EXPECT_EQ(f.table("Folders").records(), 2);  // the public root and "Sales"
    if (layout == Layout::Newer) {
      EXPECT_EQ(f.table("Body-1-D01").records(), 1);
    }
  }
}

TEST(StoreBuilder, RefusesBadDescriptionsWithAClearMessage) {
  struct Case {
    const char* json;
    const char* message;
  };
  const Case cases[] = {
      {R"({"layout": "none", "tables": [{"name": "T", "columns": [{"name": "A", "type": "Numeric"}]}]})",
       "table 'T', column 'A': unknown column type 'Numeric'"},
      {R"({"layout": "none", "tables": [{"name": "T", "columns": [{"name": "A", "type": "Long"}, {"name": "A", "type": "Text"}]}]})",
       "table 'T', column 'A': defined twice"},
      {R"({"layout": "none", "tables": [{"name": "T", "columns": [{"name": "A", "type": "Text", "codepage": 1252}],
           "rows": [{"A": "0123456789012345678901234567890123456789012345678901234567890123456789012345678901234567890123456789012345678901234567890123456789012345678901234567890123456789012345678901234567890123456789012345678901234567890123456789012345678901234567890123456789012345678901234567890"}]}]})",
       "table 'T', column 'A': value of 271 bytes is too large for the column (at most 255) (row 0)"},
      {R"({"layout": "none", "tables": [{"name": "Empty", "columns": []}]})", "table 'Empty': has no columns"},
      {R"({"layout": "none", "tables": [{"name": "T", "columns": [{"name": "A", "type": "Short"}], "rows": [{"A": 70000}]}]})",
       "table 'T', column 'A': value 70000 out of range"},
      {R"({"mailboxes": [{"name": "A", "folders": [{"name": "Inbox", "items": [{"properties": {"X12": 1}}]}]}]})",
       "mailboxes[0].folders[0].items[0].properties.X12: unknown column type letter in 'X12'"},
      {R"({"mailboxes": [{"name": "A", "folders": [{"name": "I", "items": [{"key": "1"}, {"key": "1"}]}]}]})",
       "duplicate item key id 1"},
      {R"({"layout": "sideways"})", "layout: expected older, newer or none"},
  };
  for (const auto& c : cases) {
    try {
      BuildStore(ParseDescription(c.json, "."), TempPath("bad.edb"));
      ADD_FAILURE() << "accepted: " << c.message;
    } catch (const ese::DefinitionError& e) {
      EXPECT_STREQ(e.what(), c.message);
    }
  }
}

TEST(StoreBuilder, DemoSamplesAreReadByEsedbinfo) {
  const fs::path src = EDBX_SOURCE_DIR;
  for (const auto& [file, layout] : std::vector<std::pair<const char*, std::optional<Layout>>>{
           {"demo-private.json", Layout::Older}, {"demo-private.json", Layout::Newer}, {"demo-public.json", std::nullopt}}) {
    auto desc = LoadDescription(src / "samples" / file);
    if (layout) desc.options.layout = *layout;
    const fs::path out = TempPath("demo.edb");
    BuildStore(desc, out);
    FILE* p = ::popen(("esedbinfo '" + out.string() + "' 2>&1").c_str(), "r");
    ASSERT_NE(p, nullptr);
    std::string text;
    char buf[4096];
    while (std::size_t n = std::fread(buf, 1, sizeof buf, p)) text.append(buf, n);
    EXPECT_EQ(::pclose(p), 0) << file;
    EXPECT_EQ(text.find("rror"), std::string::npos) << text;
  }
}

}  // namespace
}  // namespace edbforge::store
