// The fixed pieces every preview page is made of, and the small texts they hold.

#include <gtest/gtest.h>

#include "preview/item_values.hpp"
#include "preview/page_framework.hpp"

namespace edbx {
namespace {

TEST(HeaderPage, IsTheFixedTemplateAroundTheRows) {
  // Written out piece by piece: no line breaks, tabs inside the style rules.
  const u16 expected =
      u"<!DOCTYPE html PUBLIC '-//W3C//DTD XHTML 1.0 Transitional//EN' "
      u"'http://www.w3.org/TR/xhtml1/DTD/xhtml1-transitional.dtd'>"
      u"<html xmlns='http://www.w3.org/1999/xhtml'><head>"
      u"<meta http-equiv='Content-Type' content='text/html; charset=utf-8' />"
      u"<style type='text/css'><!--"
      u"body,td,th {\tfont-family: Verdana, Arial, Helvetica, sans-serif;\tfont-size: 11px;\tcolor: #666666;}"
      u"body {\tmargin-left: 0px;\tmargin-top: 0px;\tmargin-right: 0px;\tmargin-bottom: 0px;}"
      u"a {\tfont-family: Verdana, Arial, Helvetica, sans-serif;\tfont-size: 10px;}"
      u"--></style></head><body><table width='100%' border='0' cellspacing='0' cellpadding='0'>"
      u"ROWS</table></body></html>";
  EXPECT_EQ(HeaderPage(u"ROWS"), expected);
}

TEST(FramesetPage, VariantsAndTheBodyAsFileUrl) {
  const std::filesystem::path body = "/tmp/Vestra/blank.txt";
  const u16 tail = u" border='0'><frame src='header.html'  scrolling='auto' frameborder='1'>"
                   u"<frame src='file:///tmp/Vestra/blank.txt'></frameset></html>";
  const struct {
    Frameset variant;
    const char16_t* layout;
  } cases[] = {{Frameset::kMail, u"rows='28%,*'"},
               {Frameset::kSideBySide, u"cols='*,*'"},
               {Frameset::kJournal, u"rows='20%,*'"},
               {Frameset::kNote, u"rows='30%,*'"}};
  for (const auto& c : cases)
    EXPECT_EQ(FramesetPage(c.variant, body), u"<html><head></head><frameset " + u16(c.layout) + tail);
  // A quote or a space in the working folder cannot end the attribute.
  EXPECT_EQ(FileUrl("/home/o'neil/my files/Vestra/r\u00e9sum\u00e9.txt"),
            u"file:///home/o%27neil/my%20files/Vestra/r%C3%A9sum%C3%A9.txt");
}

TEST(HeaderRows, ValuesAreEscapedAndLabelsKept) {
  u16 rows;
  AppendRow(rows, u"   <td height='20'><b>From :</b>", u"<script>alert('x')</script> & \"q\"");
  EXPECT_EQ(rows, u"  <tr>   <td height='20'><b>From :</b>&lt;script&gt;alert(&#39;x&#39;)&lt;/script&gt; &amp; "
                  u"&quot;q&quot;</td> </tr>");
  rows.clear();
  AppendWideRow(rows, u"   <td height='20' colspan='2'><b>Cc: </b><span color='red'>", u"a</span>");
  EXPECT_EQ(rows, u"<tr>   <td height='20' colspan='2'><b>Cc: </b><span color='red'>a&lt;/span&gt;</span></td> </tr>");
}

TEST(CollapseSpaces, DoubleSpacesStaySingleOnesGo) {
  const struct {
    const char16_t* in;
    const char16_t* out;
  } cases[] = {
      {u"Bob  Example", u"Bob Example"},
      {u"B o b", u"Bob"},
      {u"a   b", u"a b"},     // a pair, then a lone space
      {u"a    b", u"a  b"},   // two pairs
      {u" x ", u"x"},
      {u"", u""},
  };
  for (const auto& c : cases) EXPECT_EQ(CollapseSpaces(c.in), c.out);
}

TEST(AttachmentKeyListed, MatchesWholeKeysOnly) {
  const u16 listed = u"0100000000000c01" u"00000000000012ab";
  EXPECT_TRUE(AttachmentKeyListed(u"100000000000c01", listed));
  EXPECT_TRUE(AttachmentKeyListed(u"12ab", listed));
  EXPECT_FALSE(AttachmentKeyListed(u"12a", listed));   // a prefix of another key
  EXPECT_FALSE(AttachmentKeyListed(u"c01", listed));   // a tail of another key
  EXPECT_FALSE(AttachmentKeyListed(u"0000012a", listed));  // straddling two keys
  EXPECT_FALSE(AttachmentKeyListed(u"", listed));
}

}  // namespace
}  // namespace edbx
