// Our page layer, tree walk, catalog and record decoder on damaged files. A valid store
// of two tables (every storage class, multi-values, long values, a derived table) is
// written once with edbforge; each input overwrites bytes of its pages, catalog
// included, and reseals the checksums of the pages it touched unless told not to, so
// that the damage reaches the structure checks. Every read must end in data or a
// reason: no out-of-bounds read, no loop, no unbounded allocation, no crash.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "common/paths.hpp"
#include "ese/database.hpp"
#include "tools/edbforge/ese/database.hpp"
#include "tools/edbforge/ese/page.hpp"

namespace {

namespace forge = edbforge::ese;
namespace er = edbx::ese_reader;

constexpr std::uint32_t kPageSize = 4096;
constexpr std::uint32_t kRevision = 12;

std::string MakeBase() {
  namespace fs = std::filesystem;
  const fs::path path = fs::temp_directory_path() / ("edbx-fuzz-ese-" + std::to_string(::getpid()) + ".edb");
  forge::WriterOptions options;
  options.page_size = kPageSize;
  options.format_revision = kRevision;
  {
    forge::DatabaseWriter w(path, options);
    forge::TableDef t;
    t.name = "T";
    t.columns = {forge::ColumnDef("Num", forge::ColumnType::Long), forge::ColumnDef("Name", forge::ColumnType::Text),
                 forge::ColumnDef("Body", forge::ColumnType::LongBinary),
                 forge::ColumnDef("Tags", forge::ColumnType::LongText, 1200).multi()};
    const auto id = w.add_table(t);
    for (int r = 0; r < 300; ++r) {
      forge::Row row;
      row.set(0, forge::val::I32(r)).set(1, forge::val::Ansi("row " + std::to_string(r)));
      row.set(2, forge::val::Bin(std::string(static_cast<std::size_t>(200 + (r % 4) * 900), static_cast<char>(r))));
      if (r % 3 == 0) row.set(3, forge::Value::MultiOf({"a", "bc"}));
      w.add_row(id, row);
    }
    forge::TableDef tpl;
    tpl.name = "Tpl";
    tpl.is_template = true;
    tpl.columns = {forge::ColumnDef("Key", forge::ColumnType::Long)};
    w.add_table(tpl);
    forge::TableDef d;
    d.name = "D";
    d.template_name = "Tpl";
    d.columns = {forge::ColumnDef("Own", forge::ColumnType::LongText, 1200)};
    const auto did = w.add_table(d);
    for (int r = 0; r < 20; ++r) w.add_row(did, forge::Row().set(0, forge::val::I32(r)).set(1, forge::val::Utf16(u"own")));
    w.finish();
  }
  std::string file = edbx::ReadWholeFile(path).value_or(std::string());
  fs::remove(path);
  return file;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const std::string base = MakeBase();
  static const std::size_t pages = base.size() / kPageSize - 2;
  if (size < 1 || pages == 0) return 0;
  // One byte of options (bit 0: leave checksums broken), then groups of five bytes that
  // each overwrite one byte: logical page (2), offset in the page (2), value.
  const bool reseal = (data[0] & 1) == 0;
  std::string file = base;
  std::set<std::uint32_t> touched;
  for (std::size_t i = 1; i + 5 <= size; i += 5) {
    const std::uint32_t page = 1 + static_cast<std::uint32_t>((data[i] | (data[i + 1] << 8)) % pages);
    const std::size_t offset = (data[i + 2] | (data[i + 3] << 8)) % kPageSize;
    file[(std::size_t{page} + 1) * kPageSize + offset] = static_cast<char>(data[i + 4]);
    touched.insert(page);
  }
  if (reseal) {
    forge::FormatContext fmt;
    fmt.page_size = kPageSize;
    fmt.revision = kRevision;
    for (const std::uint32_t page : touched) {
      const std::size_t at = (std::size_t{page} + 1) * kPageSize;
      std::vector<std::uint8_t> raw(file.begin() + static_cast<std::ptrdiff_t>(at),
                                    file.begin() + static_cast<std::ptrdiff_t>(at + kPageSize));
      forge::SealPage(fmt, page, raw);
      file.replace(at, kPageSize, std::string(raw.begin(), raw.end()));
    }
  }

  const int fd = ::memfd_create("ese-reader", 0);
  if (fd < 0) return 0;
  if (::write(fd, file.data(), file.size()) == static_cast<ssize_t>(file.size())) {
    const std::string path = "/proc/self/fd/" + std::to_string(fd);
    if (const auto db = er::Database::Open(path)) {
      for (const er::TableDef& def : db->catalog().tables()) {
        const auto table = db->OpenTable(def.name);
        const auto count = table ? table->RecordCount() : std::nullopt;
        for (std::uint32_t r = 0; count && r < *count && r < 2000; ++r) {
          const auto record = table->ReadRecord(r);
          if (!record) continue;
          for (int e = 0; e < record->ValueCount(); ++e) {
            (void)record->Data(e);
            (void)record->MultiValue(e);
            (void)record->LongValueSegments(e);
          }
        }
        (void)table->Problems();
      }
    }
  }
  ::close(fd);
  return 0;
}
