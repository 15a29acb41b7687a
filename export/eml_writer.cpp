#include "export/eml_writer.hpp"

#include <system_error>

#include "common/paths.hpp"

namespace edbx {

std::string Base64Encode(std::string_view bytes) {
  static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  out.reserve(4 * ((bytes.size() + 2) / 3));
  std::size_t i = 0;
  for (; i + 3 <= bytes.size(); i += 3) {
    const auto a = static_cast<unsigned char>(bytes[i]), b = static_cast<unsigned char>(bytes[i + 1]),
               c = static_cast<unsigned char>(bytes[i + 2]);
    out += kAlphabet[a >> 2];
    out += kAlphabet[((a & 0x3) << 4) | (b >> 4)];
    out += kAlphabet[((b & 0xF) << 2) | (c >> 6)];
    out += kAlphabet[c & 0x3F];
  }
  if (const std::size_t rest = bytes.size() - i; rest > 0) {
    const auto a = static_cast<unsigned char>(bytes[i]);
    const auto b = rest > 1 ? static_cast<unsigned char>(bytes[i + 1]) : 0;
    out += kAlphabet[a >> 2];
    out += kAlphabet[((a & 0x3) << 4) | (b >> 4)];
    out += rest > 1 ? kAlphabet[(b & 0xF) << 2] : '=';
    out += '=';
  }
  return out;
}

u16 BytesAsText(std::string_view bytes) {
  u16 text;
  text.reserve(bytes.size());
  for (char c : bytes)
    if (c != 0) text.push_back(static_cast<char16_t>(static_cast<unsigned char>(c)));
  return text;
}

namespace {

/// Header values stay on their line: CR and LF become spaces.
u16 HeaderValue(u16v value) {
  u16 out(value);
  for (char16_t& c : out)
    if (c == u'\r' || c == u'\n') c = u' ';
  return out;
}

u16 TrimTrailingSpaces(u16 value) {
  while (!value.empty() && value.back() == u' ') value.pop_back();
  return value;
}

/// "Name: " + value + CR LF with every ", " made ",".
std::string AddressLine(u16v name, u16v value) {
  u16 line = u16(name) + TrimTrailingSpaces(HeaderValue(value)) + u"\r\n";
  replace_all(line, u", ", u",");
  return utf16_to_utf8(line);
}

}  // namespace

std::string EmlBodyPart(u16v word, const std::filesystem::path& body_file) {
  std::string out;
  const char* type = word == u"txt" ? "text/plain" : word == u"html" ? "text/html" : word == u"rtf" ? "text/richtext" : nullptr;
  if (type != nullptr) {
    out += "Content-Type: ";
    out += type;
    out += ";\r\n\tcharset=\"utf-8\"\r\nContent-Transfer-Encoding: 7bit\r\n\r\n";
  }
  if (const auto bytes = ReadWholeFile(body_file); bytes && !bytes->empty()) out += utf16_to_utf8(BytesAsText(*bytes));
  out += "\r\n";
  return out;
}

std::string EmlAttachmentPart(const std::filesystem::path& file) {
  const auto bytes = ReadWholeFile(file);
  if (!bytes) return {};
  const std::string name = utf16_to_utf8(HeaderValue(FromPath(file.filename())));
  std::string out = "Content-Type: application/octet-stream;\r\n\tName = \"" + name +
                    "\"\r\nContent-Transfer-Encoding: base64\r\nContent-Disposition: attachment;\r\n\tfilename= \"" +
                    name + "\"\r\n\r\n";
  out += Base64Encode(*bytes);
  out += "\r\n";
  return out;
}

std::string EmlAttachments(u16v paths) {
  std::string out;
  auto pieces = split(paths, u';');
  if (!pieces.empty()) pieces.pop_back();
  for (const u16& piece : pieces) {
    if (piece.empty()) continue;
    const std::filesystem::path file = ToPath(piece);
    std::error_code ec;
    if (!std::filesystem::exists(file, ec)) continue;
    out += kEmlBoundaryLine;
    out += EmlAttachmentPart(file);
  }
  return out;
}

std::string EmlBytes(const EmlFields& f) {
  std::string out;
  if (!f.from.empty()) out += AddressLine(u"From: ", f.from);
  if (!f.to.empty()) {
    const u16 to = TrimTrailingSpaces(HeaderValue(f.to));
    auto pieces = split(to, u',');
    if (!pieces.empty()) pieces.pop_back();
    u16 list;
    for (const u16& piece : pieces)
      if (piece.size() > 3) list += piece + u",";
    out += AddressLine(u"To: ", list);
  }
  if (!f.bcc.empty()) out += AddressLine(u"Bcc: ", f.bcc);
  if (!f.cc.empty()) out += AddressLine(u"Cc: ", f.cc);
  if (!f.date.empty()) out += utf16_to_utf8(u"Date: " + TrimTrailingSpaces(HeaderValue(f.date)) + u" UTC\r\n");
  out += utf16_to_utf8(u"Subject: " + HeaderValue(f.subject) + u"\r\n");
  out += "MIME-Version: 1.0\r\nContent-Type: multipart/mixed;\r\n\tboundary=\"";
  out += kEmlBoundary;
  out += "\"\r\nX-Priority: 3\r\nX-MSMail-Priority: Normal\r\n"
         "X-MimeOLE: Produced By Korvalis support@korvalis.example V0\r\n\r\n";
  out += kEmlPreamble;
  out += "\r\n";
  out += kEmlBoundaryLine;
  out += EmlBodyPart(f.body_kind_word, f.body_file);
  if (!f.attachment_paths.empty()) {
    out += kEmlBoundaryLine;
    out += kEmlPreamble;
    out += EmlAttachments(f.attachment_paths);
  }
  return out;
}

bool WriteEml(const std::filesystem::path& path, const EmlFields& fields) {
  FileHandle f(OpenForWrite(path));
  if (!f) return false;
  const bool ok = f.write(EmlBytes(fields));
  return f.close() && ok;
}

}  // namespace edbx
