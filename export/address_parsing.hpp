#pragma once
// E-mail address texts: sender and recipient texts in all their shapes reduced to
// lists of "name<address>," or "address," entries, and the sender and recipient
// of a transport message header.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "common/text.hpp"

namespace edbx {

/// The pattern RegexFirstMatch uses when given none: one address.
inline constexpr const char* kAddressPattern = "(\\w+)(\\.|_)?(\\w*)@(\\w+)(\\.(\\w+))+";

/// Characters of a text NormalizeAddressText looks at; the rest is ignored.
inline constexpr std::size_t kMaxAddressTextLength = 65536;
/// Runs of letters, digits, "_", ".", "@" and "<" longer than this are never
/// taken as addresses (a real address has at most 254 characters).
inline constexpr std::size_t kMaxAddressTokenLength = 512;

/// The first match (leftmost, then longest) of the POSIX extended regular
/// expression `pattern` (kAddressPattern when null) in `text`; nullopt when there
/// is none or the pattern is invalid. The text ends at its first NUL. "\w" is an
/// ASCII letter, digit or "_" whatever the process locale is. Thread-safe.
std::optional<std::string> RegexFirstMatch(const char* pattern, std::string_view text);

/// Reduces an address text to entries of the form name<address> or address, each
/// followed by ",", in the order they are found: first every entry of the form
/// name@host<address>, then name<address>, then plain addresses. A hyphen inside
/// an entry survives. Only the first kMaxAddressTextLength characters are read
/// (cut back to the last " ", "," or ";" when there is one), which keeps the work
/// bounded on hostile input.
u16 NormalizeAddressText(u16v text);

/// Turns entries of the form name SMTP address, each followed by ",", into
/// "name<address>," entries. A piece without "SMTP" is passed on followed by
/// ", "; a piece with "SMTP" more than once is dropped, and so is the text after
/// the last ",".
u16 FormatSmtpAddressList(u16v text);

/// True when the text holds more than one character that is "." or "@".
bool LooksLikeAddressList(u16v text);

/// Searches a message header for a line starting with `field` (a field name such
/// as "From" or "To", matched case-sensitively), ":", one space and any blanks,
/// and returns the shortest non-empty run after them that is followed by ">" on
/// the same line, from the first such line. "Reply-To:" and the like never match
/// "To".
std::optional<u16> HeaderAddressMatch(u16v header_text, u16v field);

}  // namespace edbx
