#include "ese/long_value_tree.hpp"

#include <unordered_set>
#include <utility>

#include "ese/bytes.hpp"

namespace edbx::ese_reader {

namespace {

// Leaves walked from the one the descent reached before the value's root node must
// have been found: separators send the descent to that leaf or the one before it.
constexpr int kMaxLeavesBeforeRoot = 3;

bool Fail(std::string* why, std::string text) {
  if (why != nullptr) *why = std::move(text);
  return false;
}

std::string KeyOf(LongValueId lid) {
  const std::size_t size = lid.wide ? 8 : 4;
  std::string b(size, '\0');
  for (std::size_t i = 0; i < size; ++i) b[i] = static_cast<char>((lid.value >> (8 * (size - 1 - i))) & 0xFF);
  return b;
}

}  // namespace

std::shared_ptr<const LongValueTree> LongValueTree::Open(std::shared_ptr<const PageFile> file, TreeRoot root,
                                                         std::string* why) {
  TreeReader tree(std::move(file), root, TreeKind::kLongValue);
  if (!tree.LoadRoot(why)) return nullptr;
  return std::shared_ptr<const LongValueTree>(new LongValueTree(std::move(tree)));
}

std::optional<std::vector<LongValueChunk>> LongValueTree::Chunks(LongValueId lid, std::string* why) const {
  std::string reason;
  auto chunks = Find(lid, reason);
  if (!chunks) Fail(why, "long value " + std::to_string(lid.value) + ": " + reason);
  return chunks;
}

std::optional<std::vector<LongValueChunk>> LongValueTree::Find(LongValueId lid, std::string& why) const {
  const std::string root_key = KeyOf(lid);
  auto page = tree_.DescendTo(root_key, &why);
  if (!page) return std::nullopt;

  // Walk the leaves in key order: nodes before the root node, the root node (LID),
  // its chunks (LID + offset), up to the first key of another value.
  std::unordered_set<std::uint32_t> visited{page->number()};
  std::string previous_key;
  bool have_previous = false;
  bool found_root = false;
  bool past = false;
  std::uint32_t root_data_size = 0;
  std::uint32_t value_size = 0;
  std::vector<LongValueChunk> chunks;
  for (int leaves = 1;; ++leaves) {
    for (const Node& node : page->nodes()) {
      if (node.deleted()) continue;
      std::string key = page->Key(node);
      if (have_previous && key <= previous_key) {
        Fail(&why, "leaf page " + std::to_string(page->number()) + ": keys out of order");
        return std::nullopt;
      }
      previous_key = key;
      have_previous = true;
      if (key < root_key) continue;
      if (key == root_key) {
        found_root = true;
        root_data_size = static_cast<std::uint32_t>(node.data.size());
        if (node.data.size() < 8) {
          Fail(&why, "root node of " + std::to_string(node.data.size()) + " bytes");
          return std::nullopt;
        }
        value_size = Le32(node.data, 4);
        continue;
      }
      if (key.compare(0, root_key.size(), root_key) != 0) {
        past = true;
        break;
      }
      if (!found_root || key.size() != root_key.size() + 4) {
        Fail(&why, "leaf page " + std::to_string(page->number()) + ": " +
                       (found_root ? "key of " + std::to_string(key.size()) + " bytes" : "chunk without a root node"));
        return std::nullopt;
      }
      chunks.push_back({page->number(), page->OffsetOf(node.data), static_cast<std::uint32_t>(node.data.size()),
                        Be32(key, root_key.size())});
    }
    if (past || page->next() == 0) break;
    if (!found_root && leaves >= kMaxLeavesBeforeRoot) break;
    if (!visited.insert(page->next()).second) {
      Fail(&why, "the leaf chain loops back to page " + std::to_string(page->next()));
      return std::nullopt;
    }
    auto next = tree_.NextLeaf(*page, &why);
    if (!next) return std::nullopt;
    page = std::move(next);
  }
  if (!found_root) {
    Fail(&why, "not in the tree");
    return std::nullopt;
  }

  // Chunks are keyed by their offset in the value; a stored chunk never exceeds the
  // span to the next one (a compressed chunk is shorter) nor the value's end.
  for (std::size_t i = 0; i < chunks.size(); ++i) {
    const LongValueChunk& c = chunks[i];
    const bool first_misplaced = i == 0 && c.value_offset != 0;
    const std::uint64_t end = std::uint64_t{c.value_offset} + c.size;
    const bool overlaps = i + 1 < chunks.size() && end > chunks[i + 1].value_offset;
    // Only the 8-byte root node's size field is known to be the value's size.
    const bool beyond = i + 1 == chunks.size() && root_data_size == 8 && end > value_size;
    if (first_misplaced) {
      Fail(&why, "the first chunk starts at offset " + std::to_string(c.value_offset));
      return std::nullopt;
    }
    if (overlaps || beyond) {
      Fail(&why, "chunk at offset " + std::to_string(c.value_offset) + " of " + std::to_string(c.size) + " bytes " +
                     (overlaps ? "overlaps the next" : "exceeds the value's size " + std::to_string(value_size)));
      return std::nullopt;
    }
  }
  if (chunks.empty() && root_data_size == 8 && value_size != 0) {
    Fail(&why, "value of " + std::to_string(value_size) + " bytes without chunks");
    return std::nullopt;
  }
  return chunks;
}

std::optional<std::string> LongValueTree::ChunkData(const LongValueChunk& chunk, std::string* why) const {
  const PageFormat format = tree_.file().format();
  if (chunk.offset < format.header_size()) {
    Fail(why, "chunk of " + std::to_string(chunk.size) + " bytes at " + std::to_string(chunk.offset) + " of page " +
                  std::to_string(chunk.page) + " is outside the page");
    return std::nullopt;
  }
  return tree_.file().ReadBytes(chunk.page, chunk.offset, chunk.size, why);
}

std::optional<std::vector<std::string>> LongValueTree::Read(LongValueId lid, std::string* why) const {
  const auto chunks = Chunks(lid, why);
  if (!chunks) return std::nullopt;
  std::vector<std::string> data;
  data.reserve(chunks->size());
  for (const LongValueChunk& chunk : *chunks) {
    auto bytes = ChunkData(chunk, why);
    if (!bytes) return std::nullopt;
    data.push_back(std::move(*bytes));
  }
  return data;
}

}  // namespace edbx::ese_reader
