#pragma once
// The standard files mailsaving writes, one per item: an RFC 5322 mail (and its mbox
// entry), an iCalendar event or to-do, a vCard 4.0 card, a note as text.

#include <filesystem>

#include "saver/saver_files.hpp"

namespace mailsaving {

/// Each writes the item's file under the output root and returns its path; throws
/// RecordError when the record cannot be used.
fs::path WriteMail(const Record& record, const fs::path& root, bool mbox);
fs::path WriteCalendarItem(const Record& record, const fs::path& root);
fs::path WriteCard(const Record& record, const fs::path& root);
fs::path WriteNote(const Record& record, const fs::path& root);

/// The card as vCard 4.0 text (CR LF lines, folded at 75 octets).
std::string VCardText(const std::vector<std::string>& card, const std::string& note);

}  // namespace mailsaving
