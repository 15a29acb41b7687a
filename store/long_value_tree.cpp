#include "store/long_value_tree.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <set>
#include <string_view>
#include <utility>

namespace edbx {

namespace {

// Page flags.
constexpr std::uint32_t kPageRoot = 0x0001;
constexpr std::uint32_t kPageLeaf = 0x0002;
constexpr std::uint32_t kPageEmpty = 0x0008;

// Tag flags.
constexpr std::uint8_t kTagDefunct = 0x02;
constexpr std::uint8_t kTagCommonKey = 0x04;

// 16 and 32 KiB pages of this revision on have the 80-byte header, 15-bit tag fields
// and the tag flags in the node bytes.
constexpr std::uint32_t kExtendedHeaderRevision = 0x11;

// A tree of this many levels would hold more pages than a database file can have.
constexpr int kMaxDepth = 16;
// Leaves walked from the one the descent reached before the value's root node must
// have been found: separators send the descent to that leaf or the one before it.
constexpr int kMaxLeavesBeforeRoot = 3;
constexpr std::size_t kCachedPages = 8;

constexpr std::int16_t kCatalogTable = 1;
constexpr std::int16_t kCatalogLongValue = 4;

std::uint16_t Le16(std::string_view b, std::size_t at) {
  return static_cast<std::uint16_t>(static_cast<unsigned char>(b[at]) |
                                    (static_cast<unsigned>(static_cast<unsigned char>(b[at + 1])) << 8));
}

std::uint32_t Le32(std::string_view b, std::size_t at) {
  return static_cast<std::uint32_t>(Le16(b, at)) | (static_cast<std::uint32_t>(Le16(b, at + 2)) << 16);
}

std::uint32_t Be32(std::string_view b, std::size_t at) {
  std::uint32_t v = 0;
  for (std::size_t i = 0; i < 4; ++i) v = (v << 8) | static_cast<unsigned char>(b[at + i]);
  return v;
}

std::string Be32Bytes(std::uint32_t v) {
  std::string b(4, '\0');
  for (std::size_t i = 0; i < 4; ++i) b[i] = static_cast<char>((v >> (8 * (3 - i))) & 0xFF);
  return b;
}

// Reads exactly `size` bytes at `offset`; false on an error or the end of the file.
bool ReadAt(int fd, char* data, std::size_t size, std::uint64_t offset) {
  while (size > 0) {
    const ssize_t n = ::pread(fd, data, size, static_cast<off_t>(offset));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    const auto got = static_cast<std::size_t>(n);
    data += got;
    size -= got;
    offset += got;
  }
  return true;
}

bool Fail(std::string* why, std::string text) {
  if (why != nullptr) *why = std::move(text);
  return false;
}

// Catalog names are stored as 8-bit text, sometimes with their terminator.
std::string_view WithoutTerminator(std::string_view name) {
  if (!name.empty() && name.back() == '\0') name.remove_suffix(1);
  return name;
}

}  // namespace

// ----- catalog -----

std::optional<std::map<u16, LongValueTreeRoot>> FindLongValueTrees(const EseDatabase& database) {
  EseTable catalog;
  if (database.TableNamed(u"MSysObjects", catalog) != 1) return std::nullopt;
  const auto columns = catalog.ColumnCount();
  if (!columns) return std::nullopt;
  int objid_column = -1, type_column = -1, id_column = -1, root_column = -1, name_column = -1;
  for (int i = 0; i < *columns; ++i) {
    const auto column = catalog.Column(i);
    if (!column) continue;
    if (column->name == u"ObjidTable") objid_column = i;
    if (column->name == u"Type") type_column = i;
    if (column->name == u"Id") id_column = i;
    if (column->name == u"ColtypOrPgnoFDP") root_column = i;
    if (column->name == u"Name") name_column = i;
  }
  if (objid_column < 0 || type_column < 0 || id_column < 0 || root_column < 0 || name_column < 0) return std::nullopt;
  const auto records = catalog.RecordCount();
  if (!records) return std::nullopt;

  std::map<std::uint32_t, u16> tables;                 // ObjidTable -> table name
  std::map<std::uint32_t, LongValueTreeRoot> trees;    // ObjidTable -> its long-value tree
  for (int r = 0; r < *records; ++r) {
    const auto record = catalog.Record(r);
    if (!record) continue;  // an unreadable row does not hide the others
    std::uint16_t type = 0;
    std::uint32_t objid = 0;
    if (record->Get16Bit(type_column, type) != 1) continue;
    const auto kind = static_cast<std::int16_t>(type);
    if (kind != kCatalogTable && kind != kCatalogLongValue) continue;
    if (record->Get32Bit(objid_column, objid) != 1) continue;
    if (kind == kCatalogTable) {
      const auto name = record->ValueData(name_column);
      if (name) tables[objid] = cp1252_to_utf16(WithoutTerminator(*name));
    } else {
      LongValueTreeRoot root;
      if (record->Get32Bit(id_column, root.objid) == 1 && record->Get32Bit(root_column, root.root_page) == 1)
        trees[objid] = root;
    }
  }
  std::map<u16, LongValueTreeRoot> found;
  for (const auto& [objid, name] : tables) {
    const auto tree = trees.find(objid);
    if (tree != trees.end()) found[name] = tree->second;
  }
  return found;
}

// ----- pages -----

// A live node of a page: its whole key (the page's common prefix included) and where
// its data lies in the page.
struct LongValueTree::Node {
  std::string key;
  std::uint32_t data_offset = 0;
  std::uint32_t data_size = 0;
};

// A page as read, with its live nodes in tag order.
struct LongValueTree::Page {
  std::uint32_t number = 0;
  std::uint32_t next = 0;
  std::uint32_t objid = 0;
  std::uint32_t flags = 0;
  std::uint16_t tag_count = 0;
  std::string bytes;
  std::vector<Node> nodes;
};

LongValueTree::LongValueTree(int fd, std::uint64_t file_size, std::uint32_t page_size, std::uint32_t format_revision,
                             LongValueTreeRoot root)
    : fd_(fd), file_size_(file_size), page_size_(page_size), root_(root) {
  large_pages_ = format_revision >= kExtendedHeaderRevision && page_size >= 16384;
  header_size_ = large_pages_ ? 80 : 40;
}

LongValueTree::~LongValueTree() {
  if (fd_ >= 0) ::close(fd_);
}

std::unique_ptr<LongValueTree> LongValueTree::Open(const std::filesystem::path& path, std::uint32_t page_size,
                                                   std::uint32_t format_revision, LongValueTreeRoot root,
                                                   std::string* why) {
  if (page_size != 2048 && page_size != 4096 && page_size != 8192 && page_size != 16384 && page_size != 32768) {
    Fail(why, "unsupported page size " + std::to_string(page_size));
    return nullptr;
  }
  if (page_size >= 16384 && format_revision < kExtendedHeaderRevision) {
    Fail(why, "page size " + std::to_string(page_size) + " before format revision 0x11");
    return nullptr;
  }
  // Non-blocking so that a file swapped for a FIFO cannot stall the open.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) {
    Fail(why, "unable to open '" + path.string() + "': " + std::strerror(errno));
    return nullptr;
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size < 0) {
    ::close(fd);
    Fail(why, "'" + path.string() + "' is not a regular file");
    return nullptr;
  }
  std::unique_ptr<LongValueTree> tree(
      new LongValueTree(fd, static_cast<std::uint64_t>(st.st_size), page_size, format_revision, root));
  std::string reason;
  bool is_root = false;
  {
    const std::lock_guard<std::mutex> lock(tree->mutex_);
    const auto page = tree->LoadPage(root.root_page, reason);
    if (!page) {
      Fail(why, reason);
      return nullptr;
    }
    is_root = (page->flags & kPageRoot) != 0;
  }
  if (!is_root) {
    Fail(why, "page " + std::to_string(root.root_page) + " is not the root of a tree");
    return nullptr;
  }
  return tree;
}

