#include "ese/database.hpp"

namespace edbx::ese_reader {

std::shared_ptr<Database> Database::Open(const std::filesystem::path& path, std::string* why) {
  std::shared_ptr<Database> db(new Database);
  db->file_ = PageFile::Open(path, why);
  if (!db->file_) return nullptr;
  auto catalog = Catalog::Read(db->file_, &db->catalog_problems_, why);
  if (!catalog) return nullptr;
  db->catalog_ = std::move(*catalog);
  return db;
}

std::shared_ptr<Table> Database::OpenTable(std::string_view name) const {
  const TableDef* table = catalog_.Find(name);
  if (table == nullptr) return nullptr;
  return Table::Open(file_, catalog_, *table);
}

}  // namespace edbx::ese_reader
