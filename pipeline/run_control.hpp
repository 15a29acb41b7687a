#pragma once
// The user's hold on the workers: starting the analysis, selecting a folder,
// stopping and resuming. One worker runs at a time; a newer folder selection stops
// and replaces a listing still running. Stop and resume pause the job between
// records, never at an arbitrary point.

#include <atomic>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>

#include "pipeline/dialog_ops.hpp"

namespace edbx {

struct Session;

class RunControl {
 public:
  explicit RunControl(Session& session);
  ~RunControl();
  RunControl(const RunControl&) = delete;
  RunControl& operator=(const RunControl&) = delete;

  enum class Job { kNone, kAnalysis, kListing, kPreview, kSave };

  /// Creates the working folder, inserts the database path as the tree's root item and
  /// starts the analysis. False when another job still runs.
  bool StartAnalysis();
  /// Remembers the folder and lists it on a worker (the fallback bodies of the last
  /// listing are freed first). A listing still running is told to stop and the new one
  /// follows it on the same worker; the caller never waits.
  void OnFolderSelected(TreeItem item);
  /// A click on an item row: shows its preview on a worker. Ignored (false) while
  /// another job runs, as the list is disabled then.
  bool OnItemClicked(const ItemRow& row);
  /// The "Stop"/"Resume" button: asks, then pauses or resumes the running job.
  void ToggleStopResume();
  /// Runs `work` as a job of the given kind; false when another job runs.
  bool StartJob(Job kind, std::function<void()> work);

  /// Waits for the running job (and a listing queued behind it) to end.
  void Wait();
  bool Busy() const { return running_.load(); }
  Job CurrentJob() const { return current_.load(); }
  TreeItem selected_folder() const { return selected_folder_; }

 private:
  void Launch(Job kind, std::function<void()> work);
  void Run(Job kind, std::function<void()> work);

  Session& session_;
  std::mutex mutex_;
  std::thread worker_;
  std::optional<std::function<void()>> pending_listing_;
  std::atomic<bool> running_{false};
  std::atomic<Job> current_{Job::kNone};
  TreeItem selected_folder_ = kNoTreeItem;
};

/// Lists the items of the selected folder (newer layout from the header list, older
/// layout from the folder's content table). Returns 1.
int ListSelectedFolder(Session& session, TreeItem selected);

}  // namespace edbx
