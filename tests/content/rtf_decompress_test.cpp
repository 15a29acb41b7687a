#include "content/rtf_decompress.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "tools/edbforge/rtf_compress.hpp"

extern "C" {
#include <ytnef.h>
}

namespace edbx {
namespace {

constexpr std::uint32_t kLzfu = 0x75465A4C;
constexpr std::uint32_t kMela = 0x414C454D;

std::string Le32(std::uint32_t v) {
  std::string out;
  for (int k = 0; k < 4; ++k) out.push_back(static_cast<char>((v >> (8 * k)) & 0xFFu));
  return out;
}

// A stream with the given header fields followed by `body`.
std::string Stream(std::uint32_t comp_size, std::uint32_t raw_size, std::uint32_t type,
                   const std::string& body) {
  return Le32(comp_size) + Le32(raw_size) + Le32(type) + Le32(0) + body;
}

// A stream whose COMPSIZE matches its length; five trailing bytes keep every token of
// `tokens` ahead of the stopping rule.
std::string Padded(const std::string& tokens, std::uint32_t raw_size = 0x10000) {
  const std::string body = tokens + std::string(5, '\x7f');
  return Stream(static_cast<std::uint32_t>(body.size() + 12), raw_size, kLzfu, body);
}

std::string Bytes(std::initializer_list<int> values) {
  std::string out;
  for (int v : values) out.push_back(static_cast<char>(v));
  return out;
}

// The two worked examples of MS-OXRTFCP (sections 3.1.1 and 3.1.2).
const std::string kExample1 =
    Bytes({0x2d, 0x00, 0x00, 0x00, 0x2b, 0x00, 0x00, 0x00, 0x4c, 0x5a, 0x46, 0x75, 0xf1,
           0xc5, 0xc7, 0xa7, 0x03, 0x00, 0x0a, 0x00, 0x72, 0x63, 0x70, 0x67, 0x31, 0x32,
           0x35, 0x42, 0x32, 0x0a, 0xf3, 0x20, 0x68, 0x65, 0x6c, 0x09, 0x00, 0x20, 0x62,
           0x77, 0x05, 0xb0, 0x6c, 0x64, 0x7d, 0x0a, 0x80, 0x0f, 0xa0});
const std::string kExample1Rtf = "{\\rtf1\\ansi\\ansicpg1252\\pard hello world}\r\n";
const std::string kExample2 = Bytes({0x1a, 0x00, 0x00, 0x00, 0x1c, 0x00, 0x00, 0x00, 0x4c, 0x5a,
                                     0x46, 0x75, 0xe2, 0xd4, 0x4b, 0x51, 0x41, 0x00, 0x04, 0x20,
                                     0x57, 0x58, 0x59, 0x5a, 0x0d, 0x6e, 0x7d, 0x01, 0x0e, 0xb0});
const std::string kExample2Rtf = "{\\rtf1 WXYZWXYZWXYZWXYZWXYZ}";

// libytnef's decoder: an independent implementation that stops at RAWSIZE. Its
// prefilled dictionary holds LF CR where the format has CR LF (positions 168 and 169),
// so it is compared only on texts without CR and LF, which never reference them.
std::optional<std::string> YtnefDecompress(const std::string& stream) {
  std::vector<BYTE> copy(stream.begin(), stream.end());
  variableLength value{copy.data(), static_cast<int>(copy.size())};
  int size = 0;
  BYTE* out = DecompressRTF(&value, &size);
  if (out == nullptr) return std::nullopt;
  std::string text(reinterpret_cast<const char*>(out), static_cast<std::size_t>(size));
  std::free(out);
  return text;
}

TEST(DecompressRtf, DocumentedExamplesStopBeforeTheLastFiveBytes) {
  // The tokens in the last five bytes ("}" and CR LF in the first, "}" in the second,
  // and the end markers) are not decoded; "}}" is appended.
  EXPECT_EQ(DecompressRtf(kExample1), "{\\rtf1\\ansi\\ansicpg1252\\pard hello world}}");
  EXPECT_EQ(DecompressRtf(kExample2), "{\\rtf1 WXYZWXYZWXYZWXYZWXYZ}}");
}

TEST(DecompressRtf, HeaderLimits) {
  // Three runs of literals: a control byte 0, then up to eight characters.
  const std::string literals("\0abcdefgh\0ijklmnop\0qrstuvw", 26);
  struct Case {
    const char* name;
    std::string data;
    std::optional<std::string> expected;
  };
  const Case cases[] = {
      {"empty input", "", std::nullopt},
      {"shorter than the header", kExample1.substr(0, 15), std::nullopt},
      {"COMPSIZE one beyond the input",
       Stream(static_cast<std::uint32_t>(kExample1.size() + 1), 43, kLzfu, kExample1.substr(16)),
       std::nullopt},
      {"COMPSIZE equal to the input", Stream(42, 100, kLzfu, literals), "abcdefghijklmnopqrstuv}}"},
      {"COMPSIZE 0", Stream(0, 100, kLzfu, literals), "}}"},
      {"COMPSIZE 17", Stream(17, 100, kLzfu, literals), "}}"},
      {"COMPSIZE 18: the first token is too close to the end", Stream(18, 100, kLzfu, literals),
       "}}"},
      {"COMPSIZE 19: one token", Stream(19, 100, kLzfu, literals), "a}}"},
      {"unknown COMPTYPE decodes as compressed", Stream(19, 100, 0x12345678, literals), "a}}"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(DecompressRtf(c.data), c.expected) << c.name;
  }
}

TEST(DecompressRtf, UncompressedStreamsCopyRawBytes) {
  const std::string rtf = "{\\rtf1 x}";
  struct Case {
    std::uint32_t raw_size;
    std::string body;
    std::string expected;
  };
  const Case cases[] = {
      {9, rtf, "{\\rtf1 x}}}"},
      {5, rtf, "{\\rtf}}"},         // RAWSIZE shorter than the data
      {1000, rtf, "{\\rtf1 x}}}"},  // RAWSIZE beyond the data
      {0, rtf, "}}"},
      {5, std::string("ab\0cd", 5), "ab"},  // read as a C string
  };
  for (const Case& c : cases) {
    const auto size = static_cast<std::uint32_t>(c.body.size() + 12);
    EXPECT_EQ(DecompressRtf(Stream(size, c.raw_size, kMela, c.body)), c.expected) << c.raw_size;
  }
  EXPECT_EQ(DecompressRtf(Stream(100, 9, kMela, rtf)), std::nullopt);
}

TEST(DecompressRtf, HostileSizesStayInBounds) {
  // Ten runs of eight references to offset 0 with the maximal length 17: each copies
  // "{\rtf1\ansi\mac\d". The stopping rule leaves 78 of the 80 references.
  const std::string pattern = "{\\rtf1\\ansi\\mac\\d";
  std::string runs;
  for (int r = 0; r < 10; ++r) {
    runs.push_back('\xff');
    for (int t = 0; t < 8; ++t) runs += Bytes({0x00, 0x0f});
  }
  struct Case {
    std::uint32_t raw_size;
    std::size_t expected_length;
  };
  const Case cases[] = {
      {0, 97},             // capacity RAWSIZE + 100, three bytes kept for "}}" and NUL
      {5, 102},            // stops inside the first run
      {200, 272},          // stops after the run that passed RAWSIZE + 18
      {0xFFFFFFFF, 1326},  // no overflow, no huge buffer: the whole stream
  };
  for (const Case& c : cases) {
    const auto text = DecompressRtf(
        Stream(static_cast<std::uint32_t>(runs.size() + 12), c.raw_size, kLzfu, runs));
    ASSERT_TRUE(text.has_value());
    std::string expected;
    while (expected.size() < c.expected_length) expected += pattern;
    expected.resize(c.expected_length);
    EXPECT_EQ(*text, expected + "}}") << c.raw_size;
  }
  // A maximal reference at offset 4095 wraps to the start of the dictionary; position
  // 4095 has never been written and reads as NUL, which ends the text.
  EXPECT_EQ(DecompressRtf(Padded(Bytes({0x02, 'a', 0xff, 0xff}))), "a");
}

TEST(DecompressRtf, EveryCallStartsFromTheInitialDictionary) {
  // 1600 literals fill dictionary positions 207 to 1806.
  std::string fill;
  for (int r = 0; r < 200; ++r) fill += std::string(1, '\0') + std::string(8, 'x');
  ASSERT_EQ(DecompressRtf(Padded(fill))->size(), 1600u + 2u);
  // 'a', then a reference to positions 300 and 301, which have not been written.
  const std::string probe = Padded(Bytes({0x02, 'a', 0x12, 0xc0}));
  EXPECT_EQ(DecompressRtf(probe), "a");
  EXPECT_EQ(DecompressRtf(probe), DecompressRtf(probe));
}

TEST(CompressRtf, ReproducesTheDocumentedStreams) {
  EXPECT_EQ(edbforge::CompressRtf(kExample1Rtf), kExample1);
  EXPECT_EQ(edbforge::CompressRtf(kExample2Rtf), kExample2);
  // The oracle agrees with the document.
  EXPECT_EQ(YtnefDecompress(kExample2), kExample2Rtf);
}

std::string LongRtf() {
  // Varied words, so that matches are found all over a dictionary that wraps many times.
  const char* words[] = {"mailbox", "recovery", "\\par ",      "folder",     "{\\b ",
                         "}",       "server",   "\\'e9t\\'e9", "attachment", " ",
                         "\\tab ",  "2010",     "\\line "};
  std::string rtf = "{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl{\\f0 Calibri;}}\\f0 ";
  std::uint32_t seed = 12345;
  while (rtf.size() < 30000) {
    seed = seed * 1103515245u + 12345u;
    rtf += words[(seed >> 16) % std::size(words)];
  }
  return rtf + "}";
}

TEST(CompressRtf, RoundTripsThroughBothDecoders) {
  std::string every_byte;
  for (int b = 1; b < 256; ++b) {
    if (b == '\r' || b == '\n') continue;
    every_byte += std::string(static_cast<std::size_t>(b % 7 + 1), static_cast<char>(b));
  }
  const std::string cases[] = {
      "{\\rtf1}",   kExample1Rtf,
      kExample2Rtf, std::string(5000, 'a'),  // references that run into their own output
      every_byte,   LongRtf(),
  };
  for (const std::string& rtf : cases) {
    const std::string stream = edbforge::CompressRtf(rtf);
    if (rtf.find_first_of("\r\n") == std::string::npos) {
      EXPECT_EQ(YtnefDecompress(stream), rtf) << rtf.substr(0, 40);
    }

    // Ours stops before the last five bytes: at most one reference and one literal
    // before the end marker are left out.
    const auto text = DecompressRtf(stream);
    ASSERT_TRUE(text.has_value());
    ASSERT_GE(text->size(), 2u);
    EXPECT_EQ(text->substr(text->size() - 2), "}}");
    const std::string decoded = text->substr(0, text->size() - 2);
    EXPECT_EQ(rtf.substr(0, decoded.size()), decoded) << rtf.substr(0, 40);
    EXPECT_LE(rtf.size() - decoded.size(), 18u) << rtf.substr(0, 40);
  }
  // Empty input: only the end marker, a reference to the write position 207 (libytnef
  // refuses streams this short).
  EXPECT_EQ(edbforge::CompressRtf("").substr(16), Bytes({0x01, 0x0c, 0xf0}));
  EXPECT_EQ(DecompressRtf(edbforge::CompressRtf("")), "}}");
}

}  // namespace
}  // namespace edbx
