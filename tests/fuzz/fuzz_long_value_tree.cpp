// The long-value tree reader on arbitrary pages: every lookup ends in data or nullopt,
// never an out-of-bounds read, a loop or a crash.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "store/long_value_tree.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 8) return 0;
  // Header: page-size choice, LID (4 bytes), root page, object id (2 bytes).
  const bool large = (data[0] & 1) != 0;
  const std::uint32_t page_size = large ? 32768 : 4096;
  const std::uint32_t revision = large ? 0x11 : ((data[0] & 2) != 0 ? 0x0f : 0x0c);
  const std::uint32_t lid = data[1] | (std::uint32_t{data[2]} << 8) | (std::uint32_t{data[3]} << 16) |
                            (std::uint32_t{data[4]} << 24);
  const edbx::LongValueTreeRoot root{std::uint32_t{data[6]} | (std::uint32_t{data[7]} << 8), 1u + data[5] % 4u};
  // The file: the database header page, then the input's pages, padded to whole pages.
  std::string file(page_size, '\0');
  file.append(reinterpret_cast<const char*>(data + 8), size - 8);
  file.resize((file.size() + page_size - 1) / page_size * page_size + page_size, '\0');

  const int fd = ::memfd_create("lv-tree", 0);
  if (fd < 0) return 0;
  if (::write(fd, file.data(), file.size()) == static_cast<ssize_t>(file.size())) {
    const std::string path = "/proc/self/fd/" + std::to_string(fd);
    if (auto tree = edbx::LongValueTree::Open(path, page_size, revision, root)) {
      if (const auto chunks = tree->Chunks(lid))
        for (const auto& chunk : *chunks) (void)tree->ChunkData(chunk);
      (void)tree->Read(lid + 1);
    }
  }
  ::close(fd);
  return 0;
}
