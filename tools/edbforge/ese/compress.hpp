#pragma once
// The value compression of ESE: 7-bit packing of ASCII or UTF-16 text with only
// 7-bit characters, and Xpress (plain LZ77) with a 0x18 lead byte.

#include <optional>
#include <string>
#include <string_view>

namespace edbforge::ese {

/// 7-bit packing; `utf16` packs the low bytes of UTF-16LE units. nullopt when a
/// character needs more than 7 bits.
std::optional<std::string> Compress7Bit(std::string_view data, bool utf16);

/// Plain LZ77 Xpress stream (no ESE lead bytes).
std::string XpressCompress(std::string_view data);

/// Xpress value as ESE stores it: 0x18, the uncompressed size (16 bits), the stream.
/// nullopt when the data is larger than 65535 bytes.
std::optional<std::string> CompressXpressValue(std::string_view data);

/// ESE's choice for a compressed column: 7-bit for short 7-bit text, Xpress for
/// longer data, nothing when compression would not make the value smaller.
std::optional<std::string> CompressValue(std::string_view data, bool utf16_text);

}  // namespace edbforge::ese
