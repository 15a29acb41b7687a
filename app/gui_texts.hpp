#pragma once
// The fixed texts of the desktop program, exactly as users see them (leading and
// trailing blanks included).

namespace edbx::gui::texts {

inline constexpr char kProductName[] = "Vestra Exchange Mailbox Recovery";
inline constexpr char kVersion[] = "1.0";
inline constexpr char kWindowTitle[] = "Vestra Exchange Mailbox Recovery 1.0";
inline constexpr char kMakerName[] = "Vestra IT Solutions";
inline constexpr char kMakerAddress[] = "www.vestra-it-solutions.example";
inline constexpr char kStatusReady[] = "Vestra Exchange Mailbox Recovery ";

// Main dialog controls.
inline constexpr char kExit[] = "Exit";
inline constexpr char kSaveMailbox[] = "Save Mailbox";
inline constexpr char kBrowse[] = "Browse";
inline constexpr char kStop[] = "Stop";
inline constexpr char kSelectEdbLabel[] = "Select Exchange EDB file: ";
inline constexpr char kMailboxListLabel[] = "Mailbox List : ";

// Menus.
inline constexpr char kMenuFile[] = "File";
inline constexpr char kMenuOpen[] = "Open Exchange EDB";
inline constexpr char kMenuSave[] = "Save Mailbox";
inline constexpr char kMenuExit[] = "Exit";
inline constexpr char kMenuHelp[] = "Help";
inline constexpr char kMenuAbout[] = "About Vestra Exchange Mailbox Recovery";
inline constexpr char kMenuHelpTopic[] = "Software help topic";
inline constexpr char kSystemMenuAbout[] = "&About Vestra Exchange Mailbox Recovery...";

inline constexpr char kAboutTitle[] = "About Vestra Exchange Mailbox Recovery 1.0 (Outlook 32bit Supported)";
inline constexpr char kOk[] = "OK";

/// Written (UTF-16LE, no byte-order mark) to the current page when Browse or the start-up starts a run.
inline constexpr char16_t kStartPage[] =
    u"<div align=\"center\"><br><br><h1 >Recovery Started! Please wait for completion...</h1><br><br> </div>";

inline constexpr char kCloseQuestion[] = "Are you sure, you want to close..                       ";
inline constexpr char kCloseCaption[] = "  Vestra Exchange Mailbox Recovery             ";

inline constexpr char kHelpFileName[] = "vestra-mailbox-recovery.html";

// Database selection dialog.
inline constexpr char kSelectTitle[] = "File Open Dialog";
inline constexpr char kSelectHeading[] = "Please Select Exchange Database (*.edb) File";
inline constexpr char kSelectDatabase[] = "Select Exchange Database";
inline constexpr char kTempLocation[] = "Temp file location";
inline constexpr char kSelectTempFolder[] = "Select temp folder";
inline constexpr char kNext[] = "Next...";
inline constexpr char kCancel[] = "Cancel";
inline constexpr char kOpenFileTitle[] = "Select Microsoft Exchange Database File...";
/// The file filter, in Qt's "Description (patterns)" form of the two-space description.
inline constexpr char kOpenFileFilter[] = "Microsoft Exchange Database  File (*edb) (*.edb)";
inline constexpr char kFolderBrowserTitle[] = "Select the Temp Path";
inline constexpr char kInvalidFile[] = "Please select valid file";
inline constexpr char kWorkingSubfolder[] = "Vestra";

// Export options dialog.
inline constexpr char kExportTitle[] = "Choose Export Options..";
inline constexpr char kExportMail[] = "  Export Email Items";
inline constexpr char kExportContacts[] = "  Export Contact Items";
inline constexpr char kExportCalendar[] = "  Export Calendar Items";
/// "&&" in the dialog template shows one "&".
inline constexpr char kExportAll[] = "  Export All Items (Email, Contact && Calender)";
inline constexpr char kExport[] = "Export";
inline constexpr char kSaveFolderTitle[] = "Select the folder to save the items into";

}  // namespace edbx::gui::texts
