#pragma once
// A small reader over libesedb for checking what the writer produced.

#include <libesedb.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace edbforge::testing {

inline std::string TakeError(libesedb_error_t*& error) {
  std::string text = "libesedb error";
  if (error != nullptr) {
    char buf[2048];
    if (libesedb_error_backtrace_sprint(error, buf, sizeof buf) > 0) text = buf;
    libesedb_error_free(&error);
  }
  return text;
}

/// Runs a libesedb call given as a lambda over the error argument; throws its error.
template <typename Call>
void Check(Call&& call) {
  libesedb_error_t* error = nullptr;
  if (call(&error) != 1) throw std::runtime_error(TakeError(error));
}

struct Column {
  std::string name;
  uint32_t type;
  uint32_t id;
};

class Record {
 public:
  explicit Record(libesedb_record_t* r) : r_(r) {}
  Record(const Record&) = delete;
  Record(Record&& o) noexcept : r_(o.r_) { o.r_ = nullptr; }
  ~Record() {
    if (r_ != nullptr) libesedb_record_free(&r_, nullptr);
  }
  libesedb_record_t* get() const { return r_; }

  uint8_t flags(int entry) const {
    uint8_t f = 0;
    libesedb_error_t* e = nullptr;
    if (libesedb_record_get_value_data_flags(r_, entry, &f, &e) != 1) throw std::runtime_error(TakeError(e));
    return f;
  }
  /// Raw stored data (no decompression); empty when the entry holds no data.
  std::string raw(int entry) const {
    std::size_t size = 0;
    libesedb_error_t* e = nullptr;
    const int rc = libesedb_record_get_value_data_size(r_, entry, &size, &e);
    if (rc == -1) throw std::runtime_error(TakeError(e));
    if (rc == 0 || size == 0) return {};
    std::string out(size, '\0');
    if (libesedb_record_get_value_data(r_, entry, reinterpret_cast<uint8_t*>(out.data()), size, &e) != 1)
      throw std::runtime_error(TakeError(e));
    return out;
  }
  /// Binary value through the library getter (decompresses compressed values).
  std::string binary(int entry) const {
    std::size_t size = 0;
    libesedb_error_t* e = nullptr;
    const int rc = libesedb_record_get_value_binary_data_size(r_, entry, &size, &e);
    if (rc == -1) throw std::runtime_error(TakeError(e));
    if (rc == 0) return {};
    std::string out(size, '\0');
    if (libesedb_record_get_value_binary_data(r_, entry, reinterpret_cast<uint8_t*>(out.data()), size, &e) != 1)
      throw std::runtime_error(TakeError(e));
    return out;
  }
  std::u16string text(int entry) const {
    std::size_t size = 0;
    libesedb_error_t* e = nullptr;
    const int rc = libesedb_record_get_value_utf16_string_size(r_, entry, &size, &e);
    if (rc == -1) throw std::runtime_error(TakeError(e));
    if (rc == 0 || size == 0) return {};
    std::u16string out(size, u'\0');
    if (libesedb_record_get_value_utf16_string(r_, entry, reinterpret_cast<uint16_t*>(out.data()), size, &e) != 1)
      throw std::runtime_error(TakeError(e));
    out.resize(size - 1);
    return out;
  }
  /// All segments of a separated long value, concatenated.
  std::string long_value(int entry) const {
    libesedb_long_value_t* lv = nullptr;
    libesedb_error_t* e = nullptr;
    if (libesedb_record_get_long_value(r_, entry, &lv, &e) != 1) throw std::runtime_error(TakeError(e));
    std::string out;
    int segments = 0;
    if (libesedb_long_value_get_number_of_data_segments(lv, &segments, &e) != 1) {
      libesedb_long_value_free(&lv, nullptr);
      throw std::runtime_error(TakeError(e));
    }
    for (int s = 0; s < segments; ++s) {
      std::size_t size = 0;
      libesedb_long_value_get_data_segment_size(lv, s, &size, nullptr);
      std::string piece(size, '\0');
      libesedb_long_value_get_data_segment(lv, s, reinterpret_cast<uint8_t*>(piece.data()), size, nullptr);
      out += piece;
    }
    libesedb_long_value_free(&lv, nullptr);
    return out;
  }
  std::vector<std::string> multi(int entry) const {
    libesedb_multi_value_t* mv = nullptr;
    libesedb_error_t* e = nullptr;
    if (libesedb_record_get_multi_value(r_, entry, &mv, &e) != 1) throw std::runtime_error(TakeError(e));
    int count = 0;
    libesedb_multi_value_get_number_of_values(mv, &count, nullptr);
    std::vector<std::string> out;
    for (int i = 0; i < count; ++i) {
      std::size_t size = 0;
      libesedb_multi_value_get_value_data_size(mv, i, &size, nullptr);
      std::string v(size, '\0');
      libesedb_multi_value_get_value_data(mv, i, reinterpret_cast<uint8_t*>(v.data()), size, nullptr);
      out.push_back(v);
    }
    libesedb_multi_value_free(&mv, nullptr);
    return out;
  }

