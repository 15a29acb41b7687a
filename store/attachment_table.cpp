#include "store/attachment_table.hpp"

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace edbx {

namespace {

constexpr std::string_view kAttachCallback = "JCB.DLL!EcJcbAttachCallback";
constexpr std::int16_t kCatalogTable = 1;
constexpr std::int16_t kCatalogCallback = 5;

// Catalog names are stored as 8-bit text, sometimes with their terminator.
std::string_view WithoutTerminator(std::string_view name) {
  if (!name.empty() && name.back() == '\0') name.remove_suffix(1);
  return name;
}

}  // namespace

u16 FindAttachmentTableName(const EseDatabase& database) {
  EseTable catalog;
  if (database.TableNamed(u"MSysObjects", catalog) != 1) return {};
  const auto columns = catalog.ColumnCount();
  if (!columns) return {};
  int objid_column = -1;
  int type_column = -1;
  int name_column = -1;
  for (int i = 0; i < *columns; ++i) {
    const auto column = catalog.Column(i);
    if (!column) continue;
    if (column->name == u"ObjidTable") objid_column = i;
    if (column->name == u"Type") type_column = i;
    if (column->name == u"Name") name_column = i;
  }
  if (objid_column < 0 || type_column < 0 || name_column < 0) return {};

  const auto records = catalog.RecordCount();
  if (!records) return {};
  std::map<std::uint32_t, std::string> tables;  // ObjidTable -> table name
  std::vector<std::uint32_t> callback_owners;   // in catalog order
  for (int r = 0; r < *records; ++r) {
    const auto record = catalog.Record(r);
    if (!record) continue;
    std::uint16_t type = 0;
    std::uint32_t objid = 0;
    if (record->Get16Bit(type_column, type) != 1 || record->Get32Bit(objid_column, objid) != 1) continue;
    const auto kind = static_cast<std::int16_t>(type);
    if (kind != kCatalogTable && kind != kCatalogCallback) continue;
    const auto name = record->ValueData(name_column);
    if (!name) continue;
    if (kind == kCatalogTable) {
      tables[objid] = std::string(WithoutTerminator(*name));
    } else if (WithoutTerminator(*name) == kAttachCallback) {
      callback_owners.push_back(objid);
    }
  }
  for (auto owner = callback_owners.rbegin(); owner != callback_owners.rend(); ++owner) {
    const auto table = tables.find(*owner);
    if (table != tables.end()) return cp1252_to_utf16(table->second);
  }
  return {};
}

}  // namespace edbx
