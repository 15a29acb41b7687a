#pragma once
// Item kinds from message classes, and the classes that are not user items. The
// newer-layout header extractor and the older-layout folder lister use two slightly
// different tables.

#include "common/text.hpp"

namespace edbx {

/// Kind of a message-header row: "mail", "contact", "distlist", "appointment",
/// "activity", "task", "rss", "notes", or the class itself.
u16 HeaderItemKind(u16v message_class);
/// Kind of a folder-content row: as HeaderItemKind, except that "IPM.InkNotes" and
/// "IPF.InkNotes" are notes and "srvinfo.expiry" is not mail.
u16 ListerItemKind(u16v message_class);

/// Kinds the header extractor does not list (the lister's list and "IPM.Configuration.ELC").
bool IsExcludedHeaderKind(u16v kind);
/// Kinds the folder lister does not list.
bool IsExcludedListerKind(u16v kind);

}  // namespace edbx
