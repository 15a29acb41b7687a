#pragma once
// Little- and big-endian loads from untrusted byte strings. Callers check bounds first.

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace edbx::ese_reader {

inline std::uint16_t Le16(std::string_view b, std::size_t at) {
  return static_cast<std::uint16_t>(static_cast<unsigned char>(b[at]) |
                                    (static_cast<unsigned>(static_cast<unsigned char>(b[at + 1])) << 8));
}

inline std::uint32_t Le32(std::string_view b, std::size_t at) {
  return static_cast<std::uint32_t>(Le16(b, at)) | (static_cast<std::uint32_t>(Le16(b, at + 2)) << 16);
}

inline std::uint64_t Le64(std::string_view b, std::size_t at) {
  return static_cast<std::uint64_t>(Le32(b, at)) | (static_cast<std::uint64_t>(Le32(b, at + 4)) << 32);
}

inline std::uint32_t Be32(std::string_view b, std::size_t at) {
  std::uint32_t v = 0;
  for (std::size_t i = 0; i < 4; ++i) v = (v << 8) | static_cast<unsigned char>(b[at + i]);
  return v;
}

}  // namespace edbx::ese_reader
