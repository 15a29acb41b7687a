#pragma once
// Realistic item content for fixture stores: attachment files of common kinds,
// transport headers, short file names and times.

#include <cstdint>
#include <string>

#include "tools/edbforge/store/store_model.hpp"

namespace edbforge::store {

/// A small but valid PDF document showing `title`, padded to about `size` bytes.
std::string MakePdf(const std::string& title, std::size_t size);
/// A valid RGB PNG image of the given size with a deterministic pattern.
std::string MakePng(uint32_t width, uint32_t height, uint32_t seed);
/// Lines of text of about `size` bytes (CR LF line ends).
std::string MakeText(const std::string& topic, std::size_t size, uint32_t seed);

/// RFC 5322 header block of a mail item (CR LF lines, non-ASCII words encoded).
std::u16string MakeTransportHeaders(const ItemDesc& item, uint64_t key);
/// An 8.3 form of a file name ("Quarterly report.pdf" -> "QUARTE~1.PDF").
std::u16string ShortFileName(const std::u16string& name);

/// FILETIME of a UTC calendar time.
uint64_t FiletimeOf(int year, int month, int day, int hour, int minute, int second);
/// FILETIME of an ISO 8601 UTC text ("2010-01-05T14:03:59Z" or "2010-01-05"); false when malformed.
bool ParseIsoTime(const std::string& text, uint64_t& filetime);

}  // namespace edbforge::store
