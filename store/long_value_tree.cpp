#include "store/long_value_tree.hpp"

#include <utility>

namespace edbx {

namespace {

// 16 and 32 KiB pages exist from this format revision on.
constexpr std::uint32_t kExtendedHeaderRevision = 0x11;

constexpr std::int16_t kCatalogTable = 1;
constexpr std::int16_t kCatalogLongValue = 4;

bool Fail(std::string* why, std::string text) {
  if (why != nullptr) *why = std::move(text);
  return false;
}

// Catalog names are stored as 8-bit text, sometimes with their terminator.
std::string_view WithoutTerminator(std::string_view name) {
  if (!name.empty() && name.back() == '\0') name.remove_suffix(1);
  return name;
}

}  // namespace

// ----- catalog -----

std::optional<std::map<u16, LongValueTreeRoot>> FindLongValueTrees(const EseDatabase& database) {
  EseTable catalog;
  if (database.TableNamed(u"MSysObjects", catalog) != 1) return std::nullopt;
  const auto columns = catalog.ColumnCount();
  if (!columns) return std::nullopt;
  int objid_column = -1, type_column = -1, id_column = -1, root_column = -1, name_column = -1;
  for (int i = 0; i < *columns; ++i) {
    const auto column = catalog.Column(i);
    if (!column) continue;
    if (column->name == u"ObjidTable") objid_column = i;
    if (column->name == u"Type") type_column = i;
    if (column->name == u"Id") id_column = i;
    if (column->name == u"ColtypOrPgnoFDP") root_column = i;
    if (column->name == u"Name") name_column = i;
  }
  if (objid_column < 0 || type_column < 0 || id_column < 0 || root_column < 0 || name_column < 0) return std::nullopt;
  const auto records = catalog.RecordCount();
  if (!records) return std::nullopt;

  std::map<std::uint32_t, u16> tables;                 // ObjidTable -> table name
  std::map<std::uint32_t, LongValueTreeRoot> trees;    // ObjidTable -> its long-value tree
  for (int r = 0; r < *records; ++r) {
    const auto record = catalog.Record(r);
    if (!record) continue;  // an unreadable row does not hide the others
    std::uint16_t type = 0;
    std::uint32_t objid = 0;
    if (record->Get16Bit(type_column, type) != 1) continue;
    const auto kind = static_cast<std::int16_t>(type);
    if (kind != kCatalogTable && kind != kCatalogLongValue) continue;
    if (record->Get32Bit(objid_column, objid) != 1) continue;
    if (kind == kCatalogTable) {
      const auto name = record->ValueData(name_column);
      if (name) tables[objid] = cp1252_to_utf16(WithoutTerminator(*name));
    } else {
      LongValueTreeRoot root;
      if (record->Get32Bit(id_column, root.objid) == 1 && record->Get32Bit(root_column, root.root_page) == 1)
        trees[objid] = root;
    }
  }
  std::map<u16, LongValueTreeRoot> found;
  for (const auto& [objid, name] : tables) {
    const auto tree = trees.find(objid);
    if (tree != trees.end()) found[name] = tree->second;
  }
  return found;
}

// ----- reader -----

std::unique_ptr<LongValueTree> LongValueTree::Open(const std::filesystem::path& path, std::uint32_t page_size,
                                                   std::uint32_t format_revision, LongValueTreeRoot root,
                                                   std::string* why) {
  if (page_size != 4096 && page_size != 8192 && page_size != 16384 && page_size != 32768) {
    Fail(why, "unsupported page size " + std::to_string(page_size));
    return nullptr;
  }
  if (page_size >= 16384 && format_revision < kExtendedHeaderRevision) {
    Fail(why, "page size " + std::to_string(page_size) + " before format revision 0x11");
    return nullptr;
  }
  auto file = ese_reader::PageFile::Open(path, why);
  if (!file) return nullptr;
  if (file->header().page_size != page_size) {
    Fail(why, "the file has pages of " + std::to_string(file->header().page_size) + " bytes, not " +
                  std::to_string(page_size));
    return nullptr;
  }
  auto tree = ese_reader::LongValueTree::Open(std::move(file), {root.objid, root.root_page}, why);
  if (!tree) return nullptr;
  return std::unique_ptr<LongValueTree>(new LongValueTree(std::move(tree)));
}

std::optional<std::vector<LongValueChunk>> LongValueTree::Chunks(std::uint32_t lid, std::string* why) const {
  return tree_->Chunks({lid, false}, why);
}

std::optional<std::string> LongValueTree::ChunkData(const LongValueChunk& chunk, std::string* why) const {
  return tree_->ChunkData(chunk, why);
}

std::optional<std::vector<std::string>> LongValueTree::Read(std::uint32_t lid, std::string* why) const {
  return tree_->Read({lid, false}, why);
}

}  // namespace edbx
