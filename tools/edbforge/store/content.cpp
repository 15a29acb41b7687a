#include "tools/edbforge/store/content.hpp"

#include <array>
#include <cstdio>
#include <ctime>

#include "common/text.hpp"
#include "tools/edbforge/store/exchange_schema.hpp"

namespace edbforge::store {

namespace {

uint32_t Crc32(const std::string& data, uint32_t crc = 0) {
  static const auto table = [] {
    std::array<uint32_t, 256> t{};
    for (uint32_t i = 0; i < 256; ++i) {
      uint32_t c = i;
      for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xedb88320u ^ (c >> 1) : c >> 1;
      t[i] = c;
    }
    return t;
  }();
  crc = ~crc;
  for (const char ch : data) crc = table[(crc ^ static_cast<unsigned char>(ch)) & 0xff] ^ (crc >> 8);
  return ~crc;
}

void PutBe32(std::string& out, uint32_t v) {
  for (int s = 24; s >= 0; s -= 8) out.push_back(static_cast<char>((v >> s) & 0xff));
}

std::string Base64(const std::string& in) {
  static const char* kAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  std::size_t i = 0;
  for (; i + 2 < in.size(); i += 3) {
    const uint32_t v = (uint32_t{static_cast<uint8_t>(in[i])} << 16) | (uint32_t{static_cast<uint8_t>(in[i + 1])} << 8) |
                       uint32_t{static_cast<uint8_t>(in[i + 2])};
    for (int s = 18; s >= 0; s -= 6) out.push_back(kAlphabet[(v >> s) & 63]);
  }
  if (i < in.size()) {
    uint32_t v = static_cast<uint32_t>(static_cast<uint8_t>(in[i])) << 16;
    if (i + 1 < in.size()) v |= static_cast<uint32_t>(static_cast<uint8_t>(in[i + 1])) << 8;
    out.push_back(kAlphabet[(v >> 18) & 63]);
    out.push_back(kAlphabet[(v >> 12) & 63]);
    out.push_back(i + 1 < in.size() ? kAlphabet[(v >> 6) & 63] : '=');
    out.push_back('=');
  }
  return out;
}

bool IsAscii(const std::u16string& s) {
  for (char16_t c : s)
    if (c > 0x7e || c < 0x20) return false;
  return true;
}

/// A header value: ASCII as it is, anything else as one RFC 2047 encoded word.
std::string HeaderText(const std::u16string& s) {
  if (IsAscii(s)) return edbx::utf16_to_utf8(s);
  return "=?utf-8?B?" + Base64(edbx::utf16_to_utf8(s)) + "?=";
}

std::string Mailbox(const Address& a) {
  if (a.name.empty()) return "<" + a.address + ">";
  return "\"" + HeaderText(a.name) + "\" <" + a.address + ">";
}

std::string AddressList(const std::vector<Address>& list) {
  std::string out;
  for (const auto& a : list) out += (out.empty() ? "" : ", ") + Mailbox(a);
  return out;
}

std::string Rfc5322Date(uint64_t filetime) {
  const auto secs = static_cast<std::time_t>(filetime / 10000000ULL - 11644473600ULL);
  std::tm tm{};
  gmtime_r(&secs, &tm);
  char buf[64];
  std::strftime(buf, sizeof buf, "%a, %d %b %Y %H:%M:%S +0000", &tm);
  return buf;
}

}  // namespace

std::string MakePdf(const std::string& title, std::size_t size) {
  std::string content = "BT /F1 18 Tf 72 720 Td (" + title + ") Tj ET\n";
  // Padding inside a comment stream keeps the document valid at any size.
  std::string pad;
  while (content.size() + pad.size() + 400 < size) pad += "% recovered document padding line for size\n";
  content += pad;
  std::string out = "%PDF-1.4\n%\xe2\xe3\xcf\xd3\n";
  std::vector<std::size_t> offsets;
  auto obj = [&](const std::string& body) {
    offsets.push_back(out.size());
    out += std::to_string(offsets.size()) + " 0 obj\n" + body + "\nendobj\n";
  };
  obj("<< /Type /Catalog /Pages 2 0 R >>");
  obj("<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
  obj("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 4 0 R /Resources << /Font << /F1 5 0 R >> >> >>");
  obj("<< /Length " + std::to_string(content.size()) + " >>\nstream\n" + content + "endstream");
  obj("<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>");
  const std::size_t xref = out.size();
  out += "xref\n0 " + std::to_string(offsets.size() + 1) + "\n0000000000 65535 f \n";
  for (std::size_t off : offsets) {
    char line[32];
    std::snprintf(line, sizeof line, "%010zu 00000 n \n", off);
    out += line;
  }
  out += "trailer\n<< /Size " + std::to_string(offsets.size() + 1) + " /Root 1 0 R >>\nstartxref\n" +
         std::to_string(xref) + "\n%%EOF\n";
  return out;
}

std::string MakePng(uint32_t width, uint32_t height, uint32_t seed) {
  // Raw scanlines (filter byte 0, then RGB), kept in stored deflate blocks.
  std::string raw;
  for (uint32_t y = 0; y < height; ++y) {
    raw.push_back('\0');
    for (uint32_t x = 0; x < width; ++x) {
      raw.push_back(static_cast<char>((x * 255 / (width ? width : 1) + seed) & 0xff));
      raw.push_back(static_cast<char>((y * 255 / (height ? height : 1)) & 0xff));
      raw.push_back(static_cast<char>(((x ^ y) + seed * 7) & 0xff));
    }
  }
  std::string z = "\x78\x01";
  for (std::size_t off = 0; off < raw.size() || off == 0; off += 65535) {
    const std::size_t n = std::min<std::size_t>(65535, raw.size() - off);
    const bool last = off + n >= raw.size();
    z.push_back(last ? '\x01' : '\x00');
    z.push_back(static_cast<char>(n & 0xff));
    z.push_back(static_cast<char>(n >> 8));
    z.push_back(static_cast<char>(~n & 0xff));
    z.push_back(static_cast<char>((~n >> 8) & 0xff));
    z.append(raw, off, n);
    if (last) break;
  }
  uint32_t a = 1, b = 0;
  for (const char byte : raw) {
    a = (a + static_cast<unsigned char>(byte)) % 65521;
    b = (b + a) % 65521;
  }
  PutBe32(z, (b << 16) | a);
  std::string png = "\x89PNG\r\n\x1a\n";
  auto chunk = [&](const char* type, const std::string& data) {
    PutBe32(png, static_cast<uint32_t>(data.size()));
    const std::string td = std::string(type, 4) + data;
    png += td;
    PutBe32(png, Crc32(td));
  };
  std::string ihdr;
  PutBe32(ihdr, width);
  PutBe32(ihdr, height);
  ihdr += std::string("\x08\x02\x00\x00\x00", 5);
  chunk("IHDR", ihdr);
  chunk("IDAT", z);
  chunk("IEND", "");
  return png;
}

std::string MakeText(const std::string& topic, std::size_t size, uint32_t seed) {
  static const char* kWords[] = {"meeting", "budget", "quarter", "review", "project", "schedule", "customer",
                                 "delivery", "invoice", "report", "team", "update", "plan", "agenda"};
  std::string out = topic + "\r\n\r\n";
  uint32_t x = seed * 2654435761u + 1;
  while (out.size() < size) {
    std::string line;
    for (int w = 0; w < 10; ++w) {
      x = x * 1103515245u + 12345u;
      line += (w ? " " : "") + std::string(kWords[(x >> 16) % 14]);
    }
    out += line + ".\r\n";
  }
  return out;
}

std::u16string MakeTransportHeaders(const ItemDesc& item, uint64_t key) {
  // Shaped like the headers a mail server records: the hops first, then the
  // message's own fields and the client's extensions.
  std::string h;
  const uint64_t when = item.received.value_or(item.sent.value_or(item.created.value_or(0)));
  const std::string id = IdHex(key);
  const std::string from_host = item.from ? item.from->address.substr(item.from->address.find('@') + 1) : "example.com";
  h += "Received: from exchange.example.com ([192.0.2.10]) by mailbox.example.com with Microsoft SMTPSVC(6.0.3790.4675);\r\n";
  h += "\t " + Rfc5322Date(when) + "\r\n";
  h += "Received: from mail." + from_host + " ([198.51.100.7]) by exchange.example.com with Microsoft SMTPSVC(6.0.3790.4675);\r\n";
  h += "\t " + Rfc5322Date(when) + "\r\n";
  h += "Received: from client.local (unknown [203.0.113.44])\r\n\tby mail." + from_host + " (Postfix) with ESMTP id 4F2A1" + id +
       "\r\n\tfor <" + (item.to.empty() ? std::string("undisclosed@example.com") : item.to.front().address) + ">; " +
       Rfc5322Date(item.sent.value_or(when)) + "\r\n";
  if (item.from) h += "Return-Path: <" + item.from->address + ">\r\n";
  h += "Content-class: urn:content-classes:message\r\n";
  h += "MIME-Version: 1.0\r\n";
  h += item.html ? "Content-Type: text/html; charset=\"utf-8\"\r\n" : "Content-Type: text/plain; charset=\"utf-8\"\r\n";
  h += "Content-Transfer-Encoding: quoted-printable\r\n";
  h += "X-MimeOLE: Produced By Microsoft Exchange V6.5\r\n";
  h += std::string("X-MS-Has-Attach: ") + (item.attachments.empty() ? "" : "yes") + "\r\n";
  h += "X-MS-TNEF-Correlator: \r\n";
  h += "Subject: " + HeaderText(item.subject_prefix + item.subject) + "\r\n";
  h += "Date: " + Rfc5322Date(item.sent.value_or(when)) + "\r\n";
  h += "Message-ID: <" + id + "." + std::to_string(when % 100000) + "@" + from_host + ">\r\n";
  h += "Thread-Topic: " + HeaderText(item.conversation_topic.value_or(item.subject)) + "\r\n";
  h += "Thread-Index: AcqOK2" + Base64(id).substr(0, 16) + "==\r\n";
  if (item.from) h += "From: " + Mailbox(*item.from) + "\r\n";
  if (!item.to.empty()) h += "To: " + AddressList(item.to) + "\r\n";
  if (!item.cc.empty()) h += "Cc: " + AddressList(item.cc) + "\r\n";
  if (item.from) h += "Reply-To: " + Mailbox(*item.from) + "\r\n";
  h += "X-OriginalArrivalTime: 05 Jan 2010 14:04:02.0765 (UTC) FILETIME=[4F1A2B30:01CA8E0B]\r\n";
  h += "\r\n";
  return edbx::utf8_to_utf16(h);
}

std::u16string ShortFileName(const std::u16string& name) {
  std::u16string stem = name, ext;
  if (const auto dot = name.rfind(u'.'); dot != std::u16string::npos) {
    stem = name.substr(0, dot);
    ext = name.substr(dot + 1);
  }
  auto clean = [](const std::u16string& s, std::size_t max) {
    std::u16string out;
    for (char16_t c : s) {
      if (out.size() == max) break;
      if ((c >= u'a' && c <= u'z')) out.push_back(static_cast<char16_t>(c - 32));
      else if ((c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') || c == u'_' || c == u'-') out.push_back(c);
    }
    return out;
  };
  std::u16string s = clean(stem, 8);
  if (s.empty()) s = u"FILE";
  if (stem.size() > 8 || s.size() != stem.size()) s = s.substr(0, 6) + u"~1";
  const std::u16string e = clean(ext, 3);
  return e.empty() ? s : s + u"." + e;
}

uint64_t FiletimeOf(int year, int month, int day, int hour, int minute, int second) {
  // Days from civil (proleptic Gregorian), counted from 1601-01-01.
  const int y = year - (month <= 2 ? 1 : 0);
  const int era = (y >= 0 ? y : y - 399) / 400;
  const int yoe = y - era * 400;
  const int mp = (month + 9) % 12;
  const int doy = (153 * mp + 2) / 5 + day - 1;
  const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  const int64_t days_since_1970 = static_cast<int64_t>(era) * 146097 + doe - 719468;
  const int64_t secs = (days_since_1970 + 134774) * 86400 + hour * 3600 + minute * 60 + second;
  return static_cast<uint64_t>(secs) * 10000000ULL;
}

bool ParseIsoTime(const std::string& text, uint64_t& filetime) {
  int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
  char tail = 0;
  const int n = std::sscanf(text.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d%c", &y, &mo, &d, &h, &mi, &s, &tail);
  if (n == 3 && text.size() == 10) {
    h = mi = s = 0;
  } else if (n < 6 || (n == 7 && tail != 'Z')) {
    return false;
  }
  if (y < 1601 || y > 30827 || mo < 1 || mo > 12 || d < 1 || d > 31 || h > 23 || mi > 59 || s > 60) return false;
  filetime = FiletimeOf(y, mo, d, h, mi, s);
  return true;
}

}  // namespace edbforge::store
