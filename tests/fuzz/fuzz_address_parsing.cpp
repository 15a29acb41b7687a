// Address texts and message headers come from the database: any UTF-16 text.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "common/text.hpp"
#include "export/address_parsing.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const edbx::u16 text = edbx::utf16le_from_bytes(
      std::string_view(reinterpret_cast<const char*>(data), size));
  const edbx::u16 normalized = edbx::NormalizeAddressText(text);
  // Every entry ends with ",", and the result holds only ASCII.
  if (!normalized.empty() && normalized.back() != u',') __builtin_trap();
  for (const char16_t c : normalized)
    if (c > 0x7F) __builtin_trap();
  (void)edbx::FormatSmtpAddressList(text);
  (void)edbx::LooksLikeAddressList(text);
  for (const std::u16string_view field : {u"From", u"To"}) {
    const auto run = edbx::HeaderAddressMatch(text, field);
    if (run && (run->empty() || run->size() >= text.size())) __builtin_trap();
  }
  return 0;
}
