#include "content/rtf_to_text.hpp"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

namespace edbx {
namespace {

// RTF as the body reader hands it over: 8-bit text read as Windows-1252.
u16 Convert(std::string_view rtf) { return RtfToText(cp1252_to_utf16(rtf)); }

TEST(RtfToText, Snippets) {
  struct Case {
    const char* rtf;
    const char16_t* expected;
  };
  const Case cases[] = {
      // Paragraphs and breaks; the final paragraph mark is not part of the text.
      {R"({\rtf1\ansi Hello\par World\par})", u"Hello\r\nWorld"},
      {R"({\rtf1 a\par\par b\line c})", u"a\r\n\r\nb\r\nc"},
      {"{\\rtf1 a\\\r\nb}", u"a\r\nb"},  // backslash + line break is \par
      {"{\\rtf1 a\r\nb\n}", u"ab"},      // raw line breaks are not text
      {R"({\rtf1 a\tab b})", u"a\tb"},
      {R"({\rtf1\trowd a\cell b\cell\row c\cell d\cell\row})", u"a\tb\r\nc\td"},
      // Control word delimiters and parameters.
      {R"({\rtf1\fs24 x\b0y\b-1 z})", u"xyz"},
      {R"({\rtf1{\b bold {\i both}} plain})", u"bold both plain"},
      // Escapes and special characters.
      {R"({\rtf1 \{a\}\\b})", u"{a}\\b"},
      {R"({\rtf1 a\~b\-c\_d})", u"a\u00A0b\u00ADc\u2011d"},
      {R"({\rtf1\emdash\endash\bullet\lquote\rquote\ldblquote\rdblquote})",
       u"\u2014\u2013\u2022\u2018\u2019\u201C\u201D"},
      // \'hh in the default code page 1252, and literal 8-bit characters.
      {R"({\rtf1\ansi caf\'e9 \'80 \'93x\'94})", u"caf\u00E9 \u20AC \u201Cx\u201D"},
      {"{\\rtf1 caf\xe9}", u"caf\u00E9"},
      // \uN with its fallback characters.
      {R"({\rtf1 5\u8364?})", u"5\u20AC"},
      {R"({\rtf1 \u-3913?})", u"\uF0B7"},
      {R"({\rtf1 \u-10179?\u-8704?})", u"\U0001F600"},
      {R"({\rtf1\uc0 \u8364 x})", u"\u20ACx"},
      {R"({\rtf1\uc2\u8364\'80\'80y})", u"\u20ACy"},
      {R"({\rtf1\u8364\'80\u8364\par x})", u"\u20AC\u20ACx"},     // a control word is one
      {R"({\rtf1{\uc2 \u8364 ab}\u8364 cd})", u"\u20AC\u20ACd"},  // \uc is scoped
      {R"({\rtf1\uc3{\u8364 a}b})", u"\u20ACb"},                  // fallback ends with the group
      // Destinations that show nothing.
      {R"({\rtf1{\fonttbl{\f0\fswiss Arial;}}{\colortbl;\red0\green0\blue0;})"
       R"({\stylesheet{\s0 Normal;}}{\info{\title T}{\author A}}{\*\generator G;})"
       R"({\header H}{\footer F}{\*\bkmkstart b}{\pntext\'b7\tab}Body})",
       u"Body"},
      {R"({\rtf1{\pict\pngblip 89504e47}{\object{\*\objdata 0102}{\result R}}x})", u"x"},
      {"{\\rtf1{\\pict\\bin4 }{{{}x}", u"x"},  // \bin data may hold braces
      {R"({\rtf1{\*\unknowndest {nested \par text}}x})", u"x"},
      {R"({\rtf1{\field{\*\fldinst HYPERLINK "http://x/"}{\fldrslt link}}})", u"link"},
      // Unknown control words are ignored; their text stays.
      {R"({\rtf1\htmlrtf kept\htmlrtf0  too})", u"kept too"},
      // Nothing after the document group.
      {R"({\rtf1 a}}}trailing)", u"a"},
      // Font code pages: \fcharset204 is Cyrillic; \f0 and \plain give the document's.
      {R"({\rtf1\ansi\deff0{\fonttbl{\f0 Arial;}{\f1\fcharset204 Arial Cyr;}})"
       R"(\'e9{\f1\'e9}\'e9\f1\'e9\plain\'e9})",
       u"\u00E9\u0439\u00E9\u0439\u00E9"},
      // Not RTF: plain text with its line breaks made CR LF.
      {"plain\ntext\r\nend\r", u"plain\r\ntext\r\nend\r\n"},
      {"", u""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Convert(c.rtf), c.expected) << c.rtf;
  }
}

TEST(RtfToText, OtherCodePages) {
  struct Case {
    const char* rtf;
    const char16_t* expected;
  };
  const Case cases[] = {
      {R"({\rtf1\ansi\ansicpg1251 \'cf\'f0\'e8\'e2\'e5\'f2})",
       u"\u041F\u0440\u0438\u0432\u0435\u0442"},
      // Literal 8-bit characters are bytes of the document's code page too.
      {"{\\rtf1\\ansi\\ansicpg1251 \xcf\xf0\xe8\xe2\xe5\xf2}",
       u"\u041F\u0440\u0438\u0432\u0435\u0442"},
      // Double-byte: two \'hh form one character; a trail byte may be a literal.
      {R"({\rtf1\ansi\ansicpg932 \'93\'fa\'96\'7b \'83e\'83X\'83g})",
       u"\u65E5\u672C \u30C6\u30B9\u30C8"},
      {R"({\rtf1\ansi\ansicpg932 \'83\\\'95\\\'83\{})", u"\u30BD\u8868\u30DC"},  // escaped trails
      {R"({\rtf1\ansi\ansicpg936 \'d6\'d0\'ce\'c4})", u"\u4E2D\u6587"},
      {R"({\rtf1\ansi\deff0{\fonttbl{\f0\fnil\fcharset136 MingLiU;}}\'a4\'a4\'a4\'e5})",
       u"\u4E2D\u6587"},
      // An incomplete double-byte character becomes U+FFFD.
      {R"({\rtf1\ansi\ansicpg932 a\'93})", u"a\uFFFD"},
      // Unknown code pages fall back to 1252.
      {R"({\rtf1\ansi\ansicpg99999 \'e9})", u"\u00E9"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Convert(c.rtf), c.expected) << c.rtf;
  }
}

// An HTML mail as mail clients store it: the HTML tags sit in {\*\htmltag} groups,
// the RTF rendering of each tag between \htmlrtf and \htmlrtf0.
TEST(RtfToText, EncapsulatedHtmlGivesTheReadableText) {
  const char* rtf =
      "{\\rtf1\\ansi\\ansicpg1252\\fromhtml1 \\fbidis \\deff0{\\fonttbl\r\n"
      "{\\f0\\fswiss\\fcharset0 Arial;}\r\n"
      "{\\f1\\fmodern Courier New;}\r\n"
      "{\\f2\\fnil\\fcharset2 Symbol;}\r\n"
      "{\\f3\\fmodern\\fcharset0 Courier New;}\r\n"
      "{\\f4\\fswiss\\fcharset0 Calibri;}}\r\n"
      "{\\colortbl\\red0\\green0\\blue0;\\red0\\green0\\blue255;\\red5\\green99\\blue193;}\r\n"
      "\\uc1\\pard\\plain\\deftab360 \\f0\\fs24 \r\n"
      "{\\*\\htmltag19 <html>}\r\n"
      "{\\*\\htmltag34 <head>}\r\n"
      "{\\*\\htmltag1 \\par }\r\n"
      "{\\*\\htmltag241 <meta http-equiv=\"Content-Type\" content=\"text/html; "
      "charset=iso-8859-1\">}\r\n"
      "{\\*\\htmltag1 \\par }\r\n"
      "{\\*\\htmltag241 <style type=\"text/css\" style=\"display:none;\">}"
      "{\\*\\htmltag241 P \\{margin-top:0;margin-bottom:0;\\} }{\\*\\htmltag241 </style>}\r\n"
      "{\\*\\htmltag1 \\par }\r\n"
      "{\\*\\htmltag41 </head>}\r\n"
      "{\\*\\htmltag2 \\par }\r\n"
      "{\\*\\htmltag50 <body dir=\"ltr\">}\\htmlrtf {\\htmlrtf0 \r\n"
      "{\\*\\htmltag64 <div style=\"font-family: Calibri, Arial, Helvetica, sans-serif; "
      "font-size: 12pt; color: rgb(0, 0, 0);\">}\\htmlrtf {\\htmlrtf0 Hi Anna,\r\n"
      "{\\*\\htmltag72 </div>}\\htmlrtf \\par\r\n"
      "}\\htmlrtf0 \r\n"
      "{\\*\\htmltag64 <div style=\"font-family: Calibri, Arial, Helvetica, sans-serif;\">}"
      "\\htmlrtf {\\htmlrtf0 the caf\\'e9 figures are here:{\\*\\htmltag84 &nbsp;}"
      "\\htmlrtf \\'a0\\htmlrtf0 {\\*\\htmltag84 <a href=\"https://example.com/r?id=7\" "
      "id=\"LPlnk\">}\\htmlrtf {\\field{\\*\\fldinst{HYPERLINK \"https://example.com/r?id=7\"}}"
      "{\\fldrslt\\cf1\\ul \\htmlrtf0 example.com/r\\htmlrtf }\\htmlrtf0 \\htmlrtf }"
      "\\htmlrtf0 {\\*\\htmltag92 </a>}\r\n"
      "{\\*\\htmltag72 </div>}\\htmlrtf \\par\r\n"
      "}\\htmlrtf0 \r\n"
      "{\\*\\htmltag64 <ul>}\\htmlrtf {{\\*\\pn\\pnlvlblt\\pnf2\\pnindent360{\\pntxtb\\'b7}}"
      "\\htmlrtf0 {\\*\\htmltag64 <li>}\\htmlrtf {{\\pntext\\f2\\'b7\\tab}\\li720\\fi-360 "
      "\\htmlrtf0 first{\\*\\htmltag72 </li>}\\htmlrtf \\par }\\htmlrtf0 \r\n"
      "{\\*\\htmltag64 <li>}\\htmlrtf {{\\pntext\\f2\\'b7\\tab}\\li720\\fi-360 "
      "\\htmlrtf0 second{\\*\\htmltag72 </li>}\\htmlrtf \\par }\\htmlrtf0 \r\n"
      "{\\*\\htmltag72 </ul>}\\htmlrtf }\\htmlrtf0 \r\n"
      "{\\*\\htmltag241 <!-- tracking pixel -->}\r\n"
      "{\\*\\htmltag64 <div>}\\htmlrtf {\\htmlrtf0 Regards,{\\*\\htmltag116 <br>}"
      "\\htmlrtf \\line\r\n"
      "\\htmlrtf0 Bob\r\n"
      "{\\*\\htmltag72 </div>}\\htmlrtf \\par\r\n"
      "}\\htmlrtf0 \r\n"
      "{\\*\\htmltag58 </body>}\\htmlrtf }\\htmlrtf0 \r\n"
      "{\\*\\htmltag27 </html>}}\r\n";
  EXPECT_EQ(Convert(rtf),
            u"Hi Anna,\r\n"
            u"the caf\u00E9 figures are here:\u00A0example.com/r\r\n"
            u"first\r\n"
            u"second\r\n"
            u"Regards,\r\n"
            u"Bob");
}

TEST(RtfToText, DeepNestingNeitherRecursesNorLeaksState) {
  constexpr std::size_t kDepth = 100000;
  const std::string open(kDepth, '{');
  const std::string close(kDepth, '}');
  EXPECT_EQ(Convert("{\\rtf1 " + open + "deep" + close + " end}"), u"deep end");
  EXPECT_EQ(Convert("{\\rtf1 " + open + "unclosed"), u"unclosed");
  EXPECT_EQ(Convert("{\\rtf1 " + close), u"");
  std::string skipped;
  for (std::size_t i = 0; i < kDepth; ++i) skipped += "{\\*";
  EXPECT_EQ(Convert("{\\rtf1 a" + skipped + "x" + std::string(kDepth, '}') + "b}"), u"ab");
  // A font chosen far below the stack bound is forgotten when its groups close.
  const std::string fonts = R"({\rtf1{\fonttbl{\f1\fcharset204 Cyr;}})";
  EXPECT_EQ(Convert(fonts + open + "\\f1\\'e9" + close + "\\'e9}"), u"\u0439\u00E9");
}

}  // namespace
}  // namespace edbx
