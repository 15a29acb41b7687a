#pragma once
// Writes Exchange stores in the older layout (one "Mailbox", "Folders", "Msg" and
// attachment table, one content table per folder) or the newer layout (per-mailbox
// "Folders-", "MsgHeader-", "Body-" and "MsgView-" tables), private or public.

#include <filesystem>
#include <memory>

#include "tools/edbforge/store/store_model.hpp"

namespace edbforge::store {

class StoreBuilder {
 public:
  StoreBuilder(const std::filesystem::path& path, const StoreOptions& options);
  ~StoreBuilder();
  StoreBuilder(const StoreBuilder&) = delete;
  StoreBuilder& operator=(const StoreBuilder&) = delete;

  using MailboxRef = std::size_t;
  using FolderRef = std::size_t;
  static constexpr FolderRef kNoParent = static_cast<FolderRef>(-1);

  /// A mailbox of a private store; its root folders are added with it.
  MailboxRef add_mailbox(const MailboxDesc& mailbox);
  /// A folder (items and subfolders of `folder` are ignored; add them separately).
  /// `mailbox` is ignored in a public store.
  FolderRef add_folder(MailboxRef mailbox, FolderRef parent, const FolderDesc& folder);
  void add_item(FolderRef folder, const ItemDesc& item);
  /// A plain table; rows give values by column position in catalog order.
  void add_plain_table(const PlainTable& table);
  void finish();

  uint64_t items() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

/// Builds a whole described store.
void BuildStore(const StoreDesc& desc, const std::filesystem::path& path);

}  // namespace edbforge::store
