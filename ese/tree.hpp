#pragma once
// Walks of one B+-tree: a table's data tree, the catalog, or a long-value tree.
//
// A tree is found by its root page and the object id every page of it carries. Branch
// nodes hold a 4-byte child page number; the leaves are linked both ways. A full walk
// collects the leaves from the branch levels (so a damaged leaf does not cut the walk
// short: the next leaf is known from its parent) and falls back to the leaf chain where
// a branch page is damaged. Every page is checked before it is used:
//
//   - page number inside the file, the page parses (tags, nodes, checksum);
//   - the tree's object id; the root flag only on the root;
//   - no empty, space-tree or pre-initialised page; table trees hold no index or
//     long-value page, and their leaves have the current record format;
//   - a child is a leaf exactly when its parent says its children are leaves;
//   - no page is visited twice (cycles), at most kMaxDepth levels, at most as many
//     leaves as the file has pages; on the leaf chain next.previous == current.
//
// A page that fails is skipped with a problem text naming it; the walk goes on.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ese/file.hpp"

namespace edbx::ese_reader {

/// Where a tree starts, as the catalog gives it.
struct TreeRoot {
  std::uint32_t objid = 0;
  std::uint32_t root_page = 0;
};

enum class TreeKind { kTable, kLongValue };

class TreeReader {
 public:
  static constexpr int kMaxDepth = 16;

  TreeReader(std::shared_ptr<const PageFile> file, TreeRoot root, TreeKind kind)
      : file_(std::move(file)), root_(root), kind_(kind) {}

  const PageFile& file() const { return *file_; }
  TreeRoot root() const { return root_; }

  /// Page `number` of this tree, checked for its place: `leaf` says whether a leaf is
  /// expected. nullptr with the reason in `why`.
  std::shared_ptr<const Page> Load(std::uint32_t number, bool leaf, std::string* why) const;
  /// The root page, checked.
  std::shared_ptr<const Page> LoadRoot(std::string* why) const;

  /// Calls `visit` with every leaf page in key order; `visit` returns false to stop.
  /// Each page that cannot be used adds one text to `problems` ("page N: reason").
  /// Returns false when not even the root could be read.
  bool WalkLeaves(const std::function<bool(const Page&)>& visit, std::vector<std::string>& problems) const;

  /// The leaf where a search for `key` starts: at each level the first child whose
  /// separator is empty or sorts at or after `key`. nullptr with the reason.
  std::shared_ptr<const Page> DescendTo(std::string_view key, std::string* why) const;

  /// The leaf after `page` on the leaf chain, checked (its previous link must point
  /// back); nullptr at the chain's end (why empty) or on damage (why set).
  std::shared_ptr<const Page> NextLeaf(const Page& page, std::string* why) const;

 private:
  std::shared_ptr<const PageFile> file_;
  TreeRoot root_;
  TreeKind kind_;
};

/// The child page number of a branch node; nullopt when the node's data is not 4 bytes.
std::optional<std::uint32_t> ChildOf(const Node& node);

}  // namespace edbx::ese_reader
