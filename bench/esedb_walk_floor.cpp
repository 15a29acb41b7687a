// The time libesedb alone needs for the record reads the analysis makes.
//
//   esedb_walk_floor DATABASE.edb
//
// Opens the database, then walks every record of the tables the analysis reads and
// fetches the stored bytes of the columns the analysis reads from each record (the
// conditional reads under the same conditions). Nothing is decoded, converted or
// kept. Older layout: "Mailbox", "Folders", "Msg" and "Attachment"; newer layout:
// "Mailbox" and every "Folders-", "MsgHeader-" and "Body-" table. Long values are
// not followed: the analysis reads none.
//
// Prints what was read, then "time SECONDS s" (open to close).

#include <libesedb.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace {

enum class Kind { kMailbox, kFolders, kFolders2010, kMsg, kAttachment, kHeader2010, kBody2010 };

struct Counters {
  std::uint64_t tables = 0;
  std::uint64_t records = 0;
  std::uint64_t values = 0;
  std::uint64_t bytes = 0;
  std::uint64_t failures = 0;
};

std::string ErrorText(libesedb_error_t* error) {
  if (error == nullptr) return {};
  char buffer[1024] = {};
  libesedb_error_sprint(error, buffer, sizeof buffer);
  return buffer;
}

/// Frees a libesedb error whatever the path out of a scope.
struct Error {
  libesedb_error_t* error = nullptr;
  ~Error() { libesedb_error_free(&error); }
  libesedb_error_t** out() {
    libesedb_error_free(&error);
    return &error;
  }
  std::string text() const { return ErrorText(error); }
};

bool StartsWith(std::string_view s, std::string_view prefix) { return s.substr(0, prefix.size()) == prefix; }

std::vector<const char*> ColumnsOf(Kind kind) {
  switch (kind) {
    case Kind::kMailbox: return {"Q6764", "S6773", "S3001"};
    case Kind::kFolders: return {"Q6748", "Q6764", "S3001", "S3613", "S6707", "Q6749"};
    case Kind::kFolders2010: return {"Q6748", "Q6749", "Q6764", "S3001", "S3613"};
    case Kind::kMsg: return {"N67b0", "N67b3"};
    case Kind::kAttachment: return {"Q3f88", "S3001", "S3704"};
    case Kind::kHeader2010:
      return {"N67b0", "Q6748", "S1a", "S42", "Se1d", "S3d", "S70", "Be1b", "Te06", "T3007", "T39"};
    case Kind::kBody2010: return {"N65f9", "L3705", "S3001", "S3707", "N67b3"};
  }
  return {};
}

class Walker {
 public:
  explicit Walker(Counters& counters) : counters_(counters) {}

  /// Walks one table; false when its records cannot be counted.
  bool Walk(libesedb_table_t* table, Kind kind, const std::string& name) {
    const auto wanted = ColumnsOf(kind);
    std::vector<int> entries(wanted.size(), -1);
    if (!MapColumns(table, wanted, entries)) {
      std::fprintf(stderr, "%s: columns cannot be read\n", name.c_str());
      return false;
    }
    Error error;
    int records = 0;
    if (libesedb_table_get_number_of_records(table, &records, error.out()) != 1) {
      std::fprintf(stderr, "%s: records cannot be counted: %s\n", name.c_str(), error.text().c_str());
      ++counters_.failures;
      return false;
    }
    ++counters_.tables;
    for (int r = 0; r < records; ++r) {
      libesedb_record_t* record = nullptr;
      if (libesedb_table_get_record(table, r, &record, error.out()) != 1) {
        ++counters_.failures;
        continue;
      }
      ++counters_.records;
      ReadRecord(record, kind, entries);
      libesedb_record_free(&record, nullptr);
    }
    return true;
  }

 private:
  static bool MapColumns(libesedb_table_t* table, const std::vector<const char*>& wanted, std::vector<int>& entries) {
    Error error;
    int count = 0;
    if (libesedb_table_get_number_of_columns(table, &count, 0, error.out()) != 1) return false;
    for (int c = 0; c < count; ++c) {
      libesedb_column_t* column = nullptr;
      if (libesedb_table_get_column(table, c, &column, 0, error.out()) != 1) continue;
      std::size_t size = 0;
      std::string name;
      if (libesedb_column_get_utf8_name_size(column, &size, error.out()) == 1 && size > 0 && size < 1024) {
        name.assign(size, '\0');
        if (libesedb_column_get_utf8_name(column, reinterpret_cast<std::uint8_t*>(name.data()), size, error.out()) != 1)
          name.clear();
        else
          name.resize(size - 1);
      }
      libesedb_column_free(&column, nullptr);
      for (std::size_t i = 0; i < wanted.size(); ++i)
        if (name == wanted[i]) entries[i] = c;
    }
    return true;
  }

  /// Fetches the stored bytes of column `entry`; returns their size (0: absent or empty).
  std::size_t Read(libesedb_record_t* record, int entry) {
    if (entry < 0) return 0;
    Error error;
    std::size_t size = 0;
    if (libesedb_record_get_value_data_size(record, entry, &size, error.out()) != 1) {
      ++counters_.failures;
      return 0;
    }
    ++counters_.values;
    if (size == 0) return 0;
    if (buffer_.size() < size) buffer_.resize(size);
    if (libesedb_record_get_value_data(record, entry, buffer_.data(), size, error.out()) != 1) {
      ++counters_.failures;
      return 0;
    }
    counters_.bytes += size;
    return size;
  }

