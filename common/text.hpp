#pragma once
// UTF-16 text helpers shared by every subsystem. All text inside the system is
// UTF-16 (std::u16string); UTF-8 appears only at the edges (file system, console).

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace edbx {

using u16 = std::u16string;
using u16v = std::u16string_view;

/// ASCII/Latin-1 literal to UTF-16 ("abc" -> u"abc"); for fixed texts only.
u16 widen(std::string_view ascii);

/// UTF-8 to UTF-16; invalid sequences become U+FFFD.
u16 utf8_to_utf16(std::string_view utf8);
/// UTF-16 to UTF-8; unpaired surrogates become U+FFFD.
std::string utf16_to_utf8(u16v text);

/// Windows-1252 (the "ANSI code page" everywhere in this system) to UTF-16.
u16 cp1252_to_utf16(std::string_view bytes);
/// UTF-16 to Windows-1252; characters the code page lacks become `fallback`.
std::string utf16_to_cp1252(u16v text, char fallback = '?');

/// Raw little-endian UTF-16 code units of `text` (2 bytes each, no mark, no terminator).
std::string utf16le_bytes(u16v text);
/// Code units from little-endian bytes; an odd final byte is dropped.
u16 utf16le_from_bytes(std::string_view bytes);

/// Replaces every occurrence of `from` (non-empty) by `to`, scanning left to right.
void replace_all(u16& text, u16v from, u16v to);
u16 replaced(u16 text, u16v from, u16v to);
/// Every "<" shown as "[" and every ">" as "]" (addresses in page and list texts).
u16 square_brackets(u16 text);
/// Removes every character that occurs in `chars`.
void erase_chars(u16& text, u16v chars);

bool starts_with(u16v text, u16v prefix);
bool contains(u16v text, u16v part);

/// Trims spaces (U+0020 only) at both ends.
u16 trim_spaces(u16v text);
/// Trims spaces, tabs, CR and LF at both ends.
u16 trim_blank(u16v text);

/// Upper-cases ASCII letters and the Latin letters of Windows' invariant mapping.
u16 to_upper(u16v text);
u16 to_lower(u16v text);

/// Splits at every occurrence of `sep`, keeping empty pieces.
std::vector<u16> split(u16v text, char16_t sep);
std::vector<u16> split(u16v text, u16v sep);

/// Decimal text of an integer.
u16 decimal(std::int64_t value);
/// Leading decimal integer of `text` as wcstol/_wtoi read it (0 when none).
std::int64_t leading_integer(u16v text);

}  // namespace edbx
