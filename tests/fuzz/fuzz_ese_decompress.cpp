// ESE value decompression on arbitrary bytes: no out-of-bounds access, and the output
// never exceeds what the header and the input size allow.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "store/decompress.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const auto seven = edbx::Decompress7Bit(input);
  if (seven && (size < 1 || seven->size() > 2 * ((size - 1) * 8 / 7))) __builtin_trap();
  const auto xpress = edbx::DecompressXpress(input);
  if (xpress && (size < 3 || xpress->size() != (data[1] | (static_cast<std::size_t>(data[2]) << 8)))) __builtin_trap();
  const auto any = edbx::DecompressValue(input);
  if (any.has_value() != (seven.has_value() || xpress.has_value())) __builtin_trap();
  if (any && edbx::DecompressedSize(input) != any->size()) __builtin_trap();
  return 0;
}
