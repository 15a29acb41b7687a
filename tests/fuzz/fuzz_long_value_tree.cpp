// The long-value tree reader on damaged trees. A valid three-level tree is written once
// with edbforge; each input picks a long value and overwrites bytes of the tree's pages.
// Every lookup must end in data or nullopt: no out-of-bounds read, no loop, no crash.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "common/paths.hpp"
#include "store/esedb.hpp"
#include "store/long_value_tree.hpp"
#include "tools/edbforge/ese/database.hpp"
#include "tools/edbforge/ese/page.hpp"

namespace {

namespace ese = edbforge::ese;

constexpr std::uint32_t kPageSize = 4096;
constexpr std::uint32_t kRevision = 12;
constexpr std::size_t kObjidOffset = 24;  // of the owning tree, in every page header

struct Base {
  std::string file;
  edbx::LongValueTreeRoot root;
  std::vector<std::size_t> tree_pages;  // file offsets of the pages the tree owns
  std::uint32_t long_values = 0;
};

std::string Bytes(std::size_t n, unsigned seed) {
  std::string s(n, '\0');
  for (auto& c : s) {
    seed = seed * 1103515245u + 12345u;
    c = static_cast<char>(seed >> 16);
  }
  return s;
}

// Table "T": long values of one byte, one chunk, four and a half chunks, a compressed text
// of three chunks and enough half-chunk values for a tree of three levels.
Base MakeBase() {
  namespace fs = std::filesystem;
  const fs::path path = fs::temp_directory_path() / ("edbx-fuzz-lv-" + std::to_string(::getpid()) + ".edb");
  ese::WriterOptions options;
  options.page_size = kPageSize;
  options.format_revision = kRevision;
  Base base;
  {
    ese::DatabaseWriter w(path, options);
    ese::TableDef t;
    t.name = "T";
    t.columns = {ese::ColumnDef("Blob", ese::ColumnType::LongBinary),
                 ese::ColumnDef("Text", ese::ColumnType::LongText, 1200).compress()};
    const auto id = w.add_table(t);
    const std::size_t chunk = w.format().long_value_chunk();
    std::vector<std::string> blobs = {"x", Bytes(chunk, 1), Bytes(chunk * 4 + chunk / 2, 2)};
    for (unsigned i = 0; i < 300; ++i) blobs.push_back(Bytes(chunk / 2 + 64, 10 + i));
    std::u16string text;
    while (text.size() * 2 < chunk * 3) text += u"A line of compressible text, again and again. ";
    ese::Value t_value = ese::val::Utf16(text);
    t_value.placement = ese::LongValuePlacement::Separate;
    w.add_row(id, ese::Row().set(1, t_value));
    for (const auto& blob : blobs) {
      ese::Value v = ese::val::Bin(blob);
      v.placement = ese::LongValuePlacement::Separate;
      w.add_row(id, ese::Row().set(0, v));
    }
    w.finish();
    base.long_values = static_cast<std::uint32_t>(blobs.size() + 1);
  }
  const auto db = edbx::EseDatabase::Open(path);
  const auto trees = db ? edbx::FindLongValueTrees(*db) : std::nullopt;
  if (!trees || trees->count(u"T") == 0) throw std::runtime_error("no long-value tree in the fuzz base");
  base.root = trees->at(u"T");
  base.file = edbx::ReadWholeFile(path).value_or(std::string());
  fs::remove(path);
  for (std::size_t at = 2 * kPageSize; at + kPageSize <= base.file.size(); at += kPageSize) {
    const auto* p = reinterpret_cast<const unsigned char*>(base.file.data() + at + kObjidOffset);
    const std::uint32_t objid = p[0] | (p[1] << 8) | (p[2] << 16) | (std::uint32_t{p[3]} << 24);
    if (objid == base.root.objid) base.tree_pages.push_back(at);
  }
  if (base.tree_pages.empty()) throw std::runtime_error("no pages of the long-value tree");
  return base;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const Base base = MakeBase();
  if (size < 1) return 0;
  // One byte picks the long value (a few beyond the last are missing ones); then each group
  // of five bytes overwrites one byte: page of the tree (2), offset in the page (2), value.
  const std::uint32_t lid = 1 + data[0] % (base.long_values + 3);
  std::string file = base.file;
  std::vector<std::size_t> touched;
  for (std::size_t i = 1; i + 5 <= size; i += 5) {
    const std::size_t page = base.tree_pages[(data[i] | (data[i + 1] << 8)) % base.tree_pages.size()];
    const std::size_t offset = (data[i + 2] | (data[i + 3] << 8)) % kPageSize;
    file[page + offset] = static_cast<char>(data[i + 4]);
    touched.push_back(page);
  }
  // Pages are checksummed: reseal the damaged ones so that the damage reaches the
  // tree checks rather than stopping at the checksum.
  ese::FormatContext fmt;
  fmt.page_size = kPageSize;
  fmt.revision = kRevision;
  for (const std::size_t at : touched) {
    std::vector<std::uint8_t> raw(file.begin() + static_cast<std::ptrdiff_t>(at),
                                  file.begin() + static_cast<std::ptrdiff_t>(at + kPageSize));
    ese::SealPage(fmt, static_cast<std::uint32_t>(at / kPageSize - 1), raw);
    file.replace(at, kPageSize, std::string(raw.begin(), raw.end()));
  }

  const int fd = ::memfd_create("lv-tree", 0);
  if (fd < 0) return 0;
  if (::write(fd, file.data(), file.size()) == static_cast<ssize_t>(file.size())) {
    const std::string path = "/proc/self/fd/" + std::to_string(fd);
    if (auto tree = edbx::LongValueTree::Open(path, kPageSize, kRevision, base.root)) {
      if (const auto chunks = tree->Chunks(lid))
        for (const auto& chunk : *chunks) (void)tree->ChunkData(chunk);
      (void)tree->Read(lid);
    }
  }
  ::close(fd);
  return 0;
}
