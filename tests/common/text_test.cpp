#include "common/text.hpp"

#include <gtest/gtest.h>

namespace edbx {
namespace {

TEST(Text, Utf8RoundTripAndRepair) {
  const u16 text = u"Grüße \u20AC \U0001F600";
  EXPECT_EQ(utf8_to_utf16(utf16_to_utf8(text)), text);
  EXPECT_EQ(utf16_to_utf8(u"a\xD800" u"b"), "a\xEF\xBF\xBD" "b");  // lone surrogate
  EXPECT_EQ(utf8_to_utf16("a\xC3"), u"a\uFFFD");                   // truncated sequence
  EXPECT_EQ(utf8_to_utf16("\xC0\xAF"), u"\uFFFD\uFFFD");           // overlong
}

TEST(Text, Cp1252BothWays) {
  EXPECT_EQ(cp1252_to_utf16("\x80\xE9\x9F"), u"\u20AC\u00E9\u0178");
  EXPECT_EQ(utf16_to_cp1252(u"\u20AC\u00E9\u4E2D"), "\x80\xE9?");
  EXPECT_EQ(utf16_to_cp1252(u"\u4E2D", '#'), "#");
}

TEST(Text, ReplaceSplitTrim) {
  EXPECT_EQ(replaced(u"aaa", u"aa", u"b"), u"ba");  // left to right, no overlap
  EXPECT_EQ(replaced(u"x", u"", u"y"), u"x");
  EXPECT_EQ(split(u"/a//b", u'/'), (std::vector<u16>{u"", u"a", u"", u"b"}));
  EXPECT_EQ(split(u"aSMTPbSMTP", u"SMTP"), (std::vector<u16>{u"a", u"b", u""}));
  EXPECT_EQ(trim_spaces(u"  a b  "), u"a b");
  EXPECT_EQ(to_upper(u"Sent items \u00e9"), u"SENT ITEMS \u00c9");
  EXPECT_EQ(to_lower(u"ABC\u00c9"), u"abc\u00e9");
}

TEST(Text, LeadingIntegerReadsLikeWtoi) {
  EXPECT_EQ(leading_integer(u"42abc"), 42);
  EXPECT_EQ(leading_integer(u"  -7"), -7);
  EXPECT_EQ(leading_integer(u""), 0);
  EXPECT_EQ(leading_integer(u"x1"), 0);
  EXPECT_EQ(leading_integer(u"99999999999"), 2147483647);
}

}  // namespace
}  // namespace edbx
