#include "store/column_maps.hpp"

#include <cassert>
#include <unordered_map>

#include "store/esedb.hpp"

namespace edbx {

ColumnMap::ColumnMap(std::vector<const char*> names) : names_(std::move(names)), slots_(names_.size(), -1) {}

void ColumnMap::Reset() { std::fill(slots_.begin(), slots_.end(), -1); }

bool ColumnMap::Build(const EseTable& table, bool stop_on_error) {
  Reset();
  const auto count = table.ColumnCount();
  if (!count) return false;
  // Names compare exactly, as UTF-16 against the ASCII names of the map.
  std::unordered_map<u16, std::vector<std::size_t>> wanted;
  for (std::size_t i = 0; i < names_.size(); ++i) wanted[widen(names_[i])].push_back(i);
  bool ok = true;
  for (int c = 0; c < *count; ++c) {
    const auto column = table.Column(c);
    if (!column) {
      ok = false;
      if (stop_on_error) return false;
      continue;
    }
    if (const auto it = wanted.find(column->name); it != wanted.end())
      for (std::size_t slot : it->second) slots_[slot] = c;
  }
  return ok;
}

int ColumnMap::operator[](std::string_view name) const {
  for (std::size_t i = 0; i < names_.size(); ++i)
    if (name == names_[i]) return slots_[i];
  assert(!"a column name the map does not list");  // a name missing from the map's list
  return -1;
}

ColumnMaps::ColumnMaps()
    : item({"N2c",    "T60",   "T61",   "S70",   "S7d",   "Se28",  "Se29",  "S1000", "N1009", "N1013", "S3001",
            "S3003",  "N3701", "L3705", "S3707", "S3a05", "S3a06", "S3a08", "S3a09", "S3a0a", "S3a11", "S3a15",
            "S3a16",  "S3a17", "S3a18", "S3a19", "S3a1b", "S3a1c", "S3a1f", "S3a23", "S3a24", "S3a26", "S3a27",
            "S3a28",  "S3a29", "S3a2a", "S3a2f", "T3a42", "S3a44", "S3a45", "S3a46", "S3a4f", "S3a51", "S3a59",
            "S3a5a",  "S3a5b", "S3a5c", "S3a5d", "S4025", "N64f0", "N65f9", "N67b0", "N67b3", "N67b4", "N67b5",
            "S8004",  "S800b", "T800d", "S800e", "S8010", "S801a", "S801b", "S801d", "S8020", "S8023", "S8027",
            "S802b",  "S802c", "S802f", "S803a", "S803b", "T8040", "T8041", "S8049", "S8051", "S8076", "S808d",
            "S8095",  "S8097", "S809e", "S80a5", "S80a6", "S80a7", "MS80db", "S80fd", "T8100", "N8102", "T8102",
            "T810b",  "S810c", "S810e", "T811f", "S8120", "D8121", "S8122", "T812e", "L813a", "S8143", "S8144",
            "S8145",  "S8146", "S8149", "T814d", "T814e", "T8155", "T8156", "T818a", "T818f", "T8198", "T8199",
            "MN81a9", "S81af", "S81b0", "S81b1", "S81b2", "S81b3", "S81b5", "S81b9", "S81ba", "T81bc", "T81bd",
            "S81c2",  "T81c2", "T81c3", "T81c9", "T81cb", "T81ef", "S81fd", "S8201", "S8204", "S8214", "S821b",
            "S8241",  "N826d", "S827c", "S827d", "S8299", "S829f", "S82a0", "S82f6"}) {}

}  // namespace edbx
