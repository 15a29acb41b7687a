#pragma once
// Plain text of an RTF document: the text a reader sees when the document is
// shown in a rich-edit view, as that view reports its window text.

#include "common/text.hpp"

namespace edbx {

/// Converts RTF (8-bit RTF already decoded from Windows-1252 into UTF-16) to plain text.
///
/// - `\par`, `\line`, `\sect`, `\page` and `\row` give "\r\n"; a final paragraph mark at
///   the end of the document gives nothing. `\tab` and `\cell` give a tab (the last cell
///   of a row gives way to the row's "\r\n").
/// - `\'hh` bytes are decoded in the code page of the current font (its `\fcharset` or
///   `\cpg`) or else of the document (`\ansicpgN`, `\ansi`, `\mac`, `\pc`, `\pca`; 1252 by
///   default); double-byte code pages take lead and trail bytes from `\'hh` or literal
///   characters. Literal characters above 0x7F are re-read in that code page too.
/// - `\uN` (N may be negative) gives the UTF-16 unit N and skips the `\ucN` fallback
///   characters that follow (1 by default, scoped to the group).
/// - `\~` U+00A0, `\-` U+00AD, `\_` U+2011; `\\`, `\{`, `\}` the character itself;
///   `\emdash`, `\bullet`, `\lquote` and the like their characters.
/// - Not shown: every `{\*...}` group (so the HTML tags of encapsulated HTML), font,
///   colour, style, list and revision tables, document information, pictures, objects,
///   headers, footers, footnotes, field instructions, bookmarks, list-number text and
///   `\binN` data. Unknown control words (`\htmlrtf` among them) are ignored and their
///   text is kept, so encapsulated HTML yields the text of its RTF rendering.
/// - Nothing after the group that opens the document.
///
/// Input that does not start with "{\rtf" is taken as plain text: its line breaks (CR LF,
/// CR or LF) become "\r\n". Linear in the input; group nesting uses a bounded explicit
/// stack, and groups nested deeper than the bound share their parent's state.
u16 RtfToText(u16v rtf);

}  // namespace edbx
