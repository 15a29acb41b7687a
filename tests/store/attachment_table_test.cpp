// The attachment table is found through the callback rows of the catalog.

#include "store/attachment_table.hpp"

#include <gtest/gtest.h>

#include "tests/store/store_fixture.hpp"

namespace edbx {
namespace {

using namespace edbx::test;

constexpr const char* kCallback = "JCB.DLL!EcJcbAttachCallback";

struct TableSetup {
  const char* name;
  std::vector<std::string> callbacks;
};

u16 AttachmentTableOf(const std::string& file, const std::vector<TableSetup>& tables) {
  const fs::path path = TestDir() / (file + ".edb");
  {
    ese::DatabaseWriter w(path, ese::WriterOptions{});
    for (const auto& setup : tables) {
      ese::TableDef def;
      def.name = setup.name;
      def.columns = {ese::ColumnDef("N3701", ese::ColumnType::LongBinary)};
      def.callbacks = setup.callbacks;
      w.add_table(def);
    }
    w.finish();
  }
  return FindAttachmentTableName(OpenDatabase(path));
}

TEST(AttachmentTable, IsTheLastTableDeclaringTheWholeCallbackName) {
  const std::string with_nul = std::string(kCallback) + '\0';
  const struct {
    const char* name;
    std::vector<TableSetup> tables;
    const char16_t* expected;
  } cases[] = {
      {"none", {{"Msg", {}}, {"Attachment", {}}}, u""},
      {"one", {{"Msg", {}}, {"Attachment", {kCallback}}, {"Folders", {}}}, u"Attachment"},
      {"two", {{"AttachA", {kCallback}}, {"Msg", {}}, {"AttachB", {kCallback}}}, u"AttachB"},
      {"prefix", {{"Short", {"JCB.DLL!EcJcbAttach"}}, {"Nul", {std::string(1, '\0')}}}, u""},
      {"longer", {{"Longer", {std::string(kCallback) + "2"}}}, u""},
      {"prefix-after", {{"Real", {kCallback}}, {"Short", {"JCB.DLL!EcJcb"}}, {"Other", {"OTHER.DLL!Callback"}}}, u"Real"},
      {"stored-nul", {{"Attachment", {with_nul}}}, u"Attachment"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(AttachmentTableOf(std::string("attach-") + c.name, c.tables), c.expected);
  }
}

}  // namespace
}  // namespace edbx
