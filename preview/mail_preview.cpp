#include "export/address_parsing.hpp"
#include "pipeline/session.hpp"
#include "preview/item_values.hpp"
#include "preview/page_framework.hpp"
#include "preview/renderers.hpp"

namespace edbx {

namespace {

/// Message headers are read up to this many code units (2 MiB).
constexpr std::size_t kMaxHeaderUnits = std::size_t{1} << 20;

}  // namespace

int ShowMailPage(Session& s, const EseRecord* record) {
  CurrentItem& item = s.item;
  const bool newer = s.newer_layout();
  if (!newer && record == nullptr) return -1;
  const ItemValues v(s, record);

  u16 from = item.row[4];
  u16 subject = item.row[5];
  const u16 date = item.row[6];
  if (newer) {
    u16 to = RecipientText(v, {"N67b4", "N2c"});
    const u16 sender = NormalizeAddressText(v.Text("S4025"));
    if (!sender.empty()) from += u"<" + sender + u">";
    const u16 header = v.WholeText("S7d", kMaxHeaderUnits);
    if (!header.empty()) {
      if (const auto match = HeaderAddressMatch(header, u"From")) {
        const u16 address = NormalizeAddressText(*match);
        if (!address.empty()) from += u"[" + address + u"]";
      }
      if (to.empty())
        if (const auto match = HeaderAddressMatch(header, u"To")) to = NormalizeAddressText(*match);
    }
    item.row[8] = std::move(to);
    item.row[9].clear();
    item.row[10].clear();
    if (record != nullptr && ChooseNewerBody(s, *record, BodyWriting::kRecordWriters) == 0) return 0;
    EnsureNewerBody(s);
  } else {
    if (subject.empty()) subject = v.Text("S70");
    ChooseOlderBody(s, *record, /*fallback_html=*/false);
  }
  item.row[4] = from;

  u16 rows = u"  <tr>";
  AppendCell(rows, u"   <td height='20'><b>From :</b>", from);
  AppendCell(rows, u"   <td height='20'><b>Date:</b >", date);
  rows += u" </tr>  <tr>";
  AppendCell(rows, u"   <td height='20'><b>Subject: </b> ", subject);
  AppendCell(rows, u"    <td height='20'><b>To:</b> ", item.row[8]);
  rows += u" </tr>";
  if (!item.row[9].empty())
    AppendWideRow(rows, u"   <td height='20' colspan='2'><b>Cc: </b><span color='red'>", item.row[9]);
  if (!item.row[10].empty())
    AppendWideRow(rows, u"   <td height='20' colspan='2'><b>Bcc: </b><span color='red'>", item.row[10]);
  AppendAttachmentRow(s, rows);
  ShowItemPage(s, rows, Frameset::kMail);
  return 1;
}

}  // namespace edbx
