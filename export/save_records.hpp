#pragma once
// The record files handed to the external saver and the value rules of the savers:
// record layouts, the note and contact escapes, subject cleaning, the To rewrites,
// month numbering and the attachment path lists. Pure text functions, so each rule
// can be checked byte for byte.

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "common/text.hpp"

namespace edbx {

/// Record file names in the record folder (the contact card's name is spelt as the
/// saver expects it).
inline constexpr const char* kRecordFileName = "mailsaving.txt";
inline constexpr const char* kContactCardFileName = "conatctsaving.txt";
/// The side file with the values the record cannot carry as they are.
inline constexpr const char* kSideValuesFileName = "mailsaving.values.json";

/// Launch parameters of the saver.
inline constexpr const char* kLaunchMail = "mailimport";
inline constexpr const char* kLaunchAppointment = "appointment";
inline constexpr const char* kLaunchNotes = "notes";
inline constexpr const char* kLaunchTask = "task";
inline constexpr const char* kLaunchContact = "contact";

/// One record line: its key (with the colon) and its value.
using RecordLine = std::pair<u16, u16>;

/// The record text: each key immediately followed by its value and `line_end`. A CR or
/// LF inside a value becomes a space, so no value can start a line of its own.
u16 RecordText(const std::vector<RecordLine>& lines, u16v line_end);
/// The value with every CR and LF replaced by a space.
u16 OneLine(u16v value);
/// The record file bytes: FF FE, then the text as UTF-16LE.
std::string RecordFileBytes(u16v text);

/// "html" for an HTML body, "rtf" for RTF, "txt" otherwise (older-layout body kinds).
u16 BodyKindWord(int body_kind);

/// Every "—" (U+2014), "?" and "-" becomes a space.
u16 CleanSubject(u16v subject);
/// "[" and "]" become "<" and ">", then ">" becomes ">,", ",," becomes ",", ", " becomes
/// "," and " <" becomes "<": "A [a@x], B [b@y]" gives "A<a@x>,B<b@y>,".
u16 RewriteTo(u16v to);
/// "Jan" to "1" ... "Dec" to "12", in that order, in place.
u16 NumberMonths(u16v date);

/// The full path of every listed attachment file that exists in `folder`, each followed
/// by ";". The names are split at ";" and the text after the last ";" is not a name.
u16 ExistingAttachmentPaths(const std::filesystem::path& folder, u16v names);

/// The note body of the record: every line followed by "<newlinebreak>" while the
/// running total of characters stays below 65,000 (later lines are dropped), then every
/// "," becomes "\cama".
u16 NoteBodyValue(const std::vector<u16>& lines);
/// The contact card: each field with "<br>" removed (one pass) and followed by "<br>",
/// then every LF becomes "<newlinebreak>" and every "," becomes "cama".
u16 ContactCardText(const std::vector<u16>& fields);
/// How a body file without a byte-order mark is decoded: by the encoding of the writer
/// that made it, or, not knowing it, as UTF-8 when the bytes are valid UTF-8 without
/// NUL and as UTF-16LE otherwise.
enum class BodyEncoding { kUnknown, kUtf8, kUtf16 };
/// The text of a body file: a mark (FF FE, FE FF, EF BB BF) decides, then `encoding`.
u16 BodyFileText(std::string_view bytes, BodyEncoding encoding = BodyEncoding::kUnknown);
/// The lines of a body file; CR, LF and CR LF end lines.
std::vector<u16> BodyFileLines(std::string_view bytes, BodyEncoding encoding = BodyEncoding::kUnknown);

/// FNV-1a (64 bit) of the bytes as 16 lower-case hex digits: ties a side file to the
/// record it completes.
std::string RecordDigest(std::string_view bytes);

}  // namespace edbx
