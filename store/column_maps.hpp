#pragma once
// Column maps: Exchange column names to the column numbers of the table being read.
// A map is rebuilt for every table it is used on; a name the table lacks is absent
// (-1), never a number left over from another table.

#include <string_view>
#include <vector>

#include "common/text.hpp"

namespace edbx {

class EseTable;

class ColumnMap {
 public:
  explicit ColumnMap(std::vector<const char*> names);

  /// Rebuilds the map from the table's columns (template columns first). Returns false
  /// when a column or its name cannot be read; `stop_on_error` ends the build there
  /// (every slot found so far stays), otherwise that column is skipped.
  bool Build(const EseTable& table, bool stop_on_error);
  /// Forgets every column.
  void Reset();

  /// Column number of `name`, or -1 when the last table built lacks it.
  int operator[](std::string_view name) const;
  bool Has(std::string_view name) const { return (*this)[name] >= 0; }

  const std::vector<const char*>& names() const { return names_; }

 private:
  std::vector<const char*> names_;
  std::vector<int> slots_;
};

/// The maps of the system, one per kind of table.
struct ColumnMaps {
  ColumnMap mailbox{{"Q6764", "S6773", "S3001"}};
  ColumnMap folder{{"Q6748", "Q6749", "Q6764", "S3001", "S3613", "L3602", "S6707"}};
  /// The attachment table's own N3701: older-layout attachment data is read with it.
  ColumnMap attachment{{"Q3f88", "S3001", "N3701", "S3704", "Q674b"}};
  ColumnMap message_key{{"N67b0"}};
  ColumnMap header{{"Q6748", "N67b0", "Se04", "Se1d", "S3d", "S70", "S1a", "Be1b", "Te06", "T3007", "T39", "S42"}};
  ColumnMap folder_content{{"S42", "S1a", "Te06", "T3007", "T39", "N67b0", "Se1d", "S3d", "Be1b", "S4031", "N67bd",
                            "N67be", "S1000", "Le23", "N67b9", "N67ba"}};
  ColumnMap item;

  ColumnMaps();
};

}  // namespace edbx
