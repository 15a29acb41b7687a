#pragma once
// Cooperative control of a running job: the worker calls Checkpoint() between
// records, where it holds no lock and no library object, and waits there while the
// job is paused; a cancelled job stops at its next checkpoint.

#include <condition_variable>
#include <mutex>

namespace edbx {

class JobControl {
 public:
  /// Waits while paused; false when the job is cancelled.
  bool Checkpoint();
  void Pause();
  void Resume();
  void Cancel();
  /// Clears pause and cancellation for a new job.
  void Reset();
  bool Paused() const;
  bool Cancelled() const;

 private:
  mutable std::mutex mutex_;
  std::condition_variable resumed_;
  bool paused_ = false;
  bool cancelled_ = false;
};

}  // namespace edbx
