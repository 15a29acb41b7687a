#pragma once
// The MIME file of a saved mail: its header lines, a body part from the body file and
// one base64 part per attachment file, with the fixed boundary of the format.

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>

#include "common/text.hpp"

namespace edbx {

/// The boundary parameter and the boundary line ("--" + parameter + CR LF).
inline constexpr const char* kEmlBoundary = "----=_NextPart_000_000D_01C2A06C.7F8E75B0";
inline constexpr const char* kEmlBoundaryLine = "------=_NextPart_000_000D_01C2A06C.7F8E75B0\r\n";
inline constexpr const char* kEmlPreamble = "This is a multi-part message in MIME format.\r\n";

/// Base64 (RFC 4648, standard alphabet, "=" padding) on one line.
std::string Base64Encode(std::string_view bytes);
/// One character per non-zero byte, its code the byte's value; zero bytes are dropped.
u16 BytesAsText(std::string_view bytes);

struct EmlFields {
  u16 from, to, cc, bcc, date, subject;
  u16 body_kind_word;  // "txt", "html" or "rtf"
  std::filesystem::path body_file;
  u16 attachment_paths;  // full paths, each followed by ";"
};

/// The bytes WriteEml writes.
std::string EmlBytes(const EmlFields& fields);
/// The body part: its headers by the kind word, the body file's bytes widened and
/// written as UTF-8, then CR LF.
std::string EmlBodyPart(u16v kind_word, const std::filesystem::path& body_file);
/// A boundary line and a base64 part for every listed file that exists.
std::string EmlAttachments(u16v paths);
/// One attachment part; empty when the file cannot be read.
std::string EmlAttachmentPart(const std::filesystem::path& file);

/// Writes the MIME file; false (nothing written) when it cannot be created.
bool WriteEml(const std::filesystem::path& path, const EmlFields& fields);

}  // namespace edbx
