#pragma once
// The main dialog: folder tree, item list, preview pane, database path, the command
// buttons, menus and the status bar with its progress bar. It drives the analysis,
// listing, preview and save runs through run control; the workers reach the widgets
// only through WidgetDialogOps, which hands every call to the user-interface thread.

#include <QMainWindow>

#include <array>
#include <atomic>
#include <deque>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "app/browse_file.hpp"
#include "app/dialog_layout.hpp"
#include "app/folder_tree.hpp"
#include "app/item_list.hpp"
#include "app/small_dialogs.hpp"
#include "app/ui_bridge.hpp"
#include "pipeline/dialog_ops.hpp"
#include "pipeline/run_control.hpp"
#include "pipeline/session.hpp"

class QAction;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QSizeGrip;

namespace edbx::gui {

class CEDBExportDlg;
class CExplorer1;

/// The dialog operations on the widgets: callable from any thread.
class WidgetDialogOps : public DialogOps {
 public:
  WidgetDialogOps(CEDBExportDlg& dialog, UiBridge& bridge) : dlg_(dialog), bridge_(bridge) {}

  void SetStatusText(u16v text) override;
  void SetProgressRange(int low, int high) override;
  void SetProgressPos(int pos) override;
  TreeItem InsertTreeItem(u16v name, TreeItem parent, int icon) override;
  void ExpandTreeItem(TreeItem item) override;
  void EnableControl(Control control, bool enabled) override;
  void ClearItemList() override;
  void InsertItemRow(int position, const ItemRow& row) override;
  void FocusItemList() override;
  int MessageBox(u16v text, u16v caption, unsigned style) override;
  void Navigate(const std::filesystem::path& page) override;
  u16 StopButtonCaption() override;
  void SetStopButtonCaption(u16v caption) override;
  void ReportDiagnostic(u16v text) override;

  /// Applies the next batch of item-list changes (user-interface thread).
  void FlushList();
  /// Applies every item-list change still waiting (user-interface thread).
  void FlushListAll();

 private:
  struct ListCommand {
    enum Kind { kClear, kRow, kFocus } kind;
    int position = 0;
    ItemListModel::Row row{};
  };
  /// Item-list changes are gathered and applied in batches, in order.
  void QueueList(ListCommand command);

  CEDBExportDlg& dlg_;
  UiBridge& bridge_;
  std::mutex list_mutex_;
  std::deque<ListCommand> list_queue_;
  std::mutex status_mutex_;
  QString status_text_;
  bool status_posted_ = false;
  std::atomic<int> progress_pos_{0};
  std::atomic<bool> progress_posted_{false};
};

/// How the program was started.
struct StartOptions {
  std::filesystem::path database;  // non-empty: open it without the selection dialog
  std::filesystem::path work;      // the base of the working folder (status pages beside it)
  QString folder;                  // "Mailbox/Folder/Sub" to select after the analysis
  QString item;                    // the key of the row to click after the listing
  QString screenshot;              // PNG of the window once everything has shown
  bool quit = false;               // end when the scripted steps are done
};

class CEDBExportDlg : public QMainWindow {
  Q_OBJECT

 public:
  explicit CEDBExportDlg(StartOptions options = {}, QWidget* parent = nullptr);
  ~CEDBExportDlg() override;

  /// Runs the start-up: the selection dialog (or the scripted database) and the analysis.
  void Start();

  // Hooks for tests and the scripted mode.
  using MessageBoxHook = std::function<int(const QString& text, const QString& caption, unsigned style)>;
  /// Replaces the message boxes (called on the user-interface thread).
  void SetMessageBoxHook(MessageBoxHook hook) { message_box_hook_ = std::move(hook); }
  void SetChoosers(browsefile::Choosers choosers) { choosers_ = std::move(choosers); }
  /// What "Yes" to the close question does (by default the process ends at once).
  void SetTerminate(std::function<void()> terminate) { terminate_ = std::move(terminate); }
  void SetHelpOpener(std::function<void(const QString&)> opener) { help_opener_ = std::move(opener); }
  /// Runs the export options dialog (tests answer it).
  void SetExportChooser(std::function<std::optional<ExportChoice>(QWidget*)> chooser) {
    export_chooser_ = std::move(chooser);
  }
  /// Asks where a save run writes its files (empty: cancelled).
  void SetSaveFolderChooser(std::function<QString(QWidget*)> chooser) { save_folder_chooser_ = std::move(chooser); }

