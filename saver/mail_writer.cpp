// Mail items as RFC 5322 messages built with GMime.

#include <gmime/gmime.h>

#include <memory>

#include "common/text.hpp"
#include "saver/writers.hpp"

namespace mailsaving {

namespace {

template <typename T>
struct GUnref {
  void operator()(T* p) const {
    if (p) g_object_unref(p);
  }
};
template <typename T>
using GPtr = std::unique_ptr<T, GUnref<T>>;

/// Entries of the form "name<address>," (or bare addresses) into the message's list.
void AddAddresses(GMimeMessage* message, GMimeAddressType type, const std::string& text) {
  // Copies and blind copies arrive as "name [address]"; the To list as "name<address>,".
  std::string list = text;
  for (char& c : list) {
    if (c == '[') c = '<';
    else if (c == ']') c = '>';
  }
  while (!list.empty() && (list.back() == ',' || list.back() == ' ')) list.pop_back();
  if (list.empty()) return;
  InternetAddressList* target = g_mime_message_get_addresses(message, type);
  if (InternetAddressList* parsed = internet_address_list_parse(nullptr, list.c_str())) {
    if (internet_address_list_length(parsed) > 0) {
      internet_address_list_append(target, parsed);
      g_object_unref(parsed);
      return;
    }
    g_object_unref(parsed);
  }
  // A display name without an address is kept as a name.
  InternetAddress* name_only = internet_address_mailbox_new(list.c_str(), "");
  internet_address_list_add(target, name_only);
  g_object_unref(name_only);
}

/// The sender line the eml file holds: "From: " + the sender in Windows-1252.
std::string SenderOfPathFile(const std::optional<fs::path>& file) {
  if (!file) return {};
  const std::string bytes = ReadFileBytes(*file, 1 << 20);
  if (bytes.rfind("From: ", 0) != 0) throw RecordError("the PATH file " + file->string() + " holds no \"From: \" line");
  return edbx::utf16_to_utf8(edbx::cp1252_to_utf16(bytes.substr(6)));
}

GMimeObject* BodyPart(const std::string& type_word, const std::optional<fs::path>& body_file) {
  const std::string text = body_file ? BodyText(*body_file) : std::string();
  GMimeTextPart* part = g_mime_text_part_new_with_subtype(type_word == "html" ? "html" : "plain");
  g_mime_text_part_set_text(part, text.c_str());
  g_mime_part_set_content_encoding(GMIME_PART(part),
                                   g_mime_part_get_best_content_encoding(GMIME_PART(part), GMIME_ENCODING_CONSTRAINT_7BIT));
  return GMIME_OBJECT(part);
}

GMimeObject* AttachmentPart(const fs::path& file) {
  const std::string bytes = ReadFileBytes(file, std::size_t{2} << 30);
  GMimePart* part = g_mime_part_new_with_type("application", "octet-stream");
  GPtr<GMimeStream> stream(g_mime_stream_mem_new_with_buffer(bytes.data(), bytes.size()));
  GPtr<GMimeDataWrapper> content(g_mime_data_wrapper_new_with_stream(stream.get(), GMIME_CONTENT_ENCODING_DEFAULT));
  g_mime_part_set_content(part, content.get());
  g_mime_object_set_disposition(GMIME_OBJECT(part), "attachment");
  g_mime_part_set_filename(part, file.filename().c_str());
  g_mime_part_set_content_encoding(part, GMIME_CONTENT_ENCODING_BASE64);
  return GMIME_OBJECT(part);
}

std::string Serialise(GMimeObject* object) {
  GPtr<GMimeStream> out(g_mime_stream_mem_new());
  if (g_mime_object_write_to_stream(object, nullptr, out.get()) < 0) throw RecordError("the mail cannot be written");
  GByteArray* array = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(out.get()));
  return std::string(reinterpret_cast<const char*>(array->data), array->len);
}

/// The message as an mbox entry: a "From " line, the message with its "From " lines
/// escaped, an empty line.
std::string MboxEntry(const std::string& message, const std::string& sender_address, GDateTime* date) {
  GPtr<GMimeStream> mem(g_mime_stream_mem_new());
  GPtr<GMimeStream> filtered(g_mime_stream_filter_new(mem.get()));
  GPtr<GMimeFilter> from(g_mime_filter_from_new(GMIME_FILTER_FROM_MODE_ESCAPE));
  g_mime_stream_filter_add(GMIME_STREAM_FILTER(filtered.get()), from.get());
  g_mime_stream_write(filtered.get(), message.data(), message.size());
  g_mime_stream_flush(filtered.get());
  GByteArray* array = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(mem.get()));
  std::string escaped(reinterpret_cast<const char*>(array->data), array->len);
  gchar* when = g_date_time_format(date, "%a %b %e %H:%M:%S %Y");
  std::string entry = "From " + (sender_address.empty() ? std::string("MAILER-DAEMON") : sender_address) + " " + when + "\n";
  g_free(when);
  entry += escaped;
  if (!entry.empty() && entry.back() != '\n') entry += "\n";
  entry += "\n";
  return entry;
}

}  // namespace

