#pragma once
// Helpers for the store tests: a private temporary folder, fixture databases written
// with the ESE writer, and a way to give a stored value flags the writer never writes.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <random>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "common/paths.hpp"
#include "store/esedb.hpp"
#include "tools/edbforge/ese/database.hpp"
#include "tools/edbforge/ese/page.hpp"

namespace edbx::test {

namespace fs = std::filesystem;
namespace ese = edbforge::ese;

/// A folder of this test process, created on first use.
inline fs::path TestDir() {
  static const fs::path dir = [] {
    fs::path d = fs::temp_directory_path() / ("edbx-store-test-" + std::to_string(::getpid()));
    fs::create_directories(d);
    return d;
  }();
  return dir;
}

// Removes the test folder when the test program ends.
class RemoveTestDir : public ::testing::Environment {
 public:
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(TestDir(), ec);
  }
};
inline const bool kRemoveTestDirRegistered = [] {
  ::testing::AddGlobalTestEnvironment(new RemoveTestDir);
  return true;
}();

/// A fresh empty folder below TestDir().
inline fs::path FreshDir(const std::string& name) {
  const fs::path d = TestDir() / name;
  fs::remove_all(d);
  fs::create_directories(d);
  return d;
}

inline std::string ReadBytes(const fs::path& path) { return ReadWholeFile(path).value_or(std::string()); }

inline void WriteBytes(const fs::path& path, std::string_view bytes) {
  if (!WriteWholeFile(path, bytes)) throw std::runtime_error("cannot write " + path.string());
}

/// Output of a shell command (the corpus files are xz-compressed).
inline std::string RunCommand(const std::string& command) {
  std::string out;
  FILE* p = ::popen(command.c_str(), "r");
  if (p == nullptr) return out;
  char buffer[4096];
  while (const std::size_t n = std::fread(buffer, 1, sizeof buffer, p)) out.append(buffer, n);
  ::pclose(p);
  return out;
}

/// A real database of the shared corpus, decompressed into the test folder; nullopt
/// when the corpus is not available.
inline std::optional<fs::path> CorpusDatabase(const std::string& name) {
  const char* source = std::getenv("EDBX_SOURCE_DIR");
  const fs::path xz = fs::path(source != nullptr ? source : EDBX_STORE_TEST_SOURCE_DIR) / ".." / "shared" / "corpus" / "foreign-ese" / (name + ".xz");
  if (!fs::exists(xz)) return std::nullopt;
  const fs::path out = TestDir() / name;
  const std::string bytes = RunCommand("xz -dc '" + xz.string() + "' 2>/dev/null");
  if (bytes.empty()) return std::nullopt;
  WriteBytes(out, bytes);
  return out;
}

/// Overwrites stored bytes at `delta` bytes from `marker` (which must occur exactly once
/// in the file) and reseals the page, to make stored forms the writer never produces.
inline void PatchNear(const fs::path& db, std::string_view marker, std::ptrdiff_t delta, std::string_view replacement,
                      const ese::WriterOptions& options = {}) {
  std::string bytes = ReadBytes(db);
  const std::size_t at = bytes.find(marker);
  if (at == std::string::npos || bytes.find(marker, at + 1) != std::string::npos)
    throw std::runtime_error("marker not found exactly once");
  const auto start = static_cast<std::ptrdiff_t>(at) + delta;
  const std::size_t page_size = options.page_size;
  const std::size_t page_start = at / page_size * page_size;
  if (start < static_cast<std::ptrdiff_t>(page_start) ||
      static_cast<std::size_t>(start) + replacement.size() > page_start + page_size)
    throw std::runtime_error("patch outside the marker's page");
  bytes.replace(static_cast<std::size_t>(start), replacement.size(), replacement);
  std::vector<uint8_t> page(bytes.begin() + static_cast<std::ptrdiff_t>(page_start),
                            bytes.begin() + static_cast<std::ptrdiff_t>(page_start + page_size));
  ese::FormatContext fmt;
  fmt.page_size = options.page_size;
  fmt.revision = options.format_revision;
  ese::SealPage(fmt, static_cast<uint32_t>(page_start / page_size - 1), page);
  std::copy(page.begin(), page.end(), bytes.begin() + static_cast<std::ptrdiff_t>(page_start));
  WriteBytes(db, bytes);
}

/// Sets the flags byte stored `distance` bytes before `marker` (the byte in front of a
/// tagged value; for a multi-value of two entries, 5 bytes before its first entry).
inline void PatchValueFlags(const fs::path& db, std::string_view marker, std::size_t distance, uint8_t flags,
                            const ese::WriterOptions& options = {}) {
  PatchNear(db, marker, -static_cast<std::ptrdiff_t>(distance), std::string(1, static_cast<char>(flags)), options);
}

/// Opens a database, failing the test with the store's error text when it cannot.
// Bytes that neither compress nor repeat, the same for the same seed.
inline std::string RandomBytes(std::size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  std::string s(n, '\0');
  for (auto& c : s) c = static_cast<char>(rng() & 0xFF);
  return s;
}

// A long value the writer keeps in the table's long-value tree, however short.
inline ese::Value Separate(ese::Value v) {
  v.placement = ese::LongValuePlacement::Separate;
  return v;
}

inline EseDatabase OpenDatabase(const fs::path& path) {
  auto db = EseDatabase::Open(path);
  if (!db) throw std::runtime_error("open failed: " + LastStoreError());
  return std::move(*db);
}

inline EseTable OpenTable(const EseDatabase& db, std::u16string_view name) {
  EseTable table;
  if (db.TableNamed(name, table) != 1) throw std::runtime_error("no table: " + LastStoreError());
  return table;
}

inline EseRecord OpenRecord(const EseTable& table, int entry) {
  auto record = table.Record(entry);
  if (!record) throw std::runtime_error("no record: " + LastStoreError());
  return std::move(*record);
}

/// Column entry of `name` in `table`, -1 when absent.
inline int ColumnEntry(const EseTable& table, std::u16string_view name) {
  const auto count = table.ColumnCount();
  for (int i = 0; count && i < *count; ++i) {
    const auto column = table.Column(i);
    if (column && column->name == name) return i;
  }
  return -1;
}

}  // namespace edbx::test
