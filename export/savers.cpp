#include "export/savers.hpp"

#include <algorithm>
#include <nlohmann/json.hpp>
#include <system_error>

#include "common/paths.hpp"
#include "content/body_extraction.hpp"
#include "export/address_parsing.hpp"
#include "export/eml_writer.hpp"
#include "export/save_records.hpp"
#include "pipeline/session.hpp"
#include "preview/item_values.hpp"
#include "preview/page_framework.hpp"
#include "store/esedb.hpp"
#include "store/item_lister.hpp"

namespace edbx {

namespace fs = std::filesystem;

std::string CountedKind(u16v kind) {
  for (const char16_t* own : {u"contact", u"appointment", u"activity", u"notes", u"task"})
    if (kind == own) return utf16_to_utf8(kind);
  return "mail";
}

bool KindChosen(SaveKind option, u16v kind) {
  const std::string counted = CountedKind(kind);
  switch (option) {
    case SaveKind::kAll:
      return true;
    case SaveKind::kMail:
      return counted == "mail";
    case SaveKind::kContact:
      return counted == "contact";
    case SaveKind::kCalendar:
      return counted == "appointment" || counted == "task" || counted == "notes" || counted == "activity";
  }
  return false;
}

namespace {

using nlohmann::json;

// Item fields of the current item's row.
constexpr std::size_t kFrom = 4, kSubject = 5, kDate = 6, kTo = 8, kCc = 9, kBcc = 10;

GatherResult Skipped() { return {ItemOutcome::kSkipped, {}}; }
GatherResult Failed(std::string why) { return {ItemOutcome::kFailed, std::move(why)}; }

/// The item's record in the table the run reads; null when it cannot be read.
std::optional<EseRecord> ReadItemRecord(Session& s, const SaveContext& c) {
  if (c.message_table == nullptr || s.item.record_number < 0) return std::nullopt;
  return c.message_table->Record(s.item.record_number);
}

/// The record's body into the working folder, while no body was written: plain text,
/// then HTML, then RTF.
void WriteRecordBody(Session& s, const EseRecord& record) {
  const ColumnMap& map = s.maps.item;
  if (s.item.body_kind == kBodyNone && map.Has("S1000")) ExtractTextBody(s, record, map["S1000"]);
  if (s.item.body_kind == kBodyNone && map.Has("N1013")) ExtractHtmlBody(s, record, map["N1013"]);
  if (s.item.body_kind == kBodyNone && map.Has("N1009")) ExtractRtfBody(s, record, map["N1009"]);
}

/// The body, or the fallback text in a UTF-16LE file without a mark.
void WriteBodyOrBlank(Session& s, const EseRecord& record, const char* blank_name) {
  WriteRecordBody(s, record);
  if (s.item.body_kind != kBodyNone) return;
  s.item.body_file = s.working_folder / blank_name;
  WriteWholeFile(s.item.body_file, utf16le_bytes(s.item.fallback_body.value_or(u16())));
}

void CompleteSubject(Session& s, const ItemValues& v) {
  if (s.item.row[kSubject].empty()) s.item.row[kSubject] = v.Text("S70");
}

/// The sender of notes, tasks and journal items: the record's N67b5 when the row had
/// none, normalised when it holds an address; shown with "[" and "]".
void CompleteSender(Session& s, const ItemValues& v) {
  u16& from = s.item.row[kFrom];
  if (from.empty()) {
    from = v.Text("N67b5");
    if (u16 normalized = NormalizeAddressText(from); !normalized.empty()) from = std::move(normalized);
  }
  for (char16_t& c : from) {
    if (c == u'<') c = u'[';
    else if (c == u'>') c = u']';
  }
}

/// Newer layout: recipients, copies and the sender's address from the body row, as the
/// preview shows them.
/// The record's transport header (S7d) read into header texts.
HeaderTexts RecordHeader(const ItemValues& v) {
  HeaderTexts header;
  const u16 text = v.WholeText("S7d", std::size_t{1} << 20);
  for (u16 line : split(text, u'\n')) {
    if (!line.empty() && line.back() == u'\r') line.pop_back();
    ApplyHeaderLine(std::move(line), header);
  }
  return header;
}

u16 AngleBrackets(u16 text) {
  for (char16_t& c : text) {
    if (c == u'[') c = u'<';
    else if (c == u']') c = u'>';
  }
  return text;
}

/// The sender with an address for the saved mail: the listed sender when it has one
/// (it is the mailbox owner's bare name for the owner's own mails), else the transport
/// header's sender, else the sender address columns.
u16 SenderWithAddress(const u16& listed, const ItemValues& v) {
  if (listed.find(u'@') != u16::npos) return listed;
  const HeaderTexts header = RecordHeader(v);
  if (header.from.find(u'@') != u16::npos) return AngleBrackets(header.from);
  for (const char* column : {"S4025", "N67b5"}) {
    const u16 address = NormalizeAddressText(v.Text(column));
    if (address.find(u'@') == u16::npos) continue;
    const u16 first = split(address, u',').front();
    return first.find(u'<') != u16::npos ? first : (listed.empty() ? first : listed + u" <" + first + u">");
  }
  return listed;
}

void CompleteNewerAddresses(Session& s, const ItemValues& v) {
  CurrentItem& item = s.item;
  const HeaderTexts header = RecordHeader(v);
  // As the older layout's lister: the transport header's To first, then the recipients.
  if (item.row[kTo].empty()) item.row[kTo] = header.to;
  if (item.row[kTo].empty()) item.row[kTo] = RecipientText(v, {"N67b4", "N2c"});
  if (item.row[kCc].empty()) item.row[kCc] = header.cc;
  if (item.row[kBcc].empty()) item.row[kBcc] = header.bcc;
  u16& from = item.row[kFrom];
  if (from.find(u'@') == u16::npos) {
    if (const u16 address = NormalizeAddressText(v.Text("S4025")); !address.empty()) {
      replace_all(from, u",", u"");
      from += u"<" + replaced(address, u",", u"") + u">";
    } else if (!header.from.empty()) {
      from = replaced(replaced(header.from, u"[", u"<"), u"]", u">");
    }
  }
}

/// The side file's values: every line whose value the record had to change, and the
/// given extras.
json SideValues(const std::vector<RecordLine>& lines, const std::vector<RecordLine>& extras) {
  json values = json::object();
  for (const auto& [key, value] : lines)
    if (OneLine(value) != value) values[utf16_to_utf8(key.substr(0, key.size() - 1))] = utf16_to_utf8(value);
  for (const auto& [key, value] : extras) values[utf16_to_utf8(key)] = utf16_to_utf8(value);
  return values;
}

/// Writes the record (and the contact card), starts the saver and waits for it.
GatherResult HandOver(Session& s, SaveContext& c, const char* parameter, const std::vector<RecordLine>& lines,
                      u16v line_end, json side, const u16* card) {
  if (!c.record_folder_usable) return Failed("no folder can hold the saver's record files");
  struct Unlock {
    RecordFolderLock* lock;
    ~Unlock() {
      if (lock) lock->Unlock();
    }
  } unlock{c.lock};
  if (c.lock) c.lock->Lock();
  const fs::path folder = c.saver.record_folder;
  if (card != nullptr) WriteWholeFile(folder / kContactCardFileName, RecordFileBytes(*card));
  const std::string record = RecordFileBytes(RecordText(lines, line_end));
  if (!WriteWholeFile(folder / kRecordFileName, record))
    return Failed("the record file " + (folder / kRecordFileName).string() + " cannot be written");
  json doc{{"kind", parameter}, {"record", RecordDigest(record)}, {"values", std::move(side)}};
  if (!WriteWholeFile(folder / kSideValuesFileName, doc.dump())) {
    std::error_code ec;
    fs::remove(folder / kSideValuesFileName, ec);
  }
  const bool contact = card != nullptr;
  const SaverResult result = RunSaver(c.saver, parameter, &s.job, [&] {
    u16 status = contact ? u"saving Contact status: [ " : u"saving mail status: [ ";
    status += decimal(s.current_row) + u" ] " + c.folder_path + u"\\" + s.item.row[kSubject];
    s.item.row[kDate] = status;
    s.dialog->SetStatusText(status);
  });
  if (result.outcome == SaverOutcome::kSaved) return {ItemOutcome::kSaved, {}};
  return Failed(result.detail);
}

u16 FolderLineValue(const SaveContext& c) { return c.folder_path; }

}  // namespace

GatherResult SaveMail(Session& s, SaveContext& c) {
  CurrentItem& item = s.item;
  item.body_kind = kBodyNone;
  item.body_file.clear();
  item.attachment_names.clear();
  CollectAttachments(s, /*any_kind=*/true);
  const auto record = ReadItemRecord(s, c);
  if (!record) return Skipped();
  const ItemValues v(s, &*record);
  CompleteSubject(s, v);
  if (s.newer_layout()) CompleteNewerAddresses(s, v);
  WriteRecordBody(s, *record);
  if (item.body_kind == kBodyNone) {
    item.body_file = s.working_folder / "tempbody.txt";
    WriteWholeFile(item.body_file, utf16_to_utf8(item.fallback_body.value_or(u16())));
  }
  const u16 word = BodyKindWord(item.body_kind);
  const u16 subject = item.row[kSubject];
  item.row[kSubject] = CleanSubject(subject);
  const u16 to = RewriteTo(item.row[kTo]);
  const u16 attachments = item.attachment_names.empty() ? u16() : ExistingAttachmentPaths(s.working_folder, item.attachment_names);
  const u16 key_name = CleanAttachmentName(item.key());
  const auto eml = FileInFolder(s.working_folder, key_name + u".eml");
  if (!eml) return Skipped();
  WriteEml(*eml, {item.row[kFrom], to, item.row[kCc], item.row[kBcc], item.row[kDate], item.row[kSubject], word,
                  item.body_file, attachments});
  // The saver reads the sender from the MIME file: it keeps the "From: " line alone.
  WriteWholeFile(*eml, "From: " + utf16_to_cp1252(item.row[kFrom]));
  const std::vector<RecordLine> lines = {
      {u"exFolderPath:", FolderLineValue(c)}, {u"FolderPath:", FolderLineValue(c)}, {u"ATTA:", attachments},
      {u"SUBJECT:", item.row[kSubject]},      {u"TO:", to},                         {u"CC:", item.row[kCc]},
      {u"BCC:", item.row[kBcc]},              {u"TYPE:", word},                     {u"DATE:", item.row[kDate]},
      {u"PATH:", FromPath(*eml)},             {u"BPATH:", FromPath(item.body_file)}};
  json side = SideValues(lines, {{u"SUBJECT", subject}, {u"FROM", SenderWithAddress(item.row[kFrom], v)}});
  return HandOver(s, c, kLaunchMail, lines, u"\r\n", std::move(side), nullptr);
}

GatherResult SaveAppointment(Session& s, SaveContext& c) {
  CurrentItem& item = s.item;
  item.body_kind = kBodyNone;
  item.body_file.clear();
  item.attachment_names.clear();
  CollectAttachments(s, /*any_kind=*/true);  // its own attachments, never the last item's
  const auto record = ReadItemRecord(s, c);
  if (!record) return Skipped();
  const ItemValues v(s, &*record);
  const u16 timezone = v.Then({"S8201", "S821b", "S8214", "S8204"});
  const u16 location = v.Then({"S810c", "S81fd"});
  const u16 start = v.DateThen({"T818f", "T800d", "T814e", "T81c3", "T81cb", "T810b", "T81ef", "T81bd", "T60", "T812e"});
  const u16 end = v.DateThen({"T814d", "T8198", "T81c2", "T81c9", "T8102", "T81bc", "T61", "T8155", "T8156"});
  CompleteSubject(s, v);
  WriteBodyOrBlank(s, *record, "blank.txt");
  const u16 attachments = item.attachment_names.empty() ? u16() : ExistingAttachmentPaths(s.working_folder, item.attachment_names);
  const std::vector<RecordLine> lines = {
      {u"exFolderPath:", FolderLineValue(c)}, {u"FolderPath:", FolderLineValue(c)},
      {u"SUBJECT:", item.row[kSubject]},      {u"LOCATION:", location},
      {u"STARTDATE:", start},                 {u"ENDDATE:", end},
      {u"ATTACHMENT:", attachments},          {u"TYPE:", BodyKindWord(item.body_kind)},
      {u"timezone:", timezone},               {u"Body:", FromPath(item.body_file)}};
  return HandOver(s, c, kLaunchAppointment, lines, u"\r\n", SideValues(lines, {}), nullptr);
}

namespace {

/// The lines of the item's body file, as the note record and the side file take them.
std::vector<u16> NoteLines(const CurrentItem& item) {
  constexpr std::size_t kMaxNoteBytes = std::size_t{64} << 20;
  const auto bytes = ReadWholeFile(item.body_file, kMaxNoteBytes);
  if (!bytes) return {};
  // The text writer and the blank bodies write UTF-16LE; the HTML and RTF writers UTF-8.
  const bool utf16 = item.body_kind == kBodyNone || item.body_kind == kOlderBodyText;
  return BodyFileLines(*bytes, utf16 ? BodyEncoding::kUtf16 : BodyEncoding::kUtf8);
}

}  // namespace

GatherResult SaveNote(Session& s, SaveContext& c) {
  CurrentItem& item = s.item;
  item.attachment_names.clear();
  item.body_kind = kBodyNone;
  item.body_file.clear();
  const auto record = ReadItemRecord(s, c);
  if (!record) return Skipped();
  const ItemValues v(s, &*record);
  CompleteSender(s, v);
  CompleteSubject(s, v);
  WriteBodyOrBlank(s, *record, "blank.html");
  item.row[kDate] = NumberMonths(item.row[kDate]);
  const std::vector<u16> body_lines = NoteLines(item);
  u16 full_body;
  for (const u16& line : body_lines) full_body += line + u"\n";
  const std::vector<RecordLine> lines = {
      {u"exFolderPath:", FolderLineValue(c)}, {u"FolderPath:", FolderLineValue(c)}, {u"SUBJECT:", item.row[kSubject]},
      {u"FROM:", item.row[kFrom]},            {u"DATE:", item.row[kDate]},          {u"TYPE:", BodyKindWord(item.body_kind)},
      {u"Body:", NoteBodyValue(body_lines)}};
  return HandOver(s, c, kLaunchNotes, lines, u"\r\n", SideValues(lines, {{u"Body", full_body}}), nullptr);
}

GatherResult SaveTask(Session& s, SaveContext& c) {
  CurrentItem& item = s.item;
  item.attachment_names.clear();
  item.body_kind = kBodyNone;
  item.body_file.clear();
  const auto record = ReadItemRecord(s, c);
  if (!record) return Skipped();
  const ItemValues v(s, &*record);
  const u16 owner = v.Then({"S8122", "S801b"});
  u16 start = v.Date("T8199");
  const u16 due = v.Date("T8198");
  CompleteSender(s, v);
  CompleteSubject(s, v);
  WriteBodyOrBlank(s, *record, "blank.txt");
  item.row[kDate] = NumberMonths(item.row[kDate]);
  if (start.empty()) start = item.row[kDate];
  const std::vector<RecordLine> lines = {
      {u"FolderPath:", FolderLineValue(c)}, {u"SUBJECT:", item.row[kSubject]}, {u"FROM:", item.row[kFrom]},
      {u"STARTDATE:", start},               {u"DUEDATE:", due},               {u"OWNER:", owner},
      {u"TYPE:", BodyKindWord(item.body_kind)}, {u"Body:", FromPath(item.body_file)}};
  return HandOver(s, c, kLaunchTask, lines, u"\n", SideValues(lines, {}), nullptr);
}

GatherResult PrepareJournalBody(Session& s, SaveContext& c) {
  CurrentItem& item = s.item;
  item.attachment_names.clear();
  item.body_kind = kBodyNone;
  item.body_file.clear();
  CollectAttachments(s, /*any_kind=*/true);
  const auto record = ReadItemRecord(s, c);
  if (!record) return Skipped();
  const ItemValues v(s, &*record);
  CompleteSender(s, v);
  CompleteSubject(s, v);
  WriteBodyOrBlank(s, *record, "blank.html");
  item.row[kDate] = NumberMonths(item.row[kDate]);
  return Skipped();  // journal items have no record of their own for the saver
}

namespace {

std::vector<u16> ContactFields(const ItemValues& v) {
  return {
      v.Over("S3001", v.Text("S82a0")),
      v.Text("S3a06"),
      v.Text("S3a44"),
      v.Text("S3a11"),
      v.Text("S3a16"),
      v.Text("S81c2"),
      v.Text("S70"),
      v.Then({"S81b1", "S81b0", "S801a", "S8010", "S803a", "S82f6", "S803b", "S802c"}),
      v.Then({"S829f", "S81b2", "S802f"}),
      v.Then({"S81b1", "S81b5", "S801b", "S3003", "S802b", "S802c", "S803b"}),
      v.Text("S81af"),
      v.Text("S81ba"),
      v.Text("S81b9"),
      v.Text("S3a17"),
      v.Text("S3a09"),
      v.Text("S3a2f"),
      v.Text("S3a08"),
      v.Text("S3a1b"),
      v.Text("S3a1c"),
      v.Text("S3a1f"),
      v.Text("S3a23"),
      v.Text("S8241"),
      v.Text("S3a15"),
      v.Text("S80a6"),
      v.Text("S8097"),
      v.Text("S80a5"),
      v.Text("S808d"),
      v.Over("S809e", v.Text("S3a2a")),
      v.Text("S3a24"),
      v.Text("S3a51"),
      v.Text("S3a29"),
      v.Text("S3a28"),
      v.Text("S3a27"),
      v.Text("S3a26"),
      v.Text("S3a0a"),
      v.Over("S8095", v.Text("S80a7")),
      v.Text("S3a5d"),
      v.Text("S3a5c"),
      v.Text("S3a59"),
      v.Text("S3a5a"),
      v.Text("S3a5b"),
      v.Text("MS80db"),
      v.Text("S3a45"),
      v.Text("S3a4f"),
      v.Text("S3a19"),
      v.Text("S3a18"),
      v.Date("T3a42"),
      v.Text("S3a05"),
      v.Text("S3a46"),
      v.Text("S8027"),
  };
}

}  // namespace

GatherResult SaveContact(Session& s, SaveContext& c) {
  CurrentItem& item = s.item;
  // Every contact starts without a body: no writer would run after a previous item's.
  item.body_kind = kBodyNone;
  item.body_file.clear();
  const auto record = ReadItemRecord(s, c);
  if (!record) return Skipped();
  const ItemValues v(s, &*record);
  const std::vector<u16> fields = ContactFields(v);
  CompleteSubject(s, v);
  WriteBodyOrBlank(s, *record, "blank.txt");
  const u16 card = ContactCardText(fields);
  const std::vector<RecordLine> lines = {{u"xxFolderPath:", FolderLineValue(c)},
                                         {u"FolderPath:", FolderLineValue(c)},
                                         {u"Body:", FromPath(item.body_file)},
                                         {u"TYPE:", BodyKindWord(item.body_kind)}};
  json side = SideValues(lines, {});
  json card_fields = json::array();
  for (const u16& f : fields) card_fields.push_back(utf16_to_utf8(f));
  side["CARD"] = std::move(card_fields);
  return HandOver(s, c, kLaunchContact, lines, u"\r\n", std::move(side), &card);
}

void SavePendingItems(Session& s, SaveContext& c) {
  auto& queue = s.lists.save_queue;
  for (std::size_t i = 0; i < queue.size(); ++i) {
    SaveQueueNode node = std::move(queue[i]);
    if (c.wanted && !c.wanted(node.kind)) continue;
    ClearWorkingFolder(s.working_folder);
    CurrentItem& item = s.item;
    item.Reset();
    item.row[0] = node.item_key;
    item.row[1] = node.kind;
    item.row[kFrom] = node.sender;
    erase_chars(item.row[kFrom], u"\"");
    item.row[kSubject] = node.subject;
    item.row[kDate] = node.date;
    item.row[7] = node.extra;
    item.row[kTo] = node.to;
    item.row[kCc] = node.cc;
    item.row[kBcc] = node.bcc;
    item.attachment_key = node.attachment_key;
    item.record_number = node.record_number;
    item.fallback_body = node.fallback_body;
    s.dialog->SetStatusText(u"Saving Status: " + c.folder_path + u"\\ " + item.row[kSubject]);
    const u16& kind = item.kind();
    GatherResult result;
    try {
      if (kind == u"mail") result = SaveMail(s, c);
      else if (kind == u"contact") result = SaveContact(s, c);
      else if (kind == u"appointment") result = SaveAppointment(s, c);
      else if (kind == u"activity") result = PrepareJournalBody(s, c);
      else if (kind == u"notes") result = SaveNote(s, c);
      else if (kind == u"task") result = SaveTask(s, c);
      else result = SaveMail(s, c);
    } catch (const std::exception& e) {
      result = Failed(std::string("the item could not be gathered: ") + e.what());
    }
    SaveCounts& counts = c.totals.by_kind[CountedKind(node.kind)];
    switch (result.outcome) {
      case ItemOutcome::kSaved: ++counts.saved; break;
      case ItemOutcome::kSkipped: ++counts.skipped; break;
      case ItemOutcome::kFailed:
        ++counts.failed;
        if (std::find(c.totals.problems.begin(), c.totals.problems.end(), result.problem) == c.totals.problems.end()) {
          c.totals.problems.push_back(result.problem);
          s.dialog->ReportDiagnostic(utf8_to_utf16(result.problem));
        }
        break;
    }
    if (c.item_done) c.item_done();
  }
  queue.clear();
}

}  // namespace edbx
