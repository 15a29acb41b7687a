#pragma once
// Encoding of one record: the header, fixed columns with their null bitmap,
// variable columns with their size array, and tagged columns with their offsets.

#include <cstdint>
#include <string>
#include <vector>

#include "tools/edbforge/ese/bytes.hpp"
#include "tools/edbforge/ese/format.hpp"

namespace edbforge::ese {

struct FixedField {
  uint16_t id;     // 1..127
  uint32_t size;   // the column's fixed size
  const std::string* value;  // null when the column is NULL in this record
};

struct VariableField {
  uint16_t id;  // 128..255
  const std::string* value;
};

struct TaggedField {
  uint16_t id;    // 256 and up
  bool derived;   // the column belongs to the template table
  uint8_t flags;  // value flags (variable size, compressed, long value, multi-value)
  std::string payload;
};

/// Builds the record. `fixed` lists every fixed column from id 1 up to the last
/// non-NULL one (NULL ones with a null value); `variable` lists the non-NULL variable
/// columns in id order; `tagged` lists the tagged values in stored order (template
/// columns first, then by id).
Bytes EncodeRecord(const FormatContext& fmt, const std::vector<FixedField>& fixed,
                   const std::vector<VariableField>& variable, const std::vector<TaggedField>& tagged);

/// Multi-value payload: 16-bit offsets (relative to the payload) then the values.
std::string EncodeMultiValue(const std::vector<std::string>& values);

}  // namespace edbforge::ese
