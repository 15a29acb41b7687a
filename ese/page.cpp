#include "ese/page.hpp"

#include <algorithm>
#include <cstring>
#include <utility>

#include "ese/bytes.hpp"

namespace edbx::ese_reader {

namespace {

bool Fail(std::string* why, std::string text) {
  if (why != nullptr) *why = std::move(text);
  return false;
}

std::uint32_t XorWords(std::string_view b, std::size_t from, std::size_t to) {
  std::uint64_t x = 0;
  std::size_t i = from;
  for (; i + 8 <= to; i += 8) {
    std::uint64_t w = 0;
    std::memcpy(&w, b.data() + i, 8);
    x ^= w;
  }
  std::uint32_t folded = static_cast<std::uint32_t>(x) ^ static_cast<std::uint32_t>(x >> 32);
  for (; i + 4 <= to; i += 4) folded ^= Le32(b, i);
  return folded;
}

}  // namespace

bool PageChecksumMatches(std::string_view bytes, std::uint32_t number, PageFormat format) {
  const std::size_t size = bytes.size();
  if (format.large) {
    const std::size_t block = size / 4;
    if (XorWords(bytes, 8, block) ^ number ^ Le32(bytes, 0)) return false;
    static constexpr std::size_t kSlots[3] = {40, 48, 56};
    for (std::size_t b = 1; b < 4; ++b)
      if (XorWords(bytes, b * block, (b + 1) * block) ^ number ^ Le32(bytes, kSlots[b - 1])) return false;
    return true;
  }
  if ((Le32(bytes, 36) & page_flag::kNewChecksum) != 0) return (XorWords(bytes, 8, size) ^ number) == Le32(bytes, 0);
  return (XorWords(bytes, 4, size) ^ 0x89abcdefu) == Le32(bytes, 0);
}

std::shared_ptr<const Page> Page::Parse(std::uint32_t number, std::string bytes, PageFormat format, std::string* why) {
  const std::uint32_t size = format.page_size;
  const std::uint32_t header = format.header_size();
  if (bytes.size() != size || size <= header) {
    Fail(why, "page of " + std::to_string(bytes.size()) + " bytes");
    return nullptr;
  }
  std::shared_ptr<Page> page(new Page);
  page->number_ = number;
  page->bytes_ = std::move(bytes);
  const std::string_view b(page->bytes_);
  if (b.find_first_not_of('\0') == std::string_view::npos) {
    Fail(why, "all zero (unused)");
    return nullptr;
  }
  if (!PageChecksumMatches(b, number, format)) {
    Fail(why, "checksum mismatch");
    return nullptr;
  }
  page->previous_ = Le32(b, 16);
  page->next_ = Le32(b, 20);
  page->objid_ = Le32(b, 24);
  page->flags_ = Le32(b, 36);
  if (format.large && Le32(b, 64) != number) {
    Fail(why, "header names page " + std::to_string(Le32(b, 64)));
    return nullptr;
  }
  // The low 12 bits count the tags; bits 12-14 give the number of reserved tags
  // (0 on older pages, meaning 1: tag 0 only).
  const std::uint16_t state = Le16(b, 34);
  const std::size_t tags = state & 0x0fffu;
  const std::size_t reserved = std::max<std::size_t>(1, (state >> 12) & 0x7u);
  if (std::size_t{header} + 4 * tags > size) {
    Fail(why, std::to_string(tags) + " tags do not fit the page");
    return nullptr;
  }
  if (tags == 0) return page;
  if (reserved > tags) {
    Fail(why, std::to_string(reserved) + " reserved tags of " + std::to_string(tags));
    return nullptr;
  }
  const std::size_t area = size - header - 4 * tags;
  const std::uint16_t mask = format.large ? 0x7fff : 0x1fff;
  page->nodes_.reserve(tags - reserved);
  for (std::size_t i = 0; i < tags; ++i) {
    const std::size_t at = size - 4 * (i + 1);
    const std::uint16_t size_field = Le16(b, at);
    const std::uint16_t offset_field = Le16(b, at + 2);
    const std::size_t cb = size_field & mask;
    const std::size_t ib = offset_field & mask;
    if (ib > area || cb > area - ib) {
      Fail(why, "tag " + std::to_string(i) + ": outside the page's data (" + std::to_string(cb) + " bytes at " +
                    std::to_string(ib) + ", data area of " + std::to_string(area) + " bytes)");
      return nullptr;
    }
    const std::string_view value = b.substr(header + ib, cb);
    if (i == 0) {
      page->external_header_ = value;  // read raw: tag 0 holds no node flags
      continue;
    }
    if (i < reserved) continue;
    Node node;
    node.tag = static_cast<std::uint16_t>(i);
    // Small pages keep the node flags in the tag's top offset bits, large pages in the
    // top bits of the node's first 16-bit field.
    node.flags = format.large ? (cb >= 2 ? static_cast<std::uint8_t>(static_cast<unsigned char>(value[1]) >> 5) : 0)
                              : static_cast<std::uint8_t>(offset_field >> 13);
    std::size_t pos = 0;
    auto field = [&](std::size_t where) { return static_cast<std::size_t>(Le16(value, where) & 0x1fffu); };
    if ((node.flags & node_flag::kPrefixed) != 0) {
      if (cb < 4) {
        Fail(why, "tag " + std::to_string(i) + ": prefixed node of " + std::to_string(cb) + " bytes");
        return nullptr;
      }
      const std::size_t prefix = field(0);
      if (page->root() || prefix > page->external_header_.size()) {
        Fail(why, "tag " + std::to_string(i) + ": key prefix of " + std::to_string(prefix) + " bytes, the page has " +
                      std::to_string(page->root() ? 0 : page->external_header_.size()));
        return nullptr;
      }
      node.prefix_size = static_cast<std::uint16_t>(prefix);
      pos = 2;
    } else if (cb < 2) {
      Fail(why, "tag " + std::to_string(i) + ": node of " + std::to_string(cb) + " bytes");
      return nullptr;
    }
    const std::size_t suffix = field(pos);
    pos += 2;
    if (suffix > cb - pos) {
      Fail(why, "tag " + std::to_string(i) + ": key of " + std::to_string(suffix) + " bytes in a node of " +
                    std::to_string(cb));
      return nullptr;
    }
    node.suffix = value.substr(pos, suffix);
    node.data = value.substr(pos + suffix);
    page->nodes_.push_back(node);
  }
  return page;
}

std::string Page::Key(const Node& node) const {
  std::string key;
  key.reserve(node.key_size());
  key.append(external_header_.substr(0, node.prefix_size));
  key.append(node.suffix);
  return key;
}

int Page::CompareKey(const Node& node, std::string_view key) const {
  const std::string_view prefix = external_header_.substr(0, node.prefix_size);
  const std::size_t head = std::min(prefix.size(), key.size());
  if (const int c = prefix.substr(0, head).compare(key.substr(0, head)); c != 0) return c;
  if (prefix.size() > key.size()) return 1;
  return node.suffix.compare(key.substr(prefix.size()));
}

}  // namespace edbx::ese_reader