 private:
  libesedb_record_t* r_;
};

class Table {
 public:
  explicit Table(libesedb_table_t* t) : t_(t) {}
  Table(const Table&) = delete;
  Table(Table&& o) noexcept : t_(o.t_) { o.t_ = nullptr; }
  ~Table() {
    if (t_ != nullptr) libesedb_table_free(&t_, nullptr);
  }
  std::string name() const {
    std::size_t size = 0;
    Check([&](libesedb_error_t** e) { return libesedb_table_get_utf8_name_size(t_, &size, e); });
    std::string s(size, '\0');
    Check([&](libesedb_error_t** e) { return libesedb_table_get_utf8_name(t_, reinterpret_cast<uint8_t*>(s.data()), size, e); });
    s.resize(size - 1);
    return s;
  }
  std::vector<Column> columns() const {
    int n = 0;
    Check([&](libesedb_error_t** e) { return libesedb_table_get_number_of_columns(t_, &n, 0, e); });
    std::vector<Column> out;
    for (int i = 0; i < n; ++i) {
      libesedb_column_t* c = nullptr;
      Check([&](libesedb_error_t** e) { return libesedb_table_get_column(t_, i, &c, 0, e); });
      Column col;
      std::size_t size = 0;
      libesedb_column_get_utf8_name_size(c, &size, nullptr);
      col.name.assign(size, '\0');
      libesedb_column_get_utf8_name(c, reinterpret_cast<uint8_t*>(col.name.data()), size, nullptr);
      col.name.resize(size - 1);
      libesedb_column_get_type(c, &col.type, nullptr);
      libesedb_column_get_identifier(c, &col.id, nullptr);
      libesedb_column_free(&c, nullptr);
      out.push_back(col);
    }
    return out;
  }
  int records() const {
    int n = 0;
    Check([&](libesedb_error_t** e) { return libesedb_table_get_number_of_records(t_, &n, e); });
    return n;
  }
  Record record(int i) const {
    libesedb_record_t* r = nullptr;
    Check([&](libesedb_error_t** e) { return libesedb_table_get_record(t_, i, &r, e); });
    return Record(r);
  }

 private:
  libesedb_table_t* t_;
};

class File {
 public:
  explicit File(const std::string& path) {
    Check([&](libesedb_error_t** e) { return libesedb_file_initialize(&f_, e); });
    libesedb_error_t* e = nullptr;
    if (libesedb_file_open(f_, path.c_str(), libesedb_get_access_flags_read(), &e) != 1) {
      libesedb_file_free(&f_, nullptr);
      throw std::runtime_error(TakeError(e));
    }
  }
  File(const File&) = delete;
  ~File() {
    libesedb_file_close(f_, nullptr);
    libesedb_file_free(&f_, nullptr);
  }
  int tables() const {
    int n = 0;
    Check([&](libesedb_error_t** e) { return libesedb_file_get_number_of_tables(f_, &n, e); });
    return n;
  }
  Table table(int i) const {
    libesedb_table_t* t = nullptr;
    Check([&](libesedb_error_t** e) { return libesedb_file_get_table(f_, i, &t, e); });
    return Table(t);
  }
  Table table(const std::string& name) const {
    for (int i = 0; i < tables(); ++i) {
      Table t = table(i);
      if (t.name() == name) return t;
    }
    throw std::runtime_error("no table " + name);
  }
  uint32_t revision() const {
    uint32_t v = 0, r = 0;
    Check([&](libesedb_error_t** e) { return libesedb_file_get_format_version(f_, &v, &r, e); });
    return r;
  }

 private:
  libesedb_file_t* f_ = nullptr;
};

}  // namespace edbforge::testing
