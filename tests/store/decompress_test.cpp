// Decompression of ESE values: values made by the fixture writer's compressors, values
// of databases written by Windows' own engine, and damaged input.

#include "store/decompress.hpp"

#include <gtest/gtest.h>

#include <random>

#include "tests/edbforge/esedb_read.hpp"
#include "tests/store/store_fixture.hpp"
#include "tools/edbforge/ese/compress.hpp"

namespace edbx {
namespace {

using namespace edbx::test;

std::string Ascii(std::size_t n) {
  std::string s;
  for (std::size_t i = 0; i < n; ++i) s.push_back(static_cast<char>(' ' + (i * 7) % 95));
  return s;
}

std::string Utf16Of(const std::string& ascii) {
  std::string s;
  for (char c : ascii) {
    s.push_back(c);
    s.push_back('\0');
  }
  return s;
}

TEST(Decompress, UndoesTheWritersCompression) {
  std::string prose;
  for (int i = 0; i < 300; ++i) prose += "line " + std::to_string(i % 13) + " of some repetitive text\r\n";
  std::mt19937 rng(5);
  std::string noise(3000, '\0');
  for (auto& c : noise) c = static_cast<char>(rng() & 0xFF);

  // Every length from 1 to 24 covers each bit count of the last 7-bit byte, 7, 15 and
  // 23 among them (a single bit in the last byte).
  for (std::size_t n = 1; n <= 24; ++n) {
    SCOPED_TRACE(n);
    const std::string text = Ascii(n);
    const auto ascii = edbforge::ese::Compress7Bit(text, false);
    const auto wide = edbforge::ese::Compress7Bit(Utf16Of(text), true);
    ASSERT_TRUE(ascii && wide);
    EXPECT_EQ(CompressionOf(*ascii), EseCompression::kSevenBitAscii);
    EXPECT_EQ(CompressionOf(*wide), EseCompression::kSevenBitUtf16);
    EXPECT_EQ(DecompressValue(*ascii), text);
    EXPECT_EQ(DecompressValue(*wide), Utf16Of(text));
    EXPECT_EQ(DecompressedSize(*wide), 2 * n);
  }
  for (const std::string& data : {std::string("a"), std::string(65535, 'x'), prose, noise, Utf16Of(prose.substr(0, 4000))}) {
    SCOPED_TRACE(data.size());
    const auto xpress = edbforge::ese::CompressXpressValue(data);
    ASSERT_TRUE(xpress);
    EXPECT_EQ(CompressionOf(*xpress), EseCompression::kXpress);
    EXPECT_EQ(DecompressedSize(*xpress), data.size());
    EXPECT_EQ(DecompressValue(*xpress), data);
    if (const auto chosen = edbforge::ese::CompressValue(data, false)) {
      EXPECT_EQ(DecompressValue(*chosen), data);
    }
  }
}

TEST(Decompress, DamagedOrUnknownDataFailsCleanly) {
  const std::string good = edbforge::ese::CompressXpressValue(Ascii(200)).value();
  std::string longer = good;
  longer[1] = static_cast<char>(0xFF);  // announces more than the stream holds
  std::string shorter = good;
  shorter[1] = static_cast<char>(100);  // announces less than the stream holds
  const struct {
    const char* name;
    std::string data;
  } cases[] = {
      {"empty", ""},
      {"scheme 0", std::string("\x00\x41", 2)},
      {"newer Xpress scheme", std::string("\x28\x10\x00", 3) + "abcdef"},
      {"scheme 31", "\xF8\x41\x42"},
      {"Xpress without size", "\x18\x05"},
      {"Xpress without stream", std::string("\x18\x05\x00", 3)},
      {"Xpress stream cut short", good.substr(0, good.size() / 2)},
      {"Xpress size too large", longer},
      {"Xpress size too small", shorter},
      {"Xpress match before the start", std::string("\x18\x08\x00\xff\xff\xff\xff\x10\x00", 9)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_FALSE(DecompressValue(c.data));
  }
  EXPECT_EQ(DecompressValue(std::string("\x18\x00\x00", 3)), "");
  EXPECT_EQ(DecompressValue("\x0f"), "");  // a 7-bit value without characters
}

// The decoder against libesedb's own reading of compressed values. libesedb is wrong in
// two ways (see decompress.hpp); where its 7-bit count overshoots, it adds one NUL.
TEST(Decompress, AgreesWithLibesedbOnWriterDatabases) {
  const fs::path path = TestDir() / "compressed.edb";
  std::vector<std::string> texts;
  // Lengths from 16 on compress in every column; 23 and 31 leave one bit in the last byte.
  for (std::size_t n : {16u, 17u, 23u, 24u, 31u, 40u, 200u}) texts.push_back(Ascii(n));
  {
    ese::WriterOptions options;
    options.intrinsic_long_value_limit = 60000;
    ese::DatabaseWriter w(path, options);
    ese::TableDef def;
    def.name = "Z";
    def.columns = {ese::ColumnDef("Wide", ese::ColumnType::LongText, 1200).compress(),
                   ese::ColumnDef("Narrow", ese::ColumnType::LongText, 1252).compress(),
                   ese::ColumnDef("Bytes", ese::ColumnType::LongBinary).compress()};
    const auto t = w.add_table(def);
    for (const auto& text : texts)
      w.add_row(t, ese::Row().set(0, ese::val::Utf16(utf8_to_utf16(text))).set(1, ese::val::Ansi(text)).set(2, ese::val::Bin(text)));
    w.finish();
  }
  edbforge::testing::File file(path.string());
  auto table = file.table("Z");
  for (int r = 0; r < table.records(); ++r) {
    const std::string& text = texts[static_cast<std::size_t>(r)];
    SCOPED_TRACE(text.size());
    const auto record = table.record(r);
    for (int c = 0; c < 3; ++c) {
      ASSERT_EQ(record.flags(c) & kValueCompressed, kValueCompressed);
      const std::string raw = record.raw(c);
      const auto ours = DecompressValue(raw);
      ASSERT_TRUE(ours);
      EXPECT_EQ(*ours, c == 0 ? Utf16Of(text) : text);
      if (c == 2) {
        // libesedb counts ((size - 1) * 8) / 7 characters whatever the last byte holds.
        std::string library = *ours;
        if (CompressionOf(raw) == EseCompression::kSevenBitAscii) library.resize((raw.size() - 1) * 8 / 7, '\0');
        EXPECT_EQ(record.binary(c), library);
      } else if (CompressionOf(raw) == EseCompression::kSevenBitAscii && (raw.size() - 1) * 8 / 7 % 2 == 0) {
        // libesedb reads 8-bit packing that it unpacks to an even size as UTF-16.
      } else {
        EXPECT_EQ(record.text(c), utf8_to_utf16(text));
      }
    }
  }
}

TEST(Decompress, AgreesWithLibesedbOnDatabasesOfWindowsEngine) {
  const auto first = CorpusDatabase("esent-compressed-1.edb");
  const auto second = CorpusDatabase("esent-compressed-2.edb");
  if (!first || !second) GTEST_SKIP() << "corpus not available";

  // In-record compressed values: 7-bit UTF-16, 7-bit ASCII and binary columns, each
  // holding the text of the uncompressed fourth column.
  {
    edbforge::testing::File file(first->string());
    auto table = file.table("test_table");
    ASSERT_GT(table.records(), 0);
    for (int r = 0; r < table.records(); ++r) {
      SCOPED_TRACE(r);
      const auto record = table.record(r);
      const std::string plain = record.raw(3);
      ASSERT_EQ(record.flags(0) & kValueCompressed, kValueCompressed);
      EXPECT_EQ(DecompressValue(record.raw(0)), Utf16Of(plain));
      EXPECT_EQ(utf16le_from_bytes(DecompressValue(record.raw(0)).value()), record.text(0));
      EXPECT_EQ(DecompressValue(record.raw(1)), plain);
      EXPECT_EQ(cp1252_to_utf16(DecompressValue(record.raw(1)).value()), record.text(1));
      EXPECT_EQ(DecompressValue(record.raw(2)), record.binary(2));
    }
  }
  // Long values whose segments are Xpress-compressed. libesedb decompresses the text
  // columns of whole long values itself; the binary column holds the same bytes as the
  // 8-bit text column.
  {
    edbforge::testing::File file(second->string());
    auto table = file.table("test_table");
    ASSERT_GT(table.records(), 0);
    for (int r = 0; r < table.records(); ++r) {
      SCOPED_TRACE(r);
      const auto record = table.record(r);
      const std::string plain = record.long_value(3);
      for (int c = 0; c < 3; ++c) {
        const std::string stored = record.long_value(c);
        ASSERT_EQ(CompressionOf(stored), EseCompression::kXpress);
        const auto ours = DecompressValue(stored);
        ASSERT_TRUE(ours);
        EXPECT_EQ(*ours, c == 0 ? Utf16Of(plain) : plain);
      }
      libesedb_long_value_t* value = nullptr;
      ASSERT_EQ(libesedb_record_get_long_value(record.get(), 0, &value, nullptr), 1);
      std::size_t size = 0;
      ASSERT_EQ(libesedb_long_value_get_utf16_string_size(value, &size, nullptr), 1);
      std::u16string library(size, u'\0');
      ASSERT_EQ(libesedb_long_value_get_utf16_string(value, reinterpret_cast<uint16_t*>(library.data()), size, nullptr), 1);
      libesedb_long_value_free(&value, nullptr);
      library.resize(size - 1);
      EXPECT_EQ(utf16le_from_bytes(DecompressValue(record.long_value(0)).value()), library);
    }
  }
}

}  // namespace
}  // namespace edbx
