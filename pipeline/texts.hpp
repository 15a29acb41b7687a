#pragma once
// The fixed texts of the analysis and run control, exactly as users see them
// (trailing blanks included).

namespace edbx::texts {

inline constexpr char16_t kStatusStep1[] = u"Status: (Step 1/7) initialize Exchange EDB File (please wait..) ";
inline constexpr char16_t kStatusUnableToInitialize[] = u"Status: Unable to initialize Database ";
inline constexpr char16_t kStatusUnableToRecover[] = u"Status: Unable to Recover Exchange Database ";
inline constexpr char16_t kStatusStep2[] = u"Status: (Step 2/7) Scan MsysObject table (please wait..) ";
inline constexpr char16_t kStatusStep3[] = u"Status: (Step 3/7) Scan exchange store informations (please wait..) ";
inline constexpr char16_t kStatusNewerLayout[] = u"2010";
inline constexpr char16_t kStatusFolders2010[] = u"Status: Extract Exchange 2010 Folder Information.  ";
inline constexpr char16_t kStatusHeaders2010[] = u"Status: Extract Exchange 2010 Message Header Information.  ";
inline constexpr char16_t kStatusBodies2010[] = u"Status: Extract Exchange 2010 Message Information.  ";
inline constexpr char16_t kStatusCompleted[] = u"Status: Analysis Completed ";
inline constexpr char16_t kStatusStep4[] = u"Status: (Step 4/7) Rebuild mailbox folders informations (please wait..) ";
inline constexpr char16_t kStatusStep4Folder[] = u"Status: (Step 4/7) Rebuild mailbox folders informations ( ";
inline constexpr char16_t kStatusStep5Mails[] = u"Status : (Step 5/7) Extract mailbox email informations (please wait..) ";
inline constexpr char16_t kStatusStep5Attachments[] =
    u"Status: (Step 5/7) Extract mailbox email attachment informations (please wait..) ";
inline constexpr char16_t kStatusFailure[] = u"Unable to Recover Exchange Database ";

inline constexpr char16_t kSuccessMessage[] = u"Analysis Completed successfully               ";
inline constexpr char16_t kSuccessCaption[] = u"  Vestra Exchange Mailbox Recovery  : Full Version v1.0             ";
inline constexpr char16_t kFailureMessage[] = u"Unable to Recover Exchange Database               ";
inline constexpr char16_t kFailureCaption[] = u"  Vestra Exchange Mailbox Recovery : Full Version v1.0                 ";

inline constexpr char16_t kPagePleaseWait[] =
    u"<div align=\"center\"><br><br><h1 >Please wait...</h1><br><h3>Scanning process started<h3><br></div>";
inline constexpr char16_t kPageCompleted[] =
    u"<div align=\"center\"><br><br><h1 >Analysis Completed ...</h1><br><br></div>";
inline constexpr char16_t kPageStopped[] =
    u"<div align=\"center\"><br><br><h1 >Process stoped by user ...</h1><br><br></div>";
inline constexpr char16_t kPageResumed[] =
    u"<div align=\"center\"><br><br><h1 >Process resume by user ...</h1><br><br></div>";
/// Written to the current page path when an older-layout folder is listed.
inline constexpr char16_t kPageBlank[] = u"   ";

inline constexpr char16_t kStopQuestion[] = u"Do you want to sure stop recovery process ?";
inline constexpr char16_t kStopCaption[] = u"  Vestra Exchange Mailbox Recovery             ";
inline constexpr char16_t kResumeQuestion[] = u"Do you want to sure resume recovery process ?";
inline constexpr char16_t kResumeCaption[] = u"  Vestra Exchange Mailbox Recovery           ";
inline constexpr char16_t kStopCaptionStop[] = u"Stop";
inline constexpr char16_t kStopCaptionResume[] = u"Resume";

inline constexpr char16_t kPublicFolder[] = u"Public Folder";
inline constexpr char16_t kPublicMailboxId[] = u"public_folder";
inline constexpr char16_t kAttachCallback[] = u"JCB.DLL!EcJcbAttachCallback";

}  // namespace edbx::texts
