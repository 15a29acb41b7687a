#pragma once
// Reader of one table's long-value tree.
//
// A long value kept apart from its record lives in the table's long-value B+-tree: a
// root node keyed by the long-value id (LID: 4 bytes, or 8 with the top bit set, most
// significant first) holding the reference count and the size, followed by chunk nodes
// keyed by the LID and the chunk's byte offset in the value (4 more bytes, most
// significant first).
//
// A lookup descends from the tree's root to the leaf that holds the root node, then
// walks that value's chunk nodes in key order along the leaf chain: it reads the pages
// of one path and of the value's own chunks, never the rest of the tree. Every page is
// checked as the tree reader checks it (ese/tree.hpp); a damaged tree ends a lookup
// with nullopt and a reason.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ese/file.hpp"
#include "ese/tree.hpp"

namespace edbx::ese_reader {

/// A long-value id as a record stores it.
struct LongValueId {
  std::uint64_t value = 0;
  bool wide = false;  // the 8-byte form
};

/// One chunk of a long value as stored: `size` bytes at byte `offset` of page `page`.
struct LongValueChunk {
  std::uint32_t page = 0;
  std::uint32_t offset = 0;
  std::uint32_t size = 0;
  std::uint32_t value_offset = 0;  // where the chunk starts in the (uncompressed) value
};

class LongValueTree {
 public:
  /// The tree whose root is `root`; nullptr (with the reason) when that page is not the
  /// root of that tree.
  static std::shared_ptr<const LongValueTree> Open(std::shared_ptr<const PageFile> file, TreeRoot root,
                                                   std::string* why = nullptr);

  /// The chunks of long value `lid` in key order, each as stored (a compressed chunk
  /// stays compressed). nullopt when the tree holds no such value or is damaged.
  std::optional<std::vector<LongValueChunk>> Chunks(LongValueId lid, std::string* why = nullptr) const;
  /// The stored bytes of one chunk returned by Chunks().
  std::optional<std::string> ChunkData(const LongValueChunk& chunk, std::string* why = nullptr) const;
  /// The stored bytes of every chunk of long value `lid`, in order.
  std::optional<std::vector<std::string>> Read(LongValueId lid, std::string* why = nullptr) const;

 private:
  explicit LongValueTree(TreeReader tree) : tree_(std::move(tree)) {}
  std::optional<std::vector<LongValueChunk>> Find(LongValueId lid, std::string& why) const;

  TreeReader tree_;
};

}  // namespace edbx::ese_reader
