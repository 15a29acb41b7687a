#pragma once
// A dialog without a screen: records what the pipeline shows, keeps the folder tree
// and the item list as models, and answers questions as told. Used by the command
// line and by tests. Safe to call from workers.

#include <functional>
#include <map>
#include <mutex>
#include <vector>

#include "pipeline/dialog_ops.hpp"

namespace edbx {

class HeadlessDialog : public DialogOps {
 public:
  struct Event {
    enum class Kind {
      kStatus,
      kProgressRange,
      kTreeInsert,
      kTreeExpand,
      kEnable,
      kClearList,
      kListRow,
      kFocusList,
      kMessageBox,
      kNavigate,
      kStopCaption,
      kDiagnostic,
    };
    explicit Event(Kind k, u16 t = {}, u16 c = {}) : kind(k), text(std::move(t)), caption(std::move(c)) {}
    Kind kind;
    u16 text;
    u16 caption;
    int a = 0;
    int b = 0;
    TreeItem item = kNoTreeItem;
    TreeItem parent = kNoTreeItem;
    ItemRow row{};
    std::filesystem::path path;
  };
  struct TreeNode {
    u16 name;
    TreeItem parent = kNoTreeItem;
    int icon = 0;
    std::vector<TreeItem> children;
    bool expanded = false;
  };
  using Listener = std::function<void(const Event&)>;

  HeadlessDialog();

  /// Called (under the dialog's lock) for every event as it happens.
  void SetListener(Listener listener);
  /// Called with every progress position (kept apart from the events).
  void SetProgressListener(std::function<void(int)> listener);
  /// The answer given to Yes/No questions (kAnswerYes by default).
  void SetQuestionAnswer(int answer);
  /// Keep progress positions (for tests); off by default, large stores move it often.
  void RecordProgress(bool on);
  /// Keep the events for Events() and StatusTexts() (on by default). A long save run
  /// turns it off so that memory stays flat; the listener still sees every event.
  void KeepEvents(bool on);

  std::vector<Event> Events() const;
  std::vector<u16> StatusTexts() const;
  std::vector<int> ProgressPositions() const;
  std::vector<ItemRow> Rows() const;
  std::vector<TreeItem> TopLevelItems() const;
  TreeNode Node(TreeItem item) const;
  bool Enabled(Control control) const;
  std::vector<std::filesystem::path> Navigations() const;
  void ClearEvents();

  // DialogOps
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

 private:
  void Record(Event e);

  mutable std::mutex mutex_;
  Listener listener_;
  std::function<void(int)> progress_listener_;
  int answer_ = kAnswerYes;
  bool record_progress_ = false;
  bool keep_events_ = true;
  std::vector<Event> events_;
  std::vector<int> progress_;
  std::map<TreeItem, TreeNode> tree_;
  std::vector<TreeItem> top_level_;
  TreeItem next_item_ = 1;
  std::vector<ItemRow> rows_;
  std::map<Control, bool> enabled_;
  u16 stop_caption_ = u"Stop";
};

}  // namespace edbx
