// RTF-to-text conversion on arbitrary text. The first byte chooses how the rest
// becomes UTF-16: as Windows-1252 (the way bodies arrive) or as raw UTF-16LE.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "common/text.hpp"
#include "content/rtf_to_text.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::string_view rest(reinterpret_cast<const char*>(data + 1), size - 1);
  const edbx::u16 rtf =
      (data[0] & 1u) ? edbx::utf16le_from_bytes(rest) : edbx::cp1252_to_utf16(rest);
  (void)edbx::RtfToText(rtf);
  return 0;
}
