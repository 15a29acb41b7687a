// mailsaving on its own (records it must refuse, names it must keep safe) and a whole
// save run of the demo stores in both layouts through the real saver, every file read
// back by GMime, libical and a vCard reading, compared with the store's description.

#include <gmime/gmime.h>
#include <gtest/gtest.h>
#include <libical/ical.h>

#include <fstream>
#include <map>
#include <set>

#include "common/paths.hpp"
#include "export/save_records.hpp"
#include "export/save_run.hpp"
#include "saver/saver_files.hpp"
#include "saver/writers.hpp"
#include "tests/support/analysis_fixture.hpp"

namespace edbx {
namespace {

using testing::Analysis;
using testing::TempDir;
namespace es = edbforge::store;

void WriteRecord(const fs::path& folder, u16v text) { WriteWholeFile(folder / kRecordFileName, RecordFileBytes(text)); }

TEST(Mailsaving, RefusesRecordsItCannotUse) {
  TempDir dir;
  struct Case {
    const char* what;
    std::string bytes;
    std::string kind;
  } cases[] = {
      {"no byte-order mark", utf16le_bytes(u"FolderPath:x\n"), "task"},
      {"a missing line", RecordFileBytes(u"exFolderPath:x\r\nFolderPath:x\r\n"), "mailimport"},
      {"lines out of order", RecordFileBytes(u"FolderPath:x\r\nxxFolderPath:x\r\nBody:\r\nTYPE:txt\r\n"), "contact"},
      {"an unknown kind", RecordFileBytes(u"FolderPath:x\r\n"), "calendar"},
      {"no card for a contact", RecordFileBytes(u"xxFolderPath:x\r\nFolderPath:x\r\nBody:\r\nTYPE:txt\r\n"), "contact"},
  };
  for (const auto& c : cases) {
    WriteWholeFile(dir / kRecordFileName, c.bytes);
    fs::remove(dir / kContactCardFileName);
    EXPECT_THROW(mailsaving::ReadRecord(dir.path(), c.kind), mailsaving::RecordError) << c.what;
  }
  // A record naming a file outside its working folder is refused, not read.
  EXPECT_THROW(mailsaving::WorkingFile("/etc/passwd", fs::path("/tmp/w/Vestra")), mailsaving::RecordError);
  EXPECT_THROW(mailsaving::WorkingFile("relative.txt", std::nullopt), mailsaving::RecordError);
}

TEST(Mailsaving, SideValuesApplyOnlyToTheirRecord) {
  TempDir dir;
  const u16 record = u"exFolderPath:A\r\nFolderPath:A\r\nSUBJECT:Re view  done \r\nFROM:x\r\nDATE:\r\nTYPE:txt\r\nBody:a\r\n";
  WriteRecord(dir.path(), record);
  const std::string digest = RecordDigest(RecordFileBytes(record));
  WriteWholeFile(dir / kSideValuesFileName, R"({"kind":"notes","record":")" + digest +
                                                R"(","values":{"SUBJECT":"Re-view: done?","Body":"a,\nb"}})");
  auto r = mailsaving::ReadRecord(dir.path(), "notes");
  EXPECT_EQ(r.Get("SUBJECT"), "Re-view: done?");
  EXPECT_EQ(r.Get("Body"), "a,\nb");
  WriteWholeFile(dir / kSideValuesFileName, R"({"kind":"notes","record":"0000000000000000","values":{"SUBJECT":"other"}})");
  EXPECT_EQ(mailsaving::ReadRecord(dir.path(), "notes").Get("SUBJECT"), "Re view  done ");
}

TEST(Mailsaving, NamesStaySafeAndUniqueInsideTheRoot) {
  TempDir dir;
  const fs::path folder = mailsaving::OutputFolder(dir / "out", "Alice\\..\\..\\etc\\.hidden\\In/box");
  EXPECT_EQ(folder, dir / "out" / "Alice" / "etc" / "hidden" / "In_box");
  const std::string name = mailsaving::SafeFileName("../../passwd", "mail", ".eml");
  EXPECT_EQ(name.find('/'), std::string::npos);
  const fs::path a = mailsaving::WriteNewFile(folder, name, "1"), b = mailsaving::WriteNewFile(folder, name, "2");
  EXPECT_NE(a, b);
  EXPECT_EQ(a.parent_path(), folder);
  EXPECT_EQ(b.parent_path(), folder);
  EXPECT_EQ(mailsaving::SafeFileName("", "", ".txt"), "item.txt");
  // A folder planted as a link is not followed.
  fs::create_directories(dir / "elsewhere");
  fs::create_directory_symlink(dir / "elsewhere", dir / "out" / "Bob");
  EXPECT_THROW(mailsaving::OutputFolder(dir / "out", "Bob\\Inbox"), mailsaving::RecordError);
}

