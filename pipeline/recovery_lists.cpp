#include "pipeline/recovery_lists.hpp"

namespace edbx {

void RecoveryLists::FreeAllLists() {
  folder_tables_2010.clear();
  header_tables_2010.clear();
  body_tables_2010.clear();
  view_tables_2010.clear();
  headers_2010.clear();
  folder_items_2010.clear();
  folder_items_2010.shrink_to_fit();
  folders_2010.clear();
  attachments_2010.clear();
  bodies_2010.clear();
  message_keys.clear();
  message_key_index_.clear();
  message_key_indexed_ = 0;
}

void RecoveryLists::FreeAll() {
  mailboxes.clear();
  folders.clear();
  tree_folders.clear();
  attachments.clear();
  FreeAllLists();
  listed_bodies.clear();
  save_queue.clear();
}

const MessageKeyNode* RecoveryLists::FindMessageKey(u16v key) const {
  // Walking from the head means newest first; the index maps a key to the newest node
  // with it, built incrementally as nodes arrive.
  const auto& nodes = message_keys.in_insertion_order();
  for (; message_key_indexed_ < nodes.size(); ++message_key_indexed_)
    message_key_index_[nodes[message_key_indexed_].message_key] = message_key_indexed_;
  const auto it = message_key_index_.find(u16(key));
  return it == message_key_index_.end() ? nullptr : &nodes[it->second];
}

const BodyNode2010* RecoveryLists::FindBody(u16v key, std::optional<u16v> table_name) const {
  // The last match in list order is the oldest node: walk in insertion order and stop at the first.
  for (const auto& node : bodies_2010.in_insertion_order()) {
    if (node.message_key != key) continue;
    if (table_name && node.table_name != *table_name) continue;
    return &node;
  }
  return nullptr;
}

}  // namespace edbx