// The caller holds mutex_.
std::shared_ptr<const LongValueTree::Page> LongValueTree::LoadPage(std::uint32_t number, std::string& why) const {
  const std::string where = "page " + std::to_string(number) + ": ";
  // Page n is stored at byte (n + 1) * page size, after the two file headers.
  const std::uint64_t pages = file_size_ / page_size_;
  if (number == 0 || number + std::uint64_t{2} > pages) {
    Fail(&why, where + "outside the file of " + std::to_string(pages >= 2 ? pages - 2 : 0) + " pages");
    return nullptr;
  }
  for (auto it = cache_.begin(); it != cache_.end(); ++it) {
    if ((*it)->number != number) continue;
    auto page = *it;
    cache_.erase(it);
    cache_.push_back(page);
    return page;
  }
  auto page = std::make_shared<Page>();
  page->number = number;
  page->bytes.assign(page_size_, '\0');
  if (!ReadAt(fd_, page->bytes.data(), page_size_, (std::uint64_t{number} + 1) * page_size_)) {
    Fail(&why, where + "unable to read");
    return nullptr;
  }
  const std::string_view b(page->bytes);
  page->next = Le32(b, 20);
  page->objid = Le32(b, 24);
  page->tag_count = Le16(b, 34);
  page->flags = Le32(b, 36);
  if (page->objid != root_.objid) {
    Fail(&why, where + "belongs to object " + std::to_string(page->objid) + ", not to the long-value tree " +
                   std::to_string(root_.objid));
    return nullptr;
  }
  if ((page->flags & kPageEmpty) != 0) {
    Fail(&why, where + "marked empty");
    return nullptr;
  }
  if (std::size_t{4} * page->tag_count > page_size_ - header_size_) {
    Fail(&why, where + std::to_string(page->tag_count) + " tags do not fit the page");
    return nullptr;
  }
  auto nodes = Nodes(*page, why);
  if (!nodes) return nullptr;
  page->nodes = std::move(*nodes);
  cache_.push_back(page);
  if (cache_.size() > kCachedPages) cache_.erase(cache_.begin());
  return page;
}

