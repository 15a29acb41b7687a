#pragma once
// Assembly of one database page from its tag values.

#include <cstdint>
#include <string_view>
#include <vector>

#include "tools/edbforge/ese/bytes.hpp"
#include "tools/edbforge/ese/format.hpp"

namespace edbforge::ese {

/// One tag of a page: its bytes and its tag flags.
struct TagValue {
  Bytes bytes;
  uint8_t flags = 0;
};

struct PageHeader {
  uint32_t page_number = 0;
  uint32_t objid = 0;
  uint32_t flags = 0;
  uint32_t previous = 0;
  uint32_t next = 0;
  uint64_t dbtime = 0;
};

/// Bytes a page can hold for tag values (each tag also costs 4 bytes of tag array).
std::size_t PageDataCapacity(const FormatContext& fmt);

/// A node: key (with optional common-prefix size) followed by the data.
TagValue MakeNode(std::string_view key, std::string_view data, std::size_t common_prefix = 0);

/// Builds the page image, with header fields and checksums filled in.
std::vector<uint8_t> BuildPage(const FormatContext& fmt, const PageHeader& header,
                               const std::vector<TagValue>& tags);

/// Fills in the checksums of a finished page image.
void SealPage(const FormatContext& fmt, uint32_t page_number, std::vector<uint8_t>& page);

}  // namespace edbforge::ese