// --- A whole save run through the real saver ---

std::string Utf8(const std::u16string& s) { return utf16_to_utf8(s); }

/// Every file under `root` with the extension, by folder-relative path.
std::vector<fs::path> FilesWith(const fs::path& root, const std::string& ext) {
  std::vector<fs::path> out;
  for (const auto& e : fs::recursive_directory_iterator(root))
    if (e.is_regular_file() && e.path().extension() == ext) out.push_back(e.path());
  return out;
}

struct ParsedMail {
  std::string subject, from_address;
  std::set<std::string> to;
  std::string body;
  std::map<std::string, std::string> attachments;  // file name -> bytes
};

ParsedMail ParseMail(const fs::path& file) {
  ParsedMail m;
  GMimeStream* stream = g_mime_stream_file_open(file.c_str(), "r", nullptr);
  EXPECT_NE(stream, nullptr) << file;
  if (stream == nullptr) return m;
  GMimeParser* parser = g_mime_parser_new_with_stream(stream);
  GMimeMessage* message = g_mime_parser_construct_message(parser, nullptr);
  EXPECT_NE(message, nullptr) << file;
  if (message != nullptr) {
    if (const char* s = g_mime_message_get_subject(message)) m.subject = s;
    InternetAddressList* from = g_mime_message_get_from(message);
    if (internet_address_list_length(from) > 0)
      if (auto* a = internet_address_list_get_address(from, 0); INTERNET_ADDRESS_IS_MAILBOX(a))
        m.from_address = internet_address_mailbox_get_addr(INTERNET_ADDRESS_MAILBOX(a));
    InternetAddressList* to = g_mime_message_get_to(message);
    for (int i = 0; i < internet_address_list_length(to); ++i)
      if (auto* a = internet_address_list_get_address(to, i); INTERNET_ADDRESS_IS_MAILBOX(a))
        m.to.insert(internet_address_mailbox_get_addr(INTERNET_ADDRESS_MAILBOX(a)));
    GMimePartIter* iter = g_mime_part_iter_new(GMIME_OBJECT(message));
    do {
      GMimeObject* part = g_mime_part_iter_get_current(iter);
      if (GMIME_IS_TEXT_PART(part) && g_mime_part_get_filename(GMIME_PART(part)) == nullptr) {
        char* text = g_mime_text_part_get_text(GMIME_TEXT_PART(part));
        m.body += text ? text : "";
        g_free(text);
      } else if (GMIME_IS_PART(part)) {
        GMimeStream* mem = g_mime_stream_mem_new();
        g_mime_data_wrapper_write_to_stream(g_mime_part_get_content(GMIME_PART(part)), mem);
        GByteArray* bytes = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(mem));
        const char* name = g_mime_part_get_filename(GMIME_PART(part));
        m.attachments[name ? name : ""] = std::string(reinterpret_cast<char*>(bytes->data), bytes->len);
        g_object_unref(mem);
      }
    } while (g_mime_part_iter_next(iter));
    g_mime_part_iter_free(iter);
    g_object_unref(message);
  }
  g_object_unref(parser);
  g_object_unref(stream);
  return m;
}

/// Mail items of the description with their folder paths ("Alice Example\Inbox\Sub").
void MailItems(const std::vector<es::FolderDesc>& folders, const std::u16string& path,
               std::vector<std::pair<std::u16string, const es::ItemDesc*>>& out) {
  for (const auto& f : folders) {
    const std::u16string p = path + u"\\" + f.name;
    for (const auto& item : f.items)
      if (item.message_class == u"IPM.Note") out.emplace_back(p, &item);
    MailItems(f.folders, p, out);
  }
}

class DemoSave : public ::testing::TestWithParam<es::Layout> {};