  void ReadRecord(libesedb_record_t* record, Kind kind, const std::vector<int>& e) {
    switch (kind) {
      case Kind::kAttachment:
        // The 8.3 name is read only when the long name is empty.
        Read(record, e[0]);
        if (Read(record, e[1]) == 0) Read(record, e[2]);
        return;
      case Kind::kHeader2010: {
        for (std::size_t i = 0; i < 8; ++i) Read(record, e[i]);
        // The first date present ends the date reads.
        for (std::size_t i = 8; i < 11; ++i)
          if (Read(record, e[i]) != 0) break;
        return;
      }
      case Kind::kBody2010: {
        const std::size_t key = Read(record, e[0]);
        const std::size_t method = Read(record, e[1]);
        std::uint32_t value = 1;
        if (method == sizeof value) std::memcpy(&value, buffer_.data(), sizeof value);
        if (value != 0) {
          // An attachment row: its long name, else its file name.
          if (Read(record, e[2]) == 0) Read(record, e[3]);
        } else if (key != 0) {
          Read(record, e[4]);  // an item row: its attachment keys
        }
        return;
      }
      case Kind::kMailbox:
      case Kind::kFolders:
      case Kind::kFolders2010:
      case Kind::kMsg:
        for (int entry : e) Read(record, entry);
        return;
    }
  }

  Counters& counters_;
  std::vector<std::uint8_t> buffer_;
};

struct TableName {
  int index;
  std::string name;
};

int Run(const char* path) {
  using Clock = std::chrono::steady_clock;
  const auto start = Clock::now();
  Error error;
  libesedb_file_t* file = nullptr;
  if (libesedb_file_initialize(&file, error.out()) != 1) {
    std::fprintf(stderr, "cannot initialise libesedb: %s\n", error.text().c_str());
    return 1;
  }
  if (libesedb_file_open(file, path, LIBESEDB_OPEN_READ, error.out()) != 1) {
    std::fprintf(stderr, "%s: cannot open: %s\n", path, error.text().c_str());
    libesedb_file_free(&file, nullptr);
    return 1;
  }
  std::uint32_t version = 0, revision = 0;
  libesedb_file_get_format_version(file, &version, &revision, error.out());

  // The catalog: every table's name by entry.
  int table_count = 0;
  libesedb_file_get_number_of_tables(file, &table_count, error.out());
  std::vector<TableName> tables;
  bool has_msg = false;
  for (int t = 0; t < table_count; ++t) {
    libesedb_table_t* table = nullptr;
    if (libesedb_file_get_table(file, t, &table, error.out()) != 1) continue;
    std::size_t size = 0;
    std::string name;
    if (libesedb_table_get_utf8_name_size(table, &size, error.out()) == 1 && size > 0 && size < 1024) {
      name.assign(size, '\0');
      if (libesedb_table_get_utf8_name(table, reinterpret_cast<std::uint8_t*>(name.data()), size, error.out()) == 1)
        name.resize(size - 1);
      else
        name.clear();
    }
    libesedb_table_free(&table, nullptr);
    if (name == "Msg") has_msg = true;
    tables.push_back({t, std::move(name)});
  }
  // A "Msg" table keeps a store in the older layout whatever its format revision.
  const bool newer = revision > 16 && !has_msg;

  // The walk, in the analysis's order of tables.
  std::vector<std::pair<TableName, Kind>> plan;
  auto add_named = [&](std::string_view name, Kind kind) {
    for (const auto& t : tables)
      if (t.name == name) plan.emplace_back(t, kind);
  };
  auto add_prefixed = [&](std::string_view base, Kind kind) {
    for (const auto& t : tables)
      if (t.name == base || StartsWith(t.name, std::string(base) + "-")) plan.emplace_back(t, kind);
  };
  add_named("Mailbox", Kind::kMailbox);
  if (newer) {
    add_prefixed("Folders", Kind::kFolders2010);
    add_prefixed("MsgHeader", Kind::kHeader2010);
    add_prefixed("Body", Kind::kBody2010);
  } else {
    add_named("Folders", Kind::kFolders);
    add_named("Msg", Kind::kMsg);
    add_named("Attachment", Kind::kAttachment);
  }

  Counters counters;
  Walker walker(counters);
  for (const auto& [entry, kind] : plan) {
    libesedb_table_t* table = nullptr;
    if (libesedb_file_get_table(file, entry.index, &table, error.out()) != 1) {
      std::fprintf(stderr, "%s: cannot open: %s\n", entry.name.c_str(), error.text().c_str());
      ++counters.failures;
      continue;
    }
    walker.Walk(table, kind, entry.name);
    libesedb_table_free(&table, nullptr);
  }
  libesedb_file_close(file, nullptr);
  libesedb_file_free(&file, nullptr);
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();

  std::printf("%s layout (format revision 0x%x): %llu tables, %llu records, %llu values, %llu bytes, %llu failures\n",
              newer ? "newer" : "older", static_cast<unsigned>(revision),
              static_cast<unsigned long long>(counters.tables), static_cast<unsigned long long>(counters.records),
              static_cast<unsigned long long>(counters.values), static_cast<unsigned long long>(counters.bytes),
              static_cast<unsigned long long>(counters.failures));
  std::printf("time %.3f s\n", seconds);
  return counters.tables == 0 ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: esedb_walk_floor DATABASE.edb\n");
    return 2;
  }
  return Run(argv[1]);
}
