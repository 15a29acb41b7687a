// Appointment, task, journal and note pages.

#include "export/address_parsing.hpp"
#include "pipeline/session.hpp"
#include "preview/item_values.hpp"
#include "preview/page_framework.hpp"
#include "preview/renderers.hpp"

namespace edbx {

namespace {

/// From as these pages show it. Older layout: the row's sender, else the record's
/// sender display text (normalised first for appointments), angle brackets squared.
u16 PageFrom(const Session& s, const ItemValues& v, bool normalize) {
  u16 from = s.item.row[4];
  if (s.newer_layout()) return from;
  if (from.empty()) {
    from = v.Text("N67b5");
    if (normalize)
      if (u16 normalized = NormalizeAddressText(from); !normalized.empty()) from = std::move(normalized);
  }
  return square_brackets(std::move(from));
}

/// Subject: the row's subject, else (older layout) the record's subject.
u16 PageSubject(const Session& s, const ItemValues& v) {
  if (s.newer_layout() || !s.item.row[5].empty()) return s.item.row[5];
  return v.Text("S70");
}

/// The body beside or below the header. Newer layout: the columns written as text, and
/// `empty_body` when there is none; false when an RTF body gives nothing to show.
bool ChooseBody(Session& s, const EseRecord* record, bool fallback_html, u16v empty_body = {}) {
  if (!s.newer_layout()) {
    ChooseOlderBody(s, *record, fallback_html);
    return true;
  }
  if (record != nullptr && ChooseNewerBody(s, *record, BodyWriting::kColumnText) == 0) return false;
  EnsureNewerBody(s, empty_body);
  return true;
}

}  // namespace

int ShowAppointmentPage(Session& s, const EseRecord* record) {
  const bool newer = s.newer_layout();
  if (!newer && record == nullptr) return -1;
  const ItemValues v(s, record);
  const u16 location = newer ? v.Then({"S810c", "S81fd", "S8049", "S8004"}) : v.Then({"S810c", "S81fd"});
  const u16 start = newer ? v.DateThen({"T818f", "T800d", "T814e", "T81c3", "T81cb", "T810b", "T81ef", "T81bd", "T60",
                                        "T8040"})
                          : v.DateThen({"T818f", "T800d", "T814e", "T81c3", "T81cb", "T810b", "T81ef", "T81bd", "T60",
                                        "T812e"});
  const u16 end = newer ? v.DateThen({"T814d", "T8198", "T81c2", "T81c9", "T8102", "T81bc", "T61", "T8041"})
                        : v.DateThen({"T814d", "T8198", "T81c2", "T81c9", "T8102", "T81bc", "T61", "T8155", "T8156"});
  const u16 show_as = newer ? v.Text("S80fd") : v.Then({"S80fd", "S8120"});
  const u16 time_zone = newer ? v.Then({"S8201", "S821b", "S8214", "S8051"}) : v.Then({"S8201", "S821b", "S8214", "S8204"});

  u16 rows;
  auto row = [&rows](u16v label, u16v value) {
    if (!value.empty()) AppendRow(rows, label, value);
  };
  row(u"   <td height='20'><b>From :</b>", PageFrom(s, v, /*normalize=*/true));
  row(u"   <td height='20'><b>Subject: </b> ", PageSubject(s, v));
  row(u"   <td height='20'><b>Location : </b> ", location);
  row(u"   <td height='20'><b>Start Date : </b> ", start);
  row(u"   <td height='20'><b>End Date : </b> ", end);
  row(u"   <td height='20'><b>Show As : </b> ", show_as);
  row(u"   <td height='20'><b>Time Zone: </b> ", time_zone);
  if (newer) row(u"   <td height='20'><b>To: </b> ", RecipientText(v, {"N67b4"}));
  AppendAttachmentRow(s, rows);

  if (!ChooseBody(s, record, /*fallback_html=*/false)) return 0;
  ShowItemPage(s, rows, Frameset::kSideBySide);
  return 1;
}

int ShowTaskPage(Session& s, const EseRecord* record) {
  if (!s.newer_layout() && record == nullptr) return -1;
  const ItemValues v(s, record);
  // One row of six cells, written even when every value is empty.
  u16 rows = u"  <tr>";
  AppendCell(rows, u"   <td height='20'><b>From :</b>", PageFrom(s, v, /*normalize=*/false));
  AppendCell(rows, u"   <td height='20'><b>Subject: </b> ", PageSubject(s, v));
  AppendCell(rows, u"   <td height='20'><b>Categories : </b> ", v.Text("MS80db"));
  AppendCell(rows, u"   <td height='20'><b>Start Date : </b> ", v.DateThen({"T800d", "T8199"}));
  AppendCell(rows, u"   <td height='20'><b>Due Date : </b> ", v.Date("T8198"));
  AppendCell(rows, u"   <td height='20'><b>Reminder Date : </b> ", v.Date("T811f"));
  rows += u" </tr>";
  AppendAttachmentRow(s, rows);

  if (!ChooseBody(s, record, /*fallback_html=*/false, u"......")) return 0;
  ShowItemPage(s, rows, Frameset::kSideBySide);
  return 1;
}

namespace {

/// The journal and the older layout's note: From and Subject rows, always written.
u16 FromAndSubjectRows(const Session& s, const ItemValues& v) {
  u16 rows;
  AppendRow(rows, u"   <td height='20'><b>From :</b>", PageFrom(s, v, /*normalize=*/false));
  AppendRow(rows, u"   <td height='20'><b>Subject: </b> ", PageSubject(s, v));
  AppendAttachmentRow(s, rows);
  return rows;
}

}  // namespace

int ShowJournalPage(Session& s, const EseRecord* record) {
  if (s.newer_layout()) return ShowMailPage(s, record);
  if (record == nullptr) return -1;
  const ItemValues v(s, record);
  const u16 rows = FromAndSubjectRows(s, v);
  ChooseOlderBody(s, *record, /*fallback_html=*/false);
  ShowItemPage(s, rows, Frameset::kJournal);
  return 1;
}

int ShowNotePage(Session& s, const EseRecord* record) {
  if (s.newer_layout()) {
    // No header: the pane shows the body alone (an empty page when there is none).
    if (record != nullptr && ChooseNewerBody(s, *record, BodyWriting::kColumnText) == 0) return 0;
    EnsureNewerBody(s);
    s.dialog->Navigate(s.item.body_file);
    return 1;
  }
  if (record == nullptr) return -1;
  const ItemValues v(s, record);
  const u16 rows = FromAndSubjectRows(s, v);
  ChooseOlderBody(s, *record, /*fallback_html=*/true);
  ShowItemPage(s, rows, Frameset::kNote);
  return 1;
}

}  // namespace edbx
