#include "ese/file.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "ese/bytes.hpp"

namespace edbx::ese_reader {

namespace {

constexpr std::uint32_t kMagic = 0x89abcdef;
constexpr std::uint32_t kVersion = 0x620;
// The header structure the checksum covers is shorter than a page; the rest of the
// header page is zero, so the XOR over the first 4 KiB covers it on every page size.
constexpr std::size_t kHeaderBytes = 4096;

bool Fail(std::string* why, std::string text) {
  if (why != nullptr) *why = std::move(text);
  return false;
}

bool ReadAt(int fd, char* data, std::size_t size, std::uint64_t offset) {
  while (size > 0) {
    const ssize_t n = ::pread(fd, data, size, static_cast<off_t>(offset));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    const auto got = static_cast<std::size_t>(n);
    data += got;
    size -= got;
    offset += got;
  }
  return true;
}

// A header page that checks out, or nullopt with the reason.
std::optional<FileHeader> ParseHeader(std::string_view b, std::string* why, bool verify = true) {
  if (Le32(b, 4) != kMagic) {
    Fail(why, "no database signature");
    return std::nullopt;
  }
  std::uint32_t x = kMagic;
  for (std::size_t i = 4; i + 4 <= b.size(); i += 4) x ^= Le32(b, i);
  if (verify && x != Le32(b, 0)) {
    Fail(why, "header checksum mismatch");
    return std::nullopt;
  }
  FileHeader header;
  header.version = Le32(b, 8);
  header.state = Le32(b, 52);
  header.revision = Le32(b, 232);
  header.page_size = Le32(b, 236);
  if (header.page_size == 0) header.page_size = 4096;
  if (header.version != kVersion) {
    Fail(why, "format version 0x" + [&] {
      static constexpr char kDigits[] = "0123456789abcdef";
      std::string s;
      for (int shift = 28; shift >= 0; shift -= 4) s += kDigits[(header.version >> shift) & 0xf];
      return s;
    }() + " is not supported");
    return std::nullopt;
  }
  const std::uint32_t ps = header.page_size;
  if (ps != 4096 && ps != 8192 && ps != 16384 && ps != 32768) {
    Fail(why, "page size " + std::to_string(ps) + " is not supported");
    return std::nullopt;
  }
  return header;
}

}  // namespace

PageFile::~PageFile() {
  if (fd_ >= 0) ::close(fd_);
}

std::shared_ptr<PageFile> PageFile::Open(const std::filesystem::path& path, std::string* why) {
  // Non-blocking, so that a FIFO put in the file's place cannot stall the open.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) {
    Fail(why, "unable to open '" + path.string() + "': " + std::strerror(errno));
    return nullptr;
  }
  std::shared_ptr<PageFile> file(new PageFile);
  file->fd_ = fd;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size < 0) {
    Fail(why, "'" + path.string() + "' is not a regular file");
    return nullptr;
  }
  file->file_size_ = static_cast<std::uint64_t>(st.st_size);
  std::string first(kHeaderBytes, '\0');
  if (file->file_size_ < kHeaderBytes || !ReadAt(fd, first.data(), first.size(), 0)) {
    Fail(why, "'" + path.string() + "' is too short for a database");
    return nullptr;
  }
  std::string reason;
  auto header = ParseHeader(first, &reason);
  if (!header) {
    // The shadow copy sits one page further; its page size is not known yet, so try
    // each size the format allows.
    for (std::uint64_t size : {4096u, 8192u, 16384u, 32768u}) {
      std::string shadow(kHeaderBytes, '\0');
      if (file->file_size_ < size + kHeaderBytes || !ReadAt(fd, shadow.data(), shadow.size(), size)) break;
      auto copy = ParseHeader(shadow, nullptr);
      if (copy && copy->page_size == size) {
        header = copy;
        header->from_shadow = true;
        break;
      }
    }
  }
  // Both copies with a bad checksum: the primary still names the layout, and a reader
  // that checks every page it reads can go on with it.
  if (!header) header = ParseHeader(first, &reason, false);
  if (!header) {
    Fail(why, "'" + path.string() + "': " + reason);
    return nullptr;
  }
  file->header_ = *header;
  file->format_.page_size = header->page_size;
  // Pages above 8 KiB have the extended header; the format allows them only from
  // revision 0x11 on.
  file->format_.large = header->page_size > 8192;
  const std::uint64_t pages = file->file_size_ / header->page_size;
  file->last_page_ = pages >= 2 ? static_cast<std::uint32_t>(std::min<std::uint64_t>(pages - 2, 0xffffffffu)) : 0;
  return file;
}

std::shared_ptr<const Page> PageFile::ReadPage(std::uint32_t number, std::string* why) const {
  if (number == 0 || number > last_page_) {
    Fail(why, "page " + std::to_string(number) + ": outside the file of " + std::to_string(last_page_) + " pages");
    return nullptr;
  }
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (const auto it = cached_.find(number); it != cached_.end()) {
      lru_.splice(lru_.begin(), lru_, it->second);
      return *it->second;
    }
  }
  const std::uint32_t size = format_.page_size;
  std::string bytes(size, '\0');
  if (!ReadAt(fd_, bytes.data(), size, (std::uint64_t{number} + 1) * size)) {
    Fail(why, "page " + std::to_string(number) + ": unable to read: " + std::strerror(errno));
    return nullptr;
  }
  std::string reason;
  auto page = Page::Parse(number, std::move(bytes), format_, &reason);
  if (!page) {
    Fail(why, "page " + std::to_string(number) + ": " + reason);
    return nullptr;
  }
  const std::lock_guard<std::mutex> lock(mutex_);
  if (const auto it = cached_.find(number); it != cached_.end()) return *it->second;  // read meanwhile
  lru_.push_front(page);
  cached_[number] = lru_.begin();
  if (lru_.size() > kCachedPages) {
    cached_.erase(lru_.back()->number());
    lru_.pop_back();
  }
  return page;
}

std::optional<std::string> PageFile::ReadBytes(std::uint32_t number, std::uint32_t offset, std::uint32_t size,
                                               std::string* why) const {
  const std::uint32_t ps = format_.page_size;
  if (number == 0 || number > last_page_ || size > ps || offset > ps - size) {
    Fail(why, std::to_string(size) + " bytes at " + std::to_string(offset) + " of page " + std::to_string(number) +
                  " are outside the file");
    return std::nullopt;
  }
  std::string data(size, '\0');
  if (!ReadAt(fd_, data.data(), size, (std::uint64_t{number} + 1) * ps + offset)) {
    Fail(why, "page " + std::to_string(number) + ": unable to read");
    return std::nullopt;
  }
  return data;
}

}  // namespace edbx::ese_reader
