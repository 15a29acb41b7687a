#include "tools/edbforge/ese/tree_builder.hpp"

#include <algorithm>
#include <stdexcept>

namespace edbforge::ese {

namespace {
// Every page keeps room for a 16-byte tag 0 (the root header), so that the first
// leaf can still become the root when the tree ends up a single page.
constexpr std::size_t kTagZeroReserve = 4 + 16;
constexpr std::size_t kNodeOverhead = 4 + 2;  // tag array entry and key size

std::size_t CommonPrefix(const Bytes& a, const Bytes& b) {
  const std::size_t n = std::min(a.size(), b.size());
  std::size_t i = 0;
  while (i < n && a[i] == b[i]) ++i;
  return i;
}
}  // namespace

Bytes Separator(const Bytes& last, const Bytes& next_first) {
  for (std::size_t i = 1; i <= next_first.size(); ++i) {
    Bytes p = next_first.substr(0, i);
    if (p > last) return p;
  }
  return next_first;
}

TreeBuilder::TreeBuilder(PagedFile& file, const TreeOptions& options)
    : file_(file), options_(options) {
  if (options_.first_extent_start != 0) {
    root_page_ = options_.first_extent_start;
    extents_.emplace_back(options_.first_extent_start, options_.first_extent_size);
    extent_next_ = root_page_ + 1;
    extent_end_ = root_page_ + options_.first_extent_size;
    owned_ = options_.first_extent_size;
    if (options_.space_pages_after_root) extent_next_ += 2;
  } else {
    root_page_ = file_.allocate(1);
    extents_.emplace_back(root_page_, 1);
    extent_next_ = extent_end_ = root_page_ + 1;
    owned_ = 1;
  }
}

uint32_t TreeBuilder::next_page() {
  if (extent_next_ == extent_end_) {
    if (extent_end_ > extent_next_) free_runs_.emplace_back(extent_next_, extent_end_ - extent_next_);
    const uint32_t size = std::clamp<uint32_t>(owned_, 4, 1024);
    const uint32_t first = file_.allocate(size);
    extents_.emplace_back(first, size);
    extent_next_ = first;
    extent_end_ = first + size;
    owned_ += size;
  }
  return extent_next_++;
}

std::size_t TreeBuilder::max_data(std::size_t key_size) const {
  const std::size_t cap = PageDataCapacity(file_.format()) - kTagZeroReserve;
  const std::size_t overhead = kNodeOverhead + key_size;
  return cap > overhead ? cap - overhead : 0;
}

void TreeBuilder::add(Bytes key, Bytes data) {
  if (finished_) throw std::logic_error("node added to a finished tree");
  if (entries_ > 0 && !(key > last_key_)) throw std::logic_error("tree keys out of order");
  if (data.size() > max_data(key.size())) throw std::logic_error("node larger than a page");
  const std::size_t cost = kNodeOverhead + key.size() + data.size();
  const std::size_t cap = PageDataCapacity(file_.format()) - kTagZeroReserve;
  if (!leaf_.empty() && leaf_bytes_ + cost > cap) {
    if (leaf_page_ == 0) leaf_page_ = next_page();
    const uint32_t next = next_page();
    write_leaf(leaf_page_, previous_leaf_, next);
    previous_leaf_ = leaf_page_;
    leaf_page_ = next;
  }
  last_key_ = key;
  leaf_bytes_ += cost;
  leaf_.push_back({std::move(key), std::move(data)});
  ++entries_;
}

void TreeBuilder::write_leaf(uint32_t page, uint32_t previous, uint32_t next) {
  const FormatContext& fmt = file_.format();
  std::vector<TagValue> tags;
  tags.reserve(leaf_.size() + 1);
  // Key bytes common to the whole page are kept once in tag 0 (not on large pages,
  // whose readers take tag flags from the first two bytes of every tag).
  std::size_t prefix = 0;
  if (!fmt.large_pages() && leaf_.size() > 1) {
    prefix = leaf_.front().key.size();
    for (const auto& n : leaf_) prefix = std::min(prefix, CommonPrefix(leaf_.front().key, n.key));
    if (prefix < 3 || leaf_.size() * (prefix - 2) < prefix) prefix = 0;
  }
  tags.push_back({leaf_.front().key.substr(0, prefix), 0});
  for (const auto& n : leaf_) tags.push_back(MakeNode(n.key, n.data, prefix));
  PageHeader h;
  h.page_number = page;
  h.objid = options_.objid;
  h.flags = fmt.base_page_flags() | kPageLeaf | options_.kind_flags;
  h.previous = previous;
  h.next = next;
  file_.write_page(h, tags);
  leaves_.push_back({leaf_.front().key, leaf_.back().key, page});
  leaf_.clear();
  leaf_bytes_ = 0;
}

Bytes TreeBuilder::root_header(uint32_t initial, uint32_t extent_space, uint32_t space_page) const {
  Bytes b;
  put_u32le(b, initial);
  put_u32le(b, options_.parent_fdp_page);
  put_u32le(b, extent_space);
  put_u32le(b, space_page);
  return b;
}

uint32_t TreeBuilder::space_flags() const {
  return file_.format().base_page_flags() | kPageRoot | kPageLeaf | kPageSpaceTree;
}

void TreeBuilder::write_space_trees(uint32_t oe_page) {
  auto sorted = extents_;
  std::sort(sorted.begin(), sorted.end());
  std::vector<TagValue> owned{{Bytes(16, '\0'), 0}};
  for (const auto& [first, count] : sorted) {
    Bytes d;
    put_u32le(d, count);
    owned.push_back(MakeNode(u32be(first + count - 1), std::move(d)));
  }
  auto runs = free_runs_;
  if (extent_end_ > extent_next_) runs.emplace_back(extent_next_, extent_end_ - extent_next_);
  std::sort(runs.begin(), runs.end());
  std::vector<TagValue> available{{Bytes(16, '\0'), 0}};
  for (const auto& [first, count] : runs) {
    Bytes d;
    put_u32le(d, count);
    available.push_back(MakeNode(u32be(first + count - 1), d));
  }
  if ((owned.size() + available.size()) * 14 + 64 > PageDataCapacity(file_.format()))
    throw std::runtime_error("too many extents for one space tree page");
  PageHeader h;
  h.objid = options_.objid;
  h.flags = space_flags();
  h.page_number = oe_page;
  file_.write_page(h, owned);
  h.page_number = oe_page + 1;
  h.flags |= 0x10000;  // ESE marks the available-space tree with the second flush bit
  file_.write_page(h, available);
}

void TreeBuilder::finish() {
  if (finished_) return;
  finished_ = true;
  const FormatContext& fmt = file_.format();

  uint32_t oe_page = 0;
  auto reserve_space_pages = [&] {
    if (options_.space_pages_after_root) {
      oe_page = root_page_ + 1;
    } else {
      if (extent_end_ - extent_next_ < 2) {
        // Two fresh consecutive pages; a last single page stays available.
        if (extent_end_ > extent_next_) free_runs_.emplace_back(extent_next_, 1);
        extent_next_ = extent_end_;
        (void)next_page();
        --extent_next_;
      }
      oe_page = extent_next_;
      extent_next_ += 2;
    }
  };

  if (leaves_.empty()) {
    // The whole tree is the root page.
    const bool multi = owned_ > 1 || options_.space_pages_after_root;
    if (multi) reserve_space_pages();
    std::vector<TagValue> tags;
    tags.push_back({multi ? root_header(extents_.front().second, 1, oe_page) : root_header(1, 0, 0), 0});
    for (const auto& n : leaf_) tags.push_back(MakeNode(n.key, n.data));
    PageHeader h;
    h.page_number = root_page_;
    h.objid = options_.objid;
    h.flags = fmt.base_page_flags() | kPageRoot | kPageLeaf | options_.kind_flags;
    file_.write_page(h, tags);
    leaf_.clear();
    if (multi) write_space_trees(oe_page);
    return;
  }

  write_leaf(leaf_page_, previous_leaf_, 0);

  const std::size_t cap = PageDataCapacity(fmt) - kTagZeroReserve;
  std::vector<Child> level = leaves_;
  bool children_are_leaves = true;
  while (true) {
    // Node sizes of this level: separator key plus a 4-byte child page number.
    std::vector<Bytes> keys(level.size());
    std::size_t total = 0;
    for (std::size_t i = 0; i < level.size(); ++i) {
      if (i + 1 < level.size()) keys[i] = Separator(level[i].last_key, level[i + 1].first_key);
      total += kNodeOverhead + keys[i].size() + 4;
    }
    const uint32_t child_flag = children_are_leaves ? kPageParentOfLeaf : 0;
    if (total <= cap) {
      reserve_space_pages();
      std::vector<TagValue> tags;
      tags.push_back({root_header(extents_.front().second, 1, oe_page), 0});
      for (std::size_t i = 0; i < level.size(); ++i) {
        Bytes d;
        put_u32le(d, level[i].page);
        tags.push_back(MakeNode(i + 1 < level.size() ? keys[i] : Bytes(), d));
      }
      PageHeader h;
      h.page_number = root_page_;
      h.objid = options_.objid;
      h.flags = fmt.base_page_flags() | kPageRoot | child_flag | options_.kind_flags;
      file_.write_page(h, tags);
      write_space_trees(oe_page);
      return;
    }
    // Pack the level into branch pages; each page's last node has an empty key.
    std::vector<Child> upper;
    std::size_t start = 0;
    while (start < level.size()) {
      std::size_t end = start;
      std::size_t used = 0;
      while (end < level.size()) {
        const std::size_t c = kNodeOverhead + keys[end].size() + 4;
        if (used + c > cap && end > start) break;
        used += c;
        ++end;
      }
      std::vector<TagValue> tags{{Bytes(), 0}};
      for (std::size_t i = start; i < end; ++i) {
        Bytes d;
        put_u32le(d, level[i].page);
        tags.push_back(MakeNode(i + 1 < end ? keys[i] : Bytes(), d));
      }
      PageHeader h;
      h.page_number = next_page();
      h.objid = options_.objid;
      h.flags = fmt.base_page_flags() | child_flag | options_.kind_flags;
      file_.write_page(h, tags);
      upper.push_back({level[start].first_key, level[end - 1].last_key, h.page_number});
      start = end;
    }
    level = std::move(upper);
    children_are_leaves = false;
  }
}

}  // namespace edbforge::ese
