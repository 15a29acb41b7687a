#include "preview/page_framework.hpp"

#include <set>

#include "common/paths.hpp"
#include "content/body_extraction.hpp"
#include "content/rtf_decompress.hpp"
#include "export/wide_text_file.hpp"
#include "pipeline/session.hpp"
#include "store/value_text.hpp"

namespace edbx {

u16 HtmlEscape(u16v value) {
  u16 out;
  out.reserve(value.size());
  for (char16_t c : value) {
    switch (c) {
      case u'&': out += u"&amp;"; break;
      case u'<': out += u"&lt;"; break;
      case u'>': out += u"&gt;"; break;
      case u'"': out += u"&quot;"; break;
      case u'\'': out += u"&#39;"; break;
      default: out.push_back(c);
    }
  }
  return out;
}

u16 HeaderPage(u16v rows) {
  u16 page;
  page += u"<!DOCTYPE html PUBLIC '-//W3C//DTD XHTML 1.0 Transitional//EN' '"
          u"http://www.w3.org/TR/xhtml1/DTD/xhtml1-transitional.dtd'>";
  page += u"<html xmlns='http://www.w3.org/1999/xhtml'><head>"
          u"<meta http-equiv='Content-Type' content='text/html; charset=utf-8' />";
  page += u"<style type='text/css'><!--";
  page += u"body,td,th {\tfont-family: Verdana, Arial, Helvetica, sans-serif;\tfont-size: 11px;\tcolor: #666666;}";
  page += u"body {\tmargin-left: 0px;\tmargin-top: 0px;\tmargin-right: 0px;\tmargin-bottom: 0px;}";
  page += u"a {\tfont-family: Verdana, Arial, Helvetica, sans-serif;\tfont-size: 10px;}";
  page += u"--></style></head><body><table width='100%' border='0' cellspacing='0' cellpadding='0'>";
  page += rows;
  page += u"</table></body></html>";
  return page;
}

u16 FileUrl(const std::filesystem::path& file) {
  static const char* kHex = "0123456789ABCDEF";
  u16 url = u"file://";
  for (const char byte : file.string()) {
    const auto c = static_cast<unsigned char>(byte);
    const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '/' ||
                       c == '-' || c == '.' || c == '_' || c == '~';
    if (plain) {
      url.push_back(c);
    } else {
      url.push_back(u'%');
      url.push_back(static_cast<char16_t>(kHex[c >> 4]));
      url.push_back(static_cast<char16_t>(kHex[c & 15]));
    }
  }
  return url;
}

u16 FramesetPage(Frameset variant, const std::filesystem::path& body_file) {
  const char16_t* layout = u"rows='28%,*'";
  switch (variant) {
    case Frameset::kMail: layout = u"rows='28%,*'"; break;
    case Frameset::kSideBySide: layout = u"cols='*,*'"; break;
    case Frameset::kJournal: layout = u"rows='20%,*'"; break;
    case Frameset::kNote: layout = u"rows='30%,*'"; break;
  }
  return u"<html><head></head><frameset " + u16(layout) +
         u" border='0'><frame src='header.html'  scrolling='auto' frameborder='1'><frame src='" + FileUrl(body_file) +
         u"'></frameset></html>";
}

void AppendCell(u16& rows, u16v label, u16v value) {
  rows += label;
  rows += HtmlEscape(value);
  rows += u"</td>";
}

void AppendRow(u16& rows, u16v label, u16v value) {
  rows += u"  <tr>";
  AppendCell(rows, label, value);
  rows += u" </tr>";
}

void AppendWideRow(u16& rows, u16v label, u16v value) {
  rows += u"<tr>";
  rows += label;
  rows += HtmlEscape(value);
  rows += u"</span></td> </tr>";
}

void AppendAttachmentRow(const Session& s, u16& rows) {
  if (s.item.row[7] == u"true" && !s.item.attachment_key.empty())
    AppendWideRow(rows, u"   <td height='20' colspan='2'><b>Attachment: </b><span color='red'>",
                  s.item.attachment_names);
}

namespace {
bool WriteWidePage(const std::filesystem::path& path, u16v text) {
  CUTF16File f;
  if (!f.Open(path, kFileModeCreate | kFileModeWrite)) return false;
  const bool ok = f.WriteString(text);
  return f.Close() && ok;
}
}  // namespace

void ShowItemPage(Session& s, u16v header_rows, Frameset variant) {
  WriteWidePage(s.working_folder / "header.html", HeaderPage(header_rows));
  const std::filesystem::path frameset = s.working_folder / "strEmlPath.html";
  if (WriteWidePage(frameset, FramesetPage(variant, s.item.body_file))) s.dialog->Navigate(frameset);
}

void EnsureNewerBody(Session& s, u16v text) {
  if (s.item.body_kind == kBodyNone || s.item.body_file.empty()) {
    s.item.body_kind = kBodyNone;
    WriteBlankBody(s, "blank.txt", text);
  }
}

void WriteBlankBody(Session& s, const char* name, u16v text) {
  s.item.body_file = s.working_folder / name;
  WriteWholeFile(s.item.body_file, utf16le_bytes(text));
}

namespace {

/// Bodies formatted as text are read up to this many code units (512 MiB).
constexpr std::size_t kMaxBodyUnits = std::size_t{1} << 28;

bool HasData(const EseRecord& record, int column) {
  if (column < 0) return false;
  const auto data = record.ValueData(column);
  return data && !data->empty();
}

}  // namespace

int ChooseNewerBody(Session& s, const EseRecord& record, BodyWriting writing) {
  s.item.body_kind = kBodyNone;
  s.item.body_file.clear();
  const ColumnMap& map = s.maps.item;
  const int rtf = map["N1009"], html = map["N1013"], text = map["S1000"];
  if (rtf >= 0) {
    WriteRtfBodyFile(s, record, rtf);
    if (s.item.body_kind == kBodyRtf) {
      const auto raw = ReadWholeFile(s.item.body_file);
      if (!raw) return 1;  // shown as the raw file
      if (raw->empty()) return 0;
      const auto decoded = DecompressRtf(*raw);
      if (!decoded) return 0;  // a damaged stream shows as an empty body would
      const u16 plain = ConvertRtfToText(s, cp1252_to_utf16(*decoded));
      s.item.body_file = s.working_folder / "rtfbody.txt";
      WriteWholeFile(s.item.body_file, utf16_to_utf8(plain));
      return 1;
    }
  }
  // A body is chosen when its column holds data (long values included).
  using RecordWriter = std::optional<u16> (*)(Session&, const EseRecord&, int);
  auto choose = [&](int column, int kind, const char* file, RecordWriter write) {
    s.item.body_kind = kind;
    if (writing == BodyWriting::kColumnText) {
      WriteBlankBody(s, file, WholeColumnText(s, record, column, kMaxBodyUnits));
      return;
    }
    const auto path = write(s, record, column);
    if (path && !path->empty()) s.item.body_file = s.working_folder / file;
    else s.item.body_kind = kBodyNone;
  };
  if (HasData(record, html)) choose(html, kNewerBodyHtml, "blank.html", &WriteHtmlBodyFile);
  else if (HasData(record, text)) choose(text, kNewerBodyText, "blank.txt", &WriteTextBodyFile);
  return 1;
}

void ChooseOlderBody(Session& s, const EseRecord& record, bool fallback_html) {
  s.item.body_kind = kBodyNone;
  s.item.body_file.clear();
  const ColumnMap& map = s.maps.item;
  if (map.Has("S1000")) ExtractTextBody(s, record, map["S1000"]);
  if (s.item.body_kind == kBodyNone && map.Has("N1013")) ExtractHtmlBody(s, record, map["N1013"]);
  if (s.item.body_kind == kBodyNone && map.Has("N1009")) ExtractRtfBody(s, record, map["N1009"]);
  if (s.item.body_kind != kBodyNone) return;
  u16 fallback;
  if (s.save_mode) {
    fallback = s.item.fallback_body.value_or(u16());
  } else {
    for (const auto& node : s.lists.listed_bodies)
      if (node.message_key == s.item.key()) fallback += node.body_text;
  }
  WriteBlankBody(s, fallback_html ? "blank.html" : "blank.txt", fallback);
}

bool AttachmentKeyListed(u16v key, u16v attachment_key) {
  if (key.empty()) return false;
  // Keys are identifier texts (hex without leading zeros); the attachment key lists the
  // 8-byte keys as 16 hex digits each. Pad to 16 digits and compare whole keys only.
  if (key.size() > 16) return false;
  const u16 padded = u16(16 - key.size(), u'0') + u16(key);
  for (std::size_t at = 0; at + 16 <= attachment_key.size(); at += 16)
    if (attachment_key.compare(at, 16, padded) == 0) return true;
  return false;
}

namespace {

/// A name not yet used by another attachment of this item: "name (2).ext" and so on.
u16 UniqueName(std::set<u16>& used, const u16& name) {
  if (used.insert(name).second) return name;
  const auto dot = name.rfind(u'.');
  const u16 stem = dot == u16::npos || dot == 0 ? name : name.substr(0, dot);
  const u16 ext = dot == u16::npos || dot == 0 ? u16() : name.substr(dot);
  for (int n = 2;; ++n) {
    u16 candidate = stem + u" (" + decimal(n) + u")" + ext;
    if (used.insert(candidate).second) return candidate;
  }
}

}  // namespace

void CollectAttachments(Session& s, bool any_kind) {
  CurrentItem& item = s.item;
  const u16& kind = item.kind();
  if (item.attachment_key.size() <= 14) return;
  if (!any_kind && !(kind == u"mail" || kind == u"activity" || kind == u"appointment")) return;
  // The matching attachments in list order; each gets a name no earlier-stored
  // attachment of the item has taken, so the first stored keeps its own name.
  struct Found {
    const EseTable* table;
    int row;
    int column;
    u16 stored_name;
    u16 name;
  };
  std::vector<Found> found;
  if (s.newer_layout()) {
    for (const auto& node : s.lists.attachments_2010) {
      if (!AttachmentKeyListed(node.message_key, item.attachment_key)) continue;
      // A node of another body table would be read at its row in the wrong table.
      if (!s.body_table || node.table_name != s.body_table_name) continue;
      found.push_back({&*s.body_table, node.row_index, node.data_column, node.file_name, {}});
    }
  } else if (const EseTable* table = s.kept_attachment_table()) {
    ColumnMap& map = s.maps.attachment;
    map.Build(*table, false);
    for (const auto& node : s.lists.attachments)
      if (AttachmentKeyListed(node.owner_key, item.attachment_key))
        found.push_back({table, node.row_index, map["N3701"], node.file_name, {}});
  }
  std::set<u16> used;
  for (auto it = found.rbegin(); it != found.rend(); ++it) it->name = UniqueName(used, CleanAttachmentName(it->stored_name));
  for (const Found& f : found) {
    item.attachment_names += f.name + u";";
    if (const auto path = FileInFolder(s.working_folder, f.name))
      if (auto record = f.table->Record(f.row)) WriteAttachmentData(*record, f.column, *path);
  }
  replace_all(item.attachment_names, u";;", u";");
}

}  // namespace edbx
