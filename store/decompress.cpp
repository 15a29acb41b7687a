#include "store/decompress.hpp"

#include <libfwnt.h>

#include <cstdint>
#include <limits>

namespace edbx {

namespace {

constexpr unsigned char kXpressLead = 0x18;
constexpr std::size_t kXpressHeader = 3;  // lead byte and 16-bit size
// Inputs above this are refused so that bit counts cannot overflow.
constexpr std::size_t kMaxInput = std::numeric_limits<std::size_t>::max() / 16;

unsigned char Lead(std::string_view data) { return static_cast<unsigned char>(data[0]); }

// Number of 7-bit characters packed in a value of `size` bytes (lead byte included).
std::size_t SevenBitCount(std::string_view data) {
  if (data.size() < 2) return 0;
  const std::size_t last_bits = (Lead(data) & 7u) + 1u;
  return ((data.size() - 2) * 8 + last_bits) / 7;
}

}  // namespace

EseCompression CompressionOf(std::string_view data) {
  if (data.empty()) return EseCompression::kUnknown;
  const unsigned char lead = Lead(data);
  if (lead == kXpressLead) return EseCompression::kXpress;
  switch (lead >> 3) {
    case 1: return EseCompression::kSevenBitAscii;
    case 2: return EseCompression::kSevenBitUtf16;
    default: return EseCompression::kUnknown;
  }
}

std::optional<std::size_t> DecompressedSize(std::string_view data) {
  if (data.size() > kMaxInput) return std::nullopt;
  switch (CompressionOf(data)) {
    case EseCompression::kSevenBitAscii: return SevenBitCount(data);
    case EseCompression::kSevenBitUtf16: return SevenBitCount(data) * 2;
    case EseCompression::kXpress:
      if (data.size() < kXpressHeader) return std::nullopt;
      return static_cast<std::size_t>(static_cast<unsigned char>(data[1])) |
             (static_cast<std::size_t>(static_cast<unsigned char>(data[2])) << 8);
    case EseCompression::kUnknown: break;
  }
  return std::nullopt;
}

std::optional<std::string> Decompress7Bit(std::string_view data) {
  const EseCompression kind = CompressionOf(data);
  if (kind != EseCompression::kSevenBitAscii && kind != EseCompression::kSevenBitUtf16) return std::nullopt;
  if (data.size() > kMaxInput) return std::nullopt;
  const bool utf16 = kind == EseCompression::kSevenBitUtf16;
  const std::size_t count = SevenBitCount(data);
  std::string out;
  out.reserve(utf16 ? count * 2 : count);
  std::uint32_t bits = 0;
  unsigned held = 0;
  std::size_t next = 1;
  for (std::size_t i = 0; i < count; ++i) {
    if (held < 7) {
      // count never asks for more bits than the data holds, so next stays in range.
      bits |= static_cast<std::uint32_t>(static_cast<unsigned char>(data[next++])) << held;
      held += 8;
    }
    out.push_back(static_cast<char>(bits & 0x7Fu));
    if (utf16) out.push_back('\0');
    bits >>= 7;
    held -= 7;
  }
  return out;
}

std::optional<std::string> DecompressXpress(std::string_view data) {
  if (CompressionOf(data) != EseCompression::kXpress) return std::nullopt;
  const auto size = DecompressedSize(data);
  if (!size) return std::nullopt;
  if (*size == 0) return std::string();
  const std::string_view stream = data.substr(kXpressHeader);
  std::string out(*size, '\0');
  std::size_t produced = out.size();
  libfwnt_error_t* error = nullptr;
  const int rc = libfwnt_lzxpress_decompress(reinterpret_cast<const std::uint8_t*>(stream.data()), stream.size(),
                                             reinterpret_cast<std::uint8_t*>(out.data()), &produced, &error);
  if (error != nullptr) libfwnt_error_free(&error);
  // A stream that ends early leaves the rest of the announced size unwritten: the value
  // is damaged, and handing back a padded buffer would invent bytes.
  if (rc != 1 || produced != out.size()) return std::nullopt;
  return out;
}

std::optional<std::string> DecompressValue(std::string_view data) {
  switch (CompressionOf(data)) {
    case EseCompression::kSevenBitAscii:
    case EseCompression::kSevenBitUtf16: return Decompress7Bit(data);
    case EseCompression::kXpress: return DecompressXpress(data);
    case EseCompression::kUnknown: break;
  }
  return std::nullopt;
}

}  // namespace edbx
