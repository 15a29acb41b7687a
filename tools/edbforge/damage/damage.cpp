#include "tools/edbforge/damage/damage.hpp"

#include <libesedb.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <set>
#include <stdexcept>

#include "tools/edbforge/ese/bytes.hpp"
#include "tools/edbforge/ese/format.hpp"
#include "tools/edbforge/ese/page.hpp"

namespace edbforge::damage {

namespace fs = std::filesystem;
using ese::FormatContext;

namespace {

struct Store {
  FormatContext fmt;
  std::uint32_t objid = 0;
};

std::string EsedbError(libesedb_error_t* error) {
  char text[512] = {};
  if (error != nullptr) libesedb_error_sprint(error, text, sizeof text);
  libesedb_error_free(&error);
  return text;
}

// The page size, format revision and the object id of `table`, as libesedb reads them.
Store ReadStore(const fs::path& database, const std::string& table) {
  libesedb_error_t* error = nullptr;
  libesedb_file_t* file = nullptr;
  if (libesedb_file_initialize(&file, &error) != 1) throw std::runtime_error(EsedbError(error));
  Store store;
  std::string failure;
  if (libesedb_file_open(file, database.c_str(), LIBESEDB_OPEN_READ, &error) != 1) {
    failure = "cannot open " + database.string() + ": " + EsedbError(error);
  } else {
    std::uint32_t version = 0, revision = 0, page_size = 0;
    libesedb_file_get_format_version(file, &version, &revision, nullptr);
    libesedb_file_get_page_size(file, &page_size, nullptr);
    store.fmt.page_size = page_size;
    store.fmt.revision = revision;
    libesedb_table_t* handle = nullptr;
    if (libesedb_file_get_table_by_utf8_name(file, reinterpret_cast<const std::uint8_t*>(table.data()), table.size(),
                                             &handle, &error) != 1) {
      failure = "no table " + table + ": " + EsedbError(error);
    } else {
      libesedb_table_get_identifier(handle, &store.objid, nullptr);
      libesedb_table_free(&handle, nullptr);
    }
    libesedb_file_close(file, nullptr);
  }
  libesedb_file_free(&file, nullptr);
  if (!failure.empty()) throw std::runtime_error(failure);
  if (store.fmt.page_size < 4096 || store.fmt.page_size > 32768 || store.objid == 0)
    throw std::runtime_error("unexpected page size or table id in " + database.string());
  return store;
}

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::string bytes(static_cast<std::size_t>(fs::file_size(path)), '\0');
  if (!in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()))) throw std::runtime_error("cannot read " + path.string());
  return bytes;
}

// Page N sits after the file header and its shadow copy.
std::size_t PageOffset(const FormatContext& fmt, std::uint32_t page) {
  return (static_cast<std::size_t>(page) + 1) * fmt.page_size;
}

struct PageHead {
  std::uint32_t previous, next, objid, flags;
};

PageHead Head(const std::string& file, const FormatContext& fmt, std::uint32_t page) {
  const auto* p = reinterpret_cast<const std::uint8_t*>(file.data()) + PageOffset(fmt, page);
  return {ese::load_u32le(p + 16), ese::load_u32le(p + 20), ese::load_u32le(p + 24), ese::load_u32le(p + 36)};
}

bool IsTableLeaf(const PageHead& h) {
  constexpr std::uint32_t kOtherTrees = ese::kPageSpaceTree | ese::kPageIndex | ese::kPageLongValue;
  return (h.flags & ese::kPageLeaf) != 0 && (h.flags & kOtherTrees) == 0;
}

std::uint32_t PageCount(const std::string& file, const FormatContext& fmt) {
  const std::size_t pages = file.size() / fmt.page_size;
  return pages > 2 ? static_cast<std::uint32_t>(pages - 2) : 0;
}

std::vector<std::uint32_t> Chain(const std::string& file, const Store& store) {
  std::map<std::uint32_t, PageHead> leaves;
  for (std::uint32_t page = 1; page <= PageCount(file, store.fmt); ++page) {
    const PageHead h = Head(file, store.fmt, page);
    if (h.objid == store.objid && IsTableLeaf(h)) leaves.emplace(page, h);
  }
  std::vector<std::uint32_t> chain;
  const auto first = std::find_if(leaves.begin(), leaves.end(), [](const auto& l) { return l.second.previous == 0; });
  std::set<std::uint32_t> seen;
  for (auto at = first; at != leaves.end() && seen.insert(at->first).second; at = leaves.find(at->second.next))
    chain.push_back(at->first);
  return chain;
}

}  // namespace

const char* KindName(Kind kind) {
  switch (kind) {
    case Kind::kZero: return "zero";
    case Kind::kChecksum: return "checksum";
    case Kind::kLinkBack: return "link-back";
    case Kind::kLinkForeign: return "link-foreign";
    case Kind::kTruncate: return "truncate";
  }
  return "?";
}

std::vector<std::uint32_t> LeafChain(const fs::path& database, const std::string& table) {
  return Chain(ReadFile(database), ReadStore(database, table));
}

std::vector<Done> DamageTable(const fs::path& in, const fs::path& out, const std::string& table,
                              const std::vector<Damage>& damages) {
  const Store store = ReadStore(in, table);
  std::string file = ReadFile(in);
  const std::vector<std::uint32_t> chain = Chain(file, store);
  const FormatContext& fmt = store.fmt;
  // A leaf of another tree, for links that leave the table.
  std::uint32_t foreign = 0;
  for (std::uint32_t page = 1; page <= PageCount(file, fmt) && foreign == 0; ++page) {
    const PageHead h = Head(file, fmt, page);
    if (h.objid != store.objid && h.objid > ese::kShadowCatalogObjid && IsTableLeaf(h)) foreign = page;
  }

  std::vector<Done> done;
  std::size_t cut = file.size();
  for (const Damage& d : damages) {
    if (d.leaf >= chain.size())
      throw std::runtime_error("table " + table + " has " + std::to_string(chain.size()) + " leaves, no leaf " +
                               std::to_string(d.leaf));
    const std::uint32_t page = chain[d.leaf];
    auto* p = reinterpret_cast<std::uint8_t*>(file.data()) + PageOffset(fmt, page);
    // A page image resealed after a change of its header, so only the change is wrong.
    auto relink = [&](std::uint32_t next) {
      std::vector<std::uint8_t> image(p, p + fmt.page_size);
      ese::store_u32le(image.data() + 20, next);
      ese::SealPage(fmt, page, image);
      std::copy(image.begin(), image.end(), p);
    };
    switch (d.kind) {
      case Kind::kZero: std::fill(p, p + fmt.page_size, std::uint8_t{0}); break;
      case Kind::kChecksum: p[fmt.header_size()] ^= 0xff; break;
      case Kind::kLinkBack: relink(d.leaf > 0 ? chain[d.leaf - 1] : page); break;
      case Kind::kLinkForeign:
        if (foreign == 0) throw std::runtime_error("no page of another tree to link to");
        relink(foreign);
        break;
      case Kind::kTruncate: cut = std::min(cut, PageOffset(fmt, page)); break;
    }
    done.push_back({d.kind, d.leaf, page});
  }
  file.resize(cut);
  std::ofstream o(out, std::ios::binary | std::ios::trunc);
  o.write(file.data(), static_cast<std::streamsize>(file.size()));
  if (!o) throw std::runtime_error("cannot write " + out.string());
  return done;
}

}  // namespace edbforge::damage
