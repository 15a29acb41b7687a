#include "pipeline/headless_dialog.hpp"

#include <algorithm>

namespace edbx {

HeadlessDialog::HeadlessDialog() {
  for (Control c : {Control::kFolderTree, Control::kItemList, Control::kSaveButton, Control::kBrowseButton,
                    Control::kStopButton, Control::kOpenMenu, Control::kSaveMenu})
    enabled_[c] = true;
}

void HeadlessDialog::SetListener(Listener listener) {
  std::lock_guard lock(mutex_);
  listener_ = std::move(listener);
}

void HeadlessDialog::SetProgressListener(std::function<void(int)> listener) {
  std::lock_guard lock(mutex_);
  progress_listener_ = std::move(listener);
}

void HeadlessDialog::SetQuestionAnswer(int answer) {
  std::lock_guard lock(mutex_);
  answer_ = answer;
}

void HeadlessDialog::RecordProgress(bool on) {
  std::lock_guard lock(mutex_);
  record_progress_ = on;
}

void HeadlessDialog::KeepEvents(bool on) {
  std::lock_guard lock(mutex_);
  keep_events_ = on;
}

void HeadlessDialog::Record(Event e) {
  if (!keep_events_) {
    if (listener_) listener_(e);
    return;
  }
  events_.push_back(std::move(e));
  if (listener_) listener_(events_.back());
}

std::vector<HeadlessDialog::Event> HeadlessDialog::Events() const {
  std::lock_guard lock(mutex_);
  return events_;
}

std::vector<u16> HeadlessDialog::StatusTexts() const {
  std::lock_guard lock(mutex_);
  std::vector<u16> out;
  for (const auto& e : events_)
    if (e.kind == Event::Kind::kStatus) out.push_back(e.text);
  return out;
}

std::vector<int> HeadlessDialog::ProgressPositions() const {
  std::lock_guard lock(mutex_);
  return progress_;
}

std::vector<ItemRow> HeadlessDialog::Rows() const {
  std::lock_guard lock(mutex_);
  return rows_;
}

std::vector<TreeItem> HeadlessDialog::TopLevelItems() const {
  std::lock_guard lock(mutex_);
  return top_level_;
}

HeadlessDialog::TreeNode HeadlessDialog::Node(TreeItem item) const {
  std::lock_guard lock(mutex_);
  const auto it = tree_.find(item);
  return it == tree_.end() ? TreeNode{} : it->second;
}

bool HeadlessDialog::Enabled(Control control) const {
  std::lock_guard lock(mutex_);
  return enabled_.at(control);
}

std::vector<std::filesystem::path> HeadlessDialog::Navigations() const {
  std::lock_guard lock(mutex_);
  std::vector<std::filesystem::path> out;
  for (const auto& e : events_)
    if (e.kind == Event::Kind::kNavigate) out.push_back(e.path);
  return out;
}

void HeadlessDialog::ClearEvents() {
  std::lock_guard lock(mutex_);
  events_.clear();
  progress_.clear();
}

void HeadlessDialog::SetStatusText(u16v text) {
  std::lock_guard lock(mutex_);
  Event e{Event::Kind::kStatus, u16(text), {}};
  Record(std::move(e));
}

void HeadlessDialog::SetProgressRange(int low, int high) {
  std::lock_guard lock(mutex_);
  Event e{Event::Kind::kProgressRange, {}, {}};
  e.a = low;
  e.b = high;
  Record(std::move(e));
}

void HeadlessDialog::SetProgressPos(int pos) {
  std::lock_guard lock(mutex_);
  if (record_progress_) progress_.push_back(pos);
  if (progress_listener_) progress_listener_(pos);
}

TreeItem HeadlessDialog::InsertTreeItem(u16v name, TreeItem parent, int icon) {
  std::lock_guard lock(mutex_);
  const TreeItem item = next_item_++;
  TreeNode node;
  node.name = u16(name);
  node.parent = parent == kTreeRoot ? kNoTreeItem : parent;
  node.icon = icon;
  tree_[item] = node;
  if (parent == kTreeRoot || parent == kNoTreeItem || tree_.count(parent) == 0) {
    top_level_.push_back(item);
    tree_[item].parent = kNoTreeItem;
  } else {
    tree_[parent].children.push_back(item);
  }
  Event e{Event::Kind::kTreeInsert, u16(name), {}};
  e.item = item;
  e.parent = parent;
  e.a = icon;
  Record(std::move(e));
  return item;
}

void HeadlessDialog::ExpandTreeItem(TreeItem item) {
  std::lock_guard lock(mutex_);
  if (auto it = tree_.find(item); it != tree_.end()) it->second.expanded = true;
}

void HeadlessDialog::EnableControl(Control control, bool enabled) {
  std::lock_guard lock(mutex_);
  enabled_[control] = enabled;
  Event e{Event::Kind::kEnable, {}, {}};
  e.a = static_cast<int>(control);
  e.b = enabled ? 1 : 0;
  Record(std::move(e));
}

void HeadlessDialog::ClearItemList() {
  std::lock_guard lock(mutex_);
  rows_.clear();
  Record(Event{Event::Kind::kClearList, {}, {}});
}

void HeadlessDialog::InsertItemRow(int position, const ItemRow& row) {
  std::lock_guard lock(mutex_);
  const auto pos = static_cast<std::size_t>(std::clamp<int>(position, 0, static_cast<int>(rows_.size())));
  rows_.insert(rows_.begin() + static_cast<std::ptrdiff_t>(pos), row);
  Event e{Event::Kind::kListRow, {}, {}};
  e.a = static_cast<int>(pos);
  e.row = row;
  Record(std::move(e));
}

void HeadlessDialog::FocusItemList() {
  std::lock_guard lock(mutex_);
  Record(Event{Event::Kind::kFocusList, {}, {}});
}

int HeadlessDialog::MessageBox(u16v text, u16v caption, unsigned style) {
  std::lock_guard lock(mutex_);
  Event e{Event::Kind::kMessageBox, u16(text), u16(caption)};
  e.a = static_cast<int>(style);
  Record(std::move(e));
  return (style & kBoxYesNo) != 0 ? answer_ : kAnswerOk;
}

void HeadlessDialog::Navigate(const std::filesystem::path& page) {
  std::lock_guard lock(mutex_);
  Event e{Event::Kind::kNavigate, {}, {}};
  e.path = page;
  Record(std::move(e));
}

u16 HeadlessDialog::StopButtonCaption() {
  std::lock_guard lock(mutex_);
  return stop_caption_;
}

void HeadlessDialog::SetStopButtonCaption(u16v caption) {
  std::lock_guard lock(mutex_);
  stop_caption_ = u16(caption);
  Record(Event{Event::Kind::kStopCaption, u16(caption), {}});
}

void HeadlessDialog::ReportDiagnostic(u16v text) {
  std::lock_guard lock(mutex_);
  Record(Event{Event::Kind::kDiagnostic, u16(text), {}});
}

}  // namespace edbx
