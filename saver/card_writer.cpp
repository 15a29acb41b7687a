// Contacts as vCard 4.0 cards and notes as text files.

#include <algorithm>

#include "common/text.hpp"
#include "saver/writers.hpp"

namespace mailsaving {

namespace {

/// A vCard text value: backslash, comma, semicolon and line breaks escaped.
std::string Escape(const std::string& value) {
  std::string out;
  for (std::size_t i = 0; i < value.size(); ++i) {
    const char c = value[i];
    if (c == '\\' || c == ',' || c == ';') {
      out += '\\';
      out += c;
    } else if (c == '\r') {
      if (i + 1 < value.size() && value[i + 1] == '\n') ++i;
      out += "\\n";
    } else if (c == '\n') {
      out += "\\n";
    } else {
      out += c;
    }
  }
  return out;
}

/// Appends a content line folded at 75 octets, never inside a UTF-8 sequence.
void AddLine(std::string& card, const std::string& line) {
  std::size_t start = 0, width = 75;
  while (line.size() - start > width) {
    std::size_t cut = start + width;
    while (cut > start && (static_cast<unsigned char>(line[cut]) & 0xC0) == 0x80) --cut;
    card += line.substr(start, cut - start) + "\r\n ";
    start = cut;
    width = 74;
  }
  card += line.substr(start) + "\r\n";
}

void AddValue(std::string& card, const std::string& name, const std::string& value) {
  if (!value.empty()) AddLine(card, name + ":" + Escape(value));
}

const std::string& Field(const std::vector<std::string>& card, std::size_t number) {
  static const std::string empty;
  return number >= 1 && number <= card.size() ? card[number - 1] : empty;
}

/// A birthday date text as YYYYMMDD; empty when it is none.
std::string BirthdayValue(const std::string& text) {
  const auto d = ParseDate(text);
  if (!d) return {};
  char out[16];
  std::snprintf(out, sizeof out, "%04d%02d%02d", d->year, d->month, d->day);
  return out;
}

}  // namespace

std::string VCardText(const std::vector<std::string>& c, const std::string& note) {
  std::string card = "BEGIN:VCARD\r\nVERSION:4.0\r\n";
  std::string full_name = Field(c, 1);
  if (full_name.empty()) {
    for (std::size_t n : {2u, 3u, 4u})
      if (!Field(c, n).empty()) full_name += (full_name.empty() ? "" : " ") + Field(c, n);
  }
  if (full_name.empty()) full_name = Field(c, 7);
  AddLine(card, "FN:" + Escape(full_name));
  const std::string n = Escape(Field(c, 4)) + ";" + Escape(Field(c, 2)) + ";" + Escape(Field(c, 3)) + ";" +
                        Escape(Field(c, 43)) + ";" + Escape(Field(c, 48));
  if (n != ";;;;") AddLine(card, "N:" + n);
  AddValue(card, "NICKNAME", Field(c, 44));
  if (!Field(c, 5).empty() || !Field(c, 46).empty())
    AddLine(card, "ORG:" + Escape(Field(c, 5)) + (Field(c, 46).empty() ? "" : ";" + Escape(Field(c, 46))));
  AddValue(card, "TITLE", Field(c, 14));
  AddValue(card, "ROLE", Field(c, 49));
  std::vector<std::string> emails;
  for (std::size_t f : {8u, 10u, 12u})
    if (Field(c, f).find('@') != std::string::npos && std::find(emails.begin(), emails.end(), Field(c, f)) == emails.end())
      emails.push_back(Field(c, f));
  for (const auto& e : emails) AddValue(card, "EMAIL", e);
  AddValue(card, "TEL;TYPE=home,voice", Field(c, 15));
  AddValue(card, "TEL;TYPE=home,voice", Field(c, 16));
  AddValue(card, "TEL;TYPE=work,voice", Field(c, 17));
  AddValue(card, "TEL;TYPE=work,voice", Field(c, 18));
  AddValue(card, "TEL;TYPE=cell", Field(c, 19));
  AddValue(card, "TEL;TYPE=voice", Field(c, 20));
  AddValue(card, "TEL;TYPE=fax", Field(c, 21));
  AddValue(card, "TEL;TYPE=work,fax", Field(c, 29));
  // ADR: post office box; extended address; street; locality; region; code; country.
  auto address = [&](const char* type, std::size_t street, std::size_t city, std::size_t region, std::size_t code,
                     std::size_t country, const std::string& label) {
    const std::string v = ";;" + Escape(Field(c, street)) + ";" + Escape(Field(c, city)) + ";" + Escape(Field(c, region)) +
                          ";" + Escape(Field(c, code)) + ";" + Escape(Field(c, country));
    if (v == ";;;;;;" && label.empty()) return;
    std::string line = std::string("ADR;TYPE=") + type;
    if (!label.empty()) line += ";LABEL=\"" + Escape(label) + "\"";
    AddLine(card, line + ":" + v);
  };
  address("work", 31, 33, 32, 28, 34, Field(c, 23));
  address("home", 37, 39, 38, 41, 40, "");
  AddValue(card, "URL", Field(c, 30));
  if (const std::string bday = BirthdayValue(Field(c, 47)); !bday.empty()) AddLine(card, "BDAY:" + bday);
  if (!Field(c, 42).empty()) AddLine(card, "CATEGORIES:" + Escape(Field(c, 42)));
  AddValue(card, "NOTE", note);
  card += "END:VCARD\r\n";
  return card;
}

fs::path WriteCard(const Record& record, const fs::path& root) {
  if (record.card.empty()) throw RecordError("the contact card is empty");
  const std::string body_path = record.Get("Body");
  const std::optional<fs::path> working =
      body_path.empty() ? std::nullopt : std::optional<fs::path>(fs::path(body_path).parent_path());
  const auto body = WorkingFile(body_path, working);
  const std::string note = body ? BodyText(*body) : std::string();
  const std::string text = VCardText(record.card, note);
  const fs::path folder = OutputFolder(root, record.Get("FolderPath"));
  std::string title = Field(record.card, 1);
  if (title.empty()) title = Field(record.card, 7);
  return WriteNewFile(folder, SafeFileName(title, "contact", ".vcf"), text);
}

fs::path WriteNote(const Record& record, const fs::path& root) {
  // The record's body value is escaped; the side file's is the text itself.
  edbx::u16 body = edbx::utf8_to_utf16(record.Get("Body"));
  if (record.values.count("Body") != 0 && edbx::contains(body, u"<newlinebreak>")) {
    edbx::replace_all(body, u"<newlinebreak>", u"\n");
    edbx::replace_all(body, u"\\cama", u",");
  }
  const std::string subject = record.Get("SUBJECT");
  std::string text = "Subject: " + subject + "\n";
  if (!record.Get("FROM").empty()) text += "From: " + record.Get("FROM") + "\n";
  if (!record.Get("DATE").empty()) text += "Date: " + record.Get("DATE") + "\n";
  text += "\n" + edbx::utf16_to_utf8(body);
  const fs::path folder = OutputFolder(root, record.Get("FolderPath"));
  return WriteNewFile(folder, SafeFileName(subject, "note", ".txt"), text);
}

}  // namespace mailsaving
