#pragma once
// The output file, written page by page, and the allocator of page numbers.

#include <cstdint>
#include <filesystem>
#include <vector>

#include "tools/edbforge/ese/format.hpp"
#include "tools/edbforge/ese/page.hpp"

namespace edbforge::ese {

class PagedFile {
 public:
  PagedFile(const std::filesystem::path& path, const FormatContext& fmt);
  PagedFile(const PagedFile&) = delete;
  PagedFile& operator=(const PagedFile&) = delete;
  ~PagedFile();

  const FormatContext& format() const { return fmt_; }

  /// Writes database page `page_number` (file offset (n + 1) * page size).
  void write_page(uint32_t page_number, const std::vector<uint8_t>& image);
  /// Builds and writes a page; the database time advances by one.
  void write_page(PageHeader header, const std::vector<TagValue>& tags);
  void write_at(uint64_t offset, const void* data, std::size_t size);

  /// Reserves `count` consecutive pages and returns the first.
  uint32_t allocate(uint32_t count);
  uint32_t last_page() const { return next_page_ - 1; }
  uint64_t dbtime() const { return dbtime_; }
  uint64_t next_dbtime() { return ++dbtime_; }

  /// Sets the file size (pages owned but never written read as zeros).
  void truncate(uint64_t size);
  void close();

 private:
  FormatContext fmt_;
  int fd_ = -1;
  std::filesystem::path path_;
  uint32_t next_page_ = kFirstFreePage;
  uint64_t dbtime_ = 0x40;
};

}  // namespace edbforge::ese
