#pragma once
// Decoder for compressed-RTF bodies (the PidTagRtfCompressed column): a 16-byte
// header followed by LZ77 tokens over a 4096-byte dictionary prefilled with a
// fixed 207-byte RTF prefix.

#include <optional>
#include <string>
#include <string_view>

namespace edbx {

/// Decodes a compressed-RTF stream into its 8-bit RTF text.
///
/// Header fields (little-endian): COMPSIZE at 0, RAWSIZE at 4, COMPTYPE at 8, CRC at 12.
/// "LZFu" streams (and streams of any unknown type) are decoded as compressed; decoding
/// stops before any token that starts within the last five bytes of the COMPSIZE range,
/// and "}}" is always appended. "MELA" streams copy min(RAWSIZE, bytes after the header)
/// raw bytes, then "}}". The output never exceeds min(RAWSIZE, 17 * size) + 97 bytes
/// before the braces, whatever the header claims.
///
/// Returns the text as a C string reads it (the bytes before the first NUL), or nullopt
/// when the stream is shorter than its header or COMPSIZE exceeds the bytes given.
std::optional<std::string> DecompressRtf(std::string_view data);

}  // namespace edbx
