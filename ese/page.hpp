#pragma once
// One database page as read from the file: header, tags and nodes.
//
// A page is a header (40 bytes on pages up to 8 KiB, 80 bytes on 16 and 32 KiB pages),
// a data area, and an array of 4-byte tags at the end that grows backwards. Tag 0 is
// the page's external header (the space header on a root page, otherwise the key
// prefix the page's nodes may share); the nodes follow it. A node is an optional
// 16-bit prefix size, a 16-bit suffix size, the key suffix and the node's data.
//
// Parse() checks everything it takes from the bytes (tag counts, tag bounds, prefix and
// suffix sizes) and refuses the page with a reason when anything does not fit, so the
// views a parsed page hands out always lie inside its bytes.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace edbx::ese_reader {

namespace page_flag {
inline constexpr std::uint32_t kRoot = 0x1;
inline constexpr std::uint32_t kLeaf = 0x2;
inline constexpr std::uint32_t kParentOfLeaf = 0x4;
inline constexpr std::uint32_t kEmpty = 0x8;
inline constexpr std::uint32_t kSpaceTree = 0x20;
inline constexpr std::uint32_t kIndex = 0x40;
inline constexpr std::uint32_t kLongValue = 0x80;
inline constexpr std::uint32_t kNewRecordFormat = 0x800;
inline constexpr std::uint32_t kNewChecksum = 0x2000;
inline constexpr std::uint32_t kPreInitialised = 0x20000;
}  // namespace page_flag

namespace node_flag {
inline constexpr std::uint8_t kVersion = 0x1;
inline constexpr std::uint8_t kDeleted = 0x2;
inline constexpr std::uint8_t kPrefixed = 0x4;
}  // namespace node_flag

/// How pages of a file are laid out, from its header.
struct PageFormat {
  std::uint32_t page_size = 0;
  bool large = false;  // 80-byte header, 15-bit tag fields, node flags in the node bytes

  std::uint32_t header_size() const { return large ? 80 : 40; }
};

/// One node of a page. Views point into the page's bytes.
struct Node {
  std::uint16_t tag = 0;          // tag index in the page
  std::uint8_t flags = 0;         // node_flag
  std::uint16_t prefix_size = 0;  // leading bytes of the page's tag 0 that begin the key
  std::string_view suffix;        // the rest of the key
  std::string_view data;

  bool deleted() const { return (flags & node_flag::kDeleted) != 0; }
  std::size_t key_size() const { return std::size_t{prefix_size} + suffix.size(); }
};

class Page {
 public:
  /// Parses page `number` from its `bytes` (exactly one page). nullptr with the reason
  /// in `why` when the header or a tag does not fit the page, or when the page carries
  /// a checksum that does not match its bytes.
  static std::shared_ptr<const Page> Parse(std::uint32_t number, std::string bytes, PageFormat format,
                                           std::string* why);

  std::uint32_t number() const { return number_; }
  std::uint32_t previous() const { return previous_; }
  std::uint32_t next() const { return next_; }
  std::uint32_t objid() const { return objid_; }
  std::uint32_t flags() const { return flags_; }
  bool root() const { return (flags_ & page_flag::kRoot) != 0; }
  bool leaf() const { return (flags_ & page_flag::kLeaf) != 0; }
  bool parent_of_leaf() const { return (flags_ & page_flag::kParentOfLeaf) != 0; }

  std::string_view bytes() const { return bytes_; }
  /// Tag 0: the space header of a root page, the shared key prefix of other pages.
  std::string_view external_header() const { return external_header_; }
  /// Key prefix the nodes of this page share (empty on a root page).
  std::string_view prefix() const { return root() ? std::string_view() : external_header_; }
  /// Every node, flag-deleted ones included, in tag order.
  const std::vector<Node>& nodes() const { return nodes_; }
  /// The whole key of `node`.
  std::string Key(const Node& node) const;
  /// Compares the key of `node` with `key` (<0, 0, >0) without building it.
  int CompareKey(const Node& node, std::string_view key) const;
  /// Offset of a view into this page's bytes from the page's start.
  std::uint32_t OffsetOf(std::string_view view) const {
    return static_cast<std::uint32_t>(view.data() - bytes_.data());
  }

 private:
  Page() = default;

  std::uint32_t number_ = 0;
  std::uint32_t previous_ = 0;
  std::uint32_t next_ = 0;
  std::uint32_t objid_ = 0;
  std::uint32_t flags_ = 0;
  std::string bytes_;
  std::string_view external_header_;
  std::vector<Node> nodes_;
};

/// Whether the page's stored checksum matches its bytes (the XOR half of the checksum;
/// pages of the new format also carry an error-correcting code, not checked here).
bool PageChecksumMatches(std::string_view bytes, std::uint32_t number, PageFormat format);

}  // namespace edbx::ese_reader
