#include "tools/edbforge/ese/record.hpp"

#include <stdexcept>

namespace edbforge::ese {

Bytes EncodeRecord(const FormatContext& fmt, const std::vector<FixedField>& fixed,
                   const std::vector<VariableField>& variable, const std::vector<TaggedField>& tagged) {
  const uint16_t last_fixed = fixed.empty() ? 0 : fixed.back().id;
  const uint16_t last_var = variable.empty() ? 127 : variable.back().id;

  // Fixed area: every fixed column up to the last one present, NULLs zero-filled.
  Bytes fixed_area;
  Bytes bitmap((last_fixed + 7u) / 8u, '\0');
  {
    for (std::size_t k = 0; k < fixed.size(); ++k) {
      const FixedField& f = fixed[k];
      if (f.id != k + 1) throw std::logic_error("fixed column ids must run from 1 without gaps");
      if (f.value != nullptr) {
        fixed_area += *f.value;
        continue;
      }
      fixed_area.append(f.size, '\0');
      bitmap[k / 8] = static_cast<char>(bitmap[k / 8] | (1 << (k % 8)));
    }
    // Bits past the last fixed column are set.
    for (uint32_t bit = last_fixed; bit < bitmap.size() * 8; ++bit)
      bitmap[bit / 8] = static_cast<char>(bitmap[bit / 8] | (1 << (bit % 8)));
  }

  Bytes var_sizes;
  Bytes var_data;
  {
    std::size_t k = 0;
    for (uint32_t id = 128; id <= last_var; ++id) {
      if (k < variable.size() && variable[k].id == id && variable[k].value != nullptr) {
        var_data += *variable[k].value;
        put_u16le(var_sizes, static_cast<uint32_t>(var_data.size()));
      } else {
        put_u16le(var_sizes, static_cast<uint32_t>(var_data.size()) | 0x8000u);
      }
      if (k < variable.size() && variable[k].id == id) ++k;
    }
    if (var_data.size() > 0x7fff) throw std::length_error("variable columns exceed the record size");
  }

  // A zero-length value without a flags byte has the same offset as the next value;
  // libesedb then reads it as the rest of the tagged data. Such a value is left out
  // (read back as NULL, which Exchange readers treat as empty).
  std::vector<const TaggedField*> stored;
  for (const TaggedField& t : tagged) {
    const bool with_flags = fmt.tagged_flags_always() || (t.flags & ~kValueVariableSize) != 0;
    if (with_flags || !t.payload.empty()) stored.push_back(&t);
  }

  Bytes tag_array;
  Bytes tag_data;
  const uint32_t offset_mask = fmt.large_pages() ? 0x7fffu : 0x3fffu;
  for (const TaggedField* field : stored) {
    const TaggedField& t = *field;
    const bool with_flags = fmt.tagged_flags_always() || (t.flags & ~kValueVariableSize) != 0;
    uint32_t offset = static_cast<uint32_t>(4 * stored.size() + tag_data.size());
    if (offset > offset_mask) throw std::length_error("tagged columns exceed the record size");
    if (with_flags) {
      if (!fmt.large_pages()) offset |= 0x4000u;
      tag_data.push_back(static_cast<char>(t.flags));
    }
    if (t.derived) offset |= 0x8000u;
    put_u16le(tag_array, t.id);
    put_u16le(tag_array, offset);
    tag_data += t.payload;
  }
  if (4 * stored.size() + tag_data.size() > offset_mask + 1)
    throw std::length_error("tagged columns exceed the record size");

  Bytes out;
  const std::size_t var_offset = 4 + fixed_area.size() + bitmap.size();
  out.reserve(var_offset + var_sizes.size() + var_data.size() + tag_array.size() + tag_data.size());
  put_u8(out, last_fixed);
  put_u8(out, last_var);
  put_u16le(out, static_cast<uint32_t>(var_offset));
  out += fixed_area;
  out += bitmap;
  out += var_sizes;
  out += var_data;
  out += tag_array;
  out += tag_data;
  return out;
}

std::string EncodeMultiValue(const std::vector<std::string>& values) {
  std::string out;
  std::size_t offset = 2 * values.size();
  for (const auto& v : values) {
    if (offset > 0x7fff) throw std::length_error("multi-value larger than a record");
    put_u16le(out, static_cast<uint32_t>(offset));
    offset += v.size();
  }
  if (offset > 0x7fff) throw std::length_error("multi-value larger than a record");
  for (const auto& v : values) out += v;
  return out;
}

}  // namespace edbforge::ese
