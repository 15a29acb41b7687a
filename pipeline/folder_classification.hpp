#pragma once
// Folder kinds from container classes, tree icons from names and kinds, and the
// folder rows of the older layout's "Folders" table.

#include <optional>

#include "common/text.hpp"
#include "pipeline/dialog_ops.hpp"

namespace edbx {

struct Session;
class EseRecord;

/// "calendar", "journal", "contact", "task", "note", "Folder", or the "IPF."/"IPM."
/// class itself.
u16 ClassifyFolderKind(u16v container_class);

/// Tree icon for a folder name and kind (name rule first, rows top to bottom).
int FolderIcon(u16v name, u16v kind);

/// Inserts a tree item (under `parent`, or at the root for kTreeRoot) with the icon
/// its name and kind choose, expands the root item, and returns the new item.
TreeItem InsertFolderItem(Session& session, u16v name, TreeItem parent, u16v kind);

/// "1-" and characters 2 to 15 of the folder id without leading zeros, in upper case;
/// "1-" for a missing id.
u16 ContentTableName(const std::optional<u16>& folder_id);

/// Builds one older-layout folder row and appends a folder node per mailbox it
/// belongs to. Returns 1, or -1 without a record.
int AddFolderRow(Session& session, const EseRecord* record, int row_index);

}  // namespace edbx