std::optional<std::vector<LongValueTree::Node>> LongValueTree::Nodes(const Page& page, std::string& why) const {
  const std::string_view b(page.bytes);
  const std::size_t area = page_size_ - header_size_ - std::size_t{4} * page.tag_count;
  // Tag i sits at the page's end, 4 bytes per tag counted backwards: value size, then
  // value offset from the end of the header.
  auto value_of = [&](std::size_t i, std::string_view& value, std::uint8_t& flags) {
    const std::size_t at = page_size_ - 4 * (i + 1);
    const std::uint16_t size_field = Le16(b, at);
    const std::uint16_t offset_field = Le16(b, at + 2);
    const std::size_t mask = large_pages_ ? 0x7fff : 0x1fff;
    const std::size_t size = size_field & mask;
    const std::size_t offset = offset_field & mask;
    if (offset > area || size > area - offset) return false;
    value = b.substr(header_size_ + offset, size);
    flags = large_pages_ ? 0 : static_cast<std::uint8_t>(offset_field >> 13);
    // On large pages a node keeps its tag flags in the top bits of its first 16-bit
    // field; tag 0 holds no node and keeps its bytes.
    if (large_pages_ && i > 0 && size >= 2) flags = static_cast<std::uint8_t>(static_cast<unsigned char>(value[1]) >> 5);
    return true;
  };
  const std::string where = "page " + std::to_string(page.number) + ", tag ";
  std::vector<Node> nodes;
  if (page.tag_count == 0) return nodes;
  std::string_view prefix;  // tag 0: the key bytes the page's nodes may share
  std::uint8_t flags = 0;
  if (!value_of(0, prefix, flags)) {
    Fail(&why, where + "0: outside the page's data");
    return std::nullopt;
  }
  const bool root = (page.flags & kPageRoot) != 0;
  if (root) prefix = {};  // a root page's tag 0 is the tree's space header
  nodes.reserve(page.tag_count - 1u);
  for (std::size_t i = 1; i < page.tag_count; ++i) {
    std::string_view value;
    if (!value_of(i, value, flags)) {
      Fail(&why, where + std::to_string(i) + ": outside the page's data");
      return std::nullopt;
    }
    if ((flags & kTagDefunct) != 0) continue;
    auto field = [&](std::size_t at) {
      const std::uint16_t v = Le16(value, at);
      return static_cast<std::size_t>(large_pages_ && at == 0 ? (v & 0x1fff) : v);
    };
    std::size_t pos = 0;
    std::size_t common = 0;
    if ((flags & kTagCommonKey) != 0) {
      if (root || value.size() < 2) {
        Fail(&why, where + std::to_string(i) + ": common key size " + (root ? "on a root page" : "missing"));
        return std::nullopt;
      }
      common = field(0);
      pos = 2;
      if (common > prefix.size()) {
        Fail(&why, where + std::to_string(i) + ": common key of " + std::to_string(common) + " bytes, the page has " +
                       std::to_string(prefix.size()));
        return std::nullopt;
      }
    }
    if (value.size() < pos + 2) {
      Fail(&why, where + std::to_string(i) + ": node of " + std::to_string(value.size()) + " bytes");
      return std::nullopt;
    }
    const std::size_t local = field(pos);
    pos += 2;
    if (local > value.size() - pos) {
      Fail(&why, where + std::to_string(i) + ": key of " + std::to_string(local) + " bytes in a node of " +
                     std::to_string(value.size()));
      return std::nullopt;
    }
    Node node;
    node.key.reserve(common + local);
    node.key.append(prefix.substr(0, common));
    node.key.append(value.substr(pos, local));
    node.data_offset = static_cast<std::uint32_t>(static_cast<std::size_t>(value.data() - b.data()) + pos + local);
    node.data_size = static_cast<std::uint32_t>(value.size() - pos - local);
    nodes.push_back(std::move(node));
  }
  return nodes;
}

// ----- lookup -----

std::optional<std::vector<LongValueChunk>> LongValueTree::Chunks(std::uint32_t lid, std::string* why) const {
  std::string reason;
  std::optional<std::vector<LongValueChunk>> chunks;
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    chunks = Find(lid, reason);
  }
  if (!chunks) Fail(why, "long value " + std::to_string(lid) + ": " + reason);
  return chunks;
}

