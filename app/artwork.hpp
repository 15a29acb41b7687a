#pragma once
// The program's pictures, drawn with QPainter so that their source is this code: the
// 16 folder-tree icons (in the order of the tree's image list), the application icon
// and the banners of the main dialog and the About box.

#include <QIcon>
#include <QImage>
#include <QString>

namespace edbx::gui {

/// Image-list indexes the folder classification hands out.
enum TreeIcon : int {
  kIconFolder = 0,  // the database root and unclassified folders
  kIconMailbox = 1,
  kIconStore = 2,
  kIconCalendar = 3,
  kIconContacts = 4,
  kIconDeleted = 5,
  kIconDrafts = 6,
  kIconInbox = 7,
  kIconJournal = 8,
  kIconJunk = 9,
  kIconNotes = 10,
  kIconOutbox = 11,
  kIconSent = 12,
  kIconTasks = 13,
  kIconSyncIssues = 14,
  kIconSearch = 15,
  kTreeIconCount = 16,
};

/// A 16 x 16 tree icon; `index` outside 0..15 gives the plain folder.
QImage DrawTreeIcon(int index);
/// The file name an icon is installed under ("folder-inbox.png", ...).
QString TreeIconName(int index);
/// The application icon at `size` pixels square.
QImage DrawAppIcon(int size);
QIcon AppIcon();
/// The top banner (`right` false) or the banner at the right of the main dialog, and
/// the About box picture.
QImage DrawBanner(int width, int height, bool right);
QImage DrawAboutPicture(int width, int height);

}  // namespace edbx::gui
