#pragma once
// A click on an item row: the current item is filled from the row, the item's body
// table row or "Msg" row is found, its attachments are written, and the page of its
// kind is shown.

#include "pipeline/dialog_ops.hpp"

namespace edbx {

struct Session;

/// The preview worker: shows the item of `row` (nothing for an empty key). The tree and
/// the list are disabled while it runs.
void ShowPreview(Session& session, const ItemRow& row);

/// The dispatchers of the two layouts; they read the current item. Return 1.
int DispatchNewerPreview(Session& session);
int DispatchOlderPreview(Session& session);

}  // namespace edbx
