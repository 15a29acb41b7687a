#pragma once
// One header page per kind of item. Each renderer reads the current item (the clicked
// row and what the dispatcher found for it) and the item's record: in the newer layout
// the body-table row, in the older layout the "Msg" row. Each returns 1 when the page
// was shown, 0 when an RTF body gave nothing to show, -1 when the older layout gave it
// no record.

namespace edbx {

struct Session;
class EseRecord;

int ShowMailPage(Session& session, const EseRecord* record);
int ShowContactPage(Session& session, const EseRecord* record);
int ShowAppointmentPage(Session& session, const EseRecord* record);
int ShowTaskPage(Session& session, const EseRecord* record);
/// Older layout only: the newer layout shows journal items as mail.
int ShowJournalPage(Session& session, const EseRecord* record);
/// The newer layout shows a note's body alone, without a header page.
int ShowNotePage(Session& session, const EseRecord* record);

}  // namespace edbx
