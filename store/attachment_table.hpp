#pragma once
// The attachment table of an older-layout store is the table that declares the
// attachment callback. Callbacks are catalog entries that libesedb reads but does not
// expose, so they are found in the catalog table "MSysObjects" itself.

#include "common/text.hpp"
#include "store/esedb.hpp"

namespace edbx {

/// Name of the table that declares the callback "JCB.DLL!EcJcbAttachCallback".
///
/// Callback rows of "MSysObjects" (Type 5) are matched by their whole name (one stored
/// trailing NUL is ignored; a name that merely begins or ends the callback name does not
/// match), and the table row (Type 1) with the same ObjidTable gives the table's name.
/// When several tables declare the callback, the last in catalog order wins. Empty when
/// no table does or the catalog cannot be read.
u16 FindAttachmentTableName(const EseDatabase& database);

}  // namespace edbx
