#pragma once
// The older layout's per-folder item lister: reads a folder's content table,
// classifies each row by message class, completes sender and recipients from the
// item's "Msg" row and transport headers, and adds a row to the item list.

#include <cstddef>
#include <string>
#include <string_view>

#include "common/text.hpp"

namespace edbx {

struct Session;
struct HeaderTexts;
class EseTable;

/// Lists one content table. Returns 1.
int ListContentTable(Session& session, const EseTable& table, u16v table_name);

/// Deletes every space before a letter, digit, "@", ".", "_", "-", "<" or ">", then
/// puts a blank on both sides of every "SMTP" (UTF-16 text shown byte by byte).
u16 SqueezeSpaces(u16v text);

/// Applies one line of a transport-header file to the header texts.
void ApplyHeaderLine(u16 line, HeaderTexts& header);

/// Applies transport-header text (one byte a character) line by line to the header
/// texts, cutting lines at `max_line` characters.
void ApplyHeaderText(std::string_view bytes, HeaderTexts& header, std::size_t max_line = 64u << 10);

/// Reads a transport-header file line by line into the header texts. Reads at most
/// `max_bytes` and cuts lines at `max_line` characters, so a huge file or one
/// without line ends cannot exhaust memory. False when the file cannot be opened.
bool ReadHeaderFile(const std::string& path, HeaderTexts& header, std::size_t max_bytes = 4u << 20,
                    std::size_t max_line = 64u << 10);

}  // namespace edbx
