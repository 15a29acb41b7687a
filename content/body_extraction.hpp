#pragma once
// Writing an item's body and its attachments' data into the working folder. The
// newer layout's writers return the body file path (or a size); the older layout's
// record the body kind and path in the current item.

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "common/text.hpp"

namespace edbx {

struct Session;
class EseRecord;

/// Body kinds of the older layout's writers.
inline constexpr int kOlderBodyText = 1;
inline constexpr int kOlderBodyHtml = 2;
/// Body kind of an RTF body (both layouts).
inline constexpr int kBodyRtf = 3;
/// Body kinds of the newer layout.
inline constexpr int kNewerBodyHtml = 1;
inline constexpr int kNewerBodyText = 2;

// Newer layout.
/// The HTML column into "blank.html". The path text; "" when the file cannot be made;
/// nullopt when the column holds no data or a read fails.
std::optional<u16> WriteHtmlBodyFile(Session& session, const EseRecord& record, int column);
/// The plain-text column into "blank.txt" (UTF-16LE). The path text, or nullopt.
std::optional<u16> WriteTextBodyFile(Session& session, const EseRecord& record, int column);
/// The compressed-RTF column, as stored, into "rtfbody.txt"; body kind 3. The stored
/// size in decimal (one-piece value), "" (long value), or nullopt.
std::optional<u16> WriteRtfBodyFile(Session& session, const EseRecord& record, int column);

// Older layout: each sets the body kind and path when the column holds data.
int ExtractTextBody(Session& session, const EseRecord& record, int column);
int ExtractHtmlBody(Session& session, const EseRecord& record, int column);
int ExtractRtfBody(Session& session, const EseRecord& record, int column);

/// An attachment's data (the value, or its long value's segments) into `file`.
int WriteAttachmentData(const EseRecord& record, int column, const std::filesystem::path& file);

/// A long-value segment as the body writers take it: decompressed when it is an ESE
/// compressed value (Xpress with lead byte 0x18, or short 7-bit packed text), as stored
/// otherwise.
std::string DecodeSegment(std::string_view segment);

/// A column as text, long values included (read segment by segment and decoded, where
/// the value text of a long value would be empty); at most `max_units` code units.
u16 WholeColumnText(Session& session, const EseRecord& record, int column, std::size_t max_units);

/// The text a reader sees of an RTF document. The RTF is also written in UTF-8 to
/// "temp.rtf" in the working folder; when that fails the text is empty.
u16 ConvertRtfToText(Session& session, u16v rtf);

}  // namespace edbx
