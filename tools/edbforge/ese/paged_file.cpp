#include "tools/edbforge/ese/paged_file.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <string>

namespace edbforge::ese {

PagedFile::PagedFile(const std::filesystem::path& path, const FormatContext& fmt)
    : fmt_(fmt), path_(path) {
  fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd_ < 0)
    throw std::runtime_error("cannot create " + path.string() + ": " + std::strerror(errno));
}

PagedFile::~PagedFile() {
  if (fd_ >= 0) ::close(fd_);
}

void PagedFile::write_at(uint64_t offset, const void* data, std::size_t size) {
  const auto* p = static_cast<const uint8_t*>(data);
  while (size > 0) {
    const ssize_t n = ::pwrite(fd_, p, size, static_cast<off_t>(offset));
    if (n < 0) {
      if (errno == EINTR) continue;
      throw std::runtime_error("cannot write " + path_.string() + ": " + std::strerror(errno));
    }
    p += n;
    size -= static_cast<std::size_t>(n);
    offset += static_cast<uint64_t>(n);
  }
}

void PagedFile::write_page(uint32_t page_number, const std::vector<uint8_t>& image) {
  write_at((static_cast<uint64_t>(page_number) + 1) * fmt_.page_size, image.data(), image.size());
}

void PagedFile::write_page(PageHeader header, const std::vector<TagValue>& tags) {
  header.dbtime = next_dbtime();
  write_page(header.page_number, BuildPage(fmt_, header, tags));
}

uint32_t PagedFile::allocate(uint32_t count) {
  if (count == 0) throw std::logic_error("allocation of zero pages");
  if (next_page_ > 0x7fffffffu - count) throw std::runtime_error("database exceeds the page number range");
  const uint32_t first = next_page_;
  next_page_ += count;
  return first;
}

void PagedFile::truncate(uint64_t size) {
  if (::ftruncate(fd_, static_cast<off_t>(size)) != 0)
    throw std::runtime_error("cannot size " + path_.string() + ": " + std::strerror(errno));
}

void PagedFile::close() {
  if (fd_ < 0) return;
  const int rc = ::close(fd_);
  fd_ = -1;
  if (rc != 0) throw std::runtime_error("cannot close " + path_.string() + ": " + std::strerror(errno));
}

}  // namespace edbforge::ese
