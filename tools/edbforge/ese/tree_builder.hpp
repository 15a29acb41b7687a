#pragma once
// Streaming bulk loader of one B+-tree: nodes arrive in key order, full leaf pages
// go to the file at once, branch levels and space trees are written at the end.

#include <cstdint>
#include <utility>
#include <vector>

#include "tools/edbforge/ese/bytes.hpp"
#include "tools/edbforge/ese/paged_file.hpp"

namespace edbforge::ese {

struct TreeOptions {
  uint32_t objid = 0;
  uint32_t parent_fdp_page = kDatabaseRootPage;
  uint32_t kind_flags = 0;  // kPageLongValue for long-value trees
  /// A fixed first extent (the catalog's); 0 lets the tree allocate its own.
  uint32_t first_extent_start = 0;
  uint32_t first_extent_size = 0;
  /// The two pages after the root hold the space trees (the catalog layout).
  bool space_pages_after_root = false;
};

class TreeBuilder {
 public:
  TreeBuilder(PagedFile& file, const TreeOptions& options);

  uint32_t root_page() const { return root_page_; }
  uint32_t objid() const { return options_.objid; }
  uint64_t entries() const { return entries_; }
  /// Largest data size a node with a key of `key_size` bytes may carry.
  std::size_t max_data(std::size_t key_size) const;

  /// Appends a node; keys must be strictly increasing.
  void add(Bytes key, Bytes data);
  /// Writes the remaining leaf, the branch levels, the space trees and the root.
  void finish();

 private:
  struct Child {
    Bytes first_key;
    Bytes last_key;
    uint32_t page;
  };
  struct Node {
    Bytes key;
    Bytes data;
  };

  uint32_t next_page();
  void write_leaf(uint32_t page, uint32_t previous, uint32_t next);
  uint32_t space_flags() const;
  Bytes root_header(uint32_t initial, uint32_t extent_space, uint32_t space_page) const;
  void write_space_trees(uint32_t oe_page);

  PagedFile& file_;
  TreeOptions options_;
  uint32_t root_page_ = 0;
  std::vector<std::pair<uint32_t, uint32_t>> extents_;     // (first page, count)
  std::vector<std::pair<uint32_t, uint32_t>> free_runs_;   // owned, never used
  uint32_t extent_next_ = 0;
  uint32_t extent_end_ = 0;
  uint32_t owned_ = 0;

  std::vector<Node> leaf_;
  std::size_t leaf_bytes_ = 0;
  uint32_t leaf_page_ = 0;
  uint32_t previous_leaf_ = 0;
  std::vector<Child> leaves_;
  Bytes last_key_;
  uint64_t entries_ = 0;
  bool finished_ = false;
};

/// The shortest prefix of `next_first` that sorts after `last` (a branch separator).
Bytes Separator(const Bytes& last, const Bytes& next_first);

}  // namespace edbforge::ese
