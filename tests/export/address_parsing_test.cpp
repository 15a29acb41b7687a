#include "export/address_parsing.hpp"

#include <gtest/gtest.h>

#include <clocale>
#include <random>
#include <string>
#include <vector>

namespace edbx {
namespace {

const char* const kPatterns[] = {
    "(\\w+)(\\.|_)?(\\w*)@(\\w+)(\\.|_)?(\\w*)<(\\w+)(\\.|_)?(\\w*)@(\\w+)(\\.(\\w+))+",
    "(\\w+)(\\.|_)?(\\w*)<(\\w+)(\\.|_)?(\\w*)@(\\w+)(\\.(\\w+))+",
    "(\\w+)(\\.|_)?(\\w*)@(\\w+)(\\.(\\w+))+",
    "(\\w*)@(\\w+)(\\.(\\w+))+",
};

TEST(AddressParsing, NormalizeAddressText) {
  struct Case {
    u16 in;
    u16 out;
  };
  const Case cases[] = {
      // " SMTP " becomes "<" and only the last word of the name is kept.
      {u"John Smith SMTP john@x.com", u"Smith<john@x.com>,"},
      {u"John Smith<john.smith@example.com>", u"Smith<john.smith@example.com>,"},
      {u"a@b.com", u"a@b.com,"},
      {u"a@b.com; c@d.org", u"a@b.com,c@d.org,"},
      // Every occurrence of a found entry is deleted, so a repeated one counts once.
      {u"a@b.com; a@b.com", u"a@b.com,"},
      // Patterns win in their order, before the position in the text.
      {u"a@b.com; John<j@x.com>; x@y<z@w.com>", u"x@y<z@w.com>,John<j@x.com>,a@b.com,"},
      {u"first-last@x.com", u"first-last@x.com,"},
      {u"aZZZZZZZb@x.com", u"a-b@x.com,"},
      {u"Name [a@b.com]", u"a@b.com,"},
      {u"\"Smith, J\u00f6rg\" <j.s@x.de>", u"j.s@x.de,"},
      {u"no at sign", u""},
      {u"", u""},
      {u"a__b@x.com", u"b@x.com,"},
      {u"x@y.z _a@b.com", u"x@y.z,a@b.com,"},
      {u"@x.com", u"@x.com,"},
      {u"john@ x.com", u""},
      // Bounded work: a giant token is no address, text past the limit is not read.
      {u16(200000, u'a') + u"@b.c", u""},
      {u"a@b.c " + u16(kMaxAddressTextLength, u'q') + u" d@e.f", u"a@b.c,"},
  };
  for (const auto& c : cases) EXPECT_EQ(NormalizeAddressText(c.in), c.out) << utf16_to_utf8(c.in).substr(0, 80);
}

TEST(AddressParsing, NormalizeAddressTextKeepsEveryEntryOfALongList) {
  u16 in;
  u16 expected;
  for (int i = 0; i < 1500; ++i) {
    const u16 address = u"user" + decimal(i) + u"@host" + decimal(i % 7) + u".example";
    in += u"User " + decimal(i) + u" SMTP " + address + u"; ";
    expected += decimal(i) + u"<" + address + u">,";
  }
  ASSERT_LT(in.size(), kMaxAddressTextLength);
  EXPECT_EQ(NormalizeAddressText(in), expected);
}

// The normalisation steps done literally on the whole text, as the reference for
// the token-wise implementation.
u16 LiteralNormalize(u16v text) {
  u16 work(text);
  replace_all(work, u" SMTP ", u"<");
  replace_all(work, u"@ ", u"");
  work = trim_spaces(work);
  erase_chars(work, u"^\"+)(`{}[]");
  replace_all(work, u"-", u"ZZZZZZZ");
  u16 result;
  while (true) {
    replace_all(work, u"__", u"  ");
    if (work.empty()) break;
    std::string filtered;
    for (char16_t c : work) {
      const bool keep = c == 32 || c == 45 || c == 46 || (c >= 48 && c <= 90) || (c >= 95 && c <= 122);
      filtered.push_back(keep ? static_cast<char>(c) : ' ');
    }
    std::optional<std::string> match;
    std::size_t k = 0;
    for (; k < 4 && !match; ++k) match = RegexFirstMatch(kPatterns[k], filtered);
    if (!match) break;
    result += widen(*match);
    if (k <= 2) result += u">";
    work = replaced(widen(filtered), widen(*match), u"");
    result += u",";
  }
  replace_all(result, u",,", u"");
  replace_all(result, u",_", u",");
  replace_all(result, u"ZZZZZZZ", u"-");
  return result;
}

TEST(AddressParsing, NormalizeAddressTextEqualsTheLiteralSteps) {
  const std::vector<u16> pieces = {u"a",     u"b",  u"_",  u"__",      u".",     u"@",
                                   u"<",     u" ",  u"; ", u"-",       u" SMTP ", u"a@b.c",
                                   u"@b.c",  u"_a", u"x.y", u"\u00e9", u"ZZZZZZZ", u"[",
                                   u"\"",    u"@ ", u"\t"};
  std::mt19937 rng(20240601);
  std::uniform_int_distribution<std::size_t> count(1, 30);
  std::uniform_int_distribution<std::size_t> pick(0, pieces.size() - 1);
  for (int n = 0; n < 3000; ++n) {
    u16 in;
    for (std::size_t i = count(rng); i > 0; --i) in += pieces[pick(rng)];
    ASSERT_EQ(NormalizeAddressText(in), LiteralNormalize(in)) << utf16_to_utf8(in);
  }
}

TEST(AddressParsing, FormatSmtpAddressList) {
  struct Case {
    u16 in;
    u16 out;
  };
  const Case cases[] = {
      {u"A SMTP a@x,B SMTP b@y,", u"A<a@x>,B<b@y>,"},
      {u"plain,", u"plain, "},
      {u"x SMTP y SMTP z,", u""},
      {u"A SMTP a@x", u""},  // the text after the last "," is dropped
      {u",,A SMTP a@x,", u"A<a@x>,"},
      {u"  J\u00fcrgen \u4e2d SMTP j@x,  ", u"J\u00fcrgen \u4e2d<j@x>,"},
      {u"", u""},
  };
  for (const auto& c : cases) EXPECT_EQ(FormatSmtpAddressList(c.in), c.out);
}

TEST(AddressParsing, LooksLikeAddressList) {
  EXPECT_FALSE(LooksLikeAddressList(u"a@b"));
  EXPECT_TRUE(LooksLikeAddressList(u"a@b.c"));
  EXPECT_TRUE(LooksLikeAddressList(u".."));
  EXPECT_FALSE(LooksLikeAddressList(u""));
}

TEST(AddressParsing, RegexFirstMatchIsLeftmostLongestInTheCLocale) {
  struct Case {
    const char* pattern;
    std::string text;
    std::optional<std::string> match;
  };
  const std::vector<Case> cases = {
      {nullptr, "mail john.smith@example.com now", "john.smith@example.com"},
      {kPatterns[1], "John Smith<john.smith@example.com>", "Smith<john.smith@example.com"},
      {nullptr, "no address", std::nullopt},
      {"b+|ab+c", "xabbbc", "abbbc"},
      {"\\w+", "caf\xC3\xA9 x", "caf"},
      {"\\w+", std::string("a\0b@c.d", 7), "a"},
      {"(", "x", std::nullopt},
  };
  // The process locale must not change "\w".
  const std::string saved = std::setlocale(LC_ALL, nullptr);
  for (const char* locale : {"C", "C.UTF-8"}) {
    if (std::setlocale(LC_ALL, locale) == nullptr) continue;
    for (const auto& c : cases) EXPECT_EQ(RegexFirstMatch(c.pattern, c.text), c.match) << locale << " " << c.text;
  }
  std::setlocale(LC_ALL, saved.c_str());
}

TEST(AddressParsing, HeaderAddressMatch) {
  struct Case {
    u16 header;
    u16 field;
    std::optional<u16> run;
  };
  const Case cases[] = {
      {u"From: John <j@x.com>\r\nTo: a@b.c>", u"From", u"John <j@x.com"},
      {u"From: John <j@x.com>\r\nTo: a@b.c>", u"To", u"a@b.c"},
      {u"From: first@x>\r\nFrom: second@x>", u"From", u"first@x"},
      {u"To:  \t<a@b>", u"To", u"<a@b"},
      {u"X: 1\nTo: >>", u"To", u">"},
      {u"To:  >", u"To", u" "},
      // Only a field that starts a line, spelled exactly, on a single line.
      {u"Reply-To: r@x>\r\nTo: t@x>", u"To", u"t@x"},
      {u"In-Reply-To: <id@x>\r\n", u"To", std::nullopt},
      {u"Delivered-To: a@b>", u"To", std::nullopt},
      {u"Resent-From: x>", u"From", std::nullopt},
      {u"from: a>", u"From", std::nullopt},
      {u"To: a@b\r\nCc: c>", u"To", std::nullopt},
      {u"To:a>", u"To", std::nullopt},
      {u"To: >", u"To", std::nullopt},
      {u"", u"To", std::nullopt},
  };
  for (const auto& c : cases)
    EXPECT_EQ(HeaderAddressMatch(c.header, c.field), c.run) << utf16_to_utf8(c.header);
}

}  // namespace
}  // namespace edbx
