// Table keys, folder kinds, icons, content-table names and list order.

#include <gtest/gtest.h>

#include "pipeline/folder_classification.hpp"
#include "pipeline/recovery_lists.hpp"
#include "pipeline/table_catalog.hpp"

namespace edbx {
namespace {

TEST(TableKey, FollowsThePieceRules) {
  const std::pair<u16, u16> cases[] = {
      {u"A-BC", u"A000000000000BC"},
      {u"Msg-x", u"Msg0000000000000x"},
      {u"1-A1F", u"100000000000A1F"},
      {u"ABCD-x", u"ABCDx"},
      {u"A-" + u16(14, u'z'), u"A" + u16(14, u'z')},
      {u"-x", u"x"},
      {u"Msg", u""},
      {u"a-b-c", u""},
      {u"", u""},
  };
  for (const auto& [name, key] : cases) EXPECT_EQ(TableKey(name), key) << utf16_to_utf8(name);
}

TEST(FolderKind, FromContainerClass) {
  const std::pair<u16, u16> cases[] = {
      {u"", u"Folder"},          {u"ipf.note", u"Folder"},   {u"IPF.Note", u"IPF.Note"},
      {u"IPM.Appointment", u"calendar"}, {u"IPF.TaskRequest", u"task"}, {u"IPF.StickyNote", u"note"},
      {u"IPF.Journal", u"journal"},      {u"IPM.Contact", u"contact"},  {u"Other", u"Folder"},
  };
  for (const auto& [cls, kind] : cases) EXPECT_EQ(ClassifyFolderKind(cls), kind) << utf16_to_utf8(cls);
}

TEST(FolderIcon, NameRuleBeforeKindRule) {
  struct Case {
    u16 name, kind;
    int icon;
  };
  const Case cases[] = {
      {u"inbox", u"calendar", 3},       // the calendar row comes first
      {u"sent items", u"IPF.Note", 12}, {u"Inbox", u"", 7},
      {u"x", u"IPF_Appointment", 3},    {u"Deleted Items", u"", 5},
      {u"x", u"IPM_Activity", 8},       {u"Sync Issues", u"", 14},
      {u"x", u"IPF.Note", 0},           {u"TASKS", u"", 13},
  };
  for (const auto& c : cases) EXPECT_EQ(FolderIcon(c.name, c.kind), c.icon) << utf16_to_utf8(c.name);
}

TEST(ContentTableName, StripsTheFirstDigitAndLeadingZeros) {
  EXPECT_EQ(ContentTableName(u16(u"100000000000a1f")), u"1-A1F");
  EXPECT_EQ(ContentTableName(u16(u"100000000000000")), u"1-00000000000000");
  EXPECT_EQ(ContentTableName(std::nullopt), u"1-");
  EXPECT_EQ(ContentTableName(u16(u"1")), u"1-");
}

TEST(RecoveryLists, PushListsComeOutNewestFirstAndKeysMatchWhole) {
  RecoveryLists lists;
  lists.message_keys.push({u"12ab", 0, std::nullopt});
  lists.message_keys.push({u"12a", 1, std::nullopt});
  lists.message_keys.push({u"12a", 2, std::nullopt});
  std::vector<int> order;
  for (const auto& n : lists.message_keys) order.push_back(n.row_index);
  EXPECT_EQ(order, (std::vector<int>{2, 1, 0}));
  // The first node in list order with exactly the key: "12a" never finds "12ab".
  ASSERT_NE(lists.FindMessageKey(u"12a"), nullptr);
  EXPECT_EQ(lists.FindMessageKey(u"12a")->row_index, 2);
  EXPECT_EQ(lists.FindMessageKey(u"12ab")->row_index, 0);
  EXPECT_EQ(lists.FindMessageKey(u"12"), nullptr);
  EXPECT_EQ(lists.FindMessageKey(u""), nullptr);
  lists.FreeAll();
  EXPECT_TRUE(lists.message_keys.empty());
  EXPECT_EQ(lists.FindMessageKey(u"12a"), nullptr);
}

}  // namespace
}  // namespace edbx
