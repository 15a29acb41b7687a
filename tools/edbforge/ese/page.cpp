#include "tools/edbforge/ese/page.hpp"

#include <cstring>
#include <stdexcept>

#include "tools/edbforge/ese/checksum.hpp"

namespace edbforge::ese {

std::size_t PageDataCapacity(const FormatContext& fmt) {
  return fmt.page_size - fmt.header_size();
}

TagValue MakeNode(std::string_view key, std::string_view data, std::size_t common_prefix) {
  TagValue t;
  t.bytes.reserve(4 + key.size() + data.size());
  if (common_prefix > 0) {
    put_u16le(t.bytes, static_cast<uint32_t>(common_prefix));
    t.flags = kTagCommonKey;
  }
  put_u16le(t.bytes, static_cast<uint32_t>(key.size() - common_prefix));
  t.bytes.append(key.substr(common_prefix));
  t.bytes.append(data);
  return t;
}

std::vector<uint8_t> BuildPage(const FormatContext& fmt, const PageHeader& h,
                               const std::vector<TagValue>& tags) {
  const std::size_t ps = fmt.page_size;
  const std::size_t hs = fmt.header_size();
  std::vector<uint8_t> page(ps, 0);
  std::size_t used = 0;
  for (const auto& t : tags) used += t.bytes.size();
  if (hs + used + 4 * tags.size() > ps) throw std::logic_error("page overflow while building a page");
  const uint32_t offset_mask = fmt.large_pages() ? 0x7fff : 0x1fff;

  std::size_t off = 0;
  for (std::size_t i = 0; i < tags.size(); ++i) {
    const auto& t = tags[i];
    uint8_t* value = page.data() + hs + off;
    std::memcpy(value, t.bytes.data(), t.bytes.size());
    uint32_t size_field = static_cast<uint32_t>(t.bytes.size());
    uint32_t offset_field = static_cast<uint32_t>(off);
    if (size_field > offset_mask || offset_field > offset_mask)
      throw std::logic_error("tag value beyond the tag offset range");
    if (fmt.large_pages()) {
      // Large pages keep the tag flags in the top bits of the node's first 16-bit value.
      if (t.flags != 0) {
        if (t.bytes.size() < 2) throw std::logic_error("flagged tag shorter than two bytes");
        value[1] = static_cast<uint8_t>(value[1] | (t.flags << 5));
      }
    } else {
      offset_field |= static_cast<uint32_t>(t.flags) << 13;
    }
    uint8_t* tag = page.data() + ps - 4 * (i + 1);
    store_u16le(tag, size_field);
    store_u16le(tag + 2, offset_field);
    off += t.bytes.size();
  }

  uint8_t* p = page.data();
  store_u64le(p + 8, h.dbtime);
  store_u32le(p + 16, h.previous);
  store_u32le(p + 20, h.next);
  store_u32le(p + 24, h.objid);
  store_u16le(p + 28, static_cast<uint32_t>(ps - hs - used - 4 * tags.size()));  // free bytes
  store_u16le(p + 30, 0);                                                     // uncommitted
  store_u16le(p + 32, static_cast<uint32_t>(used));                           // first free offset
  store_u16le(p + 34, static_cast<uint32_t>(tags.size()));
  store_u32le(p + 36, h.flags);
  if (fmt.large_pages()) store_u64le(p + 64, h.page_number);
  SealPage(fmt, h.page_number, page);
  return page;
}

void SealPage(const FormatContext& fmt, uint32_t page_number, std::vector<uint8_t>& page) {
  uint8_t* p = page.data();
  const std::size_t ps = fmt.page_size;
  if (fmt.large_pages()) {
    // Four 8 KiB blocks, each with its own checksum pair; the first block's pair
    // covers the other three, so it is computed last.
    const std::size_t block = ps / 4;
    const std::size_t slots[4] = {0, 40, 48, 56};
    for (int b = 3; b >= 0; --b) {
      const auto bu = static_cast<std::size_t>(b);
      const EccXor c = EccChecksum(p + bu * block, block, bu == 0 ? 8 : 0, page_number);
      store_u32le(p + slots[bu], c.xor_);
      store_u32le(p + slots[bu] + 4, c.ecc);
    }
    return;
  }
  const uint32_t flags = load_u32le(p + 36);
  if (fmt.ecc_checksums() && (flags & kPageNewChecksum) != 0) {
    const EccXor c = EccChecksum(p, ps, 8, page_number);
    store_u32le(p, c.xor_);
    store_u32le(p + 4, c.ecc);
  } else {
    store_u32le(p + 4, page_number);
    store_u32le(p, Xor32(p + 4, ps - 4, 0x89abcdefu));
  }
}

}  // namespace edbforge::ese
