#pragma once
// Damaged copies of a database: pages of one table's leaf chain zeroed, with broken
// checksums, with leaf links pointing back or into another tree, or the file cut
// short at one of them. For tests of readers that must skip what is damaged and keep
// what is intact.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace edbforge::damage {

enum class Kind {
  kZero,         // every byte of the page zero
  kChecksum,     // one byte of the page's data changed, its checksum left as it was
  kLinkBack,     // the next-leaf link points to the leaf before it (a cycle); checksum valid
  kLinkForeign,  // the next-leaf link points to a page of another tree; checksum valid
  kTruncate,     // the file ends where this page starts
};

/// One damage: what, and the leaf it hits by its position in the table's leaf chain
/// (0 is the first leaf).
struct Damage {
  Kind kind = Kind::kZero;
  std::uint32_t leaf = 0;
};

/// What was done: the page number each damage hit, in the order given.
struct Done {
  Kind kind;
  std::uint32_t leaf;
  std::uint32_t page;
};

/// The leaf pages of `table`'s tree in chain order (libesedb reads the catalog for the
/// table's object id; the pages are found by their header).
std::vector<std::uint32_t> LeafChain(const std::filesystem::path& database, const std::string& table);

/// Copies `in` to `out` with the damages applied to `table`'s leaves. Throws
/// std::runtime_error when the table or a leaf does not exist.
std::vector<Done> DamageTable(const std::filesystem::path& in, const std::filesystem::path& out,
                              const std::string& table, const std::vector<Damage>& damages);

/// "zero", "checksum", "link-back", "link-foreign", "truncate".
const char* KindName(Kind kind);

}  // namespace edbforge::damage
