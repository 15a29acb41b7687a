#pragma once
// The lists through which the analysis hands what it recovered to browsing,
// preview and saving. "Append" lists keep insertion order; "push" lists put the
// newest node first. Nodes own their texts.

#include <cstdint>
#include <optional>
#include <unordered_map>
#include <vector>

#include "common/text.hpp"
#include "pipeline/dialog_ops.hpp"

namespace edbx {

/// A list whose newest element comes first when walked.
template <typename T>
class PushList {
 public:
  using iterator = typename std::vector<T>::const_reverse_iterator;
  void push(T node) { nodes_.push_back(std::move(node)); }
  iterator begin() const { return nodes_.rbegin(); }
  iterator end() const { return nodes_.rend(); }
  std::size_t size() const { return nodes_.size(); }
  bool empty() const { return nodes_.empty(); }
  void clear() {
    nodes_.clear();
    nodes_.shrink_to_fit();
  }
  /// Insertion order (oldest first), for indexes.
  const std::vector<T>& in_insertion_order() const { return nodes_; }

 private:
  std::vector<T> nodes_;
};

struct MailboxNode {
  u16 mailbox_id;
  std::optional<u16> mailbox_key_2010;
  u16 display_name;
  u16 owner_text;
  TreeItem tree_item = kNoTreeItem;
};

struct FolderNode {
  std::optional<u16> folder_id;
  std::optional<u16> parent_id;
  std::optional<u16> mailbox_id;
  u16 folder_path;
  u16 display_name;
  int reserved = 0;
  u16 content_table;
  u16 kind;
  u16 mailbox_display;
  u16 path_record;
  int row_index = 0;
};

struct TreeFolderNode {
  u16 mailbox_id;
  u16 mailbox_display;
  u16 mailbox_owner;
  u16 folder_id;
  u16 folder_name;
  u16 kind;
  TreeItem tree_item = kNoTreeItem;
  u16 tree_path;
  int row_index = 0;
  int level = 0;
};

struct TableRef2010 {
  u16 table_name;
  u16 part1;
  u16 part2;
  u16 joined;
};

struct ViewTableRef2010 {
  u16 table_name;
  u16 part1;
  u16 part2;
  u16 joined12;
  u16 part3;
  u16 part4;
  u16 joined34;
};

struct FolderItem2010 {
  u16 folder_id;
  u16 parent_id;
  u16 mailbox_id;
  u16 display_name;
  u16 kind;
  TreeItem tree_item = kNoTreeItem;
};

struct FolderRef2010 {
  u16 folder_id;
  u16 parent_id;
  u16 mailbox_id;
  u16 mailbox_display;
  u16 table_name;
  u16 display_name;
  u16 kind;
  TreeItem tree_item = kNoTreeItem;
};

struct HeaderNode2010 {
  u16 table_name;
  u16 message_key;
  u16 folder_id;
  u16 subject;
  u16 subject_prefix;
  u16 conversation_topic;
  u16 kind;
  u16 has_attachments;
  std::optional<u16> date;
  u16 sender;
};

/// A newer-layout item row of a body table. The table is reopened by name when read
/// again; no table handle outlives its extraction.
struct BodyNode2010 {
  u16 message_key;
  u16 attachment_key;
  int row_index = 0;
  u16 table_name;
  int table_index = 0;
};

struct AttachmentNode2010 {
  u16 message_key;
  int row_index = 0;
  u16 file_name;
  u16 table_name;
  int table_index = 0;
  int data_column = -1;
};

struct AttachmentNode {
  u16 owner_key;
  u16 file_name;
  int row_index = 0;
};

struct MessageKeyNode {
  u16 message_key;
  int row_index = 0;
  std::optional<u16> attachment_key;
};

struct ListedBodyNode {
  u16 message_key;
  u16 body_text;
};

struct SaveQueueNode {
  u16 item_key;
  u16 kind;
  u16 sender;
  u16 subject;
  u16 date;
  u16 extra;
  // What the lister found for the item itself, so that no value of another item
  // (the last previewed one) is saved with it.
  int record_number = -1;
  u16 to, cc, bcc;
  u16 attachment_key;
  u16 fallback_body;
};

/// Every list of one analysis run.
struct RecoveryLists {
  std::vector<MailboxNode> mailboxes;
  std::vector<FolderNode> folders;
  std::vector<TreeFolderNode> tree_folders;
  PushList<TableRef2010> folder_tables_2010;
  PushList<TableRef2010> header_tables_2010;
  PushList<TableRef2010> body_tables_2010;
  PushList<ViewTableRef2010> view_tables_2010;
  std::vector<FolderItem2010> folder_items_2010;
  PushList<FolderRef2010> folders_2010;
  PushList<HeaderNode2010> headers_2010;
  PushList<BodyNode2010> bodies_2010;
  PushList<AttachmentNode2010> attachments_2010;
  PushList<AttachmentNode> attachments;
  PushList<MessageKeyNode> message_keys;
  PushList<ListedBodyNode> listed_bodies;
  std::vector<SaveQueueNode> save_queue;

  /// Frees every list of a run (the start of a new analysis).
  void FreeAll();
  /// The newer-layout and item-key lists the driver frees after the first five.
  void FreeAllLists();

  /// The first message-key node in list order with exactly this key; null when none.
  const MessageKeyNode* FindMessageKey(u16v key) const;
  /// The last body node in list order with exactly this key (and, when given, this
  /// table name); null when none.
  const BodyNode2010* FindBody(u16v key, std::optional<u16v> table_name) const;

 private:
  mutable std::unordered_map<u16, std::size_t> message_key_index_;
  mutable std::size_t message_key_indexed_ = 0;
};

}  // namespace edbx
