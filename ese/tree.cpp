#include "ese/tree.hpp"

#include <unordered_set>
#include <utility>

#include "ese/bytes.hpp"

namespace edbx::ese_reader {

namespace {

bool Fail(std::string* why, std::string text) {
  if (why != nullptr) *why = std::move(text);
  return false;
}

}  // namespace

std::optional<std::uint32_t> ChildOf(const Node& node) {
  if (node.data.size() != 4) return std::nullopt;
  return Le32(node.data, 0);
}

std::shared_ptr<const Page> TreeReader::Load(std::uint32_t number, bool leaf, std::string* why) const {
  auto page = file_->ReadPage(number, why);
  if (!page) return nullptr;
  const std::string where = "page " + std::to_string(number) + ": ";
  const std::uint32_t flags = page->flags();
  if (page->objid() != root_.objid) {
    Fail(why, where + "belongs to object " + std::to_string(page->objid()) + ", not to the tree of object " +
                  std::to_string(root_.objid));
    return nullptr;
  }
  if (page->root() != (number == root_.root_page)) {
    Fail(why, where + (page->root() ? "a root page inside the tree" : "not the root of its tree"));
    return nullptr;
  }
  if ((flags & (page_flag::kEmpty | page_flag::kSpaceTree | page_flag::kPreInitialised)) != 0) {
    Fail(why, where + "an empty, space-tree or unused page (flags 0x" + [&] {
      static constexpr char kDigits[] = "0123456789abcdef";
      std::string s;
      for (int shift = 28; shift >= 0; shift -= 4) s += kDigits[(flags >> shift) & 0xf];
      return s;
    }() + ")");
    return nullptr;
  }
  if (kind_ == TreeKind::kTable && (flags & (page_flag::kIndex | page_flag::kLongValue)) != 0) {
    Fail(why, where + "an index or long-value page in a table tree");
    return nullptr;
  }
  if (page->leaf() != leaf) {
    Fail(why, where + (leaf ? "not a leaf where a leaf belongs" : "a leaf where a branch page belongs"));
    return nullptr;
  }
  if (leaf && page->parent_of_leaf()) {
    Fail(why, where + "both a leaf and a parent of leaves");
    return nullptr;
  }
  if (leaf && kind_ == TreeKind::kTable && (flags & page_flag::kNewRecordFormat) == 0) {
    Fail(why, where + "records in the format before the current one");
    return nullptr;
  }
  return page;
}

std::shared_ptr<const Page> TreeReader::LoadRoot(std::string* why) const {
  auto page = file_->ReadPage(root_.root_page, why);
  if (!page) return nullptr;
  return Load(root_.root_page, page->leaf(), why);
}

bool TreeReader::WalkLeaves(const std::function<bool(const Page&)>& visit, std::vector<std::string>& problems) const {
  std::string why;
  const auto root = LoadRoot(&why);
  if (!root) {
    problems.push_back(why);
    return false;
  }
  if (root->leaf()) {
    visit(*root);
    return true;
  }

  // The leaves in key order from the branch levels; 0 marks children lost with a
  // damaged branch page, to be found on the leaf chain.
  constexpr std::uint32_t kGap = 0;
  std::vector<std::uint32_t> leaves;
  std::unordered_set<std::uint32_t> branches{root->number()};
  const std::uint64_t most_leaves = file_->last_page();
  bool too_many = false;
  std::function<void(const Page&, int)> collect = [&](const Page& page, int depth) {
    for (const Node& node : page.nodes()) {
      if (node.deleted()) continue;
      if (leaves.size() >= most_leaves) {
        too_many = true;
        return;
      }
      const auto child_of = ChildOf(node);
      if (!child_of || *child_of == 0) {
        problems.push_back("page " + std::to_string(page.number()) + ", tag " + std::to_string(node.tag) +
                           (child_of ? ": child page 0: outside the file"
                                     : ": branch entry of " + std::to_string(node.data.size()) + " bytes"));
        if (leaves.empty() || leaves.back() != kGap) leaves.push_back(kGap);
        continue;
      }
      const std::uint32_t child = *child_of;
      if (page.parent_of_leaf()) {
        leaves.push_back(child);
        continue;
      }
      std::string reason;
      std::shared_ptr<const Page> next;
      if (depth + 1 >= kMaxDepth) reason = "page " + std::to_string(child) + ": the tree is deeper than " +
                                           std::to_string(kMaxDepth) + " levels";
      else if (!branches.insert(child).second) reason = "page " + std::to_string(child) + ": reached twice";
      else next = Load(child, false, &reason);
      if (!next) {
        problems.push_back(reason);
        if (leaves.empty() || leaves.back() != kGap) leaves.push_back(kGap);
        continue;
      }
      collect(*next, depth + 1);
      if (too_many) return;
    }
  };
  collect(*root, 0);
  if (too_many) problems.push_back("the tree lists more leaves than the file has pages");

  std::unordered_set<std::uint32_t> seen;
  std::shared_ptr<const Page> last;  // the last leaf visited
  for (std::size_t i = 0; i < leaves.size(); ++i) {
    if (leaves[i] == kGap) {
      // Leaves under a damaged branch page: follow the chain from the last good leaf
      // up to the next leaf the branch levels know.
      const std::uint32_t until = i + 1 < leaves.size() ? leaves[i + 1] : 0;
      while (last && last->next() != 0 && last->next() != until) {
        if (seen.size() >= most_leaves || !seen.insert(last->next()).second) {
          problems.push_back("page " + std::to_string(last->next()) + ": the leaf chain loops");
          last = nullptr;
          break;
        }
        auto next = NextLeaf(*last, &why);
        if (!next) {
          problems.push_back(why);
          last = nullptr;
          break;
        }
        if (!visit(*next)) return true;
        last = std::move(next);
      }
      continue;
    }
    if (!seen.insert(leaves[i]).second) {
      problems.push_back("page " + std::to_string(leaves[i]) + ": reached twice");
      continue;
    }
    auto page = Load(leaves[i], true, &why);
    if (!page) {
      problems.push_back(why);
      last = nullptr;
      continue;
    }
    if (!visit(*page)) return true;
    last = std::move(page);
  }
  return true;
}

std::shared_ptr<const Page> TreeReader::NextLeaf(const Page& page, std::string* why) const {
  if (why != nullptr) why->clear();
  if (page.next() == 0) return nullptr;
  auto next = Load(page.next(), true, why);
  if (!next) return nullptr;
  if (next->previous() != page.number()) {
    Fail(why, "page " + std::to_string(next->number()) + ": links back to page " + std::to_string(next->previous()) +
                  ", not to page " + std::to_string(page.number()));
    return nullptr;
  }
  return next;
}

std::shared_ptr<const Page> TreeReader::DescendTo(std::string_view key, std::string* why) const {
  auto page = LoadRoot(why);
  for (int depth = 0; page && !page->leaf(); ++depth) {
    if (depth + 1 >= kMaxDepth) {
      Fail(why, "the tree is deeper than " + std::to_string(kMaxDepth) + " levels");
      return nullptr;
    }
    const Node* child = nullptr;
    for (const Node& node : page->nodes()) {
      if (node.deleted()) continue;
      child = &node;
      if (node.key_size() == 0 || page->CompareKey(node, key) >= 0) break;
    }
    if (child == nullptr) {
      Fail(why, "page " + std::to_string(page->number()) + ": branch page without children");
      return nullptr;
    }
    const auto number = ChildOf(*child);
    if (!number) {
      Fail(why, "page " + std::to_string(page->number()) + ", tag " + std::to_string(child->tag) +
                    ": branch entry of " + std::to_string(child->data.size()) + " bytes");
      return nullptr;
    }
    page = Load(*number, page->parent_of_leaf(), why);
  }
  return page;
}

}  // namespace edbx::ese_reader
