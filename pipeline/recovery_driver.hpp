#pragma once
// The analysis: opens the database read-only, lists its tables, decides store type
// and layout, runs the extraction steps, builds the folder tree and ends with the
// success or failure message.

#include "common/text.hpp"

namespace edbx {

struct Session;

/// Runs the analysis of session.database_path. Returns 1 when it reached an end
/// message (success or failure).
int RunAnalysis(Session& session);

/// Shows a short HTML page in the preview pane: written as ASCII to
/// "temp<N>.html" in the start-up directory (never through a planted link).
void ShowStatusPage(Session& session, u16v html);

/// Writes three blanks (UTF-16LE, no mark) to the current page path and shows it.
void WriteBlankPage(Session& session);

/// The older layout's folder tree, one mailbox at a time (from the folder list).
void BuildFolderTree(Session& session);

}  // namespace edbx
