#pragma once
// Declarative description of an Exchange store: mailboxes, folders, items and
// attachments, in the shapes the recovery tool reads.

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "tools/edbforge/ese/schema.hpp"

namespace edbforge::store {

/// A property value for a column named by Exchange's convention: S text, T time
/// (FILETIME), L 32-bit, Q 64-bit identifier, B boolean, N binary, D double, MS/MN
/// multi-valued text/binary.
struct Blob {
  std::string bytes;
};
using PropertyValue = std::variant<std::u16string,             // S
                                   uint64_t,                   // T (FILETIME), Q (as an 8-byte id)
                                   int64_t,                    // L
                                   bool,                       // B
                                   double,                     // D
                                   Blob,                       // N
                                   std::vector<std::u16string>,  // MS
                                   std::vector<Blob>>;           // MN

struct Property {
  std::string column;  // "S3a06", "T818f", ...
  PropertyValue value;
};

struct Address {
  std::u16string name;
  std::string address;  // SMTP address, ASCII
};

struct AttachmentDesc {
  std::u16string name;                    // display name (S3001)
  std::optional<std::u16string> long_name;   // S3707; the display name when absent
  std::optional<std::u16string> short_name;  // S3704; an 8.3 form of the name when absent
  std::string data;
  int32_t method = 1;                     // attach by value
  std::optional<uint64_t> id;
};

enum class HtmlEncoding : uint8_t { Windows1252, Utf8 };

struct ItemDesc {
  std::u16string message_class = u"IPM.Note";
  std::optional<uint64_t> key;
  std::u16string subject;  // without prefix
  std::u16string subject_prefix;
  std::optional<std::u16string> conversation_topic;
  std::optional<Address> from;
  std::vector<Address> to, cc, bcc;
  std::optional<uint64_t> sent, received, created;  // FILETIME
  std::optional<std::u16string> body;
  std::optional<std::u16string> html;
  HtmlEncoding html_encoding = HtmlEncoding::Windows1252;
  std::optional<std::string> rtf;  // RTF text, stored compressed
  std::optional<std::u16string> transport_headers;  // generated for mail when absent
  bool generate_headers = true;
  std::optional<bool> has_attachments;
  std::optional<int32_t> article_number;
  std::vector<AttachmentDesc> attachments;
  std::vector<Property> properties;
};

struct FolderDesc {
  std::u16string name;
  std::u16string container_class = u"IPF.Note";
  std::optional<uint64_t> id;
  std::optional<std::u16string> path;  // folder path text of the older layout
  std::vector<ItemDesc> items;
  std::vector<FolderDesc> folders;
};

struct MailboxDesc {
  std::u16string name;
  std::u16string owner;
  std::optional<uint64_t> id;
  std::vector<FolderDesc> folders;
};

/// None writes only the plain tables of a description.
enum class Layout : uint8_t { Older, Newer, None };

struct StoreOptions {
  Layout layout = Layout::Older;
  bool public_store = false;
  /// 0: 17 for the newer layout; for the older layout 12, or 17 with pages above 8 KiB
  /// (such pages need revision 17; the "Msg" table still makes readers take the older layout).
  uint32_t format_revision = 0;
  uint32_t page_size = 8192;
  std::u16string attachment_table = u"Attachment";
  std::string attachment_callback = "JCB.DLL!EcJcbAttachCallback";
  /// Older layout: content tables get one column of their own (readers that cannot
  /// read such derived tables must cope).
  bool content_tables_with_own_column = false;
  uint32_t intrinsic_long_value_limit = 1024;
  int64_t timestamp = 1262700239;

  uint32_t effective_revision() const {
    if (format_revision != 0) return format_revision;
    return layout == Layout::Older && page_size <= 8192 ? 12 : 17;
  }
};

/// A plain table with its rows, written as it is.
struct PlainTable {
  ese::TableDef def;
  std::vector<ese::Row> rows;  // values by column position in catalog order
};

struct StoreDesc {
  StoreOptions options;
  std::vector<MailboxDesc> mailboxes;
  std::vector<FolderDesc> public_folders;
  std::vector<PlainTable> tables;
};

}  // namespace edbforge::store
