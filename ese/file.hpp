#pragma once
// Read-only access to the pages of a database file.
//
// The file starts with the database header and its shadow copy, one page each; logical
// page N (N >= 1) is stored at byte (N + 1) * page size. Pages are read with pread on a
// descriptor of our own, parsed once (ese/page.hpp) and kept in a small cache of
// recently used pages, so walks and lookups that revisit pages do not read them again.
// One PageFile may serve several threads: the cache is guarded, reads do not share a
// file position.

#include <cstdint>
#include <filesystem>
#include <list>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>

#include "ese/page.hpp"

namespace edbx::ese_reader {

/// What the database header says.
struct FileHeader {
  std::uint32_t version = 0;    // format version, 0x620
  std::uint32_t revision = 0;   // format revision
  std::uint32_t page_size = 0;
  std::uint32_t state = 0;      // 2 dirty shutdown, 3 clean shutdown
  bool from_shadow = false;     // the primary header's checksum failed, the shadow was read
};

class PageFile {
 public:
  /// Opens the database file at `path` for reading. nullptr with the reason in `why`
  /// when it is no regular file or neither header is a valid database header.
  static std::shared_ptr<PageFile> Open(const std::filesystem::path& path, std::string* why = nullptr);

  PageFile(const PageFile&) = delete;
  PageFile& operator=(const PageFile&) = delete;
  ~PageFile();

  const FileHeader& header() const { return header_; }
  PageFormat format() const { return format_; }
  std::uint64_t file_size() const { return file_size_; }
  /// Highest valid logical page number (0 when the file holds no page).
  std::uint32_t last_page() const { return last_page_; }

  /// Page `number`, parsed; nullptr with the reason in `why` when the number is outside
  /// the file, the read fails or the page does not parse.
  std::shared_ptr<const Page> ReadPage(std::uint32_t number, std::string* why = nullptr) const;

  /// `size` bytes at byte `offset` of page `number` (for long-value chunks, which are
  /// read without keeping their page).
  std::optional<std::string> ReadBytes(std::uint32_t number, std::uint32_t offset, std::uint32_t size,
                                       std::string* why = nullptr) const;

 private:
  PageFile() = default;

  int fd_ = -1;
  std::uint64_t file_size_ = 0;
  std::uint32_t last_page_ = 0;
  FileHeader header_;
  PageFormat format_;

  static constexpr std::size_t kCachedPages = 256;
  mutable std::mutex mutex_;
  mutable std::list<std::shared_ptr<const Page>> lru_;  // most recently used first
  mutable std::unordered_map<std::uint32_t, std::list<std::shared_ptr<const Page>>::iterator> cached_;
};

}  // namespace edbx::ese_reader