fs::path WriteMail(const Record& record, const fs::path& root, bool mbox) {
  g_mime_init();
  const std::string path_text = record.Get("PATH");
  if (path_text.empty()) throw RecordError("the mail record names no eml file (PATH:)");
  const fs::path working = fs::path(path_text).parent_path();
  const auto path_file = WorkingFile(path_text, working);
  std::string sender = record.Get("FROM");  // the side file's sender, when there is one
  if (sender.empty()) sender = SenderOfPathFile(path_file);

  GPtr<GMimeMessage> message(g_mime_message_new(TRUE));
  AddAddresses(message.get(), GMIME_ADDRESS_TYPE_FROM, sender);
  AddAddresses(message.get(), GMIME_ADDRESS_TYPE_TO, record.Get("TO"));
  AddAddresses(message.get(), GMIME_ADDRESS_TYPE_CC, record.Get("CC"));
  AddAddresses(message.get(), GMIME_ADDRESS_TYPE_BCC, record.Get("BCC"));
  const std::string subject = record.Get("SUBJECT");
  g_mime_message_set_subject(message.get(), subject.c_str(), "utf-8");
  GDateTime* date = nullptr;
  if (const auto d = ParseDate(record.Get("DATE")))
    date = g_date_time_new_utc(d->year, d->month, d->day, d->hour, d->minute, d->second);
  if (date == nullptr) date = g_date_time_new_now_utc();
  g_mime_message_set_date(message.get(), date);
  gchar* id = g_mime_utils_generate_message_id("mailsaving.invalid");
  g_mime_message_set_message_id(message.get(), id);
  g_free(id);

  GPtr<GMimeObject> body(BodyPart(record.Get("TYPE"), WorkingFile(record.Get("BPATH"), working)));
  std::vector<fs::path> attachments;
  for (const auto& piece : edbx::split(edbx::utf8_to_utf16(record.Get("ATTA")), u';')) {
    if (piece.empty()) continue;
    if (const auto file = WorkingFile(edbx::utf16_to_utf8(piece), working)) attachments.push_back(*file);
  }
  if (attachments.empty()) {
    g_mime_message_set_mime_part(message.get(), body.get());
  } else {
    GPtr<GMimeMultipart> mixed(g_mime_multipart_new_with_subtype("mixed"));
    g_mime_multipart_add(mixed.get(), body.get());
    for (const fs::path& file : attachments) {
      GPtr<GMimeObject> part(AttachmentPart(file));
      g_mime_multipart_add(mixed.get(), part.get());
    }
    g_mime_message_set_mime_part(message.get(), GMIME_OBJECT(mixed.get()));
  }
  const std::string bytes = Serialise(GMIME_OBJECT(message.get()));
  const fs::path folder = OutputFolder(root, record.Get("FolderPath"));
  const fs::path written = WriteNewFile(folder, SafeFileName(subject, "mail", ".eml"), bytes);
  if (mbox) {
    std::string address;
    if (InternetAddressList* from = g_mime_message_get_from(message.get()); internet_address_list_length(from) > 0)
      if (InternetAddress* a = internet_address_list_get_address(from, 0); INTERNET_ADDRESS_IS_MAILBOX(a))
        address = internet_address_mailbox_get_addr(INTERNET_ADDRESS_MAILBOX(a));
    if (address.find_first_of(" \t\r\n") != std::string::npos || address.empty()) address = "MAILER-DAEMON";
    AppendLocked(folder / (folder.filename().string() + ".mbox"), MboxEntry(bytes, address, date));
  }
  g_date_time_unref(date);
  return written;
}

}  // namespace mailsaving
