#include "pipeline/job_control.hpp"

namespace edbx {

bool JobControl::Checkpoint() {
  std::unique_lock lock(mutex_);
  resumed_.wait(lock, [&] { return !paused_ || cancelled_; });
  return !cancelled_;
}

void JobControl::Pause() {
  std::lock_guard lock(mutex_);
  paused_ = true;
}

void JobControl::Resume() {
  {
    std::lock_guard lock(mutex_);
    paused_ = false;
  }
  resumed_.notify_all();
}

void JobControl::Cancel() {
  {
    std::lock_guard lock(mutex_);
    cancelled_ = true;
  }
  resumed_.notify_all();
}

void JobControl::Reset() {
  std::lock_guard lock(mutex_);
  paused_ = false;
  cancelled_ = false;
}

bool JobControl::Paused() const {
  std::lock_guard lock(mutex_);
  return paused_;
}

bool JobControl::Cancelled() const {
  std::lock_guard lock(mutex_);
  return cancelled_;
}

}  // namespace edbx
