#pragma once
// Calls from worker threads into the user-interface thread. Workers never touch a
// widget: Post() queues a call and returns, Call() queues it and waits for its
// result. Both keep the order in which a worker made them. Once Shutdown() ran,
// calls are dropped and waiting workers return a default value, so the user-interface
// thread can join a worker that was waiting for it.

#include <QCoreApplication>
#include <QMetaObject>
#include <QObject>
#include <QThread>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

namespace edbx::gui {

class UiBridge {
 public:
  /// `context` lives on the user-interface thread; calls die with it.
  explicit UiBridge(QObject* context) : context_(context) {}

  bool OnUiThread() const { return QThread::currentThread() == context_->thread(); }

  void Post(std::function<void()> fn) {
    if (shut_down_.load()) return;
    if (OnUiThread()) {
      fn();
      return;
    }
    QMetaObject::invokeMethod(
        context_, [this, fn = std::move(fn)] {
          if (!shut_down_.load()) fn();
        },
        Qt::QueuedConnection);
  }

  template <typename R>
  R Call(std::function<R()> fn, R fallback) {
    if (shut_down_.load()) return fallback;
    if (OnUiThread()) return fn();
    struct Slot {
      std::optional<R> result;
      bool done = false;
    };
    auto slot = std::make_shared<Slot>();
    QMetaObject::invokeMethod(
        context_, [this, slot, fn = std::move(fn)] {
          std::optional<R> r;
          if (!shut_down_.load()) r = fn();
          std::lock_guard lock(mutex_);
          slot->result = std::move(r);
          slot->done = true;
          done_.notify_all();
        },
        Qt::QueuedConnection);
    std::unique_lock lock(mutex_);
    done_.wait(lock, [&] { return slot->done || shut_down_.load(); });
    return slot->result ? std::move(*slot->result) : fallback;
  }

  /// From now on nothing reaches the widgets; workers waiting for an answer go on.
  void Shutdown() {
    {
      std::lock_guard lock(mutex_);
      shut_down_ = true;
    }
    done_.notify_all();
  }
  bool shut_down() const { return shut_down_.load(); }

 private:
  QObject* context_;
  std::atomic<bool> shut_down_{false};
  std::mutex mutex_;
  std::condition_variable done_;
};

}  // namespace edbx::gui