  // Commands.
  void OnBrowse();
  void OnOpen();
  void OnSaveMailbox();
  void OnStop();
  void OnHelp();
  void ShowAbout();
  void ConfirmClose();
  /// Opens `database` with working folder base `work` and starts the analysis.
  bool OpenDatabase(const std::filesystem::path& database, const std::filesystem::path& work_base);

  // Access for tests.
  Session& session() { return *session_; }
  RunControl& run_control() { return *control_; }
  CFolderTreeCtrl1* tree() const { return tree_; }
  ItemListView* list() const { return list_; }
  ItemListModel* list_model() const { return model_; }
  CExplorer1* explorer() const { return browser_; }
  QPushButton* button(Control c) const;
  QAction* action(Control c) const;
  QPushButton* exit_button() const { return exit_; }
  QLineEdit* path_field() const { return path_field_; }
  QString status_text(int part) const;
  QProgressBar* status_progress() const { return status_progress_; }
  QSizeGrip* size_grip() const { return grip_; }
  const DatabaseSelection& selection() const { return selection_; }
  /// How often the pane was navigated (a page was asked for).
  int navigations() const { return navigations_; }
  /// Applies what finished workers sent and the widgets have not shown yet.
  void FlushPending() { ops_->FlushListAll(); }
  /// The tree item a "Mailbox/Folder" path names, or null.
  QTreeWidgetItem* FindFolder(const QString& path) const;
  /// The result of the scripted steps (exit status).
  int script_status() const { return script_status_; }

 signals:
  /// The scripted steps are done (with the exit status).
  void ScriptDone(int status);

 protected:
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  friend class WidgetDialogOps;

  void BuildControls();
  void BuildMenus();
  void BuildStatusBar();
  void StartLayout();
  void OnClientResized();
  void SelectAndStart(bool start_page);
  void BeginAnalysis(bool start_page);
  void OnItemClicked();
  void OnFolderSelected(CFolderTreeCtrl1::Handle handle);
  /// Marks a job as started by the interface: the commands that would start a
  /// competing one are disabled until it ends.
  void JobStarted();
  void WatchJobs();
  void ApplyEnabled();
  int ShowMessageBox(const QString& text, const QString& caption, unsigned style);
  void NavigateNow(const std::filesystem::path& page);
  void ScriptStep();
  void FinishScript(int status);
  void RunSave(ExportChoice choice, const std::filesystem::path& output_root);

  StartOptions options_;
  UiBridge bridge_;
  std::unique_ptr<WidgetDialogOps> ops_;
  std::unique_ptr<Session> session_;
  std::unique_ptr<RunControl> control_;
  DatabaseSelection selection_;

  QWidget* client_ = nullptr;
  ItemListModel* model_ = nullptr;
  ItemListView* list_ = nullptr;
  CFolderTreeCtrl1* tree_ = nullptr;
  QProgressBar* progress_1005_ = nullptr;
  QProgressBar* status_progress_ = nullptr;
  CExplorer1* browser_ = nullptr;
  QLabel* transparent_static_ = nullptr;
  QPushButton* stop_ = nullptr;
  QPushButton* browse_ = nullptr;
  QPushButton* save_ = nullptr;
  QPushButton* exit_ = nullptr;
  QLineEdit* path_field_ = nullptr;
  QLabel* right_banner_ = nullptr;
  QWidget* status_bar_ = nullptr;
  std::array<QLabel*, 4> status_parts_{};
  QSizeGrip* grip_ = nullptr;
  QAction* open_action_ = nullptr;
  QAction* save_action_ = nullptr;

  DialogLayout layout_;
  bool layout_started_ = false;
  bool status_bar_ready_ = false;
  std::map<Control, bool> pipeline_enabled_;
  bool ui_job_running_ = false;
  int navigations_ = 0;

  MessageBoxHook message_box_hook_;
  browsefile::Choosers choosers_;
  std::function<void()> terminate_;
  std::function<void(const QString&)> help_opener_;
  std::function<std::optional<ExportChoice>(QWidget*)> export_chooser_;
  std::function<QString(QWidget*)> save_folder_chooser_;

  enum class ScriptStage { kNone, kAnalysing, kListing, kPreviewing, kSettling, kDone };
  ScriptStage stage_ = ScriptStage::kNone;
  int stage_navigations_ = 0;
  int script_status_ = 0;
};

}  // namespace edbx::gui