// The caller holds mutex_.
std::optional<std::vector<LongValueChunk>> LongValueTree::Find(std::uint32_t lid, std::string& why) const {
  const std::string root_key = Be32Bytes(lid);
  auto page = LoadPage(root_.root_page, why);
  if (!page) return std::nullopt;

  // Descend to the leftmost leaf that can hold the root node: into the first child
  // whose separator sorts at or after the key (an empty separator bounds nothing).
  // Separators bound their child from above, so the node is in that leaf or, when the
  // separator equals the key, at the start of the next one, which the walk below reaches.
  for (int depth = 0; (page->flags & kPageLeaf) == 0; ++depth) {
    if (depth == kMaxDepth) {
      Fail(&why, "the tree is deeper than " + std::to_string(kMaxDepth) + " levels");
      return std::nullopt;
    }
    const std::vector<Node>& nodes = page->nodes;
    if (nodes.empty()) {
      Fail(&why, "branch page " + std::to_string(page->number) + " has no children");
      return std::nullopt;
    }
    const Node* child = &nodes.back();
    for (const Node& node : nodes)
      if (node.key.empty() || node.key >= root_key) {
        child = &node;
        break;
      }
    if (child->data_size < 4) {
      Fail(&why, "branch page " + std::to_string(page->number) + ": child entry of " +
                     std::to_string(child->data_size) + " bytes");
      return std::nullopt;
    }
    const std::uint32_t number = Le32(page->bytes, child->data_offset);
    auto next = LoadPage(number, why);
    if (!next) return std::nullopt;
    if ((next->flags & kPageRoot) != 0) {
      Fail(&why, "branch page " + std::to_string(page->number) + " leads to the root page " + std::to_string(number));
      return std::nullopt;
    }
    page = std::move(next);
  }

  // Walk the leaves in key order: nodes before the root node, the root node (LID),
  // its chunks (LID + offset), up to the first key of another value.
  std::set<std::uint32_t> visited{page->number};
  std::string previous_key;
  bool have_previous = false;
  bool found_root = false;
  bool past = false;
  std::uint32_t root_data_size = 0;
  std::uint32_t value_size = 0;
  std::vector<LongValueChunk> chunks;
  for (int leaves = 1;; ++leaves) {
    for (const Node& node : page->nodes) {
      if (have_previous && node.key <= previous_key) {
        Fail(&why, "leaf page " + std::to_string(page->number) + ": keys out of order");
        return std::nullopt;
      }
      previous_key = node.key;
      have_previous = true;
      if (node.key < root_key) continue;
      if (node.key == root_key) {
        found_root = true;
        root_data_size = node.data_size;
        if (node.data_size < 8) {
          Fail(&why, "root node of " + std::to_string(node.data_size) + " bytes");
          return std::nullopt;
        }
        value_size = Le32(page->bytes, node.data_offset + 4u);
        continue;
      }
      if (node.key.compare(0, 4, root_key) != 0) {
        past = true;
        break;
      }
      if (!found_root || node.key.size() != 8) {
        Fail(&why, "leaf page " + std::to_string(page->number) + ": " +
                       (found_root ? "key of " + std::to_string(node.key.size()) + " bytes" : "chunk without a root node"));
        return std::nullopt;
      }
      chunks.push_back({page->number, node.data_offset, node.data_size, Be32(node.key, 4)});
    }
    if (past || page->next == 0) break;
    if (!found_root && leaves >= kMaxLeavesBeforeRoot) break;
    if (!visited.insert(page->next).second) {
      Fail(&why, "the leaf chain loops back to page " + std::to_string(page->next));
      return std::nullopt;
    }
    auto next = LoadPage(page->next, why);
    if (!next) return std::nullopt;
    if ((next->flags & kPageLeaf) == 0) {
      Fail(&why, "leaf page " + std::to_string(page->number) + " links to page " + std::to_string(page->next) +
                     ", which is no leaf");
      return std::nullopt;
    }
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
  const std::uint64_t pages = file_size_ / page_size_;
  if (chunk.page == 0 || chunk.page + std::uint64_t{2} > pages || chunk.offset < header_size_ ||
      chunk.size > page_size_ || chunk.offset > page_size_ - chunk.size) {
    Fail(why, "chunk of " + std::to_string(chunk.size) + " bytes at " + std::to_string(chunk.offset) + " of page " +
                  std::to_string(chunk.page) + " is outside the page");
    return std::nullopt;
  }
  std::string data(chunk.size, '\0');
  if (!ReadAt(fd_, data.data(), data.size(), (std::uint64_t{chunk.page} + 1) * page_size_ + chunk.offset)) {
    Fail(why, "page " + std::to_string(chunk.page) + ": unable to read");
    return std::nullopt;
  }
  return data;
}

std::optional<std::vector<std::string>> LongValueTree::Read(std::uint32_t lid, std::string* why) const {
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

}  // namespace edbx
