#pragma once
// Direct reader of one table's long-value tree.
//
// A long value kept apart from its record lives in the table's long-value B+-tree: a
// root node keyed by the long-value id (LID, 4 bytes, most significant first) holding
// the reference count and the size, followed by chunk nodes keyed by the LID and the
// chunk's byte offset in the value (4 + 4 bytes, most significant first).
//
// The reader descends from the tree's root to the leaf that holds the root node, then
// walks that value's chunk nodes in key order along the leaf chain. A lookup reads the
// pages of one path and of the value's own chunks, never the rest of the tree.
//
// Everything taken from the file is checked: page numbers against the file, tags and
// keys against their page, the tree's object id on every page, leaf links for cycles
// and the depth of the tree. A damaged tree ends a lookup with nullopt and a reason.
//
// The reader reads through its own read-only descriptor and keeps a few recently read
// pages; it guards its own state, so one reader may serve several threads.

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "common/text.hpp"
#include "store/esedb.hpp"

namespace edbx {

/// Where a table's long-value tree starts, as the catalog gives it.
struct LongValueTreeRoot {
  std::uint32_t objid = 0;      // object id of the tree (every page of it carries it)
  std::uint32_t root_page = 0;  // page number of the root
};

/// Long-value trees of the database's tables by table name, from the catalog table
/// "MSysObjects": the Type 1 row of a table gives its ObjidTable, the Type 4 row with
/// that ObjidTable gives the tree's object id (Id) and root page (ColtypOrPgnoFDP).
/// Tables without long values have no entry. nullopt when the catalog cannot be read.
std::optional<std::map<u16, LongValueTreeRoot>> FindLongValueTrees(const EseDatabase& database);

/// One chunk of a long value as stored: `size` bytes at byte `offset` of page `page`.
struct LongValueChunk {
  std::uint32_t page = 0;
  std::uint32_t offset = 0;
  std::uint32_t size = 0;
  std::uint32_t value_offset = 0;  // where the chunk starts in the (uncompressed) value
};

class LongValueTree {
 public:
  /// Opens the tree whose root is `root.root_page` in the database file at `path`, of
  /// the given page size and format revision. nullptr (with a reason in `why`) when the
  /// file cannot be opened or the page is not the root of that tree.
  static std::unique_ptr<LongValueTree> Open(const std::filesystem::path& path, std::uint32_t page_size,
                                             std::uint32_t format_revision, LongValueTreeRoot root,
                                             std::string* why = nullptr);

  LongValueTree(const LongValueTree&) = delete;
  LongValueTree& operator=(const LongValueTree&) = delete;
  ~LongValueTree();

  /// The chunks of long value `lid` in key order, each as stored (a compressed chunk
  /// stays compressed). nullopt when the tree holds no such value or is damaged.
  std::optional<std::vector<LongValueChunk>> Chunks(std::uint32_t lid, std::string* why = nullptr) const;
  /// The stored bytes of one chunk returned by Chunks().
  std::optional<std::string> ChunkData(const LongValueChunk& chunk, std::string* why = nullptr) const;
  /// The stored bytes of every chunk of long value `lid`, in order.
  std::optional<std::vector<std::string>> Read(std::uint32_t lid, std::string* why = nullptr) const;

 private:
  struct Page;
  struct Node;

  LongValueTree(int fd, std::uint64_t file_size, std::uint32_t page_size, std::uint32_t format_revision,
                LongValueTreeRoot root);

  // Both with mutex_ held.
  std::shared_ptr<const Page> LoadPage(std::uint32_t number, std::string& why) const;
  std::optional<std::vector<Node>> Nodes(const Page& page, std::string& why) const;
  std::optional<std::vector<LongValueChunk>> Find(std::uint32_t lid, std::string& why) const;

  int fd_ = -1;
  std::uint64_t file_size_ = 0;
  std::uint32_t page_size_ = 0;
  std::uint32_t header_size_ = 0;
  bool large_pages_ = false;
  LongValueTreeRoot root_;

  mutable std::mutex mutex_;
  mutable std::vector<std::shared_ptr<const Page>> cache_;  // most recently used last
};

}  // namespace edbx
