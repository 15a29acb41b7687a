#pragma once
// The database file read with our own page, tree and record readers: the entry point
// of this layer.
//
//   auto db = ese::Database::Open(path, &why);
//   for (const ese::TableDef& t : db->catalog().tables()) ...
//   auto table = db->OpenTable("Msg");
//   for (uint32_t r = 0; r < *table->RecordCount(); ++r) {
//     auto record = table->ReadRecord(r);
//     record->Column(e).type, record->Flags(e), record->Data(e),
//     record->MultiValue(e), record->LongValueSegments(e) ...
//   }

#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "ese/catalog.hpp"
#include "ese/file.hpp"
#include "ese/table.hpp"

namespace edbx::ese_reader {

class Database {
 public:
  /// Opens the file and reads its catalog. nullptr with the reason when the file is no
  /// database or its catalog cannot be read.
  static std::shared_ptr<Database> Open(const std::filesystem::path& path, std::string* why = nullptr);

  const FileHeader& header() const { return file_->header(); }
  const std::shared_ptr<const PageFile>& file() const { return file_; }
  const Catalog& catalog() const { return catalog_; }
  /// What reading the catalog found damaged.
  const std::vector<std::string>& catalog_problems() const { return catalog_problems_; }

  /// A reader of the table named `name`; nullptr when the catalog has no such table.
  std::shared_ptr<Table> OpenTable(std::string_view name) const;

 private:
  Database() = default;
  std::shared_ptr<const PageFile> file_;
  Catalog catalog_;
  std::vector<std::string> catalog_problems_;
};

}  // namespace edbx::ese_reader
