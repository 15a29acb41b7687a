#pragma once
// Compressed-RTF writer for test fixtures: turns RTF text into the LZ77 stream
// stored in the PidTagRtfCompressed column.

#include <string>
#include <string_view>

namespace edbforge {

/// Compresses `rtf` into a complete "LZFu" stream: COMPSIZE (stream size - 4),
/// RAWSIZE, COMPTYPE 0x75465A4C and the CRC of the token bytes, followed by runs of a
/// control byte and up to eight tokens, ending with the end-marker reference (whose
/// offset is the dictionary write position). At each input position the longest
/// dictionary match of 2 to 17 bytes is used, the lowest offset among equals.
/// Throws std::length_error when the sizes would not fit the 32-bit header fields.
std::string CompressRtf(std::string_view rtf);

}  // namespace edbforge
