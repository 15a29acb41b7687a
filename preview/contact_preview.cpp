#include "export/address_parsing.hpp"
#include "pipeline/session.hpp"
#include "preview/item_values.hpp"
#include "preview/page_framework.hpp"
#include "preview/renderers.hpp"

namespace edbx {

namespace {

using Source = u16 (*)(const ItemValues&);

/// A contact row: its label piece and where its value comes from in each layout
/// (`newer` null: the same as the older layout).
struct ContactRow {
  const char16_t* label;
  Source older;
  Source newer;
};

// The rows after "From" and "Full Name", in page order. "E-Mail Addrees 1" and
// "E-Mail Addrees 2" both start from S81b1 in the older layout, so a contact with that
// column shows it twice.
const ContactRow kContactRows[] = {
    {u"   <td height='20'><b>First Name:</b >", [](const ItemValues& v) { return v.Text("S3a06"); }, nullptr},
    {u"   <td height='20'><b>Middle Name: </b> ", [](const ItemValues& v) { return v.Text("S3a44"); }, nullptr},
    {u"    <td height='20'><b>Last Name:</b> ", [](const ItemValues& v) { return v.Text("S3a11"); }, nullptr},
    {u"    <td height='20'><b>Company Name:</b> ", [](const ItemValues& v) { return v.Text("S3a16"); }, nullptr},
    {u"    <td height='20'><b>File As 1:</b> ", [](const ItemValues& v) { return v.Text("S81c2"); }, nullptr},
    {u"    <td height='20'><b>File As 2:</b> ", [](const ItemValues& v) { return v.Text("S70"); }, nullptr},
    {u"    <td height='20'><b>E-Mail Addrees 1:</b> ", [](const ItemValues& v) { return v.Then({"S81b1", "S81b0", "S801a", "S3003", "S803a", "S82f6", "S803b", "S802c"}); }, [](const ItemValues& v) { return v.Then({"S802c", "S81b0", "S3003", "S803a", "S801a"}); }},
    {u"    <td height='20'><b>Email Address 1 Display As:</b> ", [](const ItemValues& v) { return v.Then({"S829f", "S81b2", "S802f"}); }, [](const ItemValues& v) { return v.Then({"S829f", "S81b2", "S8023"}); }},
    {u"    <td height='20'><b>E-Mail Addrees 2:</b> ", [](const ItemValues& v) { return v.Then({"S81b1", "S81b5", "S801b", "S8010", "S802b", "S802c", "S803b"}); }, [](const ItemValues& v) { return v.Then({"S81b1", "S801d", "S81b5", "S8010", "S801b", "S802b", "S800e"}); }},
    {u"    <td height='20'><b>Email Address 2 Display As:</b> ", [](const ItemValues& v) { return v.Text("S81af"); }, [](const ItemValues& v) { return v.Then({"S81af", "S8020"}); }},
    {u"    <td height='20'><b>E-Mail Addrees 3:</b> ", [](const ItemValues& v) { return v.Text("S81ba"); }, [](const ItemValues& v) { return v.Then({"S81ba", "S800b"}); }},
    {u"    <td height='20'><b>Email Address 3 Display As:</b> ", [](const ItemValues& v) { return v.Text("S81b9"); }, nullptr},
    {u"    <td height='20'><b>Job Title:</b> ", [](const ItemValues& v) { return v.Text("S3a17"); }, nullptr},
    {u"    <td height='20'><b>Phone Number- Home:</b> ", [](const ItemValues& v) { return v.Text("S3a09"); }, [](const ItemValues& v) { return v.Then({"S3a09", "S8145"}); }},
    {u"    <td height='20'><b>Phone Number- Home 2:</b> ", [](const ItemValues& v) { return v.Text("S3a2f"); }, nullptr},
    {u"    <td height='20'><b>Phone Number - Business:</b> ", [](const ItemValues& v) { return v.Text("S3a08"); }, nullptr},
    {u"    <td height='20'><b>Phone Number - Business 2:</b> ", [](const ItemValues& v) { return v.Text("S3a1b"); }, nullptr},
    {u"    <td height='20'><b>Phone Number- Mobile No:</b> ", [](const ItemValues& v) { return v.Text("S3a1c"); }, nullptr},
    {u"    <td height='20'><b>Phone Number Other:</b> ", [](const ItemValues& v) { return v.Text("S3a1f"); }, nullptr},
    {u"    <td height='20'><b>Phone Number Other Fax:</b> ", [](const ItemValues& v) { return v.Text("S3a23"); }, nullptr},
    {u"    <td height='20'><b>Business Homepage:</b> ", [](const ItemValues& v) { return v.Text("S8241"); }, nullptr},
    {u"    <td height='20'><b>Business Full Address 1 :</b> ", [](const ItemValues& v) { return v.Text("S3a15"); }, nullptr},
    {u"    <td height='20'><b>Business Address Street:</b> ", [](const ItemValues& v) { return v.Text("S80a6"); }, nullptr},
    {u"    <td height='20'><b>Business Address City:</b> ", [](const ItemValues& v) { return v.Text("S8097"); }, [](const ItemValues& v) { return v.Then({"S8097", "S8143"}); }},
    {u"    <td height='20'><b>Business Address State/Province:</b> ", [](const ItemValues& v) { return v.Text("S80a5"); }, [](const ItemValues& v) { return v.Then({"S80a5", "S8146"}); }},
    {u"    <td height='20'><b>Business Address Country/Region:</b> ", [](const ItemValues& v) { return v.Text("S808d"); }, [](const ItemValues& v) { return v.Then({"S808d", "S8144"}); }},
    {u"    <td height='20'><b>Business Address Zip/Postal Code:</b> ", [](const ItemValues& v) { return v.Over("S809e", v.Text("S3a2a")); }, [](const ItemValues& v) { return FirstNonEmpty({v.Over("S809e", v.Text("S3a2a")), v.Text("L813a")}); }},
    {u"    <td height='20'><b>Phone Number - Business Fax No:</b> ", [](const ItemValues& v) { return v.Text("S3a24"); }, nullptr},
    {u"    <td height='20'><b>Web Page Address 1:</b> ", [](const ItemValues& v) { return v.Text("S3a51"); }, nullptr},
    {u"    <td height='20'><b>Street:</b> ", [](const ItemValues& v) { return v.Text("S3a29"); }, nullptr},
    {u"    <td height='20'><b>State:</b> ", [](const ItemValues& v) { return v.Text("S3a28"); }, nullptr},
    {u"    <td height='20'><b>City:</b> ", [](const ItemValues& v) { return v.Text("S3a27"); }, nullptr},
    {u"    <td height='20'><b>Country:</b> ", [](const ItemValues& v) { return v.Text("S3a26"); }, nullptr},
    {u"    <td height='20'><b>Initials:</b> ", [](const ItemValues& v) { return v.Text("S3a0a"); }, nullptr},
    {u"    <td height='20'><b>Home Address:</b> ", [](const ItemValues& v) { return v.Over("S8095", v.Text("S80a7")); }, [](const ItemValues& v) { return v.Over("S8095", v.Then({"S80a7", "S801a"})); }},
    {u"    <td height='20'><b>Home Address Street:</b> ", [](const ItemValues& v) { return v.Text("S3a5d"); }, nullptr},
    {u"    <td height='20'><b>Home Address State:</b> ", [](const ItemValues& v) { return v.Text("S3a5c"); }, nullptr},
    {u"    <td height='20'><b>Home Address City:</b> ", [](const ItemValues& v) { return v.Text("S3a59"); }, nullptr},
    {u"    <td height='20'><b>Home Address Country:</b> ", [](const ItemValues& v) { return v.Text("S3a5a"); }, nullptr},
    {u"    <td height='20'><b>Home Address Postal Code:</b> ", [](const ItemValues& v) { return v.Text("S3a5b"); }, nullptr},
    {u"    <td height='20'><b>Categories:</b> ", [](const ItemValues& v) { return v.Text("MS80db"); }, nullptr},
    {u"    <td height='20'><b>Title Nick name:</b> ", [](const ItemValues& v) { return v.Text("S3a45"); }, nullptr},
    {u"    <td height='20'><b>Nick name:</b> ", [](const ItemValues& v) { return v.Text("S3a4f"); }, nullptr},
    {u"    <td height='20'><b>Office:</b> ", [](const ItemValues& v) { return v.Text("S3a19"); }, nullptr},
    {u"    <td height='20'><b>Department:</b> ", [](const ItemValues& v) { return v.Text("S3a18"); }, nullptr},
    {u"    <td height='20'><b>Birth Day:</b> ", [](const ItemValues& v) { return v.Date("T3a42"); }, nullptr},
    {u"    <td height='20'><b>Suffix:</b> ", [](const ItemValues& v) { return v.Text("S3a05"); }, nullptr},
    {u"    <td height='20'><b>Profession:</b> ", [](const ItemValues& v) { return v.Text("S3a46"); }, nullptr},
    {u"    <td height='20'><b>Fallowup flag:</b> ", [](const ItemValues& v) { return v.Text("S8027"); }, nullptr},
};

}  // namespace

int ShowContactPage(Session& s, const EseRecord* record) {
  const bool newer = s.newer_layout();
  if (!newer && record == nullptr) return -1;
  const ItemValues v(s, record);

  u16 from = s.item.row[4];
  if (!newer) {
    if (from.empty()) {
      const u16 raw = v.Text("N67b5");
      const u16 normalized = NormalizeAddressText(raw);
      from = normalized.empty() ? raw : normalized;
    }
    from = square_brackets(std::move(from));
  }

  u16 rows;
  if (!from.empty()) AppendRow(rows, u"   <td height='20'><b>From:</b >", from);
  // Full Name is shown whenever the table has one of its columns, even empty.
  if (v.Has("S3001") || v.Has("S82a0"))
    AppendRow(rows, u"   <td height='20'><b>Full Name:</b>", v.Over("S3001", v.Text("S82a0")));
  for (const ContactRow& row : kContactRows) {
    const Source source = newer && row.newer != nullptr ? row.newer : row.older;
    const u16 value = source(v);
    if (!value.empty()) AppendRow(rows, row.label, value);
  }

  if (newer) {
    if (record != nullptr && ChooseNewerBody(s, *record, BodyWriting::kColumnText) == 0) return 0;
    EnsureNewerBody(s);
  } else {
    ChooseOlderBody(s, *record, /*fallback_html=*/true);
  }
  ShowItemPage(s, rows, Frameset::kSideBySide);
  return 1;
}

}  // namespace edbx
