#include "common/text.hpp"

#include <array>
#include <limits>

namespace edbx {

namespace {

// Windows-1252 bytes 0x80..0x9F; 0 marks the five undefined positions, which
// Windows maps to the C1 control of the same value.
constexpr std::array<char16_t, 32> kCp1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

void append_utf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

void append_utf16(u16& out, char32_t cp) {
  if (cp < 0x10000) {
    out.push_back(static_cast<char16_t>(cp));
  } else {
    cp -= 0x10000;
    out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
    out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
  }
}

char16_t upper_of(char16_t c) {
  if (c >= u'a' && c <= u'z') return static_cast<char16_t>(c - 32);
  if (c < 0x80) return c;
  if ((c >= 0xE0 && c <= 0xFE && c != 0xF7)) return static_cast<char16_t>(c - 32);
  if (c == 0xFF) return 0x178;
  if (c >= 0x100 && c <= 0x17F) {
    // Latin Extended-A alternates upper/lower case in pairs, shifted after 0x138.
    const bool shifted = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
    if (c == 0x131 || c == 0x138 || c == 0x149 || c == 0x17F) return c;
    const bool lower = shifted ? (c % 2 == 0) : (c % 2 == 1);
    return lower ? static_cast<char16_t>(c - 1) : c;
  }
  if (c >= 0x3B1 && c <= 0x3C9 && c != 0x3C2) return static_cast<char16_t>(c - 32);
  if (c >= 0x430 && c <= 0x44F) return static_cast<char16_t>(c - 32);
  if (c >= 0x450 && c <= 0x45F) return static_cast<char16_t>(c - 80);
  return c;
}

char16_t lower_of(char16_t c) {
  if (c >= u'A' && c <= u'Z') return static_cast<char16_t>(c + 32);
  if (c < 0x80) return c;
  if ((c >= 0xC0 && c <= 0xDE && c != 0xD7)) return static_cast<char16_t>(c + 32);
  if (c == 0x178) return 0xFF;
  if (c >= 0x100 && c <= 0x17F) {
    const bool shifted = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
    if (c == 0x130 || c == 0x131 || c == 0x138 || c == 0x149 || c == 0x17F) return c;
    const bool upper = shifted ? (c % 2 == 1) : (c % 2 == 0);
    return upper ? static_cast<char16_t>(c + 1) : c;
  }
  if (c >= 0x391 && c <= 0x3A9 && c != 0x3A2) return static_cast<char16_t>(c + 32);
  if (c >= 0x410 && c <= 0x42F) return static_cast<char16_t>(c + 32);
  if (c >= 0x400 && c <= 0x40F) return static_cast<char16_t>(c + 80);
  return c;
}

}  // namespace

u16 widen(std::string_view ascii) {
  u16 out;
  out.reserve(ascii.size());
  for (char c : ascii) out.push_back(static_cast<unsigned char>(c));
  return out;
}

u16 utf8_to_utf16(std::string_view s) {
  u16 out;
  out.reserve(s.size());
  std::size_t i = 0;
  while (i < s.size()) {
    const auto b0 = static_cast<unsigned char>(s[i]);
    char32_t cp = 0xFFFD;
    std::size_t need = 0;
    if (b0 < 0x80) {
      cp = b0;
    } else if (b0 >= 0xC2 && b0 <= 0xDF) {
      cp = b0 & 0x1Fu;
      need = 1;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
      cp = b0 & 0x0Fu;
      need = 2;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
      cp = b0 & 0x07u;
      need = 3;
    } else {
      out.push_back(0xFFFD);
      ++i;
      continue;
    }
    std::size_t j = 1;
    for (; j <= need; ++j) {
      if (i + j >= s.size()) break;
      const auto b = static_cast<unsigned char>(s[i + j]);
      if ((b & 0xC0) != 0x80) break;
      cp = (cp << 6) | (b & 0x3Fu);
    }
    if (j <= need) {  // truncated or broken sequence
      out.push_back(0xFFFD);
      i += j;
      continue;
    }
    const bool overlong = (need == 2 && cp < 0x800) || (need == 3 && cp < 0x10000);
    if (overlong || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = 0xFFFD;
    append_utf16(out, cp);
    i += need + 1;
  }
  return out;
}

std::string utf16_to_utf8(u16v text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    char32_t c = text[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00u);
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = 0xFFFD;
    }
    append_utf8(out, c);
  }
  return out;
}

u16 cp1252_to_utf16(std::string_view bytes) {
  u16 out;
  out.reserve(bytes.size());
  for (char ch : bytes) {
    const auto b = static_cast<unsigned char>(ch);
    out.push_back(b >= 0x80 && b < 0xA0 ? kCp1252High[b - 0x80u] : static_cast<char16_t>(b));
  }
  return out;
}

