#pragma once
// Long-value trees for the store layer: where a table's tree starts (from the catalog
// libesedb reads) and a reader of it opened by path. The reading itself is the page
// layer's (ese/long_value_tree.hpp): it descends to the value's root node and walks its
// chunks, checking every page on the way.

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/text.hpp"
#include "ese/long_value_tree.hpp"
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

using LongValueChunk = ese_reader::LongValueChunk;

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

  /// The chunks of long value `lid` in key order, each as stored (a compressed chunk
  /// stays compressed). nullopt when the tree holds no such value or is damaged.
  std::optional<std::vector<LongValueChunk>> Chunks(std::uint32_t lid, std::string* why = nullptr) const;
  /// The stored bytes of one chunk returned by Chunks().
  std::optional<std::string> ChunkData(const LongValueChunk& chunk, std::string* why = nullptr) const;
  /// The stored bytes of every chunk of long value `lid`, in order.
  std::optional<std::vector<std::string>> Read(std::uint32_t lid, std::string* why = nullptr) const;

 private:
  explicit LongValueTree(std::shared_ptr<const ese_reader::LongValueTree> tree) : tree_(std::move(tree)) {}
  std::shared_ptr<const ese_reader::LongValueTree> tree_;
};

}  // namespace edbx
