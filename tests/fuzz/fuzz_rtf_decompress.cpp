// Compressed-RTF decoder on arbitrary streams: no out-of-bounds access, and the
// output stays within the capacity that the header and the input size allow.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "content/rtf_decompress.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view stream(reinterpret_cast<const char*>(data), size);
  const auto text = edbx::DecompressRtf(stream);
  if (text && size >= 8) {
    std::uint64_t raw_size = 0;
    for (int k = 3; k >= 0; --k) raw_size = (raw_size << 8) | data[4 + k];
    const std::uint64_t bound = std::min<std::uint64_t>(raw_size, 17u * size) + 97 + 2;
    if (text->size() > bound) __builtin_trap();
  }
  return 0;
}
