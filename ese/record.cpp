#include "ese/record.hpp"

#include <algorithm>
#include <utility>

#include "ese/bytes.hpp"

namespace edbx::ese_reader {

namespace {

bool Fail(std::string* why, std::string text) {
  if (why != nullptr) *why = std::move(text);
  return false;
}

void Place(std::vector<int>& index, std::size_t at, int entry) {
  if (index.size() <= at) index.resize(at + 1, -1);
  if (index[at] < 0) index[at] = entry;
}

int Lookup(const std::vector<int>& index, std::size_t at) { return at < index.size() ? index[at] : -1; }

}  // namespace

std::uint32_t FixedSizeOf(std::uint32_t type) {
  switch (type) {
    case column_type::kBit:
    case column_type::kUnsignedByte: return 1;
    case column_type::kShort:
    case column_type::kUnsignedShort: return 2;
    case column_type::kLong:
    case column_type::kUnsignedLong:
    case column_type::kSingle: return 4;
    case column_type::kCurrency:
    case column_type::kDouble:
    case column_type::kDateTime:
    case column_type::kLongLong: return 8;
    case column_type::kGuid: return 16;
    default: return 0;
  }
}

RecordLayout::RecordLayout(std::vector<ColumnDef> columns, bool derived, PageFormat format)
    : columns_(std::move(columns)), derived_(derived), format_(format) {
  fixed_offsets_.assign(columns_.size(), 0);
  // Fixed values follow each other in id order; each takes its column's size (the
  // catalog's, else the type's).
  std::vector<std::size_t> fixed;
  for (std::size_t e = 0; e < columns_.size(); ++e)
    if (columns_[e].fixed()) fixed.push_back(e);
  std::stable_sort(fixed.begin(), fixed.end(), [&](std::size_t a, std::size_t b) { return columns_[a].id < columns_[b].id; });
  std::uint64_t offset = 4;
  for (const std::size_t e : fixed) {
    fixed_offsets_[e] = static_cast<std::uint32_t>(std::min<std::uint64_t>(offset, 0xffffffffu));
    const std::uint32_t size = columns_[e].size != 0 ? columns_[e].size : FixedSizeOf(columns_[e].type);
    offset += size;
  }
  for (std::size_t e = 0; e < columns_.size(); ++e) {
    const ColumnDef& c = columns_[e];
    const int entry = static_cast<int>(e);
    if (c.fixed()) Place(by_fixed_id_, c.id - 1, entry);
    else if (c.variable()) Place(by_variable_id_, c.id - 128, entry);
    else if (c.id <= 0xffff) Place(derived_ && c.from_template ? by_template_tagged_id_ : by_tagged_id_, c.id - 256, entry);
  }
}

bool RecordLayout::Decode(std::string_view record, std::vector<ValueSpan>& spans, std::string* why) const {
  spans.assign(columns_.size(), ValueSpan{});
  const std::size_t size = record.size();
  if (size < 4) return Fail(why, "record of " + std::to_string(size) + " bytes");
  const std::uint8_t last_fixed = static_cast<std::uint8_t>(record[0]);
  const std::uint8_t last_variable = static_cast<std::uint8_t>(record[1]);
  const std::size_t end_of_fixed = Le16(record, 2);
  if (last_fixed > 127 || last_variable < 127) {
    return Fail(why, "record header names fixed id " + std::to_string(last_fixed) + " and variable id " +
                         std::to_string(last_variable));
  }
  const std::size_t bitmap = (std::size_t{last_fixed} + 7) / 8;
  if (end_of_fixed < 4 + bitmap || end_of_fixed > size)
    return Fail(why, "fixed area ends at " + std::to_string(end_of_fixed) + " of " + std::to_string(size) + " bytes");
  const std::size_t bitmap_at = end_of_fixed - bitmap;

  // Fixed columns.
  for (std::uint32_t id = 1; id <= last_fixed; ++id) {
    const int entry = Lookup(by_fixed_id_, id - 1);
    if (entry < 0) continue;
    const ColumnDef& c = columns_[static_cast<std::size_t>(entry)];
    ValueSpan& span = spans[static_cast<std::size_t>(entry)];
    const std::size_t at = fixed_offsets_[static_cast<std::size_t>(entry)];
    const std::size_t width = c.size != 0 ? c.size : FixedSizeOf(c.type);
    if (at > bitmap_at || width > bitmap_at - at)
      return Fail(why, "fixed column " + std::to_string(id) + " runs past the fixed area");
    const bool null = (static_cast<unsigned char>(record[bitmap_at + (id - 1) / 8]) >> ((id - 1) % 8) & 1) != 0;
    if (null) {
      span.state = ValueSpan::kNull;
      continue;
    }
    span.state = ValueSpan::kStored;
    span.offset = static_cast<std::uint32_t>(at);
    span.size = static_cast<std::uint32_t>(width);
  }

  // Variable columns.
  const std::size_t variables = last_variable - 127u;
  const std::size_t data_at = end_of_fixed + 2 * variables;
  if (data_at > size) return Fail(why, std::to_string(variables) + " variable sizes run past the record");
  std::size_t previous = 0;
  for (std::size_t k = 0; k < variables; ++k) {
    const std::uint16_t field = Le16(record, end_of_fixed + 2 * k);
    const std::size_t end = field & 0x7fffu;
    if (end < previous || end > size - data_at)
      return Fail(why, "variable column " + std::to_string(128 + k) + " ends at " + std::to_string(end));
    const int entry = Lookup(by_variable_id_, k);
    if (entry >= 0) {
      ValueSpan& span = spans[static_cast<std::size_t>(entry)];
      if ((field & 0x8000u) != 0) {
        span.state = ValueSpan::kNull;
      } else {
        span.state = ValueSpan::kStored;
        span.offset = static_cast<std::uint32_t>(data_at + previous);
        span.size = static_cast<std::uint32_t>(end - previous);
      }
    }
    previous = end;
  }

  // Tagged columns.
  const std::size_t tagged_at = data_at + previous;
  const std::size_t tagged_size = size - tagged_at;
  if (tagged_size > 0) {
    if (tagged_size < 4) return Fail(why, "tagged area of " + std::to_string(tagged_size) + " bytes");
    const std::uint16_t mask = format_.large ? 0x7fff : 0x1fff;
    const std::size_t first = Le16(record, tagged_at + 2) & mask;
    if (first == 0 || first % 4 != 0 || first > tagged_size)
      return Fail(why, "tagged entries end at " + std::to_string(first) + " of " + std::to_string(tagged_size));
    const std::size_t count = first / 4;
    std::uint32_t last_id[2] = {0, 0};
    for (std::size_t i = 0; i < count; ++i) {
      const std::size_t at = tagged_at + 4 * i;
      const std::uint16_t id = Le16(record, at);
      const std::uint16_t field = Le16(record, at + 2);
      const std::size_t begin = field & mask;
      const std::size_t end = i + 1 < count ? (Le16(record, at + 6) & mask) : tagged_size;
      if (id < 256 || begin < first || end < begin || end > tagged_size)
        return Fail(why, "tagged column " + std::to_string(id) + " at " + std::to_string(begin) + ".." +
                             std::to_string(end) + " of " + std::to_string(tagged_size));
      const bool template_column = (field & 0x8000u) != 0;
      if (id <= last_id[template_column]) return Fail(why, "tagged column " + std::to_string(id) + " out of order");
      last_id[template_column] = id;
      int entry = -1;
      if (derived_ && template_column) entry = Lookup(by_template_tagged_id_, id - 256u);
      else {
        entry = Lookup(by_tagged_id_, id - 256u);
        // Older templates number their tagged columns on from the template's and set
        // no template bit.
        if (entry < 0 && derived_) entry = Lookup(by_template_tagged_id_, id - 256u);
      }
      if (entry < 0) continue;  // a column the catalog no longer lists
      ValueSpan& span = spans[static_cast<std::size_t>(entry)];
      std::size_t from = tagged_at + begin;
      std::size_t length = end - begin;
      const bool has_flags = format_.large || (field & 0x4000u) != 0;
      if (!format_.large && (field & 0x2000u) != 0) {
        span.state = ValueSpan::kNull;
        continue;
      }
      if (has_flags && length > 0) {
        span.flags = static_cast<std::uint8_t>(record[from]);
        ++from;
        --length;
        if ((span.flags & value_flag::kNull) != 0) {
          span.flags = 0;
          span.state = ValueSpan::kNull;
          continue;
        }
      }
      span.state = length > 0 ? ValueSpan::kStored : ValueSpan::kAbsent;
      span.offset = static_cast<std::uint32_t>(from);
      span.size = static_cast<std::uint32_t>(length);
      if (length == 0) span.flags = 0;
    }
  }

  // Columns the record does not hold read as their default.
  for (std::size_t e = 0; e < columns_.size(); ++e) {
    ValueSpan& span = spans[e];
    const ColumnDef& c = columns_[e];
    if (span.state != ValueSpan::kAbsent || (c.flags & column_flag::kDefault) == 0 || c.default_value.empty()) continue;
    const bool beyond = (c.fixed() && c.id > last_fixed) || (c.variable() && c.id > last_variable) || c.tagged();
    if (beyond) span.state = ValueSpan::kDefault;
  }
  return true;
}

std::string_view RecordLayout::Data(std::string_view record, const ValueSpan& span, std::size_t entry) const {
  switch (span.state) {
    case ValueSpan::kStored: return record.substr(span.offset, span.size);
    case ValueSpan::kDefault: return columns_[entry].default_value;
    default: return {};
  }
}

std::optional<std::vector<MultiValueEntry>> SplitMultiValue(std::string_view stored, std::uint8_t flags,
                                                            std::string* why) {
  std::vector<MultiValueEntry> entries;
  if ((flags & value_flag::kTwoValues) != 0) {
    if (stored.empty() || static_cast<unsigned char>(stored[0]) > stored.size() - 1) {
      Fail(why, "two-values form of " + std::to_string(stored.size()) + " bytes");
      return std::nullopt;
    }
    const std::size_t first = static_cast<unsigned char>(stored[0]);
    entries.push_back({stored.substr(1, first), false});
    entries.push_back({stored.substr(1 + first), false});
    return entries;
  }
  if (stored.size() < 2) {
    Fail(why, "multi-value of " + std::to_string(stored.size()) + " bytes");
    return std::nullopt;
  }
  const std::size_t count = (Le16(stored, 0) & 0x7fffu) / 2;
  if (count == 0 || 2 * count > stored.size()) {
    Fail(why, "multi-value offsets do not fit its " + std::to_string(stored.size()) + " bytes");
    return std::nullopt;
  }
  entries.reserve(count);
  for (std::size_t i = 0; i < count; ++i) {
    const std::uint16_t field = Le16(stored, 2 * i);
    const std::size_t begin = field & 0x7fffu;
    const std::size_t end = i + 1 < count ? (Le16(stored, 2 * i + 2) & 0x7fffu) : stored.size();
    if (begin < 2 * count || end < begin || end > stored.size()) {
      Fail(why, "multi-value entry " + std::to_string(i) + " at " + std::to_string(begin) + ".." + std::to_string(end) +
                    " of " + std::to_string(stored.size()) + " bytes");
      return std::nullopt;
    }
    entries.push_back({stored.substr(begin, end - begin), (field & 0x8000u) != 0});
  }
  return entries;
}

}  // namespace edbx::ese_reader
