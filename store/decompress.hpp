#pragma once
// Decompression of ESE column values: the 7-bit packing of ASCII or UTF-16 text and
// Xpress (plain LZ77). The first byte of a compressed value names the scheme:
//
//   lead >> 3 == 1   7-bit packing of 8-bit ASCII text (one output byte per character)
//   lead >> 3 == 2   7-bit packing of UTF-16 text (each 7-bit value is the low byte of a
//                    UTF-16LE unit whose high byte is 0)
//   lead == 0x18     Xpress: a 16-bit little-endian uncompressed size, then the stream
//
// For the 7-bit forms, (lead & 7) + 1 is the number of bits used in the last byte, so
// the character count is ((size - 2) * 8 + bits of the last byte) / 7. Characters are
// packed least significant bit first.
//
// Two places where these decoders deliberately differ from libesedb's own:
// - libesedb ignores the bit count of the last byte and always emits
//   ((size - 1) * 8) / 7 values, so a value whose last byte holds a single bit (7, 15,
//   ... characters) comes out with an extra NUL. Here the count is exact.
// - libesedb hands 7-bit UTF-16 packing back as 8-bit text (one byte per character).
//   Here it comes back as the UTF-16LE bytes that were packed.
// Every other lead byte (the other ESE schemes) is refused rather than misread.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace edbx {

enum class EseCompression {
  kSevenBitAscii,
  kSevenBitUtf16,
  kXpress,
  kUnknown,  // empty data or a lead byte of a scheme these decoders do not read
};

/// The scheme named by the first byte of `data`.
EseCompression CompressionOf(std::string_view data);

/// Size of the decompressed value, from the header alone; nullopt when the scheme is
/// unknown or the header is incomplete.
std::optional<std::size_t> DecompressedSize(std::string_view data);

/// Unpacks a 7-bit value (lead byte included). nullopt for any other scheme.
std::optional<std::string> Decompress7Bit(std::string_view data);

/// Decodes an Xpress value (lead byte 0x18 and size included). nullopt when the stream
/// is malformed or does not yield exactly the announced number of bytes.
std::optional<std::string> DecompressXpress(std::string_view data);

/// Decompresses a value by its lead byte; nullopt on malformed or unknown data. The
/// output never exceeds 65535 bytes (Xpress) or 16/7 times the input size (7-bit).
std::optional<std::string> DecompressValue(std::string_view data);

}  // namespace edbx