TEST_P(DemoSave, EveryFileOpensWithTheItemsValues) {
  const char* source = std::getenv("EDBX_SOURCE_DIR");
  const char* binary = EDBX_TEST_BINARY_DIR;
  ASSERT_TRUE(source && binary);
  TempDir dir;
  const std::string json = ReadWholeFile(fs::path(source) / "samples" / "demo-private.json").value();
  auto desc = es::ParseDescription(json, fs::path(source) / "samples");
  desc.options.layout = GetParam();
  es::BuildStore(desc, dir / "demo.edb");
  // The real saver, in the program folder of this run.
  fs::create_directories(dir / "program");
  fs::copy_file(fs::path(binary) / "bin" / "mailsaving", dir / "program" / "mailsaving");
  Analysis a(dir);
  a.session.program_folder = dir / "program";
  ASSERT_EQ(a.Run(dir / "demo.edb"), AnalysisOutcome::kSuccess);
  SaveRequest request;
  request.output_root = dir / "out";
  request.mbox = true;
  const SaveTotals totals = RunSaveJob(a.session, request);
  EXPECT_EQ(totals.Sum().failed, 0) << (totals.problems.empty() ? "" : totals.problems[0]);

  g_mime_init();
  // Every mail of the description: one .eml with its sender, recipients, subject, body and
  // attachments, byte for byte.
  std::vector<std::pair<std::u16string, const es::ItemDesc*>> mails;
  for (const auto& mb : desc.mailboxes) MailItems(mb.folders, mb.name, mails);
  ASSERT_FALSE(mails.empty());
  std::map<fs::path, std::vector<ParsedMail>> parsed;
  for (const fs::path& f : FilesWith(dir / "out", ".eml")) parsed[f.parent_path()].push_back(ParseMail(f));
  for (const auto& [path, item] : mails) {
    fs::path folder = dir / "out";
    for (const auto& part : split(path, u'\\')) folder /= ToPath(part);
    const std::string subject = Utf8(item->subject_prefix + item->subject);
    const ParsedMail* found = nullptr;
    for (const auto& m : parsed[folder])
      if (m.subject == subject) found = &m;
    ASSERT_NE(found, nullptr) << subject << " in " << folder;
    if (item->from) {
      EXPECT_EQ(found->from_address, item->from->address) << subject;
    }
    for (const auto& to : item->to) EXPECT_EQ(found->to.count(to.address), 1u) << subject << " to " << to.address;
    if (item->body) {
      const std::string first_line = Utf8(item->body->substr(0, item->body->find(u'\r')));
      EXPECT_NE(found->body.find(first_line), std::string::npos) << subject;
    }
    EXPECT_EQ(found->attachments.size(), item->attachments.size()) << subject;
    for (const auto& att : item->attachments) {
      const auto it = found->attachments.find(Utf8(CleanAttachmentName(att.long_name.value_or(att.name))));
      ASSERT_NE(it, found->attachments.end()) << subject << ": " << Utf8(att.name);
      EXPECT_EQ(it->second, att.data) << subject << ": " << Utf8(att.name);
    }
  }
  // Every calendar file parses as one event or to-do with a summary.
  const auto calendars = FilesWith(dir / "out", ".ics");
  EXPECT_FALSE(calendars.empty());
  for (const fs::path& f : calendars) {
    icalcomponent* c = icalparser_parse_string(ReadWholeFile(f)->c_str());
    ASSERT_NE(c, nullptr) << f;
    icalcomponent* inner = icalcomponent_get_first_real_component(c);
    ASSERT_NE(inner, nullptr) << f;
    EXPECT_TRUE(icalcomponent_isa(inner) == ICAL_VEVENT_COMPONENT || icalcomponent_isa(inner) == ICAL_VTODO_COMPONENT);
    EXPECT_NE(icalcomponent_get_summary(inner), nullptr) << f;
    icalcomponent_free(c);
  }
  // Every card: vCard 4.0 with a name; each described e-mail address is on its card.
  const auto cards = FilesWith(dir / "out", ".vcf");
  EXPECT_FALSE(cards.empty());
  std::string all_cards;
  for (const fs::path& f : cards) {
    const std::string text = *ReadWholeFile(f);
    EXPECT_EQ(text.rfind("BEGIN:VCARD\r\nVERSION:4.0\r\nFN:", 0), 0u) << f;
    EXPECT_NE(text.find("END:VCARD\r\n"), std::string::npos) << f;
    all_cards += text;
  }
  EXPECT_NE(all_cards.find("EMAIL:"), std::string::npos);
  // The mbox of a folder holds one entry per saved mail of it.
  for (const auto& [folder, list] : parsed) {
    const auto mbox = ReadWholeFile(folder / (folder.filename().string() + ".mbox"));
    ASSERT_TRUE(mbox) << folder;
    std::size_t entries = mbox->rfind("From ", 0) == 0 ? 1 : 0;
    for (std::size_t at = 0; (at = mbox->find("\nFrom ", at)) != std::string::npos; ++at) ++entries;
    EXPECT_EQ(entries, list.size()) << folder;
  }
}

INSTANTIATE_TEST_SUITE_P(Layouts, DemoSave, ::testing::Values(es::Layout::Older, es::Layout::Newer));

}  // namespace
}  // namespace edbx
