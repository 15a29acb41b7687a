#pragma once
// The operations the analysis, listing, preview and saving code performs on the
// main dialog. The desktop program implements them on its widgets; the command
// line and the tests use HeadlessDialog.

#include <array>
#include <cstdint>
#include <filesystem>

#include "common/text.hpp"

namespace edbx {

/// Opaque handle of a folder-tree item; 0 is no item.
using TreeItem = std::uint64_t;
inline constexpr TreeItem kNoTreeItem = 0;
/// The tree's root position, as a parent for top-level items.
inline constexpr TreeItem kTreeRoot = ~TreeItem{0};

/// Controls the pipeline enables and disables (the numbers are the dialog's ids).
enum class Control : int {
  kFolderTree = 1000,
  kItemList = 1001,
  kSaveButton = 1003,
  kBrowseButton = 1007,
  kStopButton = 1043,
  kOpenMenu = 32771,
  kSaveMenu = 32772,
};

/// Message box styles and answers.
inline constexpr unsigned kBoxYesNo = 0x0004;
inline constexpr unsigned kBoxIconQuestion = 0x0020;
inline constexpr unsigned kBoxIconInformation = 0x0040;
inline constexpr unsigned kBoxSystemModal = 0x1000;
inline constexpr int kAnswerOk = 1;
inline constexpr int kAnswerYes = 6;
inline constexpr int kAnswerNo = 7;

/// The eleven texts of an item-list row (only columns 4 to 7 are shown).
using ItemRow = std::array<u16, 11>;

class DialogOps {
 public:
  virtual ~DialogOps() = default;

  /// Pane 3 of the status bar.
  virtual void SetStatusText(u16v text) = 0;
  virtual void SetProgressRange(int low, int high) = 0;
  virtual void SetProgressPos(int pos) = 0;

  /// Inserts an item as the last child of `parent` (kTreeRoot: at the root) and returns it.
  virtual TreeItem InsertTreeItem(u16v name, TreeItem parent, int icon) = 0;
  virtual void ExpandTreeItem(TreeItem item) = 0;

  virtual void EnableControl(Control control, bool enabled) = 0;

  virtual void ClearItemList() = 0;
  /// Inserts a row at `position` (clamped to the end of the list).
  virtual void InsertItemRow(int position, const ItemRow& row) = 0;
  virtual void FocusItemList() = 0;

  /// Shows a message box and returns the answer (kAnswerOk, kAnswerYes, kAnswerNo).
  virtual int MessageBox(u16v text, u16v caption, unsigned style) = 0;

  /// Shows a local file in the preview pane; failures are ignored.
  virtual void Navigate(const std::filesystem::path& page) = 0;

  virtual u16 StopButtonCaption() = 0;
  virtual void SetStopButtonCaption(u16v caption) = 0;

  /// A detail of a failure the user interface does not show (a library error text):
  /// the command line prints it, the desktop program stays silent.
  virtual void ReportDiagnostic(u16v text) = 0;
};

}  // namespace edbx
