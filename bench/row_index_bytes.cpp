// The memory a table's row index takes, in bytes a row.
//
//   row_index_bytes DATABASE.edb TABLE
//
// Opens TABLE with our own table reader and counts its records, which builds the index
// that makes a record by number cheap. That first count also fills the file's page
// cache (a fixed number of pages), so a second reader of the same table is opened and
// counted: what the heap grew by over that second count, divided by the number of
// records, is printed: "N bytes a row (B bytes for R rows)".

#include <malloc.h>

#include <cstdio>
#include <string>

#include "ese/database.hpp"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: row_index_bytes DATABASE.edb TABLE\n");
    return 2;
  }
  std::string why;
  const auto db = edbx::ese_reader::Database::Open(argv[1], &why);
  if (!db) {
    std::fprintf(stderr, "%s: %s\n", argv[1], why.c_str());
    return 1;
  }
  const auto warm = db->OpenTable(argv[2]);
  if (warm) (void)warm->RecordCount();
  const std::size_t before = mallinfo2().uordblks;
  const auto table = db->OpenTable(argv[2]);
  if (!table) {
    std::fprintf(stderr, "%s: no table %s\n", argv[1], argv[2]);
    return 1;
  }
  const auto count = table->RecordCount(&why);
  const std::size_t after = mallinfo2().uordblks;
  if (!count || *count == 0) {
    std::fprintf(stderr, "%s: %s has no readable records: %s\n", argv[1], argv[2], why.c_str());
    return 1;
  }
  const std::size_t grown = after > before ? after - before : 0;
  std::printf("%.2f bytes a row (%zu bytes for %u rows)\n", static_cast<double>(grown) / *count, grown, *count);
  return 0;
}
