#include "pipeline/run_control.hpp"

#include "common/paths.hpp"
#include "pipeline/recovery_driver.hpp"
#include "pipeline/session.hpp"
#include "pipeline/table_catalog.hpp"
#include "pipeline/texts.hpp"
#include "pipeline/folder_classification.hpp"
#include "preview/preview_worker.hpp"

namespace edbx {

RunControl::RunControl(Session& session) : session_(session) {}

RunControl::~RunControl() {
  {
    std::lock_guard lock(mutex_);
    pending_listing_.reset();
  }
  session_.job.Cancel();
  Wait();
}

void RunControl::Wait() {
  std::thread finished;
  {
    std::lock_guard lock(mutex_);
    finished = std::move(worker_);
  }
  if (finished.joinable()) finished.join();
}

void RunControl::Launch(Job kind, std::function<void()> work) {
  if (worker_.joinable()) worker_.join();  // a finished worker: returns at once
  session_.job.Reset();
  running_ = true;
  current_ = kind;
  worker_ = std::thread([this, kind, work = std::move(work)]() mutable { Run(kind, std::move(work)); });
}

void RunControl::Run(Job kind, std::function<void()> work) {
  for (;;) {
    try {
      work();
    } catch (const std::exception&) {
      // A job never takes the program down; what it did so far stays.
    }
    std::lock_guard lock(mutex_);
    if (!pending_listing_) {
      current_ = Job::kNone;
      running_ = false;
      return;
    }
    work = std::move(*pending_listing_);
    pending_listing_.reset();
    kind = Job::kListing;
    current_ = kind;
    session_.job.Reset();
  }
}

bool RunControl::StartJob(Job kind, std::function<void()> work) {
  std::lock_guard lock(mutex_);
  if (running_.load()) return false;
  Launch(kind, std::move(work));
  return true;
}

bool RunControl::StartAnalysis() {
  if (running_.load()) return false;
  DialogOps& d = *session_.dialog;
  // Everything that would start a competing job is disabled before the worker runs.
  for (Control c : {Control::kBrowseButton, Control::kSaveButton, Control::kOpenMenu, Control::kSaveMenu,
                    Control::kFolderTree})
    d.EnableControl(c, false);
  d.SetStopButtonCaption(texts::kStopCaptionStop);
  std::error_code ec;
  std::filesystem::create_directories(session_.working_folder, ec);
  InsertFolderItem(session_, FromPath(session_.database_path), kTreeRoot, u"");
  return StartJob(Job::kAnalysis, [this] { RunAnalysis(session_); });
}

void RunControl::OnFolderSelected(TreeItem item) {
  std::lock_guard lock(mutex_);
  selected_folder_ = item;
  auto listing = [this, item] {
    session_.lists.listed_bodies.clear();
    if (item != kNoTreeItem) ListSelectedFolder(session_, item);
  };
  if (running_.load()) {
    if (current_.load() != Job::kListing) return;  // the analysis or a preview owns the lists now
    // The newer selection wins: the older listing stops at its next record.
    pending_listing_ = listing;
    session_.job.Cancel();
    return;
  }
  Launch(Job::kListing, listing);
}

bool RunControl::OnItemClicked(const ItemRow& row) {
  return StartJob(Job::kPreview, [this, row] { ShowPreview(session_, row); });
}

void RunControl::ToggleStopResume() {
  DialogOps& d = *session_.dialog;
  if (!running_.load()) return;  // nothing to stop: the button changes nothing
  const u16 caption = d.StopButtonCaption().substr(0, 260);
  if (caption == texts::kStopCaptionStop) {
    if (d.MessageBox(texts::kStopQuestion, texts::kStopCaption, kBoxYesNo | kBoxIconQuestion | kBoxSystemModal) !=
        kAnswerYes)
      return;
    d.SetStopButtonCaption(texts::kStopCaptionResume);
    session_.job.Pause();
    ShowStatusPage(session_, texts::kPageStopped);
  } else {
    if (d.MessageBox(texts::kResumeQuestion, texts::kResumeCaption, kBoxYesNo | kBoxIconQuestion | kBoxSystemModal) !=
        kAnswerYes)
      return;
    d.SetStopButtonCaption(texts::kStopCaptionStop);
    session_.job.Resume();
    ShowStatusPage(session_, texts::kPageResumed);
  }
}

int ListSelectedFolder(Session& s, TreeItem selected) {
  DialogOps& d = *s.dialog;
  d.ClearItemList();
  s.current_table.reset();
  s.body_table.reset();  // the next preview opens this folder's body table
  s.body_table_name.clear();
  if (s.newer_layout()) {
    for (const auto& folder : s.lists.folders_2010) {
      if (folder.tree_item != selected) continue;
      int number = 0;
      for (const auto& h : s.lists.headers_2010) {
        if (!s.job.Checkpoint()) return 1;
        if (h.folder_id != folder.folder_id) continue;
        if (folder.table_name != replaced(h.table_name, u"MsgHeader", u"Folders")) continue;
        const u16 table = folder.table_name == u"Folders" ? u"Folders-" + folder.folder_id : folder.table_name;
        ++number;  // rows are appended and numbered from 1
        d.InsertItemRow(number - 1, {h.message_key, h.kind, decimal(number), table, h.sender, h.subject,
                                     h.date.value_or(u16()), h.has_attachments, h.folder_id,
                                     folder.mailbox_display, folder.display_name});
        d.FocusItemList();
      }
    }
    return 1;
  }
  for (const auto& node : s.lists.tree_folders) {
    if (node.tree_item != selected) continue;
    d.EnableControl(Control::kFolderTree, false);
    d.EnableControl(Control::kItemList, false);
    ListFolderItems(s, node.folder_id);
    d.EnableControl(Control::kItemList, true);
    d.EnableControl(Control::kFolderTree, true);
  }
  return 1;
}

}  // namespace edbx