std::string utf16_to_cp1252(u16v text, char fallback) {
  std::string out;
  out.reserve(text.size());
  for (char16_t c : text) {
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
      out.push_back(static_cast<char>(c));
      continue;
    }
    char mapped = fallback;
    for (std::size_t k = 0; k < kCp1252High.size(); ++k) {
      if (kCp1252High[k] == c) {
        mapped = static_cast<char>(0x80 + k);
        break;
      }
    }
    out.push_back(mapped);
  }
  return out;
}

std::string utf16le_bytes(u16v text) {
  std::string out;
  out.resize(text.size() * 2);
  for (std::size_t i = 0; i < text.size(); ++i) {
    out[2 * i] = static_cast<char>(text[i] & 0xFF);
    out[2 * i + 1] = static_cast<char>(text[i] >> 8);
  }
  return out;
}

u16 utf16le_from_bytes(std::string_view bytes) {
  u16 out;
  out.resize(bytes.size() / 2);
  for (std::size_t i = 0; i < out.size(); ++i) {
    out[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                   (static_cast<unsigned char>(bytes[2 * i + 1]) << 8));
  }
  return out;
}

void replace_all(u16& text, u16v from, u16v to) {
  if (from.empty() || text.size() < from.size()) return;
  u16 out;
  std::size_t pos = 0;
  bool any = false;
  while (true) {
    const std::size_t hit = text.find(from, pos);
    if (hit == u16::npos) break;
    if (!any) out.reserve(text.size());
    any = true;
    out.append(text, pos, hit - pos);
    out.append(to);
    pos = hit + from.size();
  }
  if (!any) return;
  out.append(text, pos, u16::npos);
  text.swap(out);
}

u16 replaced(u16 text, u16v from, u16v to) {
  replace_all(text, from, to);
  return text;
}

void erase_chars(u16& text, u16v chars) {
  std::erase_if(text, [&](char16_t c) { return chars.find(c) != u16v::npos; });
}

bool starts_with(u16v text, u16v prefix) { return text.substr(0, prefix.size()) == prefix; }

bool contains(u16v text, u16v part) { return text.find(part) != u16v::npos; }

u16 trim_spaces(u16v text) {
  std::size_t b = 0;
  std::size_t e = text.size();
  while (b < e && text[b] == u' ') ++b;
  while (e > b && text[e - 1] == u' ') --e;
  return u16(text.substr(b, e - b));
}

u16 square_brackets(u16 text) {
  for (char16_t& c : text) {
    if (c == u'<') c = u'[';
    else if (c == u'>') c = u']';
  }
  return text;
}

u16 trim_blank(u16v text) {
  auto blank = [](char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n'; };
  std::size_t b = 0;
  std::size_t e = text.size();
  while (b < e && blank(text[b])) ++b;
  while (e > b && blank(text[e - 1])) --e;
  return u16(text.substr(b, e - b));
}

u16 to_upper(u16v text) {
  u16 out(text);
  for (auto& c : out) c = upper_of(c);
  return out;
}

u16 to_lower(u16v text) {
  u16 out(text);
  for (auto& c : out) c = lower_of(c);
  return out;
}

std::vector<u16> split(u16v text, char16_t sep) {
  std::vector<u16> pieces;
  std::size_t start = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == sep) {
      pieces.emplace_back(text.substr(start, i - start));
      start = i + 1;
    }
  }
  pieces.emplace_back(text.substr(start));
  return pieces;
}

std::vector<u16> split(u16v text, u16v sep) {
  std::vector<u16> pieces;
  if (sep.empty()) {
    pieces.emplace_back(text);
    return pieces;
  }
  std::size_t start = 0;
  while (true) {
    const std::size_t hit = text.find(sep, start);
    if (hit == u16v::npos) break;
    pieces.emplace_back(text.substr(start, hit - start));
    start = hit + sep.size();
  }
  pieces.emplace_back(text.substr(start));
  return pieces;
}

u16 decimal(std::int64_t value) { return widen(std::to_string(value)); }

std::int64_t leading_integer(u16v text) {
  std::size_t i = 0;
  while (i < text.size() && (text[i] == u' ' || (text[i] >= u'\t' && text[i] <= u'\r'))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) {
    negative = text[i] == u'-';
    ++i;
  }
  std::int64_t value = 0;
  constexpr std::int64_t kLimit = std::numeric_limits<std::int32_t>::max();
  for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i) {
    value = value * 10 + (text[i] - u'0');
    if (value > kLimit + 1) value = kLimit + 1;  // saturate like _wtoi
  }
  if (negative) return -value < std::numeric_limits<std::int32_t>::min()
                            ? std::numeric_limits<std::int32_t>::min()
                            : -value;
  return value > kLimit ? kLimit : value;
}

}  // namespace edbx
