#pragma once
// What every preview shares: the header page template, the framesets, the body
// file choice of both layouts, the attachment collection, and showing the page.

#include <filesystem>

#include "common/text.hpp"

namespace edbx {

struct Session;
class EseRecord;

/// Escapes &, <, >, " and ' so that a database value cannot change the page.
u16 HtmlEscape(u16v value);

/// The header page: the fixed template around the kind's rows.
u16 HeaderPage(u16v rows);

enum class Frameset { kMail, kSideBySide, kJournal, kNote };
/// The frameset page showing the header page and the body file.
u16 FramesetPage(Frameset variant, const std::filesystem::path& body_file);
/// A local file as a percent-encoded file URL.
u16 FileUrl(const std::filesystem::path& file);

// Header rows. Every value is escaped; the label pieces are inserted as given.
/// A cell: label + value + "</td>".
void AppendCell(u16& rows, u16v label, u16v value);
/// A row of one cell: "  <tr>" + cell + " </tr>".
void AppendRow(u16& rows, u16v label, u16v value);
/// A full-width row: "<tr>" + label + value + "</span></td>" + " </tr>".
void AppendWideRow(u16& rows, u16v label, u16v value);
/// The Attachment row, when the item row says "true" and the item has an attachment key.
void AppendAttachmentRow(const Session& session, u16& rows);

/// Writes "header.html" and "strEmlPath.html" (UTF-16LE with a mark) and shows the
/// frameset when it could be written.
void ShowItemPage(Session& session, u16v header_rows, Frameset variant);

/// How a newer-layout renderer writes a chosen HTML or text body.
enum class BodyWriting { kRecordWriters, kColumnText };
/// The newer layout's body choice: RTF text, then the HTML body, then the plain text.
/// Sets the item's body kind and file. Returns 0 when an RTF body gives nothing to
/// show (the renderer then shows nothing), 1 otherwise.
int ChooseNewerBody(Session& session, const EseRecord& record, BodyWriting writing);
/// The older layout's body choice: plain text, then HTML, then RTF, then the fallback
/// body of the listing, written to "blank.html" when `fallback_html`, else "blank.txt".
void ChooseOlderBody(Session& session, const EseRecord& record, bool fallback_html);
/// Newer layout: shows an empty body (or `text`) in "blank.txt" when no body was chosen.
void EnsureNewerBody(Session& session, u16v text = {});
/// Writes `text` (UTF-16LE units, no mark) to "blank.txt" or "blank.html" and makes it the body.
void WriteBlankBody(Session& session, const char* name, u16v text);

/// True when the identifier text `key` is one of the 8-byte keys listed in the hex dump
/// `attachment_key` (matched at whole-key positions, not as any substring).
bool AttachmentKeyListed(u16v key, u16v attachment_key);
/// Collects the item's attachment names and writes their data into the working folder
/// (mail, journal and appointment items with an attachment key of more than 14 characters;
/// with `any_kind`, items of every kind, as saving sends unknown kinds the mail's way).
void CollectAttachments(Session& session, bool any_kind = false);

}  // namespace edbx
