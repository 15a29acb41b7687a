#include "export/save_records.hpp"

#include <cstdint>
#include <system_error>

#include "common/paths.hpp"

namespace edbx {

u16 OneLine(u16v value) {
  u16 out(value);
  for (char16_t& c : out)
    if (c == u'\r' || c == u'\n') c = u' ';
  return out;
}

u16 RecordText(const std::vector<RecordLine>& lines, u16v line_end) {
  u16 text;
  for (const auto& [key, value] : lines) {
    text += key;
    text += OneLine(value);
    text += line_end;
  }
  return text;
}

std::string RecordFileBytes(u16v text) { return std::string("\xFF\xFE", 2) + utf16le_bytes(text); }

u16 BodyKindWord(int body_kind) {
  if (body_kind == 2) return u"html";
  if (body_kind == 3) return u"rtf";
  return u"txt";
}

u16 CleanSubject(u16v subject) {
  u16 out(subject);
  for (char16_t& c : out)
    if (c == u'\u2014' || c == u'?' || c == u'-') c = u' ';
  return out;
}

u16 RewriteTo(u16v to) {
  u16 out(to);
  for (char16_t& c : out) {
    if (c == u'[') c = u'<';
    else if (c == u']') c = u'>';
  }
  replace_all(out, u">", u">,");
  replace_all(out, u",,", u",");
  replace_all(out, u", ", u",");
  replace_all(out, u" <", u"<");
  return out;
}

u16 NumberMonths(u16v date) {
  static constexpr const char16_t* kMonths[] = {u"Jan", u"Feb", u"Mar", u"Apr", u"May", u"Jun",
                                                u"Jul", u"Aug", u"Sep", u"Oct", u"Nov", u"Dec"};
  u16 out(date);
  for (int m = 0; m < 12; ++m) replace_all(out, kMonths[m], decimal(m + 1));
  return out;
}

u16 ExistingAttachmentPaths(const std::filesystem::path& folder, u16v names) {
  u16 result;
  auto pieces = split(names, u';');
  if (!pieces.empty()) pieces.pop_back();  // the text after the last ";" is no name
  for (const u16& piece : pieces) {
    if (piece.empty()) continue;
    const auto path = FileInFolder(folder, piece);
    if (!path) continue;
    std::error_code ec;
    if (!std::filesystem::is_regular_file(std::filesystem::symlink_status(*path, ec))) continue;
    result += FromPath(*path) + u";";
  }
  return result;
}

u16 NoteBodyValue(const std::vector<u16>& lines) {
  constexpr std::size_t kLimit = 65000;
  u16 body;
  std::size_t total = 0;
  for (const u16& line : lines) {
    total += line.size();
    if (total >= kLimit) break;
    body += line;
    body += u"<newlinebreak>";
  }
  replace_all(body, u",", u"\\cama");
  return body;
}

u16 ContactCardText(const std::vector<u16>& fields) {
  u16 card;
  for (const u16& field : fields) {
    card += replaced(field, u"<br>", u"");
    card += u"<br>";
  }
  replace_all(card, u"\n", u"<newlinebreak>");
  replace_all(card, u",", u"cama");
  return card;
}

namespace {

bool ValidUtf8WithoutNul(std::string_view b) {
  std::size_t i = 0;
  while (i < b.size()) {
    const auto c = static_cast<unsigned char>(b[i]);
    if (c == 0) return false;
    std::size_t extra = 0;
    if (c < 0x80) extra = 0;
    else if (c >= 0xC2 && c <= 0xDF) extra = 1;
    else if (c >= 0xE0 && c <= 0xEF) extra = 2;
    else if (c >= 0xF0 && c <= 0xF4) extra = 3;
    else return false;
    if (b.size() - i <= extra) return false;
    for (std::size_t k = 1; k <= extra; ++k)
      if ((static_cast<unsigned char>(b[i + k]) & 0xC0) != 0x80) return false;
    i += extra + 1;
  }
  return true;
}

}  // namespace

u16 BodyFileText(std::string_view bytes, BodyEncoding encoding) {
  if (bytes.size() >= 2 && bytes[0] == '\xFF' && bytes[1] == '\xFE') return utf16le_from_bytes(bytes.substr(2));
  if (bytes.size() >= 2 && bytes[0] == '\xFE' && bytes[1] == '\xFF') {
    std::string swapped(bytes.substr(2));
    for (std::size_t i = 0; i + 1 < swapped.size(); i += 2) std::swap(swapped[i], swapped[i + 1]);
    return utf16le_from_bytes(swapped);
  }
  if (bytes.size() >= 3 && bytes.substr(0, 3) == "\xEF\xBB\xBF") return utf8_to_utf16(bytes.substr(3));
  if (encoding == BodyEncoding::kUtf8) return utf8_to_utf16(bytes);
  if (encoding == BodyEncoding::kUtf16) return utf16le_from_bytes(bytes);
  if (ValidUtf8WithoutNul(bytes)) return utf8_to_utf16(bytes);
  return utf16le_from_bytes(bytes);
}

std::vector<u16> BodyFileLines(std::string_view bytes, BodyEncoding encoding) {
  const u16 text = BodyFileText(bytes, encoding);
  std::vector<u16> lines;
  u16 line;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    if (c == u'\r' || c == u'\n') {
      lines.push_back(std::move(line));
      line.clear();
      if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') ++i;
    } else {
      line.push_back(c);
    }
  }
  if (!line.empty()) lines.push_back(std::move(line));
  return lines;
}

std::string RecordDigest(std::string_view bytes) {
  std::uint64_t h = 0xcbf29ce484222325ULL;
  for (char c : bytes) {
    h ^= static_cast<unsigned char>(c);
    h *= 0x100000001b3ULL;
  }
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out(16, '0');
  for (int i = 15; i >= 0; --i) {
    out[static_cast<std::size_t>(i)] = kHex[h & 0xF];
    h >>= 4;
  }
  return out;
}

}  // namespace edbx
